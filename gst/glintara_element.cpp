#include "gst/glintara_element.hpp"

#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

#include <gst/video/video.h>

#include "core/kaleidoscope_filter.hpp"
#include "core/yuv420.hpp"

using glintara::isCanvasSide;
using glintara::KaleidoscopeFilter;
using glintara::kDefaultCanvasSide;
using glintara::kLargestCanvasSide;
using glintara::kSmallestCanvasSide;
using glintara::Picture;

GST_DEBUG_CATEGORY_STATIC(glintara_debug);
#define GST_CAT_DEFAULT glintara_debug

namespace {

constexpr int kDefaultAngle = 0;
constexpr bool kDefaultTurning = true;
constexpr Picture kDefaultPicture = Picture::Kaleidoscope;

// The inputs taken: any size in these formats. I420, what decoders give, comes first: only
// the part the renderer reads is made BGR, in the matrix and range the caps name. The rest are
// the formats a camera frame is prepared from without a conversion beyond dropping a padding
// byte or spreading grey. Plain text, so that nothing is built (and nothing can throw) inside
// GStreamer's callbacks.
constexpr const char* kInputCaps =
    "video/x-raw, format=(string){ I420, BGR, BGRx, BGRA, GRAY8 }, width=(int)[1, 2147483647], "
    "height=(int)[1, 2147483647]";

enum Property {
    kPropertyAngle = 1,
    kPropertyTurning,
    kPropertyPicture,
    kPropertyCenterX,
    kPropertyCenterY,
    kPropertyZoom,
    kPropertySpeed
};

// The element's own C++ state, made in place when GObject makes the instance and destroyed
// when it is finalised.
struct ElementState {
    // The properties, under the object lock: they may be set from any thread.
    int angle = kDefaultAngle;
    bool turning = kDefaultTurning;
    Picture picture = kDefaultPicture;
    glintara::Sample sample;
    int speed = 1;
    bool angleSet = true;     // the next frame starts again from `angle`
    bool pictureSet = false;  // `picture` changed since the streaming thread last took it
    // The picture the caps are worked out for, under the object lock: while streaming, taken
    // from `picture` by the streaming thread before a buffer, so that every call of one
    // negotiation sees the same; before, `picture` itself, as pipelines are linked.
    Picture capsPicture = kDefaultPicture;
    bool streaming = false;  // between start and stop

    // From start to stop: the renderer and its images, used only by the streaming thread.
    std::unique_ptr<KaleidoscopeFilter> filter;
    Picture negotiated = kDefaultPicture;         // the picture the output caps were agreed for
    bool yuv420 = false;                          // put out as I420 rather than BGR
    std::optional<glintara::YuvMatrix> yuvInput;  // taken in as I420, in this matrix
    glintara::Ratio pixelAspect{1, 1};            // of the input, as its caps say
    cv::Mat fromYuv;                              // an I420 frame's part the renderer reads
};

}  // namespace

struct _GstGlintara {
    GstVideoFilter parent;
    ElementState state;
};

G_DEFINE_TYPE(GstGlintara, gst_glintara, GST_TYPE_VIDEO_FILTER)

GType gst_glintara_picture_get_type(void) {
    static gsize type = 0;
    if (g_once_init_enter(&type)) {
        static const GEnumValue values[] = {
            {static_cast<gint>(Picture::Kaleidoscope), "The NxN kaleidoscope", "kaleidoscope"},
            {static_cast<gint>(Picture::Capture),
             "The prepared N x 3N/4 frame with the red guide triangle", "capture"},
            {0, nullptr, nullptr}};
        g_once_init_leave(&type, g_enum_register_static("GstGlintaraPicture", values));
    }
    return type;
}

namespace {

GstGlintara* elementOf(gpointer object) {
    return GST_GLINTARA(object);
}

ElementState& stateOf(gpointer object) {
    return GST_GLINTARA(object)->state;
}

Picture capsPicture(GstGlintara* self) {
    GST_OBJECT_LOCK(self);
    const Picture picture = self->state.capsPicture;
    GST_OBJECT_UNLOCK(self);
    return picture;
}

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    GstGlintara* self = elementOf(object);
    GST_OBJECT_LOCK(self);
    switch (id) {
        case kPropertyAngle:
            self->state.angle = g_value_get_int(value);
            self->state.angleSet = true;
            break;
        case kPropertyTurning:
            self->state.turning = g_value_get_boolean(value);
            break;
        case kPropertyCenterX:
            self->state.sample.centerX = g_value_get_double(value);
            break;
        case kPropertyCenterY:
            self->state.sample.centerY = g_value_get_double(value);
            break;
        case kPropertyZoom:
            self->state.sample.zoom = g_value_get_double(value);
            break;
        case kPropertySpeed:
            self->state.speed = g_value_get_int(value);
            break;
        case kPropertyPicture: {
            const auto picture = static_cast<Picture>(g_value_get_enum(value));
            self->state.pictureSet = self->state.pictureSet || picture != self->state.picture;
            self->state.picture = picture;
            if (!self->state.streaming) {
                self->state.capsPicture = picture;
                self->state.pictureSet = false;
            }
            break;
        }
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
            break;
    }
    GST_OBJECT_UNLOCK(self);
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    GstGlintara* self = elementOf(object);
    GST_OBJECT_LOCK(self);
    switch (id) {
        case kPropertyAngle:
            g_value_set_int(value, self->state.angle);
            break;
        case kPropertyTurning:
            g_value_set_boolean(value, self->state.turning);
            break;
        case kPropertyPicture:
            g_value_set_enum(value, static_cast<gint>(self->state.picture));
            break;
        case kPropertyCenterX:
            g_value_set_double(value, self->state.sample.centerX);
            break;
        case kPropertyCenterY:
            g_value_set_double(value, self->state.sample.centerY);
            break;
        case kPropertyZoom:
            g_value_set_double(value, self->state.sample.zoom);
            break;
        case kPropertySpeed:
            g_value_set_int(value, self->state.speed);
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
            break;
    }
    GST_OBJECT_UNLOCK(self);
}

// A GValue holding the range of whole numbers from `low` to `high` in steps of `step`.
void setSteppedRange(GstStructure* structure, const char* field, int low, int high, int step) {
    GValue range = G_VALUE_INIT;
    g_value_init(&range, GST_TYPE_INT_RANGE);
    gst_value_set_int_range_step(&range, low, high, step);
    gst_structure_take_value(structure, field, &range);
}

// The outputs for one input structure, at its rate and at every canvas side N the renderer
// serves (N x N, or N x 3N/4 for the guide picture): I420 first, which encoders take as it is,
// then BGR, the renderer's own bytes. The caps cannot say that width and height go together;
// fixateCaps makes them, and setInfo refuses any pair that does not.
GstCaps* outputCapsFor(const GstStructure* input, Picture picture) {
    GstCaps* caps = gst_caps_new_empty();
    for (const char* format : {"I420", "BGR"}) {
        GstStructure* output =
            gst_structure_new("video/x-raw", "format", G_TYPE_STRING, format, "pixel-aspect-ratio",
                              GST_TYPE_FRACTION, 1, 1, nullptr);
        setSteppedRange(output, "width", kSmallestCanvasSide, kLargestCanvasSide, 8);
        if (picture == Picture::Kaleidoscope) {
            setSteppedRange(output, "height", kSmallestCanvasSide, kLargestCanvasSide, 8);
        } else {
            setSteppedRange(output, "height", kSmallestCanvasSide * 3 / 4,
                            kLargestCanvasSide * 3 / 4, 6);
        }
        if (const GValue* rate = gst_structure_get_value(input, "framerate")) {
            gst_structure_set_value(output, "framerate", rate);
        }
        // Left unsaid, a large picture would be taken for BT.709.
        if (std::string_view(format) == "I420") {
            gst_structure_set(output, "colorimetry", G_TYPE_STRING, "bt601", nullptr);
        }
        caps = gst_caps_merge_structure(caps, output);
    }
    return caps;
}

// The output size settles on the side downstream asks for, by width or by height, or on the
// usual side when it asks for none; the other length follows from it.
GstCaps* fixateCaps(GstBaseTransform* trans, GstPadDirection direction, GstCaps* caps,
                    GstCaps* othercaps) {
    if (direction != GST_PAD_SINK) {
        return GST_BASE_TRANSFORM_CLASS(gst_glintara_parent_class)
            ->fixate_caps(trans, direction, caps, othercaps);
    }
    othercaps = gst_caps_make_writable(gst_caps_truncate(othercaps));
    GstStructure* output = gst_caps_get_structure(othercaps, 0);
    const bool capture = capsPicture(elementOf(trans)) == Picture::Capture;
    const auto heightOf = [capture](int side) { return capture ? side * 3 / 4 : side; };
    int side = kDefaultCanvasSide;
    int height = 0;
    if (!gst_structure_get_int(output, "width", &side)) {
        if (gst_structure_get_int(output, "height", &height)) {
            side = capture ? height * 4 / 3 : height;
        } else {
            side = kDefaultCanvasSide;
        }
        gst_structure_fixate_field_nearest_int(output, "width", side);
        gst_structure_get_int(output, "width", &side);
    }
    gst_structure_fixate_field_nearest_int(output, "height", heightOf(side));
    return gst_caps_fixate(othercaps);
}

// The inputs that give an output structure: any size in the formats taken, at its rate.
GstStructure* inputStructureFor(const GstStructure* output) {
    GstStructure* input = gst_structure_new_from_string(kInputCaps);
    if (const GValue* rate = gst_structure_get_value(output, "framerate")) {
        gst_structure_set_value(input, "framerate", rate);
    }
    return input;
}

GstCaps* transformCaps(GstBaseTransform* trans, GstPadDirection direction, GstCaps* caps,
                       GstCaps* filter) {
    const Picture picture = capsPicture(elementOf(trans));
    GstCaps* result = gst_caps_new_empty();
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* structure = gst_caps_get_structure(caps, i);
        result = direction == GST_PAD_SINK
                     ? gst_caps_merge(result, outputCapsFor(structure, picture))
                     : gst_caps_merge_structure(result, inputStructureFor(structure));
    }
    if (filter) {
        GstCaps* both = gst_caps_intersect_full(filter, result, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(result);
        result = both;
    }
    GST_DEBUG_OBJECT(trans, "%s caps %" GST_PTR_FORMAT " give %" GST_PTR_FORMAT,
                     direction == GST_PAD_SINK ? "sink" : "source", static_cast<void*>(caps),
                     static_cast<void*>(result));
    return result;
}

// How an I420 input's values stand for colours; BT.601 where the caps name no matrix.
glintara::YuvMatrix matrixOf(const GstVideoInfo* info) {
    glintara::YuvMatrix matrix;
    gdouble kr = 0.0;
    gdouble kb = 0.0;
    if (gst_video_color_matrix_get_Kr_Kb(info->colorimetry.matrix, &kr, &kb)) {
        matrix.kr = kr;
        matrix.kb = kb;
    }
    matrix.fullRange = info->colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255;
    return matrix;
}

gboolean setInfo(GstVideoFilter* videoFilter, GstCaps*, GstVideoInfo* inInfo, GstCaps*,
                 GstVideoInfo* outInfo) {
    GstGlintara* self = elementOf(videoFilter);
    self->state.yuvInput.reset();
    if (GST_VIDEO_INFO_FORMAT(inInfo) == GST_VIDEO_FORMAT_I420) {
        self->state.yuvInput = matrixOf(inInfo);
    }
    // Frames are prepared as they are shown: anamorphic pixels are not squeezed.
    self->state.pixelAspect = {GST_VIDEO_INFO_PAR_N(inInfo), GST_VIDEO_INFO_PAR_D(inInfo)};
    const cv::Size out(GST_VIDEO_INFO_WIDTH(outInfo), GST_VIDEO_INFO_HEIGHT(outInfo));
    if (isCanvasSide(out.width) && self->state.filter) {
        for (const Picture picture : {Picture::Kaleidoscope, Picture::Capture}) {
            if (out == glintara::pictureSize(picture, out.width)) {
                self->state.negotiated = picture;
                self->state.yuv420 = GST_VIDEO_INFO_FORMAT(outInfo) == GST_VIDEO_FORMAT_I420;
                try {
                    self->state.filter->setCanvasSide(out.width);
                    self->state.filter->setPixelAspect(self->state.pixelAspect);
                } catch (const std::exception& error) {
                    GST_ELEMENT_ERROR(self, RESOURCE, FAILED,
                                      ("glintara could not set up its renderer"),
                                      ("%s", error.what()));
                    return FALSE;
                }
                return TRUE;
            }
        }
    }
    GST_ELEMENT_ERROR(self, CORE, NEGOTIATION,
                      ("glintara puts out NxN or N x 3N/4, N a multiple of 8 from 128 to 4096"),
                      ("offered %dx%d", out.width, out.height));
    return FALSE;
}

// A view of a mapped packed frame; BGRx and BGRA are seen as four channels.
cv::Mat matOf(GstVideoFrame* frame) {
    return cv::Mat(GST_VIDEO_FRAME_HEIGHT(frame), GST_VIDEO_FRAME_WIDTH(frame),
                   CV_8UC(GST_VIDEO_FRAME_COMP_PSTRIDE(frame, 0)),
                   GST_VIDEO_FRAME_PLANE_DATA(frame, 0),
                   static_cast<size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(frame, 0)));
}

// The three planes of a mapped I420 frame.
glintara::Yuv420Planes yuv420PlanesOf(GstVideoFrame* frame) {
    const auto data = [&](int plane) {
        return static_cast<unsigned char*>(GST_VIDEO_FRAME_PLANE_DATA(frame, plane));
    };
    return glintara::yuv420Planes(
        {GST_VIDEO_FRAME_WIDTH(frame), GST_VIDEO_FRAME_HEIGHT(frame)}, {data(0), data(1), data(2)},
        {GST_VIDEO_FRAME_PLANE_STRIDE(frame, 0), GST_VIDEO_FRAME_PLANE_STRIDE(frame, 1),
         GST_VIDEO_FRAME_PLANE_STRIDE(frame, 2)});
}

// The rendered picture into the output frame, as it is or as I420's three planes.
void putOut(const cv::Mat& picture, bool yuv420, GstVideoFrame* out) {
    if (!yuv420) {
        cv::Mat bgr = matOf(out);
        picture.copyTo(bgr);
        return;
    }
    glintara::Yuv420Planes planes = yuv420PlanesOf(out);
    glintara::bgrToYuv420(picture, planes.y, planes.cb, planes.cr);
}

// Hands the properties set since the last frame to the renderer.
void applySettings(GstGlintara* self) {
    GST_OBJECT_LOCK(self);
    ElementState& state = self->state;
    if (state.angleSet) {
        state.filter->setAngle(state.angle);
        state.angleSet = false;
    }
    state.filter->setTurning(state.turning);
    state.filter->setSpeed(state.speed);
    state.filter->setSample(state.sample);
    GST_OBJECT_UNLOCK(self);
}

// Before each buffer, the properties a controller drives take their values at its time, as
// GStreamer's own video filters do.
void beforeTransform(GstBaseTransform* transform, GstBuffer* buffer) {
    const GstClockTime streamTime = gst_segment_to_stream_time(
        &transform->segment, GST_FORMAT_TIME, GST_BUFFER_TIMESTAMP(buffer));
    if (GST_CLOCK_TIME_IS_VALID(streamTime)) {
        gst_object_sync_values(GST_OBJECT(transform), streamTime);
    }
}

// The frame as the renderer takes it. Of an I420 frame only the centred 4:3 part, which is all
// the renderer reads, is made BGR, in its place in a picture of the frame's size.
cv::Mat frameOf(ElementState& state, GstVideoFrame* in) {
    if (!state.yuvInput) {
        return matOf(in);
    }
    const glintara::Yuv420Planes planes = yuv420PlanesOf(in);
    state.fromYuv.create(planes.y.size(), CV_8UC3);
    const cv::Rect part = glintara::centredFourByThree(planes.y.size(), state.pixelAspect);
    cv::Mat partImage = state.fromYuv(part);
    glintara::yuv420ToBgr(planes.y, planes.cb, planes.cr, part, *state.yuvInput, partImage);
    return state.fromYuv;
}

GstFlowReturn transformFrame(GstVideoFilter* videoFilter, GstVideoFrame* in, GstVideoFrame* out) {
    GstGlintara* self = elementOf(videoFilter);
    applySettings(self);
    try {
        ElementState& state = self->state;
        putOut(state.filter->render(frameOf(state, in), state.negotiated), state.yuv420, out);
    } catch (const std::exception& error) {
        GST_ELEMENT_ERROR(self, STREAM, FAILED, ("glintara could not render a frame"),
                          ("%s", error.what()));
        return GST_FLOW_ERROR;
    }
    return GST_FLOW_OK;
}

// Before each buffer, in the streaming thread: a picture set since the last one is taken for
// the caps, and the output caps are agreed anew for it, with the same picture throughout. Where
// downstream cannot take it, the element goes on with the picture it has, and says so.
GstFlowReturn submitInputBuffer(GstBaseTransform* trans, gboolean discont, GstBuffer* input) {
    GstGlintara* self = elementOf(trans);
    GST_OBJECT_LOCK(self);
    const bool switching = self->state.pictureSet;
    const Picture wanted = self->state.picture;
    self->state.pictureSet = false;
    if (switching) {
        self->state.capsPicture = wanted;
    }
    GST_OBJECT_UNLOCK(self);
    if (switching) {
        gst_base_transform_reconfigure_src(trans);
    }
    const GstFlowReturn result = GST_BASE_TRANSFORM_CLASS(gst_glintara_parent_class)
                                     ->submit_input_buffer(trans, discont, input);
    if (switching && self->state.negotiated != wanted) {
        GST_OBJECT_LOCK(self);
        self->state.capsPicture = self->state.negotiated;
        GST_OBJECT_UNLOCK(self);
        GST_ELEMENT_WARNING(self, CORE, NEGOTIATION,
                            ("glintara cannot switch to the %s picture: downstream does not take "
                             "its size; it goes on with the %s",
                             wanted == Picture::Capture ? "capture" : "kaleidoscope",
                             wanted == Picture::Capture ? "kaleidoscope" : "capture"),
                            (nullptr));
    }
    return result;
}

gboolean start(GstBaseTransform* trans) {
    GstGlintara* self = elementOf(trans);
    try {
        self->state.filter = std::make_unique<KaleidoscopeFilter>();
    } catch (const std::exception& error) {
        GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("glintara could not set up its renderer"),
                          ("%s", error.what()));
        return FALSE;
    }
    GST_OBJECT_LOCK(self);
    self->state.angleSet = true;  // every run starts from the angle property
    self->state.capsPicture = self->state.picture;
    self->state.pictureSet = false;
    self->state.streaming = true;
    GST_OBJECT_UNLOCK(self);
    return TRUE;
}

gboolean stop(GstBaseTransform* trans) {
    GstGlintara* self = elementOf(trans);
    GST_OBJECT_LOCK(self);
    self->state.streaming = false;
    self->state.capsPicture = self->state.picture;
    self->state.pictureSet = false;
    GST_OBJECT_UNLOCK(self);
    self->state.filter.reset();
    return TRUE;
}

void finalize(GObject* object) {
    stateOf(object).~ElementState();
    G_OBJECT_CLASS(gst_glintara_parent_class)->finalize(object);
}

void installProperties(GObjectClass* objectClass) {
    // Every property may change while playing, and a controller may drive it.
    constexpr auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                    GST_PARAM_MUTABLE_PLAYING |
                                                    GST_PARAM_CONTROLLABLE);
    g_object_class_install_property(
        objectClass, kPropertyAngle,
        g_param_spec_int("angle", "Angle",
                         "The triangle's angle in degrees for the first frame (or from the "
                         "next frame, when set while playing)",
                         0, 359, kDefaultAngle, flags));
    g_object_class_install_property(
        objectClass, kPropertyTurning,
        g_param_spec_boolean("turning", "Turning",
                             "Turn by the speed each frame; false holds the angle",
                             kDefaultTurning, flags));
    g_object_class_install_property(
        objectClass, kPropertyPicture,
        g_param_spec_enum("picture", "Picture",
                          "What to put out: the kaleidoscope, or the frame with the guide",
                          GST_TYPE_GLINTARA_PICTURE, static_cast<gint>(kDefaultPicture), flags));
    g_object_class_install_property(
        objectClass, kPropertyCenterX,
        g_param_spec_double("center-x", "Centre across",
                            "Where the triangle samples, as a fraction of the frame's width",
                            0.0, 1.0, 0.5, flags));
    g_object_class_install_property(
        objectClass, kPropertyCenterY,
        g_param_spec_double("center-y", "Centre down",
                            "Where the triangle samples, as a fraction of the frame's height",
                            0.0, 1.0, 0.5, flags));
    g_object_class_install_property(
        objectClass, kPropertyZoom,
        g_param_spec_double("zoom", "Zoom", "How closely the triangle samples, from 1 to 8",
                            glintara::kLeastZoom, glintara::kMostZoom, glintara::kLeastZoom,
                            flags));
    g_object_class_install_property(
        objectClass, kPropertySpeed,
        g_param_spec_int("speed", "Speed",
                         "Degrees the triangle turns each frame while turning; negative turns "
                         "the other way",
                         -glintara::kFastestSpeed, glintara::kFastestSpeed, 1, flags));
}

void addPadTemplates(GstElementClass* elementClass) {
    GstCaps* sink = gst_caps_from_string(kInputCaps);
    gst_caps_set_simple(sink, "framerate", GST_TYPE_FRACTION_RANGE, 0, 1, G_MAXINT, 1, nullptr);
    GstCaps* source = gst_caps_from_string(
        "video/x-raw, format=(string){ I420, BGR }, width=(int)[128, 4096], "
        "height=(int)[96, 4096], "
        "pixel-aspect-ratio=(fraction)1/1, framerate=(fraction)[0/1, 2147483647/1]");
    gst_element_class_add_pad_template(
        elementClass, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, sink));
    gst_element_class_add_pad_template(
        elementClass, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, source));
    gst_caps_unref(sink);
    gst_caps_unref(source);
}

}  // namespace

static void gst_glintara_class_init(GstGlintaraClass* klass) {
    GST_DEBUG_CATEGORY_INIT(glintara_debug, "glintara", 0, "Glintara kaleidoscope");
    GObjectClass* objectClass = G_OBJECT_CLASS(klass);
    objectClass->set_property = setProperty;
    objectClass->get_property = getProperty;
    objectClass->finalize = finalize;
    installProperties(objectClass);
    gst_type_mark_as_plugin_api(GST_TYPE_GLINTARA_PICTURE, static_cast<GstPluginAPIFlags>(0));

    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_static_metadata(
        elementClass, "Glintara kaleidoscope", "Filter/Effect/Video",
        "Turns each frame into a kaleidoscope of 25 copies of a triangle cut from it (its centre "
        "unless steered), turning as the frames go by",
        "Glintara developers");
    addPadTemplates(elementClass);

    GstBaseTransformClass* transformClass = GST_BASE_TRANSFORM_CLASS(klass);
    transformClass->transform_caps = transformCaps;
    transformClass->fixate_caps = fixateCaps;
    transformClass->start = start;
    transformClass->submit_input_buffer = submitInputBuffer;
    transformClass->stop = stop;
    transformClass->before_transform = beforeTransform;

    GstVideoFilterClass* videoFilterClass = GST_VIDEO_FILTER_CLASS(klass);
    videoFilterClass->set_info = setInfo;
    videoFilterClass->transform_frame = transformFrame;
}

static void gst_glintara_init(GstGlintara* self) {
    new (&self->state) ElementState();
}
