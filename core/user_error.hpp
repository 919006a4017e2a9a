// A failure the user meets: the message is the one line they are shown.
#pragma once

#include <stdexcept>
#include <string>

namespace glintara {

class UserError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A mistake in the command line that shows only once the input is known (a still asked to
// turn at speed 0, say): said in one line, with the status of the other usage mistakes.
class UsageMistake : public UserError {
  public:
    using UserError::UserError;
};

// "<path>: <problem>", the shape of every file error.
inline UserError fileError(const std::string& path, const std::string& problem) {
    return UserError(path + ": " + problem);
}

}  // namespace glintara
