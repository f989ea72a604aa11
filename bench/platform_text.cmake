vxosd_bench(platform_text SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform_text_bench.cpp DEPS vxosd_platform)
