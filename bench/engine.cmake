vxosd_bench(engine SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_bench.cpp DEPS vxosd_engine vxosd_virtualcard)
