vxosd_bench(picture SOURCES ${CMAKE_CURRENT_LIST_DIR}/picture_bench.cpp
            DEPS vxosd_engine vxosd_components)
