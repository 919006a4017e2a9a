// Whether this process's own X windows still exist. A window can be destroyed from outside
// (another program, or no window manager to ask the program first), and Qt, under OpenCV's
// windows, goes on calling it visible; the X server knows better.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace glintara {

class XWindowWatch {
  public:
    // Watches the top-level windows of this process with these titles; watches nothing
    // where no X display can be reached.
    explicit XWindowWatch(std::vector<std::string> titles);
    ~XWindowWatch();
    XWindowWatch(const XWindowWatch&) = delete;
    XWindowWatch& operator=(const XWindowWatch&) = delete;

    // False once every title has been seen and one of those windows is gone; true before
    // they have all appeared, without a display, and once the display is lost.
    bool allPresent();
    // The width and height of the window of this title, once it has been seen.
    std::optional<std::pair<int, int>> sizeOf(const std::string& title) const;
    // Whether the connection to the X server has broken (the server went away).
    bool displayLost() const;

  private:
    struct Connection;
    std::unique_ptr<Connection> connection_;
};

}  // namespace glintara
