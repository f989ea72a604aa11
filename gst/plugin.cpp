// The plugin "vxosd": the element vxosdoverlay.
#define PACKAGE "vxosd"
#include "gst/vxosdoverlay.h"

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, vxosd, "On-screen display overlays from the VXOSD library",
                  vxosd_overlay_register, "1.0", "Proprietary", "vxosd", "VXOSD")
