#include "app/qt_wheel.hpp"

#include <QApplication>
#include <QWheelEvent>
#include <QWidget>

namespace glintara {

class WheelSteps::Filter final : public QObject {
  public:
    explicit Filter(std::string title) : title_(QString::fromStdString(title)) {}

    // Called by Qt for every event of the application; only our window's wheel is kept.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel || !watched->isWidgetType()) {
            return false;
        }
        const QWidget* window = static_cast<QWidget*>(watched)->window();
        if (window == nullptr || window->windowTitle() != title_) {
            return false;
        }
        eighths_ += static_cast<QWheelEvent*>(event)->angleDelta().y();
        return true;
    }

    int take() {
        // A notch of the wheel is 120 eighths of a degree; a touchpad gives less at a time.
        const int steps = eighths_ / kStep;
        eighths_ -= steps * kStep;
        return steps;
    }

  private:
    static constexpr int kStep = 120;
    QString title_;
    int eighths_ = 0;
};

WheelSteps::WheelSteps(std::string windowTitle)
    : filter_(std::make_unique<Filter>(std::move(windowTitle))) {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        application->installEventFilter(filter_.get());
    }
}

WheelSteps::~WheelSteps() = default;

int WheelSteps::take() {
    return filter_->take();
}

}  // namespace glintara
