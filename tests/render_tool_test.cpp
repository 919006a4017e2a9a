// glintara-render as a user runs it: files in, files out, one line when something fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "app/frame_loop.hpp"
#include "core/frame_sequence.hpp"
#include "core/workspace.hpp"
#include "tests/support/pictures.hpp"
#include "tests/support/render_tool.hpp"
#include "tests/support/scripted.hpp"
#include "tests/support/subprocess.hpp"

namespace glintara {
namespace {

using namespace testing_support;

// What the live loop shows in "Glintara" for a frame at an angle.
cv::Mat liveKaleidoscope(const cv::Mat& frame, int angle) {
    ScriptedSource source(frame, angle + 1);
    ScriptedScreen screen(std::map<int, int>{});
    ImageWorkspace ws = createWorkspace();
    runFrameLoop(source, screen, ws, renderFrame);
    return screen.shown[kKaleidoscopeWindow];
}

TEST(RenderStill, WritesTheSameKaleidoscopeAsTheLiveLoopAndTheCapture) {
    ScratchFolder folder;
    const cv::Mat scene = syntheticScene();
    ASSERT_TRUE(cv::imwrite(folder.path("frame.png"), scene));

    const auto result = runRenderTool({"--angle", "10", "--capture", folder.path("cap.png"),
                                       folder.path("frame.png"), folder.path("out.png")});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");

    const cv::Mat out = cv::imread(folder.path("out.png"));
    const cv::Mat cap = cv::imread(folder.path("cap.png"));
    ASSERT_EQ(out.size(), cv::Size(640, 640));
    ASSERT_EQ(cap.size(), cv::Size(640, 480));
    const cv::Mat live = liveKaleidoscope(scene, 10);
    EXPECT_EQ(cv::norm(out, live, cv::NORM_INF), 0.0) << "bit-identical to the live window";
    // The capture is the scene with only the red outline added.
    cv::Mat changed;
    cv::compare(cap, scene, changed, cv::CMP_NE);
    EXPECT_GT(cv::countNonZero(changed.reshape(1)), 1000);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"cap.png", "frame.png", "out.png"}));
}

TEST(RenderStill, TheCenterAndZoomSteerTheSampleAndTheGuideMarksIt) {
    ScratchFolder folder;
    const cv::Mat scene = syntheticScene();
    ASSERT_TRUE(cv::imwrite(folder.path("frame.png"), scene));
    const auto result =
        runRenderTool({"--angle", "20", "--center", "0.25,0.625", "--zoom", "1.19", "--capture",
                       folder.path("cap.png"), folder.path("frame.png"), folder.path("out.png")});
    ASSERT_EQ(result.exitStatus, 0) << result.err;

    // What every front door's frame sequence makes of that sample.
    FrameSequence sequence(20);
    sequence.setSample({0.25, 0.625, 1.19});
    ImageWorkspace ws = createWorkspace();
    sequence.render(scene, ws, Guide::Wanted);
    EXPECT_EQ(cv::norm(cv::imread(folder.path("out.png")), ws.outputImage, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(cv::imread(folder.path("cap.png")), ws.frameImage, cv::NORM_INF), 0.0);
    EXPECT_GT(cv::norm(ws.outputImage, renderOf(scene, 20), cv::NORM_INF), 0.0)
        << "the steered sample made the middle's picture";
}

TEST(RenderStill, NegativeAnglesWrapAroundAndJpegOutputWorks) {
    ScratchFolder folder;
    ASSERT_TRUE(cv::imwrite(folder.path("frame.png"), syntheticScene()));
    ASSERT_EQ(
        runRenderTool({"--angle=-30", folder.path("frame.png"), folder.path("a.png")}).exitStatus,
        0);
    ASSERT_EQ(
        runRenderTool({"--angle=330", folder.path("frame.png"), folder.path("b.png")}).exitStatus,
        0);
    EXPECT_EQ(readFile(folder.path("a.png")), readFile(folder.path("b.png")));
    ASSERT_EQ(runRenderTool({folder.path("frame.png"), folder.path("c.JPG")}).exitStatus, 0);
    EXPECT_EQ(cv::imread(folder.path("c.JPG")).size(), cv::Size(640, 640));
}

TEST(RenderStill, OddInputsArePreparedLikeCameraFrames) {
    ScratchFolder folder;
    cv::Mat grey;
    cv::cvtColor(syntheticScene({1024, 768}), grey, cv::COLOR_BGR2GRAY);
    ASSERT_TRUE(cv::imwrite(folder.path("grey.png"), grey));
    ASSERT_EQ(runRenderTool({folder.path("grey.png"), folder.path("out.png")}).exitStatus, 0);

    EXPECT_EQ(cv::norm(cv::imread(folder.path("out.png")), renderOf(grey, 0), cv::NORM_INF), 0.0);
}

TEST(RenderTool, HelpGoesToStdoutAndUsageMistakesToStderr) {
    const auto help = runRenderTool({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.out.rfind("Usage: glintara-render", 0), 0u);
    EXPECT_EQ(help.err, "");

    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"only-one"},
                                                 {"--bogus", "a", "b"},
                                                 {"--angle", "ten", "a", "b"}}) {
        const auto mistake = runRenderTool(args);
        EXPECT_EQ(mistake.exitStatus, 2);
        EXPECT_EQ(mistake.out, "");
        EXPECT_EQ(mistake.err.rfind("glintara-render: ", 0), 0u) << mistake.err;
        EXPECT_NE(mistake.err.find("Usage: glintara-render"), std::string::npos);
    }
}

// A run that must fail. Arguments not starting with "--" name files in the test's folder,
// which holds good.png, good.jpg, an earlier out.png and an empty folder "folder".
struct FailingRun {
    std::string name;
    std::vector<std::string> arguments;
    std::string namedFile;  // the file the error line must name
    std::string says;
    std::function<void(const ScratchFolder&)> prepare = [](const ScratchFolder&) {};
};

void PrintTo(const FailingRun& run, std::ostream* out) {
    *out << run.name;
}

class RenderFailure : public testing::TestWithParam<FailingRun> {};

TEST_P(RenderFailure, SaysOneLineNamingTheFileAndLeavesNothingBehind) {
    ScratchFolder folder;
    const cv::Mat scene = syntheticScene();
    cv::imwrite(folder.path("good.png"), scene);
    cv::imwrite(folder.path("good.jpg"), scene);
    writeFile(folder.path("out.png"), "precious");  // an earlier result must survive
    std::filesystem::create_directory(folder.path("folder"));
    GetParam().prepare(folder);
    std::vector<std::string> arguments;
    for (const std::string& argument : GetParam().arguments) {
        arguments.push_back(argument.starts_with("--") ? argument : folder.path(argument));
    }
    const auto before = folder.names();

    const auto result = runRenderTool(arguments);
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(result.out, "");
    ASSERT_EQ(linesOf(result.err).size(), 1u) << result.err;
    EXPECT_EQ(result.err.rfind("glintara-render: " + folder.path(GetParam().namedFile) + ": ", 0),
              0u)
        << result.err;
    EXPECT_NE(result.err.find(GetParam().says), std::string::npos) << result.err;

    EXPECT_EQ(folder.names(), before) << "no new, partial or temporary file";
    EXPECT_EQ(readFile(folder.path("out.png")), "precious");
}

// A copy of the file cut to half its length, named "cut-" + name.
std::function<void(const ScratchFolder&)> cutInHalf(const std::string& name) {
    return [name](const ScratchFolder& folder) {
        const std::string bytes = readFile(folder.path(name));
        writeFile(folder.path("cut-" + name), bytes.substr(0, bytes.size() / 2));
    };
}

std::function<void(const ScratchFolder&)> fileHolding(const std::string& name,
                                                      const std::string& bytes) {
    return [=](const ScratchFolder& folder) { writeFile(folder.path(name), bytes); };
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Paths, RenderFailure,
    testing::Values(
        FailingRun{"MissingInput", {"none.png", "out.png"}, "none.png", "no such file"},
        FailingRun{"DirectoryInput", {"folder", "out.png"}, "folder", "is a directory"},
        FailingRun{"EmptyInput", {"empty.png", "out.png"}, "empty.png", "is empty",
                   fileHolding("empty.png", "")},
        FailingRun{"TextInput", {"notes.png", "out.png"}, "notes.png", "not an image or a video",
                   fileHolding("notes.png", "this is not a picture\n")},
        FailingRun{"TruncatedPng", {"cut-good.png", "out.png"}, "cut-good.png",
                   "damaged or truncated", cutInHalf("good.png")},
        FailingRun{"TruncatedJpeg", {"cut-good.jpg", "out.png"}, "cut-good.jpg",
                   "damaged or truncated", cutInHalf("good.jpg")},
        FailingRun{"UnknownOutputExtension", {"good.png", "out.xyz"}, "out.xyz", "no image format"},
        FailingRun{"OutputWithoutExtension", {"good.png", "out"}, "out", "no image format"},
        FailingRun{"UnknownCaptureExtension", {"--capture", "cap.doc", "good.png", "out.png"},
                   "cap.doc", "no image format"},
        FailingRun{"OutputIsADirectory", {"good.png", "folder.png"}, "folder.png",
                   "is a directory",
                   [](const ScratchFolder& f) { std::filesystem::create_directory(f.path("folder.png")); }},
        FailingRun{"OutputFolderMissing", {"good.png", "nowhere/out.png"}, "nowhere/out.png",
                   "cannot be written"},
        FailingRun{"CaptureFolderMissing", {"--capture", "nowhere/cap.png", "good.png", "out.png"},
                   "nowhere/cap.png", "cannot be written"},
        FailingRun{"OutputIsInput", {"good.png", "good.png"}, "good.png", "is INPUT too"},
        FailingRun{"CaptureIsInputByAnotherName", {"--capture", "./good.png", "good.png", "out.png"},
                   "./good.png", "is INPUT too"},
        FailingRun{"CaptureIsOutput", {"--capture", "out.png", "good.png", "out.png"}, "out.png",
                   "is OUTPUT too"},
        FailingRun{"OverSizeImage", {"huge.pgm", "out.png"}, "huge.pgm", "too large",
                   fileHolding("huge.pgm", "P5\n40000 40000\n255\nxxxx")}),
    [](const testing::TestParamInfo<FailingRun>& info) { return info.param.name; });
// clang-format on

// Fingerprints of renders of the synthetic scene, taken when the renderer's output was
// checked against the layout tables, the blur counts and the transforms above. A change
// here means the picture changed: look at the image written beside the test before
// updating them.
struct Golden {
    int angle;
    std::uint64_t kaleidoscope;
    std::uint64_t capture;
};

void PrintTo(const Golden& golden, std::ostream* out) {
    *out << "angle " << golden.angle;
}

class GoldenRender : public testing::TestWithParam<Golden> {};

TEST_P(GoldenRender, MatchesTheRecordedPicture) {
    const Golden golden = GetParam();
    const cv::Mat outputImage = renderOf(syntheticScene(), golden.angle);
    const cv::Mat frameImage = renderOf(syntheticScene(), golden.angle, true);
    const std::uint64_t kaleidoscope = fingerprint(outputImage);
    const std::uint64_t capture = fingerprint(frameImage);
    if (kaleidoscope != golden.kaleidoscope || capture != golden.capture) {
        // Kept in the build tree for a look, never in the sources.
        const std::filesystem::path folder(GLINTARA_TEST_OUTPUT_DIR);
        std::filesystem::create_directories(folder);
        const std::string name = "golden-" + std::to_string(golden.angle);
        cv::imwrite((folder / (name + "-kaleidoscope.png")).string(), outputImage);
        cv::imwrite((folder / (name + "-capture.png")).string(), frameImage);
        ADD_FAILURE() << "the pictures are in " << folder.string();
    }
    EXPECT_EQ(kaleidoscope, golden.kaleidoscope) << std::hex << kaleidoscope;
    EXPECT_EQ(capture, golden.capture) << std::hex << capture;
}

INSTANTIATE_TEST_SUITE_P(Angles, GoldenRender,
                         testing::Values(Golden{0, 0xe0877994d8db4125, 0xf84b4399984588e4},
                                         Golden{10, 0x1ba4cf526dbc19a6, 0x5fbc8223707927c6},
                                         Golden{137, 0x451f469b2e572976, 0x9883047f7951cd83},
                                         Golden{359, 0x7225e73f8bed761e, 0xdbf902a4ebdb127d}),
                         [](const testing::TestParamInfo<Golden>& info) {
                             return "Angle" + std::to_string(info.param.angle);
                         });

}  // namespace
}  // namespace glintara
