// PNG through libpng, read from memory. Every colour type and bit depth comes out as
// 8-bit blue, green, red, alpha: palettes and low-depth grey expanded, 16-bit samples
// scaled down with rounding, grey widened to RGB, a tRNS chunk turned into alpha,
// interlaced files assembled by libpng. The size in IHDR is checked against the
// image limits (and libpng's own limits) before any pixel memory is taken.
//
// libpng reports errors by longjmp. Only the two small functions that call setjmp
// run libpng's reading, and neither holds a C++ object with a destructor, so the jump
// never skips one; everything owning memory lives in the caller's frame.
#include "media/CxImage.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Memory libpng may take for one ancillary chunk, and how many it keeps.
constexpr png_alloc_size_t ChunkMemoryLimit = 8 * 1024 * 1024;
constexpr png_uint_32 ChunkCountLimit = 256;

// Chunks that nothing here uses and that can be expensive (compressed text and
// profiles): libpng skips them unread.
const png_byte IgnoredChunks[] = {
    'i', 'C', 'C', 'P', '\0', //
    'i', 'T', 'X', 't', '\0', //
    't', 'E', 'X', 't', '\0', //
    'z', 'T', 'X', 't', '\0', //
    's', 'P', 'L', 'T', '\0', //
    'e', 'X', 'I', 'f', '\0', //
};

struct PngInput {
    const uint8_t* data;
    size_t size;
    size_t position;
    char message[200];
};

struct PngHeader {
    png_uint_32 width;
    png_uint_32 height;
    int bitDepth;
    int colourType;
    bool transparency; // a tRNS chunk applies
};

void ReadBytes(png_structp png, png_bytep out, size_t count) {
    auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
    if (count > input->size - input->position) png_error(png, "the file ends too early");
    std::memcpy(out, input->data + input->position, count);
    input->position += count;
}

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
    auto* input = static_cast<PngInput*>(png_get_error_ptr(png));
    std::snprintf(input->message, sizeof input->message, "%s", message ? message : "unknown error");
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// Reads the signature and every chunk up to the image data.
bool ReadHeader(png_structp png, png_infop info, PngInput* input, PngHeader* header) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, input, ReadBytes);
    png_set_user_limits(png, CxImage::MaxSide, CxImage::MaxSide);
    png_set_chunk_malloc_max(png, ChunkMemoryLimit);
    png_set_chunk_cache_max(png, ChunkCountLimit);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, IgnoredChunks, int(sizeof IgnoredChunks / 5));
    png_read_info(png, info);
    int interlace = 0;
    png_get_IHDR(png, info, &header->width, &header->height, &header->bitDepth, &header->colourType, &interlace,
                 nullptr, nullptr);
    header->transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    return true;
}

// Sets up the conversion to 8-bit BGRA and reads all rows (every pass of an
// interlaced file) into rows, then the chunks after the image data up to IEND.
bool ReadPixels(png_structp png, png_infop info, const PngHeader* header, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    const int type = header->colourType;
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if ((type & PNG_COLOR_MASK_COLOR) == 0 && header->bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (header->transparency) png_set_tRNS_to_alpha(png);
    if (header->bitDepth == 16) png_set_scale_16(png);
    if ((type & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
    if ((type & PNG_COLOR_MASK_ALPHA) == 0 && !header->transparency) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(header->width) * 4 || png_get_bit_depth(png, info) != 8)
        png_error(png, "unexpected row layout after conversion");
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    return true;
}

} // namespace

bool CxImagePNG::Decode(const uint8_t* data, size_t size, CxImage& image) {
    image.Format = CxFormatPng;
    PngInput input{data, size, 0, {}};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &input, OnError, OnWarning);
    if (!png) {
        image.Error = QStringLiteral("PNG: cannot set up the decoder");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        image.Error = QStringLiteral("PNG: cannot set up the decoder");
        return false;
    }

    bool ok = false;
    PngHeader header{};
    std::vector<png_bytep> rows;
    if (!ReadHeader(png, info, &input, &header)) {
        image.Error = QStringLiteral("PNG: %1").arg(QString::fromUtf8(input.message));
    } else if (image.Create(int(header.width), int(header.height))) {
        rows.resize(header.height);
        for (png_uint_32 y = 0; y < header.height; ++y) rows[y] = image.Row(int(header.height - 1 - y));
        if (ReadPixels(png, info, &header, rows.data())) {
            image.HasAlpha = (header.colourType & PNG_COLOR_MASK_ALPHA) != 0 || header.transparency;
            ok = true;
        } else {
            image.Error = QStringLiteral("PNG: %1").arg(QString::fromUtf8(input.message));
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return ok;
}
