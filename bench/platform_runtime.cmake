vxosd_bench(platform_runtime SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/platform_runtime_bench.cpp
            DEPS vxosd_platform)
