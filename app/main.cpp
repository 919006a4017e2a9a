// glintara: the live kaleidoscope of a camera (camera 0 unless --camera names another).
#include "app/camera.hpp"
#include "app/live_program.hpp"

int main(int argc, char** argv) {
    return glintara::runLiveProgram(argc, argv, glintara::openCamera);
}
