// The text rasteriser: still pictures and playback strips, their sizes and the
// character they stop at, true alpha and colour, opacity and the lead-in.
#include "text/RichEdit.h"

#include <QAbstractTextDocumentLayout>
#include <QFontInfo>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

QByteArray Rtf(const QByteArray& body, const QByteArray& colours = "\\red255\\green255\\blue255;") {
    return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}{\\colortbl ;" + colours + "}\\cf1 " + body + "\\par}";
}

struct Strip {
    RasteriseResult r;
    CPicture picture;
    int next = 0;
};

Strip Draw(const QByteArray& rtf, const RasteriseObject& object, bool still, int start = 0,
           CRichEditTextRenderer* shared = nullptr) {
    static CRichEditTextRenderer own;
    CRichEditTextRenderer& renderer = shared ? *shared : own;
    Strip s;
    s.next = start;
    s.r = Rasterise(s.picture, s.next, object, renderer, still,
                    [&](CRichEditExCtrl& c) { return c.StreamIn(rtf) == 1; });
    return s;
}

RasteriseObject Object(int w, int h, int movement = 0) {
    RasteriseObject o;
    o.left = 100;
    o.top = 50;
    o.right = 100 + w;
    o.bottom = 50 + h;
    o.movement = movement;
    return o;
}

// Columns (or rows) that hold any ink.
int InkedColumns(const CPicture& p, int from, int to) {
    int n = 0;
    for (int x = from; x < std::min(to, p.width); ++x)
        for (int y = 0; y < p.height; ++y)
            if (p.Pixel(x, y)[3]) {
                ++n;
                break;
            }
    return n;
}

int InkedRows(const CPicture& p, int from, int to) {
    int n = 0;
    for (int y = from; y < std::min(to, p.height); ++y)
        for (int x = 0; x < p.width; ++x)
            if (p.Pixel(x, y)[3]) {
                ++n;
                break;
            }
    return n;
}

QByteArray Words(int count) {
    QByteArray text;
    for (int k = 0; k < count; ++k) text += "word" + QByteArray::number(k) + ' ';
    return text;
}

}  // namespace

TEST(Rasterise, DefaultFormatIsWhiteArialOf28Points) {
    CRichEditExCtrl control(1, false);
    control.StreamIn("{\\rtf1 Plain}");
    QTextCursor cursor(&control.document);
    cursor.setPosition(1);
    const QTextCharFormat f = cursor.charFormat();
    EXPECT_EQ(f.fontPointSize(), 28);
    EXPECT_EQ(f.foreground().color(), QColor(255, 255, 255));
    // Arial itself, or the metric-compatible face that stands in for it.
    const QString family = QFontInfo(f.font()).family();
    EXPECT_TRUE(family == QLatin1String("Arial") || family == QLatin1String("Liberation Sans")) << qPrintable(family);
    const Strip s = Draw("{\\rtf1 Plain}", Object(400, 100), true);
    ASSERT_TRUE(s.r.done);
    EXPECT_EQ(s.r.usedHeight, s.picture.height);
    EXPECT_NEAR(s.picture.height, 43, 2);  // one line of 28 pt at 96 per inch
}

TEST(Rasterise, EmptyTextDrawsNothingAndKeepsThePicture) {
    CPicture previous;
    previous.Resize(10, 10);
    previous.Fill(0xFF123456);
    int start = 0;
    CRichEditTextRenderer renderer;
    for (const QByteArray& rtf : {QByteArray("{\\rtf1 }"), QByteArray()}) {
        const RasteriseResult r = Rasterise(previous, start, Object(400, 100), renderer, true,
                                            [&](CRichEditExCtrl& c) { return c.StreamIn(rtf) == 1; });
        EXPECT_FALSE(r.done);
        EXPECT_EQ(previous.width, 10);
        EXPECT_EQ(previous.Pixel(5, 5)[2], 0x56);
    }
    // A loader that has no text (a CSV source past its last row) draws nothing.
    const RasteriseResult r =
        Rasterise(previous, start, Object(400, 100), renderer, false, [](CRichEditExCtrl&) { return false; });
    EXPECT_FALSE(r.done);
}

TEST(Rasterise, GlyphEdgesKeepTheirTrueColourAtPartialAlpha) {
    struct Case {
        QByteArray colour;
        int r, g, b;
    } cases[] = {{"\\red255\\green0\\blue0;", 255, 0, 0}, {"\\red0\\green0\\blue0;", 0, 0, 0},
                 {"\\red20\\green200\\blue90;", 20, 200, 90}};
    for (const Case& c : cases) {
        const Strip s = Draw(Rtf("\\i Anti-aliased text", c.colour), Object(600, 80), true);
        ASSERT_TRUE(s.r.done);
        int partial = 0, opaque = 0;
        for (int y = 0; y < s.picture.height; ++y)
            for (int x = 0; x < s.picture.width; ++x) {
                const uint8_t* p = s.picture.Pixel(x, y);
                if (p[3] == 0) {
                    ASSERT_EQ(p[0] | p[1] | p[2], 0) << "transparent pixels are black";
                    continue;
                }
                (p[3] == 255 ? opaque : partial)++;
                // Straight alpha: the colour itself, not darkened by coverage.
                const int tolerance = p[3] < 8 ? 12 : 3;
                ASSERT_NEAR(p[2], c.r, tolerance) << x << "," << y << " alpha " << int(p[3]);
                ASSERT_NEAR(p[1], c.g, tolerance);
                ASSERT_NEAR(p[0], c.b, tolerance);
            }
        EXPECT_GT(partial, 100);
        EXPECT_GT(opaque, 100);
    }
}

TEST(Rasterise, TextOpacityScalesEveryAlpha) {
    RasteriseObject object = Object(400, 80);
    const Strip full = Draw(Rtf("Opacity"), object, true);
    object.textOpacity = 128;
    const Strip half = Draw(Rtf("Opacity"), object, true);
    ASSERT_EQ(full.picture.ByteCount(), half.picture.ByteCount());
    for (size_t k = 3; k < full.picture.ByteCount(); k += 4)
        ASSERT_EQ(half.picture.data[k], CPicture::ScaleOpacity(full.picture.data[k], 128));
}

TEST(Rasterise, FixedTextFitsItsRectangle) {
    const Strip s = Draw(Rtf(Words(200)), Object(300, 120), false);
    ASSERT_TRUE(s.r.done);
    EXPECT_EQ(s.picture.width, 300);
    EXPECT_LE(s.picture.height, 120);
    EXPECT_EQ(s.r.usedHeight, s.picture.height);
    EXPECT_GT(s.next, 0);
    EXPECT_LT(s.next, s.r.characters);  // the rest does not fit
    // Lines are wrapped at the rectangle's width: several of them.
    EXPECT_GT(s.picture.height, 80);
}

TEST(Rasterise, CrawlStripIsAsWideAsTheText) {
    const Strip s = Draw(Rtf("A short crawl"), Object(1920, 60, 1), false);
    ASSERT_TRUE(s.r.done);
    EXPECT_EQ(s.next, s.r.characters);
    EXPECT_GT(s.r.usedWidth, 150);
    EXPECT_LT(s.r.usedWidth, 400);
    EXPECT_LE(s.r.usedWidth, s.picture.width);
    EXPECT_EQ(InkedColumns(s.picture, s.r.usedWidth + 2, s.picture.width), 0);
    EXPECT_LE(s.picture.height, 60);
    // Paragraphs of a crawl run on one line.
    const Strip two = Draw(Rtf("First\\par Second"), Object(1920, 60, 1), false);
    EXPECT_GT(two.r.usedWidth, Draw(Rtf("First"), Object(1920, 60, 1), false).r.usedWidth * 2);
    EXPECT_LE(two.picture.height, 60);
}

TEST(Rasterise, CrawlBeyond32000PixelsContinuesInTheNextStrip) {
    const QByteArray text = Words(5000);  // far more than 32000 pixels at 28 pt
    CRichEditTextRenderer renderer;
    const Strip first = Draw(Rtf(text), Object(1920, 60, 1), false, 0, &renderer);
    ASSERT_TRUE(first.r.done);
    EXPECT_EQ(first.picture.width, 32000);
    EXPECT_LE(first.r.usedWidth, 32000);
    EXPECT_GT(first.r.usedWidth, 31900);
    ASSERT_LT(first.next, first.r.characters);
    const Strip second = Draw(Rtf(text), Object(1920, 60, 1), false, first.next, &renderer);
    ASSERT_TRUE(second.r.done);
    EXPECT_GT(second.next, first.next);
    // The strips abut: the second starts with the character the first left out.
    EXPECT_GT(InkedColumns(second.picture, 0, 30), 0);
}

TEST(Rasterise, RollStripsEndAtALineAndHoldAtMost2048Rows) {
    QByteArray text;
    for (int k = 0; k < 100; ++k) text += "Line " + QByteArray::number(k) + "\\par ";
    CRichEditTextRenderer renderer;
    int start = 0, total = 0, strips = 0;
    while (start < 100 * 8 && strips < 10) {
        const Strip s = Draw(Rtf(text), Object(400, 300, 2), false, start, &renderer);
        if (!s.r.done) break;
        ++strips;
        EXPECT_LE(s.picture.height, 2048);
        EXPECT_EQ(s.picture.height, s.r.usedHeight);
        // Whole lines only: the last row of the strip holds no cut glyph (the
        // strip ends at a line's bottom, below the descenders).
        EXPECT_EQ(InkedRows(s.picture, s.picture.height - 2, s.picture.height), 0);
        total += s.r.usedHeight;
        if (s.next >= s.r.characters) break;
        EXPECT_GT(s.next, start);
        start = s.next;
    }
    EXPECT_GE(strips, 2);
    EXPECT_GT(total, 2048);
}

TEST(Rasterise, LeadInPrecedesTheTextOnTheSideItEntersFrom) {
    struct Case {
        int movement, reverse;
    } cases[] = {{1, 0}, {1, 1}, {2, 0}, {2, 1}};
    for (const Case& c : cases) {
        RasteriseObject object = Object(200, 100, c.movement);
        object.reverse = c.reverse;
        const Strip plain = Draw(Rtf("Lead"), object, false);
        object.leadInPending = 1;
        const Strip led = Draw(Rtf("Lead"), object, false);
        ASSERT_TRUE(led.r.done);
        EXPECT_TRUE(led.r.leadInDone);
        const bool across = c.movement == 1;
        const int d = across ? 200 : 100;
        EXPECT_EQ(across ? led.r.usedWidth : led.r.usedHeight, (across ? plain.r.usedWidth : plain.r.usedHeight) + d);
        if (across) {
            const int blankFrom = c.reverse ? plain.picture.width : 0;
            EXPECT_EQ(InkedColumns(led.picture, blankFrom, blankFrom + d), 0) << c.reverse;
            EXPECT_GT(InkedColumns(led.picture, c.reverse ? 0 : d, led.picture.width), 10);
        } else {
            const int blankFrom = c.reverse ? plain.picture.height : 0;
            EXPECT_EQ(InkedRows(led.picture, blankFrom, blankFrom + d), 0) << c.reverse;
            EXPECT_GT(InkedRows(led.picture, c.reverse ? 0 : d, led.picture.height), 10);
        }
    }
    // A still picture never gets one.
    RasteriseObject object = Object(200, 100, 1);
    object.leadInPending = 1;
    EXPECT_FALSE(Draw(Rtf("Lead"), object, true).r.leadInDone);
}

TEST(Rasterise, StillReverseCrawlIsRightAligned) {
    RasteriseObject object = Object(600, 60, 1);
    object.reverse = 1;
    const Strip s = Draw(Rtf("Right"), object, true);
    ASSERT_TRUE(s.r.done);
    EXPECT_EQ(s.picture.width, 600);
    EXPECT_EQ(InkedColumns(s.picture, 0, 450), 0);
    EXPECT_GT(InkedColumns(s.picture, 580, 600), 0);
    object.reverse = 0;
    const Strip left = Draw(Rtf("Right"), object, true);
    EXPECT_GT(InkedColumns(left.picture, 0, 20), 0);
    EXPECT_EQ(InkedColumns(left.picture, 150, 600), 0);
}

// Long texts are laid out a window at a time; the strips must give what the whole
// text laid out at once gives.

TEST(Rasterise, LongCrawlGoesOnWindowByWindowAndLosesNothing) {
    const QByteArray rtf = Rtf(Words(2500));  // some 20000 characters, 300000 pixels
    CRichEditExCtrl whole(1, true);
    whole.StreamIn(rtf);
    whole.document.setTextWidth(-1);
    const double width = whole.document.documentLayout()->documentSize().width();
    CRichEditTextRenderer renderer;
    int start = 0, strips = 0, characters = 0;
    double total = 0;
    while (strips < 100) {
        const Strip s = Draw(rtf, Object(1920, 60, 1), false, start, &renderer);
        ASSERT_TRUE(s.r.done);
        ++strips;
        characters = s.r.characters;
        // Only a window of the line was laid out, not all of it.
        EXPECT_LT(renderer.singleLine->TextLength(), 5000);
        ASSERT_GT(s.next, start);
        total += s.r.usedWidth;
        start = s.next;
        if (start >= characters) break;
    }
    EXPECT_EQ(characters, whole.TextLength());
    EXPECT_EQ(start, characters);
    EXPECT_GE(strips, 9);
    // The strips abut: together they are as wide as the whole line (each rounded).
    EXPECT_NEAR(total, width, strips + 2);
}

TEST(Rasterise, LongRollBreaksItsLinesAsTheWholeTextWould) {
    // One indented paragraph of some 250000 characters in 4-point text: a window
    // holds fewer lines than a strip could, so each strip ends where its window
    // does, and the next windows begin in the middle of the paragraph.
    const QByteArray rtf = Rtf("\\fi720\\fs8 " + Words(26000));
    CRichEditExCtrl whole(1, false);
    whole.StreamIn(rtf);
    whole.document.setTextWidth(1600);
    std::set<int> lineStarts;
    for (QTextBlock b = whole.document.begin(); b.isValid(); b = b.next()) {
        whole.document.documentLayout()->blockBoundingRect(b);
        for (int k = 0; k < b.layout()->lineCount(); ++k) lineStarts.insert(b.position() + b.layout()->lineAt(k).textStart());
    }
    CRichEditTextRenderer renderer;
    int start = 0, strips = 0;
    while (strips < 50) {
        const Strip s = Draw(rtf, Object(1600, 300, 2), false, start, &renderer);
        ASSERT_TRUE(s.r.done);
        ++strips;
        EXPECT_LT(renderer.multiLine->TextLength(), 70000);
        EXPECT_EQ(InkedRows(s.picture, s.picture.height - 1, s.picture.height), 0);  // whole lines
        ASSERT_GT(s.next, start);
        start = s.next;
        if (start >= s.r.characters) break;
        EXPECT_EQ(lineStarts.count(start), 1u) << "strip " << strips << " ended at " << start << ", no line's start";
    }
    EXPECT_GE(strips, 4);
    EXPECT_EQ(start, whole.TextLength());
}

TEST(Rasterise, LineWithNoPlaceToBreakIsLaidOutAWindowAtATime) {
    // Encoded data in a text file: 300000 characters with no place to break them,
    // whose layout whole would cost far more than its length.
    QByteArray line;
    while (line.size() < 300000) line += "abcdefgh";
    CRichEditTextRenderer renderer;
    const Strip s = Draw(Rtf(line), Object(600, 200), false, 0, &renderer);
    ASSERT_TRUE(s.r.done);
    EXPECT_GT(s.r.characters, 300000);
    EXPECT_LT(renderer.multiLine->TextLength(), 70000);
    EXPECT_EQ(s.picture.width, 600);
    EXPECT_GT(InkedRows(s.picture, 0, s.picture.height), 150);  // the rectangle is full of the broken line
    EXPECT_GT(s.next, 0);
    EXPECT_LT(s.next, s.r.characters);
}

TEST(Rasterise, HostileSizesDrawWhatFits) {
    // An absurd font size in a roll still moves on, line by line.
    const Strip huge = Draw("{\\rtf1 {\\fs999999 A}\\par B\\par}", Object(300, 200, 2), false);
    ASSERT_TRUE(huge.r.done);
    EXPECT_LE(huge.picture.height, 2048);
    EXPECT_GT(huge.next, 0);
    // An object with no area draws nothing.
    EXPECT_FALSE(Draw(Rtf("Nothing"), Object(0, 0), false).r.done);
}
