// The video reader: stream information, frames as bottom-up bitmaps in order, alpha,
// frame sizes that differ from the header, and files that are not videos or are
// damaged. The videos are written by FFmpeg's libraries while the tests run.
#include "media/AviReader.h"
#include "tests/TestVideo.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace {

Rgba TopColour(int i) {
    static const Rgba colours[] = {{255, 0, 0, 255},   {0, 255, 0, 255},   {0, 0, 255, 255},
                                   {255, 255, 0, 255}, {0, 255, 255, 255}, {255, 0, 255, 255}};
    return colours[i % 6];
}

Rgba BottomColour(int i) { return Rgba{uint8_t(20 + 40 * i), 100, uint8_t(200 - 30 * i), 255}; }

std::vector<TestFrame> TwoToneFrames(int count) {
    std::vector<TestFrame> frames;
    for (int i = 0; i < count; ++i) frames.push_back({TopColour(i), BottomColour(i)});
    return frames;
}

std::vector<TestFrame> SolidFrames(int count) {
    std::vector<TestFrame> frames;
    for (int i = 0; i < count; ++i) frames.push_back({TopColour(i), TopColour(i)});
    return frames;
}


QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

int Stride(int width, int bits) { return ((width * bits + 31) / 32) * 4; }

// The pixel at column x, row y counted from the top of the picture.
const uint8_t* Pixel(const uint8_t* dib, int width, int height, int bits, int x, int y) {
    return dib + 40 + size_t(height - 1 - y) * Stride(width, bits) + size_t(x) * (bits / 8);
}

void ExpectHeader(const uint8_t* dib, int width, int height, int bits) {
    EXPECT_EQ(Le32(dib + 0), 40u);
    EXPECT_EQ(int32_t(Le32(dib + 4)), width);
    EXPECT_EQ(int32_t(Le32(dib + 8)), height);
    EXPECT_EQ(Le16(dib + 12), 1);
    EXPECT_EQ(Le16(dib + 14), bits);
    EXPECT_EQ(Le32(dib + 16), 0u);
    EXPECT_EQ(Le32(dib + 20), uint32_t(Stride(width, bits) * height));
}

// Every pixel of row y (from the top) has colour c, within tolerance; alpha is
// checked at 32 bits.
::testing::AssertionResult RowIs(const uint8_t* dib, int width, int height, int bits, int y, Rgba c,
                                 int tolerance = 0) {
    for (int x = 0; x < width; ++x) {
        const uint8_t* p = Pixel(dib, width, height, bits, x, y);
        const int diff[4] = {p[0] - c.b, p[1] - c.g, p[2] - c.r, bits == 32 ? p[3] - c.a : 0};
        for (int d : diff) {
            if (d > tolerance || d < -tolerance)
                return ::testing::AssertionFailure()
                       << "row " << y << " column " << x << ": B,G,R" << (bits == 32 ? ",A " : " ") << int(p[0])
                       << "," << int(p[1]) << "," << int(p[2]) << (bits == 32 ? "," + std::to_string(p[3]) : "")
                       << " expected " << int(c.b) << "," << int(c.g) << "," << int(c.r) << "," << int(c.a);
        }
    }
    return ::testing::AssertionSuccess();
}

// The frame shows f: every row of the top half in f.top, of the bottom half in
// f.bottom (rows next to the middle are skipped when margin > 0).
::testing::AssertionResult FrameIs(const uint8_t* dib, int width, int height, int bits, const TestFrame& f,
                                   int tolerance = 0, int margin = 0) {
    if (!dib) return ::testing::AssertionFailure() << "no frame";
    if (int32_t(Le32(dib + 4)) != width || int32_t(Le32(dib + 8)) != height || Le16(dib + 14) != bits)
        return ::testing::AssertionFailure() << "bitmap is " << int32_t(Le32(dib + 4)) << " x "
                                             << int32_t(Le32(dib + 8)) << " at " << Le16(dib + 14) << " bits";
    for (int y = 0; y < height; ++y) {
        if (y >= height / 2 - margin && y < height / 2 + margin) continue;
        auto r = RowIs(dib, width, height, bits, y, y < height / 2 ? f.top : f.bottom, tolerance);
        if (!r) return r;
    }
    return ::testing::AssertionSuccess();
}

class AviReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        av_log_set_level(AV_LOG_QUIET);
        ASSERT_TRUE(dir_.isValid());
    }
    QString PathOf(const char* name) const { return dir_.filePath(name); }
    QString Make(const char* name, const VideoRecipe& recipe) {
        const QString path = PathOf(name);
        EXPECT_TRUE(WriteVideo(path, recipe)) << name;
        return path;
    }
    QTemporaryDir dir_;
};

// Opens and prepares a reader; false at the first step that fails.
bool OpenAll(CAviReader& reader, const QString& path) {
    return reader.Open(path) && reader.ReadStreamInfo() && reader.OpenDecoder();
}

TEST_F(AviReaderTest, RawBgrAviGivesInfoAndFramesInOrder) {
    VideoRecipe recipe;
    recipe.frames = TwoToneFrames(5);
    const QString path = Make("raw.avi", recipe);

    CAviReader reader;
    ASSERT_TRUE(reader.Open(path));
    ASSERT_TRUE(reader.ReadStreamInfo());
    EXPECT_EQ(reader.Width, 32);
    EXPECT_EQ(reader.Height, 24);
    EXPECT_EQ(reader.Rate, 25u);
    EXPECT_EQ(reader.Scale, 1u);
    EXPECT_EQ(reader.Length, 5u);
    EXPECT_EQ(reader.Scale * 1000 / reader.Rate, 40u);
    ASSERT_TRUE(reader.OpenDecoder());
    EXPECT_EQ(reader.BitCount(), 24);
    for (int i = 0; i < 5; ++i) {
        const uint8_t* dib = reader.GetFrame(i);
        ASSERT_NE(dib, nullptr) << i;
        ExpectHeader(dib, 32, 24, 24);
        // The first stored row is the bottom of the picture.
        EXPECT_TRUE(RowIs(dib + 0, 32, 24, 24, 23, recipe.frames[i].bottom)) << i;
        EXPECT_EQ(dib[40 + 0], recipe.frames[i].bottom.b);
        EXPECT_EQ(dib[40 + 1], recipe.frames[i].bottom.g);
        EXPECT_EQ(dib[40 + 2], recipe.frames[i].bottom.r);
        EXPECT_TRUE(FrameIs(dib, 32, 24, 24, recipe.frames[i])) << i;
    }
    EXPECT_EQ(reader.GetFrame(5), nullptr);
    EXPECT_TRUE(reader.AtEnd());
}

TEST_F(AviReaderTest, NtscRateIsTheExactRational) {
    VideoRecipe recipe;
    recipe.rate = {30000, 1001};
    recipe.frames = TwoToneFrames(4);
    const QString path = Make("ntsc.avi", recipe);

    CAviReader reader;
    ASSERT_TRUE(OpenAll(reader, path));
    EXPECT_EQ(reader.Rate, 30000u);
    EXPECT_EQ(reader.Scale, 1001u);
    EXPECT_EQ(reader.Scale * 1000 / reader.Rate, 33u);
    EXPECT_EQ(reader.Length, 4u);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(FrameIs(reader.GetFrame(i), 32, 24, 24, recipe.frames[i])) << i;
}

TEST_F(AviReaderTest, SmallVideo) {
    VideoRecipe recipe;
    recipe.width = recipe.height = 8;
    recipe.rate = {10, 1};
    recipe.frames = TwoToneFrames(3);
    const QString path = Make("small.avi", recipe);

    CAviReader reader;
    ASSERT_TRUE(OpenAll(reader, path));
    EXPECT_EQ(reader.Width, 8);
    EXPECT_EQ(reader.Height, 8);
    EXPECT_EQ(reader.Scale * 1000 / reader.Rate, 100u);
    EXPECT_EQ(reader.Length, 3u);
    for (int i = 0; i < 3; ++i) {
        const uint8_t* dib = reader.GetFrame(i);
        ASSERT_NE(dib, nullptr);
        ExpectHeader(dib, 8, 8, 24);
        EXPECT_TRUE(FrameIs(dib, 8, 8, 24, recipe.frames[i])) << i;
    }
}

TEST_F(AviReaderTest, RowsArePaddedToFourBytes) {
    VideoRecipe recipe;
    recipe.codec = AV_CODEC_ID_PNG;
    recipe.pixelFormat = AV_PIX_FMT_RGB24;
    recipe.width = 10;  // 30 bytes of pixels, 32 bytes a row
    recipe.height = 6;
    recipe.frames = TwoToneFrames(2);
    const QString path = Make("odd.avi", recipe);

    CAviReader reader;
    ASSERT_TRUE(OpenAll(reader, path));
    EXPECT_EQ(reader.Width, 10);
    EXPECT_EQ(reader.BitCount(), 24);
    for (int i = 0; i < 2; ++i) {
        const uint8_t* dib = reader.GetFrame(i);
        ASSERT_NE(dib, nullptr);
        ExpectHeader(dib, 10, 6, 24);
        EXPECT_EQ(Le32(dib + 20), 32u * 6u);
        // The second stored row starts 32 bytes after the first: picture row 4 from
        // the top, which is in the bottom half.
        EXPECT_EQ(dib[40 + 32 + 0], recipe.frames[i].bottom.b);
        EXPECT_EQ(dib[40 + 32 + 2], recipe.frames[i].bottom.r);
        // Top half starts at stored row 3.
        EXPECT_EQ(dib[40 + 3 * 32 + 0], recipe.frames[i].top.b);
        EXPECT_EQ(dib[40 + 3 * 32 + 1], recipe.frames[i].top.g);
        EXPECT_EQ(dib[40 + 3 * 32 + 2], recipe.frames[i].top.r);
        EXPECT_TRUE(FrameIs(dib, 10, 6, 24, recipe.frames[i])) << i;
    }
}

TEST_F(AviReaderTest, MjpegFramesHaveTheirColours) {
    VideoRecipe recipe;
    recipe.codec = AV_CODEC_ID_MJPEG;
    recipe.pixelFormat = AV_PIX_FMT_YUVJ420P;
    recipe.frames = SolidFrames(5);
    const QString path = Make("mjpeg.avi", recipe);

    CAviReader reader;
    ASSERT_TRUE(OpenAll(reader, path));
    EXPECT_EQ(reader.Length, 5u);
    EXPECT_EQ(reader.BitCount(), 24);
    for (int i = 0; i < 5; ++i) {
        const uint8_t* dib = reader.GetFrame(i);
        ASSERT_NE(dib, nullptr) << i;
        ExpectHeader(dib, 32, 24, 24);
        EXPECT_TRUE(FrameIs(dib, 32, 24, 24, recipe.frames[i], 12)) << i;
    }
}

std::vector<TestFrame> TranslucentFrames(int count) {
    std::vector<TestFrame> frames;
    for (int i = 0; i < count; ++i)
        frames.push_back({Rgba{200, 100, 50, uint8_t(255 - 40 * i)}, Rgba{30, 60, 240, uint8_t(10 + 30 * i)}});
    return frames;
}

TEST_F(AviReaderTest, PngWithAlphaKeepsStraightAlpha) {
    VideoRecipe recipe;
    recipe.codec = AV_CODEC_ID_PNG;
    recipe.pixelFormat = AV_PIX_FMT_RGBA;
    recipe.frames = TranslucentFrames(4);
    const QString path = Make("alpha.avi", recipe);

    CAviReader reader;
    ASSERT_TRUE(OpenAll(reader, path));
    EXPECT_EQ(reader.BitCount(), 32);
    for (int i = 0; i < 4; ++i) {
        const uint8_t* dib = reader.GetFrame(i);
        ASSERT_NE(dib, nullptr);
        ExpectHeader(dib, 32, 24, 32);
        EXPECT_TRUE(FrameIs(dib, 32, 24, 32, recipe.frames[i])) << i;
    }
}

TEST_F(AviReaderTest, QuickTimeRleArgbInMovKeepsAlpha) {
    VideoRecipe recipe;
    recipe.container = "mov";
    recipe.codec = AV_CODEC_ID_QTRLE;
    recipe.pixelFormat = AV_PIX_FMT_ARGB;
    recipe.frames = TranslucentFrames(5);
    const QString path = Make("alpha.mov", recipe);

    CAviReader reader;
    ASSERT_TRUE(OpenAll(reader, path));
    EXPECT_EQ(reader.Width, 32);
    EXPECT_EQ(reader.Height, 24);
    EXPECT_EQ(reader.Rate, 25u);
    EXPECT_EQ(reader.Scale, 1u);
    EXPECT_EQ(reader.Length, 5u);
    EXPECT_EQ(reader.BitCount(), 32);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(FrameIs(reader.GetFrame(i), 32, 24, 32, recipe.frames[i])) << i;
    EXPECT_EQ(reader.GetFrame(5), nullptr);
}

TEST_F(AviReaderTest, LengthFromDurationWhenTheContainerHasNoCount) {
    // Matroska keeps no frame count: the length comes from the duration and rate.
    VideoRecipe recipe;
    recipe.container = "matroska";
    recipe.codec = AV_CODEC_ID_PNG;
    recipe.pixelFormat = AV_PIX_FMT_RGB24;
    recipe.frames = TwoToneFrames(6);
    const QString path = Make("clip.mkv", recipe);

    CAviReader reader;
    ASSERT_TRUE(OpenAll(reader, path));
    EXPECT_EQ(reader.Rate, 25u);
    EXPECT_EQ(reader.Scale, 1u);
    EXPECT_EQ(reader.Length, 6u);
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(FrameIs(reader.GetFrame(i), 32, 24, 24, recipe.frames[i])) << i;
    EXPECT_EQ(reader.GetFrame(6), nullptr);
}

TEST_F(AviReaderTest, PalettedVideoIsOpaque) {
    VideoRecipe recipe;
    recipe.pixelFormat = AV_PIX_FMT_PAL8;
    recipe.frames = TwoToneFrames(3);
    const QString path = Make("paletted.avi", recipe);

    CAviReader reader;
    ASSERT_TRUE(OpenAll(reader, path));
    EXPECT_EQ(reader.BitCount(), 24);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(FrameIs(reader.GetFrame(i), 32, 24, 24, recipe.frames[i])) << i;
}

TEST_F(AviReaderTest, OpaquePngGivesTwentyFourBits) {
    VideoRecipe recipe;
    recipe.codec = AV_CODEC_ID_PNG;
    recipe.pixelFormat = AV_PIX_FMT_RGB24;
    recipe.frames = TwoToneFrames(3);
    const QString path = Make("png.avi", recipe);

    CAviReader reader;
    ASSERT_TRUE(OpenAll(reader, path));
    EXPECT_EQ(reader.BitCount(), 24);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(FrameIs(reader.GetFrame(i), 32, 24, 24, recipe.frames[i])) << i;
}

TEST_F(AviReaderTest, SkippingRepeatingAndGoingBack) {
    VideoRecipe recipe;
    recipe.frames = TwoToneFrames(6);
    const QString path = Make("skip.avi", recipe);

    CAviReader reader;
    ASSERT_TRUE(OpenAll(reader, path));
    EXPECT_TRUE(FrameIs(reader.GetFrame(0), 32, 24, 24, recipe.frames[0]));
    // Ahead: the frames between are decoded and dropped.
    EXPECT_TRUE(FrameIs(reader.GetFrame(3), 32, 24, 24, recipe.frames[3]));
    // The same frame again.
    EXPECT_TRUE(FrameIs(reader.GetFrame(3), 32, 24, 24, recipe.frames[3]));
    // Backwards is not offered, and does not disturb what follows.
    EXPECT_EQ(reader.GetFrame(1), nullptr);
    EXPECT_EQ(reader.GetFrame(-1), nullptr);
    EXPECT_TRUE(FrameIs(reader.GetFrame(4), 32, 24, 24, recipe.frames[4]));
    EXPECT_TRUE(FrameIs(reader.GetFrame(5), 32, 24, 24, recipe.frames[5]));
    EXPECT_EQ(reader.GetFrame(6), nullptr);
    EXPECT_EQ(reader.GetFrame(1000000), nullptr);
}

TEST_F(AviReaderTest, ReaderCanBeOpenedAgain) {
    VideoRecipe a;
    a.frames = TwoToneFrames(2);
    VideoRecipe b;
    b.width = 16;
    b.height = 16;
    b.rate = {50, 1};
    b.frames = TwoToneFrames(3);
    const QString pathA = Make("a.avi", a);
    const QString pathB = Make("b.avi", b);

    CAviReader reader;
    ASSERT_TRUE(OpenAll(reader, pathA));
    EXPECT_TRUE(FrameIs(reader.GetFrame(0), 32, 24, 24, a.frames[0]));
    ASSERT_TRUE(OpenAll(reader, pathB));
    EXPECT_EQ(reader.Width, 16);
    EXPECT_EQ(reader.Rate, 50u);
    EXPECT_EQ(reader.Length, 3u);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(FrameIs(reader.GetFrame(i), 16, 16, 24, b.frames[i])) << i;
    // A failed open leaves nothing of the previous file.
    EXPECT_FALSE(reader.Open(PathOf("missing.avi")));
    EXPECT_FALSE(reader.ReadStreamInfo());
    EXPECT_EQ(reader.Width, 0);
    EXPECT_EQ(reader.GetFrame(0), nullptr);
}

TEST_F(AviReaderTest, StepsOutOfOrderFail) {
    VideoRecipe recipe;
    recipe.frames = TwoToneFrames(1);
    const QString path = Make("order.avi", recipe);

    CAviReader reader;
    EXPECT_FALSE(reader.ReadStreamInfo());
    EXPECT_FALSE(reader.OpenDecoder());
    EXPECT_EQ(reader.GetFrame(0), nullptr);
    EXPECT_EQ(reader.BitCount(), 0);
    ASSERT_TRUE(reader.Open(path));
    EXPECT_FALSE(reader.OpenDecoder());
    EXPECT_EQ(reader.GetFrame(0), nullptr);
    ASSERT_TRUE(reader.ReadStreamInfo());
    EXPECT_EQ(reader.GetFrame(0), nullptr);
    ASSERT_TRUE(reader.OpenDecoder());
    EXPECT_TRUE(FrameIs(reader.GetFrame(0), 32, 24, 24, recipe.frames[0]));
}

TEST_F(AviReaderTest, FrameOfAnotherSizeIsScaledToTheVideoSize) {
    VideoRecipe recipe;
    recipe.codec = AV_CODEC_ID_PNG;
    recipe.pixelFormat = AV_PIX_FMT_RGB24;
    recipe.frames = TwoToneFrames(4);
    recipe.frames[1].width = 16;
    recipe.frames[1].height = 12;
    recipe.frames[2].width = 64;
    recipe.frames[2].height = 48;
    const QString path = Make("sizes.avi", recipe);

    CAviReader reader;
    ASSERT_TRUE(OpenAll(reader, path));
    EXPECT_EQ(reader.Width, 32);
    EXPECT_EQ(reader.Height, 24);
    for (int i = 0; i < 4; ++i) {
        const uint8_t* dib = reader.GetFrame(i);
        ASSERT_NE(dib, nullptr) << i;
        ExpectHeader(dib, 32, 24, 24);
        // Scaling blends the rows next to the middle; the rest keep their colours.
        EXPECT_TRUE(FrameIs(dib, 32, 24, 24, recipe.frames[i], 2, 3)) << i;
    }
}

TEST_F(AviReaderTest, FrameBeyondTheSizeLimitIsSkipped) {
    VideoRecipe recipe;
    recipe.codec = AV_CODEC_ID_PNG;
    recipe.pixelFormat = AV_PIX_FMT_RGB24;
    recipe.frames = SolidFrames(3);
    recipe.frames[1].width = 17000;
    recipe.frames[1].height = 2;
    const QString path = Make("wide.avi", recipe);

    CAviReader reader;
    ASSERT_TRUE(OpenAll(reader, path));
    EXPECT_TRUE(FrameIs(reader.GetFrame(0), 32, 24, 24, recipe.frames[0]));
    EXPECT_EQ(reader.GetFrame(1), nullptr);
    EXPECT_TRUE(FrameIs(reader.GetFrame(2), 32, 24, 24, recipe.frames[2]));
}

TEST_F(AviReaderTest, HeaderBeyondTheSizeLimitHasNoDecoder) {
    VideoRecipe recipe;
    recipe.width = 16400;
    recipe.height = 2;
    recipe.frames = SolidFrames(1);
    const QString path = Make("huge.avi", recipe);

    CAviReader reader;
    ASSERT_TRUE(reader.Open(path));
    ASSERT_TRUE(reader.ReadStreamInfo());
    EXPECT_EQ(reader.Width, 16400);
    EXPECT_EQ(reader.Height, 2);
    EXPECT_FALSE(reader.OpenDecoder());
    EXPECT_EQ(reader.GetFrame(0), nullptr);
}

// Overwrites the compressed data of the n-th PNG picture in the file (0-based).
bool DamagePng(QByteArray& data, int n) {
    int at = -1;
    for (int i = 0; i <= n; ++i) {
        at = data.indexOf(QByteArray("\x89PNG", 4), at + 1);
        if (at < 0) return false;
    }
    const int idat = data.indexOf("IDAT", at);
    if (idat < 0 || idat + 4 + 8 > data.size()) return false;
    for (int i = 0; i < 8; ++i) data[idat + 4 + i] = char(0xFF);
    return true;
}

TEST_F(AviReaderTest, UndecodableFrameDoesNotEndTheLaterOnes) {
    VideoRecipe recipe;
    recipe.codec = AV_CODEC_ID_PNG;
    recipe.pixelFormat = AV_PIX_FMT_RGB24;
    recipe.frames = TwoToneFrames(5);
    const QString path = Make("damaged.avi", recipe);
    QByteArray data = ReadAll(path);
    ASSERT_TRUE(DamagePng(data, 2));
    ASSERT_TRUE(WriteAll(path, data));

    CAviReader reader;
    ASSERT_TRUE(OpenAll(reader, path));
    EXPECT_EQ(reader.Length, 5u);
    EXPECT_TRUE(FrameIs(reader.GetFrame(0), 32, 24, 24, recipe.frames[0]));
    EXPECT_TRUE(FrameIs(reader.GetFrame(1), 32, 24, 24, recipe.frames[1]));
    EXPECT_EQ(reader.GetFrame(2), nullptr);
    EXPECT_FALSE(reader.AtEnd());
    EXPECT_TRUE(FrameIs(reader.GetFrame(3), 32, 24, 24, recipe.frames[3]));
    EXPECT_TRUE(FrameIs(reader.GetFrame(4), 32, 24, 24, recipe.frames[4]));
    EXPECT_EQ(reader.GetFrame(5), nullptr);
    EXPECT_TRUE(reader.AtEnd());
}

TEST_F(AviReaderTest, TextIsNotAVideo) {
    const QString path = PathOf("notes.avi");
    QByteArray text;
    for (int i = 0; i < 200; ++i) text += "This is a line of plain text, not a video at all.\n";
    ASSERT_TRUE(WriteAll(path, text));
    CAviReader reader;
    EXPECT_FALSE(reader.Open(path));
    EXPECT_FALSE(reader.ReadStreamInfo());
    EXPECT_FALSE(reader.OpenDecoder());
    EXPECT_EQ(reader.GetFrame(0), nullptr);
}

TEST_F(AviReaderTest, MissingEmptyFolderAndPipeDoNotOpen) {
    CAviReader reader;
    EXPECT_FALSE(reader.Open(QString()));
    EXPECT_FALSE(reader.Open(PathOf("missing.avi")));
    ASSERT_TRUE(WriteAll(PathOf("empty.avi"), QByteArray()));
    EXPECT_FALSE(reader.Open(PathOf("empty.avi")));
    EXPECT_FALSE(reader.Open(dir_.path()));
    // A pipe nobody writes to would block a read forever.
    const QString fifo = PathOf("pipe.avi");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(reader.Open(fifo));
    EXPECT_TRUE(reader.OpenError().contains(QLatin1String("not a regular file"))) << reader.OpenError().toStdString();
    // A device reads without end.
    EXPECT_FALSE(reader.Open(QStringLiteral("/dev/zero")));
    EXPECT_TRUE(reader.OpenError().contains(QLatin1String("not a regular file"))) << reader.OpenError().toStdString();
}

// NextFrame takes the frames as they come, each with its start and end rounded up
// to whole ms from its timestamp (gaps kept), at the output size asked for.
TEST_F(AviReaderTest, NextFrameGivesTimesAndTheOutputSize) {
    VideoRecipe recipe;
    recipe.width = 32;
    recipe.height = 24;
    recipe.rate = {30000, 1001};
    recipe.pts = {0, 1, 2, 4};
    const TestFrame frames[4] = {{{255, 0, 0, 255}, {0, 0, 255, 255}}, {{0, 255, 0, 255}, {255, 255, 0, 255}},
                                 {{0, 0, 255, 255}, {255, 0, 0, 255}}, {{255, 255, 255, 255}, {0, 0, 0, 255}}};
    recipe.frames.assign(std::begin(frames), std::end(frames));
    const QString path = Make("gaps.avi", recipe);
    CAviReader reader;
    ASSERT_TRUE(reader.Open(path) && reader.ReadStreamInfo());
    reader.SetOutputSize(16, 12);
    ASSERT_TRUE(reader.OpenDecoder());
    EXPECT_EQ(reader.OutputWidth(), 16);
    EXPECT_EQ(reader.OutputHeight(), 12);
    // Starts at 0, 33.4, 66.7 and 133.5 ms.
    const int64_t starts[4] = {0, 34, 67, 134}, ends[4] = {34, 67, 101, 167};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const uint8_t* dib = reader.NextFrame();
        ASSERT_NE(dib, nullptr);
        EXPECT_TRUE(FrameIs(dib, 16, 12, 24, frames[k], 2, 1));
        int64_t start = -1, end = -1;
        ASSERT_TRUE(reader.DeliveredTimes(start, end));
        EXPECT_EQ(start, starts[k]);
        EXPECT_EQ(end, ends[k]);
    }
    EXPECT_EQ(reader.NextFrame(), nullptr);
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_EQ(reader.DecodeErrors(), 0);
}

TEST_F(AviReaderTest, NamesThatLookLikeProtocolsAreFiles) {
    VideoRecipe recipe;
    recipe.frames = TwoToneFrames(2);
    Make("http:clip.avi", recipe);
    // A name relative to the current folder whose start reads like a URL scheme.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    CAviReader reader;
    const bool opened = OpenAll(reader, "http:clip.avi");
    QDir::setCurrent(previous);
    ASSERT_TRUE(opened);
    EXPECT_TRUE(FrameIs(reader.GetFrame(1), 32, 24, 24, recipe.frames[1]));
}

TEST_F(AviReaderTest, ListsOfOtherFilesAreRefused) {
    VideoRecipe recipe;
    recipe.frames = TwoToneFrames(2);
    Make("inner.avi", recipe);
    const QString playlist = PathOf("playlist.avi");
    ASSERT_TRUE(WriteAll(playlist, "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\ninner.avi\n#EXT-X-ENDLIST\n"));
    const QString concat = PathOf("concat.avi");
    ASSERT_TRUE(WriteAll(concat, "ffconcat version 1.0\nfile inner.avi\nfile inner.avi\n"));

    CAviReader reader;
    EXPECT_TRUE(reader.Open(PathOf("inner.avi")));
    EXPECT_FALSE(reader.Open(playlist));
    EXPECT_FALSE(reader.Open(concat));
}

QByteArray WaveFile() {
    const uint32_t samples = 8000;
    QByteArray data(44 + samples * 2, '\0');
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i) data[at + i] = char(v >> (8 * i));
    };
    auto put16 = [&](int at, uint16_t v) {
        data[at] = char(v);
        data[at + 1] = char(v >> 8);
    };
    std::memcpy(data.data(), "RIFF", 4);
    put32(4, 36 + samples * 2);
    std::memcpy(data.data() + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);  // PCM
    put16(22, 1);  // mono
    put32(24, 8000);
    put32(28, 16000);
    put16(32, 2);
    put16(34, 16);
    std::memcpy(data.data() + 36, "data", 4);
    put32(40, samples * 2);
    for (uint32_t i = 0; i < samples; ++i) put16(44 + int(i) * 2, uint16_t((i * 97) & 0x7FFF));
    return data;
}

TEST_F(AviReaderTest, AudioOnlyFileHasNoVideoStream) {
    const QString path = PathOf("sound.avi");
    ASSERT_TRUE(WriteAll(path, WaveFile()));
    CAviReader reader;
    ASSERT_TRUE(reader.Open(path));
    EXPECT_FALSE(reader.ReadStreamInfo());
    EXPECT_FALSE(reader.OpenDecoder());
    EXPECT_EQ(reader.GetFrame(0), nullptr);
}

// Runs a reader over a file as the importer does; every frame it gives must be a
// well-formed bitmap of the video's size, and, when expected is given, show the
// frame of its index.
void ReadThrough(const QString& path, const std::vector<TestFrame>* expected, int* delivered) {
    *delivered = 0;
    CAviReader reader;
    if (!OpenAll(reader, path)) return;
    ASSERT_GT(reader.Width, 0);
    ASSERT_LE(reader.Width, 16384);
    const int bits = reader.BitCount();
    ASSERT_TRUE(bits == 24 || bits == 32);
    const uint32_t count = std::min<uint32_t>(reader.Length + 2, 64);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* dib = reader.GetFrame(int(i));
        if (!dib) continue;
        ++*delivered;
        ExpectHeader(dib, reader.Width, reader.Height, bits);
        if (expected) {
            ASSERT_LT(i, expected->size());
            EXPECT_TRUE(FrameIs(dib, reader.Width, reader.Height, bits, (*expected)[i])) << i;
        }
        // Touch every byte so that a short buffer shows under the sanitizer.
        unsigned sum = 0;
        const size_t size = 40 + size_t(Stride(reader.Width, bits)) * reader.Height;
        for (size_t k = 0; k < size; ++k) sum += dib[k];
        (void)sum;
    }
}

TEST_F(AviReaderTest, TruncatedFilesGiveTheFramesTheyHold) {
    VideoRecipe recipe;
    recipe.frames = TwoToneFrames(5);
    const QString path = Make("whole.avi", recipe);
    const QByteArray whole = ReadAll(path);
    ASSERT_GT(whole.size(), 5 * 32 * 24 * 3);

    // Cut where the fourth frame's chunk begins: three whole frames remain.
    int at = whole.indexOf("movi");
    ASSERT_GT(at, 0);
    for (int i = 0; i < 4 && at >= 0; ++i) at = whole.indexOf("00d", at + 4);
    ASSERT_GT(at, 0);
    const QString cut = PathOf("cut.avi");
    ASSERT_TRUE(WriteAll(cut, whole.left(at)));
    {
        CAviReader reader;
        ASSERT_TRUE(OpenAll(reader, cut));
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(FrameIs(reader.GetFrame(i), 32, 24, 24, recipe.frames[i])) << i;
        EXPECT_EQ(reader.GetFrame(3), nullptr);
        EXPECT_EQ(reader.GetFrame(4), nullptr);
        EXPECT_TRUE(reader.AtEnd());
    }

    // Every other length: whatever comes out is right for its index.
    int opened = 0;
    for (int length = 0; length < whole.size(); length += 61) {
        const QString part = PathOf("part.avi");
        ASSERT_TRUE(WriteAll(part, whole.left(length)));
        int delivered = 0;
        ReadThrough(part, &recipe.frames, &delivered);
        if (delivered > 0) ++opened;
    }
    EXPECT_GT(opened, 0);
}

TEST_F(AviReaderTest, DamagedFilesNeverCrash) {
    struct Kind {
        const char* name;
        VideoRecipe recipe;
    };
    std::vector<Kind> kinds(3);
    kinds[0].name = "raw.avi";
    kinds[0].recipe.frames = TwoToneFrames(4);
    kinds[1].name = "png.avi";
    kinds[1].recipe.codec = AV_CODEC_ID_PNG;
    kinds[1].recipe.pixelFormat = AV_PIX_FMT_RGBA;
    kinds[1].recipe.frames = TranslucentFrames(4);
    kinds[2].name = "mjpeg.avi";
    kinds[2].recipe.codec = AV_CODEC_ID_MJPEG;
    kinds[2].recipe.pixelFormat = AV_PIX_FMT_YUVJ420P;
    kinds[2].recipe.frames = SolidFrames(4);

    std::mt19937 random(20240611);
    for (const Kind& kind : kinds) {
        const QByteArray whole = ReadAll(Make(kind.name, kind.recipe));
        ASSERT_FALSE(whole.isEmpty());
        for (int round = 0; round < 40; ++round) {
            QByteArray data = whole;
            const int flips = 1 + int(random() % 24);
            for (int k = 0; k < flips; ++k) data[int(random() % data.size())] = char(random() & 0xFF);
            const QString path = PathOf("fuzzed.avi");
            ASSERT_TRUE(WriteAll(path, data));
            int delivered = 0;
            ReadThrough(path, nullptr, &delivered);
            if (HasFatalFailure()) return;
        }
    }
}

TEST_F(AviReaderTest, ReadersOnSeveralThreads) {
    VideoRecipe recipe;
    recipe.codec = AV_CODEC_ID_PNG;
    recipe.pixelFormat = AV_PIX_FMT_RGB24;
    recipe.frames = TwoToneFrames(6);
    const QString path = Make("shared.avi", recipe);

    int good[3] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 5; ++round) {
                CAviReader reader;
                if (!OpenAll(reader, path)) return;
                for (int i = 0; i < 6; ++i)
                    if (FrameIs(reader.GetFrame(i), 32, 24, 24, recipe.frames[i])) ++good[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < 3; ++t) EXPECT_EQ(good[t], 30) << t;
}

}  // namespace
