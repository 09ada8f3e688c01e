// Picture and animation import: the frame store (size, limit, merging, padding),
// image-list lines, numbered sequences, picture loading with the copy on white,
// the interactive import through the document with its questions, messages and
// progress, the automatic re-import of a linked file (also from the timeline), the
// editor's background picture, and cvtool's import, build and timeline commands.
// Every picture, list and video is made here, small, in a temporary folder.
#include "tests/TestVideo.h"
#include "app/MainDoc.h"
#include "base/Translate.h"
#include "core/FrameSet.h"
#include "playback/Import.h"
#include "playback/TextMovement.h"
#include "tests/TextRendererFixture.h"
#include "playback/Timeline.h"
#include "media/MemoryTexture.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTime>
#include <QTimeZone>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <functional>
#include <future>
#include <thread>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gif_lib.h>
#include <png.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace {

// ---------------------------------------------------------------------------------
// Pixels: 0xAARRGGBB values, pictures made from a function of (x, y).

using PixelFn = std::function<uint32_t(int x, int y)>;

PixelFn Solid(uint32_t argb) {
    return [argb](int, int) { return argb; };
}

// Opaque, different at neighbouring pixels, and different at every pixel for
// different seeds (the red byte differs by 31 × the seed difference).
uint32_t Pattern(int x, int y, int seed) {
    return 0xFF000000u | uint32_t((x * 7 + seed * 31) & 255) << 16 | uint32_t((y * 13 + seed * 17) & 255) << 8 |
           uint32_t((x * y + seed * 5) & 255);
}
PixelFn Seeded(int seed) {
    return [seed](int x, int y) { return Pattern(x, y, seed); };
}

CPicture MakePicture(int w, int h, const PixelFn& f) {
    CPicture p;
    EXPECT_TRUE(p.Resize(w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t c = f(x, y);
            uint8_t* q = p.Pixel(x, y);
            q[0] = uint8_t(c);
            q[1] = uint8_t(c >> 8);
            q[2] = uint8_t(c >> 16);
            q[3] = uint8_t(c >> 24);
        }
    return p;
}

uint32_t At(const CPicture& p, int x, int y) {
    const uint8_t* q = p.Pixel(x, y);
    return uint32_t(q[3]) << 24 | uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
}

CPicture Decoded(const CFrameBackground& frame) {
    CPicture p;
    EXPECT_TRUE(frame.Picture.Decompress(p));
    return p;
}

std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", v);
    return text;
}

// The w x h block of picture at (0, 0) equals f, pixel for pixel.
::testing::AssertionResult BlockIs(const CPicture& p, int w, int h, const PixelFn& f) {
    if (p.width < w || p.height < h)
        return ::testing::AssertionFailure() << "picture is " << p.width << " x " << p.height << ", block " << w << " x " << h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (At(p, x, y) != f(x, y))
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << Hex(At(p, x, y))
                                                     << ", expected " << Hex(f(x, y));
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult PictureIs(const CPicture& p, int w, int h, const PixelFn& f) {
    if (p.width != w || p.height != h)
        return ::testing::AssertionFailure() << "picture is " << p.width << " x " << p.height << ", expected " << w
                                             << " x " << h;
    return BlockIs(p, w, h, f);
}

// ---------------------------------------------------------------------------------
// Files.

bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

void Put16(QByteArray& b, uint32_t v) {
    b.append(char(v & 255));
    b.append(char((v >> 8) & 255));
}
void Put32(QByteArray& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 255));
}

// A 24-bit bottom-up BMP (the alpha of f is not stored).
QByteArray Bmp24(int w, int h, const PixelFn& f) {
    const int stride = (w * 3 + 3) & ~3;
    QByteArray b;
    b.append("BM");
    Put32(b, uint32_t(54 + stride * h));
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, uint32_t(w));
    Put32(b, uint32_t(h));
    Put16(b, 1);
    Put16(b, 24);
    Put32(b, 0);
    Put32(b, uint32_t(stride * h));
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, 0);
    Put32(b, 0);
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < w; ++x) {
            const uint32_t c = f(x, y);
            row[x * 3] = char(c & 255);
            row[x * 3 + 1] = char((c >> 8) & 255);
            row[x * 3 + 2] = char((c >> 16) & 255);
        }
        b.append(row);
    }
    return b;
}

bool WriteBmp(const QString& path, int w, int h, const PixelFn& f) { return WriteBytes(path, Bmp24(w, h, f)); }

// A PNG through libpng's simplified writer: BGRA with alpha, else BGR.
bool WritePng(const QString& path, int w, int h, const PixelFn& f, bool alpha) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(w);
    image.height = png_uint_32(h);
    image.format = alpha ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
    const int channels = alpha ? 4 : 3;
    std::vector<uint8_t> pixels(size_t(w) * size_t(h) * size_t(channels));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t c = f(x, y);
            uint8_t* q = &pixels[(size_t(y) * size_t(w) + size_t(x)) * size_t(channels)];
            q[0] = uint8_t(c);
            q[1] = uint8_t(c >> 8);
            q[2] = uint8_t(c >> 16);
            if (alpha) q[3] = uint8_t(c >> 24);
        }
    const QByteArray name = QFile::encodeName(path);
    const bool ok = png_image_write_to_file(&image, name.constData(), 0, pixels.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

// An animated GIF of full-screen frames with a four-colour global palette.
struct GifFrameRecipe {
    std::vector<uint8_t> indices;  // top row first
    int delay = 0;                  // hundredths of a second
    int transparent = -1;
};

int GifAppend(GifFileType* gif, const GifByteType* data, int size) {
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), size);
    return size;
}

const GifColorType GifPalette[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
const uint32_t GifArgb[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};

QByteArray Gif(int w, int h, const std::vector<GifFrameRecipe>& frames) {
    QByteArray out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, GifAppend, &error);
    EXPECT_NE(gif, nullptr);
    if (!gif) return out;
    EGifSetGifVersion(gif, true);
    ColorMapObject* map = GifMakeMapObject(4, GifPalette);
    bool ok = EGifPutScreenDesc(gif, w, h, 8, 0, map) == GIF_OK;
    GifFreeMapObject(map);
    for (const GifFrameRecipe& f : frames) {
        const uint8_t block[4] = {uint8_t(f.transparent >= 0 ? 1 : 0), uint8_t(f.delay), uint8_t(f.delay >> 8),
                                  uint8_t(f.transparent >= 0 ? f.transparent : 0)};
        ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block) == GIF_OK;
        ok = ok && EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_OK;
        std::vector<GifPixelType> line(static_cast<size_t>(w));
        for (int y = 0; y < h; ++y) {
            std::copy_n(f.indices.begin() + ptrdiff_t(y) * w, w, line.begin());
            ok = ok && EGifPutLine(gif, line.data(), w) == GIF_OK;
        }
    }
    ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
    EXPECT_TRUE(ok) << "giflib could not write the test file";
    return out;
}

// Three 16 x 16 frames: frame 0 colour 0 with its top-left pixel transparent
// (index 3), frame 1 colour 1, frame 2 colour 2; delays 10, 20 and 30 hundredths.
std::vector<GifFrameRecipe> ThreeGifFrames() {
    std::vector<GifFrameRecipe> frames(3);
    for (int i = 0; i < 3; ++i) {
        frames[size_t(i)].indices.assign(16 * 16, uint8_t(i));
        frames[size_t(i)].delay = 10 * (i + 1);
    }
    frames[0].indices[0] = 3;
    frames[0].transparent = 3;
    return frames;
}

// A video of solid frames, one colour (0xAARRGGBB) each.
struct SolidVideo {
    AVCodecID codec = AV_CODEC_ID_RAWVIDEO;
    AVPixelFormat pixelFormat = AV_PIX_FMT_BGR24;
    int width = 32;
    int height = 24;
    AVRational rate{25, 1};
    std::vector<uint32_t> colours;
};

bool WriteVideo(const QString& path, const SolidVideo& video) {
    VideoRecipe recipe;
    recipe.codec = video.codec;
    recipe.pixelFormat = video.pixelFormat;
    recipe.width = video.width;
    recipe.height = video.height;
    recipe.rate = video.rate;
    for (uint32_t argb : video.colours) {
        const Rgba c{uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb), uint8_t(argb >> 24)};
        recipe.frames.push_back(TestFrame{c, c});
    }
    return WriteVideo(path, recipe);
}

const uint32_t VideoColours[6] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u, 0xFF00FFFFu, 0xFFFF00FFu};

std::vector<uint32_t> DistinctColours(int count) {
    std::vector<uint32_t> colours;
    for (int i = 0; i < count; ++i) colours.push_back(VideoColours[i % 6]);
    return colours;
}

// Sets the last-write time to msSinceEpoch plus extraNanos nanoseconds.
bool SetModified(const QString& path, qint64 msSinceEpoch, long extraNanos = 0) {
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = time_t(msSinceEpoch / 1000);
    times[1].tv_nsec = long(msSinceEpoch % 1000) * 1000000L + extraNanos;
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

// Sunday, 14 March 2021, 15:09:26.535 UTC.
qint64 PiDay() { return QDateTime(QDate(2021, 3, 14), QTime(15, 9, 26, 535), QTimeZone::utc()).toMSecsSinceEpoch(); }

// Message texts as the operator reads them.
QString OpenFailed(const QString& path) { return QStringLiteral("Error: File open failed!\n\n") + path; }
QString InvalidFormat(const QString& path) { return QStringLiteral("Error: Invalid file format!\n\n") + path; }
// The messages of a failed load name the reader's reason after the path.
QString OpenFailed(const QString& path, const QString& reason) { return OpenFailed(path) + QStringLiteral("\n(%1)").arg(reason); }
QString InvalidFormat(const QString& path, const QString& reason) {
    return InvalidFormat(path) + QStringLiteral("\n(%1)").arg(reason);
}
const QString CannotBeOpened = QStringLiteral("the file cannot be opened");
const QString VideoTooSmall = QStringLiteral("Error: Video dimensions are too small!");
const QString VideoTooLarge = QStringLiteral("Error: Video dimensions are too large!");
const QString VideoDecodingFailed = QStringLiteral("Error: Video file decoding failed!");
const QString ImageTooLarge = QStringLiteral("Warning: Image is too large!\n\nImage cropped.");
const QString TooManyImages = QStringLiteral("Warning: Too many images in animation sequence!\n\nSequence truncated.");
QString ImportQuestion(int count) { return QStringLiteral("Import %1 animation frames?").arg(count); }

std::vector<int> Delays(const std::vector<CFrameBackground>& frames) {
    std::vector<int> delays;
    for (const CFrameBackground& f : frames) delays.push_back(f.Delay);
    return delays;
}

// ---------------------------------------------------------------------------------
// AddFrame.

TEST(AddFrame, FirstFrameFixesTheSize) {
    ImportedFrames frames;
    const CPicture first = MakePicture(40, 30, Seeded(1));
    ASSERT_EQ(AddFrame(frames, first, 50, 1920, 1080), 1);
    EXPECT_EQ(frames.PictureWidth, 40);
    EXPECT_EQ(frames.PictureHeight, 30);
    ASSERT_EQ(frames.Frames.size(), 1u);
    EXPECT_EQ(frames.Frames[0].Delay, 50);
    EXPECT_TRUE(PictureIs(Decoded(frames.Frames[0]), 40, 30, Seeded(1)));
}

struct SizeCase {
    int w, h, maxW, maxH;
    int expectW, expectH;
};

class AddFrameSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(AddFrameSize, IsAtLeastSixteenAndAtMostTheMaximum) {
    const SizeCase c = GetParam();
    ImportedFrames frames;
    const CPicture picture = MakePicture(c.w, c.h, Seeded(3));
    ASSERT_EQ(AddFrame(frames, picture, 20, c.maxW, c.maxH), 1);
    EXPECT_EQ(frames.PictureWidth, c.expectW);
    EXPECT_EQ(frames.PictureHeight, c.expectH);
    const CPicture stored = Decoded(frames.Frames[0]);
    ASSERT_EQ(stored.width, c.expectW);
    ASSERT_EQ(stored.height, c.expectH);
    // The picture's top-left part, as far as it reaches.
    EXPECT_TRUE(BlockIs(stored, std::min(c.w, c.expectW), std::min(c.h, c.expectH), Seeded(3)));
}

INSTANTIATE_TEST_SUITE_P(Sizes, AddFrameSize,
                         ::testing::Values(SizeCase{4, 2, 1920, 1080, 16, 16}, SizeCase{1, 1, 1920, 1080, 16, 16},
                                           SizeCase{16, 16, 1920, 1080, 16, 16}, SizeCase{15, 40, 1920, 1080, 16, 40},
                                           SizeCase{3000, 20, 1920, 1080, 1920, 20},
                                           SizeCase{30, 1200, 1920, 1080, 30, 1080},
                                           SizeCase{800, 600, 720, 576, 720, 576},
                                           SizeCase{100, 10, 720, 488, 100, 16}));

TEST(AddFrame, IdenticalNeighboursBecomeOneFrameWithTheSumOfTheirDelays) {
    ImportedFrames frames;
    const CPicture a = MakePicture(24, 18, Seeded(1));
    for (int i = 0; i < 3; ++i) ASSERT_EQ(AddFrame(frames, a, 100, 1920, 1080), 1);
    ASSERT_EQ(frames.Frames.size(), 1u);
    EXPECT_EQ(frames.Frames[0].Delay, 300);
}

TEST(AddFrame, OnlyNeighboursMerge) {
    ImportedFrames frames;
    const CPicture a = MakePicture(24, 18, Seeded(1));
    const CPicture b = MakePicture(24, 18, Seeded(2));
    for (const CPicture* p : {&a, &b, &b, &a}) ASSERT_EQ(AddFrame(frames, *p, 40, 1920, 1080), 1);
    EXPECT_EQ(Delays(frames.Frames), (std::vector<int>{40, 80, 40}));
    EXPECT_TRUE(PictureIs(Decoded(frames.Frames[2]), 24, 18, Seeded(1)));
}

TEST(AddFrame, PicturesOfAnotherSizeAreNotMerged) {
    // Only a picture of exactly the picture size is compared with the last frame.
    ImportedFrames frames;
    const CPicture small = MakePicture(8, 8, Seeded(4));
    ASSERT_EQ(AddFrame(frames, small, 30, 1920, 1080), 1);
    ASSERT_EQ(AddFrame(frames, small, 30, 1920, 1080), 1);
    EXPECT_EQ(frames.PictureWidth, 16);
    EXPECT_EQ(Delays(frames.Frames), (std::vector<int>{30, 30}));
}

TEST(AddFrame, SmallerLaterFrameIsPaddedFromItsOwnPixels) {
    ImportedFrames frames;
    ASSERT_EQ(AddFrame(frames, MakePicture(32, 32, Seeded(1)), 20, 1920, 1080), 1);
    // Narrower and shorter, and narrower but taller: the picture's memory ends
    // exactly at its last pixel, so any read past a row or the last row is caught.
    const CPicture smaller = MakePicture(8, 4, Seeded(2));
    ASSERT_EQ(AddFrame(frames, smaller, 20, 1920, 1080), 1);
    const CPicture narrowTall = MakePicture(5, 64, Seeded(3));
    ASSERT_EQ(AddFrame(frames, narrowTall, 20, 1920, 1080), 1);
    ASSERT_EQ(frames.Frames.size(), 3u);
    const CPicture second = Decoded(frames.Frames[1]);
    ASSERT_EQ(second.width, 32);
    ASSERT_EQ(second.height, 32);
    EXPECT_TRUE(BlockIs(second, 8, 4, Seeded(2)));
    const CPicture third = Decoded(frames.Frames[2]);
    ASSERT_EQ(third.width, 32);
    ASSERT_EQ(third.height, 32);
    EXPECT_TRUE(BlockIs(third, 5, 32, Seeded(3)));
}

TEST(AddFrame, LargerLaterFrameIsCutToItsTopLeftPart) {
    ImportedFrames frames;
    ASSERT_EQ(AddFrame(frames, MakePicture(16, 16, Seeded(1)), 20, 1920, 1080), 1);
    ASSERT_EQ(AddFrame(frames, MakePicture(40, 30, Seeded(2)), 60, 1920, 1080), 1);
    EXPECT_EQ(frames.PictureWidth, 16);
    EXPECT_EQ(frames.PictureHeight, 16);
    ASSERT_EQ(frames.Frames.size(), 2u);
    EXPECT_EQ(frames.Frames[1].Delay, 60);
    EXPECT_TRUE(PictureIs(Decoded(frames.Frames[1]), 16, 16, Seeded(2)));
}

TEST(AddFrame, LaterFramesDoNotChangeTheSize) {
    ImportedFrames frames;
    ASSERT_EQ(AddFrame(frames, MakePicture(20, 20, Seeded(1)), 20, 1920, 1080), 1);
    ASSERT_EQ(AddFrame(frames, MakePicture(2000, 10, Seeded(2)), 20, 1920, 1080), 1);
    EXPECT_EQ(frames.PictureWidth, 20);
    EXPECT_EQ(frames.PictureHeight, 20);
}

TEST(AddFrame, ThousandFramesAtMost) {
    ImportedFrames frames;
    const CPicture a = MakePicture(16, 16, Seeded(1));
    const CPicture b = MakePicture(16, 16, Seeded(2));
    for (int i = 0; i < CFrameBackground::MaxFrames; ++i)
        ASSERT_EQ(AddFrame(frames, i % 2 ? b : a, 10, 1920, 1080), 1) << i;
    ASSERT_EQ(frames.Frames.size(), 1000u);
    // Neither a new frame nor one that equals the last is taken any more.
    EXPECT_EQ(AddFrame(frames, a, 10, 1920, 1080), 0);
    EXPECT_EQ(AddFrame(frames, b, 10, 1920, 1080), 0);
    EXPECT_EQ(frames.Frames.size(), 1000u);
    EXPECT_EQ(frames.Frames.back().Delay, 10);
}

TEST(AddFrame, FramesAreHeldRunLengthCompressed) {
    ImportedFrames frames;
    ASSERT_EQ(AddFrame(frames, MakePicture(64, 64, Solid(0xFF102030u)), 20, 1920, 1080), 1);
    EXPECT_GE(frames.Frames[0].Picture.compressedSize, 0);
    EXPECT_LT(frames.Frames[0].Picture.StoredByteCount(), size_t(64 * 64 * 4));
    EXPECT_TRUE(PictureIs(Decoded(frames.Frames[0]), 64, 64, Solid(0xFF102030u)));
}

// ---------------------------------------------------------------------------------
// Image list lines.

struct LineCase {
    const char* line;
    bool skip;
    const char* path;  // with "@" standing for the list's folder and a slash
    int delay;
};

class ImageListLine : public ::testing::TestWithParam<LineCase> {};

const QString ListFolder = QStringLiteral("/shows/lists");

TEST_P(ImageListLine, GivesPathDelayAndSkip) {
    const LineCase c = GetParam();
    const ImageListEntry entry = ParseImageListLine(QString::fromUtf8(c.line), ListFolder, 20);
    EXPECT_EQ(entry.skip, c.skip) << c.line;
    if (!c.skip) {
        EXPECT_EQ(entry.delay, c.delay) << c.line;
        QString expected = QString::fromUtf8(c.path);
        expected.replace(QLatin1String("@"), ListFolder + u'/');
        EXPECT_EQ(entry.path, expected) << c.line;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ImageListLine,
    ::testing::Values(
        LineCase{"logo.png;250", false, "@logo.png", 250}, LineCase{"logo.png;0", false, "@logo.png", 20},
        LineCase{"logo.png;abc", false, "@logo.png", 20}, LineCase{"logo.png", false, "@logo.png", 20},
        LineCase{"logo.png;", false, "@logo.png", 20}, LineCase{"logo.png;-0", false, "@logo.png", 20},
        // The path keeps its white space; a negative delay is no delay.
        LineCase{"logo.png ; -5", false, "@logo.png ", 20},
        LineCase{"  logo.png;30", false, "@  logo.png", 30},
        // A name that starts with ":" is an ordinary file name beside the list.
        LineCase{":logo.png;5", false, "@:logo.png", 5},
        // White space and a sign before the digits; the digits end at the first other character.
        LineCase{"logo.png; 42", false, "@logo.png", 42}, LineCase{"logo.png;\t+7ms", false, "@logo.png", 7},
        LineCase{"logo.png;12;34", false, "@logo.png", 12}, LineCase{"logo.png;2147483647", false, "@logo.png", 2147483647},
        // No file name or no extension: skipped.
        LineCase{"logo", true, "", 20}, LineCase{"logo;250", true, "", 250}, LineCase{"", true, "", 20},
        LineCase{"pictures/", true, "", 20}, LineCase{"shots.v2/logo", true, "", 20}, LineCase{"logo.", true, "", 20},
        // Paths with a folder are used as they are, relative ones too.
        LineCase{"sub/logo.png;100", false, "sub/logo.png", 100},
        LineCase{"/media/show/logo.png", false, "/media/show/logo.png", 20},
        LineCase{"C:\\pics\\logo.bmp;60", false, "C:\\pics\\logo.bmp", 60},
        // A ";" cuts any path, also one whose folder holds it.
        LineCase{"/media/a;b/pic001.png", true, "", 20},
        LineCase{"/media/x.y;z/pic001.png", false, "/media/x.y", 20}));

TEST(ImageListLine, DefaultDelayIsTheCallersValue) {
    EXPECT_EQ(ParseImageListLine(QStringLiteral("a.bmp"), ListFolder, 16).delay, 16);
    EXPECT_EQ(ParseImageListLine(QStringLiteral("a.bmp;0"), ListFolder, 16).delay, 16);
    EXPECT_EQ(ParseImageListLine(QStringLiteral("a.bmp;5"), ListFolder, 16).delay, 5);
}

TEST(ImageListLine, ListInTheRootFolder) {
    EXPECT_EQ(ParseImageListLine(QStringLiteral("a.bmp"), QStringLiteral("/"), 20).path, QStringLiteral("/a.bmp"));
}

TEST(ReadImageList, GivesEveryLineWithoutItsLineEnd) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("list.txt");
    ASSERT_TRUE(WriteBytes(path, QByteArray("a.bmp;100\r\nb.bmp\n\nc.bmp;7")));
    QStringList lines;
    ASSERT_TRUE(ReadImageList(path, lines));
    EXPECT_EQ(lines, (QStringList{"a.bmp;100", "b.bmp", "", "c.bmp;7"}));
    EXPECT_FALSE(ReadImageList(dir.filePath("missing.txt"), lines));
}

TEST(ReadImageList, Utf8AndEightBitNames) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("list.txt");
    ASSERT_TRUE(WriteBytes(path, QByteArray("caf\xc3\xa9.bmp\n")));
    QStringList lines;
    ASSERT_TRUE(ReadImageList(path, lines));
    EXPECT_EQ(lines, QStringList{QString::fromUtf8("caf\xc3\xa9.bmp")});
    // Not UTF-8: read in an 8-bit code page, one character per byte.
    ASSERT_TRUE(WriteBytes(path, QByteArray("caf\xe9.bmp\n")));
    ASSERT_TRUE(ReadImageList(path, lines));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0].size(), 8);
    EXPECT_TRUE(lines[0].startsWith(QLatin1String("caf")));
    EXPECT_TRUE(lines[0].endsWith(QLatin1String(".bmp")));
}

// ---------------------------------------------------------------------------------
// Numbered sequences.

class Sequence : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    void Touch(const QString& name) { ASSERT_TRUE(WriteBytes(dir.filePath(name), "x")); }
    QStringList Paths(const QStringList& names) {
        QStringList paths;
        for (const QString& name : names) paths << dir.filePath(name);
        return paths;
    }
    QTemporaryDir dir;
};

TEST_F(Sequence, StartsAtThePickedFile) {
    for (int n = 6; n <= 12; ++n) Touch(QStringLiteral("shot%1.png").arg(n, 3, 10, QLatin1Char('0')));
    EXPECT_EQ(NumberedSequence(dir.filePath("shot007.png")),
              Paths({"shot007.png", "shot008.png", "shot009.png", "shot010.png", "shot011.png", "shot012.png"}));
}

TEST_F(Sequence, DigitCountIsAMinimumWidth) {
    for (const char* name : {"frame9.png", "frame10.png", "frame11.png"}) Touch(name);
    EXPECT_EQ(NumberedSequence(dir.filePath("frame9.png")), Paths({"frame9.png", "frame10.png", "frame11.png"}));
}

TEST_F(Sequence, EndsAtTheFirstGap) {
    for (const char* name : {"a01.bmp", "a02.bmp", "a04.bmp"}) Touch(name);
    EXPECT_EQ(NumberedSequence(dir.filePath("a01.bmp")), Paths({"a01.bmp", "a02.bmp"}));
    EXPECT_EQ(NumberedSequence(dir.filePath("a04.bmp")), Paths({"a04.bmp"}));
}

TEST_F(Sequence, SameExtensionOnly) {
    for (const char* name : {"b1.png", "b2.bmp"}) Touch(name);
    EXPECT_EQ(NumberedSequence(dir.filePath("b1.png")), Paths({"b1.png"}));
}

TEST_F(Sequence, NameOfDigitsOnly) {
    for (const char* name : {"99.tga", "100.tga"}) Touch(name);
    EXPECT_EQ(NumberedSequence(dir.filePath("99.tga")), Paths({"99.tga", "100.tga"}));
}

TEST_F(Sequence, NoTrailingDigitsNoSequence) {
    for (const char* name : {"logo.png", "logo1.png", "logo2.png", "7up.png", "8up.png"}) Touch(name);
    EXPECT_TRUE(NumberedSequence(dir.filePath("logo.png")).isEmpty());
    EXPECT_TRUE(NumberedSequence(dir.filePath("7up.png")).isEmpty());
}

// ---------------------------------------------------------------------------------
// Loading pictures.

class LoadPicture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString Path(const char* name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

// Quarters: opaque red, translucent green, transparent blue, half-opaque white.
uint32_t AlphaQuarters(int x, int y) {
    static const uint32_t q[4] = {0xFFFF0000u, 0x8000FF00u, 0x000000FFu, 0x40FFFFFFu};
    return q[(y >= 4 ? 2 : 0) + (x >= 4 ? 1 : 0)];
}

TEST_F(LoadPicture, PngAlphaOnlyWhenWanted) {
    ASSERT_TRUE(WritePng(Path("alpha.png"), 8, 8, AlphaQuarters, true));
    CPicture picture;
    ASSERT_EQ(picture.LoadFromFile(Path("alpha.png"), true), 0);
    EXPECT_TRUE(PictureIs(picture, 8, 8, AlphaQuarters));
    ASSERT_EQ(picture.LoadFromFile(Path("alpha.png"), false), 0);
    EXPECT_TRUE(PictureIs(picture, 8, 8, [](int x, int y) { return AlphaQuarters(x, y) | 0xFF000000u; }));
}

TEST_F(LoadPicture, UndecodableFileGivesTwoAndMissingFileOne) {
    ASSERT_TRUE(WriteBytes(Path("notes.png"), "Not a picture at all, only a few words of text.\n"));
    CPicture picture;
    EXPECT_EQ(picture.LoadFromFile(Path("notes.png"), true), 2);
    EXPECT_TRUE(picture.IsEmpty());
    EXPECT_EQ(picture.LoadFromFile(Path("missing.bmp"), true), 1);
    // A truncated BMP: the header promises rows that are not there.
    QByteArray bmp = Bmp24(16, 16, Seeded(1));
    bmp.truncate(60);
    ASSERT_TRUE(WriteBytes(Path("cut.bmp"), bmp));
    EXPECT_EQ(picture.LoadFromFile(Path("cut.bmp"), true), 2);
}

TEST_F(LoadPicture, GifFramesCountAndDelay) {
    ASSERT_TRUE(WriteBytes(Path("anim.gif"), Gif(16, 16, ThreeGifFrames())));
    CPicture picture;
    ASSERT_EQ(picture.LoadFromFile(Path("anim.gif"), true, -1), 0);
    EXPECT_EQ(picture.frameCount, 3);
    EXPECT_EQ(picture.frameDelay, 100);
    EXPECT_EQ(At(picture, 0, 0) >> 24, 0u);  // the transparent colour
    EXPECT_EQ(At(picture, 1, 0), GifArgb[0]);
    ASSERT_EQ(picture.LoadFromFile(Path("anim.gif"), true, 2), 0);
    EXPECT_EQ(picture.frameDelay, 300);
    EXPECT_EQ(At(picture, 5, 5), GifArgb[2]);
    // Without alpha the transparent colour's pixel is opaque.
    ASSERT_EQ(picture.LoadFromFile(Path("anim.gif"), false, 0), 0);
    EXPECT_EQ(At(picture, 0, 0) >> 24, 0xFFu);
}

// The pair: the copy on black and the copy on white of one 4 x 2 picture.
// Column 0: black in both (opaque black). Column 1: black on black and white on
// white (background: transparent). Column 2: red in both (opaque red). Column 3:
// 50 % grey: 64 on black, 191 on white.
uint32_t OnBlack(int x, int) {
    static const uint32_t c[4] = {0xFF000000u, 0xFF000000u, 0xFFFF0000u, 0xFF404040u};
    return c[x];
}
uint32_t OnWhite(int x, int) {
    static const uint32_t c[4] = {0xFF000000u, 0xFFFFFFFFu, 0xFFFF0000u, 0xFFBFBFBFu};
    return c[x];
}
// Alpha = (765 + black sum − white sum) / 3; colour = black × 256 / (black − white + 256).
uint32_t Recovered(int x, int) {
    static const uint32_t c[4] = {0xFF000000u, 0x00000000u, 0xFFFF0000u, 0x807F7F7Fu};
    return c[x];
}

TEST_F(LoadPicture, CopyOnBlackFindsItsCopyOnWhite) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 4, 2, OnBlack));
    ASSERT_TRUE(WriteBmp(Path("logo_W.bmp"), 4, 2, OnWhite));
    CPicture picture;
    ASSERT_EQ(picture.LoadFromFile(Path("logo.bmp"), true), 0);
    EXPECT_TRUE(PictureIs(picture, 4, 2, Recovered));
}

TEST_F(LoadPicture, CopyOnWhiteFindsItsCopyOnBlack) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 4, 2, OnBlack));
    ASSERT_TRUE(WriteBmp(Path("logo_w.bmp"), 4, 2, OnWhite));
    CPicture picture;
    ASSERT_EQ(picture.LoadFromFile(Path("logo_w.bmp"), true), 0);
    EXPECT_TRUE(PictureIs(picture, 4, 2, Recovered));
    ASSERT_TRUE(QFile::rename(Path("logo_w.bmp"), Path("logo_W.bmp")));
    ASSERT_EQ(picture.LoadFromFile(Path("logo_W.bmp"), true), 0);
    EXPECT_TRUE(PictureIs(picture, 4, 2, Recovered));
}

TEST_F(LoadPicture, PairOnlyWithAlphaWanted) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 4, 2, OnBlack));
    ASSERT_TRUE(WriteBmp(Path("logo_W.bmp"), 4, 2, OnWhite));
    CPicture picture;
    ASSERT_EQ(picture.LoadFromFile(Path("logo.bmp"), false), 0);
    EXPECT_TRUE(PictureIs(picture, 4, 2, OnBlack));
}

TEST_F(LoadPicture, MissingOrDifferentlySizedPartnerLeavesThePictureOpaque) {
    ASSERT_TRUE(WriteBmp(Path("alone.bmp"), 4, 2, OnBlack));
    CPicture picture;
    ASSERT_EQ(picture.LoadFromFile(Path("alone.bmp"), true), 0);
    EXPECT_TRUE(PictureIs(picture, 4, 2, OnBlack));

    ASSERT_TRUE(WriteBmp(Path("odd.bmp"), 4, 2, OnBlack));
    ASSERT_TRUE(WriteBmp(Path("odd_W.bmp"), 4, 3, Solid(0xFFFFFFFFu)));
    ASSERT_EQ(picture.LoadFromFile(Path("odd.bmp"), true), 0);
    EXPECT_TRUE(PictureIs(picture, 4, 2, OnBlack));

    // A partner that cannot be decoded counts as missing.
    ASSERT_TRUE(WriteBmp(Path("broken.bmp"), 4, 2, OnBlack));
    ASSERT_TRUE(WriteBytes(Path("broken_W.bmp"), "no picture"));
    ASSERT_EQ(picture.LoadFromFile(Path("broken.bmp"), true), 0);
    EXPECT_TRUE(PictureIs(picture, 4, 2, OnBlack));
}

TEST_F(LoadPicture, PartnerHasTheSameExtensionAndFolder) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 4, 2, OnBlack));
    ASSERT_TRUE(WriteBmp(Path("logo_W.dib"), 4, 2, OnWhite));
    ASSERT_TRUE(QDir(dir.path()).mkdir("other"));
    ASSERT_TRUE(WriteBmp(dir.filePath("other/logo_W.bmp"), 4, 2, OnWhite));
    CPicture picture;
    ASSERT_EQ(picture.LoadFromFile(Path("logo.bmp"), true), 0);
    EXPECT_TRUE(PictureIs(picture, 4, 2, OnBlack));
}

TEST_F(LoadPicture, ShortNameEndingInWIsACopyOnBlack) {
    // "_W" alone is not longer than two characters: its partner is "_W_W".
    ASSERT_TRUE(WriteBmp(Path("_W.bmp"), 4, 2, OnBlack));
    ASSERT_TRUE(WriteBmp(Path("_W_W.bmp"), 4, 2, OnWhite));
    CPicture picture;
    ASSERT_EQ(picture.LoadFromFile(Path("_W.bmp"), true), 0);
    EXPECT_TRUE(PictureIs(picture, 4, 2, Recovered));
}

TEST_F(LoadPicture, PairIsForBitmapsOnly) {
    // A PNG named like a copy on black is taken as it is.
    ASSERT_TRUE(WritePng(Path("logo.png"), 4, 2, OnBlack, false));
    ASSERT_TRUE(WritePng(Path("logo_W.png"), 4, 2, OnWhite, false));
    CPicture picture;
    ASSERT_EQ(picture.LoadFromFile(Path("logo.png"), true), 0);
    EXPECT_TRUE(PictureIs(picture, 4, 2, OnBlack));
}

// ---------------------------------------------------------------------------------
// The interactive import through the document.

class RecordingPresenter : public IMessagePresenter {
public:
    struct Message {
        QString text;
        unsigned flags;
        int liveObjects;  // objects on the page when the box appeared
    };
    RecordingPresenter() { previous_ = CTranslate::Global().SetPresenter(this); }
    ~RecordingPresenter() override { CTranslate::Global().SetPresenter(previous_); }
    int Show(const QString& text, unsigned flags) override {
        messages.push_back({text, flags, page ? page->LiveCount() : -1});
        const unsigned buttons = flags & 0x0F;
        return buttons == MbYesNo || buttons == MbYesNoCancel ? answer : IdOk;
    }
    QStringList Texts() const {
        QStringList texts;
        for (const Message& m : messages) texts << m.text;
        return texts;
    }

    int answer = IdYes;
    CFrameSet* page = nullptr;
    std::vector<Message> messages;

private:
    IMessagePresenter* previous_ = nullptr;
};

class ImportHost : public IDocumentHost {
public:
    void UpdateViews(int) override {}
    QString ChooseImportFile(const QString& filter) override {
        filters << filter;
        return chosen;
    }
    void ProgressOpen(int range) override {
        ranges.push_back(range);
        ++opened;
    }
    void ProgressSet(int position) override { positions.push_back(position); }
    bool ProgressCancelled() override {
        ++asked;
        return cancelAfter >= 0 && asked > cancelAfter;
    }
    void ProgressClose() override { ++closed; }

    QString chosen;
    QStringList filters;
    int cancelAfter = -1;  // answers "cancelled" from this many questions on
    int asked = 0;
    int opened = 0;
    int closed = 0;
    std::vector<int> ranges;
    std::vector<int> positions;
};

class InteractiveImport : public ::testing::Test {
protected:
    void SetUp() override {
        av_log_set_level(AV_LOG_QUIET);
        ASSERT_TRUE(dir.isValid());
        UseMode(0);
    }
    void UseMode(int mode) {
        doc = std::make_unique<CMainDoc>(host, mode);
        presenter.page = &doc->Page;
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    CFrame* Import(const QString& name) { return doc->ImportPictureObject(Path(name)); }
    std::vector<CFrame*> Objects() {
        CPageSnapshot snapshot(doc->Page);
        return snapshot.list;
    }
    // The only object on the page, checked to be the one the import returned.
    void ExpectOnlyObject(const CFrame* object) {
        const std::vector<CFrame*> objects = Objects();
        ASSERT_EQ(objects.size(), 1u);
        EXPECT_EQ(objects[0], object);
    }
    void ExpectNothingAdded(const CFrame* object) {
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(doc->Page.LiveCount(), 0);
        EXPECT_FALSE(doc->Modified);
    }
    // Files seq001.bmp ... of 16 x 16, each of its own pattern (seed = number).
    void WriteSequence(const QString& stem, int first, int last, int digits) {
        for (int n = first; n <= last; ++n)
            ASSERT_TRUE(WriteBmp(Path(stem + QStringLiteral("%1.bmp").arg(n, digits, 10, QLatin1Char('0'))), 16, 16,
                                 Seeded(n)));
    }

    QTemporaryDir dir;
    ImportHost host;
    RecordingPresenter presenter;
    std::unique_ptr<CMainDoc> doc;
};

TEST_F(InteractiveImport, PictureGetsTheDefaultRectangleAtItsSize) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 100, 60, Seeded(1)));
    CFrame* object = Import("logo.bmp");
    ASSERT_NE(object, nullptr);
    ExpectOnlyObject(object);
    EXPECT_EQ(object->Kind, KindPicture);
    EXPECT_EQ(object->Rect, (CRect{32, 32, 132, 92}));
    EXPECT_EQ(object->PictureWidth, 100);
    EXPECT_EQ(object->PictureHeight, 60);
    ASSERT_EQ(object->Frames.size(), 1u);
    EXPECT_EQ(object->Frames[0].Delay, 0);
    EXPECT_TRUE(PictureIs(Decoded(object->Frames[0]), 100, 60, Seeded(1)));
    EXPECT_EQ(object->ImageFileName, Path("logo.bmp"));
    EXPECT_EQ(object->BackColor, 0xFF000000u);
    EXPECT_EQ(object->MaintainLink, 0);
    EXPECT_EQ(object->ImageFileSize, 0);
    EXPECT_EQ(object->ImageFileTime, CalendarTime{});
    EXPECT_EQ(object->ShowFor, 0);  // a single frame leaves it alone
    EXPECT_EQ(object->ShowIndefinitely, 1);
    EXPECT_EQ(object->FramePeriod, 20000);
    EXPECT_EQ(doc->Selected, object);
    EXPECT_TRUE(doc->Modified);
    EXPECT_TRUE(presenter.messages.empty());
    // The addition is undoable like any other.
    doc->DoUndo();
    EXPECT_EQ(doc->Page.LiveCount(), 0);
}

TEST_F(InteractiveImport, OversizedPictureIsCroppedAndWarnedAboutAfterTheObjectWasAdded) {
    const PixelFn picture = [](int x, int y) {
        return 0xFF000000u | uint32_t((x / 8) & 255) << 16 | uint32_t((y / 8) & 255) << 8 | uint32_t(x >= 1920 || y >= 1080 ? 255 : 0);
    };
    ASSERT_TRUE(WritePng(Path("wide.png"), 2000, 1200, picture, false));
    CFrame* object = Import("wide.png");
    ASSERT_NE(object, nullptr);
    ExpectOnlyObject(object);
    EXPECT_EQ(object->Rect, (CRect{0, 0, 1920, 1080}));
    EXPECT_EQ(object->PictureWidth, 1920);
    EXPECT_EQ(object->PictureHeight, 1080);
    ASSERT_EQ(object->Frames.size(), 1u);
    const CPicture stored = Decoded(object->Frames[0]);
    ASSERT_EQ(stored.width, 1920);
    ASSERT_EQ(stored.height, 1080);
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {1919, 0}, {0, 1079}, {1919, 1079}, {960, 540}})
        EXPECT_EQ(At(stored, x, y), picture(x, y)) << x << ", " << y;
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].text, ImageTooLarge);
    EXPECT_EQ(presenter.messages[0].flags, unsigned(MbIconWarning));
    EXPECT_EQ(presenter.messages[0].liveObjects, 1);
}

struct PlacementCase {
    int mode;
    int w, h;
    CRect rect;
    bool warned;
};

class ImportPlacement : public InteractiveImport, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(ImportPlacement, RectangleLiesInsideTheOutput) {
    const PlacementCase c = GetParam();
    UseMode(c.mode);
    ASSERT_TRUE(WritePng(Path("picture.png"), c.w, c.h, Solid(0xFF336699u), false));
    CFrame* object = Import("picture.png");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Rect, c.rect);
    EXPECT_EQ(object->PictureWidth, c.rect.Width());
    EXPECT_EQ(object->PictureHeight, c.rect.Height());
    EXPECT_EQ(presenter.Texts(), c.warned ? QStringList{ImageTooLarge} : QStringList{});
}

INSTANTIATE_TEST_SUITE_P(Modes, ImportPlacement,
                         ::testing::Values(PlacementCase{0, 1900, 20, {20, 32, 1920, 52}, false},
                                           PlacementCase{0, 40, 1060, {32, 20, 72, 1080}, false},
                                           PlacementCase{0, 1888, 1048, {32, 32, 1920, 1080}, false},
                                           PlacementCase{8, 800, 600, {0, 0, 720, 576}, true},
                                           PlacementCase{5, 100, 800, {32, 0, 132, 720}, true},
                                           PlacementCase{10, 720, 20, {0, 32, 720, 52}, false},
                                           PlacementCase{0, 8, 4, {32, 32, 48, 48}, false}));

TEST_F(InteractiveImport, UndecodablePictureIsAnError) {
    ASSERT_TRUE(WriteBytes(Path("notes.png"), "These are only words."));
    ExpectNothingAdded(Import("notes.png"));
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].text, InvalidFormat(Path("notes.png"), "unknown image format"));
    EXPECT_EQ(presenter.messages[0].flags, unsigned(MbIconError));
}

TEST_F(InteractiveImport, AnimatedGifBringsEveryFrameWithItsDelay) {
    ASSERT_TRUE(WriteBytes(Path("anim.gif"), Gif(16, 16, ThreeGifFrames())));
    CFrame* object = Import("anim.gif");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(Delays(object->Frames), (std::vector<int>{100, 200, 300}));
    EXPECT_EQ(object->ShowFor, 600);
    EXPECT_EQ(object->ShowIndefinitely, 1);
    const CPicture first = Decoded(object->Frames[0]);
    EXPECT_EQ(At(first, 0, 0) >> 24, 0u);
    EXPECT_EQ(At(first, 15, 15), GifArgb[0]);
    EXPECT_EQ(At(Decoded(object->Frames[2]), 7, 7), GifArgb[2]);
    EXPECT_EQ(host.ranges, std::vector<int>{3});
    EXPECT_EQ(host.positions, (std::vector<int>{1, 2}));
    EXPECT_EQ(host.closed, 1);
    EXPECT_TRUE(presenter.messages.empty());
}

TEST_F(InteractiveImport, CancelledGifAddsNothingAndSaysNothing) {
    ASSERT_TRUE(WriteBytes(Path("anim.gif"), Gif(16, 16, ThreeGifFrames())));
    host.cancelAfter = 0;
    ExpectNothingAdded(Import("anim.gif"));
    EXPECT_TRUE(presenter.messages.empty());
    EXPECT_EQ(host.opened, host.closed);
}

TEST_F(InteractiveImport, GifOfMoreThanAThousandFramesIsTruncatedWithAWarning) {
    // 1001 frames of 16 x 16 alternating between two colours: no two neighbours merge.
    std::vector<GifFrameRecipe> frames(1001);
    for (size_t i = 0; i < frames.size(); ++i) {
        frames[i].indices.assign(16 * 16, uint8_t(i % 2));
        frames[i].delay = 2;
    }
    ASSERT_TRUE(WriteBytes(Path("long.gif"), Gif(16, 16, frames)));
    CFrame* object = Import("long.gif");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Frames.size(), 1000u);
    EXPECT_EQ(object->ShowFor, 1000 * 20);
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].text, TooManyImages);
    EXPECT_EQ(presenter.messages[0].flags, unsigned(MbIconWarning));
    EXPECT_EQ(presenter.messages[0].liveObjects, 1);
}

TEST_F(InteractiveImport, NumberedSequenceAskedAndImported) {
    WriteSequence("shot", 6, 12, 3);
    CFrame* object = Import("shot007.bmp");
    ASSERT_NE(object, nullptr);
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].text, ImportQuestion(6));
    EXPECT_EQ(presenter.messages[0].flags, unsigned(MbYesNo | MbIconQuestion));
    ASSERT_EQ(object->Frames.size(), 6u);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(object->Frames[size_t(k)].Delay, 20) << k;  // the frame period at 50 Hz
        EXPECT_TRUE(PictureIs(Decoded(object->Frames[size_t(k)]), 16, 16, Seeded(7 + k))) << k;
    }
    EXPECT_EQ(object->ShowFor, 120);
    EXPECT_EQ(object->ImageFileName, Path("shot007.bmp"));
    EXPECT_EQ(host.ranges, std::vector<int>{6});
    EXPECT_EQ(host.positions, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(host.closed, 1);
}

TEST_F(InteractiveImport, SequenceDefaultDelayFollowsTheMode) {
    UseMode(2);  // 1080i60: 16667 µs
    WriteSequence("s", 1, 3, 1);
    CFrame* object = Import("s1.bmp");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(Delays(object->Frames), (std::vector<int>{16, 16, 16}));
}

TEST_F(InteractiveImport, SequenceAfterNineGoesOnWithTen) {
    WriteSequence("take", 9, 11, 1);
    CFrame* object = Import("take9.bmp");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(presenter.Texts(), QStringList{ImportQuestion(3)});
    EXPECT_EQ(object->Frames.size(), 3u);
}

TEST_F(InteractiveImport, AnsweringNoImportsOnlyThePickedPicture) {
    WriteSequence("shot", 6, 12, 3);
    presenter.answer = IdNo;
    CFrame* object = Import("shot007.bmp");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(presenter.Texts(), QStringList{ImportQuestion(6)});
    ASSERT_EQ(object->Frames.size(), 1u);
    EXPECT_TRUE(PictureIs(Decoded(object->Frames[0]), 16, 16, Seeded(7)));
    EXPECT_EQ(object->ShowFor, 0);
}

TEST_F(InteractiveImport, NoQuestionWithoutTrailingDigitsOrASecondFile) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 16, 16, Seeded(1)));
    ASSERT_TRUE(WriteBmp(Path("logo1.bmp"), 16, 16, Seeded(2)));
    ASSERT_TRUE(WriteBmp(Path("single5.bmp"), 16, 16, Seeded(3)));
    CFrame* object = Import("logo.bmp");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Frames.size(), 1u);
    object = Import("single5.bmp");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Frames.size(), 1u);
    EXPECT_TRUE(presenter.messages.empty());
}

TEST_F(InteractiveImport, SequenceWithAFileThatCannotBeDecodedAddsNothing) {
    WriteSequence("part", 1, 4, 2);
    ASSERT_TRUE(WriteBytes(Path("part03.bmp"), "not a bitmap"));
    ExpectNothingAdded(Import("part01.bmp"));
    ASSERT_EQ(presenter.Texts().size(), 2);
    EXPECT_EQ(presenter.Texts()[0], ImportQuestion(4));
    EXPECT_TRUE(presenter.Texts()[1].startsWith(InvalidFormat(Path("part03.bmp")) + u'\n')) << presenter.Texts()[1].toStdString();
    EXPECT_EQ(presenter.messages[1].flags, unsigned(MbIconError));
}

TEST_F(InteractiveImport, SemicolonInASequenceFolderCutsThePaths) {
    // The files are read as list entries: everything from the ";" on is a delay,
    // so the paths lose their names and are skipped; nothing is imported.
    ASSERT_TRUE(QDir(dir.path()).mkdir("a;b"));
    ASSERT_TRUE(WriteBmp(Path("a;b/pic1.bmp"), 16, 16, Seeded(1)));
    ASSERT_TRUE(WriteBmp(Path("a;b/pic2.bmp"), 16, 16, Seeded(2)));
    ExpectNothingAdded(Import("a;b/pic1.bmp"));
    EXPECT_EQ(presenter.Texts(), QStringList{ImportQuestion(2)});
}

TEST_F(InteractiveImport, ImageListWithDelaysAndSkippedLines) {
    ASSERT_TRUE(WriteBmp(Path("a.bmp"), 20, 20, Seeded(1)));
    ASSERT_TRUE(WriteBmp(Path("b.bmp"), 20, 20, Seeded(2)));
    ASSERT_TRUE(WriteBmp(Path("c.bmp"), 20, 20, Seeded(3)));
    ASSERT_TRUE(WriteBytes(Path("anim.txt"), "a.bmp;100\nb.bmp\n\nremarks without extension\nc.bmp;300\n"));
    CFrame* object = Import("anim.txt");
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(presenter.messages.empty());
    EXPECT_EQ(Delays(object->Frames), (std::vector<int>{100, 20, 300}));
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(PictureIs(Decoded(object->Frames[size_t(k)]), 20, 20, Seeded(k + 1))) << k;
    EXPECT_EQ(object->ShowFor, 420);
    EXPECT_EQ(object->ShowIndefinitely, 1);
    EXPECT_EQ(object->ImageFileName, Path("anim.txt"));
    EXPECT_EQ(object->Rect, (CRect{32, 32, 52, 52}));
    EXPECT_EQ(host.ranges, std::vector<int>{5});
    EXPECT_EQ(host.positions, (std::vector<int>{1, 2, 3}));
}

TEST_F(InteractiveImport, ListEntryNamedWithALeadingColonIsFoundBesideTheList) {
    ASSERT_TRUE(WriteBmp(dir.path() + QStringLiteral("/:logo.bmp"), 20, 20, Seeded(5)));
    ASSERT_TRUE(WriteBytes(Path("colon.txt"), ":logo.bmp;50\n"));
    CFrame* object = Import("colon.txt");
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(presenter.messages.empty());
    ASSERT_EQ(object->Frames.size(), 1u);
    EXPECT_TRUE(PictureIs(Decoded(object->Frames[0]), 20, 20, Seeded(5)));
}

TEST_F(InteractiveImport, ThreeIdenticalListEntriesAreOneFrame) {
    ASSERT_TRUE(WriteBmp(Path("still.bmp"), 20, 20, Seeded(1)));
    ASSERT_TRUE(WriteBytes(Path("still.txt"), "still.bmp;100\nstill.bmp;100\nstill.bmp;100\n"));
    CFrame* object = Import("still.txt");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(Delays(object->Frames), std::vector<int>{300});
    EXPECT_EQ(object->ShowFor, 0);
}

// A list with a picture missing is not the animation asked for: the missing file
// is named as one that cannot be opened, a damaged one as invalid, and nothing is added.
TEST_F(InteractiveImport, ListEntryThatCannotBeLoadedAddsNothingAndSaysWhy) {
    ASSERT_TRUE(WriteBmp(Path("a.bmp"), 20, 20, Seeded(1)));
    ASSERT_TRUE(WriteBmp(Path("b.bmp"), 20, 20, Seeded(2)));
    ASSERT_TRUE(WriteBmp(Path("c.bmp"), 20, 20, Seeded(3)));
    ASSERT_TRUE(WriteBytes(Path("anim.txt"), "a.bmp;40\nb.bmp;40\nmissing.bmp;40\nc.bmp;40\n"));
    ExpectNothingAdded(Import("anim.txt"));
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].text, OpenFailed(Path("missing.bmp"), CannotBeOpened));
    EXPECT_EQ(presenter.messages[0].flags, unsigned(MbIconError));

    presenter.messages.clear();
    ASSERT_TRUE(WriteBytes(Path("missing.bmp"), "BM but nothing more"));
    ExpectNothingAdded(Import("anim.txt"));
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_TRUE(presenter.messages[0].text.startsWith(InvalidFormat(Path("missing.bmp")) + u'\n'))
        << presenter.messages[0].text.toStdString();
}

TEST_F(InteractiveImport, ListThatCannotBeOpenedSaysSoAndNothingElse) {
    ExpectNothingAdded(Import("absent.txt"));
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].text, OpenFailed(Path("absent.txt")));
    EXPECT_EQ(presenter.messages[0].flags, unsigned(MbIconError));
    EXPECT_EQ(host.opened, 0);
}

TEST_F(InteractiveImport, ListOfOnlySkippedLinesAddsNothing) {
    ASSERT_TRUE(WriteBytes(Path("empty.txt"), "\nno extension\nfolder/\n"));
    ExpectNothingAdded(Import("empty.txt"));
    EXPECT_TRUE(presenter.messages.empty());
    EXPECT_EQ(host.opened, host.closed);
}

TEST_F(InteractiveImport, ListExtensionIsAnyCase) {
    ASSERT_TRUE(WriteBmp(Path("a.bmp"), 20, 20, Seeded(1)));
    ASSERT_TRUE(WriteBmp(Path("b.bmp"), 20, 20, Seeded(2)));
    ASSERT_TRUE(WriteBytes(Path("ANIM.TXT"), "a.bmp;10\nb.bmp;10\n"));
    CFrame* object = Import("ANIM.TXT");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Frames.size(), 2u);
}

TEST_F(InteractiveImport, ListOfMoreThanAThousandFramesIsTruncatedWithAWarning) {
    ASSERT_TRUE(WriteBmp(Path("a.bmp"), 16, 16, Seeded(1)));
    ASSERT_TRUE(WriteBmp(Path("b.bmp"), 16, 16, Seeded(2)));
    QByteArray list;
    for (int i = 0; i < 1001; ++i) list += i % 2 ? "b.bmp;10\n" : "a.bmp;10\n";
    ASSERT_TRUE(WriteBytes(Path("long.txt"), list));
    CFrame* object = Import("long.txt");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Frames.size(), 1000u);
    EXPECT_EQ(object->ShowFor, 10000);
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].text, TooManyImages);
    EXPECT_EQ(presenter.messages[0].flags, unsigned(MbIconWarning));
    EXPECT_EQ(presenter.messages[0].liveObjects, 1);
}

TEST_F(InteractiveImport, LargeListEntryWarnsOnce) {
    ASSERT_TRUE(WriteBmp(Path("a.bmp"), 16, 16, Seeded(1)));
    ASSERT_TRUE(WritePng(Path("big.png"), 1930, 16, Seeded(2), false));
    ASSERT_TRUE(WriteBytes(Path("anim.txt"), "a.bmp\nbig.png\n"));
    CFrame* object = Import("anim.txt");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->PictureWidth, 16);
    EXPECT_EQ(object->Frames.size(), 2u);
    EXPECT_EQ(presenter.Texts(), QStringList{ImageTooLarge});
}

TEST_F(InteractiveImport, TooLargeAndTruncatedWarningsInThatOrder) {
    ASSERT_TRUE(WritePng(Path("a.png"), 1930, 16, Solid(0xFF123456u), false));
    ASSERT_TRUE(WriteBmp(Path("b.bmp"), 16, 16, Seeded(2)));
    QByteArray list;
    for (int i = 0; i < 1001; ++i) list += i % 2 ? "b.bmp\n" : "a.png\n";
    ASSERT_TRUE(WriteBytes(Path("both.txt"), list));
    CFrame* object = Import("both.txt");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Frames.size(), 1000u);
    EXPECT_EQ(presenter.Texts(), (QStringList{ImageTooLarge, TooManyImages}));
}

TEST_F(InteractiveImport, CancelledListAddsNothingAndSaysNothing) {
    ASSERT_TRUE(WriteBmp(Path("a.bmp"), 20, 20, Seeded(1)));
    ASSERT_TRUE(WriteBmp(Path("b.bmp"), 20, 20, Seeded(2)));
    ASSERT_TRUE(WriteBytes(Path("anim.txt"), "a.bmp\nb.bmp\na.bmp\n"));
    host.cancelAfter = 1;
    ExpectNothingAdded(Import("anim.txt"));
    EXPECT_TRUE(presenter.messages.empty());
    EXPECT_EQ(host.opened, 1);
    EXPECT_EQ(host.closed, 1);
}

TEST_F(InteractiveImport, VideoFramesTakeTheFrameRatesDelay) {
    SolidVideo recipe;
    recipe.colours = DistinctColours(4);
    ASSERT_TRUE(WriteVideo(Path("clip.avi"), recipe));
    CFrame* object = Import("clip.avi");
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(presenter.messages.empty());
    EXPECT_EQ(Delays(object->Frames), (std::vector<int>{40, 40, 40, 40}));
    for (int k = 0; k < 4; ++k)
        EXPECT_TRUE(PictureIs(Decoded(object->Frames[size_t(k)]), 32, 24, Solid(recipe.colours[size_t(k)]))) << k;
    EXPECT_EQ(object->ShowFor, 160);
    EXPECT_EQ(object->ShowIndefinitely, 1);
    EXPECT_EQ(object->Rect, (CRect{32, 32, 64, 56}));
    EXPECT_EQ(object->ImageFileName, Path("clip.avi"));
    EXPECT_EQ(host.ranges, std::vector<int>{1000});
    EXPECT_EQ(host.positions, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(host.closed, 1);
}

TEST_F(InteractiveImport, NtscVideoFramesAreThirtyThreeMilliseconds) {
    SolidVideo recipe;
    recipe.rate = {30000, 1001};
    recipe.colours = DistinctColours(3);
    ASSERT_TRUE(WriteVideo(Path("ntsc.AVI"), recipe));
    CFrame* object = Import("ntsc.AVI");
    ASSERT_NE(object, nullptr);
    // Starts at 0, 33.4, 66.7 ms, the end at 100.1 ms, each rounded up to a whole
    // ms: the delays add up to the clip's length instead of losing 0.37 ms a frame.
    EXPECT_EQ(Delays(object->Frames), (std::vector<int>{34, 33, 34}));
    EXPECT_EQ(object->ShowFor, 101);
}

TEST_F(InteractiveImport, StillVideoStretchesAreOneFrame) {
    SolidVideo recipe;
    recipe.colours = {VideoColours[0], VideoColours[0], VideoColours[0], VideoColours[1]};
    ASSERT_TRUE(WriteVideo(Path("still.avi"), recipe));
    CFrame* object = Import("still.avi");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(Delays(object->Frames), (std::vector<int>{120, 40}));
}

TEST_F(InteractiveImport, VideoAlphaIsKept) {
    SolidVideo recipe;
    recipe.codec = AV_CODEC_ID_PNG;
    recipe.pixelFormat = AV_PIX_FMT_RGBA;
    recipe.colours = {0x80FF0000u, 0x4000FF00u};
    ASSERT_TRUE(WriteVideo(Path("alpha.avi"), recipe));
    CFrame* object = Import("alpha.avi");
    ASSERT_NE(object, nullptr);
    ASSERT_EQ(object->Frames.size(), 2u);
    EXPECT_TRUE(PictureIs(Decoded(object->Frames[0]), 32, 24, Solid(0x80FF0000u)));
    EXPECT_TRUE(PictureIs(Decoded(object->Frames[1]), 32, 24, Solid(0x4000FF00u)));
}

QString ScaledDown(int w, int h) {
    return QStringLiteral("Warning: Video is larger than the output!\n\nVideo scaled down to %1 x %2.").arg(w).arg(h);
}

struct OversizedVideoCase {
    const char* name;
    int mode;
    int width, height;  // the clip's
    int fitWidth, fitHeight;
};

// A clip larger than the output is scaled down to fit it, its aspect kept, and the
// operator is told once the object is on the page.
TEST_F(InteractiveImport, VideoLargerThanTheModeIsScaledDownToFit) {
    const std::vector<OversizedVideoCase> cases = {
        {"720p into 576 lines", 8, 1280, 720, 720, 405},
        {"portrait 1080 x 1920 in a 1080 mode", 0, 1080, 1920, 608, 1080},
        {"taller than 488 lines", 10, 32, 490, 32, 488},
    };
    for (const OversizedVideoCase& c : cases) {
        SCOPED_TRACE(c.name);
        UseMode(c.mode);
        presenter.messages.clear();
        presenter.page = &doc->Page;
        SolidVideo recipe;
        recipe.codec = AV_CODEC_ID_PNG;
        recipe.pixelFormat = AV_PIX_FMT_RGB24;
        recipe.width = c.width;
        recipe.height = c.height;
        recipe.colours = DistinctColours(2);
        ASSERT_TRUE(WriteVideo(Path("big.avi"), recipe));
        CFrame* object = Import("big.avi");
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->PictureWidth, c.fitWidth);
        EXPECT_EQ(object->PictureHeight, c.fitHeight);
        ASSERT_EQ(object->Frames.size(), 2u);
        EXPECT_TRUE(PictureIs(Decoded(object->Frames[1]), c.fitWidth, c.fitHeight, Solid(recipe.colours[1])));
        ASSERT_EQ(presenter.messages.size(), 1u);
        EXPECT_EQ(presenter.messages[0].text, ScaledDown(c.fitWidth, c.fitHeight));
        EXPECT_EQ(presenter.messages[0].flags, unsigned(MbIconWarning));
        EXPECT_EQ(presenter.messages[0].liveObjects, 1);
    }
}

TEST_F(InteractiveImport, TinyVideoIsRejectedWithOneBox) {
    SolidVideo recipe;
    recipe.width = 8;
    recipe.height = 8;
    recipe.colours = DistinctColours(2);
    ASSERT_TRUE(WriteVideo(Path("tiny.avi"), recipe));
    ExpectNothingAdded(Import("tiny.avi"));
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].text, VideoTooSmall);
    EXPECT_EQ(presenter.messages[0].flags, unsigned(MbIconError));
}

TEST_F(InteractiveImport, NarrowVideoIsTooSmallEvenWhenTall) {
    SolidVideo recipe;
    recipe.width = 10;
    recipe.height = 64;
    recipe.colours = DistinctColours(1);
    ASSERT_TRUE(WriteVideo(Path("narrow.avi"), recipe));
    ExpectNothingAdded(Import("narrow.avi"));
    EXPECT_EQ(presenter.Texts(), QStringList{VideoTooSmall});
}

TEST_F(InteractiveImport, TextFileNamedAviGivesExactlyOneError) {
    QByteArray text;
    for (int i = 0; i < 50; ++i) text += "This is a line of plain text, not a video at all.\n";
    ASSERT_TRUE(WriteBytes(Path("notes.avi"), text));
    ExpectNothingAdded(Import("notes.avi"));
    ASSERT_EQ(presenter.messages.size(), 1u);
    // The container is not recognised: the file does not open as a video.
    // Neither a container FFmpeg knows nor a picture.
    EXPECT_EQ(presenter.messages[0].text, InvalidFormat(Path("notes.avi"), "unknown image format"));
    EXPECT_EQ(presenter.messages[0].flags, unsigned(MbIconError));
}

TEST_F(InteractiveImport, MissingVideoCannotBeOpened) {
    ExpectNothingAdded(Import("absent.avi"));
    EXPECT_EQ(presenter.Texts(), QStringList{OpenFailed(Path("absent.avi"), CannotBeOpened)});
}

TEST_F(InteractiveImport, CancelledVideoAddsNothingAndSaysNothing) {
    SolidVideo recipe;
    recipe.colours = DistinctColours(5);
    ASSERT_TRUE(WriteVideo(Path("clip.avi"), recipe));
    host.cancelAfter = 0;
    ExpectNothingAdded(Import("clip.avi"));
    EXPECT_TRUE(presenter.messages.empty());
    EXPECT_EQ(host.closed, 1);
    // Decoding stopped at the first check.
    EXPECT_EQ(host.positions, std::vector<int>{0});
}

TEST_F(InteractiveImport, VideoOfMoreThanAThousandFramesIsTruncatedWithAWarning) {
    SolidVideo recipe;
    recipe.codec = AV_CODEC_ID_PNG;
    recipe.pixelFormat = AV_PIX_FMT_RGB24;
    recipe.width = 16;
    recipe.height = 16;
    for (int i = 0; i < 1001; ++i) recipe.colours.push_back(i % 2 ? 0xFF204060u : 0xFF604020u);
    ASSERT_TRUE(WriteVideo(Path("long.avi"), recipe));
    CFrame* object = Import("long.avi");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Frames.size(), 1000u);
    EXPECT_EQ(object->ShowFor, 40000);
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].text, TooManyImages);
    EXPECT_EQ(presenter.messages[0].liveObjects, 1);
}

// ---------------------------------------------------------------------------------
// Containers, damaged videos, hostile paths.

// Each channel of the pixel within tolerance of the 0xAARRGGBB colour.
bool Near(uint32_t got, uint32_t want, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(int((got >> shift) & 0xFF) - int((want >> shift) & 0xFF)) > tolerance) return false;
    return true;
}

struct ContainerCase {
    const char* name;
    const char* file;
    const char* container;
    AVCodecID codec;
    const char* encoder;
    AVPixelFormat pixelFormat;
    int width, height;
    int profile;
    bool alpha;  // the clip's alpha (0x80) must come through
};

// Every container FFmpeg opens imports under its own name, alpha included where the
// codec carries it (QuickTime Animation, ProRes 4444, VP9 in WebM).
TEST_F(InteractiveImport, VideoInEveryContainerImports) {
    const std::vector<ContainerCase> cases = {
        {"QuickTime Animation with alpha", "anim.mov", "mov", AV_CODEC_ID_QTRLE, nullptr, AV_PIX_FMT_ARGB, 32, 24, -1, true},
        {"ProRes 4444 with alpha", "prores.mov", "mov", AV_CODEC_ID_PRORES, "prores_ks", AV_PIX_FMT_YUVA444P10LE, 32, 24, 4, true},
        {"MPEG-4 in MP4", "clip.mp4", "mp4", AV_CODEC_ID_MPEG4, nullptr, AV_PIX_FMT_YUV420P, 32, 24, -1, false},
        {"FFV1 in Matroska", "clip.mkv", "matroska", AV_CODEC_ID_FFV1, nullptr, AV_PIX_FMT_YUV444P, 32, 24, -1, false},
        {"VP9 with alpha in WebM", "alpha.webm", "webm", AV_CODEC_ID_VP9, "libvpx-vp9", AV_PIX_FMT_YUVA420P, 32, 24, -1, true},
        {"DV in MXF", "clip.mxf", "mxf", AV_CODEC_ID_DVVIDEO, nullptr, AV_PIX_FMT_YUV420P, 720, 576, -1, false},
    };
    for (const ContainerCase& c : cases) {
        SCOPED_TRACE(c.name);
        UseMode(0);
        presenter.messages.clear();
        VideoRecipe recipe;
        recipe.container = c.container;
        recipe.codec = c.codec;
        recipe.encoder = c.encoder;
        recipe.pixelFormat = c.pixelFormat;
        recipe.width = c.width;
        recipe.height = c.height;
        recipe.profile = c.profile;
        const uint8_t a = c.alpha ? 0x80 : 0xFF;
        const Rgba colours[2] = {{200, 40, 40, a}, {40, 40, 200, a}};
        for (const Rgba& colour : colours) recipe.frames.push_back(TestFrame{colour, colour});
        ASSERT_TRUE(WriteVideo(Path(c.file), recipe)) << "FFmpeg could not write the test clip";
        CFrame* object = Import(c.file);
        ASSERT_NE(object, nullptr) << presenter.Texts().join(u'|').toStdString();
        EXPECT_TRUE(presenter.messages.empty()) << presenter.Texts().join(u'|').toStdString();
        EXPECT_EQ(object->PictureWidth, c.width);
        EXPECT_EQ(object->PictureHeight, c.height);
        ASSERT_EQ(object->Frames.size(), 2u);
        for (int k = 0; k < 2; ++k) {
            const CPicture picture = Decoded(object->Frames[size_t(k)]);
            const Rgba& c0 = colours[k];
            const uint32_t want = uint32_t(c0.a) << 24 | uint32_t(c0.r) << 16 | uint32_t(c0.g) << 8 | c0.b;
            const uint32_t got = At(picture, picture.width / 2, picture.height / 2);
            EXPECT_TRUE(Near(got, want, 12)) << "frame " << k << ": " << Hex(got) << " for " << Hex(want);
        }
        doc = std::make_unique<CMainDoc>(host, 0);
    }
}

// A frame before a gap in the timestamps (variable timing, or frames the AVI
// writer dropped) is held through the gap: each frame keeps its real start.
TEST_F(InteractiveImport, VideoFramesKeepTheirRealStartTimes) {
    for (const char* container : {"avi", "matroska"}) {
        SCOPED_TRACE(container);
        UseMode(0);
        VideoRecipe recipe;
        recipe.container = container;
        recipe.codec = std::strcmp(container, "avi") == 0 ? AV_CODEC_ID_RAWVIDEO : AV_CODEC_ID_FFV1;
        recipe.pixelFormat = std::strcmp(container, "avi") == 0 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_YUV444P;
        recipe.pts = {0, 1, 2, 5, 6};
        for (uint32_t argb : DistinctColours(5)) {
            const Rgba c{uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb), 0xFF};
            recipe.frames.push_back(TestFrame{c, c});
        }
        const QString name = QStringLiteral("gaps.%1").arg(std::strcmp(container, "avi") == 0 ? "avi" : "mkv");
        ASSERT_TRUE(WriteVideo(Path(name), recipe));
        CFrame* object = Import(name);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(Delays(object->Frames), (std::vector<int>{40, 40, 120, 40, 40}));
        EXPECT_EQ(object->ShowFor, 280);
    }
}

// A 32-bit clip whose fourth byte is zero everywhere means to be opaque, as the
// image readers take such files; real alpha (VideoAlphaIsKept) stays.
TEST_F(InteractiveImport, ThirtyTwoBitVideoWithoutAnyAlphaIsOpaque) {
    SolidVideo recipe;
    recipe.pixelFormat = AV_PIX_FMT_BGRA;
    recipe.colours = {0x00FF0000u, 0x0000FF00u};
    ASSERT_TRUE(WriteVideo(Path("rgb32.avi"), recipe));
    CFrame* object = Import("rgb32.avi");
    ASSERT_NE(object, nullptr);
    ASSERT_EQ(object->Frames.size(), 2u);
    EXPECT_TRUE(PictureIs(Decoded(object->Frames[0]), 32, 24, Solid(0xFFFF0000u)));
    EXPECT_TRUE(PictureIs(Decoded(object->Frames[1]), 32, 24, Solid(0xFF00FF00u)));
}

// An MJPEG AVI of count frames, each a colour of its own, and where each frame's
// data lies in the file (offset and size of each "00dc" chunk's payload).
struct MjpegClip {
    QByteArray bytes;
    std::vector<std::pair<qsizetype, qsizetype>> chunks;
};

MjpegClip WriteMjpeg(const QString& path, int count) {
    VideoRecipe recipe;
    recipe.codec = AV_CODEC_ID_MJPEG;
    recipe.pixelFormat = AV_PIX_FMT_YUVJ420P;
    for (uint32_t argb : DistinctColours(count)) {
        const Rgba c{uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb), 0xFF};
        recipe.frames.push_back(TestFrame{c, c});
    }
    MjpegClip clip;
    EXPECT_TRUE(WriteVideo(path, recipe));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return clip;
    clip.bytes = file.readAll();
    // The index at the end names the chunks too: only those before it count.
    const qsizetype index = clip.bytes.lastIndexOf("idx1");
    const qsizetype end = index < 0 ? clip.bytes.size() : index;
    for (qsizetype at = clip.bytes.indexOf("00dc"); at >= 0 && at + 8 <= end;
         at = clip.bytes.indexOf("00dc", at + 8)) {
        const auto* p = reinterpret_cast<const uint8_t*>(clip.bytes.constData() + at + 4);
        const qsizetype size = qsizetype(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
        if (size > 0 && at + 8 + size <= clip.bytes.size()) clip.chunks.push_back({at + 8, size});
    }
    return clip;
}

// Frames overwritten with bytes no decoder takes.
QByteArray Spoiled(QByteArray bytes, const std::vector<std::pair<qsizetype, qsizetype>>& chunks) {
    for (const auto& [offset, size] : chunks)
        for (qsizetype i = 0; i < size; ++i) bytes[offset + i] = char(0x5A ^ (i & 0x0F));
    return bytes;
}

QString Damaged(const QString& path, int frames) {
    return QStringLiteral("Warning: The video file is damaged!\n\n%1\n\n%2 frames imported; the last good frame stands in "
                          "for frames that could not be read.")
        .arg(path)
        .arg(frames);
}

TEST_F(InteractiveImport, DamagedVideosSayWhatHappened) {
    const MjpegClip clip = WriteMjpeg(Path("good.avi"), 6);
    ASSERT_EQ(clip.chunks.size(), 6u);

    // Two frames in the middle that do not decode: the frame before them is held
    // over their time, and the operator is warned.
    ASSERT_TRUE(WriteBytes(Path("holes.avi"), Spoiled(clip.bytes, {clip.chunks[2], clip.chunks[3]})));
    CFrame* object = Import("holes.avi");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(Delays(object->Frames), (std::vector<int>{40, 120, 40, 40}));
    EXPECT_EQ(object->ShowFor, 240);
    EXPECT_EQ(presenter.Texts(), QStringList{Damaged(Path("holes.avi"), 4)});
    EXPECT_EQ(presenter.messages[0].flags, unsigned(MbIconWarning));

    // Cut short: what is there is imported, with the warning.
    presenter.messages.clear();
    ASSERT_TRUE(WriteBytes(Path("cut.avi"), clip.bytes.left(clip.chunks[3].first + 8)));
    object = Import("cut.avi");
    ASSERT_NE(object, nullptr);
    EXPECT_GE(object->Frames.size(), 3u);
    EXPECT_LT(object->Frames.size(), 6u);
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_TRUE(presenter.messages[0].text.startsWith(QStringLiteral("Warning: The video file is damaged!\n\n") + Path("cut.avi")))
        << presenter.messages[0].text.toStdString();

    // Nothing decodes: an error, nothing added.
    presenter.messages.clear();
    ASSERT_TRUE(WriteBytes(Path("garbage.avi"), Spoiled(clip.bytes, clip.chunks)));
    const int before = doc->Page.LiveCount();
    EXPECT_EQ(Import("garbage.avi"), nullptr);
    EXPECT_EQ(doc->Page.LiveCount(), before);
    EXPECT_EQ(presenter.Texts(), QStringList{VideoDecodingFailed});
    EXPECT_EQ(presenter.messages[0].flags, unsigned(MbIconError));

    // The whole clip says nothing.
    presenter.messages.clear();
    object = Import("good.avi");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Frames.size(), 6u);
    EXPECT_TRUE(presenter.messages.empty()) << presenter.Texts().join(u'|').toStdString();
}

struct RefusedPictureCase {
    const char* name;
    QByteArray bytes;  // empty: no file at all
    bool openFailed;   // "File open failed!" rather than "Invalid file format!"
    const char* reason;
};

QByteArray BmpHeaderOnly(uint32_t headerSize, uint16_t bits, uint32_t compression) {
    QByteArray b("BM");
    Put32(b, 14 + headerSize + 16);
    Put32(b, 0);
    Put32(b, 14 + headerSize);
    Put32(b, headerSize);
    Put32(b, 4);
    Put32(b, 4);
    Put16(b, 1);
    Put16(b, bits);
    Put32(b, compression);
    while (b.size() < qsizetype(14 + headerSize + 16)) b.append('\0');
    return b;
}

// A GIF whose screen is 10000 x 4544: beyond the limits before any pixel is read.
QByteArray HugeGif() {
    QByteArray b("GIF89a");
    Put16(b, 10000);
    Put16(b, 4544);
    b.append("\x00\x00\x00", 3);
    b.append("\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3B", 16);
    return b;
}

// Every refused picture names its cause: a file that is not there, a picture too
// large, a variant the readers do not take.
TEST_F(InteractiveImport, RefusedPicturesSayWhy) {
    const std::vector<RefusedPictureCase> cases = {
        {"missing", {}, true, "cannot be opened"},
        {"beyond the size limits", HugeGif(), false, "too large"},
        {"JPEG inside BMP", BmpHeaderOnly(40, 0, 4), false, "JPEG"},
        {"PNG inside BMP", BmpHeaderOnly(40, 0, 5), false, "PNG"},
        {"64-bit BMP", BmpHeaderOnly(40, 64, 0), false, "64"},
        {"OS/2 Huffman BMP", BmpHeaderOnly(64, 1, 3), false, "OS/2"},
    };
    for (const RefusedPictureCase& c : cases) {
        SCOPED_TRACE(c.name);
        presenter.messages.clear();
        const QString path = Path(QStringLiteral("refused.%1").arg(c.bytes.startsWith("GIF") ? "gif" : "bmp"));
        QFile::remove(path);
        if (!c.bytes.isEmpty()) {
            ASSERT_TRUE(WriteBytes(path, c.bytes));
        }
        ExpectNothingAdded(Import(QFileInfo(path).fileName()));
        ASSERT_EQ(presenter.messages.size(), 1u);
        const QString& text = presenter.messages[0].text;
        EXPECT_TRUE(text.startsWith((c.openFailed ? OpenFailed(path) : InvalidFormat(path)) + u'\n')) << text.toStdString();
        EXPECT_TRUE(text.contains(QLatin1String(c.reason))) << text.toStdString();
    }
}

// Runs work on a thread of its own and waits for it, for 30 s at most: a reader
// that blocked or read without end fails the test instead of hanging it. The bound
// is a safety net; these reads are refused at once.
bool ReturnsInTime(std::function<void()> work, const QString& fifo = QString()) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread([work = std::move(work), done] {
        work();
        done->set_value();
    }).detach();
    if (finished.wait_for(std::chrono::seconds(30)) == std::future_status::ready) return true;
    // A writer ends the blocked reader's wait, so the thread does not outlive the test.
    if (!fifo.isEmpty()) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDWR | O_NONBLOCK);
        if (fd >= 0) {
            finished.wait_for(std::chrono::seconds(5));
            ::close(fd);
        }
    }
    return false;
}

// Readers take regular files only: a FIFO with no writer and /dev/zero are refused
// at once, whatever the name says the file holds and whoever reads it.
TEST_F(InteractiveImport, FifosAndDevicesAreRefusedWithoutHanging) {
    std::vector<QString> paths;
    for (const char* name : {"pipe.png", "pipe.avi", "pipe.mp4", "pipe.txt"}) {
        const QString path = Path(name);
        ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        paths.push_back(path);
    }
    paths.push_back(QStringLiteral("/dev/zero"));
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        const QString fifo = path.startsWith(QLatin1String("/dev/")) ? QString() : path;
        // The picture reader.
        auto load = std::make_shared<std::pair<int, QString>>(-1, QString());
        ASSERT_TRUE(ReturnsInTime([load, path] {
            CPicture picture;
            load->first = picture.LoadFromFile(path, true, -1, &load->second);
        }, fifo));
        EXPECT_EQ(load->first, 1);
        EXPECT_TRUE(load->second.contains(QLatin1String("not a regular file"))) << load->second.toStdString();
        // What cvtool build and a linked picture use.
        auto taken = std::make_shared<std::pair<int, QString>>(-1, QString());
        ASSERT_TRUE(ReturnsInTime([taken, path] {
            ImportedFrames frames;
            taken->first = ImportFile(frames, path, 1920, 1080, 40, {}, &taken->second);
        }, fifo));
        EXPECT_EQ(taken->first, 0);
        EXPECT_FALSE(taken->second.isEmpty());
        // The interactive import.
        presenter.messages.clear();
        ASSERT_TRUE(ReturnsInTime([this, path] { doc->ImportPictureObject(path); }, fifo));
        EXPECT_EQ(doc->Page.LiveCount(), 0);
        ASSERT_EQ(presenter.messages.size(), 1u);
        EXPECT_TRUE(presenter.messages[0].text.startsWith(OpenFailed(path))) << presenter.messages[0].text.toStdString();
        // A linked picture as Play imports it.
        auto linked = std::make_shared<bool>(true);
        ASSERT_TRUE(ReturnsInTime([linked, path] {
            CFrame frame;
            frame.Kind = KindPicture;
            frame.MaintainLink = 1;
            frame.ImageFileName = path;
            *linked = InitBackground(frame);
        }, fifo));
        EXPECT_FALSE(*linked);
    }
}

TEST_F(InteractiveImport, CommandAsksTheHostForAFileWithTheFilter) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 20, 20, Seeded(1)));
    host.chosen = Path("logo.bmp");
    CFrame* object = doc->AddPictureObject();
    ASSERT_NE(object, nullptr);
    ExpectOnlyObject(object);
    EXPECT_EQ(host.filters,
              QStringList{"Pictures, animations, image lists (" + ImportPatterns() + ")|" + ImportPatterns() + "||"});
    for (const char* pattern : {"*.avi", "*.mov", "*.mp4", "*.mkv", "*.webm", "*.mxf", "*.jpeg", "*.png", "*.txt"})
        EXPECT_TRUE(ImportPatterns().split(u';').contains(QLatin1String(pattern))) << pattern;
    host.chosen.clear();
    EXPECT_EQ(doc->AddPictureObject(), nullptr);
    EXPECT_EQ(doc->Page.LiveCount(), 1);
    EXPECT_TRUE(presenter.messages.empty());
}

TEST_F(InteractiveImport, CommandOnAFullPageAsksForNoFile) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 20, 20, Seeded(1)));
    for (int i = 0; i < CFrameSet::MaxObjects; ++i) doc->AddSimpleObject();
    ASSERT_EQ(doc->Page.LiveCount(), CFrameSet::MaxObjects);
    presenter.messages.clear();
    host.chosen = Path("logo.bmp");
    EXPECT_EQ(doc->AddPictureObject(), nullptr);
    EXPECT_TRUE(host.filters.isEmpty());
    EXPECT_EQ(presenter.Texts(),
              QStringList{"Error: Too many objects!\n\nPlease delete some objects if you want to add more."});
}

// ---------------------------------------------------------------------------------
// The automatic re-import of a linked file.

class LinkedImport : public ::testing::Test {
protected:
    void SetUp() override {
        av_log_set_level(AV_LOG_QUIET);
        ASSERT_TRUE(dir.isValid());
        object.Kind = KindPicture;
        object.MaintainLink = 1;
        object.FramePeriod = 20000;
        object.Rect = {0, 0, 16, 16};
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    void Link(const QString& name) { object.ImageFileName = Path(name); }
    // Marks that show whether the next InitBackground imported.
    void Mark() {
        if (!object.Frames.empty()) object.Frames[0].Delay = 777;
        object.AnimationFrame = 5;
        TextureResult result = TextureResult::Ok;
        object.BackgroundTexture = device.CreateTexture(8, 8, result);
    }
    bool Imported() const {
        const bool sentinel = !object.Frames.empty() && object.Frames[0].Delay == 777;
        return !sentinel && object.AnimationFrame == -1 && !object.BackgroundTexture;
    }
    bool Untouched() const {
        return object.AnimationFrame == 5 && object.BackgroundTexture != nullptr &&
               (object.Frames.empty() || object.Frames[0].Delay == 777);
    }

    QTemporaryDir dir;
    CMemoryTextureDevice device;  // outlives the object's textures
    CFrame object;
};

TEST_F(LinkedImport, FirstCallImportsAndRecordsTheFilesTimeAndSize) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 20, 18, Seeded(1)));
    ASSERT_TRUE(SetModified(Path("logo.bmp"), PiDay()));
    Link("logo.bmp");
    Mark();
    EXPECT_TRUE(ImageFileChanged(object));
    EXPECT_EQ(InitBackground(object), 1);
    EXPECT_TRUE(Imported());
    ASSERT_EQ(object.Frames.size(), 1u);
    EXPECT_EQ(object.PictureWidth, 20);
    EXPECT_EQ(object.PictureHeight, 18);
    EXPECT_TRUE(PictureIs(Decoded(object.Frames[0]), 20, 18, Seeded(1)));
    EXPECT_EQ(object.ImageFileTime, (CalendarTime{2021, 3, 0, 14, 15, 9, 26, 535}));
    EXPECT_EQ(object.ImageFileSize, int(QFileInfo(Path("logo.bmp")).size()));
    EXPECT_FALSE(ImageFileChanged(object));
}

TEST_F(LinkedImport, UnchangedFileIsNotImportedAgain) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 20, 18, Seeded(1)));
    Link("logo.bmp");
    ASSERT_EQ(InitBackground(object), 1);
    Mark();
    EXPECT_EQ(InitBackground(object), 1);
    EXPECT_TRUE(Untouched());
}

TEST_F(LinkedImport, NewSizeImportsAgain) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 20, 18, Seeded(1)));
    ASSERT_TRUE(SetModified(Path("logo.bmp"), PiDay()));
    Link("logo.bmp");
    ASSERT_EQ(InitBackground(object), 1);
    Mark();
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 30, 18, Seeded(2)));
    ASSERT_TRUE(SetModified(Path("logo.bmp"), PiDay()));  // the same time
    EXPECT_TRUE(ImageFileChanged(object));
    EXPECT_EQ(InitBackground(object), 1);
    EXPECT_TRUE(Imported());
    EXPECT_EQ(object.PictureWidth, 30);
    EXPECT_TRUE(PictureIs(Decoded(object.Frames[0]), 30, 18, Seeded(2)));
}

TEST_F(LinkedImport, NewTimeToTheMillisecondImportsAgain) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 20, 18, Seeded(1)));
    ASSERT_TRUE(SetModified(Path("logo.bmp"), PiDay()));
    Link("logo.bmp");
    ASSERT_EQ(InitBackground(object), 1);
    Mark();
    // The same size, new pixels, a time one millisecond later.
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 20, 18, Seeded(2)));
    ASSERT_TRUE(SetModified(Path("logo.bmp"), PiDay() + 1));
    EXPECT_EQ(InitBackground(object), 1);
    EXPECT_TRUE(Imported());
    EXPECT_TRUE(PictureIs(Decoded(object.Frames[0]), 20, 18, Seeded(2)));
    EXPECT_EQ(object.ImageFileTime[7], 536);
}

TEST_F(LinkedImport, SameSizeAndMillisecondCountAsUnchanged) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 20, 18, Seeded(1)));
    ASSERT_TRUE(SetModified(Path("logo.bmp"), PiDay()));
    Link("logo.bmp");
    ASSERT_EQ(InitBackground(object), 1);
    Mark();
    // New pixels of the same size, written within the same millisecond.
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 20, 18, Seeded(2)));
    ASSERT_TRUE(SetModified(Path("logo.bmp"), PiDay(), 400000));
    EXPECT_FALSE(ImageFileChanged(object));
    EXPECT_EQ(InitBackground(object), 1);
    EXPECT_TRUE(Untouched());
}

TEST_F(LinkedImport, WithoutTheLinkNothingIsImported) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 20, 18, Seeded(1)));
    Link("logo.bmp");
    object.MaintainLink = 0;
    Mark();
    EXPECT_FALSE(ImageFileChanged(object));
    EXPECT_EQ(InitBackground(object), 1);
    EXPECT_TRUE(Untouched());
    EXPECT_TRUE(object.Frames.empty());
    EXPECT_EQ(object.ImageFileSize, 0);
}

TEST_F(LinkedImport, DeletedFileLeavesNoFramesAndNoStamp) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 20, 18, Seeded(1)));
    Link("logo.bmp");
    ASSERT_EQ(InitBackground(object), 1);
    ASSERT_TRUE(QFile::remove(Path("logo.bmp")));
    Mark();
    EXPECT_TRUE(ImageFileChanged(object));
    EXPECT_EQ(InitBackground(object), 0);
    EXPECT_TRUE(object.Frames.empty());
    EXPECT_EQ(object.AnimationFrame, -1);
    EXPECT_FALSE(object.BackgroundTexture);
    EXPECT_EQ(object.ImageFileTime, CalendarTime{});
    EXPECT_EQ(object.ImageFileSize, 0);
    // The size stays until a frame is added.
    EXPECT_EQ(object.PictureWidth, 20);
    EXPECT_EQ(object.PictureHeight, 18);
    // Still missing: tried again, still nothing.
    EXPECT_EQ(InitBackground(object), 0);
}

TEST_F(LinkedImport, UndecodableFileIsNotTriedAgainUntilItChanges) {
    ASSERT_TRUE(WriteBytes(Path("logo.bmp"), "no picture here"));
    Link("logo.bmp");
    EXPECT_EQ(InitBackground(object), 0);
    EXPECT_TRUE(object.Frames.empty());
    EXPECT_EQ(object.ImageFileSize, 15);
    EXPECT_NE(object.ImageFileTime, CalendarTime{});
    EXPECT_FALSE(ImageFileChanged(object));
    EXPECT_EQ(InitBackground(object), 1);  // nothing to do
    EXPECT_TRUE(object.Frames.empty());
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 20, 18, Seeded(1)));
    EXPECT_EQ(InitBackground(object), 1);
    EXPECT_EQ(object.Frames.size(), 1u);
}

TEST_F(LinkedImport, ListTakesTheObjectsFramePeriodAsDefaultDelay) {
    ASSERT_TRUE(WriteBmp(Path("a.bmp"), 16, 16, Seeded(1)));
    ASSERT_TRUE(WriteBmp(Path("b.bmp"), 16, 16, Seeded(2)));
    ASSERT_TRUE(WriteBytes(Path("anim.txt"), "a.bmp\nb.bmp;70\nnothing\n"));
    Link("anim.txt");
    object.FramePeriod = 16667;
    EXPECT_EQ(InitBackground(object), 1);
    EXPECT_EQ(Delays(object.Frames), (std::vector<int>{16, 70}));
}

TEST_F(LinkedImport, ListStopsAtTheFirstPictureThatFails) {
    ASSERT_TRUE(WriteBmp(Path("a.bmp"), 16, 16, Seeded(1)));
    ASSERT_TRUE(WriteBmp(Path("c.bmp"), 16, 16, Seeded(3)));
    ASSERT_TRUE(WriteBytes(Path("anim.txt"), "a.bmp;10\nmissing.bmp;10\nc.bmp;10\n"));
    Link("anim.txt");
    EXPECT_EQ(InitBackground(object), 1);
    EXPECT_EQ(Delays(object.Frames), std::vector<int>{10});
}

TEST_F(LinkedImport, NumberedSequenceCollapsesToItsFirstPicture) {
    for (int n = 1; n <= 3; ++n)
        ASSERT_TRUE(WriteBmp(Path(QStringLiteral("seq%1.bmp").arg(n)), 16, 16, Seeded(n)));
    Link("seq1.bmp");
    EXPECT_EQ(InitBackground(object), 1);
    ASSERT_EQ(object.Frames.size(), 1u);
    EXPECT_TRUE(PictureIs(Decoded(object.Frames[0]), 16, 16, Seeded(1)));
}

TEST_F(LinkedImport, FullHdIsTheLimitWhateverTheMode) {
    ASSERT_TRUE(WritePng(Path("wide.png"), 2000, 1100, Solid(0xFF203040u), false));
    Link("wide.png");
    object.FramePeriod = 20000;  // a 576i page: the link still takes up to 1920 x 1080
    EXPECT_EQ(InitBackground(object), 1);
    EXPECT_EQ(object.PictureWidth, 1920);
    EXPECT_EQ(object.PictureHeight, 1080);
}

TEST_F(LinkedImport, VideoAndGifBringAllTheirFrames) {
    SolidVideo recipe;
    recipe.colours = DistinctColours(3);
    ASSERT_TRUE(WriteVideo(Path("clip.avi"), recipe));
    Link("clip.avi");
    EXPECT_EQ(InitBackground(object), 1);
    EXPECT_EQ(Delays(object.Frames), (std::vector<int>{40, 40, 40}));
    EXPECT_TRUE(PictureIs(Decoded(object.Frames[1]), 32, 24, Solid(recipe.colours[1])));

    ASSERT_TRUE(WriteBytes(Path("anim.gif"), Gif(16, 16, ThreeGifFrames())));
    Link("anim.gif");
    EXPECT_EQ(InitBackground(object), 1);
    EXPECT_EQ(Delays(object.Frames), (std::vector<int>{100, 200, 300}));
    EXPECT_EQ(object.PictureWidth, 16);
}

TEST_F(LinkedImport, TooSmallVideoGivesNoFrames) {
    SolidVideo recipe;
    recipe.width = 8;
    recipe.height = 8;
    recipe.colours = DistinctColours(2);
    ASSERT_TRUE(WriteVideo(Path("tiny.avi"), recipe));
    Link("tiny.avi");
    RecordingPresenter presenter;
    EXPECT_EQ(InitBackground(object), 0);
    EXPECT_TRUE(object.Frames.empty());
    EXPECT_TRUE(presenter.messages.empty());  // silent
}

TEST_F(LinkedImport, PlayImportsThroughTheHookOnce) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 20, 18, Seeded(1)));
    Link("logo.bmp");
    ASSERT_EQ(object.Play(), 1);
    ASSERT_EQ(object.Frames.size(), 1u);
    object.Stop();
    object.Frames[0].Delay = 777;
    ASSERT_EQ(object.Play(), 1);
    EXPECT_EQ(object.Frames[0].Delay, 777);  // unchanged file: not imported again
    object.Stop();
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 24, 18, Seeded(2)));
    ASSERT_EQ(object.Play(), 1);
    EXPECT_EQ(object.PictureWidth, 24);
    object.Stop();
}

TEST_F(LinkedImport, ImportGivesWayWhenToldToStop) {
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(WriteBmp(Path(QStringLiteral("p%1.bmp").arg(k)), 16, 16, Seeded(k + 1)));
    ASSERT_TRUE(WriteBytes(Path("anim.txt"), "p0.bmp;40\np1.bmp;40\np2.bmp;40\n"));
    ASSERT_TRUE(WriteBytes(Path("anim.gif"), Gif(16, 16, ThreeGifFrames())));
    SolidVideo recipe;
    recipe.colours = DistinctColours(3);
    ASSERT_TRUE(WriteVideo(Path("clip.avi"), recipe));
    for (const char* name : {"anim.txt", "anim.gif", "clip.avi"}) {
        SCOPED_TRACE(name);
        ImportedFrames whole;
        EXPECT_EQ(ImportFile(whole, Path(name), 1920, 1080, 20, [] { return true; }), 3);
        EXPECT_EQ(whole.Frames.size(), 3u);
        ImportedFrames cut;
        int asked = 0;
        ImportFile(cut, Path(name), 1920, 1080, 20, [&asked] { return ++asked, false; });
        EXPECT_EQ(cut.Frames.size(), 1u) << "asked once, after the first frame";
        EXPECT_EQ(asked, 1);
    }
}

TEST_F(LinkedImport, TextStepImportsOnlyWhenDueAndChangedAndHandsOverOneAtATime) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 20, 18, Seeded(1)));
    Link("logo.bmp");
    ASSERT_EQ(InitBackground(object), 1);
    object.Playing = 1;  // as the text thread finds it
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 30, 18, Seeded(2)));
    EXPECT_EQ(ReimportStep(object), 0) << "no repetition asked for it";
    EXPECT_TRUE(ImageFileChanged(object));

    // Due and changed: handed over; the object's own frames are the render thread's.
    object.ImageRecheckDue = 1;
    EXPECT_EQ(ReimportStep(object), 1);
    EXPECT_EQ(object.ImageRecheckDue.load(), 0);
    EXPECT_EQ(object.FramesPending.load(), 1);
    EXPECT_EQ(object.PictureWidth, 20);
    ASSERT_EQ(object.ReimportedFrames.size(), 1u);
    EXPECT_EQ(object.ReimportedWidth, 30);
    EXPECT_TRUE(PictureIs(Decoded(object.ReimportedFrames[0]), 30, 18, Seeded(2)));
    EXPECT_FALSE(ImageFileChanged(object)) << "the stamp is the new file's";

    // Due again before the render thread took them: the check waits.
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 40, 18, Seeded(3)));
    object.ImageRecheckDue = 1;
    EXPECT_EQ(ReimportStep(object), 0);
    EXPECT_EQ(object.ImageRecheckDue.load(), 1);
    EXPECT_EQ(object.ReimportedWidth, 30);

    // Taken: the frames they replaced come back to the text side, which frees them
    // at its next step and checks the file again.
    Mark();
    EXPECT_TRUE(TakeReimportedFrames(object, false));
    EXPECT_EQ(object.FramesPending.load(), 0);
    EXPECT_EQ(object.PictureWidth, 30);
    EXPECT_EQ(object.AnimationFrame, -1);
    EXPECT_FALSE(object.BackgroundTexture);
    ASSERT_EQ(object.ReimportedFrames.size(), 1u);
    EXPECT_EQ(object.ReimportedFrames[0].Picture.width, 20);
    EXPECT_EQ(ReimportStep(object), 1);
    EXPECT_EQ(object.ReimportedWidth, 40);
    EXPECT_TRUE(TakeReimportedFrames(object, true));
    EXPECT_EQ(object.PictureWidth, 40);
    object.Playing = 0;
}

TEST_F(LinkedImport, TextStepForAnObjectThatStoppedHandsNothingOver) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 20, 18, Seeded(1)));
    Link("logo.bmp");
    object.ImageRecheckDue = 1;  // due, but the object no longer plays
    EXPECT_EQ(ReimportStep(object), 0);
    EXPECT_EQ(object.FramesPending.load(), 0);
    EXPECT_TRUE(object.ReimportedFrames.empty());
    EXPECT_TRUE(ImageFileChanged(object)) << "left for the next Play to look at";
}

// ---------------------------------------------------------------------------------
// Linked files on the timeline.

class LinkedTimeline : public LinkedImport {
protected:
    // One output frame of 20 ms as the render thread gives it; 0 when the object
    // finished or failed (it is then stopped).
    int Present() {
        InvokeRender(object, TextRenderer());
        if (!object.BeginPresent()) return 0;
        FramePresentation record;
        const int alive = PresentFrame(object, record, device, 20000);
        object.EndPresent();
        if (!alive) object.Stop();
        return alive;
    }
    std::vector<int> ShownFrames(int count) {
        std::vector<int> shown;
        for (int i = 0; i < count; ++i) {
            if (!Present()) break;
            shown.push_back(object.AnimationFrame);
        }
        return shown;
    }
    void WriteList(const QString& name, int frames, int delay, int w = 16) {
        QByteArray list;
        for (int k = 0; k < frames; ++k) {
            const QString picture = QStringLiteral("%1_%2.bmp").arg(name).arg(k);
            ASSERT_TRUE(WriteBmp(Path(picture), w, 16, Seeded(k + 1)));
            list += picture.toUtf8() + ';' + QByteArray::number(delay) + '\n';
        }
        ASSERT_TRUE(WriteBytes(Path(name + ".txt"), list));
    }
};

TEST_F(LinkedTimeline, PlayingImportsAndAnimatesTheList) {
    WriteList("anim", 3, 40);
    Link("anim.txt");
    ASSERT_EQ(object.Play(), 1);
    EXPECT_EQ(ShownFrames(8), (std::vector<int>{0, 0, 1, 1, 2, 2, 0, 0}));
    ASSERT_NE(object.BackgroundTexture, nullptr);
    EXPECT_EQ(object.BackgroundTexture->width, 16);
    object.Stop();
}

TEST_F(LinkedTimeline, ChangedFileIsImportedAtTheNextRepetition) {
    WriteList("first", 2, 40);
    WriteList("second", 3, 20, 32);
    ASSERT_TRUE(QFile::copy(Path("first.txt"), Path("link.txt")));
    ASSERT_TRUE(SetModified(Path("link.txt"), PiDay()));
    Link("link.txt");
    object.Repeat = 1;
    object.ShowIndefinitely = 0;
    object.ShowFor = 80;
    ASSERT_EQ(object.Play(), 1);
    EXPECT_EQ(ShownFrames(2), (std::vector<int>{0, 0}));
    EXPECT_EQ(object.BackgroundTexture->width, 16);
    // Replaced while the object plays: seen when the repetition starts.
    ASSERT_TRUE(QFile::remove(Path("link.txt")));
    ASSERT_TRUE(QFile::copy(Path("second.txt"), Path("link.txt")));
    ASSERT_TRUE(SetModified(Path("link.txt"), PiDay() + 1000));
    EXPECT_EQ(ShownFrames(2), (std::vector<int>{1, 1}));
    EXPECT_EQ(object.Frames.size(), 2u);
    // Clock 80: the repetition begins on the old frames (its first output frame
    // waits for the text pass, which looks at the file)...
    EXPECT_EQ(ShownFrames(1), (std::vector<int>{0}));
    EXPECT_EQ(object.Frames.size(), 2u);
    EXPECT_EQ(object.BackgroundTexture->width, 16);
    // ...and goes on with the new ones the text pass imported.
    EXPECT_EQ(ShownFrames(3), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(object.Frames.size(), 3u);
    EXPECT_EQ(object.PictureWidth, 32);
    ASSERT_NE(object.BackgroundTexture, nullptr);
    EXPECT_EQ(object.BackgroundTexture->width, 32);
    object.Stop();
}

TEST_F(LinkedTimeline, DeletedFileStopsTheObjectAtItsFirstOutputFrame) {
    WriteList("anim", 2, 40);
    Link("anim.txt");
    ASSERT_EQ(object.Play(), 1);
    EXPECT_EQ(ShownFrames(3).size(), 3u);
    object.Stop();
    ASSERT_TRUE(QFile::remove(Path("anim.txt")));
    ASSERT_EQ(object.Play(), 1);
    EXPECT_TRUE(object.Frames.empty());
    EXPECT_EQ(Present(), 0);
    EXPECT_EQ(object.BackgroundError.load(), 1);
    EXPECT_EQ(object.Playing.load(), 0);
}

TEST_F(LinkedTimeline, FileDeletedBeforeARepetitionStopsTheObjectThere) {
    WriteList("anim", 2, 40);
    Link("anim.txt");
    object.Repeat = 1;
    object.ShowIndefinitely = 0;
    object.ShowFor = 60;
    ASSERT_EQ(object.Play(), 1);
    ASSERT_TRUE(QFile::remove(Path("anim.txt")));
    // Clock 0, 20, 40 play on the frames in memory; at 60 the repetition begins on
    // them too, and its text pass finds the file gone.
    EXPECT_EQ(ShownFrames(10), (std::vector<int>{0, 0, 1, 0}));
    EXPECT_EQ(object.Playing.load(), 0);
    EXPECT_EQ(object.BackgroundError.load(), 1);
}

// ---------------------------------------------------------------------------------
// The editor's background picture.

class EditorBackground : public LinkedImport {
protected:
    void SetUp() override {
        LinkedImport::SetUp();
        object.MaintainLink = 0;
    }
    void GiveFrames(int count, int w, int h) {
        ImportedFrames frames;
        for (int k = 0; k < count; ++k) ASSERT_EQ(AddFrame(frames, MakePicture(w, h, Seeded(k)), 40, 1920, 1080), 1);
        object.Frames = std::move(frames.Frames);
        object.PictureWidth = frames.PictureWidth;
        object.PictureHeight = frames.PictureHeight;
    }
};

class MiddleFrame : public EditorBackground, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(MiddleFrame, IsShownAtObjectSize) {
    const auto [count, middle] = GetParam();
    GiveFrames(count, 24, 20);
    object.Rect = {100, 50, 124, 70};
    const CPicture& picture = GetEditorBackground(object);
    EXPECT_TRUE(PictureIs(picture, 24, 20, Seeded(middle)));
    EXPECT_EQ(object.EditorBackgroundValid, 1);
}

INSTANTIATE_TEST_SUITE_P(Counts, MiddleFrame,
                         ::testing::Values(std::pair{1, 0}, std::pair{2, 1}, std::pair{5, 2}, std::pair{6, 3},
                                           std::pair{7, 3}));

TEST_F(EditorBackground, OtherObjectSizeIsScaledByNearestNeighbour) {
    GiveFrames(3, 16, 16);
    for (const CRect& rect : {CRect{0, 0, 32, 8}, CRect{10, 10, 17, 45}}) {
        object.Rect = rect;
        object.EditorBackgroundValid = 0;
        const int w = rect.Width(), h = rect.Height();
        const CPicture& picture = GetEditorBackground(object);
        EXPECT_TRUE(PictureIs(picture, w, h, [w, h](int x, int y) { return Pattern(x * 16 / w, y * 16 / h, 1); }))
            << w << " x " << h;
    }
}

TEST_F(EditorBackground, IsKeptUntilMadeInvalid) {
    GiveFrames(1, 16, 16);
    const CPicture& first = GetEditorBackground(object);
    EXPECT_TRUE(PictureIs(first, 16, 16, Seeded(0)));
    object.Frames[0].Picture.Compress(MakePicture(16, 16, Seeded(9)));
    EXPECT_TRUE(PictureIs(GetEditorBackground(object), 16, 16, Seeded(0)));
    object.EditorBackgroundValid = 0;
    EXPECT_TRUE(PictureIs(GetEditorBackground(object), 16, 16, Seeded(9)));
}

TEST_F(EditorBackground, SimpleObjectIsItsColour) {
    object.Kind = KindSimple;
    object.BackColor = 0x80336699u;  // red 0x99, green 0x66, blue 0x33, opacity 0x80
    object.Rect = {5, 5, 25, 15};
    EXPECT_TRUE(PictureIs(GetEditorBackground(object), 20, 10, Solid(0x80996633u)));
}

TEST_F(EditorBackground, MissingLinkedFileGivesOpaqueBlackAndSetsTheError) {
    object.MaintainLink = 1;
    Link("gone.png");
    GiveFrames(3, 16, 16);
    object.Rect = {0, 0, 30, 20};
    const CPicture& picture = GetEditorBackground(object);
    EXPECT_TRUE(PictureIs(picture, 30, 20, Solid(0xFF000000u)));
    EXPECT_EQ(object.BackgroundError.load(), 1);
    EXPECT_TRUE(object.Frames.empty());
}

TEST_F(EditorBackground, LinkedFileIsImportedAndTheErrorCleared) {
    ASSERT_TRUE(WriteBmp(Path("logo.bmp"), 16, 16, Seeded(4)));
    object.MaintainLink = 1;
    Link("logo.bmp");
    object.BackgroundError = 1;
    object.Rect = {0, 0, 16, 16};
    EXPECT_TRUE(PictureIs(GetEditorBackground(object), 16, 16, Seeded(4)));
    EXPECT_EQ(object.BackgroundError.load(), 0);
    EXPECT_EQ(object.Frames.size(), 1u);
}

TEST_F(EditorBackground, PictureObjectWithoutFramesIsOpaqueBlack) {
    object.Rect = {0, 0, 12, 9};
    EXPECT_TRUE(PictureIs(GetEditorBackground(object), 12, 9, Solid(0xFF000000u)));
}

// ---------------------------------------------------------------------------------
// cvtool.

struct ToolRun {
    int exitCode = -1;
    QByteArray out, err;
};

class Cvtool : public ::testing::Test {
protected:
    void SetUp() override {
        av_log_set_level(AV_LOG_QUIET);
        ASSERT_TRUE(dir.isValid());
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    ToolRun Run(const QStringList& args) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), Path("config"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(CVTOOL_PATH), args);
        EXPECT_TRUE(process.waitForFinished(120000));
        return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    }
    // The first object of a page, as cvtool info shows it.
    QJsonObject Info(const QString& page, int mode) {
        const ToolRun info = Run({"info", page, "--mode", QString::number(mode)});
        EXPECT_EQ(info.exitCode, 0) << info.err.constData();
        const QJsonArray objects = QJsonDocument::fromJson(info.out).object().value("objects").toArray();
        EXPECT_EQ(objects.size(), 1);
        return objects.isEmpty() ? QJsonObject() : objects[0].toObject();
    }
    static std::vector<int> FrameDelays(const QJsonObject& object) {
        std::vector<int> delays;
        for (const QJsonValue& f : object.value("Frames").toArray()) delays.push_back(f.toObject().value("delay").toInt());
        return delays;
    }
    static std::vector<int> Ints(const QJsonArray& array) {
        std::vector<int> values;
        for (const QJsonValue& v : array) values.push_back(v.toInt());
        return values;
    }
    // The JSON lines of cvtool timeline.
    static std::vector<QJsonObject> Lines(const QByteArray& out) {
        std::vector<QJsonObject> lines;
        for (const QByteArray& line : out.split('\n'))
            if (!line.trimmed().isEmpty()) lines.push_back(QJsonDocument::fromJson(line).object());
        return lines;
    }
    void WriteAnimList() {
        for (int k = 0; k < 3; ++k)
            ASSERT_TRUE(WriteBmp(Path(QStringLiteral("f%1.bmp").arg(k)), 24, 16, Seeded(k)));
        ASSERT_TRUE(WriteBytes(Path("anim.txt"), "f0.bmp;40\nf1.bmp;40\nf2.bmp;40\n"));
    }

    QTemporaryDir dir;
};

TEST_F(Cvtool, ImportPicture) {
    ASSERT_TRUE(WritePng(Path("logo.png"), 100, 50, Seeded(1), true));
    const ToolRun run = Run({"import", Path("logo.png"), Path("page.corvane"), "--mode", "0"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.constData();
    const QJsonObject object = Info(Path("page.corvane"), 0);
    EXPECT_EQ(object.value("Kind").toInt(), KindPicture);
    EXPECT_EQ(Ints(object.value("Rect").toArray()), (std::vector<int>{32, 32, 132, 82}));
    EXPECT_EQ(object.value("ImageFileName").toString(), Path("logo.png"));
    EXPECT_EQ(object.value("MaintainLink").toInt(), 0);
    EXPECT_EQ(object.value("BackColor").toInteger(), 0xFF000000ll);
    const QJsonArray frames = object.value("Frames").toArray();
    ASSERT_EQ(frames.size(), 1);
    EXPECT_EQ(frames[0].toObject().value("width").toInt(), 100);
    EXPECT_EQ(frames[0].toObject().value("height").toInt(), 50);
}

TEST_F(Cvtool, ImportOversizedPicturePrintsTheWarning) {
    ASSERT_TRUE(WritePng(Path("big.png"), 800, 600, Seeded(1), false));
    const ToolRun run = Run({"import", Path("big.png"), Path("page.corvane"), "--mode", "8"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(run.err.contains("Warning: Image is too large!")) << run.err.constData();
    const QJsonObject object = Info(Path("page.corvane"), 8);
    EXPECT_EQ(Ints(object.value("Rect").toArray()), (std::vector<int>{0, 0, 720, 576}));
}

TEST_F(Cvtool, ImportAnimatedGif) {
    ASSERT_TRUE(WriteBytes(Path("anim.gif"), Gif(16, 16, ThreeGifFrames())));
    const ToolRun run = Run({"import", Path("anim.gif"), Path("page.corvane"), "--mode", "0"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QJsonObject object = Info(Path("page.corvane"), 0);
    EXPECT_EQ(FrameDelays(object), (std::vector<int>{100, 200, 300}));
    EXPECT_EQ(object.value("ShowFor").toInt(), 600);
    EXPECT_EQ(object.value("ShowIndefinitely").toInt(), 1);
}

TEST_F(Cvtool, ImportNumberedSequenceAsAnsweredByTheFlag) {
    for (int n = 1; n <= 4; ++n)
        ASSERT_TRUE(WriteBmp(Path(QStringLiteral("shot%1.bmp").arg(n, 2, 10, QLatin1Char('0'))), 16, 16, Seeded(n)));
    ToolRun run = Run({"import", Path("shot02.bmp"), Path("yes.corvane"), "--sequence", "yes", "--mode", "0"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(run.err.contains("Import 3 animation frames?")) << run.err.constData();
    QJsonObject object = Info(Path("yes.corvane"), 0);
    EXPECT_EQ(FrameDelays(object), (std::vector<int>{20, 20, 20}));
    EXPECT_EQ(object.value("ShowFor").toInt(), 60);
    EXPECT_EQ(object.value("ImageFileName").toString(), Path("shot02.bmp"));

    run = Run({"import", Path("shot02.bmp"), Path("no.corvane"), "--sequence", "no", "--mode", "0"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    object = Info(Path("no.corvane"), 0);
    EXPECT_EQ(object.value("Frames").toArray().size(), 1);

    run = Run({"import", Path("shot02.bmp"), Path("bad.corvane"), "--sequence", "maybe", "--mode", "0"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_FALSE(QFileInfo::exists(Path("bad.corvane")));
}

TEST_F(Cvtool, ImportImageList) {
    WriteAnimList();
    const ToolRun run = Run({"import", Path("anim.txt"), Path("page.corvane"), "--mode", "0"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QJsonObject object = Info(Path("page.corvane"), 0);
    EXPECT_EQ(FrameDelays(object), (std::vector<int>{40, 40, 40}));
    EXPECT_EQ(object.value("ShowFor").toInt(), 120);
    EXPECT_EQ(Ints(object.value("Rect").toArray()), (std::vector<int>{32, 32, 56, 48}));
}

TEST_F(Cvtool, ImportVideo) {
    SolidVideo recipe;
    recipe.colours = DistinctColours(5);
    ASSERT_TRUE(WriteVideo(Path("clip.avi"), recipe));
    const ToolRun run = Run({"import", Path("clip.avi"), Path("page.corvane"), "--mode", "5"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QJsonObject object = Info(Path("page.corvane"), 5);
    EXPECT_EQ(FrameDelays(object), (std::vector<int>{40, 40, 40, 40, 40}));
    EXPECT_EQ(object.value("ShowFor").toInt(), 200);
    EXPECT_EQ(Ints(object.value("Rect").toArray()), (std::vector<int>{32, 32, 64, 56}));
}

// A play-once 29.97 fps clip on a 50 Hz timeline: at every output frame the frame
// due at that time, from the first to the last, which stays until the end.
TEST_F(Cvtool, ClipAt2997OnA50HzTimelineShowsTheFrameDueAndIsNotCut) {
    VideoRecipe recipe;
    recipe.width = 16;
    recipe.height = 16;
    recipe.rate = {30000, 1001};
    for (uint32_t argb : DistinctColours(300)) {
        const Rgba c{uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb), 0xFF};
        recipe.frames.push_back(TestFrame{c, c});
    }
    ASSERT_TRUE(WriteVideo(Path("ntsc.avi"), recipe));
    const QJsonObject page{{"objects", QJsonArray{QJsonObject{{"Kind", 1},
                                                            {"Rect", QJsonArray{0, 0, 16, 16}},
                                                            {"ShowIndefinitely", 0},
                                                            {"ShowFor", 10010},
                                                            {"LoopAnimation", 0},
                                                            {"Frames", QJsonArray{QJsonObject{{"file", "ntsc.avi"}}}}}}}};
    ASSERT_TRUE(WriteBytes(Path("page.json"), QJsonDocument(page).toJson()));
    const ToolRun build = Run({"build", Path("page.json"), Path("page.corvane"), "--mode", "0"});
    ASSERT_EQ(build.exitCode, 0) << build.err.constData();
    const std::vector<int> delays = FrameDelays(Info(Path("page.corvane"), 0));
    ASSERT_EQ(delays.size(), 300u);
    int total = 0;
    for (int d : delays) total += d;
    EXPECT_EQ(total, 10010) << "the clip's length, not 300 x 33 ms";

    const ToolRun timeline = Run({"timeline", Path("page.corvane"), "--frames", "560", "--period-us", "20000", "--mode", "0"});
    ASSERT_EQ(timeline.exitCode, 0) << timeline.err.constData();
    int checked = 0, last = -1, wrong = 0;
    bool stopped = false;
    for (const QJsonObject& line : Lines(timeline.out)) {
        if (line.contains("stopped")) {
            stopped = true;
            break;
        }
        if (!line.contains("animationFrame")) continue;
        const int clock = line.value("clock").toInt();
        // Frame k starts at k x 1001 / 30 ms.
        const int due = std::min(299, int(int64_t(clock) * 30 / 1001));
        if (line.value("animationFrame").toInt() != due && ++wrong <= 5)
            ADD_FAILURE() << "at " << clock << " ms frame " << line.value("animationFrame").toInt() << ", due " << due;
        last = line.value("animationFrame").toInt();
        ++checked;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(checked, 500);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(last, 299) << "the last frame is shown before the object ends";
}

TEST_F(Cvtool, ImportSaysWhatWentWrong) {
    // Another container than AVI.
    VideoRecipe mp4;
    mp4.container = "mp4";
    mp4.codec = AV_CODEC_ID_MPEG4;
    mp4.pixelFormat = AV_PIX_FMT_YUV420P;
    mp4.frames = {TestFrame{{200, 40, 40, 255}, {200, 40, 40, 255}}, TestFrame{{40, 40, 200, 255}, {40, 40, 200, 255}}};
    ASSERT_TRUE(WriteVideo(Path("clip.mp4"), mp4));
    ToolRun run = Run({"import", Path("clip.mp4"), Path("mp4.corvane"), "--mode", "0"});
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(FrameDelays(Info(Path("mp4.corvane"), 0)), (std::vector<int>{40, 40}));

    // A video where nothing decodes, and one cut short.
    const MjpegClip clip = WriteMjpeg(Path("good.avi"), 6);
    ASSERT_EQ(clip.chunks.size(), 6u);
    const QByteArray garbage = Spoiled(clip.bytes, clip.chunks);
    ASSERT_TRUE(WriteBytes(Path("garbage.avi"), garbage));
    run = Run({"import", Path("garbage.avi"), Path("garbage.corvane"), "--mode", "0"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Error: Video file decoding failed!")) << run.err.constData();
    EXPECT_FALSE(QFileInfo::exists(Path("garbage.corvane")));

    ASSERT_TRUE(WriteBytes(Path("cut.avi"), clip.bytes.left(clip.chunks[3].first + 8)));
    run = Run({"import", Path("cut.avi"), Path("cut.corvane"), "--mode", "0"});
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(run.err.contains("Warning: The video file is damaged!")) << run.err.constData();

    // An image list with a picture missing: refused, naming the missing file.
    WriteAnimList();
    ASSERT_TRUE(WriteBytes(Path("gap.txt"), "f0.bmp;40\nnone.bmp;40\nf2.bmp;40\n"));
    run = Run({"import", Path("gap.txt"), Path("gap.corvane"), "--mode", "0"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Error: File open failed!")) << run.err.constData();
    EXPECT_TRUE(run.err.contains(Path("none.bmp").toUtf8())) << run.err.constData();
    EXPECT_FALSE(QFileInfo::exists(Path("gap.corvane")));

    // cvtool build says the same.
    const QJsonObject page{{"objects", QJsonArray{QJsonObject{{"Kind", 1}, {"Rect", QJsonArray{0, 0, 24, 16}},
                                                            {"Frames", QJsonArray{QJsonObject{{"file", "gap.txt"}}}}}}}};
    ASSERT_TRUE(WriteBytes(Path("page.json"), QJsonDocument(page).toJson()));
    run = Run({"build", Path("page.json"), Path("built.corvane"), "--mode", "0"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(Path("none.bmp").toUtf8())) << run.err.constData();
    EXPECT_TRUE(run.err.contains("cannot be opened")) << run.err.constData();
}

TEST_F(Cvtool, ImportFailuresPrintTheMessageAndWriteNothing) {
    SolidVideo recipe;
    recipe.width = 8;
    recipe.height = 8;
    recipe.colours = DistinctColours(1);
    ASSERT_TRUE(WriteVideo(Path("tiny.avi"), recipe));
    ToolRun run = Run({"import", Path("tiny.avi"), Path("page.corvane"), "--mode", "0"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Error: Video dimensions are too small!")) << run.err.constData();
    run = Run({"import", Path("absent.txt"), Path("page.corvane"), "--mode", "0"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Error: File open failed!")) << run.err.constData();
    EXPECT_FALSE(QFileInfo::exists(Path("page.corvane")));
}

TEST_F(Cvtool, BuildTakesFramesFromFiles) {
    WriteAnimList();
    ASSERT_TRUE(WriteBytes(Path("anim.gif"), Gif(16, 16, ThreeGifFrames())));
    const QJsonObject recipe{
        {"objects", QJsonArray{QJsonObject{{"Kind", 1},
                                           {"Rect", QJsonArray{0, 0, 24, 16}},
                                           {"Frames", QJsonArray{QJsonObject{{"file", "anim.txt"}},
                                                                 QJsonObject{{"file", "anim.gif"}}}}}}}};
    ASSERT_TRUE(WriteBytes(Path("page.json"), QJsonDocument(recipe).toJson()));
    const ToolRun run = Run({"build", Path("page.json"), Path("page.corvane"), "--mode", "0"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QJsonObject object = Info(Path("page.corvane"), 0);
    // The GIF's 16 x 16 frames are padded to the list's 24 x 16.
    EXPECT_EQ(FrameDelays(object), (std::vector<int>{40, 40, 40, 100, 200, 300}));
    for (const QJsonValue& f : object.value("Frames").toArray()) {
        EXPECT_EQ(f.toObject().value("width").toInt(), 24);
        EXPECT_EQ(f.toObject().value("height").toInt(), 16);
    }
}

TEST_F(Cvtool, BuildRefusesAFileWithoutFrames) {
    ASSERT_TRUE(WriteBytes(Path("empty.txt"), "nothing here\n"));
    const QJsonObject recipe{{"objects", QJsonArray{QJsonObject{{"Kind", 1}, {"Rect", QJsonArray{0, 0, 24, 16}},
                                                              {"Frames", QJsonArray{QJsonObject{{"file", "empty.txt"}}}}}}}};
    ASSERT_TRUE(WriteBytes(Path("page.json"), QJsonDocument(recipe).toJson()));
    const ToolRun run = Run({"build", Path("page.json"), Path("page.corvane"), "--mode", "0"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("gave no frames")) << run.err.constData();
}

TEST_F(Cvtool, TimelineOfALinkedListShowsItsFramesAndFollowsTheFile) {
    WriteAnimList();
    const QJsonObject recipe{{"objects", QJsonArray{QJsonObject{{"Kind", 1},
                                                              {"MaintainLink", 1},
                                                              {"ImageFileName", "anim.txt"},
                                                              {"Rect", QJsonArray{0, 0, 24, 16}}}}}};
    ASSERT_TRUE(WriteBytes(Path("page.json"), QJsonDocument(recipe).toJson()));
    ToolRun run = Run({"build", Path("page.json"), Path("page.corvane"), "--mode", "0"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    // The link is stored, the frames are not.
    const QJsonObject object = Info(Path("page.corvane"), 0);
    EXPECT_EQ(object.value("MaintainLink").toInt(), 1);
    EXPECT_EQ(object.value("ImageFileName").toString(), Path("anim.txt"));
    EXPECT_TRUE(object.value("Frames").toArray().isEmpty());

    const auto animationFrames = [&](int frames) {
        const ToolRun timeline = Run({"timeline", Path("page.corvane"), "--frames", QString::number(frames), "--mode", "0"});
        EXPECT_EQ(timeline.exitCode, 0) << timeline.err.constData();
        std::vector<int> shown;
        for (const QJsonObject& line : Lines(timeline.out))
            shown.push_back(line.contains("stopped") ? -100 : line.value("animationFrame").toInt());
        return shown;
    };
    EXPECT_EQ(animationFrames(8), (std::vector<int>{0, 0, 1, 1, 2, 2, 0, 0}));

    // Two frames now: the next play imports the file as it is.
    ASSERT_TRUE(WriteBytes(Path("anim.txt"), "f0.bmp;60\nf1.bmp;20\n"));
    EXPECT_EQ(animationFrames(6), (std::vector<int>{0, 0, 0, 1, 0, 0}));

    // Gone: the object stops at its first output frame.
    ASSERT_TRUE(QFile::remove(Path("anim.txt")));
    const ToolRun timeline = Run({"timeline", Path("page.corvane"), "--frames", "5", "--mode", "0"});
    ASSERT_EQ(timeline.exitCode, 0) << timeline.err.constData();
    const std::vector<QJsonObject> lines = Lines(timeline.out);
    ASSERT_EQ(lines.size(), 2u) << timeline.out.constData();
    EXPECT_EQ(lines[0].value("frame").toInt(), 0);
    EXPECT_EQ(lines[0].value("phase").toString(), QStringLiteral("finished"));
    EXPECT_EQ(lines[1].value("frame").toInt(), 0);
    EXPECT_TRUE(lines[1].value("stopped").toBool());
}

// cvtool's output lines read while it runs: once the pipe is full it waits for the
// reader, so the test can change a file while the tool plays, with the tool at
// most a pipe's worth of lines ahead.
class RunningTool {
public:
    RunningTool(const QString& configHome, const QStringList& args) {
        QString command = QStringLiteral("XDG_CONFIG_HOME='%1' exec '%2'").arg(configHome, QStringLiteral(CVTOOL_PATH));
        for (const QString& a : args) command += QStringLiteral(" '%1'").arg(a);
        pipe_ = popen((command + QStringLiteral(" 2>/dev/null")).toLocal8Bit().constData(), "r");
    }
    // Closing the pipe ends a tool that is still writing.
    ~RunningTool() {
        if (pipe_) pclose(pipe_);
        std::free(buffer_);
    }
    RunningTool(const RunningTool&) = delete;
    RunningTool& operator=(const RunningTool&) = delete;
    // The next line; false at the end of the output.
    bool Next(QJsonObject& line) {
        if (!pipe_ || getline(&buffer_, &size_, pipe_) < 0) return false;
        line = QJsonDocument::fromJson(QByteArray(buffer_)).object();
        return true;
    }

private:
    FILE* pipe_ = nullptr;
    char* buffer_ = nullptr;
    size_t size_ = 0;
};

TEST_F(Cvtool, TimelineAndRenderShowALinkedFileChangedWhileThePagePlays) {
    for (int k = 0; k < 3; ++k)
        ASSERT_TRUE(WriteBmp(Path(QStringLiteral("f%1.bmp").arg(k)), 24, 16, Seeded(k)));
    // The link is replaced whole (written beside it, then renamed over it), as a
    // careful producer does, so the tool never reads it half-written.
    const auto link = [&](const QByteArray& list) {
        ASSERT_TRUE(WriteBytes(Path("next.txt"), list));
        ASSERT_EQ(std::rename(QFile::encodeName(Path("next.txt")).constData(),
                              QFile::encodeName(Path("link.txt")).constData()), 0);
    };
    link("f0.bmp;40\nf1.bmp;40\n");
    const QJsonObject recipe{{"objects", QJsonArray{QJsonObject{{"Kind", 1},
                                                              {"MaintainLink", 1},
                                                              {"ImageFileName", "link.txt"},
                                                              {"Repeat", 1},
                                                              {"ShowIndefinitely", 0},
                                                              {"ShowFor", 160},
                                                              {"Rect", QJsonArray{0, 0, 24, 16}}}}}};
    ASSERT_TRUE(WriteBytes(Path("page.json"), QJsonDocument(recipe).toJson()));
    const ToolRun build = Run({"build", Path("page.json"), Path("page.corvane"), "--mode", "8"});
    ASSERT_EQ(build.exitCode, 0) << build.err.constData();

    const QStringList commands[] = {
        {"timeline", Path("page.corvane"), "--frames", "100000", "--mode", "8"},
        {"render", Path("page.corvane"), "--to-ms", "4000000", "--every", "1000000", "--trace", "--out",
         Path("frames"), "--mode", "8"},
    };
    for (const QStringList& args : commands) {
        SCOPED_TRACE(args[0].toStdString());
        link("f0.bmp;40\nf1.bmp;40\n");
        RunningTool tool(Path("config"), args);
        QJsonObject line;
        // The first repetitions: two frames.
        int lines = 0, highest = -1;
        while (lines < 40 && tool.Next(line)) {
            if (!line.contains("animationFrame")) continue;
            ++lines;
            highest = std::max(highest, line.value("animationFrame").toInt());
        }
        ASSERT_EQ(lines, 40);
        EXPECT_EQ(highest, 1);
        // Three frames from the repetition after the change on.
        link("f0.bmp;40\nf1.bmp;40\nf2.bmp;40\n");
        bool third = false;
        for (int more = 0; more < 5000 && !third && tool.Next(line); ++more) third = line.value("animationFrame").toInt() == 2;
        EXPECT_TRUE(third) << "the new frames never came on";
    }
}

}  // namespace
