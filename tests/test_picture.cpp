// Pixel operations of CPicture: sizes, copies, blits, scaling, fills, halving and
// recovering transparency from a white and a black copy.
#include "media/Picture.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace {

using Bgra = std::array<uint8_t, 4>;

// Pictures whose pixels are labels: pixel i of a row-major list holds the 32-bit
// word labels[i], so blits and copies can be checked by label.
CPicture Labelled(int w, int h, const std::vector<uint32_t>& labels) {
    CPicture p;
    EXPECT_TRUE(p.Resize(w, h));
    EXPECT_EQ(labels.size(), size_t(w) * size_t(h));
    std::memcpy(p.data.get(), labels.data(), p.ByteCount());
    return p;
}

CPicture Uniform(int w, int h, uint32_t label) { return Labelled(w, h, std::vector<uint32_t>(size_t(w) * h, label)); }

std::vector<uint32_t> Labels(const CPicture& p) {
    std::vector<uint32_t> out(size_t(p.width) * size_t(p.height));
    if (!out.empty()) std::memcpy(out.data(), p.data.get(), p.ByteCount());
    return out;
}

Bgra At(const CPicture& p, int x, int y) {
    const uint8_t* px = p.Pixel(x, y);
    return {px[0], px[1], px[2], px[3]};
}

CPicture OnePixel(Bgra value) {
    CPicture p;
    EXPECT_TRUE(p.Resize(1, 1));
    std::memcpy(p.data.get(), value.data(), 4);
    return p;
}

TEST(Picture, ValidSizes) {
    const struct {
        int w, h;
        bool valid;
    } cases[] = {
        {0, 0, true},
        {1920, 1080, true},
        {CPicture::MaxSide, 2048, true},
        {CPicture::MaxSide + 1, 1, false},
        {1, CPicture::MaxSide + 1, false},
        {-1, 10, false},
        {10, -1, false},
        {8192, 8192, true},   // exactly MaxPixels
        {8192, 8193, false},  // one row beyond
        {CPicture::MaxSide, CPicture::MaxSide, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        EXPECT_EQ(CPicture::IsValidSize(c.w, c.h), c.valid);
    }
}

TEST(Picture, ResizeResetsAnimationAndRefusesInvalidSizes) {
    CPicture p = Uniform(2, 2, 1);
    p.frameCount = 5;
    p.frameDelay = 40;
    ASSERT_TRUE(p.Resize(3, 4));
    EXPECT_EQ(p.width, 3);
    EXPECT_EQ(p.height, 4);
    EXPECT_EQ(p.ByteCount(), 48u);
    EXPECT_EQ(p.frameCount, 0);
    EXPECT_EQ(p.frameDelay, 0);

    EXPECT_FALSE(p.Resize(-3, 4));
    EXPECT_TRUE(p.IsEmpty());
    EXPECT_EQ(p.data, nullptr);
}

TEST(Picture, CopyIsDeep) {
    CPicture original = Labelled(2, 1, {7, 8});
    original.frameCount = 3;
    original.frameDelay = 100;
    CPicture copy(original);
    EXPECT_EQ(Labels(copy), Labels(original));
    EXPECT_EQ(copy.frameCount, 3);
    EXPECT_EQ(copy.frameDelay, 100);
    copy.Pixel(0, 0)[0] = 99;
    EXPECT_EQ(Labels(original), (std::vector<uint32_t>{7, 8}));

    CPicture assigned;
    assigned = original;
    EXPECT_EQ(Labels(assigned), Labels(original));
    EXPECT_NE(assigned.data.get(), original.data.get());
}

TEST(Picture, CopyRowsTakesTopLeftBlock) {
    const CPicture source = Labelled(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    CPicture p;
    ASSERT_TRUE(p.CopyRows(2, 2, source));
    EXPECT_EQ(p.width, 2);
    EXPECT_EQ(Labels(p), (std::vector<uint32_t>{1, 2, 4, 5}));
    ASSERT_TRUE(p.CopyRows(3, 1, source));
    EXPECT_EQ(Labels(p), (std::vector<uint32_t>{1, 2, 3}));

    // Too large a request leaves the picture as it was.
    EXPECT_FALSE(p.CopyRows(4, 1, source));
    EXPECT_FALSE(p.CopyRows(1, 4, source));
    EXPECT_EQ(Labels(p), (std::vector<uint32_t>{1, 2, 3}));

    // Taking fewer rows of itself.
    CPicture self = source;
    ASSERT_TRUE(self.CopyRows(1, 2, self));
    EXPECT_EQ(Labels(self), (std::vector<uint32_t>{1, 4}));
}

struct BlitCase {
    const char* name;
    int x, w, sx;
    std::vector<uint32_t> expected;
};

TEST(PictureBlit, CopyClipsToBothPictures) {
    // Source 1 2 3 onto a row of five zeros, one row high; the clipping is the same
    // in both directions, which the 2-D case below checks.
    const BlitCase cases[] = {
        {"inside", 1, 3, 0, {0, 1, 2, 3, 0}},
        {"left of destination", -1, 3, 0, {2, 3, 0, 0, 0}},
        {"past right of destination", 3, 3, 0, {0, 0, 0, 1, 2}},
        {"left of source", 1, 3, -1, {0, 0, 1, 2, 0}},
        {"past right of source", 0, 5, 1, {2, 3, 0, 0, 0}},
        {"wider than both", -1, 100, -2, {0, 1, 2, 3, 0}},
        {"entirely outside", 5, 3, 0, {0, 0, 0, 0, 0}},
        {"zero width", 1, 0, 0, {0, 0, 0, 0, 0}},
        {"negative width", 1, -2, 0, {0, 0, 0, 0, 0}},
    };
    const CPicture source = Labelled(3, 1, {1, 2, 3});
    for (const BlitCase& c : cases) {
        SCOPED_TRACE(c.name);
        CPicture destination = Uniform(5, 1, 0);
        CPicture::Blit(destination, source, c.x, 0, c.w, 1, c.sx, 0, 0);
        EXPECT_EQ(Labels(destination), c.expected);
    }
}

TEST(PictureBlit, CopyClipsRows) {
    const CPicture source = Labelled(2, 3, {1, 2, 3, 4, 5, 6});
    CPicture destination = Uniform(3, 3, 0);
    CPicture::Blit(destination, source, 2, -1, 2, 5, 0, 0, 0);
    EXPECT_EQ(Labels(destination), (std::vector<uint32_t>{0, 0, 3, 0, 0, 5, 0, 0, 0}));

    destination = Uniform(3, 3, 0);
    CPicture::Blit(destination, source, 0, 1, 2, 2, 0, 2, 0);  // only source row 2 exists
    EXPECT_EQ(Labels(destination), (std::vector<uint32_t>{0, 0, 0, 5, 6, 0, 0, 0, 0}));
}

TEST(PictureBlit, OtherModesDoNothing) {
    const CPicture source = Uniform(2, 2, 0xFF010203);
    for (int mode : {-1, 2, 3}) {
        CPicture destination = Uniform(2, 2, 0);
        CPicture::Blit(destination, source, 0, 0, 2, 2, 0, 0, mode);
        EXPECT_EQ(Labels(destination), std::vector<uint32_t>(4, 0)) << mode;
    }
}

TEST(PictureBlit, OntoItselfReadsTheBlockAsBefore) {
    CPicture p = Labelled(4, 1, {1, 2, 3, 4});
    CPicture::Blit(p, p, 1, 0, 3, 1, 0, 0, 0);
    EXPECT_EQ(Labels(p), (std::vector<uint32_t>{1, 1, 2, 3}));
    p = Labelled(4, 1, {1, 2, 3, 4});
    CPicture::Blit(p, p, 0, 0, 3, 1, 1, 0, 0);
    EXPECT_EQ(Labels(p), (std::vector<uint32_t>{2, 3, 4, 4}));
}

struct OverlayCase {
    const char* name;
    Bgra source, destination, expected;
};

TEST(PictureBlit, OverlayBlendsByTheSourceAlpha) {
    const OverlayCase cases[] = {
        // (200*128)/255 = 100, (100*128 + 50*127)/255 = 75, (255*127)/255 = 127.
        {"half over low alpha", {200, 100, 0, 128}, {0, 50, 255, 64}, {100, 75, 127, 128}},
        {"destination alpha stays when higher", {200, 100, 0, 128}, {0, 50, 255, 200}, {100, 75, 127, 200}},
        {"transparent source changes nothing", {9, 9, 9, 0}, {1, 2, 3, 4}, {1, 2, 3, 4}},
        {"opaque source replaces colour", {9, 8, 7, 255}, {1, 2, 3, 0}, {9, 8, 7, 255}},
        // (255*1 + 0*254)/255 = 1: the division truncates.
        {"faint source", {255, 255, 255, 1}, {0, 0, 0, 0}, {1, 1, 1, 1}},
        {"faint source over white", {0, 0, 0, 1}, {255, 255, 255, 255}, {254, 254, 254, 255}},
    };
    for (const OverlayCase& c : cases) {
        SCOPED_TRACE(c.name);
        CPicture destination = OnePixel(c.destination);
        CPicture::Blit(destination, OnePixel(c.source), 0, 0, 1, 1, 0, 0, 1);
        EXPECT_EQ(At(destination, 0, 0), c.expected);
    }
}

TEST(PictureBlit, OverlayClipsLikeCopy) {
    const CPicture source = Uniform(2, 2, 0xFF000080);  // opaque, blue 0x80
    CPicture destination = Uniform(3, 3, 0);
    CPicture::Blit(destination, source, 2, 2, 2, 2, 0, 0, 1);
    const std::vector<uint32_t> expected = {0, 0, 0, 0, 0, 0, 0, 0, 0xFF000080};
    EXPECT_EQ(Labels(destination), expected);
}

struct ScaleCase {
    int sourceWidth, w;
    std::vector<uint32_t> columns;  // source column of each destination column
};

TEST(PictureScaleInto, NearestNeighbourColumnsAndRows) {
    const ScaleCase cases[] = {
        {4, 8, {0, 0, 1, 1, 2, 2, 3, 3}},
        {8, 4, {0, 2, 4, 6}},
        {3, 2, {0, 1}},
        {2, 3, {0, 0, 1}},
        {5, 5, {0, 1, 2, 3, 4}},
        {1, 3, {0, 0, 0}},
    };
    for (const ScaleCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sourceWidth << " -> " << c.w);
        std::vector<uint32_t> labels;
        for (int i = 0; i < c.sourceWidth; ++i) labels.push_back(uint32_t(i));
        // The same mapping along columns and along rows.
        CPicture wide = Uniform(c.w, 1, 0xEE);
        CPicture::ScaleInto(wide, Labelled(c.sourceWidth, 1, labels), c.w, 1);
        EXPECT_EQ(Labels(wide), c.columns);
        CPicture tall = Uniform(1, c.w, 0xEE);
        CPicture::ScaleInto(tall, Labelled(1, c.sourceWidth, labels), 1, c.w);
        EXPECT_EQ(Labels(tall), c.columns);
    }
}

TEST(PictureScaleInto, MapsByTheRequestedSizeAndClipsToDestination) {
    // 4 -> 8 maps columns 0 0 1 1 ...; the destination is only 3 wide and 2 high,
    // and only its first row is asked for.
    const CPicture source = Labelled(4, 1, {10, 11, 12, 13});
    CPicture destination = Uniform(3, 2, 0xEE);
    CPicture::ScaleInto(destination, source, 8, 1);
    EXPECT_EQ(Labels(destination), (std::vector<uint32_t>{10, 10, 11, 0xEE, 0xEE, 0xEE}));
}

TEST(PictureFill, StoresColourValueAsBlueGreenRedOpacity) {
    CPicture p = Uniform(3, 2, 0);
    p.Fill(0x80332211);  // red 11, green 22, blue 33, opacity 80
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(At(p, x, y), (Bgra{0x33, 0x22, 0x11, 0x80}));
}

struct BlockCase {
    const char* name;
    int x, y, w, h;
    std::vector<uint32_t> expected;  // 1 where the block lies, 0 elsewhere
};

// Fill and Brighten share the block rules: 0 extends to the edge, blocks clip.
const BlockCase blockCases[] = {
    {"whole picture", 0, 0, 0, 0, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"to the right edge", 1, 1, 0, 1, {0, 0, 0, 0, 1, 1, 0, 0, 0}},
    {"to the bottom edge", 2, 1, 1, 0, {0, 0, 0, 0, 0, 1, 0, 0, 1}},
    {"clipped left and top", -1, -1, 2, 2, {1, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"clipped right and bottom", 2, 2, 5, 5, {0, 0, 0, 0, 0, 0, 0, 0, 1}},
    {"outside", 3, 0, 2, 2, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"negative size", 1, 1, -1, 1, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
};

TEST(PictureFill, BlockRules) {
    for (const BlockCase& c : blockCases) {
        SCOPED_TRACE(c.name);
        CPicture p = Uniform(3, 3, 0);
        p.Fill(0x00000001, c.x, c.y, c.w, c.h);  // red 1 -> pixel word 0x00010000
        std::vector<uint32_t> expected;
        for (uint32_t v : c.expected) expected.push_back(v ? 0x00010000u : 0u);
        EXPECT_EQ(Labels(p), expected);
    }
}

TEST(PictureBrighten, BlockRules) {
    for (const BlockCase& c : blockCases) {
        SCOPED_TRACE(c.name);
        CPicture p = Uniform(3, 3, 0x00101010);
        p.Brighten(1, c.x, c.y, c.w, c.h);
        std::vector<uint32_t> expected;
        for (uint32_t v : c.expected) expected.push_back(v ? 0x00111111u : 0x00101010u);
        EXPECT_EQ(Labels(p), expected);
    }
}

TEST(PictureBrighten, ClampsColourAndKeepsAlpha) {
    const struct {
        int amount;
        Bgra before, after;
    } cases[] = {
        {10, {250, 100, 0, 7}, {255, 110, 10, 7}},
        {-10, {250, 5, 10, 7}, {240, 0, 0, 7}},
        {300, {0, 1, 2, 200}, {255, 255, 255, 200}},
        {-300, {255, 254, 253, 0}, {0, 0, 0, 0}},
        {0, {1, 2, 3, 4}, {1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.amount);
        CPicture p = OnePixel(c.before);
        p.Brighten(c.amount);
        EXPECT_EQ(At(p, 0, 0), c.after);
    }
}

TEST(PictureCheckerboard, SixteenPixelCellsDarkAtTopLeft) {
    CPicture p;
    ASSERT_TRUE(p.Resize(40, 35));
    p.Checkerboard();
    const Bgra dark = {0x70, 0x70, 0x70, 0xFF};
    const Bgra light = {0xA0, 0xA0, 0xA0, 0xFF};
    const struct {
        int x, y;
        bool dark;
    } probes[] = {{0, 0, true},   {15, 15, true}, {16, 0, false}, {0, 16, false}, {15, 16, false},
                  {16, 16, true}, {32, 0, true},  {39, 34, true}, {31, 34, false}, {39, 20, false}};
    for (const auto& probe : probes) {
        SCOPED_TRACE(testing::Message() << probe.x << "," << probe.y);
        EXPECT_EQ(At(p, probe.x, probe.y), probe.dark ? dark : light);
    }
}

TEST(PictureHalve, AveragesBlocksAndDropsOddColumnAndRow) {
    // 5 x 3: the last column and the last row hold 255s that must not show.
    CPicture p;
    ASSERT_TRUE(p.Resize(5, 3));
    std::memset(p.data.get(), 255, p.ByteCount());
    const Bgra block[4] = {{1, 0, 255, 0}, {2, 0, 255, 255}, {3, 1, 255, 255}, {5, 2, 254, 255}};
    for (int x0 : {0, 2}) {
        std::memcpy(p.Pixel(x0, 0), block[0].data(), 4);
        std::memcpy(p.Pixel(x0 + 1, 0), block[1].data(), 4);
        std::memcpy(p.Pixel(x0, 1), block[2].data(), 4);
        std::memcpy(p.Pixel(x0 + 1, 1), block[3].data(), 4);
    }
    p.Pixel(3, 1)[0] = 9;  // second block: 1 + 2 + 3 + 9 = 15 -> 3
    p.frameCount = 4;
    p.Halve();
    ASSERT_EQ(p.width, 2);
    ASSERT_EQ(p.height, 1);
    // (1+2+3+5)/4 = 2, (0+0+1+2)/4 = 0, (255*3+254)/4 = 254, (0+255*3)/4 = 191.
    EXPECT_EQ(At(p, 0, 0), (Bgra{2, 0, 254, 191}));
    EXPECT_EQ(At(p, 1, 0), (Bgra{3, 0, 254, 191}));
    EXPECT_EQ(p.frameCount, 4);
}

TEST(PictureHalve, FullHdGivesQuarterSizeAndOnePixelWideGivesEmpty) {
    CPicture p = Uniform(1920, 1080, 0x80402010);
    p.Halve();
    EXPECT_EQ(p.width, 960);
    EXPECT_EQ(p.height, 540);
    EXPECT_EQ(Labels(p), std::vector<uint32_t>(960 * 540, 0x80402010));

    CPicture thin = Uniform(1, 4, 1);
    thin.Halve();
    EXPECT_EQ(thin.width, 0);
    EXPECT_EQ(thin.height, 2);
    EXPECT_TRUE(thin.IsEmpty());
}

struct AlphaCase {
    const char* name;
    Bgra onWhite, onBlack;
    int opacity;
    Bgra expected;
};

TEST(PictureAlphaRecovery, FromWhiteAndBlackCopies) {
    const AlphaCase cases[] = {
        {"black in both is opaque black", {0, 0, 0, 255}, {0, 0, 0, 255}, 255, {0, 0, 0, 255}},
        {"background is fully transparent", {255, 255, 255, 255}, {0, 0, 0, 255}, 255, {0, 0, 0, 0}},
        {"white in both is opaque white", {255, 255, 255, 255}, {255, 255, 255, 255}, 255, {255, 255, 255, 255}},
        // a = 384 / 3 = 128, colour 128 * 256 / 129 = 254.
        {"half white", {255, 255, 255, 255}, {128, 128, 128, 255}, 255, {254, 254, 254, 128}},
        // a = (128 - 511 + 765) / 3 = 127; red 128 * 256 / 129 = 254.
        {"half red", {128, 128, 255, 255}, {0, 0, 128, 255}, 255, {0, 0, 254, 127}},
        // a = 1530 / 3 limited to 255; colour 255 * 256 / 511 = 127.
        {"inverted copies limit alpha", {0, 0, 0, 0}, {255, 255, 255, 0}, 255, {127, 127, 127, 255}},
        {"opacity 128 scales alpha", {0, 0, 0, 255}, {0, 0, 0, 255}, 128, {0, 0, 0, 128}},
        // 128 * 100 / 255 = 50.2, truncated.
        {"opacity truncates", {255, 255, 255, 255}, {128, 128, 128, 255}, 100, {254, 254, 254, 50}},
        {"opacity 0", {0, 0, 0, 255}, {0, 0, 0, 255}, 0, {0, 0, 0, 0}},
    };
    for (const AlphaCase& c : cases) {
        SCOPED_TRACE(c.name);
        CPicture destination;
        CPicture::AlphaRecovery(destination, OnePixel(c.onWhite), OnePixel(c.onBlack), c.opacity);
        ASSERT_EQ(destination.width, 1);
        ASSERT_EQ(destination.height, 1);
        EXPECT_EQ(At(destination, 0, 0), c.expected);
    }
}

TEST(PictureAlphaRecovery, ResizesDestinationAndMayWorkInPlace) {
    const CPicture onWhite = Labelled(2, 1, {0xFFFFFFFF, 0xFF000000});
    CPicture onBlack = Labelled(2, 1, {0xFF000000, 0xFF000000});
    CPicture destination = Uniform(5, 5, 0x12345678);
    CPicture::AlphaRecovery(destination, onWhite, onBlack, 255);
    ASSERT_EQ(destination.width, 2);
    ASSERT_EQ(destination.height, 1);
    EXPECT_EQ(Labels(destination), (std::vector<uint32_t>{0x00000000, 0xFF000000}));

    CPicture::AlphaRecovery(onBlack, onWhite, onBlack, 255);
    EXPECT_EQ(Labels(onBlack), Labels(destination));
}

}  // namespace
