// JPEG through libjpeg(-turbo), read from memory: baseline, progressive, greyscale,
// RGB and CMYK/YCCK files (the latter as Adobe writes them, with inverted values).
// libjpeg-turbo converts straight to blue, green, red, alpha; CMYK is decoded as such
// and converted here. The size in the frame header is checked against the image
// limits before decompression starts; a progressive file may have at most MaxScans
// scans and libjpeg may take at most WorkMemoryLimit bytes, so a small hostile file
// cannot make it work or allocate without bound. A file whose image data ends early
// fails.
//
// A camera's EXIF orientation (APP1 "Exif", IFD0 tag 0x0112) is applied after
// decoding, so the picture stands as it was taken; the segment is read with bounds
// checks on every offset and anything unexpected leaves the picture as stored.
//
// libjpeg reports errors through the error manager, which longjmps back. Only the
// two small functions that call setjmp run libjpeg, and neither holds a C++ object
// with a destructor, so the jump never skips one.
#include "media/CxImage.h"

#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr int MaxScans = 100;
constexpr long WorkMemoryLimit = 384l * 1024 * 1024;

struct JpegErrors {
    jpeg_error_mgr manager; // first, so libjpeg's pointer to it is a pointer to this
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

struct JpegState {
    jpeg_decompress_struct info;
    JpegErrors errors;
    jpeg_progress_mgr progress;
    bool cmyk; // rows come out as C, M, Y, K and are converted afterwards
};

[[noreturn]] void Fail(j_common_ptr common) {
    auto* errors = reinterpret_cast<JpegErrors*>(common->err);
    (*common->err->format_message)(common, errors->message);
    longjmp(errors->jump, 1);
}

[[noreturn]] void OnError(j_common_ptr common) { Fail(common); }

// Warnings (level -1) about corrupt data are tolerated, as libjpeg does; image data
// that runs out, at the end of the file or at a marker within it, is not: libjpeg
// would pad the rest of the picture with grey, however large the frame header says
// it is.
void OnMessage(j_common_ptr common, int level) {
    if (level >= 0) return;
    if (common->err->msg_code == JWRN_JPEG_EOF || common->err->msg_code == JWRN_HIT_MARKER) Fail(common);
    common->err->num_warnings++;
}

[[noreturn]] void FailWith(j_common_ptr common, const char* text) {
    auto* errors = reinterpret_cast<JpegErrors*>(common->err);
    std::snprintf(errors->message, sizeof errors->message, "%s", text);
    longjmp(errors->jump, 1);
}

void OnProgress(j_common_ptr common) {
    if (!common->is_decompressor) return;
    if (reinterpret_cast<j_decompress_ptr>(common)->input_scan_number > MaxScans) FailWith(common, "too many scans");
}

// Reads the markers up to the first scan and chooses the output colour space.
bool ReadHeader(JpegState* state, const uint8_t* data, size_t size) {
    if (setjmp(state->errors.jump)) return false;
    jpeg_create_decompress(&state->info);
    state->info.mem->max_memory_to_use = WorkMemoryLimit;
    state->progress.progress_monitor = OnProgress;
    state->info.progress = &state->progress;
    jpeg_mem_src(&state->info, data, static_cast<unsigned long>(size));
    jpeg_save_markers(&state->info, JPEG_APP0 + 1, 0xFFFF);
    if (jpeg_read_header(&state->info, TRUE) != JPEG_HEADER_OK) ERREXIT(&state->info, JERR_NO_IMAGE);
    switch (state->info.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
#ifdef JCS_EXTENSIONS
        state->info.out_color_space = JCS_EXT_BGRA;
#else
        state->info.out_color_space = state->info.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_RGB;
#endif
        state->cmyk = false;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        state->info.out_color_space = JCS_CMYK;
        state->cmyk = true;
        break;
    default: ERREXIT(&state->info, JERR_CONVERSION_NOTIMPL);
    }
    state->info.scale_num = 1;
    state->info.scale_denom = 1;
    jpeg_calc_output_dimensions(&state->info);
    return true;
}

// Decompresses every row into rows (top row first), through the end of the file.
bool ReadPixels(JpegState* state, JSAMPARRAY rows, int width, int height) {
    if (setjmp(state->errors.jump)) return false;
    jpeg_start_decompress(&state->info);
    if (int(state->info.output_width) != width || int(state->info.output_height) != height)
        FailWith(reinterpret_cast<j_common_ptr>(&state->info), "output size differs from the frame header");
    while (state->info.output_scanline < state->info.output_height) {
        const JDIMENSION line = state->info.output_scanline;
        if (jpeg_read_scanlines(&state->info, rows + line, state->info.output_height - line) == 0)
            ERREXIT(&state->info, JERR_INPUT_EOF);
    }
    jpeg_finish_decompress(&state->info);
    return true;
}

// C, M, Y, K to blue, green, red, opaque, in place. Adobe files store the inks
// inverted (255 = no ink), others plainly.
void ConvertCmyk(CxImage& image, bool inverted) {
    const size_t count = size_t(image.Width) * size_t(image.Height);
    uint8_t* p = image.Pixels.data();
    for (size_t i = 0; i < count; ++i, p += 4) {
        int c = p[0], m = p[1], y = p[2], k = p[3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        p[0] = uint8_t((y * k + 127) / 255);
        p[1] = uint8_t((m * k + 127) / 255);
        p[2] = uint8_t((c * k + 127) / 255);
        p[3] = 255;
    }
}

#ifndef JCS_EXTENSIONS
// Without libjpeg-turbo's extended colour spaces: widens each row of RGB or grey
// samples to blue, green, red, opaque in place, from the right end so no sample is
// overwritten before it is read.
void WidenRows(CxImage& image, int components) {
    for (int y = 0; y < image.Height; ++y) {
        uint8_t* row = image.Row(y);
        for (int x = image.Width - 1; x >= 0; --x) {
            const uint8_t* s = row + size_t(x) * components;
            const uint8_t r = s[0], g = components == 3 ? s[1] : s[0], b = components == 3 ? s[2] : s[0];
            uint8_t* d = row + size_t(x) * 4;
            d[0] = b, d[1] = g, d[2] = r, d[3] = 255;
        }
    }
}
#endif

// The EXIF orientation 1..8 in one saved APP1 segment, or 0.
int ExifOrientation(const uint8_t* p, size_t size) {
    if (size < 6 + 8 || std::memcmp(p, "Exif\0\0", 6) != 0) return 0;
    const uint8_t* tiff = p + 6;
    const size_t n = size - 6;
    bool little;
    if (tiff[0] == 'I' && tiff[1] == 'I') little = true;
    else if (tiff[0] == 'M' && tiff[1] == 'M') little = false;
    else return 0;
    const auto u16 = [&](size_t at) -> uint32_t {
        return little ? uint32_t(tiff[at] | tiff[at + 1] << 8) : uint32_t(tiff[at] << 8 | tiff[at + 1]);
    };
    const auto u32 = [&](size_t at) -> uint32_t { return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2); };
    if (u16(2) != 42) return 0;
    const uint32_t ifd = u32(4);
    if (ifd > n || n - ifd < 2) return 0;
    const uint32_t count = u16(ifd);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t entry = size_t(ifd) + 2 + size_t(i) * 12;
        if (entry > n || n - entry < 12) return 0;
        if (u16(entry) != 0x0112) continue;
        // SHORT, one value, stored in the entry's first two value bytes.
        if (u16(entry + 2) != 3 || u32(entry + 4) != 1) return 0;
        const uint32_t value = u16(entry + 8);
        return value >= 1 && value <= 8 ? int(value) : 0;
    }
    return 0;
}

int ExifOrientation(const jpeg_decompress_struct& info) {
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next) {
        if (m->marker != JPEG_APP0 + 1 || !m->data) continue;
        if (const int orientation = ExifOrientation(m->data, m->data_length)) return orientation;
    }
    return 0;
}

// Turns or mirrors the image so that it shows as orientation says the camera
// held it (2..8; 1 and anything else leave it alone).
bool ApplyOrientation(CxImage& image, int orientation) {
    if (orientation < 2 || orientation > 8) return true;
    const int w = image.Width, h = image.Height;
    const bool swap = orientation >= 5;
    const int outW = swap ? h : w, outH = swap ? w : h;
    std::vector<uint8_t> out;
    try {
        out.resize(image.Pixels.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Coordinates top-down; rows are stored bottom-up.
    const auto source = [&](int x, int y) { return image.Pixels.data() + (size_t(h - 1 - y) * size_t(w) + size_t(x)) * 4; };
    for (int y = 0; y < outH; ++y) {
        uint8_t* d = out.data() + size_t(outH - 1 - y) * size_t(outW) * 4;
        for (int x = 0; x < outW; ++x, d += 4) {
            int sx = x, sy = y;
            switch (orientation) {
            case 2: sx = w - 1 - x; break;
            case 3: sx = w - 1 - x, sy = h - 1 - y; break;
            case 4: sy = h - 1 - y; break;
            case 5: sx = y, sy = x; break;
            case 6: sx = y, sy = h - 1 - x; break;
            case 7: sx = w - 1 - y, sy = h - 1 - x; break;
            case 8: sx = w - 1 - y, sy = x; break;
            }
            std::memcpy(d, source(sx, sy), 4);
        }
    }
    image.Pixels.swap(out);
    image.Width = outW;
    image.Height = outH;
    return true;
}

} // namespace

bool CxImageJPG::Decode(const uint8_t* data, size_t size, CxImage& image) {
    image.Format = CxFormatJpg;
    JpegState state{};
    state.info.err = jpeg_std_error(&state.errors.manager);
    state.errors.manager.error_exit = OnError;
    state.errors.manager.emit_message = OnMessage;

    bool ok = false;
    std::vector<JSAMPROW> rows;
    if (!ReadHeader(&state, data, size)) {
        image.Error = QStringLiteral("JPEG: %1").arg(QString::fromUtf8(state.errors.message));
    } else if (image.Create(int(state.info.output_width), int(state.info.output_height))) {
        // Read now: finishing the decompression frees the saved markers.
        const int orientation = ExifOrientation(state.info);
        rows.resize(size_t(image.Height));
        for (int y = 0; y < image.Height; ++y) rows[size_t(y)] = image.Row(image.Height - 1 - y);
        if (ReadPixels(&state, rows.data(), image.Width, image.Height)) {
            if (state.cmyk) ConvertCmyk(image, state.info.saw_Adobe_marker);
#ifndef JCS_EXTENSIONS
            else WidenRows(image, state.info.output_components);
#endif
            image.HasAlpha = false;
            ok = ApplyOrientation(image, orientation);
            if (!ok) image.Error = QStringLiteral("JPEG: no memory to turn the picture upright");
        } else {
            image.Error = QStringLiteral("JPEG: %1").arg(QString::fromUtf8(state.errors.message));
        }
    }
    jpeg_destroy_decompress(&state.info);
    return ok;
}
