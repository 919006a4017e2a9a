#include "render-tool/progress.hpp"

#include <cmath>
#include <cstdio>
#include <ostream>

namespace glintara::tool {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

double rate(long long done, double seconds) {
    return seconds > 0.0 ? done / seconds : 0.0;
}

std::string formatted(const char* format, auto... values) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, values...);
    return buffer;
}

}  // namespace

std::string progressLine(long long done, std::optional<long long> total, double seconds) {
    const double fps = rate(done, seconds);
    if (!total || *total <= 0) {
        return formatted("frame %lld  %.1f fps", done, fps);
    }
    const int percent = static_cast<int>(100 * std::min(done, *total) / *total);
    std::string line = formatted("frame %lld/%lld  %3d%%  %.1f fps", done, *total, percent, fps);
    if (fps > 0.0 && done < *total) {
        line += formatted("  %.0f s left", std::ceil((*total - done) / fps));
    }
    return line;
}

std::string summaryLine(long long done, double seconds) {
    return formatted("rendered %lld frame%s in %.1f s (%.1f fps)", done, done == 1 ? "" : "s",
                     seconds, rate(done, seconds));
}

Progress::Progress(ProgressMode mode, std::ostream& out, std::optional<long long> total)
    : mode_(mode), out_(out), total_(total) {}

double Progress::secondsSoFar() const {
    return std::chrono::duration<double>(Clock::now() - start_).count();
}

void Progress::frameDone() {
    ++done_;
    if (mode_ != ProgressMode::Live) {
        return;
    }
    const Clock::time_point now = Clock::now();
    if (drawn_ && now - lastDrawn_ < kRedrawInterval) {
        return;
    }
    lastDrawn_ = now;
    drawn_ = true;
    // \r back to the start, \x1b[K clears what a longer line left behind.
    out_ << '\r' << progressLine(done_, total_, secondsSoFar()) << "\x1b[K" << std::flush;
}

void Progress::finish() {
    const double seconds = secondsSoFar();
    if (mode_ == ProgressMode::Live) {
        out_ << '\r' << progressLine(done_, total_, seconds) << "\x1b[K\n" << std::flush;
    } else if (mode_ == ProgressMode::Summary) {
        out_ << summaryLine(done_, seconds) << '\n' << std::flush;
    }
}

void Progress::abandon() {
    if (mode_ == ProgressMode::Live && drawn_) {
        out_ << "\r\x1b[K" << std::flush;
    }
}

}  // namespace glintara::tool
