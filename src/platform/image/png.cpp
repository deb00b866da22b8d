// PNG through libpng. libpng reports errors by longjmp; every call that can fail runs inside a
// function that holds no C++ object with a destructor, so the jump skips only libpng's frames, and
// the structures are destroyed on every path afterwards.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>

#include "base/binary_io.h"
#include "platform/image/image_internal.h"

namespace ms {
namespace image {
namespace {

constexpr const char* kPng = "PNG";

// What the callbacks share: the bytes being read (or the output being written) and the message
// of the error that stopped libpng.
struct PngContext {
    Bytes in;
    std::size_t offset = 0;
    std::vector<std::uint8_t>* out = nullptr;
    char message[256] = "";
};

void OnError(png_structp png, png_const_charp message) {
    auto* context = static_cast<PngContext*>(png_get_error_ptr(png));
    std::snprintf(context->message, sizeof context->message, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadFromMemory(png_structp png, png_bytep out, std::size_t count) {
    auto* context = static_cast<PngContext*>(png_get_io_ptr(png));
    if (count > context->in.size() - context->offset) {
        char message[128];
        std::snprintf(message, sizeof message, "file is truncated: %zu bytes wanted at offset %zu of %zu", count,
                      context->offset, context->in.size());
        png_error(png, message);
    }
    std::memcpy(out, context->in.data() + context->offset, count);
    context->offset += count;
}

// Chunks that change no texel are skipped unread.
void IgnoreAncillaryChunks(png_structp png) {
    static const png_byte kIgnored[] = "iCCP\0iTXt\0tEXt\0zTXt\0sPLT\0eXIf\0tIME\0hIST\0pCAL\0sCAL\0";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnored, (sizeof kIgnored - 1) / 5);
}

// Reads the header and asks libpng for 8-bit B,G,R,A texels whatever the colour type and depth:
// palettes, low depths and tRNS expanded, 16 bits scaled down, grey copied to R, G and B, and
// alpha 255 added where the file has none.
bool ReadHeader(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    const int colourType = png_get_color_type(png, info);
    png_set_expand(png);
    if (png_get_bit_depth(png, info) == 16) png_set_scale_16(png);
    if (!(colourType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (!(colourType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

// Reads every row and the chunks up to IEND, so a file cut after its image data is refused too.
bool ReadRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    return true;
}

Status DecodeWith(png_structp png, png_infop info, PngContext& context, Image& out) {
    png_set_read_fn(png, &context, ReadFromMemory);
    IgnoreAncillaryChunks(png);
#ifdef MS_IMAGE_FUZZING
    // Lets the fuzzer reach past the checksums it cannot compute.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    if (!ReadHeader(png, info)) return Fail(kPng, context.message);
    const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    if (Status s = CheckSize(kPng, width, height, static_cast<std::uint64_t>(width) * height); !s) return s;
    if (png_get_rowbytes(png, info) != 4ull * width) return Fail(kPng, "libpng gave rows of an unexpected layout");
    Allocate(out, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = reinterpret_cast<png_bytep>(out.pixels.data() + static_cast<std::size_t>(y) * width);
    if (!ReadRows(png, rows.data())) return Fail(kPng, context.message);
    return Status::Ok();
}

void WriteToMemory(png_structp png, png_bytep data, std::size_t count) {
    auto* context = static_cast<PngContext*>(png_get_io_ptr(png));
    context->out->insert(context->out->end(), data, data + count);
}

void Flush(png_structp) {}

bool WriteImage(png_structp png, png_infop info, const ImageLevel& image, int colourType, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

// The texels as R,G,B or R,G,B,A bytes, row after row.
std::vector<std::uint8_t> PackRows(const ImageLevel& image, bool alpha) {
    const int channels = alpha ? 4 : 3;
    std::vector<std::uint8_t> bytes(image.pixels.size() * channels);
    std::uint8_t* p = bytes.data();
    for (std::uint32_t texel : image.pixels) {
        *p++ = static_cast<std::uint8_t>(texel >> 16);
        *p++ = static_cast<std::uint8_t>(texel >> 8);
        *p++ = static_cast<std::uint8_t>(texel);
        if (alpha) *p++ = static_cast<std::uint8_t>(texel >> 24);
    }
    return bytes;
}

}  // namespace

Status DecodePng(Bytes bytes, Image& out) {
    PngContext context;
    context.in = bytes;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &context, OnError, OnWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    Status status = info ? DecodeWith(png, info, context, out) : Fail(kPng, "libpng could not start");
    png_destroy_read_struct(&png, &info, nullptr);
    return status;
}

}  // namespace image

Status EncodePng(const ImageLevel& image, std::vector<std::uint8_t>& out) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height))
        return image::Fail(image::kPng, "image of " + std::to_string(image.width) + " x " +
                                            std::to_string(image.height) + " texels holds " +
                                            std::to_string(image.pixels.size()) + " texels");
    if (Status s = image::CheckSize(image::kPng, image.width, image.height, image.pixels.size()); !s) return s;
    bool alpha = false;
    for (std::uint32_t texel : image.pixels) alpha = alpha || texel < 0xFF000000;
    std::vector<std::uint8_t> bytes = image::PackRows(image, alpha);
    std::vector<png_bytep> rows(image.height);
    const std::size_t stride = static_cast<std::size_t>(image.width) * (alpha ? 4 : 3);
    for (std::int32_t y = 0; y < image.height; ++y) rows[y] = bytes.data() + stride * y;

    std::vector<std::uint8_t> encoded;
    image::PngContext context;
    context.out = &encoded;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &context, image::OnError, image::OnWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool written = false;
    if (info) {
        png_set_write_fn(png, &context, image::WriteToMemory, image::Flush);
        written =
            image::WriteImage(png, info, image, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, rows.data());
    }
    png_destroy_write_struct(&png, &info);
    if (!written) return image::Fail(image::kPng, info ? context.message : "libpng could not start");
    out = std::move(encoded);
    return Status::Ok();
}

Status WritePng(const std::string& path, const ImageLevel& image) {
    std::vector<std::uint8_t> bytes;
    if (Status s = EncodePng(image, bytes); !s) return Status::Error("'" + path + "': " + s.message());
    AtomicFileWriter writer;
    if (Status s = writer.Open(path); !s) return s;
    writer.WriteBytes(bytes.data(), bytes.size());
    return writer.Commit();
}

}  // namespace ms
