vxosd_fuzz(framestream SOURCES ${CMAKE_CURRENT_LIST_DIR}/framestream_fuzz.cpp DEPS vxosd_imaging)
