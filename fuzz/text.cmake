vxosd_fuzz(text SOURCES ${CMAKE_CURRENT_LIST_DIR}/text_fuzz.cpp DEPS vxosd_platform)
