// The values both programs read the same way.
#include "core/command_line.hpp"

#include <charconv>

#include "render/sizes.hpp"

namespace glintara {

std::optional<long long> parseWholeNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<UsageError> readCanvasSide(std::string_view value, int& side) {
    const std::optional<long long> number = parseWholeNumber(value);
    if (!number || *number < kSmallestCanvasSide || *number > kLargestCanvasSide ||
        !isCanvasSide(static_cast<int>(*number))) {
        return UsageError{"--size takes a multiple of 8 from 128 to 4096, such as 1080, not '" +
                          std::string(value) + "'"};
    }
    side = static_cast<int>(*number);
    return std::nullopt;
}

}  // namespace glintara
