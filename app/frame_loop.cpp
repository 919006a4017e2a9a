#include "app/frame_loop.hpp"

#include "app/keys.hpp"
#include "core/interruption.hpp"

namespace glintara {

LoopEnd runFrameLoop(FrameSource& source, Screen& screen, ImageWorkspace& workspace,
                     const RenderStep& render, std::span<FrameOutput* const> outputs,
                     const LoopStart& start) {
    FrameSequence sequence(0, render);
    sequence.setSample(start.sample);
    sequence.rotation().speed = start.speed;
    cv::Mat cameraFrame;
    const auto frameWaiting = [&source] {
        return source.frameWaiting() || interruptionSignal() != 0;
    };
    for (;;) {
        if (interruptionSignal() != 0) {
            return LoopEnd::Interrupted;
        }
        if (!source.read(cameraFrame) || cameraFrame.empty()) {
            return LoopEnd::NoFrame;
        }
        const Clock::time_point takenAt = source.lastTakenAt().value_or(Clock::now());
        sequence.render(cameraFrame, workspace, Guide::Wanted);
        screen.show(kCaptureWindow, workspace.frameImage);
        screen.show(kKaleidoscopeWindow, workspace.outputImage);
        for (FrameOutput* output : outputs) {
            output->take({workspace.outputImage, workspace.frameImage, takenAt});
        }

        // The key is polled for up to the whole wait, but a frame already waiting is not
        // kept waiting for it.
        const int key = screen.waitKey(kKeyWaitMs, frameWaiting);
        if (screen.windowClosed()) {
            return LoopEnd::WindowClosed;
        }
        sequence.setSample(steer(sequence.sample(), screen.takeSteering()));
        switch (classifyKey(key)) {
            case KeyAction::Exit:
                return LoopEnd::ExitKey;
            case KeyAction::ToggleRotation:
                sequence.rotation().toggle();
                break;
            case KeyAction::None:
                break;
        }
        sequence.advance();
    }
}

}  // namespace glintara
