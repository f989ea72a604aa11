vxosd_fuzz(bmp SOURCES ${CMAKE_CURRENT_LIST_DIR}/bmp_fuzz.cpp DEPS vxosd_platform)
