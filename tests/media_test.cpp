// The FFmpeg layer's pure parts: mending a file's times, and turning pictures upright from a
// display matrix.
#include <gtest/gtest.h>

#include <vector>

extern "C" {
#include <libavutil/display.h>
}

#include "media/orientation.hpp"
#include "media/timeline.hpp"

namespace glintara::media {
namespace {

constexpr Ratio kTs{1, 90000};  // a transport stream's clock
constexpr std::int64_t kSecond = 90000;

struct Packet {
    std::size_t stream;
    std::int64_t dts;       // as stored
    std::int64_t expected;  // as mended
};

struct TimelineCase {
    const char* name;
    std::int64_t startTime;  // microseconds
    bool mendsJumps;
    std::vector<Packet> packets;  // each lasting a frame of 3000
};

void PrintTo(const TimelineCase& c, std::ostream* out) {
    *out << c.name;
}

class TimelineMending : public testing::TestWithParam<TimelineCase> {};

TEST_P(TimelineMending, StartsAtZeroAndClosesUpJumps) {
    const TimelineCase& c = GetParam();
    Timeline timeline(c.startTime, c.mendsJumps);
    for (std::size_t i = 0; i < c.packets.size(); ++i) {
        const Packet& packet = c.packets[i];
        PacketTimes times{packet.dts + 3000, packet.dts, 3000};
        timeline.mend(times, packet.stream, kTs);
        EXPECT_EQ(times.dts, packet.expected) << "packet " << i;
        EXPECT_EQ(times.pts, packet.expected + 3000) << "packet " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, TimelineMending,
    testing::Values(
        TimelineCase{"StartMovedToZero", 1'500'000, false, {{0, 135000, 0}, {0, 138000, 3000}}},
        TimelineCase{"UnknownStartKept", kNoTime, false, {{0, 135000, 135000}}},
        TimelineCase{"JumpsKeptWhereTheFormatHasNone",
                     0,
                     false,
                     {{0, 0, 0}, {0, 3000, 3000}, {0, 100 * kSecond, 100 * kSecond}}},
        TimelineCase{"LongJumpForwardClosed",
                     0,
                     true,
                     {{0, 0, 0},
                      {0, 3000, 3000},
                      {0, 100 * kSecond, 6000},
                      {0, 100 * kSecond + 3000, 9000}}},
        TimelineCase{"ShortJumpForwardKept",
                     0,
                     true,
                     {{0, 0, 0}, {0, 3000, 3000}, {0, 5 * kSecond, 5 * kSecond}}},
        TimelineCase{"JumpBackClosed",
                     0,
                     true,
                     {{0, 10 * kSecond, 10 * kSecond},
                      {0, 10 * kSecond + 3000, 10 * kSecond + 3000},
                      {0, kSecond, 10 * kSecond + 6000}}},
        TimelineCase{"SmallStepBackKept",
                     0,
                     true,
                     {{0, kSecond, kSecond}, {0, kSecond - 4500, kSecond - 4500}}},
        // The second stream meets the same cut a packet later and needs no second mend.
        TimelineCase{"EveryStreamGoesOnWhereItWas",
                     0,
                     true,
                     {{0, 0, 0},
                      {1, 1000, 1000},
                      {0, 3000, 3000},
                      {1, 4000, 4000},
                      {0, 50 * kSecond, 6000},
                      {1, 50 * kSecond + 1000, 7000}}}),
    [](const testing::TestParamInfo<TimelineCase>& info) { return info.param.name; });

struct Orientation {
    const char* name;
    // As av_display_rotation_set takes it: a file tagged "rotate=90" holds -90, and players
    // and the ffmpeg program turn it a quarter anticlockwise (transpose=cclock).
    double rotation;
    bool hflip;
    bool vflip;
    Upright expected;
    // The 2x3 picture 1 2 3 / 4 5 6 as shown, row by row.
    std::vector<int> shown;
};

void PrintTo(const Orientation& o, std::ostream* out) {
    *out << o.name;
}

class UprightFromDisplayMatrix : public testing::TestWithParam<Orientation> {};

TEST_P(UprightFromDisplayMatrix, TurnsThePictureAsPlayersShowIt) {
    const Orientation& o = GetParam();
    std::int32_t matrix[9];
    av_display_rotation_set(matrix, o.rotation);
    av_display_matrix_flip(matrix, o.hflip, o.vflip);
    const Upright upright = uprightFor(matrix);
    EXPECT_EQ(upright, o.expected);

    const cv::Mat stored = (cv::Mat_<uchar>(2, 3) << 1, 2, 3, 4, 5, 6);
    cv::Mat shown = stored.clone();
    turnUpright(upright, stored, shown);
    EXPECT_EQ(std::vector<int>(shown.begin<uchar>(), shown.end<uchar>()), o.shown);
    EXPECT_EQ(shown.total(), 6u);
}

INSTANTIATE_TEST_SUITE_P(
    Matrices, UprightFromDisplayMatrix,
    testing::Values(
        Orientation{"Upright", 0, false, false, Upright::AsStored, {1, 2, 3, 4, 5, 6}},
        Orientation{
            "TaggedRotate90", -90, false, false, Upright::Anticlockwise, {3, 6, 2, 5, 1, 4}},
        Orientation{"TaggedRotate270", 90, false, false, Upright::Clockwise, {4, 1, 5, 2, 6, 3}},
        Orientation{"UpsideDown", 180, false, false, Upright::HalfTurn, {6, 5, 4, 3, 2, 1}},
        Orientation{"Mirrored", 0, true, false, Upright::HFlip, {3, 2, 1, 6, 5, 4}},
        Orientation{"Flipped", 0, false, true, Upright::VFlip, {4, 5, 6, 1, 2, 3}},
        Orientation{"MirroredAndFlipped", 0, true, true, Upright::HalfTurn, {6, 5, 4, 3, 2, 1}},
        Orientation{"MirroredQuarterTurn", 90, true, false, Upright::Transpose, {1, 4, 2, 5, 3, 6}},
        Orientation{"MirroredQuarterTurnBack",
                    -90,
                    true,
                    false,
                    Upright::AntiTranspose,
                    {6, 3, 5, 2, 4, 1}},
        Orientation{"ObliqueLeftAlone", 30, false, false, Upright::AsStored, {1, 2, 3, 4, 5, 6}}),
    [](const testing::TestParamInfo<Orientation>& info) { return info.param.name; });

TEST(UprightFromDisplayMatrix, NoMatrixLeavesThePictureAsStored) {
    EXPECT_EQ(uprightFor(nullptr), Upright::AsStored);
}

}  // namespace
}  // namespace glintara::media
