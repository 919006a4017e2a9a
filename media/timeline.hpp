// A file's times as an output takes them, mended as the ffmpeg command line mends them: the
// earliest stream starts at zero, so that a file whose times begin far along (or just before
// the 33-bit clock of a transport stream wraps) plays from its first frame; and where a format
// lets its clock jump (transport streams cut and joined), a jump back, or one forward of more
// than ten seconds, is closed up so that each stream goes on where it was.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "core/ratio.hpp"

namespace glintara::media {

// A time a packet does not have (FFmpeg's AV_NOPTS_VALUE).
inline constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();

// A packet's times, in its stream's unit.
struct PacketTimes {
    std::int64_t pts = kNoTime;
    std::int64_t dts = kNoTime;
    std::int64_t duration = 0;
};

class Timeline {
  public:
    // `startTime` is the file's, in microseconds (kNoTime when unknown); `mendsJumps` where
    // its format allows the clock to jump.
    Timeline(std::int64_t startTime, bool mendsJumps);

    // Moves one packet of stream `stream`, whose unit is `timeBase`, onto the output's line.
    void mend(PacketTimes& times, std::size_t stream, Ratio timeBase);

  private:
    void closeJump(const PacketTimes& times, std::size_t stream, Ratio timeBase);

    std::int64_t offset_ = 0;  // in microseconds, added to every time
    bool mendsJumps_ = false;
    std::vector<std::int64_t>
        nextDts_;  // per stream, in microseconds: where its next packet is due
};

}  // namespace glintara::media
