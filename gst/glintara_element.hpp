// The GStreamer element `glintara`: raw video in, the kaleidoscope (or the guide picture)
// out, one degree further per frame.
#pragma once

#include <gst/gst.h>
#include <gst/video/gstvideofilter.h>

G_BEGIN_DECLS

#define GST_TYPE_GLINTARA (gst_glintara_get_type())
G_DECLARE_FINAL_TYPE(GstGlintara, gst_glintara, GST, GLINTARA, GstVideoFilter)

#define GST_TYPE_GLINTARA_PICTURE (gst_glintara_picture_get_type())
GType gst_glintara_picture_get_type(void);

G_END_DECLS
