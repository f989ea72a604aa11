vxosd_fuzz(lunar SOURCES ${CMAKE_CURRENT_LIST_DIR}/lunar_fuzz.cpp DEPS vxosd_lunar)
