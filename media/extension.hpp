// A file name's extension in lower case, by which the output formats are chosen.
#pragma once

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>

namespace glintara::media {

// ".mp4" for "Holiday.MP4"; empty for a name without one.
inline std::string lowerExtension(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

}  // namespace glintara::media
