vxosd_fuzz(markup SOURCES ${CMAKE_CURRENT_LIST_DIR}/markup_fuzz.cpp DEPS vxosd_markup)
