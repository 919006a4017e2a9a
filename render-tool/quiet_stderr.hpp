// Catches what libraries print on stderr (libjpeg's warnings, FFmpeg's decoder errors) while
// they decode, so the user sees the program's one line instead.
#pragma once

#include <string>

namespace glintara::tool {

class QuietStderr {
  public:
    // Text keeps what is printed for finish() to return; Nothing throws it away, with no
    // file to make, for calls made once per video frame.
    enum class Keep { Text, Nothing };

    explicit QuietStderr(Keep keep = Keep::Text);
    ~QuietStderr();
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

    // Restores stderr and returns what was printed meanwhile.
    std::string finish();

  private:
    Keep keep_;
    int savedStderr_ = -1;
    int capture_ = -1;
};

}  // namespace glintara::tool
