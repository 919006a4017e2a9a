// INPUT, opened once: every reader of it (FFmpeg's demuxer, the still image codecs) takes
// its bytes from here, so that a pipe or FIFO is read once, from its start.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/user_error.hpp"

namespace glintara::media {

class InputFile {
  public:
    // Opens the file for reading, without waiting for a FIFO's writer. Throws UserError naming
    // it when it cannot be opened.
    explicit InputFile(std::string path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& path() const { return path_; }
    int descriptor() const { return fd_; }
    // A regular file can be read again from any place; a pipe only onward.
    bool seekable() const { return seekable_; }

    // Up to `size` bytes read onward, 0 at the end, -1 with errno on an error: EINTR once a
    // signal has asked to stop (at once, however long the writer of a pipe stalls), EFBIG
    // when more of a pipe has been read than a still is read in. A pipe's bytes are kept as
    // they are read until the input is known to be a video.
    long read(unsigned char* buffer, std::size_t size);
    // Up to `count` bytes from its start, as far as they can still be had: read again from a
    // file, or from what is kept of a pipe.
    std::vector<unsigned char> firstBytes(std::size_t count) const;
    // The input is a video: a pipe's bytes need no longer be kept.
    void keepNoMore();
    // The whole content: read again from the start, or for a pipe what was read so far and
    // the rest. Throws UserError naming the file when it cannot be read or holds more than a
    // still is read in, Interrupted after a signal.
    std::vector<unsigned char> wholeContent();

    // The most of a pipe kept to be read as a still: more than any picture is stored in.
    static constexpr std::size_t kLargestKept = std::size_t{512} << 20;

  private:
    long readOnward(unsigned char* buffer, std::size_t size);
    bool keep(const unsigned char* bytes, std::size_t count);
    UserError tooLargeError() const;

    std::string path_;
    int fd_ = -1;
    bool seekable_ = false;
    bool keeping_ = true;
    bool tooLarge_ = false;
    std::vector<unsigned char> consumed_;  // a pipe's bytes read so far
};

}  // namespace glintara::media
