// The mouse wheel over one of the program's windows, taken from Qt before OpenCV's window
// sees it: OpenCV's Qt windows zoom their own view of the picture on the wheel, which would
// enlarge the camera picture in "Capture" instead of steering the sample.
#pragma once

#include <memory>
#include <string>

namespace glintara {

class WheelSteps {
  public:
    // Watches the window of this title; OpenCV must have made its windows first.
    explicit WheelSteps(std::string windowTitle);
    ~WheelSteps();
    WheelSteps(const WheelSteps&) = delete;
    WheelSteps& operator=(const WheelSteps&) = delete;

    // The wheel's steps since the last call: positive away from the user.
    int take();

  private:
    class Filter;
    std::unique_ptr<Filter> filter_;
};

}  // namespace glintara
