// The real glintara binary on this machine, which has no camera.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/subprocess.hpp"

namespace glintara {
namespace {

using testing_support::linesOf;
using testing_support::runProcess;

TEST(GlintaraBinary, WithoutACameraSaysSoOnOneLineAndExitsOne) {
    const auto result = runProcess({GLINTARA_BINARY}, std::chrono::seconds(60));
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    ASSERT_EQ(linesOf(result.err).size(), 1u) << result.err;
    EXPECT_NE(result.err.find("no camera"), std::string::npos) << result.err;
}

TEST(GlintaraBinary, WithoutADisplaySaysSoOnOneLineAndExitsOne) {
    // The synthetic build always has its frames, so only the windows can fail here.
    const auto result = runProcess({GLINTARA_SYNTHETIC_BINARY}, std::chrono::seconds(60),
                                   {"DISPLAY=:4097", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="});
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.signal, 0) << "ended by a signal instead of an orderly exit";
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    ASSERT_EQ(linesOf(result.err).size(), 1u) << result.err;
    EXPECT_NE(result.err.find("no display"), std::string::npos) << result.err;
}

// A command line, the status it must end with, and a text its output must hold (on stdout
// for help, else on stderr), for glintara, or for glintara with a picture for a camera, in
// this environment.
struct LiveCommand {
    const char* name;
    std::vector<std::string> arguments;
    int status;
    const char* says;
    bool withCamera = false;
    std::vector<std::string> environment = {};
};

void PrintTo(const LiveCommand& command, std::ostream* out) {
    *out << command.name;
}

class LiveCommandLine : public testing::TestWithParam<LiveCommand> {};

TEST_P(LiveCommandLine, EndsWithItsStatusAndSaysSo) {
    const LiveCommand& command = GetParam();
    std::vector<std::string> argv{command.withCamera ? GLINTARA_SYNTHETIC_BINARY : GLINTARA_BINARY};
    argv.insert(argv.end(), command.arguments.begin(), command.arguments.end());
    // A guard against a hang only: a sanitizer build on a busy machine takes seconds to load.
    const auto result = runProcess(argv, std::chrono::seconds(60), command.environment);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, command.status) << result.err;
    const std::string& said = command.status == 0 ? result.out : result.err;
    EXPECT_NE(said.find(command.says), std::string::npos) << said;
    if (command.status == 1) {
        EXPECT_EQ(linesOf(result.err).size(), 1u) << result.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, LiveCommandLine,
    testing::Values(
        LiveCommand{"Help", {"--help"}, 0, "Usage: glintara [--camera INDEX] [--size N]"},
        LiveCommand{"AnotherCamera", {"--camera", "7"}, 1, "(device 7)"},
        LiveCommand{"UnknownOption", {"--bogus"}, 2, "unknown option '--bogus'"},
        LiveCommand{"Operand", {"--", "--size"}, 2, "unexpected operand '--size'"},
        LiveCommand{"SizeJoinedByEquals", {"--size=1080"}, 1, "(device 0)"},
        LiveCommand{"SwitchGivenAValue", {"--help=yes"}, 2, "unknown option"},
        LiveCommand{"CameraNotANumber", {"--camera", "front"}, 2, "--camera needs"},
        LiveCommand{"CameraMissing", {"--camera"}, 2, "Usage: glintara"},
        LiveCommand{"CameraOutOfRange", {"--camera", "64"}, 2, "0 to 63"},
        LiveCommand{"LargerSize", {"--size", "1080"}, 1, "(device 0)"},
        LiveCommand{"SizeNotAllowed", {"--size", "1004"}, 2, "--size takes"},
        LiveCommand{
            "NoWindowAlone", {"--no-window"}, 2, "--no-window needs --virtual-camera or --record"},
        LiveCommand{"NoWindowFullScreen",
                    {"--no-window", "--record", "a.mp4", "--fullscreen"},
                    2,
                    "--fullscreen needs a window"},
        LiveCommand{"SoundWithoutRecording", {"--sound"}, 2, "--sound needs --record"},
        LiveCommand{
            "RecordingAPicture", {"--record", "star.png"}, 2, "--record takes a video file"},
        LiveCommand{"BothRecordingsOneFile",
                    {"--record", "a.mp4", "--record-capture", "a.mp4"},
                    2,
                    "name the same file"},
        LiveCommand{"VirtualCameraNotAnOutputDevice",
                    {"--no-window", "--virtual-camera", "/dev/null"},
                    1,
                    "/dev/null: is not a V4L2 video output device",
                    true},
        LiveCommand{"VirtualCameraMissing",
                    {"--no-window", "--virtual-camera=/dev/video63"},
                    1,
                    "/dev/video63: cannot be opened",
                    true},
        LiveCommand{"NoPipewireDaemon",
                    {"--no-window", "--virtual-camera"},
                    1,
                    "PipeWire: no daemon can be reached",
                    true,
                    {"XDG_RUNTIME_DIR=/nonexistent", "PIPEWIRE_REMOTE=", "PIPEWIRE_RUNTIME_DIR="}},
        LiveCommand{"SoundWithoutASoundServer",
                    {"--no-window", "--record", "/proc/a.mp4", "--sound"},
                    1,
                    "the default sound input cannot be opened",
                    true,
                    {"XDG_RUNTIME_DIR=/nonexistent", "PULSE_SERVER=unix:/nonexistent"}},
        LiveCommand{"RecordingWhereNothingCanBeWritten",
                    {"--no-window", "--record", "/proc/a.mp4"},
                    1,
                    "/proc/a.mp4: cannot be recorded",
                    true}),
    [](const testing::TestParamInfo<LiveCommand>& info) { return info.param.name; });

}  // namespace
}  // namespace glintara
