#include "render-tool/image_codecs.hpp"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "core/user_error.hpp"

namespace glintara::tool {
namespace {

// Where the module lies from the program's own folder, in the build tree and installed.
std::filesystem::path modulePath() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        throw UserError("the image codecs could not be found: " + error.message());
    }
    return program.parent_path() / GLINTARA_IMAGE_CODECS_MODULE;
}

}  // namespace

struct ImageCodecs::Library {
    void* handle = nullptr;
    const ImageCodecTable* table = nullptr;

    Library() {
        const std::string path = modulePath().lexically_normal().string();
        // Kept in memory to the end: unloading OpenCV's codec libraries runs their static
        // destructors at a time of the program's choosing, not theirs.
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (handle == nullptr) {
            throw UserError(std::string("the image codecs could not be loaded: ") + dlerror());
        }
        const auto entry = reinterpret_cast<ImageCodecsEntry>(dlsym(handle, kImageCodecsEntry));
        if (entry == nullptr) {
            dlclose(handle);
            throw UserError("the image codecs could not be loaded: " + path +
                            " is not Glintara's codec module");
        }
        table = entry();
    }
    ~Library() { dlclose(handle); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
};

ImageCodecs::ImageCodecs() = default;
ImageCodecs::~ImageCodecs() = default;

const ImageCodecTable& ImageCodecs::table() {
    if (!library_) {
        library_ = std::make_unique<Library>();
    }
    return *library_->table;
}

}  // namespace glintara::tool
