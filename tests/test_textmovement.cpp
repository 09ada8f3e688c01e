// Text in motion: chunks fed through the text texture's ring, the window moving by
// the speed table, and the text thread's chunk step.
#include "playback/TextMovement.h"
#include "playback/TextSource.h"
#include "playback/Timeline.h"
#include "media/MemoryTexture.h"
#include "tests/TextRendererFixture.h"

#include <QDir>
#include <cstring>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr int Period50 = 20000;
constexpr int Period60 = 16667;

// A chunk whose every pixel tells its own column (blue, green) and row (red).
CPicture CodedChunk(int width, int height) {
    CPicture p;
    p.Resize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* px = p.Pixel(x, y);
            px[0] = uint8_t(x & 0xFF);
            px[1] = uint8_t((x >> 8) & 0xFF);
            px[2] = uint8_t(y);
            px[3] = 255;
        }
    return p;
}

int ColumnAt(const CMemoryTexture& t, int x, int y) {
    const uint8_t* px = t.Pixels().data() + size_t(y) * size_t(t.Pitch()) + size_t(x) * 4;
    if (px[3] == 0) return -1;  // transparent: no text column there
    return px[0] | (px[1] << 8);
}

int RowAt(const CMemoryTexture& t, int x, int y) {
    const uint8_t* px = t.Pixels().data() + size_t(y) * size_t(t.Pitch()) + size_t(x) * 4;
    return px[3] == 0 ? -1 : px[2];
}

const CMemoryTexture& TextOf(const CFrame& f) { return dynamic_cast<const CMemoryTexture&>(*f.TextTexture); }

QByteArray Rtf(const char* body) {
    return QByteArray("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\fs40 ") + body + "\\par}";
}

class TextMovement : public ::testing::Test {
protected:
    

    // One output frame as the engine runs it: the text thread's passes until it is
    // idle (when it runs), the countdown to the next source test, then the frame.
    int Frame(CFrame& f, int elapsed) {
        if (!f.Playing.load()) return 0;
        if (textThread)
            for (int pass = 0; pass < 100 && InvokeRender(f, TextRenderer()); ++pass) {
            }
        if (f.RecheckCountdown.load() > 0 && f.RecheckCountdown.fetch_sub(1) == 1) f.RecheckDue = 1;
        if (!f.BeginPresent()) return 0;
        record = FramePresentation{};
        const int alive = PresentFrame(f, record, device, elapsed, &phase);
        f.EndPresent();
        if (!alive) f.Stop();
        return alive;
    }

    // Plays an object and hands it one chunk as the text thread would.
    void PlayWithChunk(CFrame& f, int width, int height, int noMoreText = 1) {
        textThread = false;
        f.Play();
        f.SourceReady = 1;
        f.ChunkPicture = CodedChunk(width, height);
        f.Chunk = {0, 0, width, height};
        f.Ring = {0, 0, f.TextureWidth, f.TextureHeight};
        f.NoMoreText = noMoreText;
        f.TextPresent = 1;
        f.ChunkPending = 1;
        f.ChunksRendered = 1;
    }

    CMemoryTextureDevice device;
    FramePresentation record;
    TimelinePhase phase = TimelinePhase::Waiting;
    bool textThread = true;
};

// Replaces a source file's content, as an operator's tool would.
void Rewrite(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

CFrame Crawl(int w, int h, int speed, int period) {
    CFrame f;
    f.Rect = {0, 0, w, h};
    f.Movement = MovementHorizontal;
    f.Speed = speed;
    f.FramePeriod = period;
    f.Loop = 0;
    return f;
}

}  // namespace

TEST_F(TextMovement, TextureSizeAndLeadFollowTheMovement) {
    struct Case {
        int movement, w, h, textureWidth, textureHeight, lead;
    } cases[] = {
        {MovementFixed, 400, 60, 400, 60, 0},
        {MovementHorizontal, 400, 60, 600, 60, 100},
        {MovementHorizontal, 1920, 56, 2048, 56, 64},
        {MovementHorizontal, 401, 60, 601, 60, 100},
        {MovementVertical, 400, 300, 400, 450, 75},
        {MovementVertical, 400, 1800, 400, 2048, 124},
    };
    for (const Case& c : cases) {
        CFrame f;
        f.Rect = {10, 20, 10 + c.w, 20 + c.h};
        f.Movement = c.movement;
        SizeTextTexture(f);
        EXPECT_EQ(f.TextureWidth, c.textureWidth) << c.movement << " " << c.w;
        EXPECT_EQ(f.TextureHeight, c.textureHeight) << c.movement << " " << c.h;
        EXPECT_EQ(f.Lead, c.lead) << c.movement << " " << c.w;
    }
}

TEST_F(TextMovement, SpeedTableGivesPixelsPerFrames) {
    struct Case {
        int speed, period, elapsed, frames, pixels;
    } cases[] = {
        {1, Period50, Period50, 100, 10},      // one pixel every 10 frames
        {9, Period50, Period50, 10, 5},        // one every 2 frames
        {10, Period50, Period50, 50, 50},      // one per frame: 50 a second
        {5, Period60, Period60, 60, 10},       // one every 6 frames at 60 Hz
        {40, Period50, Period50, 1, 31},
        {40, Period50, 2 * Period50, 1, 62},   // a late frame catches up
        {10, Period50, 29999, 1, 1},           // below one and a half periods: one frame
        {10, Period50, 30000, 1, 2},
        {10, Period50, 100, 1, 1},             // at least one frame
    };
    for (const Case& c : cases) {
        CFrame f = Crawl(400, 60, c.speed, c.period);
        SizeTextTexture(f);
        f.Copied = 1000000;
        for (int k = 0; k < c.frames; ++k) MoveText(f, record, c.elapsed);
        EXPECT_EQ(f.Scrolled, c.pixels) << "speed " << c.speed << " elapsed " << c.elapsed;
    }
}

TEST_F(TextMovement, LongCrawlFeedsTheRingAndStopsWithItsEndAtTheRightEdge) {
    CFrame f = Crawl(400, 60, 10, Period50);
    PlayWithChunk(f, 3000, 60);
    ASSERT_EQ(f.TextureWidth, 600);
    ASSERT_EQ(f.Lead, 100);
    ASSERT_TRUE(Frame(f, Period50));
    EXPECT_EQ(f.Copied, 600);  // the first copy fills the ring
    int lastScrolled = -1;
    for (int k = 0; k < 3000 && f.Scrolled != lastScrolled; ++k) {
        lastScrolled = f.Scrolled;
        ASSERT_TRUE(Frame(f, Period50));
        // Never more text in the ring than it holds, and a copy whenever the
        // window has passed another Lead of columns.
        ASSERT_LE(f.Copied - f.Scrolled, 600);
        if (f.Copied < 3000) {
            ASSERT_GE(f.Copied - f.Scrolled, 500 - 1);
        }
        // The window shows the chunk's columns from Scrolled on, wrapping in the ring.
        const int x = f.Scrolled % 600;
        for (int j : {0, 1, 199, 399})
            ASSERT_EQ(ColumnAt(TextOf(f), (x + j) % 600, 30), f.Scrolled + j) << "frame " << k << " column " << j;
        const float d = 1.0f / 600.0f;
        EXPECT_FLOAT_EQ(record.TextWindow[0], d * float(x));
        EXPECT_FLOAT_EQ(record.TextWindow[2], d * float(400 + x));
    }
    EXPECT_EQ(f.Copied, 3000);
    EXPECT_EQ(f.Scrolled, 2600);
    EXPECT_EQ(ColumnAt(TextOf(f), (2600 + 399) % 600, 0), 2999);
}

TEST_F(TextMovement, WindowShowsTheTextInOrderAcrossTheRing) {
    // A coded chunk fed through the ring; at every frame each line of the window
    // along the movement shows the text's own column (crawl) or row (roll), or
    // nothing where a short text was padded. Forward, position j of the window shows
    // text position Scrolled + j; reverse, the window's far edge shows the text's
    // end first: length - 1 - (Scrolled + extent - 1 - j).
    struct Row {
        const char* name;
        int movement, reverse, w, h, speed, length, frames;
        bool seam;    // the window must come to straddle the ring's end
        bool padded;  // a short text, padded to the object's extent
    };
    const Row rows[] = {
        {"crawl", MovementHorizontal, 0, 400, 60, 20, 1000, 80, true, false},
        {"reverse crawl", MovementHorizontal, 1, 400, 60, 20, 1000, 80, true, false},
        {"roll", MovementVertical, 0, 100, 100, 19, 250, 30, true, false},
        {"reverse roll across the seam", MovementVertical, 1, 100, 100, 19, 250, 30, true, false},
        {"short crawl", MovementHorizontal, 0, 400, 60, 20, 150, 10, false, true},
        {"short reverse crawl", MovementHorizontal, 1, 400, 60, 20, 150, 10, false, true},
        {"short roll", MovementVertical, 0, 100, 100, 19, 60, 10, false, true},
        {"short reverse roll, padded", MovementVertical, 1, 100, 100, 19, 60, 10, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const bool across = row.movement == MovementHorizontal;
        CFrame f;
        f.Rect = {0, 0, row.w, row.h};
        f.Movement = row.movement;
        f.Reverse = row.reverse;
        f.Speed = row.speed;
        f.FramePeriod = Period50;
        f.Loop = 0;
        PlayWithChunk(f, across ? row.length : row.w, across ? row.h : row.length);
        const int extent = across ? row.w : row.h;
        const int u = across ? f.TextureWidth : f.TextureHeight;
        bool straddled = false, sawPadding = false;
        int shown = 0;
        for (int k = 0; k < row.frames; ++k) {
            ASSERT_TRUE(Frame(f, Period50)) << "frame " << k;
            if (!record.Text) continue;
            ++shown;
            const int s = f.Scrolled;
            const int x = row.reverse ? ((2 * u - extent - s % u) % u + u) % u : s % u;
            straddled = straddled || x + extent > u;
            const int lo = across ? 0 : 1, hi = across ? 2 : 3;
            EXPECT_FLOAT_EQ(record.TextWindow[lo], float(x) / float(u)) << "frame " << k;
            EXPECT_FLOAT_EQ(record.TextWindow[hi], float(x + extent) / float(u)) << "frame " << k;
            for (int j = 0; j < extent; ++j) {
                int want = row.reverse ? row.length - 1 - (s + extent - 1 - j) : s + j;
                if (want < 0 || want >= row.length) want = -1;
                sawPadding = sawPadding || want == -1;
                const int at = (x + j) % u;
                const int got = across ? ColumnAt(TextOf(f), at, row.h / 2) : RowAt(TextOf(f), row.w / 2, at);
                ASSERT_EQ(got, want < 0 ? -1 : across ? want : want & 0xFF) << "frame " << k << " line " << j;
            }
        }
        EXPECT_EQ(shown, row.frames);
        EXPECT_EQ(straddled, row.seam);
        EXPECT_EQ(sawPadding, row.padded);
        if (row.padded) {
            EXPECT_EQ(f.Scrolled, 0) << "a short text stands still";
            EXPECT_EQ(f.Copied, extent);
        } else {
            // Through the whole text: it stands once less than a frame's step is left.
            EXPECT_EQ(f.Copied, row.length);
            EXPECT_LE(f.Scrolled, row.length - extent);
            EXPECT_GT(f.Scrolled, row.length - extent - (row.speed - 9));
        }
    }
}

TEST_F(TextMovement, ReverseCrawlEntersFromTheLeft) {
    CFrame f = Crawl(400, 60, 20, Period50);
    f.Reverse = 1;
    PlayWithChunk(f, 1000, 60);
    for (int k = 0; k < 40; ++k) {
        ASSERT_TRUE(Frame(f, Period50));
        const int u = 600, s = f.Scrolled;
        const int x = ((2 * u - 400 - s % u) % u + u) % u;
        // The window's right edge shows the text's end first, then ever earlier
        // columns: the text moves to the right.
        for (int j : {0, 200, 399})
            ASSERT_EQ(ColumnAt(TextOf(f), (x + j) % u, 10), 999 - (s + 399 - j)) << "frame " << k;
    }
    EXPECT_GT(f.Scrolled, 0);
}

TEST_F(TextMovement, ShortTextIsPaddedToTheWidthAndStandsStill) {
    CFrame f = Crawl(400, 60, 10, Period50);
    PlayWithChunk(f, 150, 60);
    for (int k = 0; k < 10; ++k) ASSERT_TRUE(Frame(f, Period50));
    EXPECT_EQ(f.Copied, 400);
    EXPECT_EQ(f.Scrolled, 0);
    EXPECT_EQ(ColumnAt(TextOf(f), 149, 0), 149);
    EXPECT_EQ(ColumnAt(TextOf(f), 150, 0), -1);
    EXPECT_EQ(ColumnAt(TextOf(f), 399, 59), -1);
    EXPECT_NE(record.Text, nullptr);
}

TEST_F(TextMovement, PausedCrawlStandsAndResumesWhereItStood) {
    CFrame f = Crawl(400, 60, 10, Period50);
    PlayWithChunk(f, 3000, 60);
    for (int k = 0; k < 20; ++k) Frame(f, Period50);
    const int at = f.Scrolled;
    const float window = record.TextWindow[0];
    f.TogglePause();
    for (int k = 0; k < 20; ++k) Frame(f, Period50);
    EXPECT_EQ(f.Scrolled, at);
    EXPECT_FLOAT_EQ(record.TextWindow[0], window);
    f.TogglePause();
    Frame(f, Period50);
    EXPECT_EQ(f.Scrolled, at + 1);
}

TEST_F(TextMovement, ShowWhileTextMovesEndsTheObjectOnceItsTextHasPassed) {
    CFrame f = Crawl(400, 60, 40, Period50);
    f.ShowWhileTextMoves = 1;
    f.OutEffectDuration = 200;
    f.FadeOut = 1;
    PlayWithChunk(f, 1000, 60);
    ASSERT_EQ(f.EndTime, 0);
    std::vector<TimelinePhase> phases;
    int frames = 0;
    while (Frame(f, Period50) && frames < 500) {
        ++frames;
        if (phases.empty() || phases.back() != phase) phases.push_back(phase);
    }
    EXPECT_FALSE(f.Playing.load());
    // Moving 31 a frame, it stood still once fewer than 31 columns were left.
    EXPECT_LE(f.Scrolled, 600);
    EXPECT_GT(f.Scrolled, 600 - 31);
    EXPECT_EQ(phases, (std::vector<TimelinePhase>{TimelinePhase::Shown, TimelinePhase::Out}));
}

TEST_F(TextMovement, ShowWhileTextMovesRepeatsOnceItsTextHasPassedAndPlayedOut) {
    // A ticker meant to crawl once, play out and start again.
    CFrame f = Crawl(300, 50, 40, Period50);
    f.ShowWhileTextMoves = 1;
    f.Repeat = 1;
    f.OutEffectDuration = 200;
    f.FadeOut = 1;
    f.RichText = Rtf("Ticker +++ the news of the day crawls once +++");
    f.Play();
    std::vector<TimelinePhase> phases;
    std::vector<int> scrolledAtEnd;
    int generation = f.TextGeneration.load();
    int scrolled = 0;
    for (int k = 0; k < 1000 && scrolledAtEnd.size() < 3; ++k) {
        ASSERT_TRUE(Frame(f, Period50)) << "frame " << k;
        if (phases.empty() || phases.back() != phase) phases.push_back(phase);
        if (f.TextGeneration.load() != generation) {  // a repetition began
            generation = f.TextGeneration.load();
            scrolledAtEnd.push_back(scrolled);
        }
        scrolled = f.Scrolled;
    }
    ASSERT_EQ(scrolledAtEnd.size(), 3u);
    EXPECT_TRUE(f.Playing.load());
    EXPECT_EQ(f.Ending.load(), 0);
    // Each pass crawled the whole text before it played out.
    for (int at : scrolledAtEnd) EXPECT_EQ(at, scrolledAtEnd.front());
    EXPECT_GT(scrolledAtEnd.front(), 0);
    const std::vector<TimelinePhase> pass{TimelinePhase::Shown, TimelinePhase::Out, TimelinePhase::Waiting};
    std::vector<TimelinePhase> want;
    for (int k = 0; k < 3; ++k) want.insert(want.end(), pass.begin(), pass.end());
    EXPECT_EQ(phases, want);

    // Ended by the operator, it plays out and stops for good.
    f.End();
    for (int k = 0; k < 1000 && Frame(f, Period50); ++k) {
    }
    EXPECT_FALSE(f.Playing.load());
}

TEST_F(TextMovement, RollFeedsRowsAndWrapsAlongY) {
    CFrame f;
    f.Rect = {0, 0, 100, 200};
    f.Movement = MovementVertical;
    f.Speed = 19;  // ten rows a frame
    f.FramePeriod = Period50;
    f.Loop = 0;
    PlayWithChunk(f, 100, 250);  // rows coded in red (mod 256)
    ASSERT_EQ(f.TextureHeight, 300);
    for (int k = 0; k < 10; ++k) ASSERT_TRUE(Frame(f, Period50));
    EXPECT_EQ(f.Copied, 250);
    EXPECT_EQ(f.Scrolled, 50);  // stops once the last 200 rows are in view
    for (int j : {0, 100, 199}) EXPECT_EQ(RowAt(TextOf(f), 5, (50 + j) % 300), 50 + j);
    EXPECT_FLOAT_EQ(record.TextWindow[1], 50.0f / 300.0f);
    EXPECT_FLOAT_EQ(record.TextWindow[0], 0.0f);
    EXPECT_FLOAT_EQ(record.TextWindow[2], 1.0f);
}

TEST_F(TextMovement, FixedTextGoesToTheTopLeftOverTransparency) {
    CFrame f;
    f.Rect = {0, 0, 300, 100};
    f.FramePeriod = Period50;
    PlayWithChunk(f, 120, 40);
    ASSERT_TRUE(Frame(f, Period50));
    EXPECT_EQ(f.Copied, 1);
    EXPECT_FALSE(f.ChunkPending.load());
    EXPECT_EQ(ColumnAt(TextOf(f), 119, 39), 119);
    EXPECT_EQ(ColumnAt(TextOf(f), 120, 0), -1);
    EXPECT_EQ(ColumnAt(TextOf(f), 0, 40), -1);
    EXPECT_EQ(record.Text, f.TextTexture.get());
}

TEST_F(TextMovement, TextureFailuresStopTheObject) {
    for (int which = 0; which < 3; ++which) {
        CFrame f = Crawl(400, 60, 10, Period50);
        device.FailCreate = which == 0 ? TextureResult::Failed : TextureResult::Ok;
        device.FailLock = which == 1 ? TextureResult::Failed : TextureResult::Ok;
        device.FailUnlock = which == 2 ? TextureResult::Failed : TextureResult::Ok;
        f.BackColor = 0;  // no background texture to fail first
        PlayWithChunk(f, 1000, 60);
        EXPECT_EQ(Frame(f, Period50), 0) << which;
        EXPECT_FALSE(f.Playing.load());
    }
}

// The real text thread and rasteriser.

TEST_F(TextMovement, LoopingOwnTextIsCopiedAgainWithoutRenderingIt) {
    CFrame f = Crawl(300, 50, 40, Period50);
    f.Loop = 1;
    f.RichText = Rtf("Looping news");
    f.Play();
    CPicture strip;
    int next = 0;
    ASSERT_TRUE(RasteriseFrame(f, strip, next, TextRenderer(), false).done);
    for (int k = 0; k < 200; ++k) ASSERT_TRUE(Frame(f, Period50));
    EXPECT_EQ(f.ChunksRendered.load(), 1);
    EXPECT_GT(f.Scrolled, 3 * strip.width);
    // The window shows the strip again and again.
    const CMemoryTexture& t = TextOf(f);
    const int x = f.Scrolled % f.TextureWidth;
    int compared = 0;
    for (int j = 0; j < 300; j += 7) {
        const int column = (f.Scrolled + j) % strip.width;
        for (int y = 0; y < strip.height; y += 3) {
            const uint8_t* want = strip.Pixel(column, y);
            const uint8_t* got = t.Pixels().data() + size_t(y) * size_t(t.Pitch()) + size_t((x + j) % f.TextureWidth) * 4;
            ASSERT_EQ(std::memcmp(want, got, 4), 0) << "column " << j << " row " << y;
            ++compared;
        }
    }
    EXPECT_GT(compared, 100);
}

TEST_F(TextMovement, StartFromEdgeShowsABlankObjectFirst) {
    CFrame f = Crawl(300, 50, 10, Period50);
    f.StartFromEdge = 1;
    f.RichText = Rtf("Enters from the right");
    f.Play();
    ASSERT_TRUE(Frame(f, Period50));
    EXPECT_EQ(f.EdgeLeadDone, 1);
    const CMemoryTexture& t = TextOf(f);
    const auto opaqueColumns = [&](int from, int to) {
        int n = 0;
        for (int j = from; j < to; ++j)
            for (int y = 0; y < 50; ++y)
                if (t.Pixels()[size_t(y) * size_t(t.Pitch()) + size_t((f.Scrolled + j) % f.TextureWidth) * 4 + 3]) {
                    ++n;
                    break;
                }
        return n;
    };
    EXPECT_EQ(opaqueColumns(0, 299), 0);  // the lead-in fills the window
    for (int k = 0; k < 60; ++k) ASSERT_TRUE(Frame(f, Period50));
    EXPECT_EQ(opaqueColumns(0, 200), 0);
    EXPECT_GT(opaqueColumns(250, 300), 20);  // the text has come in at the right edge
}

TEST_F(TextMovement, LongRollIsRenderedInStripsOfAtMost2048Rows) {
    CFrame f;
    f.Rect = {0, 0, 400, 300};
    f.Movement = MovementVertical;
    f.Speed = 40;
    f.FramePeriod = Period50;
    f.Loop = 0;
    QByteArray body;
    for (int k = 0; k < 120; ++k) body += "Line " + QByteArray::number(k) + "\\par ";
    f.RichText = Rtf(body.constData());
    f.Play();
    std::vector<int> heights;
    int rendered = 0;
    for (int k = 0; k < 2000 && f.Playing.load(); ++k) {
        Frame(f, Period50);
        if (f.ChunksRendered.load() != rendered) {
            rendered = f.ChunksRendered.load();
            heights.push_back(f.Chunk[3]);
        }
    }
    ASSERT_GE(heights.size(), 2u);
    int total = 0;
    for (int h : heights) {
        EXPECT_LE(h, 2048);
        EXPECT_GT(h, 0);
        total += h;
    }
    EXPECT_EQ(f.Copied, total);
    // 31 rows a frame: it stops with fewer than 31 rows of text left below the window.
    EXPECT_LE(f.Scrolled, total - 300);
    EXPECT_GT(f.Scrolled, total - 300 - 31);
}

TEST_F(TextMovement, FixedFileTextIsRenderedAgainWhenTheFileChanges) {
    QTemporaryDir dir;
    const QString path = dir.filePath("score.txt");
    const auto write = [&](const QByteArray& text) { Rewrite(path, text); };
    write("1");
    CFrame f;
    f.Rect = {0, 0, 300, 60};
    f.FramePeriod = Period50;
    f.TextSource = SourceTextFile;
    f.FileName = path;
    f.MonitorFileChanges = 1;
    f.RichText = Rtf("%1%");
    f.Play();
    ASSERT_TRUE(Frame(f, Period50));
    const auto inked = [&] {
        const std::vector<uint8_t>& pixels = TextOf(f).Pixels();
        int n = 0;
        for (size_t k = 3; k < pixels.size(); k += 4) n += pixels[k] != 0;
        return n;
    };
    const int before = inked();
    EXPECT_EQ(f.ChunksRendered.load(), 1);
    EXPECT_EQ(f.RecheckCountdown.load(), 49);  // tested once a second at 50 Hz
    write("1000");
    for (int k = 0; k < 60; ++k) ASSERT_TRUE(Frame(f, Period50));
    EXPECT_EQ(f.ChunksRendered.load(), 2);
    EXPECT_GT(inked(), before * 2);  // "1000" in place of "1"
    EXPECT_FALSE(f.ChunkPending.load());
}

TEST_F(TextMovement, TickingTimerFillsTheTemplateReadOncePerRun) {
    CFrame f;
    f.Rect = {0, 0, 300, 60};
    f.FramePeriod = Period50;
    f.TextSource = SourceTimer;
    f.TimerFormat = QStringLiteral("%M:%S");
    f.TimerStart = 0;
    f.TimerStop = 0;
    f.RichText = Rtf("%1%");
    f.Play();
    // The text texture in the middle of each of the first four seconds.
    std::vector<std::vector<uint8_t>> seconds;
    for (int k = 0; k < 180; ++k) {
        ASSERT_TRUE(Frame(f, Period50));
        if (k % 50 == 25) seconds.push_back(TextOf(f).Pixels());
    }
    ASSERT_EQ(seconds.size(), 4u);
    EXPECT_EQ(f.LastValue, QStringLiteral("00:03"));
    EXPECT_GE(f.ChunksRendered.load(), 4);
    for (size_t k = 1; k < seconds.size(); ++k) EXPECT_NE(seconds[k], seconds[k - 1]) << "second " << k;
    EXPECT_EQ(TextSource::TemplateOf(f).reads, 1);

    // Played again with other rich text: the run reads the new template once.
    f.Stop();
    f.RichText = Rtf("Elapsed %1%");
    f.Play();
    EXPECT_EQ(f.TextCache.get(), nullptr);
    for (int k = 0; k < 60; ++k) ASSERT_TRUE(Frame(f, Period50));
    EXPECT_EQ(f.LastValue, QStringLiteral("00:01"));
    EXPECT_EQ(TextSource::TemplateOf(f).reads, 1);
    EXPECT_EQ(TextSource::TemplateOf(f).bytes, f.RichText);
}

TEST_F(TextMovement, CsvRowsFollowEachOtherInACrawl) {
    QTemporaryDir dir;
    const QString path = dir.filePath("table.csv");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Name;Score\r\nAnna;3\r\nBen;12\r\nCleo;7\r\n");
    }
    CFrame f = Crawl(300, 50, 40, Period50);
    f.TextSource = SourceCsvFile;
    f.FileName = path;
    f.FirstLineIsHeader = 1;
    f.RichText = Rtf("%Name%: %Score%   ");
    f.Play();
    for (int k = 0; k < 10; ++k) ASSERT_TRUE(Frame(f, Period50));
    EXPECT_EQ(f.ChunksRendered.load(), 3);  // one chunk per row
    EXPECT_EQ(f.Table.CurrentRow, 3);
    EXPECT_TRUE(f.NoMoreText.load());
}

TEST_F(TextMovement, MissingSourceShowsNothingAndEndsAtOnce) {
    CFrame f = Crawl(300, 50, 10, Period50);
    f.TextSource = SourceTextFile;
    f.FileName = QDir::temp().filePath("corvane-no-such-file.txt");
    f.RichText = Rtf("%1%");
    f.Play();
    for (int k = 0; k < 5; ++k) ASSERT_TRUE(Frame(f, Period50));
    EXPECT_TRUE(f.TextError.load());
    EXPECT_EQ(f.ChunksRendered.load(), 0);
    EXPECT_EQ(record.Text, nullptr);
    EXPECT_EQ(f.Clock.load(), 0);
    f.End();
    EXPECT_EQ(Frame(f, Period50), 0);
}

TEST_F(TextMovement, RepetitionStartsTheTextAgainWithAnEmptyRing) {
    CFrame f = Crawl(300, 50, 20, Period50);
    f.Loop = 1;
    f.Repeat = 1;
    f.ShowIndefinitely = 0;
    f.ShowFor = 400;
    f.RichText = Rtf("Again and again");
    f.Play();
    for (int k = 0; k < 20; ++k) ASSERT_TRUE(Frame(f, Period50));
    const int generation = f.TextGeneration.load();
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(Frame(f, Period50));
    EXPECT_GT(f.TextGeneration.load(), generation);
    EXPECT_LT(f.Scrolled, 100);
    EXPECT_EQ(f.ChunksRendered.load(), 1);
}

TEST_F(TextMovement, LoopingFileCrawlIsReadAgainAtEachPass) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ticker.txt");
    const auto write = [&](const QByteArray& text) { Rewrite(path, text); };
    write("Short");
    CFrame f = Crawl(200, 50, 40, Period50);
    f.Loop = 1;
    f.TextSource = SourceTextFile;
    f.FileName = path;
    f.RichText = Rtf("%1%");
    f.Play();
    ASSERT_TRUE(Frame(f, Period50));
    const int shortWidth = f.Chunk[2];
    // Each pass of the text renders the file again, changed or not.
    for (int k = 0; k < 40; ++k) ASSERT_TRUE(Frame(f, Period50));
    const int passes = f.ChunksRendered.load();
    EXPECT_GE(passes, 3);
    EXPECT_EQ(f.Chunk[2], shortWidth);
    write("A much longer line of news");
    for (int k = 0; k < 40; ++k) ASSERT_TRUE(Frame(f, Period50));
    EXPECT_GT(f.ChunksRendered.load(), passes);
    EXPECT_GT(f.Chunk[2], shortWidth * 3);  // the new content
}

TEST_F(TextMovement, CrawlLongerThanOneStripGoesOnInTheNext) {
    CFrame f = Crawl(400, 60, 40, Period50);
    QByteArray words;
    for (int k = 0; k < 5000; ++k) words += "word" + QByteArray::number(k) + ' ';
    f.RichText = Rtf(words.constData());
    f.Play();
    ASSERT_TRUE(Frame(f, Period50));
    EXPECT_LE(f.Chunk[2], 32000);  // the first strip
    EXPECT_GT(f.Chunk[2], 31000);
    EXPECT_FALSE(f.NoMoreText.load());
    EXPECT_GT(f.NextChar.load(), 0);
    const int firstStrip = f.Chunk[2];
    for (int k = 0; k < 1200 && f.ChunksRendered.load() < 2; ++k) ASSERT_TRUE(Frame(f, Period50));
    EXPECT_EQ(f.ChunksRendered.load(), 2);
    for (int k = 0; k < 50; ++k) ASSERT_TRUE(Frame(f, Period50));
    EXPECT_GT(f.Copied, firstStrip);  // the second strip follows in the ring
    EXPECT_GT(f.Scrolled, firstStrip - 600);
}
