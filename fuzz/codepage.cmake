vxosd_fuzz(codepage SOURCES ${CMAKE_CURRENT_LIST_DIR}/codepage_fuzz.cpp DEPS vxosd_platform)
