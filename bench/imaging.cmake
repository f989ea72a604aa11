vxosd_bench(imaging SOURCES ${CMAKE_CURRENT_LIST_DIR}/imaging_bench.cpp DEPS vxosd_imaging)
