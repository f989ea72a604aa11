# What `cmake --install` puts into the prefix: the library with its SONAME, the public headers
# (the interface, the C++ overloads, the software card), pkg-config and CMake package files,
# and the tools. Two components for packagers: Runtime (the shared libraries and the tools)
# and Development (headers, the unversioned link name, import libraries, pkg-config and CMake
# files); `cmake --install build --component Runtime` installs the first alone.
include(CMakePackageConfigHelpers)

if(NOT TARGET vxosd)
  return()
endif()

# The build tree offers the prefix's include layout, so that the example hosts and the tests
# include <vxosd/virtualcard.h> as an installed host does.
configure_file(${PROJECT_SOURCE_DIR}/drivers/virtualcard/virtualcard.h
               ${PROJECT_BINARY_DIR}/include/vxosd/virtualcard.h COPYONLY)
target_include_directories(vxosd PUBLIC $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>)

# libvxosd.so and libvxvirtualcard.so find libvxcom.so beside them, wherever the prefix is (a
# host's own run path does not reach its libraries' dependencies).
if(NOT WIN32)
  set_target_properties(vxosd PROPERTIES INSTALL_RPATH "$ORIGIN")
  if(TARGET vxvirtualcard)
    set_target_properties(vxvirtualcard PROPERTIES INSTALL_RPATH "$ORIGIN")
  endif()
endif()

install(TARGETS vxosd EXPORT VXOSDTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/vxosd/vxosd.h ${PROJECT_SOURCE_DIR}/include/vxosd/vxosd.hpp
              ${PROJECT_SOURCE_DIR}/drivers/virtualcard/virtualcard.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vxosd COMPONENT Development)

# The software card, VXOSD::virtualcard: libvxvirtualcard.so on Linux; on Windows a DLL that is
# also a COM server to register with regsvr32. On Linux both libraries reach one COM layer,
# libvxcom.so, which hosts never link themselves.
if(TARGET vxvirtualcard)
  set_target_properties(vxvirtualcard PROPERTIES EXPORT_NAME virtualcard)
  install(TARGETS vxvirtualcard EXPORT VXOSDTargets
          RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
endif()
if(TARGET vxcom)
  install(TARGETS vxcom EXPORT VXOSDTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_SKIP)
endif()

# The Windows release folder (scripts/build-windows.sh ships it): build/release/.
if(WIN32 AND TARGET vxvirtualcard)
  set(release_files vxosd.dll libvxosd.dll.a vxosd.def vxosd.h vxvirtualcard.dll
      libvxvirtualcard.dll.a vxvirtualcard.def virtualcard.h README-windows.md)
  list(TRANSFORM release_files PREPEND ${VXOSD_RELEASE_DIR}/ OUTPUT_VARIABLE release_outputs)
  add_custom_command(OUTPUT ${release_outputs}
    COMMAND ${CMAKE_COMMAND} -DDEST=${VXOSD_RELEASE_DIR} -DSTRIP=${CMAKE_STRIP}
            -DVXOSD_DLL=$<TARGET_FILE:vxosd> -DVXOSD_IMPLIB=$<TARGET_LINKER_FILE:vxosd>
            -DVXOSD_DEF=$<TARGET_FILE_DIR:vxosd>/vxosd.def
            -DCARD_DLL=$<TARGET_FILE:vxvirtualcard> -DCARD_IMPLIB=$<TARGET_LINKER_FILE:vxvirtualcard>
            -DCARD_DEF=$<TARGET_FILE_DIR:vxvirtualcard>/vxvirtualcard.def
            -DSOURCE=${PROJECT_SOURCE_DIR} -P ${CMAKE_CURRENT_LIST_DIR}/release_folder.cmake
    DEPENDS vxosd vxvirtualcard ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/include/vxosd/vxosd.h
            ${CMAKE_CURRENT_LIST_DIR}/release_folder.cmake
    VERBATIM)
  add_custom_target(vxosd_release DEPENDS ${release_outputs})
endif()

# The tools find the library next to them in the prefix, wherever the prefix is.
file(RELATIVE_PATH vxosd_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
foreach(tool vxosd-play vxosd-lunar vxosd-calendar)
  if(TARGET ${tool})
    set_target_properties(${tool} PROPERTIES INSTALL_RPATH "$ORIGIN/${vxosd_bin_to_lib}")
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
  endif()
endforeach()

# pkg-config: paths relative to the .pc file, so that a moved prefix still works.
file(RELATIVE_PATH vxosd_pc_to_prefix ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
configure_file(${CMAKE_CURRENT_LIST_DIR}/vxosd.pc.in ${PROJECT_BINARY_DIR}/vxosd.pc @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/vxvirtualcard.pc.in ${PROJECT_BINARY_DIR}/vxvirtualcard.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vxosd.pc ${PROJECT_BINARY_DIR}/vxvirtualcard.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)

# find_package(VXOSD) gives the imported targets VXOSD::vxosd and VXOSD::virtualcard.
set(vxosd_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/VXOSD)
install(EXPORT VXOSDTargets NAMESPACE VXOSD:: DESTINATION ${vxosd_cmake_dir} COMPONENT Development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VXOSDConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/VXOSDConfig.cmake
                              INSTALL_DESTINATION ${vxosd_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VXOSDConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VXOSDConfig.cmake ${PROJECT_BINARY_DIR}/VXOSDConfigVersion.cmake
        DESTINATION ${vxosd_cmake_dir} COMPONENT Development)
