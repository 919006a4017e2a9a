// The frei0r filter inside the hosts people use: FFmpeg, GStreamer's frei0r bridge and MLT's
// melt, each loading the plugin from the build tree through FREI0R_PATH. Every frame the
// hosts give back is glintara-render's picture of that frame at the size the frame allows,
// placed on black, byte for byte.
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <regex>
#include <string>
#include <vector>

#include "frei0r/glintara_frei0r.hpp"
#include "tests/support/pictures.hpp"
#include "tests/support/subprocess.hpp"

namespace glintara {
namespace {

using namespace testing_support;
using namespace std::chrono_literals;

constexpr int kFrames = 2;

// What the hosts run with: our plugin folder, a GStreamer registry of the test's own, and in a
// sanitizer build the runtimes the plugin needs loaded into the hosts first.
std::vector<std::string> hostEnvironment(const ScratchFolder& folder) {
    return {std::string("FREI0R_PATH=") + GLINTARA_FREI0R_DIR,
            "GST_REGISTRY=" + folder.path("registry.bin"),
            std::string("LD_PRELOAD=") + GLINTARA_TOOLS_PRELOAD};
}

// Generated frames of the given size, frame1.png onwards.
void writeFrames(const ScratchFolder& folder, cv::Size size) {
    const auto even = [](int length) { return std::to_string(length + length % 2); };
    const std::string source = "testsrc2=s=" + even(size.width) + "x" + even(size.height) +
                               ":r=25,format=rgb24,crop=" + std::to_string(size.width) + ":" +
                               std::to_string(size.height) + ":0:0";
    const auto made = runProcess({"/usr/bin/ffmpeg", "-v", "error", "-f", "lavfi", "-i", source,
                                  "-frames:v", std::to_string(kFrames), folder.path("frame%d.png")},
                                 60s);
    ASSERT_EQ(made.exitStatus, 0) << made.err;
}

std::string framePath(const ScratchFolder& folder, int n) {
    return folder.path("frame" + std::to_string(n) + ".png");
}

// glintara-render's picture of a frame: the kaleidoscope, or with `guide` its capture; with
// `steering` options where given.
cv::Mat renderToolPicture(const ScratchFolder& folder, int n, int side, int degrees, bool guide,
                          const std::vector<std::string>& steering) {
    const std::string kaleidoscope = folder.path("kaleidoscope.png");
    const std::string capture = folder.path("capture.png");
    std::vector<std::string> command{
        GLINTARA_RENDER_BINARY,  "--quiet",   "--size", std::to_string(side), "--angle",
        std::to_string(degrees), "--capture", capture,  framePath(folder, n), kaleidoscope};
    command.insert(command.begin() + 1, steering.begin(), steering.end());
    const auto rendered = runProcess(command, 60s);
    EXPECT_EQ(rendered.exitStatus, 0) << rendered.err;
    return cv::imread(guide ? capture : kaleidoscope);
}

// A frame given to a host and what the filter must make of it.
struct HostFrame {
    const char* name;
    cv::Size frame;
    const char* angle;  // as the host is given it
    bool fill;
    bool guide;
    int degrees;  // what the angle comes to
    int side;     // the canvas side the frame allows, 0 where it passes through
    cv::Point corner;
    // FFmpeg 5.1 pads the rows of a frame to a multiple of 64 bytes, and its frei0r filter
    // hands the padded frame over as if it were not: frames whose width is not a multiple of
    // 16 come out sheared with every frei0r filter. Those frames are tried in GStreamer only.
    bool inFFmpeg = true;
    // The three parameters after the first three, as hosts are given them, and the same in
    // glintara-render's options; none: the first three alone.
    std::vector<std::string> steered = {};
    std::vector<std::string> toolSteering = {};
};

// The RGBA frame the host must give back.
cv::Mat expectedFrame(const ScratchFolder& folder, int n, const HostFrame& row) {
    cv::Mat expected;
    if (row.side == 0) {
        cv::cvtColor(cv::imread(framePath(folder, n)), expected, cv::COLOR_BGR2RGBA);
        return expected;
    }
    const cv::Mat picture =
        renderToolPicture(folder, n, row.side, row.degrees, row.guide, row.toolSteering);
    expected = cv::Mat(row.frame, CV_8UC4, cv::Scalar(0, 0, 0, 255));
    const cv::Rect placed = cv::Rect(row.corner, picture.size()) & cv::Rect(cv::Point(), row.frame);
    cv::Mat into = expected(placed);
    cv::cvtColor(picture(placed - row.corner), into, cv::COLOR_BGR2RGBA);
    return expected;
}

// Where two frames differ, for the failure message.
cv::Rect differingArea(const cv::Mat& a, const cv::Mat& b) {
    cv::Mat difference;
    cv::absdiff(a, b, difference);
    cv::Mat channels = difference.reshape(1, difference.rows * difference.cols);
    cv::Mat anyChannel;
    cv::reduce(channels, anyChannel, 1, cv::REDUCE_MAX);
    return cv::boundingRect(anyChannel.reshape(1, difference.rows));
}

enum class Host { FFmpeg, GStreamer };

void PrintTo(const HostFrame& row, std::ostream* out) {
    *out << row.name;
}
void PrintTo(Host host, std::ostream* out) {
    *out << (host == Host::FFmpeg ? "FFmpeg" : "GStreamer");
}

std::vector<std::string> hostCommand(Host host, const ScratchFolder& folder, const HostFrame& row,
                                     const std::string& out) {
    if (host == Host::FFmpeg) {
        std::string params =
            std::string(row.angle) + "|" + (row.fill ? "y" : "n") + "|" + (row.guide ? "y" : "n");
        for (const std::string& value : row.steered) {
            params += "|" + value;
        }
        return {"/usr/bin/ffmpeg",
                "-v",
                "error",
                "-i",
                folder.path("frame%d.png"),
                "-vf",
                "frei0r=filter_name=glintara:filter_params=" + params,
                "-f",
                "rawvideo",
                "-pix_fmt",
                "rgba",
                out};
    }
    std::vector<std::string> steering;
    const char* names[] = {"center-x=", "center-y=", "zoom="};
    for (std::size_t i = 0; i < row.steered.size(); ++i) {
        steering.push_back(names[i] + row.steered[i]);
    }
    std::vector<std::string> command = {"/usr/bin/gst-launch-1.0",
                                        "-q",
                                        "multifilesrc",
                                        "location=" + folder.path("frame%d.png"),
                                        "start-index=1",
                                        "stop-index=" + std::to_string(kFrames),
                                        "caps=image/png,framerate=1/1",
                                        "!",
                                        "pngdec",
                                        "!",
                                        "videoconvert",
                                        "!",
                                        "video/x-raw,format=RGBA",
                                        "!",
                                        "frei0r-filter-glintara",
                                        std::string("angle=") + row.angle,
                                        std::string("fill=") + (row.fill ? "true" : "false"),
                                        std::string("guide=") + (row.guide ? "true" : "false"),
                                        "!",
                                        "filesink",
                                        "location=" + out};
    command.insert(command.end() - 3, steering.begin(), steering.end());
    return command;
}

class Frei0rHosts : public testing::TestWithParam<std::tuple<HostFrame, Host>> {};

TEST_P(Frei0rHosts, GiveGlintaraRendersPictureOfEachFramePlacedOnBlack) {
    const auto& [row, host] = GetParam();
    ScratchFolder folder;
    writeFrames(folder, row.frame);
    const std::string out = folder.path("out.rgba");
    const auto ran = runProcess(hostCommand(host, folder, row, out), 120s, hostEnvironment(folder));
    ASSERT_EQ(ran.exitStatus, 0) << ran.err;

    const std::string bytes = readFile(out);
    const std::size_t frameBytes = row.frame.area() * 4;
    ASSERT_EQ(bytes.size(), frameBytes * kFrames);
    for (int n = 1; n <= kFrames; ++n) {
        const cv::Mat given(row.frame, CV_8UC4,
                            const_cast<char*>(bytes.data()) + (n - 1) * frameBytes);
        const cv::Mat expected = expectedFrame(folder, n, row);
        EXPECT_EQ(cv::norm(given, expected, cv::NORM_INF), 0.0)
            << "frame " << n << " differs in " << differingArea(given, expected);
    }
}

// The frame sizes people edit (landscape, portrait, 4:3), each way of placing the picture, and
// a frame too small for the renderer. The angle's 0..1 is 0..359 degrees, rounded.
const HostFrame kHostFrames[] = {
    {"Landscape", {1920, 1080}, "0.5", false, false, 180, 1080, {420, 0}},
    {"Portrait", {720, 1280}, "1", false, false, 359, 720, {0, 280}},
    {"FourByThree", {640, 480}, "0", false, false, 0, 480, {80, 0}},
    {"LandscapeFilled", {1920, 1080}, "0.25", true, false, 90, 1920, {0, -420}},
    {"LandscapeGuide", {1920, 1080}, "0.1", false, true, 36, 1440, {240, 0}},
    {"PortraitGuideFilled", {720, 1280}, "0.75", true, true, 269, 1712, {-496, -2}},
    {"TooSmall", {208, 112}, "0.5", false, false, 0, 0, {0, 0}},
    {"PhonePortrait", {1080, 1920}, "1", false, false, 359, 1080, {0, 420}, false},
    {"PhonePortraitGuideFilled", {1080, 1920}, "0.75", true, true, 269, 2560, {-740, 0}, false},
    {"OddSizeFilled", {1001, 999}, "0.002", true, false, 1, 1008, {-4, -5}, false},
    // Six values: the sample steered to the left at zoom 2 (a third of the way to 8).
    {"LandscapeSteered",
     {1920, 1080},
     "0.5",
     false,
     false,
     180,
     1080,
     {420, 0},
     true,
     {"0.25", "0.625", "0.3333333333333333"},
     {"--center", "0.25,0.625", "--zoom", "2"}},
    {"FourByThreeGuideSteered",
     {640, 480},
     "0",
     false,
     true,
     0,
     640,
     {0, 0},
     true,
     {"0.9", "0.1", "1"},
     {"--center", "0.9,0.1", "--zoom", "8"}},
};

std::vector<std::tuple<HostFrame, Host>> hostRuns() {
    std::vector<std::tuple<HostFrame, Host>> runs;
    for (const HostFrame& row : kHostFrames) {
        if (row.inFFmpeg) {
            runs.emplace_back(row, Host::FFmpeg);
        }
        runs.emplace_back(row, Host::GStreamer);
    }
    return runs;
}

INSTANTIATE_TEST_SUITE_P(Frames, Frei0rHosts, testing::ValuesIn(hostRuns()),
                         [](const testing::TestParamInfo<std::tuple<HostFrame, Host>>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == Host::FFmpeg ? "_FFmpeg"
                                                                             : "_GStreamer");
                         });

// MLT, the engine of Kdenlive and Shotcut, renders a clip through the filter to a file.
TEST(Frei0rInMelt, RendersAClipThroughTheFilterToAFile) {
    if (!std::string(GLINTARA_TOOLS_PRELOAD).empty()) {
        // melt 7.12 hangs at start with the sanitizer runtimes loaded into it, filter or not;
        // the sanitizers see the filter at work in FFmpeg and GStreamer instead.
        GTEST_SKIP() << "melt does not start with the sanitizer runtimes preloaded";
    }
    ScratchFolder folder;
    writeFrames(folder, {640, 480});
    // A profile of the frame's own size, so that melt does not scale it; melt 7.12 crashes on
    // one without a description.
    writeFile(folder.path("profile"),
              "description=640x480\nwidth=640\nheight=480\nprogressive=1\nframe_rate_num=25\nframe_"
              "rate_den=1\n"
              "sample_aspect_num=1\nsample_aspect_den=1\ndisplay_aspect_num=4\n"
              "display_aspect_den=3\ncolorspace=601\n");
    const std::string out = folder.path("out.avi");
    const auto ran = runProcess({"/usr/bin/melt", "-quiet", "-profile", folder.path("profile"),
                                 framePath(folder, 1), "out=9", "-filter", "frei0r.glintara",
                                 "angle=0.5", "-consumer", "avformat:" + out, "vcodec=png"},
                                120s, hostEnvironment(folder));
    ASSERT_EQ(ran.exitStatus, 0) << "signal " << ran.signal << " timed out " << ran.timedOut
                                 << ran.err;

    const auto counted =
        runProcess({"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                    "-show_entries", "stream=width,height,nb_read_frames", "-of", "csv=p=0", out});
    EXPECT_EQ(counted.out, "640,480,10\n") << counted.err;
    const auto first = runProcess(
        {"/usr/bin/ffmpeg", "-v", "error", "-i", out, "-frames:v", "1", folder.path("first.png")});
    ASSERT_EQ(first.exitStatus, 0) << first.err;
    const HostFrame row{"", {640, 480}, "0.5", false, false, 180, 480, {80, 0}};
    cv::Mat given;
    cv::cvtColor(cv::imread(folder.path("first.png")), given, cv::COLOR_BGR2RGBA);
    EXPECT_EQ(cv::norm(given, expectedFrame(folder, 1, row), cv::NORM_INF), 0.0);
}

// frei0r's 0..1 for the angle, as hosts may hand it: out of range, or not a number.
TEST(Frei0rAngle, ComesToWholeDegreesAndStaysInRange) {
    const std::pair<double, int> cases[] = {{0.0, 0},  {1.0, 359}, {0.5, 180},       {1.0 / 359, 1},
                                            {-0.3, 0}, {7.0, 359}, {std::nan(""), 0}};
    for (const auto& [value, degrees] : cases) {
        EXPECT_EQ(frei0r::degreesFromParameter(value), degrees) << value;
    }
}

// Kdenlive hands the effect's parameters to MLT by the names its description gives them.
TEST(Frei0rInKdenlive, TheEffectDescriptionNamesThePluginsParametersInOrder) {
    const std::string description = readFile(GLINTARA_KDENLIVE_EFFECT);
    EXPECT_NE(description.find("tag=\"frei0r.glintara\""), std::string::npos);
    const std::regex parameter("<parameter [^>]*name=\"([^\"]+)\"");
    std::vector<std::string> named;
    for (std::sregex_iterator it(description.begin(), description.end(), parameter), end; it != end;
         ++it) {
        named.push_back((*it)[1]);
    }
    std::vector<std::string> declared;
    for (const frei0r::Parameter& p : frei0r::kParameters) {
        declared.emplace_back(p.name);
    }
    EXPECT_EQ(named, declared);
}

}  // namespace
}  // namespace glintara
