vxosd_bench(aatext SOURCES ${CMAKE_CURRENT_LIST_DIR}/aatext_bench.cpp DEPS vxosd_lunar vxosd_aatext)
