#include "render-tool/options.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace glintara::tool {
namespace {

ParsedCommandLine parse(std::vector<std::string> args) {
    args.insert(args.begin(), "glintara-render");
    std::vector<const char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    return parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

struct GoodLine {
    std::vector<std::string> args;
    int angle;
    std::string input;
    std::string output;
};

void PrintTo(const GoodLine& line, std::ostream* out) {
    for (const std::string& arg : line.args) {
        *out << "'" << arg << "' ";
    }
}

class AcceptedCommandLine : public testing::TestWithParam<GoodLine> {};

TEST_P(AcceptedCommandLine, GivesTheAngleInRangeAndTheOperands) {
    const GoodLine& line = GetParam();
    const ParsedCommandLine parsed = parse(line.args);
    ASSERT_TRUE(std::holds_alternative<Options>(parsed));
    const Options& options = std::get<Options>(parsed);
    EXPECT_EQ(options.angle, line.angle);
    EXPECT_EQ(options.inputPath, line.input);
    EXPECT_EQ(options.outputPath, line.output);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, AcceptedCommandLine,
    testing::Values(GoodLine{{"in.png", "out.png"}, 0, "in.png", "out.png"},
                    GoodLine{{"--angle", "10", "in.png", "out.png"}, 10, "in.png", "out.png"},
                    GoodLine{{"--angle", "-30", "a", "b"}, 330, "a", "b"},
                    GoodLine{{"--angle=720", "a", "b"}, 0, "a", "b"},
                    GoodLine{{"--angle", "+365", "a", "b"}, 5, "a", "b"},
                    GoodLine{{"--angle", "-360", "a", "b"}, 0, "a", "b"},
                    GoodLine{{"--angle", "-1", "a", "b"}, 359, "a", "b"},
                    GoodLine{{"--angle", "-9223372036854775807", "a", "b"}, 353, "a", "b"},
                    GoodLine{{"a", "--angle", "7", "b"}, 7, "a", "b"},
                    GoodLine{{"--", "-in.png", "-out.png"}, 0, "-in.png", "-out.png"}),
    [](const auto& info) { return "Line" + std::to_string(info.index); });

TEST(CommandLine, CenterZoomAndSpeed) {
    const ParsedCommandLine parsed =
        parse({"--center", "0.25,1", "--zoom=1.5", "--speed", "-45", "in.png", "out.mp4"});
    ASSERT_TRUE(std::holds_alternative<Options>(parsed));
    const Options& options = std::get<Options>(parsed);
    EXPECT_EQ(options.sample, (Sample{0.25, 1.0, 1.5}));
    EXPECT_EQ(options.speed, -45);
    const Options defaults = std::get<Options>(parse({"in.png", "out.png"}));
    EXPECT_EQ(defaults.sample, Sample{});
    EXPECT_EQ(defaults.speed, 1);
}

TEST(CommandLine, CaptureFramesAndQuiet) {
    const ParsedCommandLine parsed =
        parse({"--capture", "cap.png", "--frames=12", "--quiet", "in.avi", "out.avi"});
    ASSERT_TRUE(std::holds_alternative<Options>(parsed));
    const Options& options = std::get<Options>(parsed);
    EXPECT_EQ(options.capturePath, "cap.png");
    EXPECT_EQ(options.frameLimit, 12);
    EXPECT_TRUE(options.quiet);
}

struct RateLine {
    std::string text;
    Ratio rate;
};

void PrintTo(const RateLine& line, std::ostream* out) {
    *out << "'" << line.text << "'";
}

class FrameRateOption : public testing::TestWithParam<RateLine> {};

TEST_P(FrameRateOption, IsKeptAsAnExactRatio) {
    const ParsedCommandLine parsed = parse({"--fps", GetParam().text, "in.png", "out.mp4"});
    ASSERT_TRUE(std::holds_alternative<Options>(parsed));
    EXPECT_EQ(std::get<Options>(parsed).framesPerSecond, GetParam().rate);
}

INSTANTIATE_TEST_SUITE_P(Rates, FrameRateOption,
                         testing::Values(RateLine{"30", {30, 1}}, RateLine{"12.5", {25, 2}},
                                         RateLine{"29.97", {2997, 100}}, RateLine{"0.5", {1, 2}},
                                         RateLine{"1000", {1000, 1}}, RateLine{"24.000", {24, 1}}),
                         [](const auto& info) { return "Rate" + std::to_string(info.index); });

TEST(CommandLine, HelpIsRecognisedAmongOperands) {
    EXPECT_TRUE(std::holds_alternative<HelpRequested>(parse({"--help"})));
    EXPECT_TRUE(std::holds_alternative<HelpRequested>(parse({"a", "b", "-h"})));
}

struct BadLine {
    std::vector<std::string> args;
    std::string mentions;
};

void PrintTo(const BadLine& line, std::ostream* out) {
    for (const std::string& arg : line.args) {
        *out << "'" << arg << "' ";
    }
}

class RejectedCommandLine : public testing::TestWithParam<BadLine> {};

TEST_P(RejectedCommandLine, IsAUsageMistakeThatSaysWhy) {
    const ParsedCommandLine parsed = parse(GetParam().args);
    ASSERT_TRUE(std::holds_alternative<UsageError>(parsed));
    EXPECT_NE(std::get<UsageError>(parsed).message.find(GetParam().mentions), std::string::npos)
        << std::get<UsageError>(parsed).message;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RejectedCommandLine,
    testing::Values(BadLine{{}, "missing INPUT"}, BadLine{{"in.png"}, "missing OUTPUT"},
                    BadLine{{"a", "b", "c"}, "'c'"}, BadLine{{"--bogus", "a", "b"}, "--bogus"},
                    BadLine{{"--angle", "1.5", "a", "b"}, "'1.5'"},
                    BadLine{{"--angle", "10x", "a", "b"}, "'10x'"},
                    BadLine{{"--angle", "", "a", "b"}, "whole number"},
                    BadLine{{"--angle", "99999999999999999999", "a", "b"}, "whole number"},
                    BadLine{{"a", "b", "--angle"}, "--angle needs"},
                    BadLine{{"--capture", "", "a", "b"}, "--capture"},
                    BadLine{{"--frames", "0", "a", "b"}, "--frames"},
                    BadLine{{"--frames", "-3", "a", "b"}, "--frames"},
                    BadLine{{"--anglex", "3", "a", "b"}, "--anglex"},
                    BadLine{{"--fps", "0", "a", "b"}, "--fps"},
                    BadLine{{"--fps", "1001", "a", "b"}, "--fps"},
                    BadLine{{"--fps", "-5", "a", "b"}, "--fps"},
                    BadLine{{"--fps", "12.", "a", "b"}, "'12.'"},
                    BadLine{{"--fps", "1e3", "a", "b"}, "'1e3'"},
                    BadLine{{"--fps", "30000/1001", "a", "b"}, "--fps"},
                    BadLine{{"--size", "1004", "a", "b"}, "multiple of 8 from 128 to 4096"},
                    BadLine{{"--size", "120", "a", "b"}, "'120'"},
                    BadLine{{"--size", "4104", "a", "b"}, "'4104'"},
                    BadLine{{"--size", "99999999999", "a", "b"}, "--size"},
                    BadLine{{"--size", "big", "a", "b"}, "'big'"},
                    BadLine{{"--center", "1.2,0.5", "a", "b"}, "from 0 to 1"},
                    BadLine{{"--center", "0.5", "a", "b"}, "X,Y"},
                    BadLine{{"--center", "a,b", "a", "b"}, "'a,b'"},
                    BadLine{{"--center", "0.5,-0.1", "a", "b"}, "--center"},
                    BadLine{{"--zoom", "0.5", "a", "b"}, "from 1 to 8"},
                    BadLine{{"--zoom", "9", "a", "b"}, "'9'"},
                    BadLine{{"--zoom", "nan", "a", "b"}, "'nan'"},
                    BadLine{{"--zoom", "2e0", "a", "b"}, "'2e0'"},
                    BadLine{{"--speed", "360", "a", "b"}, "from -359 to 359"},
                    BadLine{{"--speed", "-360", "a", "b"}, "'-360'"},
                    BadLine{{"--speed", "1.5", "a", "b"}, "'1.5'"}),
    [](const auto& info) { return "Line" + std::to_string(info.index); });

}  // namespace
}  // namespace glintara::tool
