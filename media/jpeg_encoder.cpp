#include "media/jpeg_encoder.hpp"

#include <csetjmp>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

namespace glintara::media {
namespace {

constexpr std::size_t kFirstBufferSize = 1 << 16;

// libjpeg reports a failure by calling error_exit, which must not return: it jumps back to
// the encode call that was running.
struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

[[noreturn]] void jumpBack(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->back, 1);
}

void keepQuiet(j_common_ptr, int) {}

// The compressed bytes go into a vector that doubles whenever libjpeg fills it.
struct VectorDestination {
    jpeg_destination_mgr manager;
    std::vector<unsigned char>* bytes;
};

VectorDestination& destinationOf(j_compress_ptr info) {
    return *reinterpret_cast<VectorDestination*>(info->dest);
}

// libjpeg calls back from C: a failure to grow the buffer goes back through its own error
// exit, never as an exception through its frames.
void resizeOrFail(j_compress_ptr info, std::vector<unsigned char>& bytes, std::size_t size) {
    bool resized = true;
    try {
        bytes.resize(size);
    } catch (...) {
        resized = false;
    }
    if (!resized) {
        info->err->msg_code = JERR_OUT_OF_MEMORY;
        info->err->error_exit(reinterpret_cast<j_common_ptr>(info));
    }
}

void startAtTheBeginning(j_compress_ptr info) {
    VectorDestination& d = destinationOf(info);
    if (d.bytes->size() < kFirstBufferSize) {
        resizeOrFail(info, *d.bytes, kFirstBufferSize);
    }
    d.manager.next_output_byte = d.bytes->data();
    d.manager.free_in_buffer = d.bytes->size();
}

boolean growBuffer(j_compress_ptr info) {
    VectorDestination& d = destinationOf(info);
    // libjpeg calls this with the whole buffer full, whatever free_in_buffer says.
    const std::size_t used = d.bytes->size();
    resizeOrFail(info, *d.bytes, 2 * used);
    d.manager.next_output_byte = d.bytes->data() + used;
    d.manager.free_in_buffer = d.bytes->size() - used;
    return TRUE;
}

void trimToWhatWasWritten(j_compress_ptr info) {
    VectorDestination& d = destinationOf(info);
    d.bytes->resize(d.bytes->size() - d.manager.free_in_buffer);  // shrinks: cannot throw
}

}  // namespace

struct JpegEncoder::Compressor {
    jpeg_compress_struct info{};
    ErrorJump error{};
    VectorDestination destination{};

    Compressor() {
        info.err = jpeg_std_error(&error.manager);
        error.manager.error_exit = jumpBack;
        error.manager.emit_message = keepQuiet;
        jpeg_create_compress(&info);
        destination.manager.init_destination = startAtTheBeginning;
        destination.manager.empty_output_buffer = growBuffer;
        destination.manager.term_destination = trimToWhatWasWritten;
        info.dest = &destination.manager;
    }
    ~Compressor() { jpeg_destroy_compress(&info); }
};

JpegEncoder::JpegEncoder(int quality)
    : quality_(quality), compressor_(std::make_unique<Compressor>()) {}

JpegEncoder::~JpegEncoder() = default;

bool JpegEncoder::encode(const cv::Mat& bgr, std::vector<unsigned char>& bytes) {
    CV_Assert(bgr.type() == CV_8UC3);
    jpeg_compress_struct& info = compressor_->info;
    compressor_->destination.bytes = &bytes;
    bytes.resize(bytes.capacity());
    // Only plain values live in this frame from here on, so the jump back skips no
    // destructor.
    if (setjmp(compressor_->error.back) != 0) {
        jpeg_abort_compress(&info);
        return false;
    }
    info.image_width = static_cast<JDIMENSION>(bgr.cols);
    info.image_height = static_cast<JDIMENSION>(bgr.rows);
    info.input_components = 3;
    // The same settings as OpenCV's JPEG writer, which swaps each row to RGB first; libjpeg
    // reading BGR itself gives the same bytes.
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    info.restart_interval = 0;
    jpeg_set_quality(&info, quality_, TRUE);
    jpeg_start_compress(&info, TRUE);
    for (int y = 0; y < bgr.rows; ++y) {
        JSAMPROW row = const_cast<JSAMPROW>(bgr.ptr<uchar>(y));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

}  // namespace glintara::media
