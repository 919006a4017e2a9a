// The frei0r filter `glintara`: frei0r's C interface over GlintaraFrei0r. No C++ exception
// leaves these functions: a frame that cannot be rendered passes through unchanged.
#include <climits>
#include <cstring>
#include <new>

#include <opencv2/core.hpp>

// Only frei0r's own entry points are visible outside the plugin.
#pragma GCC visibility push(default)
extern "C" {
#include <frei0r.h>
}
#pragma GCC visibility pop

#include "frei0r/glintara_frei0r.hpp"

using glintara::frei0r::GlintaraFrei0r;
using glintara::frei0r::kParameters;
using glintara::frei0r::ParameterType;

namespace {

constexpr int kParameterCount = static_cast<int>(kParameters.size());

bool isParameterIndex(int index) {
    return index >= 0 && index < kParameterCount;
}

GlintaraFrei0r& filterOf(f0r_instance_t instance) {
    return *static_cast<GlintaraFrei0r*>(instance);
}

cv::Size frameOf(unsigned int width, unsigned int height) {
    return {static_cast<int>(width), static_cast<int>(height)};
}

}  // namespace

extern "C" {

int f0r_init() {
    return 1;
}

void f0r_deinit() {}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    info->name = "glintara";
    info->author = "The Glintara developers (GNU GPL, version 2 or later)";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = GLINTARA_VERSION_MAJOR;
    info->minor_version = GLINTARA_VERSION_MINOR;
    info->num_params = kParameterCount;
    info->explanation = "A turning kaleidoscope of 25 copies of a triangle cut from the frame";
}

void f0r_get_param_info(f0r_param_info_t* info, int index) {
    if (!isParameterIndex(index)) {
        return;
    }
    const auto& parameter = kParameters[static_cast<std::size_t>(index)];
    info->name = parameter.name;
    info->type = parameter.type == ParameterType::Bool ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE;
    info->explanation = parameter.explanation;
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    if (width == 0 || height == 0 || width > INT_MAX / 4 || height > INT_MAX / 4) {
        return nullptr;
    }
    return new (std::nothrow) GlintaraFrei0r(frameOf(width, height));
}

void f0r_destruct(f0r_instance_t instance) {
    delete static_cast<GlintaraFrei0r*>(instance);
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    if (instance != nullptr && param != nullptr && isParameterIndex(index)) {
        // Bools and doubles alike are doubles in frei0r.
        filterOf(instance).setParameter(index, *static_cast<const double*>(param));
    }
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    if (instance != nullptr && param != nullptr && isParameterIndex(index)) {
        *static_cast<double*>(param) = filterOf(instance).parameter(index);
    }
}

void f0r_update(f0r_instance_t instance, double /*time: hosts disagree on its unit*/,
                const uint32_t* inframe, uint32_t* outframe) {
    if (instance == nullptr || inframe == nullptr || outframe == nullptr) {
        return;
    }
    GlintaraFrei0r& filter = filterOf(instance);
    const cv::Mat in(filter.frameSize(), CV_8UC4, const_cast<uint32_t*>(inframe));
    cv::Mat out(filter.frameSize(), CV_8UC4, outframe);
    try {
        filter.update(in, out);
    } catch (...) {
        if (inframe != outframe) {
            std::memcpy(outframe, inframe, in.total() * in.elemSize());
        }
    }
}

}  // extern "C"
