vxosd_bench(platform_gfx SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform_gfx_bench.cpp DEPS vxosd_platform)
