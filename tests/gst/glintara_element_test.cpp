// The GStreamer element glintara, loaded from the build tree as a user's pipeline would load
// it, held against glintara-render on the same frames.
#include <gst/app/gstappsink.h>
#include <gst/controller/gstdirectcontrolbinding.h>
#include <gst/controller/gstinterpolationcontrolsource.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/install.hpp"
#include "tests/support/pictures.hpp"
#include "tests/support/render_tool.hpp"
#include "tests/support/subprocess.hpp"

namespace glintara {
namespace {

using namespace testing_support;

// One buffer that reached an appsink: its picture, its time and the caps it came with.
struct SinkFrame {
    cv::Mat picture;              // the first plane
    std::vector<cv::Mat> planes;  // all of them
    std::string colorimetry;
    GstClockTime pts = GST_CLOCK_TIME_NONE;
    GstClockTime duration = GST_CLOCK_TIME_NONE;
    int rateNumerator = 0;
    int rateDenominator = 0;
};

struct PipelineRun {
    std::vector<SinkFrame> raw;  // from the appsink named "raw", when there is one
    std::vector<SinkFrame> out;  // from the appsink named "out"
    std::optional<std::string> error;
};

template <typename T>
struct GstUnref {
    void operator()(T* object) const { gst_object_unref(object); }
};
using ElementPtr = std::unique_ptr<GstElement, GstUnref<GstElement>>;

// A pipeline from its description, or none, with the reason in `error`.
ElementPtr parsePipeline(const std::string& description, std::string& error) {
    GError* failure = nullptr;
    ElementPtr pipeline(gst_parse_launch(description.c_str(), &failure));
    if (failure != nullptr) {
        error = std::string("could not build the pipeline: ") + failure->message;
        g_error_free(failure);
        return nullptr;
    }
    return pipeline;
}

// The same, the test failing where it cannot be built.
ElementPtr launch(const std::string& description) {
    std::string error;
    ElementPtr pipeline = parsePipeline(description, error);
    if (!pipeline) {
        ADD_FAILURE() << error << "\n" << description;
    }
    return pipeline;
}

ElementPtr child(GstElement* pipeline, const char* name) {
    return ElementPtr(gst_bin_get_by_name(GST_BIN(pipeline), name));
}

cv::Mat planeOf(GstVideoFrame* mapped, int plane) {
    return cv::Mat(GST_VIDEO_FRAME_COMP_HEIGHT(mapped, plane),
                   GST_VIDEO_FRAME_COMP_WIDTH(mapped, plane),
                   CV_8UC(GST_VIDEO_FRAME_COMP_PSTRIDE(mapped, plane)),
                   GST_VIDEO_FRAME_PLANE_DATA(mapped, plane),
                   static_cast<size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(mapped, plane)))
        .clone();
}

SinkFrame frameOf(GstSample* sample) {
    GstVideoInfo info;
    EXPECT_TRUE(gst_video_info_from_caps(&info, gst_sample_get_caps(sample)));
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoFrame mapped;
    EXPECT_TRUE(gst_video_frame_map(&mapped, &info, buffer, GST_MAP_READ));
    SinkFrame frame{planeOf(&mapped, 0),
                    {},
                    {},
                    GST_BUFFER_PTS(buffer),
                    GST_BUFFER_DURATION(buffer),
                    GST_VIDEO_INFO_FPS_N(&info),
                    GST_VIDEO_INFO_FPS_D(&info)};
    for (guint plane = 0; plane < GST_VIDEO_FRAME_N_PLANES(&mapped); ++plane) {
        frame.planes.push_back(planeOf(&mapped, static_cast<int>(plane)));
    }
    gchar* colorimetry = gst_video_colorimetry_to_string(&info.colorimetry);
    frame.colorimetry = colorimetry != nullptr ? colorimetry : "";
    g_free(colorimetry);
    gst_video_frame_unmap(&mapped);
    return frame;
}

std::vector<SinkFrame> drain(GstElement* pipeline, const char* name) {
    std::vector<SinkFrame> frames;
    const ElementPtr sink = child(pipeline, name);
    if (!sink) {
        return frames;
    }
    while (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink.get()))) {
        frames.push_back(frameOf(sample));
        gst_sample_unref(sample);
    }
    return frames;
}

// The error on the bus once the pipeline has ended, if it ended in one.
std::optional<std::string> busError(GstElement* pipeline) {
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, 30 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
    std::optional<std::string> error;
    if (message == nullptr) {
        error = "the pipeline neither ended nor failed within 30 s";
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* failure = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message, &failure, &debug);
        error = std::string(GST_OBJECT_NAME(GST_MESSAGE_SRC(message))) + ": " + failure->message +
                " (" + (debug ? debug : "") + ")";
        g_error_free(failure);
        g_free(debug);
    }
    if (message != nullptr) {
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    return error;
}

PipelineRun runPipeline(const std::string& description,
                        const std::function<void(GstElement*)>& prepare = {}) {
    PipelineRun run;
    std::string error;
    const ElementPtr pipeline = parsePipeline(description, error);
    if (!pipeline) {
        run.error = error;
        return run;
    }
    if (prepare) {
        prepare(pipeline.get());
    }
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    run.out = drain(pipeline.get(), "out");
    run.raw = drain(pipeline.get(), "raw");
    run.error = busError(pipeline.get());
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return run;
}

// GStreamer finds the plugin in the build tree, keeps a registry of its own for this test
// program (tests run side by side) and scans plugins in this process, which a sanitizer
// build needs.
class GlintaraElement : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::filesystem::create_directories(GLINTARA_GST_REGISTRY_DIR);
        const std::string registry = std::string(GLINTARA_GST_REGISTRY_DIR) + "/registry-" +
                                     std::to_string(getpid()) + ".bin";
        setenv("GST_PLUGIN_PATH", GLINTARA_GST_PLUGIN_BUILD_DIR, 1);
        setenv("GST_REGISTRY", registry.c_str(), 1);
        setenv("GST_REGISTRY_FORK", "no", 1);
        gst_init(nullptr, nullptr);
        registry_ = new std::string(registry);
    }
    static void TearDownTestSuite() {
        std::filesystem::remove(*registry_);
        delete registry_;
    }

  private:
    static std::string* registry_;
};

std::string* GlintaraElement::registry_ = nullptr;

std::string sink(const char* name) {
    return std::string("appsink name=") + name + " sync=false";
}

// The renderer's own bytes, at the size asked for when there is one.
std::string bgrCaps(const std::string& size = "") {
    return "video/x-raw,format=BGR" + size;
}

// The source's frames to the appsink "raw" as they are, and through glintara with the given
// properties and the output caps asked for to the appsink "out".
std::string beside(const std::string& source, const std::string& properties,
                   const std::string& asked = bgrCaps()) {
    return source + " ! tee name=t t. ! queue ! " + sink("raw") + " t. ! queue ! glintara " +
           properties + " ! " + asked + " ! " + sink("out");
}

// What glintara-render makes of each frame, saved losslessly, at angle, angle + 1, ...; with
// `more` options for frame n where given.
std::vector<cv::Mat> renderToolOf(
    const std::vector<SinkFrame>& frames, int angle, bool turning, bool capture, int side = 640,
    const std::function<std::vector<std::string>(std::size_t n)>& more = {}) {
    ScratchFolder folder;
    std::vector<cv::Mat> renders;
    for (std::size_t n = 0; n < frames.size(); ++n) {
        const std::string in = folder.path("frame.png");
        EXPECT_TRUE(cv::imwrite(in, frames[n].picture));
        const int frameAngle = turning ? (angle + static_cast<int>(n)) % 360 : angle;
        std::vector<std::string> args = {"--angle", std::to_string(frameAngle),
                                         "--size",  std::to_string(side),
                                         in,        folder.path("star.png")};
        if (more) {
            // After the angle, which they may set instead; before the operands.
            const std::vector<std::string> options = more(n);
            args.insert(args.end() - 2, options.begin(), options.end());
        }
        if (capture) {
            args.insert(args.begin(), {"--capture", folder.path("guide.png")});
        }
        const auto result = runRenderTool(args);
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        renders.push_back(cv::imread(folder.path(capture ? "guide.png" : "star.png")));
    }
    return renders;
}

void expectSameBytes(const std::vector<SinkFrame>& out, const std::vector<cv::Mat>& expected) {
    ASSERT_EQ(out.size(), expected.size());
    for (std::size_t n = 0; n < out.size(); ++n) {
        ASSERT_EQ(out[n].picture.size(), expected[n].size()) << "frame " << n;
        EXPECT_EQ(cv::norm(out[n].picture, expected[n], cv::NORM_INF), 0.0) << "frame " << n;
    }
}

// The sanitizer runtimes that a sanitizer build's plugin needs loaded into GStreamer's own
// tools first; nothing in other builds.
std::string preloadForTools() {
    return std::string("LD_PRELOAD=") + GLINTARA_TOOLS_PRELOAD;
}

TEST_F(GlintaraElement, GstInspectListsItWithItsProperties) {
    const ProcessResult inspect = runProcess({"/usr/bin/gst-inspect-1.0", "glintara"},
                                             std::chrono::seconds(30), {preloadForTools()});
    ASSERT_EQ(inspect.exitStatus, 0) << inspect.err;
    for (const char* expected :
         {"Glintara kaleidoscope", "Filter/Effect/Video", "angle", "Range: 0 - 359 Default: 0",
          "turning", "Boolean. Default: true", "picture", "(0): kaleidoscope", "(1): capture",
          "width: [ 128, 4096 ]", "License                  GPL",
          "Binary package           Glintara"}) {
        EXPECT_NE(inspect.out.find(expected), std::string::npos) << expected << "\n" << inspect.out;
    }
}

TEST_F(GlintaraElement, InstalledIntoAPrefixItLoadsFromThere) {
    ScratchFolder prefix;
    const auto installed = installBuildInto(prefix.root());
    ASSERT_EQ(installed.exitStatus, 0) << installed.err;
    const std::filesystem::path plugins = prefix.root() / GLINTARA_GST_PLUGIN_DIR;
    ASSERT_TRUE(std::filesystem::exists(plugins / "libgstglintara.so"));

    const std::vector<std::string> environment = {"GST_PLUGIN_PATH=" + plugins.string(),
                                                  "GST_REGISTRY=" + prefix.path("registry.bin"),
                                                  preloadForTools()};
    const auto inspect =
        runProcess({"/usr/bin/gst-inspect-1.0", "glintara"}, std::chrono::seconds(30), environment);
    ASSERT_EQ(inspect.exitStatus, 0) << inspect.err;
    EXPECT_NE(inspect.out.find(plugins.string()), std::string::npos) << inspect.out;
    const auto launch =
        runProcess({"/usr/bin/gst-launch-1.0", "-q", "videotestsrc", "num-buffers=2", "!",
                    "glintara", "!", "videoconvert", "!", "pngenc", "snapshot=true", "!",
                    "filesink", "location=" + prefix.path("star.png")},
                   std::chrono::seconds(30), environment);
    ASSERT_EQ(launch.exitStatus, 0) << launch.err;
    EXPECT_EQ(cv::imread(prefix.path("star.png")).size(), cv::Size(640, 640));
}

// A frame size and format into the element, and the angle it starts from.
struct Feed {
    int width;
    int height;
    const char* format;
    int angle;
    int side = 640;  // asked downstream; 640 asks nothing
};

void PrintTo(const Feed& feed, std::ostream* out) {
    *out << feed.width << "x" << feed.height << " " << feed.format << " from " << feed.angle;
}

class ElementFeed : public GlintaraElement, public testing::WithParamInterface<Feed> {};

TEST_P(ElementFeed, GivesGlintaraRendersBytesAtEachFramesAngleAndKeepsTheTimes) {
    const Feed feed = GetParam();
    const std::string caps = std::string("video/x-raw,format=") + feed.format +
                             ",width=" + std::to_string(feed.width) +
                             ",height=" + std::to_string(feed.height) + ",framerate=25/2";
    const std::string side = std::to_string(feed.side);
    const std::string asked =
        feed.side == 640 ? bgrCaps() : bgrCaps(",width=" + side + ",height=" + side);
    const PipelineRun run = runPipeline(beside("videotestsrc num-buffers=4 pattern=ball ! " + caps,
                                               "angle=" + std::to_string(feed.angle), asked));
    ASSERT_FALSE(run.error) << *run.error;
    ASSERT_EQ(run.raw.size(), 4u);
    ASSERT_FALSE(run.out.empty());
    EXPECT_EQ(run.out[0].picture.size(), cv::Size(feed.side, feed.side));
    expectSameBytes(run.out, renderToolOf(run.raw, feed.angle, true, false, feed.side));
    for (std::size_t n = 0; n < run.out.size(); ++n) {
        EXPECT_EQ(run.out[n].pts, run.raw[n].pts) << "frame " << n;
        EXPECT_EQ(run.out[n].duration, run.raw[n].duration) << "frame " << n;
        EXPECT_EQ(run.out[n].rateNumerator, 25);
        EXPECT_EQ(run.out[n].rateDenominator, 2);
    }
}

INSTANTIATE_TEST_SUITE_P(SizesFormatsAngles, ElementFeed,
                         testing::Values(Feed{640, 480, "BGR", 0}, Feed{320, 240, "BGR", 358},
                                         Feed{1280, 720, "BGRx", 90}, Feed{641, 479, "BGRA", 200},
                                         Feed{160, 90, "GRAY8", 45},
                                         Feed{1280, 720, "BGRx", 300, 1080},
                                         Feed{320, 240, "BGR", 10, 136}),
                         [](const testing::TestParamInfo<Feed>& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height) + "_" + info.param.format +
                                    "_to_" + std::to_string(info.param.side);
                         });

// I420, which an encoder takes as it is, is the renderer's bytes in BT.601 4:2:0, and says so:
// left unsaid, a picture this large would be read as BT.709.
TEST_F(GlintaraElement, AskedForI420ItGivesTheRenderersPictureInBt601) {
    const PipelineRun run = runPipeline(beside(
        "videotestsrc num-buffers=3 pattern=ball ! video/x-raw,format=BGR,width=1280,height=720",
        "angle=30", "video/x-raw,format=I420,width=1080,height=1080"));
    ASSERT_FALSE(run.error) << *run.error;
    const std::vector<cv::Mat> expected = renderToolOf(run.raw, 30, true, false, 1080);
    ASSERT_EQ(run.out.size(), expected.size());
    for (std::size_t n = 0; n < run.out.size(); ++n) {
        const std::vector<cv::Mat>& planes = run.out[n].planes;
        ASSERT_EQ(planes.size(), 3u);
        EXPECT_LE(yuv420Distance(expected[n], planes[0], planes[1], planes[2]), 0.51)
            << "frame " << n;
        EXPECT_EQ(run.out[n].colorimetry, "bt601");
    }
}

// I420 as decoders give it, in the matrix and range its caps name.
struct YuvFeed {
    const char* colorimetry;
    double kr, kb;
    bool fullRange;
};

void PrintTo(const YuvFeed& feed, std::ostream* out) {
    *out << "I420 in " << feed.colorimetry;
}

class ElementYuvFeed : public GlintaraElement, public testing::WithParamInterface<YuvFeed> {};

// Only the part the renderer reads is converted, by the element itself: the kaleidoscope is
// that of the frame's exact colours, within the rounding of one step in the frame.
TEST_P(ElementYuvFeed, TakesI420InTheColoursItsCapsName) {
    const YuvFeed feed = GetParam();
    const PipelineRun run = runPipeline(beside(
        std::string("videotestsrc num-buffers=2 pattern=smpte ! video/x-raw,format=I420,width=800,"
                    "height=480,colorimetry=") +
            feed.colorimetry,
        "angle=12"));
    ASSERT_FALSE(run.error) << *run.error;
    std::vector<SinkFrame> exact;
    for (const SinkFrame& raw : run.raw) {
        ASSERT_EQ(raw.planes.size(), 3u);
        SinkFrame frame;
        bgrOfYuv420(raw.planes[0], raw.planes[1], raw.planes[2], feed.kr, feed.kb, feed.fullRange)
            .convertTo(frame.picture, CV_8UC3);
        exact.push_back(frame);
    }
    const std::vector<cv::Mat> expected = renderToolOf(exact, 12, true, false);
    ASSERT_EQ(run.out.size(), expected.size());
    for (std::size_t n = 0; n < run.out.size(); ++n) {
        EXPECT_LE(cv::norm(run.out[n].picture, expected[n], cv::NORM_INF), 1.0) << "frame " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Colorimetries, ElementYuvFeed,
                         testing::Values(YuvFeed{"bt709", 0.2126, 0.0722, false},
                                         YuvFeed{"1:4:0:0", 0.299, 0.114, true}),
                         [](const testing::TestParamInfo<YuvFeed>& info) {
                             return info.param.fullRange ? "Bt601FullRange" : "Bt709VideoRange";
                         });

TEST_F(GlintaraElement, HeldStillEveryFrameIsDrawnAtTheAngleProperty) {
    const PipelineRun run = runPipeline(beside(
        "videotestsrc num-buffers=3 pattern=ball ! video/x-raw,format=BGR,width=640,height=480",
        "angle=33 turning=false"));
    ASSERT_FALSE(run.error) << *run.error;
    expectSameBytes(run.out, renderToolOf(run.raw, 33, false, false));
}

TEST_F(GlintaraElement, SteeredByItsPropertiesItGivesGlintaraRendersBytes) {
    const PipelineRun run = runPipeline(beside(
        "videotestsrc num-buffers=3 pattern=ball ! video/x-raw,format=BGR,width=640,height=480",
        "angle=30 speed=-5 center-x=0.25 center-y=0.625 zoom=1.19 turning=false"));
    ASSERT_FALSE(run.error) << *run.error;
    expectSameBytes(run.out, renderToolOf(run.raw, 30, false, false, 640, [](std::size_t) {
                        return std::vector<std::string>{"--center", "0.25,0.625", "--zoom", "1.19"};
                    }));
    const PipelineRun turning = runPipeline(beside(
        "videotestsrc num-buffers=3 pattern=ball ! video/x-raw,format=BGR,width=640,height=480",
        "angle=30 speed=-5 center-x=0.75 picture=capture", bgrCaps()));
    ASSERT_FALSE(turning.error) << *turning.error;
    expectSameBytes(turning.out, renderToolOf(turning.raw, 30, false, true, 640, [](std::size_t n) {
                        return std::vector<std::string>{"--center", "0.75,0.5", "--angle",
                                                        std::to_string(30 - 5 * static_cast<int>(n))};
                    }));
}

// A controller drives the zoom from 1 to 8 over the first three frames (80 ms apart): each
// frame is glintara-render's picture at the zoom of its time.
TEST_F(GlintaraElement, AControlSourceDrivesItsZoomFrameByFrame) {
    const PipelineRun run = runPipeline(
        beside("videotestsrc num-buffers=4 pattern=ball ! "
               "video/x-raw,format=BGR,width=640,height=480,framerate=25/2",
               "name=g turning=false"),
        [](GstElement* pipeline) {
            const ElementPtr element = child(pipeline, "g");
            GstControlSource* source = gst_interpolation_control_source_new();
            g_object_set(source, "mode", GST_INTERPOLATION_MODE_LINEAR, nullptr);
            // Values from 0 to 1 stand for the property's range, 1 to 8.
            gst_timed_value_control_source_set(GST_TIMED_VALUE_CONTROL_SOURCE(source), 0, 0.0);
            gst_timed_value_control_source_set(GST_TIMED_VALUE_CONTROL_SOURCE(source),
                                               240 * GST_MSECOND, 1.0);
            gst_object_add_control_binding(
                GST_OBJECT(element.get()),
                gst_direct_control_binding_new(GST_OBJECT(element.get()), "zoom", source));
            gst_object_unref(source);
        });
    ASSERT_FALSE(run.error) << *run.error;
    ASSERT_EQ(run.out.size(), 4u);
    expectSameBytes(run.out, renderToolOf(run.raw, 0, false, false, 640, [](std::size_t n) {
                        const double zoom = std::min(8.0, 1.0 + 7.0 * static_cast<double>(n) / 3.0);
                        char text[32];
                        std::snprintf(text, sizeof text, "%.17g", zoom);
                        return std::vector<std::string>{"--zoom", text};
                    }));
    EXPECT_GT(cv::norm(run.out[0].picture, run.out[3].picture, cv::NORM_INF), 0.0);
}

TEST_F(GlintaraElement, CapturePictureIsThePreparedFrameWithTheGuideAtEachAngle) {
    const PipelineRun run = runPipeline(beside(
        "videotestsrc num-buffers=3 pattern=smpte ! video/x-raw,format=BGR,width=800,height=600",
        "angle=120 picture=capture"));
    ASSERT_FALSE(run.error) << *run.error;
    ASSERT_FALSE(run.out.empty());
    EXPECT_EQ(run.out[0].picture.size(), cv::Size(640, 480));
    expectSameBytes(run.out, renderToolOf(run.raw, 120, true, true));
}

TEST_F(GlintaraElement, CapturePictureAtALargerSizeIsNByThreeQuartersN) {
    const PipelineRun run = runPipeline(beside(
        "videotestsrc num-buffers=2 pattern=smpte ! video/x-raw,format=BGR,width=800,height=600",
        "angle=7 picture=capture", bgrCaps(",width=1080,height=810")));
    ASSERT_FALSE(run.error) << *run.error;
    ASSERT_FALSE(run.out.empty());
    EXPECT_EQ(run.out[0].picture.size(), cv::Size(1080, 810));
    expectSameBytes(run.out, renderToolOf(run.raw, 7, true, true, 1080));
}

// Anamorphic frames (pixels 4/3 as wide as high, as HDV's) are prepared as they are shown:
// videotestsrc's ball, round in stored pixels, is shown 4/3 as wide as high, in I420 and BGR.
TEST_F(GlintaraElement, AnamorphicFramesArePreparedAsTheyAreShown) {
    for (const char* format : {"I420", "BGR"}) {
        const PipelineRun run = runPipeline(
            std::string("videotestsrc num-buffers=1 pattern=ball ! video/x-raw,format=") + format +
            ",width=1440,height=1080,pixel-aspect-ratio=4/3 ! glintara picture=capture ! " +
            bgrCaps() + " ! " + sink("out"));
        ASSERT_FALSE(run.error) << *run.error;
        ASSERT_EQ(run.out.size(), 1u);
        cv::Mat white;
        cv::inRange(run.out[0].picture, cv::Scalar::all(200), cv::Scalar::all(255), white);
        const cv::Rect ball = cv::boundingRect(white);
        ASSERT_GT(ball.height, 8) << format;
        EXPECT_NEAR(static_cast<double>(ball.width) / ball.height, 4.0 / 3.0, 0.1)
            << format << ": the ball is " << ball.width << "x" << ball.height;
    }
}

TEST_F(GlintaraElement, ConvertedFromACameraFormatItRuns) {
    const PipelineRun run = runPipeline(
        "videotestsrc num-buffers=2 is-live=true ! video/x-raw,format=YUY2,width=640,height=480 "
        "! videoconvert ! glintara ! videoconvert ! video/x-raw,format=I420 ! " +
        sink("out"));
    ASSERT_FALSE(run.error) << *run.error;
    EXPECT_EQ(run.out.size(), 2u);
}

// The sizes of the frames the appsink "out" takes, the element "g" switched to the guide
// picture after the second.
std::vector<cv::Size> sizesSwitchingToCapture(GstElement* pipeline) {
    const ElementPtr element = child(pipeline, "g");
    const ElementPtr out = child(pipeline, "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    std::vector<cv::Size> sizes;
    while (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(out.get()))) {
        sizes.push_back(frameOf(sample).picture.size());
        gst_sample_unref(sample);
        if (sizes.size() == 2) {
            g_object_set(element.get(), "picture", 1, nullptr);  // capture
        }
    }
    return sizes;
}

TEST_F(GlintaraElement, PictureSetWhilePlayingSwitchesTheOutputAndItsSize) {
    const ElementPtr pipeline = launch(
        "videotestsrc num-buffers=8 ! video/x-raw,format=BGR,width=320,height=240 ! glintara "
        "name=g ! " +
        bgrCaps() + " ! appsink name=out sync=false max-buffers=1");
    ASSERT_TRUE(pipeline);
    const std::vector<cv::Size> sizes = sizesSwitchingToCapture(pipeline.get());
    EXPECT_FALSE(busError(pipeline.get()));
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    ASSERT_EQ(sizes.size(), 8u);
    EXPECT_EQ(sizes.front(), cv::Size(640, 640));
    EXPECT_EQ(sizes.back(), cv::Size(640, 480));
}

// Switching the picture as fast as a thread can while frames flow: each negotiation settles on
// one picture, never on the width of one and the height of the other.
TEST_F(GlintaraElement, PictureToggledWhileFramesFlowNeverBreaksTheNegotiation) {
    const ElementPtr pipeline = launch(
        "videotestsrc num-buffers=150 ! video/x-raw,width=320,height=240 ! glintara name=g "
        "! fakesink sync=false");
    ASSERT_TRUE(pipeline);
    const ElementPtr element = child(pipeline.get(), "g");
    std::atomic<bool> ended = false;
    std::jthread toggler([&] {
        for (int picture = 0; !ended; picture = 1 - picture) {
            g_object_set(element.get(), "picture", picture, nullptr);
        }
    });
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    const std::optional<std::string> error = busError(pipeline.get());
    ended = true;
    toggler.join();
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    EXPECT_FALSE(error) << *error;
}

// Downstream holds the size at 1080x1080, where the guide picture cannot go: the element goes on
// with the kaleidoscope and says why on the bus.
TEST_F(GlintaraElement, APictureDownstreamCannotTakeIsRefusedWithAWarning) {
    const ElementPtr pipeline = launch(
        "videotestsrc num-buffers=6 ! video/x-raw,format=BGR,width=320,height=240 ! glintara "
        "name=g ! " +
        bgrCaps(",width=1080,height=1080") + " ! appsink name=out sync=false max-buffers=1");
    ASSERT_TRUE(pipeline);
    const std::vector<cv::Size> sizes = sizesSwitchingToCapture(pipeline.get());
    GstBus* bus = gst_element_get_bus(pipeline.get());
    GstMessage* warning = gst_bus_pop_filtered(bus, GST_MESSAGE_WARNING);
    gst_object_unref(bus);
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    EXPECT_EQ(sizes, std::vector<cv::Size>(6, cv::Size(1080, 1080)));
    ASSERT_NE(warning, nullptr) << "no warning on the bus";
    GError* said = nullptr;
    gst_message_parse_warning(warning, &said, nullptr);
    EXPECT_NE(std::string(said->message).find("capture"), std::string::npos) << said->message;
    g_error_free(said);
    gst_message_unref(warning);
}

TEST_F(GlintaraElement, AFormatItDoesNotTakeFailsWithAnErrorNotACrash) {
    const PipelineRun linked = runPipeline(
        "videotestsrc num-buffers=2 ! video/x-raw,format=NV12 ! glintara ! " + sink("out"));
    ASSERT_TRUE(linked.error);
    EXPECT_NE(linked.error->find("glintara"), std::string::npos) << *linked.error;
    EXPECT_TRUE(linked.out.empty());

    // Caps pushed without asking first meet the element only when the stream starts.
    const ElementPtr pipeline = launch(
        "appsrc name=in format=time caps=video/x-raw,format=NV12,width=320,height=240,"
        "framerate=30/1 ! glintara ! fakesink");
    ASSERT_TRUE(pipeline);
    const ElementPtr source = child(pipeline.get(), "in");
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    gst_app_src_push_buffer(GST_APP_SRC(source.get()),
                            gst_buffer_new_allocate(nullptr, 320 * 240 * 3 / 2, nullptr));
    gst_app_src_end_of_stream(GST_APP_SRC(source.get()));
    const std::optional<std::string> pushed = busError(pipeline.get());
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    ASSERT_TRUE(pushed);
    EXPECT_NE(pushed->find("not-negotiated"), std::string::npos) << *pushed;
}

}  // namespace
}  // namespace glintara
