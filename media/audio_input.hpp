// The input's sound as an output takes it: the packets of its audio streams as they are
// stored, for the output to copy or re-encode.
#pragma once

#include <cstddef>
#include <vector>

#include "core/ratio.hpp"

struct AVCodecParameters;
struct AVPacket;

namespace glintara::media {

// An audio stream of the input, as an output needs it to copy or decode it.
struct AudioStreamInfo {
    const AVCodecParameters* parameters;
    Ratio timeBase;
};

class AudioFileInput {
  public:
    virtual ~AudioFileInput() = default;
    virtual const std::vector<AudioStreamInfo>& streams() const = 0;
    // The stream's packets are no longer wanted; those waiting are dropped.
    virtual void leaveOut(std::size_t stream) = 0;
    // Every stream's packets are no longer wanted.
    void leaveOutAll() {
        for (std::size_t i = 0; i < streams().size(); ++i) {
            leaveOut(i);
        }
    }
    // The next packet of a stream still wanted, with its index in streams(); nullptr when
    // none is waiting yet, or at the end (ended() tells which). The packet is the caller's
    // until the next call.
    virtual AVPacket* nextPacket(std::size_t& stream) = 0;
    virtual bool ended() const = 0;
};

}  // namespace glintara::media
