// Mending a file's packet times: started at zero, jumps closed up.
#include "media/timeline.hpp"

#include <algorithm>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/mathematics.h>
}

#include "media/av_ratio.hpp"

namespace glintara::media {
namespace {

constexpr AVRational kMicroseconds = {1, AV_TIME_BASE};
// A jump back of more than a tenth of a second, or forward of more than ten, is a cut.
constexpr std::int64_t kLongestStepBack = AV_TIME_BASE / 10;
constexpr std::int64_t kLongestStepOn = 10LL * AV_TIME_BASE;

}  // namespace

Timeline::Timeline(std::int64_t startTime, bool mendsJumps)
    : offset_(startTime == kNoTime ? 0 : -startTime), mendsJumps_(mendsJumps) {}

void Timeline::mend(PacketTimes& times, std::size_t stream, Ratio timeBase) {
    if (mendsJumps_ && times.dts != kNoTime) {
        closeJump(times, stream, timeBase);
    }
    const std::int64_t shift = av_rescale_q(offset_, kMicroseconds, avRatio(timeBase));
    if (times.pts != kNoTime) {
        times.pts += shift;
    }
    if (times.dts != kNoTime) {
        times.dts += shift;
    }
}

void Timeline::closeJump(const PacketTimes& times, std::size_t stream, Ratio timeBase) {
    if (stream >= nextDts_.size()) {
        nextDts_.resize(stream + 1, kNoTime);
    }
    const std::int64_t dts = av_rescale_q(times.dts, avRatio(timeBase), kMicroseconds);
    std::int64_t& next = nextDts_[stream];
    if (next != kNoTime) {
        const std::int64_t jump = dts + offset_ - next;
        if (jump < -kLongestStepBack || jump > kLongestStepOn) {
            offset_ -= jump;
        }
    }
    const std::int64_t length =
        av_rescale_q(std::max<std::int64_t>(times.duration, 1), avRatio(timeBase), kMicroseconds);
    next = dts + offset_ + std::max<std::int64_t>(length, 1);
}

}  // namespace glintara::media
