vxosd_bench(datetime SOURCES ${CMAKE_CURRENT_LIST_DIR}/datetime_bench.cpp DEPS vxosd_components)
