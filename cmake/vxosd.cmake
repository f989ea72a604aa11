# vxosd_warnings_for_own_targets(DIR)
# Sets the project's warnings on every target defined in DIR and its subdirectories that lie
# inside this source tree (so not on GoogleTest, which Windows builds from /usr/src), for C and
# C++ sources only (not the resource compiler). Called once, after every directory was added,
# so that targets of any folder get them without a call of their own.
function(vxosd_warnings_for_own_targets dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t IN LISTS targets)
    get_target_property(type ${t} TYPE)
    if(type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      target_compile_options(${t} PRIVATE $<$<COMPILE_LANGUAGE:C,CXX>:-Wall -Wextra -Wpedantic>)
      if(VXOSD_WERROR)
        target_compile_options(${t} PRIVATE $<$<COMPILE_LANGUAGE:C,CXX>:-Werror>)
      endif()
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${sub}" NORMALIZE inside)
    if(inside)
      vxosd_warnings_for_own_targets(${sub})
    endif()
  endforeach()
endfunction()

# vxosd_module(NAME SOURCES ... DEPS ...)
# A subsystem as a static library (position independent, so it links into libvxosd.so).
function(vxosd_module name)
  cmake_parse_arguments(M "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(vxosd_${name} STATIC ${M_SOURCES})
  target_include_directories(vxosd_${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(vxosd_${name} PUBLIC ${M_DEPS} PRIVATE ${M_PRIVATE_DEPS})
endfunction()

# vxosd_test(NAME SOURCES ... DEPS ...)
# One GoogleTest executable per unit, registered with CTest. On Windows the tests are found by
# scanning the sources (discovery would start every executable under Wine during the build),
# and each case runs with a time limit, so that a hung or crashed case fails in bounded time.
function(vxosd_test name)
  cmake_parse_arguments(T "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(test_${name} ${T_SOURCES})
  target_include_directories(test_${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
  include(GoogleTest)
  if(WIN32)
    target_link_libraries(test_${name} PRIVATE ${T_DEPS} GTest::gtest GTest::gmock vxosd_gtest_main)
    gtest_add_tests(TARGET test_${name} SOURCES ${T_SOURCES} WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    TEST_LIST cases)
    set_tests_properties(${cases} PROPERTIES ENVIRONMENT "VXOSD_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
                         TIMEOUT 120 SKIP_REGULAR_EXPRESSION "\\[ SKIPPED \\]")
    # A test over the library finds vxosd.dll beside it, as a host's program does.
    if(TARGET vxosd AND ("vxosd" IN_LIST T_DEPS OR "vxosd_scene" IN_LIST T_DEPS))
      add_custom_command(TARGET test_${name} POST_BUILD COMMAND ${CMAKE_COMMAND} -E
                         copy_if_different $<TARGET_FILE:vxosd> $<TARGET_FILE_DIR:test_${name}>)
    endif()
  else()
    target_link_libraries(test_${name} PRIVATE ${T_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(test_${name} WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                         PROPERTIES ENVIRONMENT "VXOSD_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
                         DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# vxosd_bench(NAME SOURCES ... DEPS ...)
function(vxosd_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(bench_${name} ${B_SOURCES})
  target_link_libraries(bench_${name} PRIVATE ${B_DEPS} benchmark::benchmark benchmark::benchmark_main)
  target_include_directories(bench_${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
endfunction()
