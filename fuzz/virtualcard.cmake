vxosd_fuzz(virtualcard SOURCES ${CMAKE_CURRENT_LIST_DIR}/virtualcard_fuzz.cpp
           DEPS vxosd_virtualcard vxosd_card vxosd_platform)
