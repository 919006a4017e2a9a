// The line formatter: printf-style text into a fixed 64-character line.
#pragma once

#include <array>

namespace glintara {

inline constexpr std::size_t kLineCapacity = 64;  // including the terminator
using LineBuffer = std::array<char, kLineCapacity>;

// Formats into the buffer, always terminated; text past 63 characters is cut off. Returns
// the length the whole text would have had, as snprintf does.
int formatLine(LineBuffer& buffer, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace glintara
