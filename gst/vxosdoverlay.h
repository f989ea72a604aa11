#pragma once
// vxosdoverlay: lays the VXOSD library's composed frames over video, frame-accurately.
//
// Properties: scene (a scene file in the scene player's language, run from the first
// buffer), scale (the 640 x 480 frame scaled to the video, nearest; default true) and x, y
// (the frame's top-left corner when not scaled). Action signal "command" (one scene line,
// for instance SetVxComponent_Text tick "...", applied before the next buffer; returns FALSE
// and posts a warning for a line it refuses). Action signal "apply" (scene lines as a
// G_TYPE_STRV; returns a batch id > 0, or 0 when it refuses the batch and applies none of
// it): the batch is applied whole before one buffer, then the element message
// "vxosd-applied" (id, results, messages, running-time) is posted. Action signal
// "osd-sample" (returns the last composed OSD frame as a 640 x 480 RGBA GstSample, alpha the
// colour level; NULL before the first). docs/reference.md gives the details and the limits
// of the command queue. The library runs on a manual clock moved by
// the buffers' running time, so pausing the pipeline pauses the scene. The library has one
// instance per process: a second vxosdoverlay fails to start with an error.

#include <gst/gst.h>

G_BEGIN_DECLS

#define VXOSD_TYPE_OVERLAY (vxosd_overlay_get_type())
GType vxosd_overlay_get_type(void);

// Registers the element with a plugin (the plugin's init, or a program that links the element
// in and registers it statically).
gboolean vxosd_overlay_register(GstPlugin *plugin);
// For programs and tests that link the element in: registers the plugin "vxosd" statically.
gboolean vxosd_overlay_register_static(void);

G_END_DECLS
