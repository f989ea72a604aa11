vxosd_bench(registry SOURCES ${CMAKE_CURRENT_LIST_DIR}/registry_bench.cpp DEPS vxosd_engine)
