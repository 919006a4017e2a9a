#include "app/frame_loop.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "app/application.hpp"
#include "app/keys.hpp"
#include "app/steering.hpp"
#include "core/frame.hpp"
#include "core/workspace.hpp"
#include "core/yuv420.hpp"
#include "tests/support/pictures.hpp"
#include "tests/support/scripted.hpp"

namespace glintara {
namespace {

using testing_support::renderOf;
using testing_support::ScriptedScreen;
using testing_support::ScriptedSource;

constexpr int kEscape = 27;
constexpr int kEnter = 13;
constexpr int kSpace = 32;
constexpr int kRightArrow = 0xff53;  // low byte 0x53 is 'S'
constexpr int kShiftLeft = 0xffe1;

cv::Mat plainFrame() {
    return cv::Mat(kClassic.frameSize.height, kClassic.frameSize.width, CV_8UC3,
                   cv::Scalar(40, 80, 120));
}

// Runs the loop with a renderer that only records the angle of every frame.
struct RecordedRun {
    LoopEnd end;
    std::vector<int> angles;
};

RecordedRun runWithKeys(std::map<int, int> keys, int frames = -1) {
    ScriptedSource source(plainFrame(), frames);
    ScriptedScreen screen(std::move(keys));
    ImageWorkspace ws = createWorkspace();
    RecordedRun run;
    const RenderStep record = [&](ImageWorkspace&, double angle) {
        run.angles.push_back(static_cast<int>(angle));
    };
    run.end = runFrameLoop(source, screen, ws, record);
    return run;
}

TEST(FrameLoop, StartsAtZeroAndComesBackAfter360Frames) {
    const RecordedRun run = runWithKeys({{361, kEscape}});
    ASSERT_EQ(run.angles.size(), 362u);
    EXPECT_EQ(run.angles[0], 0);
    EXPECT_EQ(run.angles[1], 1);
    EXPECT_EQ(run.angles[359], 359);
    EXPECT_EQ(run.angles[360], 0);
    EXPECT_EQ(run.angles[361], 1);
}

class ToggleKey : public testing::TestWithParam<int> {};

TEST_P(ToggleKey, StopsOnTheFrameAtAngle10AndRestartsOnTheNext) {
    const int key = GetParam();
    // S on the frame rendered at 10 holds it; S again on that held frame lets it go on.
    const RecordedRun run = runWithKeys({{10, key}, {12, key}, {15, kEscape}});
    const std::vector<int> expected{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 10, 11, 12, 13};
    EXPECT_EQ(run.angles, expected);
    EXPECT_EQ(run.end, LoopEnd::ExitKey);
}

INSTANTIATE_TEST_SUITE_P(LowerAndUpper, ToggleKey, testing::Values(int{'s'}, int{'S'}));

class ExitKey : public testing::TestWithParam<int> {};

TEST_P(ExitKey, EndsTheLoopOnTheFrameItArrives) {
    const RecordedRun run = runWithKeys({{3, GetParam()}});
    EXPECT_EQ(run.end, LoopEnd::ExitKey);
    EXPECT_EQ(run.angles.size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(Keys, ExitKey,
                         testing::Values(kEscape, kEnter, kSpace, kRightArrow, int{'q'},
                                         int{'s'} + 0x10000, 0x100053));

TEST(FrameLoop, StartsWhereToldAndTurnsAtItsSpeed) {
    ScriptedSource source(plainFrame(), 3);
    ScriptedScreen screen({});
    ImageWorkspace ws = createWorkspace();
    std::vector<int> angles;
    std::vector<cv::Rect> cuts;
    const RenderStep record = [&](ImageWorkspace& workspace, double angle) {
        angles.push_back(static_cast<int>(angle));
        cuts.push_back(workspace.squareCut);
    };
    runFrameLoop(source, screen, ws, record, {}, {.sample = {0.25, 0.5, 2.0}, .speed = -3});
    EXPECT_EQ(angles, (std::vector<int>{0, 357, 354}));
    EXPECT_EQ(cuts, std::vector<cv::Rect>(3, cv::Rect(45, 125, 230, 230)));
}

TEST(FrameLoop, BareModifierPressesAreNoKey) {
    // Shift, Control, Caps Lock, Alt, Super and AltGr before a capital S: the S toggles.
    const RecordedRun run = runWithKeys({{1, kShiftLeft},
                                         {2, 0xffe4},
                                         {3, 0xffe5},
                                         {4, 0xffe9},
                                         {5, 0xffec},
                                         {6, 0xfe03},
                                         {7, 'S'},
                                         {9, kEscape}});
    const std::vector<int> expected{0, 1, 2, 3, 4, 5, 6, 7, 7, 7};
    EXPECT_EQ(run.angles, expected);
}

TEST(FrameLoop, WaitsThirtyMillisecondsForAKeyAndShowsBothWindows) {
    ScriptedSource source(plainFrame(), -1);
    ScriptedScreen screen(std::map<int, int>{{4, kEscape}});
    ImageWorkspace ws = createWorkspace();
    runFrameLoop(source, screen, ws, renderFrame);
    EXPECT_EQ(screen.waits, std::vector<int>(5, 30));
    EXPECT_EQ(screen.shows[kCaptureWindow], 5);
    EXPECT_EQ(screen.shows[kKaleidoscopeWindow], 5);
    EXPECT_EQ(screen.shown[kCaptureWindow].size(), cv::Size(640, 480));
    EXPECT_EQ(screen.shown[kKaleidoscopeWindow].size(), cv::Size(640, 640));
}

TEST(FrameLoop, GuideOutlineNeverReachesTheKaleidoscope) {
    // A black picture: any red in the kaleidoscope could only come from the outline.
    ScriptedSource source(
        cv::Mat::zeros(kClassic.frameSize.height, kClassic.frameSize.width, CV_8UC3), -1);
    ScriptedScreen screen(std::map<int, int>{{2, kEscape}});
    ImageWorkspace ws = createWorkspace();
    runFrameLoop(source, screen, ws, renderFrame);
    cv::Mat captureGrey;
    cv::cvtColor(screen.shown[kCaptureWindow], captureGrey, cv::COLOR_BGR2GRAY);
    EXPECT_GT(cv::countNonZero(captureGrey), 1000) << "the outline is drawn on the capture";
    EXPECT_EQ(cv::countNonZero(ws.squareImage.reshape(1)), 0);
    EXPECT_EQ(cv::countNonZero(screen.shown[kKaleidoscopeWindow].reshape(1)), 0);
}

TEST(FrameLoop, ClosedWindowEndsTheLoop) {
    ScriptedSource source(plainFrame(), -1);
    ScriptedScreen screen(std::map<int, int>{}, 2);
    ImageWorkspace ws = createWorkspace();
    EXPECT_EQ(runFrameLoop(source, screen, ws, renderFrame), LoopEnd::WindowClosed);
    EXPECT_EQ(source.taken, 3);
}

TEST(FrameLoop, SourceThatStopsOrGivesAnEmptyFrameEndsTheLoop) {
    EXPECT_EQ(runWithKeys({}, 7).end, LoopEnd::NoFrame);
    EXPECT_EQ(runWithKeys({}, 7).angles.size(), 7u);

    ScriptedSource empty(cv::Mat(), -1);
    ScriptedScreen screen(std::map<int, int>{});
    ImageWorkspace ws = createWorkspace();
    EXPECT_EQ(runFrameLoop(empty, screen, ws, renderFrame), LoopEnd::NoFrame);
    EXPECT_TRUE(screen.waits.empty());
}

struct OddFrame {
    cv::Size size;
    int type;
};

void PrintTo(const OddFrame& odd, std::ostream* out) {
    *out << odd.size.width << "x" << odd.size.height << " " << cv::typeToString(odd.type);
}

class OddFrames : public testing::TestWithParam<OddFrame> {};

TEST_P(OddFrames, AreBroughtTo640x480ColourBeforeTheCopy) {
    const OddFrame odd = GetParam();
    // A picture that is uniform grey 100 in every format's own range.
    double full = 255.0;
    if (CV_MAT_DEPTH(odd.type) == CV_16U)
        full = 65535.0;
    if (CV_MAT_DEPTH(odd.type) == CV_32F)
        full = 1.0;
    const cv::Mat frame(odd.size, odd.type, cv::Scalar::all(100.0 / 255.0 * full));
    ScriptedSource source(frame, 1);
    ScriptedScreen screen(std::map<int, int>{});
    ImageWorkspace ws = createWorkspace();
    const cv::Mat frameBuffer = ws.frameImage;
    EXPECT_EQ(runFrameLoop(source, screen, ws, [](ImageWorkspace&, double) {}), LoopEnd::NoFrame);

    const cv::Mat& shown = screen.shown[kCaptureWindow];
    ASSERT_EQ(shown.size(), cv::Size(640, 480));
    ASSERT_EQ(shown.type(), CV_8UC3);
    const cv::Scalar mean = cv::mean(shown);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(mean[c], 100.0, 1.0) << "channel " << c;
    }
    EXPECT_EQ(ws.frameImage.data, frameBuffer.data) << "the workspace image was reallocated";
}

INSTANTIATE_TEST_SUITE_P(
    SizesChannelsDepths, OddFrames,
    testing::Values(OddFrame{{1280, 720}, CV_8UC3}, OddFrame{{320, 240}, CV_8UC3},
                    OddFrame{{640, 480}, CV_8UC1}, OddFrame{{640, 480}, CV_8UC4},
                    OddFrame{{1920, 1080}, CV_8UC1}, OddFrame{{641, 479}, CV_8UC2},
                    OddFrame{{640, 480}, CV_16UC3}, OddFrame{{800, 600}, CV_32FC3},
                    OddFrame{{1, 1}, CV_8UC3}),
    [](const testing::TestParamInfo<OddFrame>& info) {
        return std::to_string(info.param.size.width) + "x" +
               std::to_string(info.param.size.height) + "_" +
               cv::typeToString(info.param.type).substr(3);
    });

// A picture of another shape, the centred 4:3 part of it that must be used, and how OpenCV
// must scale that part to the frame.
struct ShapedPicture {
    cv::Size size;
    cv::Rect part;
    int interpolation;
    cv::Size frame{640, 480};
};

void PrintTo(const ShapedPicture& shaped, std::ostream* out) {
    *out << shaped.size.width << "x" << shaped.size.height << " to " << shaped.frame.width;
}

class TrueShape : public testing::TestWithParam<ShapedPicture> {};

TEST_P(TrueShape, OnlyTheCentredFourByThreePartIsScaledToTheFrame) {
    const ShapedPicture shaped = GetParam();
    cv::Mat picture(shaped.size, CV_8UC3);
    cv::randu(picture, 0, 256);
    cv::Mat expected;
    cv::resize(picture(shaped.part), expected, shaped.frame, 0.0, 0.0, shaped.interpolation);
    cv::Mat frameImage(shaped.frame, CV_8UC3);
    FrameScratch scratch;
    prepareFrame(picture, frameImage, scratch);
    EXPECT_EQ(cv::norm(frameImage, expected, cv::NORM_INF), 0.0);

    // Made only in part, as for a kaleidoscope alone, that part is the same.
    const cv::Rect part(shaped.frame.width / 7, shaped.frame.height / 5, shaped.frame.width / 2 + 1,
                        shaped.frame.height / 2 + 1);
    cv::Mat partly(shaped.frame, CV_8UC3, cv::Scalar::all(0));
    prepareFrame(picture, partly, scratch, part);
    EXPECT_EQ(cv::norm(partly(part), expected(part), cv::NORM_INF), 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, TrueShape,
    testing::Values(ShapedPicture{{1920, 1080}, {240, 0, 1440, 1080}, cv::INTER_AREA},
                    ShapedPicture{{1080, 1920}, {0, 555, 1080, 810}, cv::INTER_AREA},
                    ShapedPicture{{1280, 960}, {0, 0, 1280, 960}, cv::INTER_AREA},
                    ShapedPicture{{320, 240}, {0, 0, 320, 240}, cv::INTER_LINEAR},
                    ShapedPicture{{641, 479}, {1, 0, 638, 479}, cv::INTER_LINEAR},
                    ShapedPicture{{500, 480}, {0, 52, 500, 375}, cv::INTER_LINEAR},
                    // Phone and camera video: shrunk by 1.5, 4.5 and 4/3, and by an odd amount.
                    ShapedPicture{{1280, 720}, {160, 0, 960, 720}, cv::INTER_AREA},
                    ShapedPicture{{3840, 2160}, {480, 0, 2880, 2160}, cv::INTER_AREA},
                    ShapedPicture{{1920, 1080}, {240, 0, 1440, 1080}, cv::INTER_AREA, {1080, 810}},
                    ShapedPicture{{1001, 751}, {0, 0, 1001, 750}, cv::INTER_AREA, {728, 546}},
                    // A 3-megapixel still, shrunk by 3.2: some runs of values read their taps
                    // from a window of source values, the others gather them.
                    ShapedPicture{{2048, 1536}, {0, 0, 2048, 1536}, cv::INTER_AREA},
                    ShapedPicture{{1280, 720}, {160, 0, 960, 720}, cv::INTER_LINEAR, {1080, 810}},
                    // A frame whose rows end partway through a run of eight values.
                    ShapedPicture{{333, 250}, {0, 0, 333, 249}, cv::INTER_LINEAR, {500, 375}}),
    [](const testing::TestParamInfo<ShapedPicture>& info) {
        return std::to_string(info.param.size.width) + "x" +
               std::to_string(info.param.size.height) + "_to_" +
               std::to_string(info.param.frame.width);
    });

class Yuv420 : public testing::TestWithParam<cv::Size> {};

// Every value is the reference rounded: at most half a step away, and the fixed-point
// weights' own error is a hundredth of a step.
TEST_P(Yuv420, EveryValueIsTheStandardsRoundedToTheNearestStep) {
    cv::Mat bgr(GetParam(), CV_8UC3);
    cv::randu(bgr, 0, 256);
    bgr.at<cv::Vec3b>(0, 0) = {255, 255, 255};  // the ends of the range
    bgr.at<cv::Vec3b>(bgr.rows - 1, bgr.cols - 1) = {0, 0, 0};
    // Planes with rows longer than their pictures, as an encoder's frames have.
    const cv::Size half((bgr.cols + 1) / 2, (bgr.rows + 1) / 2);
    cv::Mat yRows(bgr.rows, bgr.cols + 32, CV_8UC1), cbRows(half.height, half.width + 32, CV_8UC1),
        crRows(half.height, half.width + 32, CV_8UC1);
    cv::Mat y = yRows.colRange(0, bgr.cols), cb = cbRows.colRange(0, half.width),
            cr = crRows.colRange(0, half.width);
    bgrToYuv420(bgr, y, cb, cr);

    const double worst = testing_support::yuv420Distance(bgr, y, cb, cr);
    EXPECT_LE(worst, 0.51);
    EXPECT_EQ(y.at<uchar>(0, 0), bgr.total() > 1 ? 235 : 16);  // one pixel is both ends
    EXPECT_EQ(y.at<uchar>(bgr.rows - 1, bgr.cols - 1), 16);
}

// The canvases, the frames beside them, and odd and narrow pictures that end partway
// through a run of sixteen.
INSTANTIATE_TEST_SUITE_P(Sizes, Yuv420,
                         testing::Values(cv::Size{640, 640}, cv::Size{1080, 810},
                                         cv::Size{136, 102}, cv::Size{37, 13}, cv::Size{33, 2},
                                         cv::Size{1, 1}, cv::Size{15, 7}),
                         [](const testing::TestParamInfo<cv::Size>& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

// A 4:2:0 frame as a pipeline hands it over, and the part of it made BGR.
struct YuvFrame {
    const char* name;
    double kr, kb;
    bool fullRange;
    cv::Size size;
    cv::Rect part;
};

class FromYuv420 : public testing::TestWithParam<YuvFrame> {};

// Every value is the exact one rounded (or the nearest end of the range), wherever the part
// starts, odd columns and rows included.
TEST_P(FromYuv420, EveryValueIsTheMatrixsRoundedToTheNearestStep) {
    const YuvFrame frame = GetParam();
    const cv::Size half((frame.size.width + 1) / 2, (frame.size.height + 1) / 2);
    cv::Mat y(frame.size, CV_8UC1), cb(half, CV_8UC1), cr(half, CV_8UC1);
    for (cv::Mat* plane : {&y, &cb, &cr}) {
        cv::randu(*plane, 0, 256);
    }
    cv::Mat bgr;
    yuv420ToBgr(y, cb, cr, frame.part, {frame.kr, frame.kb, frame.fullRange}, bgr);
    ASSERT_EQ(bgr.size(), frame.part.size());

    cv::Mat exact = testing_support::bgrOfYuv420(y, cb, cr, frame.kr, frame.kb, frame.fullRange);
    exact = cv::max(cv::min(exact(frame.part), 255.0), 0.0);
    cv::Mat ours;
    bgr.convertTo(ours, CV_64FC3);
    EXPECT_LE(cv::norm(ours, exact, cv::NORM_INF), 0.52);
}

INSTANTIATE_TEST_SUITE_P(
    MatricesAndParts, FromYuv420,
    testing::Values(
        YuvFrame{"Bt601Video", 0.299, 0.114, false, {640, 480}, {0, 0, 640, 480}},
        YuvFrame{"Bt601FullAsJpeg", 0.299, 0.114, true, {640, 480}, {0, 0, 640, 480}},
        YuvFrame{"Bt709Video4by3Part", 0.2126, 0.0722, false, {1280, 720}, {160, 0, 960, 720}},
        YuvFrame{"Bt2020OddPart", 0.2627, 0.0593, false, {641, 479}, {1, 1, 638, 477}},
        YuvFrame{"OddFrame", 0.299, 0.114, true, {37, 13}, {0, 0, 37, 13}}),
    [](const testing::TestParamInfo<YuvFrame>& info) { return info.param.name; });

// The mouse's steering: the wheel in steps of the fourth root of 2 from 1 to 8, taken from
// the nearest step; a right click first, then the rest.
struct SteeringCase {
    const char* name;
    Sample before;
    Steering steering;
    Sample after;
};

class SteeringTable : public testing::TestWithParam<SteeringCase> {};

TEST_P(SteeringTable, GivesTheSampleAsked) {
    const Sample after = steer(GetParam().before, GetParam().steering);
    EXPECT_DOUBLE_EQ(after.centerX, GetParam().after.centerX);
    EXPECT_DOUBLE_EQ(after.centerY, GetParam().after.centerY);
    EXPECT_DOUBLE_EQ(after.zoom, GetParam().after.zoom);
}

INSTANTIATE_TEST_SUITE_P(
    Mouse, SteeringTable,
    testing::Values(
        SteeringCase{"Nothing", {0.2, 0.3, 1.5}, {}, {0.2, 0.3, 1.5}},
        SteeringCase{"FourStepsDoubles", {}, {.zoomSteps = 4}, {0.5, 0.5, 2.0}},
        SteeringCase{"OneStep", {}, {.zoomSteps = 1}, {0.5, 0.5, 1.189207115002721}},
        SteeringCase{"NoFurtherThanEight", {}, {.zoomSteps = 13}, {0.5, 0.5, 8.0}},
        SteeringCase{"NoWiderThanOne", {0.5, 0.5, 2.0}, {.zoomSteps = -5}, {0.5, 0.5, 1.0}},
        // 1.5 is nearest step 2 (4 log2 1.5 = 2.34): one more is 2^(3/4).
        SteeringCase{
            "FromBetweenSteps", {0.5, 0.5, 1.5}, {.zoomSteps = 1}, {0.5, 0.5, 1.681792830507429}},
        SteeringCase{"DragKeepsTheZoom",
                     {0.5, 0.5, 2.0},
                     {.centre = cv::Point2d(0.25, 0.75)},
                     {0.25, 0.75, 2.0}},
        SteeringCase{"RightClickGoesBack", {0.1, 0.9, 4.0}, {.reset = true}, {}},
        SteeringCase{"RightClickThenPress",
                     {0.1, 0.9, 4.0},
                     {.reset = true, .centre = cv::Point2d(0.3, 0.4)},
                     {0.3, 0.4, 1.0}}),
    [](const testing::TestParamInfo<SteeringCase>& info) { return info.param.name; });

TEST(Steering, ThePointersPixelIsTheCentresPixel) {
    for (const cv::Point pixel : {cv::Point(0, 0), cv::Point(639, 479), cv::Point(200, 150)}) {
        const cv::Point2d centre = centreUnder(pixel.x, pixel.y, kClassic.frameSize);
        EXPECT_EQ(static_cast<int>(centre.x * kClassic.frameSize.width), pixel.x);
        EXPECT_EQ(static_cast<int>(centre.y * kClassic.frameSize.height), pixel.y);
    }
}

TEST(Yuyv, EachPixelPairIsY0CbY1CrWithTheColourOfItsRowPair) {
    const cv::Mat y = (cv::Mat_<uchar>(2, 4) << 10, 11, 12, 13, 20, 21, 22, 23);
    const cv::Mat cb = (cv::Mat_<uchar>(1, 2) << 100, 101);
    const cv::Mat cr = (cv::Mat_<uchar>(1, 2) << 200, 201);
    cv::Mat yuyv;
    packYuyv(y, cb, cr, yuyv);
    ASSERT_EQ(yuyv.type(), CV_8UC2);
    const cv::Mat expected = (cv::Mat_<uchar>(2, 8) << 10, 100, 11, 200, 12, 101, 13, 201, 20, 100,
                              21, 200, 22, 101, 23, 201);
    EXPECT_EQ(cv::norm(yuyv.reshape(1), expected, cv::NORM_INF), 0.0);
}

TEST(KeyHelp, TwoLinesByteForByteWithTheColonsInColumn15) {
    std::ostringstream out;
    printKeyHelp(out);
    EXPECT_EQ(out.str(), "\"S\" Key       : Rotate Stop/Start\nAny Other Key : Exit\n");
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);) {
        EXPECT_EQ(line.find(':'), 14u) << line;
    }
}

// A platform whose parts log when they are released, to check the order of clean-up.
struct Recorder {
    std::vector<std::string> events;
};

class LoggedSource : public ScriptedSource {
  public:
    LoggedSource(Recorder& recorder, int frames)
        : ScriptedSource(plainFrame(), frames), recorder_(recorder) {}
    ~LoggedSource() override { recorder_.events.push_back("camera released"); }

  private:
    Recorder& recorder_;
};

class LoggedScreen : public ScriptedScreen {
  public:
    LoggedScreen(Recorder& recorder, std::map<int, int> keys)
        : ScriptedScreen(std::move(keys)), recorder_(recorder) {}
    ~LoggedScreen() override { recorder_.events.push_back("windows destroyed"); }

  private:
    Recorder& recorder_;
};

// An output that keeps what it is given and logs its end, or fails as told.
enum class OutputScript { Works, FailsToOpen, FailsToFinish };

struct TakenFrames {
    std::vector<cv::Mat> kaleidoscopes;
    std::vector<cv::Mat> captures;
    std::vector<Clock::time_point> times;
};

class LoggedOutput : public FrameOutput {
  public:
    LoggedOutput(Recorder& recorder, OutputScript script, TakenFrames& taken)
        : recorder_(recorder), script_(script), taken_(taken) {}
    void take(const ShownFrame& frame) override {
        taken_.kaleidoscopes.push_back(frame.kaleidoscope.clone());
        taken_.captures.push_back(frame.capture.clone());
        taken_.times.push_back(frame.takenAt);
    }
    std::string finish() override {
        recorder_.events.push_back("output finished");
        if (script_ == OutputScript::FailsToFinish) {
            throw std::runtime_error("a.mp4: cannot be written: No space left on device");
        }
        return "Recorded " + std::to_string(taken_.times.size()) + " frames";
    }

  private:
    Recorder& recorder_;
    OutputScript script_;
    TakenFrames& taken_;
};

struct AppRun {
    int status;
    std::string out;
    std::string err;
    std::vector<std::string> events;
    std::vector<TakenFrames> taken;  // per output
};

AppRun runApp(int frames, std::map<int, int> keys, bool cameraOpens = true,
              bool displayOpens = true, std::vector<OutputScript> outputs = {}) {
    Recorder recorder;
    std::vector<TakenFrames> taken(outputs.size());
    const Platform platform{
        .openSource = [&]() -> std::unique_ptr<FrameSource> {
            if (!cameraOpens)
                throw std::runtime_error("no camera could be opened (device 0)");
            return std::make_unique<LoggedSource>(recorder, frames);
        },
        .openScreen = [&]() -> std::unique_ptr<Screen> {
            if (!displayOpens)
                throw std::runtime_error("no display could be opened");
            return std::make_unique<LoggedScreen>(recorder, keys);
        },
        .openOutputs =
            [&] {
                std::vector<std::unique_ptr<FrameOutput>> opened;
                for (std::size_t i = 0; i < outputs.size(); ++i) {
                    if (outputs[i] == OutputScript::FailsToOpen) {
                        throw std::runtime_error("/dev/null: is not a V4L2 video output device");
                    }
                    opened.push_back(
                        std::make_unique<LoggedOutput>(recorder, outputs[i], taken[i]));
                }
                return opened;
            },
    };
    std::ostringstream out;
    std::ostringstream err;
    const int status = runApplication(platform, out, err, renderFrame);
    return {status, out.str(), err.str(), recorder.events, std::move(taken)};
}

TEST(Application, ExitKeyEndsWithStatusZeroAfterTheHelp) {
    const AppRun run = runApp(-1, {{2, kEscape}});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "\"S\" Key       : Rotate Stop/Start\nAny Other Key : Exit\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.events, (std::vector<std::string>{"camera released", "windows destroyed"}));
}

TEST(Application, FailuresGiveOneLineAndStatusOne) {
    const AppRun noCamera = runApp(-1, {}, false);
    EXPECT_EQ(noCamera.status, 1);
    EXPECT_EQ(noCamera.out, "");
    EXPECT_EQ(noCamera.err, "glintara: no camera could be opened (device 0)\n");

    const AppRun noDisplay = runApp(-1, {}, true, false);
    EXPECT_EQ(noDisplay.status, 1);
    EXPECT_EQ(noDisplay.out, "");
    EXPECT_EQ(noDisplay.err, "glintara: no display could be opened\n");
    EXPECT_EQ(noDisplay.events, std::vector<std::string>{"camera released"});

    const AppRun cameraStops = runApp(5, {});
    EXPECT_EQ(cameraStops.status, 1);
    EXPECT_EQ(cameraStops.err, "glintara: no frame could be taken from the camera\n");
    EXPECT_EQ(cameraStops.events,
              (std::vector<std::string>{"camera released", "windows destroyed"}));
}

TEST(Application, EveryOutputTakesEachShownFrameAndFinishesAfterTheWindowsClose) {
    const AppRun run =
        runApp(-1, {{2, kEscape}}, true, true, {OutputScript::Works, OutputScript::Works});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "\"S\" Key       : Rotate Stop/Start\nAny Other Key : Exit\n"
              "Recorded 3 frames\nRecorded 3 frames\n");
    EXPECT_EQ(run.events, (std::vector<std::string>{"camera released", "windows destroyed",
                                                    "output finished", "output finished"}));
    for (const TakenFrames& taken : run.taken) {
        ASSERT_EQ(taken.times.size(), 3u);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(cv::norm(taken.kaleidoscopes[k], renderOf(plainFrame(), k), cv::NORM_INF),
                      0.0);
            EXPECT_EQ(cv::norm(taken.captures[k], renderOf(plainFrame(), k, true), cv::NORM_INF),
                      0.0);
        }
        EXPECT_TRUE(std::is_sorted(taken.times.begin(), taken.times.end()));
    }
}

TEST(Application, AnOutputThatCannotOpenIsSaidBeforeAnyWindowOpens) {
    const AppRun run = runApp(-1, {}, true, true, {OutputScript::FailsToOpen});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "glintara: /dev/null: is not a V4L2 video output device\n");
    EXPECT_EQ(run.events, std::vector<std::string>{"camera released"});
}

TEST(Application, AnOutputThatFailsToFinishIsSaidAndTheOthersStillFinish) {
    const AppRun run =
        runApp(-1, {{0, kEscape}}, true, true, {OutputScript::FailsToFinish, OutputScript::Works});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "glintara: a.mp4: cannot be written: No space left on device\n");
    EXPECT_TRUE(run.out.ends_with("Recorded 1 frames\n")) << run.out;
    EXPECT_EQ(std::count(run.events.begin(), run.events.end(), "output finished"), 2);
}

}  // namespace
}  // namespace glintara
