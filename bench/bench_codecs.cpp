// Decoding a full-HD photo-like picture stored as PNG (8-bit RGB) and as JPEG
// (quality 90, 4:2:0) through the codec layer, each against the library's own decode
// loop of the same file in the same run without our conversion: libpng reading
// RGBA rows (RGB with a filler byte), libjpeg reading RGB rows. Every case reports
// bytes_per_second as 1920 x 1080 x 4 bytes per decode, so BM_PngCxImage over
// BM_PngLibrary (and the JPEG pair likewise) is the codec layer's speed as a fraction
// of the plain library loop. Both sides allocate their output each time.
#include "media/CxImage.h"

#include <benchmark/benchmark.h>

#include <cstdio>

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int Width = 1920;
constexpr int Height = 1080;
constexpr int64_t OutputBytes = int64_t(Width) * Height * 4;

using Bytes = std::vector<uint8_t>;

// A photo-like picture, RGB top row first: broad smooth colour fields, a fine
// texture, soft-edged discs and a little sensor noise.
Bytes PhotoRgb() {
    Bytes rgb(size_t(Width) * Height * 3);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-5, 5);
    struct Disc {
        double x, y, r;
        int red, green, blue;
    };
    const Disc discs[] = {{400, 300, 180, 220, 180, 60}, {1300, 650, 260, 40, 90, 200}, {900, 900, 120, 240, 240, 230}};
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            double c[3] = {
                120 + 70 * std::sin(x * 0.0041 + y * 0.0023) + 30 * std::cos(y * 0.0067),
                110 + 60 * std::sin(x * 0.0029 - y * 0.0051) + 25 * std::cos(x * 0.0013),
                100 + 80 * std::cos(x * 0.0017 + y * 0.0031),
            };
            const double texture = 10 * std::sin(x * 0.091) * std::cos(y * 0.113);
            for (const Disc& d : discs) {
                const double inside = std::clamp(d.r - std::hypot(x - d.x, y - d.y), 0.0, 8.0) / 8.0;
                c[0] += (d.red - c[0]) * inside;
                c[1] += (d.green - c[1]) * inside;
                c[2] += (d.blue - c[2]) * inside;
            }
            uint8_t* p = rgb.data() + (size_t(y) * Width + x) * 3;
            for (int i = 0; i < 3; ++i) p[i] = uint8_t(std::clamp(int(c[i] + texture) + noise(random), 0, 255));
        }
    return rgb;
}

const Bytes& Photo() {
    static const Bytes photo = PhotoRgb();
    return photo;
}

// ---------------------------------------------------------------- PNG

void PngAppend(png_structp png, png_bytep data, size_t size) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}
void PngFlush(png_structp) {}

bool PngWriteAll(png_structp png, png_infop info, Bytes* out, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, PngAppend, PngFlush);
    png_set_IHDR(png, info, Width, Height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

Bytes MakePng() {
    Bytes photo = Photo();
    std::vector<png_bytep> rows;
    for (int y = 0; y < Height; ++y) rows.push_back(photo.data() + size_t(y) * Width * 3);
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (!PngWriteAll(png, info, &out, rows.data())) out.clear();
    png_destroy_write_struct(&png, &info);
    return out;
}

const Bytes& PngFile() {
    static const Bytes file = MakePng();
    return file;
}

struct PngInput {
    const uint8_t* data;
    size_t size;
    size_t position;
};

void PngRead(png_structp png, png_bytep out, size_t count) {
    auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
    if (count > input->size - input->position) png_error(png, "truncated");
    std::memcpy(out, input->data + input->position, count);
    input->position += count;
}

bool PngReadAll(png_structp png, png_infop info, PngInput* input, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, input, PngRead);
    png_read_info(png, info);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    return true;
}

void BM_PngLibrary(benchmark::State& state) {
    const Bytes& file = PngFile();
    for (auto _ : state) {
        Bytes rgba(static_cast<size_t>(OutputBytes));
        std::vector<png_bytep> rows;
        for (int y = 0; y < Height; ++y) rows.push_back(rgba.data() + size_t(y) * Width * 4);
        PngInput input{file.data(), file.size(), 0};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        const bool ok = PngReadAll(png, info, &input, rows.data());
        png_destroy_read_struct(&png, &info, nullptr);
        if (!ok) state.SkipWithError("libpng could not read the file");
        benchmark::DoNotOptimize(rgba.data());
    }
    state.SetBytesProcessed(state.iterations() * OutputBytes);
    state.counters["file_bytes"] = double(file.size());
}
BENCHMARK(BM_PngLibrary)->Unit(benchmark::kMillisecond);

void BM_PngCxImage(benchmark::State& state) {
    const Bytes& file = PngFile();
    for (auto _ : state) {
        CxImage image;
        if (!CxImagePNG::Decode(file.data(), file.size(), image)) state.SkipWithError("the codec could not decode");
        benchmark::DoNotOptimize(image.Pixels.data());
    }
    state.SetBytesProcessed(state.iterations() * OutputBytes);
}
BENCHMARK(BM_PngCxImage)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- JPEG

void JpegWrite(jpeg_compress_struct* c, JSAMPARRAY rows, unsigned char** buffer, unsigned long* size) {
    jpeg_create_compress(c);
    jpeg_mem_dest(c, buffer, size);
    c->image_width = Width;
    c->image_height = Height;
    c->input_components = 3;
    c->in_color_space = JCS_RGB;
    jpeg_set_defaults(c);
    jpeg_set_quality(c, 90, TRUE);
    jpeg_start_compress(c, TRUE);
    jpeg_write_scanlines(c, rows, Height);
    jpeg_finish_compress(c);
}

Bytes MakeJpeg() {
    Bytes photo = Photo();
    std::vector<JSAMPROW> rows;
    for (int y = 0; y < Height; ++y) rows.push_back(photo.data() + size_t(y) * Width * 3);
    jpeg_compress_struct c{};
    jpeg_error_mgr errors{};
    c.err = jpeg_std_error(&errors); // a failure here ends the program with libjpeg's message
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    JpegWrite(&c, rows.data(), &buffer, &size);
    jpeg_destroy_compress(&c);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

const Bytes& JpegFile() {
    static const Bytes file = MakeJpeg();
    return file;
}

void BM_JpegLibrary(benchmark::State& state) {
    const Bytes& file = JpegFile();
    for (auto _ : state) {
        jpeg_decompress_struct d{};
        jpeg_error_mgr errors{};
        d.err = jpeg_std_error(&errors); // the file is known good
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, file.data(), static_cast<unsigned long>(file.size()));
        jpeg_read_header(&d, TRUE);
        d.out_color_space = JCS_RGB;
        jpeg_start_decompress(&d);
        Bytes rgb(size_t(d.output_width) * d.output_height * 3);
        std::vector<JSAMPROW> rows;
        for (JDIMENSION y = 0; y < d.output_height; ++y) rows.push_back(rgb.data() + size_t(y) * d.output_width * 3);
        while (d.output_scanline < d.output_height)
            jpeg_read_scanlines(&d, rows.data() + d.output_scanline, d.output_height - d.output_scanline);
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
        benchmark::DoNotOptimize(rgb.data());
    }
    state.SetBytesProcessed(state.iterations() * OutputBytes);
    state.counters["file_bytes"] = double(file.size());
}
BENCHMARK(BM_JpegLibrary)->Unit(benchmark::kMillisecond);

void BM_JpegCxImage(benchmark::State& state) {
    const Bytes& file = JpegFile();
    for (auto _ : state) {
        CxImage image;
        if (!CxImageJPG::Decode(file.data(), file.size(), image)) state.SkipWithError("the codec could not decode");
        benchmark::DoNotOptimize(image.Pixels.data());
    }
    state.SetBytesProcessed(state.iterations() * OutputBytes);
}
BENCHMARK(BM_JpegCxImage)->Unit(benchmark::kMillisecond);

} // namespace
