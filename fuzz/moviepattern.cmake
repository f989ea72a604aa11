vxosd_fuzz(moviepattern SOURCES ${CMAKE_CURRENT_LIST_DIR}/moviepattern_fuzz.cpp
           DEPS vxosd_components)
