// Progress of a video render on stderr: a line updated in place on a terminal, a one-line
// summary at the end otherwise, or nothing at all.
#pragma once

#include <chrono>
#include <iosfwd>
#include <optional>
#include <string>

namespace glintara::tool {

enum class ProgressMode { Live, Summary, Silent };

// "frame 120/300  40%  57.3 fps  3 s left", or "frame 120  57.3 fps" without a total.
std::string progressLine(long long done, std::optional<long long> total, double seconds);
// "rendered 300 frames in 5.2 s (57.7 fps)"
std::string summaryLine(long long done, double seconds);

class Progress {
  public:
    using Clock = std::chrono::steady_clock;

    Progress(ProgressMode mode, std::ostream& out, std::optional<long long> total);
    void frameDone();
    // Ends the live line, or prints the summary.
    void finish();
    // Clears the live line so that an error line starts clean.
    void abandon();
    long long done() const { return done_; }

  private:
    double secondsSoFar() const;

    ProgressMode mode_;
    std::ostream& out_;
    std::optional<long long> total_;
    long long done_ = 0;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastDrawn_{};
    bool drawn_ = false;
};

}  // namespace glintara::tool
