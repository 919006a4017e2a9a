// FFmpeg's results as the user's one line: the text of an error code, a check that turns a
// failed call into an error naming the file, and FFmpeg's option dictionaries.
#pragma once

#include <string>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

#include "core/user_error.hpp"

namespace glintara::media {

inline std::string errorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

// Throws "<path>: <what>: <FFmpeg's reason>" when `result` is an error code.
inline void check(int result, const std::string& path, const char* what) {
    if (result < 0) {
        throw fileError(path, std::string(what) + ": " + errorText(result));
    }
}

// key=value pairs, ':' between them, as FFmpeg's open calls take them.
class Dictionary {
  public:
    explicit Dictionary(const char* options) {
        av_dict_parse_string(&entries_, options, "=", ":", 0);
    }
    ~Dictionary() { av_dict_free(&entries_); }
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;
    AVDictionary** get() { return &entries_; }
    // After an open, what is left is what the codec or muxer did not take.
    bool allTaken() const { return av_dict_count(entries_) == 0; }

  private:
    AVDictionary* entries_ = nullptr;
};

}  // namespace glintara::media
