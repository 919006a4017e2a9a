// Catches what libjpeg and the other image codecs print on stderr while a still is decoded
// (they have no log of their own to silence), so the user sees the program's one line
// instead. Only for the moment a still is read, before the tool starts any other thread:
// it moves stderr itself.
#pragma once

#include <string>

namespace glintara::tool {

class QuietStderr {
  public:
    QuietStderr();
    ~QuietStderr();
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

    // Restores stderr and returns what was printed meanwhile.
    std::string finish();

  private:
    int savedStderr_ = -1;
    int capture_ = -1;
};

}  // namespace glintara::tool
