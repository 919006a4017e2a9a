// The plugin `glintara`, holding the one element of the same name.
#include <gst/gst.h>

#include "gst/glintara_element.hpp"

namespace {

gboolean registerElements(GstPlugin* plugin) {
    return gst_element_register(plugin, "glintara", GST_RANK_NONE, GST_TYPE_GLINTARA);
}

}  // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, glintara,
                  "The Glintara kaleidoscope as a video filter", registerElements, GLINTARA_VERSION,
                  "GPL", "Glintara", "Glintara")
