// A failure the user meets: the message is the one line they are shown.
#pragma once

#include <stdexcept>
#include <string>

namespace glintara::tool {

class ToolError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// "<path>: <problem>", the shape of every file error.
inline ToolError fileError(const std::string& path, const std::string& problem) {
    return ToolError(path + ": " + problem);
}

}  // namespace glintara::tool
