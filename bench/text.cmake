vxosd_bench(text SOURCES ${CMAKE_CURRENT_LIST_DIR}/text_bench.cpp DEPS vxosd_components vxosd_markup)
