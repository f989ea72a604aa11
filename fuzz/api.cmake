vxosd_fuzz(api SOURCES ${CMAKE_CURRENT_LIST_DIR}/api_fuzz.cpp DEPS vxosd vxvirtualcard)
