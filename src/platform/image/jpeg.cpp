// JPEG through libjpeg. Its fatal errors leave by longjmp from error_exit; as with libpng, the
// calls run in functions that hold no C++ object with a destructor, and the decompressor is
// destroyed on every path. libjpeg pads a file that ends early with grey and only warns; that
// warning is made an error here, so a truncated file is refused.
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

#include "platform/image/image_internal.h"

#ifndef JCS_EXTENSIONS
#error "the JPEG decoder needs the B,G,R,A output of libjpeg-turbo"
#endif

namespace ms::image {
namespace {

constexpr const char* kJpeg = "JPEG";
// Bounds libjpeg's own buffers (the coefficients of a progressive file) beside the texels. The
// fuzzer gets a lower bound, so that it does not spend its time clearing buffers for large
// progressive images that end after a few bytes.
#ifdef MS_IMAGE_FUZZING
constexpr long kMaxLibraryMemory = 64l << 20;
#else
constexpr long kMaxLibraryMemory = 768l << 20;
#endif
// A progressive file may have very many scans that each touch the whole image; real ones have
// a dozen or so.
constexpr int kMaxScans = 1000;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void Stop(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    cinfo->err->format_message(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

void OnError(j_common_ptr cinfo) { Stop(cinfo); }

void OnMessage(j_common_ptr cinfo, int level) {
    if (level == -1 && cinfo->err->msg_code == JWRN_JPEG_EOF) Stop(cinfo);
}

void OnProgress(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
        auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(errors->message, sizeof errors->message, "more than %d scans", kMaxScans);
        std::longjmp(errors->jump, 1);
    }
}

// Reads the header and chooses the output: B,G,R,A straight from libjpeg for grey and colour,
// C,M,Y,K for the CMYK and YCCK files, converted below.
bool Start(j_decompress_ptr cinfo, ErrorManager& errors, jpeg_progress_mgr* progress, Bytes bytes) {
    if (setjmp(errors.jump)) return false;
    jpeg_create_decompress(cinfo);
    cinfo->progress = progress;
    cinfo->mem->max_memory_to_use = kMaxLibraryMemory;
    jpeg_mem_src(cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(cinfo, TRUE);
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    return true;
}

bool Decompress(j_decompress_ptr cinfo, ErrorManager& errors, JSAMPROW* rows) {
    if (setjmp(errors.jump)) return false;
    jpeg_start_decompress(cinfo);
    if (cinfo->output_width != cinfo->image_width || cinfo->output_height != cinfo->image_height ||
        cinfo->output_components != 4) {
        std::snprintf(errors.message, sizeof errors.message, "unexpected output of %u x %u x %d", cinfo->output_width,
                      cinfo->output_height, cinfo->output_components);
        return false;
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        if (jpeg_read_scanlines(cinfo, rows + cinfo->output_scanline, cinfo->output_height - cinfo->output_scanline) ==
            0) {
            std::snprintf(errors.message, sizeof errors.message, "no rows after row %u", cinfo->output_scanline);
            return false;
        }
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

// Adobe writes CMYK inverted (255 = no ink), as nearly every CMYK JPEG is; others store ink.
void CmykToArgb(ImageLevel& image, bool inverted) {
    for (std::uint32_t& texel : image.pixels) {
        std::uint32_t c = texel & 0xFF, m = texel >> 8 & 0xFF, y = texel >> 16 & 0xFF, k = texel >> 24;
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        texel = Argb(255, (c * k + 127) / 255, (m * k + 127) / 255, (y * k + 127) / 255);
    }
}

Status DecodeWith(jpeg_decompress_struct& cinfo, ErrorManager& errors, jpeg_progress_mgr& progress, Bytes bytes,
                  Image& out) {
    if (!Start(&cinfo, errors, &progress, bytes)) return Fail(kJpeg, errors.message);
    const JDIMENSION width = cinfo.image_width, height = cinfo.image_height;
    if (Status s = CheckSize(kJpeg, width, height, static_cast<std::uint64_t>(width) * height); !s) return s;
    // Both outputs have 4 bytes per texel, so libjpeg writes straight into the image.
    Allocate(out, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    std::vector<JSAMPROW> rows(height);
    for (JDIMENSION y = 0; y < height; ++y)
        rows[y] = reinterpret_cast<JSAMPROW>(out.pixels.data() + static_cast<std::size_t>(y) * width);
    if (!Decompress(&cinfo, errors, rows.data())) return Fail(kJpeg, errors.message);
    if (cinfo.out_color_space == JCS_CMYK) CmykToArgb(out, cinfo.saw_Adobe_marker);
    return Status::Ok();
}

}  // namespace

Status DecodeJpeg(Bytes bytes, Image& out) {
    jpeg_decompress_struct cinfo{};
    ErrorManager errors{};
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = OnError;
    errors.pub.emit_message = OnMessage;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = OnProgress;
    Status status = DecodeWith(cinfo, errors, progress, bytes, out);
    jpeg_destroy_decompress(&cinfo);
    return status;
}

}  // namespace ms::image
