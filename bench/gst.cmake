# The overlay element against GStreamer's textoverlay + clockoverlay (needs the plugin's
# GStreamer packages; see gst/CMakeLists.txt).
if(TARGET vxosd_gst_element)
  add_executable(bench_gst ${CMAKE_CURRENT_LIST_DIR}/gst_bench.cpp)
  target_link_libraries(bench_gst PRIVATE vxosd_gst_element benchmark::benchmark)
  target_compile_definitions(bench_gst PRIVATE VXOSD_BENCH_SCENE="${CMAKE_CURRENT_LIST_DIR}/gst_overlay.scene")
endif()
