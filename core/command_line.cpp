// The values both programs read the same way.
#include "core/command_line.hpp"

#include <charconv>
#include <system_error>

#include "core/rotation.hpp"
#include "render/sample.hpp"
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

namespace {

// A number written plainly ("0.25", "2", "-1.5"); nothing for anything else.
std::optional<double> parseDecimal(std::string_view text) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (text.empty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

bool isFraction(const std::optional<double>& value) {
    return value && *value >= 0.0 && *value <= 1.0;
}

}  // namespace

std::optional<UsageError> readCenter(std::string_view value, double& x, double& y) {
    const std::size_t comma = value.find(',');
    const std::optional<double> across =
        comma == std::string_view::npos ? std::nullopt : parseDecimal(value.substr(0, comma));
    const std::optional<double> down =
        comma == std::string_view::npos ? std::nullopt : parseDecimal(value.substr(comma + 1));
    if (!isFraction(across) || !isFraction(down)) {
        return UsageError{
            "--center takes X,Y, two fractions of the picture from 0 to 1 (0.5,0.5 is the "
            "middle), not '" +
            std::string(value) + "'"};
    }
    x = *across;
    y = *down;
    return std::nullopt;
}

std::optional<UsageError> readZoom(std::string_view value, double& zoom) {
    const std::optional<double> number = parseDecimal(value);
    // Written so that NaN, which fails every comparison, is refused too.
    if (!number || !(*number >= kLeastZoom && *number <= kMostZoom)) {
        return UsageError{"--zoom takes a number from 1 to 8, such as 2 or 1.5, not '" +
                          std::string(value) + "'"};
    }
    zoom = *number;
    return std::nullopt;
}

std::optional<UsageError> readSpeed(std::string_view value, int& speed) {
    const std::optional<long long> number = parseWholeNumber(value);
    if (!number || *number < -kFastestSpeed || *number > kFastestSpeed) {
        return UsageError{
            "--speed takes whole degrees per frame from -359 to 359 (0 holds the angle), not '" +
            std::string(value) + "'"};
    }
    speed = static_cast<int>(*number);
    return std::nullopt;
}

}  // namespace glintara
