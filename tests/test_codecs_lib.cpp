// The PNG, JPEG and GIF decoders against files made here with the libraries' own
// encoders: every PNG colour type and bit depth (with tRNS, 16-bit, interlaced),
// JPEG baseline, progressive, grey and CMYK, animated GIFs with transparency,
// disposal and offset frames. Decoded pixels are checked against what was written
// (JPEG within a tolerance). Hostile files (truncated, huge declared sizes, broken
// data, too many scans or frames) must fail cleanly and without large allocations.
#include "media/CxImage.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------------
// The largest single allocation while a decoder runs. Every C++ allocation passes
// through the operator new below; under AddressSanitizer its malloc hook also sees
// what the C libraries allocate.
namespace {
std::atomic<bool> Watching{false};
std::atomic<size_t> Largest{0};

void NoteAllocation(size_t size) {
    if (!Watching.load(std::memory_order_relaxed)) return;
    size_t previous = Largest.load(std::memory_order_relaxed);
    while (size > previous && !Largest.compare_exchange_weak(previous, size)) {
    }
}
} // namespace

// Kept out of line: inlined into callers, GCC would pair the free with the new
// expression and warn about a mismatch.
[[gnu::noinline]] void* operator new(size_t size) {
    NoteAllocation(size);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](size_t size) {
    NoteAllocation(size);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, size_t) noexcept { std::free(p); }

#if defined(__SANITIZE_ADDRESS__)
#define CODECS_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CODECS_TEST_ASAN 1
#endif
#endif
#ifdef CODECS_TEST_ASAN
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                                          void (*free_hook)(const volatile void*));
namespace {
void MallocHook(const volatile void*, size_t size) { NoteAllocation(size); }
void FreeHook(const volatile void*) {}
const int HooksInstalled = __sanitizer_install_malloc_and_free_hooks(MallocHook, FreeHook);
} // namespace
#endif

namespace {

constexpr size_t SmallAllocation = 1024 * 1024;

template <class F>
size_t LargestAllocationDuring(F&& run) {
    Largest = 0;
    Watching = true;
    run();
    Watching = false;
    return Largest.load();
}

using Bytes = std::vector<uint8_t>;
using Bgra = std::array<uint8_t, 4>;

Bgra PixelAt(const CxImage& image, int x, int yFromTop) {
    const uint8_t* p = image.Row(image.Height - 1 - yFromTop) + size_t(x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

// ---------------------------------------------------------------------------------
// PNG files written with libpng.

struct PngRecipe {
    int width = 0, height = 0;
    int colourType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<png_color> palette;
    std::vector<png_byte> paletteAlpha; // tRNS of a palette image
    bool keyed = false;                 // tRNS of a grey or RGB image: the colour key
    png_color_16 key{};
};

void PngAppend(png_structp png, png_bytep data, size_t size) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}
void PngFlush(png_structp) {}

bool PngWriteAll(png_structp png, png_infop info, const PngRecipe* recipe, Bytes* out, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, PngAppend, PngFlush);
    png_set_IHDR(png, info, png_uint_32(recipe->width), png_uint_32(recipe->height), recipe->bitDepth, recipe->colourType,
                 recipe->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!recipe->palette.empty()) png_set_PLTE(png, info, recipe->palette.data(), int(recipe->palette.size()));
    if (!recipe->paletteAlpha.empty())
        png_set_tRNS(png, info, recipe->paletteAlpha.data(), int(recipe->paletteAlpha.size()), nullptr);
    if (recipe->keyed) png_set_tRNS(png, info, nullptr, 0, &recipe->key);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

// rows: the packed rows exactly as they go into the file.
Bytes WritePng(const PngRecipe& recipe, std::vector<Bytes>& rows) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> pointers;
    for (Bytes& row : rows) pointers.push_back(row.data());
    const bool ok = PngWriteAll(png, info, &recipe, &out, pointers.data());
    png_destroy_write_struct(&png, &info);
    EXPECT_TRUE(ok) << "libpng could not write the test file";
    return out;
}

int PngChannels(int colourType) {
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
    }
}

// A well-mixed sample for pixel (x, y), channel c, of the given bit depth.
uint32_t Sample(int x, int y, int c, int depth) {
    uint32_t h = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u ^ uint32_t(c + 1) * 83492791u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return h & ((1u << depth) - 1);
}

void PutSample(Bytes& row, size_t index, int depth, uint32_t value) {
    if (depth == 16) {
        row[index * 2] = uint8_t(value >> 8);
        row[index * 2 + 1] = uint8_t(value);
    } else if (depth == 8) {
        row[index] = uint8_t(value);
    } else {
        const size_t bit = index * size_t(depth);
        row[bit / 8] |= uint8_t(value << (8 - depth - int(bit % 8)));
    }
}

// A sample of the given depth as 8 bits: low depths by replication, 16 bits rounded.
uint8_t To8(uint32_t value, int depth) {
    if (depth == 16) return uint8_t((value * 255 + 32767) / 65535);
    return uint8_t(value * 255 / ((1u << depth) - 1));
}

struct PngCase {
    int colourType;
    int bitDepth;
    bool interlaced;
    bool transparency; // a tRNS chunk (palette, grey and RGB only)
};

std::string PngCaseName(const testing::TestParamInfo<PngCase>& info) {
    static const std::map<int, std::string> names = {{PNG_COLOR_TYPE_GRAY, "Grey"},
                                                     {PNG_COLOR_TYPE_GRAY_ALPHA, "GreyAlpha"},
                                                     {PNG_COLOR_TYPE_RGB, "Rgb"},
                                                     {PNG_COLOR_TYPE_RGB_ALPHA, "Rgba"},
                                                     {PNG_COLOR_TYPE_PALETTE, "Palette"}};
    const PngCase& c = info.param;
    return names.at(c.colourType) + std::to_string(c.bitDepth) + (c.transparency ? "Trns" : "") +
           (c.interlaced ? "Interlaced" : "");
}

std::vector<PngCase> AllPngCases() {
    const std::vector<std::pair<int, std::vector<int>>> depths = {
        {PNG_COLOR_TYPE_GRAY, {1, 2, 4, 8, 16}}, {PNG_COLOR_TYPE_GRAY_ALPHA, {8, 16}},
        {PNG_COLOR_TYPE_RGB, {8, 16}},           {PNG_COLOR_TYPE_RGB_ALPHA, {8, 16}},
        {PNG_COLOR_TYPE_PALETTE, {1, 2, 4, 8}},
    };
    std::vector<PngCase> cases;
    for (const auto& [type, list] : depths)
        for (int depth : list)
            for (bool interlaced : {false, true})
                for (bool transparency : {false, true})
                    if (!transparency || (type & PNG_COLOR_MASK_ALPHA) == 0)
                        cases.push_back({type, depth, interlaced, transparency});
    return cases;
}

// A PNG of the case with mixed samples, and the pixels a decoder must give for it.
struct PngSample {
    PngRecipe recipe;
    Bytes file;
    std::vector<Bgra> expected; // top row first
};

PngSample MakePng(const PngCase& c, int width, int height) {
    PngSample s;
    PngRecipe& recipe = s.recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.colourType = c.colourType;
    recipe.bitDepth = c.bitDepth;
    recipe.interlaced = c.interlaced;
    const int channels = PngChannels(c.colourType);
    const int depth = c.bitDepth;
    if (c.colourType == PNG_COLOR_TYPE_PALETTE) {
        const int entries = 1 << depth;
        for (int i = 0; i < entries; ++i)
            recipe.palette.push_back({png_byte(i * 37 + 5), png_byte(i * 91 + 17), png_byte(255 - i * 53)});
        if (c.transparency)
            for (int i = 0; i < entries / 2 + 1; ++i) recipe.paletteAlpha.push_back(png_byte(i * 97 % 256));
    } else if (c.transparency) {
        // The key is the colour of pixel (1, 1), so at least that pixel is transparent.
        recipe.keyed = true;
        recipe.key.gray = png_uint_16(Sample(1, 1, 0, depth));
        recipe.key.red = png_uint_16(Sample(1, 1, 0, depth));
        recipe.key.green = png_uint_16(Sample(1, 1, 1, depth));
        recipe.key.blue = png_uint_16(Sample(1, 1, 2, depth));
    }

    std::vector<Bytes> rows;
    for (int y = 0; y < height; ++y) {
        Bytes row((size_t(width) * channels * depth + 7) / 8, 0);
        for (int x = 0; x < width; ++x) {
            uint32_t v[4] = {};
            for (int ch = 0; ch < channels; ++ch) {
                v[ch] = Sample(x, y, ch, depth);
                PutSample(row, size_t(x) * channels + ch, depth, v[ch]);
            }
            Bgra e{};
            switch (c.colourType) {
            case PNG_COLOR_TYPE_PALETTE: {
                const png_color& p = recipe.palette[v[0]];
                const uint8_t a = v[0] < recipe.paletteAlpha.size() ? recipe.paletteAlpha[v[0]] : 255;
                e = {p.blue, p.green, p.red, a};
                break;
            }
            case PNG_COLOR_TYPE_GRAY: {
                const uint8_t g = To8(v[0], depth);
                e = {g, g, g, uint8_t(recipe.keyed && v[0] == recipe.key.gray ? 0 : 255)};
                break;
            }
            case PNG_COLOR_TYPE_GRAY_ALPHA: {
                const uint8_t g = To8(v[0], depth);
                e = {g, g, g, To8(v[1], depth)};
                break;
            }
            case PNG_COLOR_TYPE_RGB: {
                const bool hit = recipe.keyed && v[0] == recipe.key.red && v[1] == recipe.key.green && v[2] == recipe.key.blue;
                e = {To8(v[2], depth), To8(v[1], depth), To8(v[0], depth), uint8_t(hit ? 0 : 255)};
                break;
            }
            default: e = {To8(v[2], depth), To8(v[1], depth), To8(v[0], depth), To8(v[3], depth)}; break;
            }
            s.expected.push_back(e);
        }
        rows.push_back(std::move(row));
    }
    s.file = WritePng(recipe, rows);
    return s;
}

void ExpectPixels(const CxImage& image, const std::vector<Bgra>& expected, int tolerance = 0) {
    ASSERT_EQ(image.Pixels.size(), size_t(image.Width) * image.Height * 4);
    int reported = 0;
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x) {
            const Bgra got = PixelAt(image, x, y);
            const Bgra& want = expected[size_t(y) * image.Width + x];
            for (int c = 0; c < 4; ++c)
                if (std::abs(int(got[c]) - int(want[c])) > tolerance && reported++ < 8)
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") channel " << c << ": got " << int(got[c])
                                  << ", want " << int(want[c]) << " (tolerance " << tolerance << ")";
        }
}

void PrintTo(const PngCase& c, std::ostream* out) {
    *out << "colour type " << c.colourType << ", " << c.bitDepth << " bits" << (c.transparency ? ", tRNS" : "")
         << (c.interlaced ? ", interlaced" : "");
}

class PngDecoding : public testing::TestWithParam<PngCase> {};

TEST_P(PngDecoding, GivesTheWrittenPixelsBottomUp) {
    const PngCase& c = GetParam();
    for (const auto& [width, height] : std::vector<std::pair<int, int>>{{13, 11}, {1, 1}, {2, 9}}) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        const PngSample s = MakePng(c, width, height);
        CxImage image;
        ASSERT_TRUE(CxImagePNG::Decode(s.file.data(), s.file.size(), image)) << image.Error.toStdString();
        EXPECT_EQ(image.Format, CxFormatPng);
        EXPECT_EQ(image.Width, width);
        EXPECT_EQ(image.Height, height);
        EXPECT_EQ(image.HasAlpha, (c.colourType & PNG_COLOR_MASK_ALPHA) != 0 || c.transparency);
        ExpectPixels(image, s.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(AllTypes, PngDecoding, testing::ValuesIn(AllPngCases()), PngCaseName);

TEST(PngCodec, KeyedTransparencyClearsOnlyMatchingPixels) {
    const PngSample s = MakePng({PNG_COLOR_TYPE_RGB, 8, false, true}, 13, 11);
    CxImage image;
    ASSERT_TRUE(CxImagePNG::Decode(s.file.data(), s.file.size(), image));
    int transparent = 0;
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 13; ++x) transparent += PixelAt(image, x, y)[3] == 0;
    EXPECT_EQ(PixelAt(image, 1, 1)[3], 0);
    EXPECT_GE(transparent, 1);
    EXPECT_LT(transparent, 13 * 11);
}

TEST(PngCodec, ThroughTheImageDispatch) {
    const PngSample s = MakePng({PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false}, 13, 11);
    CxImage image;
    ASSERT_TRUE(image.Decode(s.file.data(), s.file.size()));
    EXPECT_EQ(image.Format, CxFormatPng);
    EXPECT_TRUE(image.HasAlpha);
    ExpectPixels(image, s.expected);
}

size_t ChunkLength(const Bytes& file, size_t at) {
    return size_t(file[at]) << 24 | size_t(file[at + 1]) << 16 | size_t(file[at + 2]) << 8 | file[at + 3];
}

// The offset of the first chunk of the given type, or 0.
size_t FindChunk(const Bytes& file, const char* type) {
    for (size_t at = 8; at + 12 <= file.size(); at += 12 + ChunkLength(file, at))
        if (std::memcmp(&file[at + 4], type, 4) == 0) return at;
    return 0;
}

void SetBigEndian32(Bytes& file, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(value >> (24 - 8 * i));
}

// Stores a fresh CRC for the chunk starting at `at`.
void FixChunkCrc(Bytes& file, size_t at) {
    const size_t length = ChunkLength(file, at);
    const uLong crc = crc32(0, file.data() + at + 4, uInt(length + 4));
    SetBigEndian32(file, at + 8 + length, uint32_t(crc));
}

Bytes PngWithHeaderSize(uint32_t width, uint32_t height) {
    Bytes file = MakePng({PNG_COLOR_TYPE_RGB, 8, false, false}, 4, 4).file;
    SetBigEndian32(file, 16, width); // IHDR data starts at 8 + 8
    SetBigEndian32(file, 20, height);
    FixChunkCrc(file, 8);
    return file;
}

TEST(PngCodec, HugeDeclaredSizesFailWithoutLargeAllocations) {
    const std::vector<std::pair<uint32_t, uint32_t>> sizes = {
        {100000, 100000},
        {CxImage::MaxSide + 1, 1},
        {1, CxImage::MaxSide + 1},
        {CxImage::MaxSide, CxImage::MaxSide},
        {0, 5},
    };
    for (const auto& [w, h] : sizes) {
        SCOPED_TRACE(testing::Message() << w << " x " << h);
        const Bytes file = PngWithHeaderSize(w, h);
        CxImage image;
        bool ok = true;
        const size_t largest =
            LargestAllocationDuring([&] { ok = CxImagePNG::Decode(file.data(), file.size(), image); });
        EXPECT_FALSE(ok);
        EXPECT_FALSE(image.Error.isEmpty());
        EXPECT_LT(largest, SmallAllocation);
        EXPECT_TRUE(image.Pixels.empty());
    }
}

// The watch used by the tests of huge declared sizes sees what the decoders allocate.
TEST(AllocationWatch, SeesLargeAllocations) {
    const Bytes file = MakePng({PNG_COLOR_TYPE_RGB, 8, false, false}, 600, 600).file;
    CxImage image;
    bool ok = false;
    const size_t largest = LargestAllocationDuring([&] { ok = CxImagePNG::Decode(file.data(), file.size(), image); });
    EXPECT_TRUE(ok);
    EXPECT_GE(largest, size_t(600) * 600 * 4);
#ifdef CODECS_TEST_ASAN
    // The C libraries allocate with malloc, which only the sanitizer's hook sees.
    EXPECT_NE(HooksInstalled, 0);
    const size_t seen = LargestAllocationDuring([] {
        void* volatile block = std::malloc(2 * SmallAllocation);
        std::free(block);
    });
    EXPECT_GE(seen, 2 * SmallAllocation);
#endif
}

TEST(PngCodec, EveryTruncationFails) {
    const PngCase cases[] = {{PNG_COLOR_TYPE_RGB, 8, false, false}, {PNG_COLOR_TYPE_PALETTE, 4, true, true}};
    for (const PngCase& c : cases) {
        const Bytes file = MakePng(c, 13, 11).file;
        CxImage whole;
        ASSERT_TRUE(CxImagePNG::Decode(file.data(), file.size(), whole));
        for (size_t length = 0; length < file.size(); ++length) {
            const Bytes prefix(file.begin(), file.begin() + ptrdiff_t(length));
            CxImage image;
            EXPECT_FALSE(CxImagePNG::Decode(prefix.data(), prefix.size(), image)) << "prefix of " << length << " bytes";
        }
    }
}

TEST(PngCodec, DamagedDataFails) {
    const Bytes file = MakePng({PNG_COLOR_TYPE_RGB, 8, false, false}, 13, 11).file;
    const size_t idat = FindChunk(file, "IDAT");
    ASSERT_GT(idat, 0u);
    const size_t dataStart = idat + 8, dataEnd = dataStart + ChunkLength(file, idat);

    // A changed byte in the image data without a matching CRC.
    Bytes badCrc = file;
    badCrc[dataEnd - 3] ^= 0x55;
    // The zlib stream overwritten after its two header bytes, with a matching CRC.
    Bytes badStream = file;
    for (size_t i = dataStart + 2; i < dataEnd; ++i) badStream[i] = uint8_t(i * 131 + 7);
    FixChunkCrc(badStream, idat);
    // Not a PNG at all behind the signature.
    Bytes garbage(file.begin(), file.begin() + 8);
    for (int i = 0; i < 200; ++i) garbage.push_back(uint8_t(i * 29 + 3));

    for (const Bytes* bad : {&badCrc, &badStream, &garbage}) {
        CxImage image;
        EXPECT_FALSE(CxImagePNG::Decode(bad->data(), bad->size(), image));
        EXPECT_FALSE(image.Error.isEmpty());
    }
}

// ---------------------------------------------------------------------------------
// JPEG files written with libjpeg.

struct JpegWriteErrors {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

void JpegWriteFail(j_common_ptr common) { longjmp(reinterpret_cast<JpegWriteErrors*>(common->err)->jump, 1); }

struct JpegRecipe {
    int width = 0, height = 0;
    J_COLOR_SPACE input = JCS_RGB;      // JCS_RGB, JCS_GRAYSCALE or JCS_CMYK
    J_COLOR_SPACE stored = JCS_UNKNOWN; // JCS_UNKNOWN: libjpeg's default for the input
    bool adobe = true;                  // write the Adobe marker for CMYK and YCCK
    bool progressive = false;
    int restartInterval = 0;
    std::vector<jpeg_scan_info> scans; // a scan script, empty for the default
};

int JpegComponents(J_COLOR_SPACE space) { return space == JCS_GRAYSCALE ? 1 : space == JCS_CMYK ? 4 : 3; }

bool JpegWriteAll(jpeg_compress_struct* c, const JpegRecipe* recipe, JSAMPARRAY rows, unsigned char** buffer,
                  unsigned long* size) {
    if (setjmp(reinterpret_cast<JpegWriteErrors*>(c->err)->jump)) return false;
    jpeg_create_compress(c);
    jpeg_mem_dest(c, buffer, size);
    c->image_width = JDIMENSION(recipe->width);
    c->image_height = JDIMENSION(recipe->height);
    c->input_components = JpegComponents(recipe->input);
    c->in_color_space = recipe->input;
    jpeg_set_defaults(c);
    jpeg_set_quality(c, 95, TRUE);
    if (recipe->stored != JCS_UNKNOWN) jpeg_set_colorspace(c, recipe->stored);
    if (recipe->input == JCS_CMYK) c->write_Adobe_marker = recipe->adobe ? TRUE : FALSE;
    if (recipe->progressive) jpeg_simple_progression(c);
    if (!recipe->scans.empty()) {
        c->scan_info = recipe->scans.data();
        c->num_scans = int(recipe->scans.size());
    }
    c->restart_interval = unsigned(recipe->restartInterval);
    jpeg_start_compress(c, TRUE);
    jpeg_write_scanlines(c, rows, JDIMENSION(recipe->height));
    jpeg_finish_compress(c);
    return true;
}

// samples: width * components bytes per row, top row first.
Bytes WriteJpeg(const JpegRecipe& recipe, Bytes& samples) {
    jpeg_compress_struct c{};
    JpegWriteErrors errors{};
    c.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JpegWriteFail;
    std::vector<JSAMPROW> rows;
    const size_t stride = size_t(recipe.width) * JpegComponents(recipe.input);
    for (int y = 0; y < recipe.height; ++y) rows.push_back(samples.data() + size_t(y) * stride);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = JpegWriteAll(&c, &recipe, rows.data(), &buffer, &size);
    jpeg_destroy_compress(&c);
    Bytes out;
    if (ok && buffer) out.assign(buffer, buffer + size);
    std::free(buffer);
    EXPECT_TRUE(ok) << "libjpeg could not write the test file";
    return out;
}

// Smooth content that JPEG keeps well (gentle fixed slopes, for images up to 64 x 48),
// different in every channel and direction.
uint8_t Smooth(int x, int y, int channel) {
    switch (channel) {
    case 0: return uint8_t(30 + 3 * x);
    case 1: return uint8_t(40 + 4 * y);
    case 2: return uint8_t(60 + x + 2 * y);
    default: return uint8_t(200 + (x + y) / 2);
    }
}

struct JpegSample {
    JpegRecipe recipe;
    Bytes file;
    std::vector<Bgra> expected;
};

JpegSample MakeJpeg(const JpegRecipe& recipe) {
    JpegSample s;
    s.recipe = recipe;
    const int components = JpegComponents(recipe.input);
    Bytes samples;
    for (int y = 0; y < recipe.height; ++y)
        for (int x = 0; x < recipe.width; ++x) {
            uint8_t v[4];
            for (int c = 0; c < components; ++c) v[c] = Smooth(x, y, components == 1 ? 2 : c);
            samples.insert(samples.end(), v, v + components);
            if (components == 1) {
                s.expected.push_back({v[0], v[0], v[0], 255});
            } else if (components == 3) {
                s.expected.push_back({v[2], v[1], v[0], 255});
            } else {
                // Adobe files store inverted inks (255 = none): red = C' * K' / 255.
                // Plain CMYK stores the inks themselves.
                int c = v[0], m = v[1], yy = v[2], k = v[3];
                if (!recipe.adobe) c = 255 - c, m = 255 - m, yy = 255 - yy, k = 255 - k;
                s.expected.push_back({uint8_t((yy * k + 127) / 255), uint8_t((m * k + 127) / 255),
                                      uint8_t((c * k + 127) / 255), 255});
            }
        }
    s.file = WriteJpeg(recipe, samples);
    return s;
}

struct JpegCase {
    const char* name;
    J_COLOR_SPACE input;
    J_COLOR_SPACE stored;
    bool adobe;
    bool progressive;
    int restartInterval;
    int tolerance;
};

const JpegCase JpegCases[] = {
    {"Baseline", JCS_RGB, JCS_UNKNOWN, true, false, 0, 6},
    {"BaselineRestarts", JCS_RGB, JCS_UNKNOWN, true, false, 1, 6},
    {"Progressive", JCS_RGB, JCS_UNKNOWN, true, true, 0, 6},
    {"StoredAsRgb", JCS_RGB, JCS_RGB, true, false, 0, 6},
    {"Grey", JCS_GRAYSCALE, JCS_UNKNOWN, true, false, 0, 3},
    {"GreyProgressive", JCS_GRAYSCALE, JCS_UNKNOWN, true, true, 0, 3},
    {"AdobeCmyk", JCS_CMYK, JCS_CMYK, true, false, 0, 6},
    {"AdobeYcck", JCS_CMYK, JCS_YCCK, true, false, 0, 6},
    {"AdobeCmykProgressive", JCS_CMYK, JCS_CMYK, true, true, 0, 6},
    {"PlainCmyk", JCS_CMYK, JCS_CMYK, false, false, 0, 6},
};

void PrintTo(const JpegCase& c, std::ostream* out) { *out << c.name; }

class JpegDecoding : public testing::TestWithParam<JpegCase> {};

TEST_P(JpegDecoding, GivesTheWrittenPixelsBottomUp) {
    const JpegCase& c = GetParam();
    for (const auto& [width, height] : std::vector<std::pair<int, int>>{{64, 48}, {37, 23}, {1, 1}, {3, 17}}) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        JpegRecipe recipe;
        recipe.width = width;
        recipe.height = height;
        recipe.input = c.input;
        recipe.stored = c.stored;
        recipe.adobe = c.adobe;
        recipe.progressive = c.progressive;
        recipe.restartInterval = c.restartInterval;
        const JpegSample s = MakeJpeg(recipe);
        CxImage image;
        ASSERT_TRUE(CxImageJPG::Decode(s.file.data(), s.file.size(), image)) << image.Error.toStdString();
        EXPECT_EQ(image.Format, CxFormatJpg);
        EXPECT_EQ(image.Width, width);
        EXPECT_EQ(image.Height, height);
        EXPECT_FALSE(image.HasAlpha);
        ExpectPixels(image, s.expected, c.tolerance);
    }
}

INSTANTIATE_TEST_SUITE_P(AllKinds, JpegDecoding, testing::ValuesIn(JpegCases),
                         [](const testing::TestParamInfo<JpegCase>& info) { return std::string(info.param.name); });

JpegRecipe RgbJpeg(int width, int height, bool progressive = false) {
    JpegRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.progressive = progressive;
    return recipe;
}

TEST(JpegCodec, ThroughTheImageDispatch) {
    const JpegSample s = MakeJpeg(RgbJpeg(37, 23));
    CxImage image;
    ASSERT_TRUE(image.Decode(s.file.data(), s.file.size()));
    EXPECT_EQ(image.Format, CxFormatJpg);
    ExpectPixels(image, s.expected, 8);
}

// A camera's picture: four flat 16 x 8 quadrants, A (red) B (green) on top, C (blue)
// D (white) below, with an APP1 "Exif" segment right after SOI whose IFD0 holds a
// Make entry and then the orientation (in Intel or Motorola byte order).
Bytes CameraJpeg(int orientation, bool motorola, size_t cutExifTo = 0) {
    const uint8_t colours[4][3] = {{220, 30, 30}, {30, 200, 30}, {30, 30, 220}, {240, 240, 240}};
    Bytes samples;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const uint8_t* c = colours[(y >= 8 ? 2 : 0) + (x >= 16 ? 1 : 0)];
            samples.insert(samples.end(), c, c + 3);
        }
    JpegRecipe recipe;
    recipe.width = 32;
    recipe.height = 16;
    Bytes file = WriteJpeg(recipe, samples);
    const auto u16 = [&](Bytes& b, uint32_t v) {
        if (motorola) b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)});
        else b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)});
    };
    const auto u32 = [&](Bytes& b, uint32_t v) {
        if (motorola) { u16(b, v >> 16); u16(b, v & 0xFFFF); }
        else { u16(b, v & 0xFFFF); u16(b, v >> 16); }
    };
    Bytes tiff = motorola ? Bytes{'M', 'M'} : Bytes{'I', 'I'};
    u16(tiff, 42);
    u32(tiff, 8);
    u16(tiff, 2);  // entries
    u16(tiff, 0x010F), u16(tiff, 2), u32(tiff, 4), tiff.insert(tiff.end(), {'C', 'a', 'm', 0});
    u16(tiff, 0x0112), u16(tiff, 3), u32(tiff, 1), u16(tiff, uint32_t(orientation)), u16(tiff, 0);
    u32(tiff, 0);  // no next IFD
    Bytes segment = {'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    if (cutExifTo) segment.resize(cutExifTo);
    const size_t length = segment.size() + 2;
    Bytes app1 = {0xFF, 0xE1, uint8_t(length >> 8), uint8_t(length)};
    app1.insert(app1.end(), segment.begin(), segment.end());
    file.insert(file.begin() + 2, app1.begin(), app1.end());
    return file;
}

struct OrientationCase {
    int orientation;
    int width, height;
    const char* quadrants;  // the displayed quadrants, top-left, top-right, bottom-left, bottom-right
};

// Every EXIF orientation turns or mirrors the picture upright, in both byte orders.
TEST(JpegCodec, ExifOrientationIsApplied) {
    const std::vector<OrientationCase> cases = {
        {1, 32, 16, "ABCD"}, {2, 32, 16, "BADC"}, {3, 32, 16, "DCBA"}, {4, 32, 16, "CDAB"},
        {5, 16, 32, "ACBD"}, {6, 16, 32, "CADB"}, {7, 16, 32, "DBCA"}, {8, 16, 32, "BDAC"},
    };
    const Bgra quadrantColour[4] = {{30, 30, 220, 255}, {30, 200, 30, 255}, {220, 30, 30, 255}, {240, 240, 240, 255}};
    for (bool motorola : {false, true}) {
        for (const OrientationCase& c : cases) {
            SCOPED_TRACE(testing::Message() << "orientation " << c.orientation << (motorola ? " MM" : " II"));
            const Bytes file = CameraJpeg(c.orientation, motorola);
            CxImage image;
            ASSERT_TRUE(image.Decode(file.data(), file.size())) << image.Error.toStdString();
            ASSERT_EQ(image.Width, c.width);
            ASSERT_EQ(image.Height, c.height);
            for (int q = 0; q < 4; ++q) {
                // The centre of each displayed quadrant, rows counted from the top.
                const int x = (q % 2) * c.width / 2 + c.width / 4, y = (q / 2) * c.height / 2 + c.height / 4;
                const uint8_t* p = image.Row(image.Height - 1 - y) + size_t(x) * 4;
                const Bgra& want = quadrantColour[c.quadrants[q] - 'A'];
                const Bgra got{p[0], p[1], p[2], p[3]};
                EXPECT_TRUE(std::abs(got[0] - want[0]) <= 24 && std::abs(got[1] - want[1]) <= 24 &&
                            std::abs(got[2] - want[2]) <= 24 && got[3] == 255)
                    << "quadrant " << q << " should be " << c.quadrants[q] << ", is " << int(got[2]) << "," << int(got[1]) << "," << int(got[0]);
            }
        }
    }
}

// An orientation out of range or an EXIF segment cut short leaves the picture as stored.
TEST(JpegCodec, DamagedOrUnknownExifLeavesThePictureAsStored) {
    const Bytes files[] = {CameraJpeg(9, false), CameraJpeg(0, true), CameraJpeg(6, false, 20), CameraJpeg(6, true, 6),
                           CameraJpeg(6, false, 31)};
    for (const Bytes& file : files) {
        CxImage image;
        ASSERT_TRUE(image.Decode(file.data(), file.size())) << image.Error.toStdString();
        EXPECT_EQ(image.Width, 32);
        EXPECT_EQ(image.Height, 16);
    }
}

// The offset of the frame header's marker (SOF0 or SOF2).
size_t FindFrameHeader(const Bytes& file) {
    for (size_t i = 2; i + 9 < file.size(); ++i)
        if (file[i] == 0xFF && (file[i + 1] == 0xC0 || file[i + 1] == 0xC2)) return i;
    return 0;
}

TEST(JpegCodec, HugeDeclaredSizesFailWithoutLargeAllocations) {
    const std::vector<std::pair<int, int>> sizes = {
        {65000, 65000}, {CxImage::MaxSide + 1, 8}, {8, CxImage::MaxSide + 1}, {CxImage::MaxSide, CxImage::MaxSide}};
    for (bool progressive : {false, true})
        for (const auto& [w, h] : sizes) {
            SCOPED_TRACE(testing::Message() << w << " x " << h << (progressive ? " progressive" : ""));
            Bytes file = MakeJpeg(RgbJpeg(8, 8, progressive)).file;
            const size_t sof = FindFrameHeader(file);
            ASSERT_GT(sof, 0u);
            file[sof + 5] = uint8_t(h >> 8), file[sof + 6] = uint8_t(h);
            file[sof + 7] = uint8_t(w >> 8), file[sof + 8] = uint8_t(w);
            CxImage image;
            bool ok = true;
            const size_t largest =
                LargestAllocationDuring([&] { ok = CxImageJPG::Decode(file.data(), file.size(), image); });
            EXPECT_FALSE(ok);
            EXPECT_FALSE(image.Error.isEmpty());
            EXPECT_LT(largest, SmallAllocation);
            EXPECT_TRUE(image.Pixels.empty());
        }
}

TEST(JpegCodec, EveryTruncationFails) {
    for (bool progressive : {false, true}) {
        const Bytes file = MakeJpeg(RgbJpeg(37, 23, progressive)).file;
        CxImage whole;
        ASSERT_TRUE(CxImageJPG::Decode(file.data(), file.size(), whole));
        for (size_t length = 0; length < file.size(); ++length) {
            const Bytes prefix(file.begin(), file.begin() + ptrdiff_t(length));
            CxImage image;
            EXPECT_FALSE(CxImageJPG::Decode(prefix.data(), prefix.size(), image))
                << "prefix of " << length << " bytes" << (progressive ? ", progressive" : "");
        }
    }
}

// The first byte of entropy-coded data: just past the first SOS segment.
size_t FindScanData(const Bytes& file) {
    for (size_t i = 2; i + 4 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xDA) return i + 2 + (size_t(file[i + 2]) << 8 | file[i + 3]);
    return 0;
}

TEST(JpegCodec, ImageDataEndingAtAMarkerFails) {
    // The scan cut short but the file still closed with EOI: libjpeg would pad the
    // rest of the picture with grey.
    for (bool progressive : {false, true}) {
        const Bytes file = MakeJpeg(RgbJpeg(37, 23, progressive)).file;
        const size_t start = FindScanData(file);
        ASSERT_GT(start, 0u);
        for (size_t cut : {start, start + 1, start + 7, (start + file.size()) / 2}) {
            Bytes shortened(file.begin(), file.begin() + ptrdiff_t(cut));
            shortened.push_back(0xFF);
            shortened.push_back(0xD9);
            CxImage image;
            EXPECT_FALSE(CxImageJPG::Decode(shortened.data(), shortened.size(), image))
                << "cut at " << cut << (progressive ? ", progressive" : "");
            EXPECT_FALSE(image.Error.isEmpty());
        }
    }
}

TEST(JpegCodec, GarbageAfterTheSignatureFails) {
    Bytes file = {0xFF, 0xD8, 0xFF};
    for (int i = 0; i < 300; ++i) file.push_back(uint8_t(i * 77 + 1));
    CxImage image;
    EXPECT_FALSE(CxImageJPG::Decode(file.data(), file.size(), image));
    EXPECT_FALSE(image.Error.isEmpty());
}

// A progressive script sending each AC coefficient of the components listed in
// `split` in a scan of its own, the others in one AC scan each.
std::vector<jpeg_scan_info> SplitScript(const std::vector<int>& split) {
    std::vector<jpeg_scan_info> scans;
    scans.push_back({3, {0, 1, 2, 0}, 0, 0, 0, 0});
    for (int component = 0; component < 3; ++component) {
        if (std::find(split.begin(), split.end(), component) != split.end()) {
            for (int k = 1; k < 64; ++k) scans.push_back({1, {component, 0, 0, 0}, k, k, 0, 0});
        } else {
            scans.push_back({1, {component, 0, 0, 0}, 1, 63, 0, 0});
        }
    }
    return scans;
}

TEST(JpegCodec, ScanCountIsCapped) {
    JpegRecipe few = RgbJpeg(16, 16);
    few.scans = SplitScript({0}); // 1 + 63 + 2 = 66 scans
    JpegRecipe many = RgbJpeg(16, 16);
    many.scans = SplitScript({0, 1, 2}); // 1 + 189 = 190 scans
    const JpegSample accepted = MakeJpeg(few);
    const JpegSample refused = MakeJpeg(many);

    CxImage image;
    ASSERT_TRUE(CxImageJPG::Decode(accepted.file.data(), accepted.file.size(), image)) << image.Error.toStdString();
    ExpectPixels(image, accepted.expected, 8);
    CxImage other;
    EXPECT_FALSE(CxImageJPG::Decode(refused.file.data(), refused.file.size(), other));
    EXPECT_FALSE(other.Error.isEmpty());
}

// ---------------------------------------------------------------------------------
// GIF files written with giflib.

struct GifFrame {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> pixels; // colour indices, top row first
    bool interlaced = false;
    bool control = false; // write a graphic control extension
    int disposal = 0;
    int delay = 0;
    int transparent = -1;
    std::vector<GifColorType> localMap;
};

int GifAppend(GifFileType* gif, const GifByteType* data, int size) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + size);
    return size;
}

// A colour map padded to a power of two, as giflib wants it.
ColorMapObject* MakeMap(std::vector<GifColorType> colours) {
    size_t size = 2;
    while (size < colours.size()) size *= 2;
    colours.resize(size, GifColorType{0, 0, 0});
    return GifMakeMapObject(int(size), colours.data());
}

// ends, if given, receives the file size after each frame's data.
Bytes WriteGif(int screenWidth, int screenHeight, const std::vector<GifColorType>& global,
               const std::vector<GifFrame>& frames, std::vector<size_t>* ends = nullptr) {
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, GifAppend, &error);
    EXPECT_NE(gif, nullptr);
    if (!gif) return out;
    bool any = false;
    for (const GifFrame& f : frames) any = any || f.control;
    EGifSetGifVersion(gif, any);
    ColorMapObject* globalMap = global.empty() ? nullptr : MakeMap(global);
    bool ok = EGifPutScreenDesc(gif, screenWidth, screenHeight, 8, 0, globalMap) == GIF_OK;
    GifFreeMapObject(globalMap);
    for (const GifFrame& f : frames) {
        if (f.control) {
            const uint8_t packed = uint8_t((f.disposal & 7) << 2 | (f.transparent >= 0 ? 1 : 0));
            const uint8_t block[4] = {packed, uint8_t(f.delay), uint8_t(f.delay >> 8),
                                      uint8_t(f.transparent >= 0 ? f.transparent : 0)};
            ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block) == GIF_OK;
        }
        ColorMapObject* localMap = f.localMap.empty() ? nullptr : MakeMap(f.localMap);
        ok = ok && EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, localMap) == GIF_OK;
        GifFreeMapObject(localMap);
        std::vector<int> order;
        if (f.interlaced) {
            const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = start[pass]; y < f.height; y += step[pass]) order.push_back(y);
        } else {
            for (int y = 0; y < f.height; ++y) order.push_back(y);
        }
        std::vector<GifPixelType> line(size_t(f.width));
        for (int y : order) {
            std::copy_n(f.pixels.begin() + ptrdiff_t(y) * f.width, f.width, line.begin());
            ok = ok && EGifPutLine(gif, line.data(), f.width) == GIF_OK;
        }
        if (ends) ends->push_back(out.size());
    }
    ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
    EXPECT_TRUE(ok) << "giflib could not write the test file: " << GifErrorString(error);
    return out;
}

const std::map<char, GifColorType> GifColours = {
    {'R', {255, 0, 0}},   {'G', {0, 255, 0}},   {'B', {0, 0, 255}},   {'W', {255, 255, 255}},
    {'Y', {255, 255, 0}}, {'K', {0, 0, 0}},     {'C', {0, 255, 255}}, {'M', {255, 0, 255}},
    {'a', {10, 20, 30}},  {'b', {40, 50, 60}},
};
// The global map: index i is the colour of Global[i]; '_' in a frame is index 7
// (magenta), used as the transparent index.
const std::string GlobalOrder = "RGBWYKCM";

std::vector<GifColorType> GlobalMap() {
    std::vector<GifColorType> map;
    for (char c : GlobalOrder) map.push_back(GifColours.at(c));
    return map;
}

std::vector<uint8_t> Indices(const std::vector<std::string>& rows, const std::string& order) {
    std::vector<uint8_t> out;
    for (const std::string& row : rows)
        for (char c : row) out.push_back(uint8_t(c == '_' ? 7 : order.find(c)));
    return out;
}

GifFrame Frame(int left, int top, const std::vector<std::string>& rows, const std::string& order = GlobalOrder) {
    GifFrame f;
    f.left = left;
    f.top = top;
    f.height = int(rows.size());
    f.width = int(rows[0].size());
    f.pixels = Indices(rows, order);
    return f;
}

GifFrame Controlled(GifFrame f, int disposal, int delay, int transparent = -1) {
    f.control = true;
    f.disposal = disposal;
    f.delay = delay;
    f.transparent = transparent;
    return f;
}

// '.' = transparent (alpha 0), else the colour of GifColours, opaque.
void ExpectCanvas(const CxImage& image, const std::vector<std::string>& rows) {
    ASSERT_EQ(image.Height, int(rows.size()));
    ASSERT_EQ(image.Width, int(rows[0].size()));
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x) {
            const Bgra got = PixelAt(image, x, y);
            const char want = rows[size_t(y)][size_t(x)];
            if (want == '.') {
                EXPECT_EQ(got[3], 0) << "pixel (" << x << ", " << y << ") should be transparent";
            } else {
                const GifColorType& c = GifColours.at(want);
                EXPECT_EQ(got, (Bgra{c.Blue, c.Green, c.Red, 255}))
                    << "pixel (" << x << ", " << y << ") should be " << want;
            }
        }
}

// Four frames on a 6 x 4 screen: a full one (leave), a smaller one at an offset with
// a transparent index (restore to background), one reaching past the screen's right
// and bottom edges (restore to previous), one with a local colour map and no control
// extension.
std::vector<GifFrame> AnimationFrames() {
    GifFrame local = Frame(0, 0, {"ab"}, "ab");
    local.localMap = {GifColours.at('a'), GifColours.at('b')};
    return {
        Controlled(Frame(0, 0, {"RRRGGG", "RRRGGG", "BBBWWW", "BBBWWW"}), 1, 10),
        Controlled(Frame(1, 1, {"Y_Y", "YYY"}), 2, 20, 7),
        Controlled(Frame(4, 2, {"K_K", "KKK", "KKK"}), 3, 30, 7),
        local,
    };
}

const std::vector<std::vector<std::string>> AnimationCanvases = {
    {"RRRGGG", "RRRGGG", "BBBWWW", "BBBWWW"},
    {"RRRGGG", "RYRYGG", "BYYYWW", "BBBWWW"},
    {"RRRGGG", "R...GG", "B...KW", "BBBWKK"},
    {"abRGGG", "R...GG", "B...WW", "BBBWWW"},
};
const int AnimationDelays[] = {10, 20, 30, 0};

TEST(GifCodec, AnimationFramesComposeAsShown) {
    const Bytes file = WriteGif(6, 4, GlobalMap(), AnimationFrames());
    for (int frame = 0; frame < 4; ++frame) {
        SCOPED_TRACE(testing::Message() << "frame " << frame);
        CxImage image;
        ASSERT_TRUE(CxImageGIF::Decode(file.data(), file.size(), frame, image)) << image.Error.toStdString();
        EXPECT_EQ(image.Format, CxFormatGif);
        EXPECT_EQ(image.FrameCount, 4);
        EXPECT_EQ(image.FrameDelay, AnimationDelays[frame]);
        EXPECT_TRUE(image.HasAlpha);
        ExpectCanvas(image, AnimationCanvases[size_t(frame)]);
    }
}

TEST(GifCodec, ThroughTheImageDispatch) {
    const Bytes file = WriteGif(6, 4, GlobalMap(), AnimationFrames());
    CxImage image;
    ASSERT_TRUE(image.Decode(file.data(), file.size(), -1));
    EXPECT_EQ(image.Format, CxFormatGif);
    EXPECT_EQ(image.FrameCount, 4);
    ExpectCanvas(image, AnimationCanvases[0]);
    ASSERT_TRUE(image.Decode(file.data(), file.size(), 2));
    ExpectCanvas(image, AnimationCanvases[2]);
}

TEST(GifCodec, FramesThatDoNotExistFail) {
    const Bytes file = WriteGif(6, 4, GlobalMap(), AnimationFrames());
    for (int frame : {4, 5, -1, CxImage::MaxFrames}) {
        CxImage image;
        EXPECT_FALSE(CxImageGIF::Decode(file.data(), file.size(), frame, image)) << "frame " << frame;
        EXPECT_FALSE(image.Error.isEmpty());
    }
}

struct DisposalCase {
    int disposal;
    const char* topRow; // row 0 of the third frame's canvas
};

void PrintTo(const DisposalCase& c, std::ostream* out) { *out << "disposal " << c.disposal; }

class GifDisposal : public testing::TestWithParam<DisposalCase> {};

// Frame 0 fills the screen red; frame 1 draws "GG" at (1, 0) with the disposal under
// test; frame 2 draws one blue pixel at (0, 1). What frame 1 left shows in frame 2.
TEST_P(GifDisposal, DecidesWhatTheNextFrameShows) {
    const DisposalCase& c = GetParam();
    const Bytes file = WriteGif(3, 2, GlobalMap(),
                                {Controlled(Frame(0, 0, {"RRR", "RRR"}), 1, 5),
                                 Controlled(Frame(1, 0, {"GG"}), c.disposal, 5), Controlled(Frame(0, 1, {"B"}), 0, 5)});
    CxImage image;
    ASSERT_TRUE(CxImageGIF::Decode(file.data(), file.size(), 2, image)) << image.Error.toStdString();
    ExpectCanvas(image, {c.topRow, "BRR"});
    ASSERT_TRUE(CxImageGIF::Decode(file.data(), file.size(), 1, image));
    ExpectCanvas(image, {"RGG", "RRR"});
}

INSTANTIATE_TEST_SUITE_P(Methods, GifDisposal,
                         testing::Values(DisposalCase{0, "RGG"}, DisposalCase{1, "RGG"}, DisposalCase{2, "R.."},
                                         DisposalCase{3, "RRR"}, DisposalCase{4, "RGG"}, DisposalCase{7, "RGG"}),
                         [](const testing::TestParamInfo<DisposalCase>& info) {
                             return "Disposal" + std::to_string(info.param.disposal);
                         });

TEST(GifCodec, RestoreToPreviousOfTheFirstFrameGivesTransparency) {
    const Bytes file =
        WriteGif(3, 1, GlobalMap(), {Controlled(Frame(0, 0, {"RGB"}), 3, 5), Controlled(Frame(1, 0, {"W"}), 0, 5)});
    CxImage image;
    ASSERT_TRUE(CxImageGIF::Decode(file.data(), file.size(), 1, image));
    ExpectCanvas(image, {".W."});
}

TEST(GifCodec, InterlacedFramesKeepTheirRowOrder) {
    for (int height : {1, 2, 3, 4, 5, 7, 8, 9, 10, 17, 33}) {
        SCOPED_TRACE(testing::Message() << "height " << height);
        std::vector<std::string> rows;
        for (int y = 0; y < height; ++y) {
            std::string row;
            for (int x = 0; x < 3; ++x) row += GlobalOrder[size_t((y * 3 + x) % 7)];
            rows.push_back(row);
        }
        GifFrame f = Frame(0, 0, rows);
        f.interlaced = true;
        const Bytes file = WriteGif(3, height, GlobalMap(), {f});
        CxImage image;
        ASSERT_TRUE(CxImageGIF::Decode(file.data(), file.size(), 0, image)) << image.Error.toStdString();
        EXPECT_FALSE(image.HasAlpha);
        EXPECT_EQ(image.FrameCount, 1);
        ExpectCanvas(image, rows);
    }
}

TEST(GifCodec, OpaqueFullFramesHaveNoAlpha) {
    const Bytes file = WriteGif(3, 2, GlobalMap(), {Frame(0, 0, {"RGB", "WYK"})});
    CxImage image;
    ASSERT_TRUE(CxImageGIF::Decode(file.data(), file.size(), 0, image));
    EXPECT_FALSE(image.HasAlpha);
    EXPECT_EQ(image.FrameDelay, 0);
    ExpectCanvas(image, {"RGB", "WYK"});
}

TEST(GifCodec, ScreenNotCoveredByTheFrameIsTransparent) {
    const Bytes file = WriteGif(4, 3, GlobalMap(), {Frame(1, 1, {"RG"})});
    CxImage image;
    ASSERT_TRUE(CxImageGIF::Decode(file.data(), file.size(), 0, image));
    EXPECT_TRUE(image.HasAlpha);
    ExpectCanvas(image, {"....", ".RG.", "...."});
}

TEST(GifCodec, TransparentIndexAloneGivesAlpha) {
    const Bytes file = WriteGif(3, 1, GlobalMap(), {Controlled(Frame(0, 0, {"R_G"}), 0, 0, 7)});
    CxImage image;
    ASSERT_TRUE(CxImageGIF::Decode(file.data(), file.size(), 0, image));
    EXPECT_TRUE(image.HasAlpha);
    ExpectCanvas(image, {"R.G"});
}

TEST(GifCodec, TransparencyInALaterFrameCountsForTheFile) {
    const Bytes file = WriteGif(2, 1, GlobalMap(), {Frame(0, 0, {"RG"}), Controlled(Frame(0, 0, {"_B"}), 0, 0, 7)});
    CxImage image;
    ASSERT_TRUE(CxImageGIF::Decode(file.data(), file.size(), 0, image));
    EXPECT_TRUE(image.HasAlpha);
    ExpectCanvas(image, {"RG"});
    ASSERT_TRUE(CxImageGIF::Decode(file.data(), file.size(), 1, image));
    ExpectCanvas(image, {"RB"});
}

// The first image descriptor of a file made by WriteGif without extensions.
size_t FirstImageDescriptor(const Bytes& file) {
    const size_t global = (file[10] & 0x80) ? size_t(3) << ((file[10] & 7) + 1) : 0;
    return 13 + global;
}

TEST(GifCodec, IndicesBeyondTheColourMapAreOpaqueBlack) {
    // Written with an 8-colour local map, which is then removed so the frame falls
    // back to the 2-colour global map (red, green) while its data keeps indices 0..7.
    GifFrame f = Frame(0, 0, {"RGBWYKCM"});
    f.localMap = GlobalMap();
    Bytes file = WriteGif(8, 1, {GifColours.at('R'), GifColours.at('G')}, {f});
    const size_t descriptor = FirstImageDescriptor(file);
    ASSERT_EQ(file[descriptor], 0x2C);
    const uint8_t packed = file[descriptor + 9];
    ASSERT_TRUE(packed & 0x80);
    const size_t localSize = size_t(3) << ((packed & 7) + 1);
    file[descriptor + 9] = uint8_t(packed & ~0x87);
    file.erase(file.begin() + ptrdiff_t(descriptor + 10), file.begin() + ptrdiff_t(descriptor + 10 + localSize));
    CxImage image;
    ASSERT_TRUE(CxImageGIF::Decode(file.data(), file.size(), 0, image)) << image.Error.toStdString();
    ExpectCanvas(image, {"RGKKKKKK"});
}

TEST(GifCodec, FrameCountIsCappedAndLaterFramesAreNotLookedAt) {
    // 100 000 one-pixel frames; frame i shows colour i % 4.
    std::vector<GifFrame> frames;
    for (int i = 0; i < 100000; ++i) frames.push_back(Frame(0, 0, {std::string(1, GlobalOrder[size_t(i % 4)])}));
    const Bytes file = WriteGif(1, 1, GlobalMap(), frames);
    CxImage image;
    // One frame past the limit is counted, so an importer can tell the animation
    // was cut; nothing further is looked at.
    ASSERT_TRUE(CxImageGIF::Decode(file.data(), file.size(), 0, image));
    EXPECT_EQ(image.FrameCount, CxImage::MaxFrames + 1);
    const int last = CxImage::MaxFrames - 1;
    ASSERT_TRUE(CxImageGIF::Decode(file.data(), file.size(), last, image));
    EXPECT_EQ(image.FrameCount, CxImage::MaxFrames + 1);
    ExpectCanvas(image, {std::string(1, GlobalOrder[size_t(last % 4)])});
    CxImage beyond;
    EXPECT_FALSE(CxImageGIF::Decode(file.data(), file.size(), CxImage::MaxFrames, beyond));
}

TEST(GifCodec, TruncationKeepsTheFramesCompleteBeforeIt) {
    std::vector<size_t> ends;
    const Bytes file = WriteGif(6, 4, GlobalMap(), AnimationFrames(), &ends);
    ASSERT_EQ(ends.size(), 4u);
    for (size_t length = 0; length < file.size(); ++length) {
        const Bytes prefix(file.begin(), file.begin() + ptrdiff_t(length));
        const int complete = int(std::count_if(ends.begin(), ends.end(), [&](size_t end) { return end <= length; }));
        for (int frame = 0; frame < 4; ++frame) {
            SCOPED_TRACE(testing::Message() << "prefix of " << length << " bytes, frame " << frame);
            CxImage image;
            const bool ok = CxImageGIF::Decode(prefix.data(), prefix.size(), frame, image);
            EXPECT_EQ(ok, frame < complete);
            if (ok) {
                EXPECT_EQ(image.FrameCount, complete);
                ExpectCanvas(image, AnimationCanvases[size_t(frame)]);
            } else {
                EXPECT_FALSE(image.Error.isEmpty());
            }
        }
    }
}

TEST(GifCodec, HugeScreenFailsWithoutLargeAllocations) {
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{65535, 65535}, {CxImage::MaxSide + 1, 1}, {0, 0}}) {
        SCOPED_TRACE(testing::Message() << w << " x " << h);
        const Bytes file = WriteGif(w, h, GlobalMap(), {Frame(0, 0, {"RG"})});
        CxImage image;
        bool ok = true;
        const size_t largest =
            LargestAllocationDuring([&] { ok = CxImageGIF::Decode(file.data(), file.size(), 0, image); });
        EXPECT_FALSE(ok);
        EXPECT_FALSE(image.Error.isEmpty());
        EXPECT_LT(largest, SmallAllocation);
    }
}

TEST(GifCodec, HugeFrameFailsWithoutLargeAllocations) {
    Bytes file = WriteGif(4, 4, GlobalMap(), {Frame(0, 0, {"RG"})});
    const size_t descriptor = FirstImageDescriptor(file);
    ASSERT_EQ(file[descriptor], 0x2C);
    for (int i : {5, 6, 7, 8}) file[descriptor + size_t(i)] = 0xFF; // width and height 65535
    CxImage image;
    bool ok = true;
    const size_t largest =
        LargestAllocationDuring([&] { ok = CxImageGIF::Decode(file.data(), file.size(), 0, image); });
    EXPECT_FALSE(ok);
    EXPECT_FALSE(image.Error.isEmpty());
    EXPECT_LT(largest, SmallAllocation);
}

// A one-frame 4 x 1 GIF whose image data is the given raw LZW sub-blocks.
Bytes GifWithImageData(const Bytes& data) {
    Bytes file = WriteGif(4, 1, GlobalMap(), {Frame(0, 0, {"RGBW"})});
    const size_t start = FirstImageDescriptor(file) + 10; // the minimum code size byte
    Bytes out(file.begin(), file.begin() + ptrdiff_t(start));
    out.insert(out.end(), data.begin(), data.end());
    out.push_back(0x3B);
    return out;
}

TEST(GifCodec, BrokenImageDataFails) {
    // Code size 3: clear = 8, end = 9, first free code 10, codes 4 bits wide.
    const std::vector<std::pair<const char*, Bytes>> cases = {
        // Clear, then code 13, which is not defined yet.
        {"undefined code", {0x03, 0x02, 0xD8, 0x00, 0x00}},
        // Clear, red, then the end code before four pixels.
        {"ends early", {0x03, 0x02, 0x08, 0x09, 0x00}},
        // The sub-blocks stop after the first code.
        {"no terminator", {0x03, 0x01, 0x08}},
        // A minimum code size beyond what GIF allows.
        {"code size 12", {0x0C, 0x02, 0x00, 0x01, 0x00}},
    };
    for (const auto& [name, data] : cases) {
        const Bytes file = GifWithImageData(data);
        CxImage image;
        EXPECT_FALSE(CxImageGIF::Decode(file.data(), file.size(), 0, image)) << name;
        EXPECT_FALSE(image.Error.isEmpty()) << name;
    }
    // The same layout with valid data decodes, so the cases above fail for their data.
    // Clear, 0, 1, 2, 3, end: 4-bit codes packed low bits first.
    const Bytes good = GifWithImageData({0x03, 0x03, 0x08, 0x21, 0x93, 0x00});
    CxImage image;
    ASSERT_TRUE(CxImageGIF::Decode(good.data(), good.size(), 0, image)) << image.Error.toStdString();
    ExpectCanvas(image, {"RGBW"});
}

TEST(GifCodec, NotAGifFails) {
    Bytes file = {'G', 'I', 'F', '8', '9', 'a'};
    CxImage image;
    EXPECT_FALSE(CxImageGIF::Decode(file.data(), file.size(), 0, image));
    EXPECT_FALSE(image.Error.isEmpty());
    file = {'X', 'Y', 'Z'};
    EXPECT_FALSE(CxImageGIF::Decode(file.data(), file.size(), 0, image));
}

} // namespace
