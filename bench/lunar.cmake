vxosd_bench(lunar SOURCES ${CMAKE_CURRENT_LIST_DIR}/lunar_bench.cpp DEPS vxosd_lunar)
