# The live server under load (not a timed test): 20 WebSocket and 5 HTTP clients sending 50
# commands per second in all, an MJPEG viewer, and the server's CPU and memory. Needs
# vxosd-live (see live/CMakeLists.txt).
if(TARGET vxosd-live)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIVE_BENCH IMPORTED_TARGET libsoup-3.0 json-glib-1.0)
  add_executable(bench_live ${CMAKE_CURRENT_LIST_DIR}/live_bench.cpp)
  target_link_libraries(bench_live PRIVATE PkgConfig::LIVE_BENCH benchmark::benchmark)
  target_compile_definitions(bench_live PRIVATE VXOSD_LIVE_EXE="$<TARGET_FILE:vxosd-live>"
                             VXOSD_PLUGIN_DIR="$<TARGET_FILE_DIR:gstvxosd>")
  add_dependencies(bench_live vxosd-live gstvxosd)
endif()
