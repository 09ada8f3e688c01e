// The render engine on OpenGL (llvmpipe, surfaceless EGL): compositing against the
// blend formulas, the drop shadow, the keyer packing and the plain output, and the
// engine's life.
#include "playback/PlayCommand.h"
#include "playback/TextMovement.h"
#include "render/Render.h"
#include "media/MemoryTexture.h"
#include "text/RichEdit.h"

#include <gtest/gtest.h>

#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int Period = 20000;

struct Captured {
    std::vector<uint8_t> rgba;  // premultiplied composed picture, or the output
    int width = 0, height = 0;
    const uint8_t* At(int x, int y) const { return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
};

// What a run of the engine left: the last frame's composed picture and output,
// and its counts.
struct Played {
    Captured composed, output;
    RenderStatus status = RenderStatus::Ok;
    int frames = 0;           // frames that reached afterFrame
    int framesRendered = 0;   // the engine's count
    int uploads = 0;          // vertex uploads
    int textureUploads = 0;
    RenderStatistics statistics;
};

// Plays the page (from frame 0) for frames frames of 20 ms at the render size
// width x height into a target of that size (or targetWidth x targetHeight);
// after runs on the render thread after every frame.
Played Play(CFrameSet& page, int frames, RenderOptions options = {}, int width = 320, int height = 240,
            std::function<void(int, CRender&)> after = nullptr, int targetWidth = 0, int targetHeight = 0,
            bool discardsFrame = false) {
    Played run;
    options.renderWidth = width;
    options.renderHeight = height;
    options.synchronousText = true;
    auto timer = std::make_unique<CVirtualTimer>();
    CVirtualTimer* clock = timer.get();
    options.beforeFrame = [&, clock](int frame) {
        if (frame >= frames) return false;
        clock->now = 1 + int64_t(frame) * Period;
        if (frame == 0) ApplyCommand(page, PlayCommand::Play, CommandTarget::Every());  // the page plays once the output is on
        return true;
    };
    options.afterFrame = [&](int frame, CRender& engine) {
        run.frames = frame + 1;
        if (after) after(frame, engine);
        if (frame != frames - 1) return;
        engine.ReadComposed(run.composed.rgba, run.composed.width, run.composed.height);
        engine.ReadOutput(run.output.rgba, run.output.width, run.output.height);
    };
    {
        auto target = std::make_unique<COffscreenTarget>(targetWidth ? targetWidth : width,
                                                         targetHeight ? targetHeight : height);
        target->discardsFrame = discardsFrame;
        CRender engine(page, options, std::move(target), std::move(timer));
        while (engine.status.load() == RenderStatus::Ok) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        run.status = engine.status.load();
        run.framesRendered = engine.framesRendered.load();
        run.uploads = engine.vertexUploads.load();
        run.textureUploads = engine.textureUploads.load();
        run.statistics = engine.Statistics();
    }
    return run;
}

// The shadow's 13 samples, a diamond of radius 2 (x, y in texels).
constexpr int ShadowTaps[13][2] = {{0, -2}, {-1, -1}, {0, -1}, {1, -1}, {-2, 0}, {-1, 0}, {0, 0},
                                   {1, 0},  {2, 0},   {-1, 1}, {0, 1},  {1, 1},  {0, 2}};

CFrame* AddColour(CFrameSet& page, CRect rect, uint32_t colour) {
    auto object = std::make_unique<CFrame>();
    object->Rect = rect;
    object->BackColor = colour;
    object->FramePeriod = Period;
    CFrame* raw = object.get();
    page.Add(object);
    return raw;
}

void ExpectPixel(const Captured& c, int x, int y, int r, int g, int b, int a, int tolerance = 1) {
    const uint8_t* p = c.At(x, y);
    EXPECT_NEAR(p[0], r, tolerance) << x << "," << y;
    EXPECT_NEAR(p[1], g, tolerance) << x << "," << y;
    EXPECT_NEAR(p[2], b, tolerance) << x << "," << y;
    EXPECT_NEAR(p[3], a, tolerance) << x << "," << y;
}

// A colour's levels in BT.709 with studio levels on 8 bits, from its straight
// R'G'B' and opacity (0..1): Y' = 0.2126 R' + 0.7152 G' + 0.0722 B',
// Cb = (B' - Y') / 1.8556, Cr = (R' - Y') / 1.5748; Y = 16 + 219 Y',
// C = 128 + 224 C, and the key as a luma of the opacity. Not rounded.
struct Studio {
    double y, cb, cr, key;
};

Studio Bt709Studio(const std::array<double, 4>& rgba) {
    const double luma = 0.2126 * rgba[0] + 0.7152 * rgba[1] + 0.0722 * rgba[2];
    return {16.0 + 219.0 * luma, 128.0 + 224.0 * (rgba[2] - luma) / 1.8556, 128.0 + 224.0 * (rgba[0] - luma) / 1.5748,
            16.0 + 219.0 * rgba[3]};
}

// Qt's messages from every thread while it is alive.
class QtMessages {
public:
    QtMessages() {
        std::lock_guard guard(lock_);
        seen_.clear();
        previous_ = qInstallMessageHandler(&QtMessages::Handle);
    }
    ~QtMessages() { qInstallMessageHandler(previous_); }
    std::vector<std::string> Containing(const char* piece) const {
        std::lock_guard guard(lock_);
        std::vector<std::string> found;
        for (const std::string& m : seen_)
            if (m.find(piece) != std::string::npos) found.push_back(m);
        return found;
    }

private:
    static void Handle(QtMsgType, const QMessageLogContext&, const QString& message) {
        std::lock_guard guard(lock_);
        seen_.push_back(message.toStdString());
    }
    static inline std::mutex lock_;
    static inline std::vector<std::string> seen_;
    QtMessageHandler previous_ = nullptr;
};

class RenderEngine : public ::testing::Test {
protected:
    
};

}  // namespace

TEST_F(RenderEngine, ComposesPremultipliedOverTheBackColour) {
    CFrameSet page;
    AddColour(page, {10, 10, 110, 60}, 0xFF0000FF);   // opaque red (red in the low byte)
    AddColour(page, {60, 20, 160, 80}, 0x8000FF00);   // half-transparent green above it
    AddColour(page, {200, 10, 260, 40}, 0xFFFFFFFF);  // opaque white
    AddColour(page, {210, 20, 230, 30}, 0xFF000000);  // opaque black replaces it
    const Played run = Play(page, 3);
    ASSERT_EQ(run.status, RenderStatus::Stopped);  // ended on request after its frames
    ASSERT_EQ(run.frames, 3);
    const Captured& c = run.composed;
    ExpectPixel(c, 20, 30, 255, 0, 0, 255);             // red alone
    ExpectPixel(c, 80, 40, 127, 128, 0, 255);           // green at 128 over red
    ExpectPixel(c, 120, 40, 0, 128, 0, 128);            // green over nothing: premultiplied
    ExpectPixel(c, 205, 15, 255, 255, 255, 255);
    ExpectPixel(c, 215, 25, 0, 0, 0, 255);
    ExpectPixel(c, 300, 200, 0, 0, 0, 0);               // the back colour
    // Edges are exact: texel centres on pixel centres.
    ExpectPixel(c, 10, 10, 255, 0, 0, 255, 0);
    ExpectPixel(c, 9, 10, 0, 0, 0, 0, 0);
    ExpectPixel(c, 109, 15, 255, 0, 0, 255, 0);
    ExpectPixel(c, 110, 15, 0, 0, 0, 0, 0);
    ExpectPixel(c, 59, 59, 255, 0, 0, 255, 0);
    ExpectPixel(c, 59, 60, 0, 0, 0, 0, 0);
}

TEST_F(RenderEngine, FadeAlphaAndTransparentPicturesDrawAccordingly) {
    CFrameSet page;
    CFrame* fading = AddColour(page, {0, 0, 100, 100}, 0xFFFFFFFF);
    fading->InEffectDuration = 1000;
    fading->FadeIn = 1;
    // A picture whose pixels are all transparent draws nothing.
    auto picture = std::make_unique<CFrame>();
    picture->Kind = KindPicture;
    picture->Rect = {150, 0, 250, 100};
    picture->FramePeriod = Period;
    picture->PictureWidth = 100;
    picture->PictureHeight = 100;
    CPicture clear;
    clear.Resize(100, 100);
    clear.Fill(0x00FFFFFF);
    CFrameBackground frame;
    frame.Picture.Compress(clear);
    picture->Frames.push_back(frame);
    page.Add(picture);
    ApplyCommand(page, PlayCommand::Play, CommandTarget::Every());
    // Frame 0 has no elapsed time; frame k has a clock of (k - 1) x 20 ms: frame 26
    // shows the fade at 500 ms, alpha 127.
    const Played run = Play(page, 27);
    const int alpha = int(0.5f * 255.0f);
    ExpectPixel(run.composed, 50, 50, alpha, alpha, alpha, alpha);
    ExpectPixel(run.composed, 200, 50, 0, 0, 0, 0, 0);
}

TEST_F(RenderEngine, ShadowIsTheTextsAlphaBlurredAndDisplaced) {
    for (int shadow : {1, 2, 3, 4}) {
        CFrameSet page;
        auto text = std::make_unique<CFrame>();
        text->Rect = {20, 20, 220, 80};
        text->FramePeriod = Period;
        text->BackColor = 0;  // no background
        text->DropShadow = shadow;
        text->RichText = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\b\\fs48 Shadow}";
        CFrame& object = *text;
        page.Add(text);
        // The same strip as the engine's text thread makes it.
        CRichEditTextRenderer renderer;
        CPicture strip;
        int next = 0;
        ASSERT_TRUE(RasteriseFrame(object, strip, next, renderer, false).done);
        const Played run = Play(page, 2);
        const int w = shadow == 1 ? 1 : 2 * shadow - 2;
        const int shift = w - 1;
        const auto textAlpha = [&](int x, int y) {  // clamped to the 200 x 60 texture
            x = std::clamp(x, 0, 199);
            y = std::clamp(y, 0, 59);
            return x < strip.width && y < strip.height ? strip.Pixel(x, y)[3] / 255.0 : 0.0;
        };
        int checked = 0, shaded = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 200; ++x) {
                double sum = 0;
                for (const auto& t : ShadowTaps) sum += textAlpha(x - shift + t[0], y - shift + t[1]);
                const double shadowAlpha = sum / 13.0;
                const double a = textAlpha(x, y);
                const double expected = (a + shadowAlpha * (1.0 - a)) * 255.0;
                const uint8_t* p = run.composed.At(20 + x, 20 + y);
                ASSERT_NEAR(p[3], expected, 2.0) << "shadow " << shadow << " at " << x << "," << y;
                ++checked;
                if (a == 0 && shadowAlpha > 0.2) ++shaded;
            }
        EXPECT_EQ(checked, 12000);
        EXPECT_GT(shaded, 50) << shadow;
    }
}

TEST_F(RenderEngine, PacksYCbCrAInBothRanges) {
    struct Colour {
        uint32_t word;  // red in the low byte, opacity in the top byte
        int x;
    } colours[] = {{0xFFFFFFFF, 0}, {0xFF0000FF, 20}, {0xFF00FF00, 40}, {0xFFFF0000, 60}, {0x80FFFF00, 80},
                   {0x40123456, 100}};
    const auto rgba = [](uint32_t word) {
        return std::array<double, 4>{double(word & 0xFF) / 255.0, double((word >> 8) & 0xFF) / 255.0,
                                     double((word >> 16) & 0xFF) / 255.0, double(word >> 24) / 255.0};
    };
    const double INT_HALF = 0.001953125;
    for (bool full : {true, false}) {
        CFrameSet page;
        for (const Colour& c : colours) AddColour(page, {c.x, 0, c.x + 20, 10}, c.word);
        RenderOptions options;
        options.fullHdmiRange = full;
        const Played run = Play(page, 2, options, 160, 20);
        // Each pixel with what it is made of: the colour as stored (8-bit straight
        // alpha), or nothing.
        const auto at = [&](int x, int y) {
            if (y >= 10) return std::array<double, 4>{0, 0, 0, 0};
            for (const Colour& c : colours)
                if (x >= c.x && x < c.x + 20) return rgba(c.word);
            return std::array<double, 4>{0, 0, 0, 0};
        };
        const auto yc = [](const std::array<double, 4>& p) {
            return std::array<double, 4>{0.213 * p[0] + 0.715 * p[1] + 0.072 * p[2],
                                         -0.117 * p[0] - 0.394 * p[1] + 0.511 * p[2],
                                         0.511 * p[0] - 0.464 * p[1] - 0.0470 * p[2], p[3]};
        };
        for (int y : {5, 15})
            for (int x = 0; x < 140; ++x) {
                const bool even = x % 2 == 0;
                const auto mine = at(x, y), other = at(even ? x + 1 : x - 1, y);
                // Levels of 255.
                double luma, key, ch;
                if (full) {
                    const Studio s = Bt709Studio(mine), t = Bt709Studio(other);
                    luma = std::clamp(s.y, 16.0, 235.0);
                    key = std::clamp(s.key, 16.0, 235.0);
                    ch = std::clamp(even ? (s.cb + t.cb) / 2 : (s.cr + t.cr) / 2, 16.0, 240.0);
                } else {
                    const auto cur = yc(mine), pair = yc(other);
                    const double chroma = (even ? cur[1] + pair[1] : cur[2] + pair[2]) * 0.5 + INT_HALF + 0.5;
                    luma = std::clamp(cur[0] + INT_HALF, 0.0, 1.0) * 255.0;
                    key = std::clamp(cur[3] + INT_HALF, 0.0, 1.0) * 255.0;
                    ch = std::clamp(chroma, 0.0, 1.0) * 255.0;
                }
                const uint8_t* p = run.output.At(x, y);
                // The composed picture holds 8-bit premultiplied colour: a pixel of
                // low alpha comes back from it a level or two off.
                ASSERT_NEAR(p[0], luma, 2.0) << (full ? "full" : "limited") << " x " << x << " y " << y;
                ASSERT_NEAR(p[1], ch, 2.0) << (full ? "full" : "limited") << " x " << x << " y " << y;
                ASSERT_NEAR(p[2], key, 1.0) << (full ? "full" : "limited") << " x " << x << " y " << y;
            }
        // The edge cases by name: transparent, and opaque white.
        const uint8_t* nothing = run.output.At(150, 15);
        const uint8_t* white = run.output.At(2, 5);
        if (full) {
            EXPECT_EQ(nothing[0], 16);
            EXPECT_EQ(nothing[1], 128);
            EXPECT_EQ(nothing[2], 16);
            EXPECT_EQ(white[0], 235);
            EXPECT_EQ(white[2], 235);
        } else {
            EXPECT_EQ(nothing[0], 0);
            EXPECT_EQ(nothing[1], 128);
            EXPECT_EQ(nothing[2], 0);
            EXPECT_EQ(white[0], 255);
            EXPECT_EQ(white[2], 255);
        }
    }
}

TEST_F(RenderEngine, FullHdmiRangeGivesTheStudioLevelsOfBt709) {
    // Opaque black, white, the primaries and secondaries, and white at half and no
    // opacity, each in a block of its own, through the engine and read back: every
    // level is the standard's 8-bit value, rounded.
    struct Colour {
        const char* name;
        uint32_t word;  // red in the low byte, opacity in the top byte
    } colours[] = {{"black", 0xFF000000},  {"white", 0xFFFFFFFF},   {"red", 0xFF0000FF},
                   {"green", 0xFF00FF00},  {"blue", 0xFFFF0000},    {"yellow", 0xFF00FFFF},
                   {"cyan", 0xFFFFFF00},   {"magenta", 0xFFFF00FF}, {"half opaque white", 0x80FFFFFF},
                   {"transparent", 0x00FFFFFF}};
    constexpr int Side = 20;
    CFrameSet page;
    int x = 0;
    for (const Colour& c : colours) {
        AddColour(page, {x, 0, x + Side, Side}, c.word);
        x += Side;
    }
    RenderOptions options;
    options.fullHdmiRange = true;
    const Played run = Play(page, 2, options, x, Side);
    ASSERT_EQ(run.status, RenderStatus::Stopped);
    x = 0;
    for (const Colour& c : colours) {
        SCOPED_TRACE(c.name);
        const double r = double(c.word & 0xFF) / 255.0, g = double((c.word >> 8) & 0xFF) / 255.0,
                     b = double((c.word >> 16) & 0xFF) / 255.0, a = double(c.word >> 24) / 255.0;
        // A transparent pixel carries no colour: black.
        const Studio want = a == 0 ? Bt709Studio({0, 0, 0, 0}) : Bt709Studio({r, g, b, a});
        const uint8_t* even = run.output.At(x + 8, 10);  // Cb
        const uint8_t* odd = run.output.At(x + 9, 10);   // Cr
        EXPECT_EQ(even[0], std::lround(want.y));
        EXPECT_EQ(odd[0], std::lround(want.y));
        EXPECT_EQ(even[1], std::lround(want.cb));
        EXPECT_EQ(odd[1], std::lround(want.cr));
        EXPECT_EQ(even[2], std::lround(want.key));
        EXPECT_EQ(odd[2], std::lround(want.key));
        x += Side;
    }
    // The ends of the scales by name.
    const auto level = [&](int block, int column, int channel) { return run.output.At(block * Side + column, 10)[channel]; };
    EXPECT_EQ(level(0, 8, 0), 16);   // black
    EXPECT_EQ(level(1, 8, 0), 235);  // white
    EXPECT_EQ(level(1, 8, 2), 235);  // opaque key
    EXPECT_EQ(level(9, 8, 2), 16);   // no key
    EXPECT_EQ(level(2, 9, 1), 240);  // red's Cr
    EXPECT_EQ(level(4, 8, 1), 240);  // blue's Cb
    EXPECT_EQ(level(5, 8, 1), 16);   // yellow's Cb
    EXPECT_EQ(level(6, 9, 1), 16);   // cyan's Cr
}

TEST_F(RenderEngine, RangeWordTakesEffectAtTheNextFrame) {
    CFrameSet page;
    AddColour(page, {0, 0, 64, 64}, 0xFFFFFFFF);
    std::vector<int> lumas;
    Play(page, 4, {}, 64, 64, [&](int frame, CRender& engine) {
        std::vector<uint8_t> rgba;
        int w, h;
        engine.ReadOutput(rgba, w, h);
        lumas.push_back(rgba[0]);
        if (frame == 1) engine.fullHdmiRange.exchange(0);  // as the set-up wizard switches it
    });
    EXPECT_EQ(lumas, (std::vector<int>{235, 235, 255, 255}));  // full range, then limited
}

TEST_F(RenderEngine, PlainOutputLaysThePictureOverTheBackColour) {
    CFrameSet page;
    AddColour(page, {0, 0, 50, 50}, 0x800000FF);  // half red
    ApplyCommand(page, PlayCommand::Play, CommandTarget::Every());
    RenderOptions options;
    options.noYCbCrA = true;
    options.backColor = 0xFF0000FF;  // opaque blue (ARGB)
    const Played run = Play(page, 2, options, 100, 100);
    ExpectPixel(run.output, 25, 25, 128, 0, 127, 255, 2);
    ExpectPixel(run.output, 75, 75, 0, 0, 255, 255);
}

TEST_F(RenderEngine, ContextFailuresGiveTheirStatus) {
    for (RenderStatus status : {RenderStatus::NoOpenGL33, RenderStatus::ContextNotCurrent, RenderStatus::SetUpFailed}) {
        CFrameSet page;
        auto target = std::make_unique<COffscreenTarget>(64, 64);
        target->failWith = status;
        {
            CRender engine(page, RenderOptions{}, std::move(target));
            EXPECT_EQ(engine.status.load(), status);
            EXPECT_EQ(engine.framesRendered.load(), 0);
            const RenderStatistics statistics = engine.Statistics();
            EXPECT_EQ(statistics.frames, 0);
            for (const FramePhaseTimes& t : statistics.phases) EXPECT_EQ(t.maxMs, 0.0);
        }
        EXPECT_EQ(page.OutputOn.load(), 0);
    }
}

TEST_F(RenderEngine, OutputIsOnOnceTheEngineIsMade) {
    // Start-up automation plays the page on the same tick the engine is made: the
    // output is on by the time the constructor returns, so that play is not lost.
    // The render thread's first frame waits until the play was given.
    for (int run = 0; run < 5; ++run) {
        SCOPED_TRACE(run);
        CFrameSet page;
        CFrame* object = AddColour(page, {0, 0, 40, 40}, 0xFFFFFFFF);
        std::atomic<int> given{0};
        RenderOptions options;
        options.renderWidth = 64;
        options.renderHeight = 64;
        options.synchronousText = true;
        options.beforeFrame = [&](int frame) {
            while (!given.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return frame < 2;
        };
        CRender engine(page, options, std::make_unique<COffscreenTarget>(64, 64), std::make_unique<CVirtualTimer>());
        ASSERT_EQ(engine.status.load(), RenderStatus::Ok);
        EXPECT_EQ(page.OutputOn.load(), 1);
        const CommandResult played = ApplyCommand(page, PlayCommand::Play, CommandTarget::Every());
        given = 1;
        EXPECT_EQ(played.changed, std::vector<CFrame*>{object});
        while (engine.status.load() == RenderStatus::Ok) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(engine.framesRendered.load(), 2);
        EXPECT_EQ(page.OutputOn.load(), 0);
    }
}

TEST_F(RenderEngine, ObjectThatEndsInAFrameContributesNoQuad) {
    CFrameSet page;
    CFrame* object = AddColour(page, {0, 0, 40, 40}, 0xFFFFFFFF);
    object->ShowIndefinitely = 0;
    object->ShowFor = 40;  // clocks 0 and 20 show it; at 40 it has finished
    std::vector<int> alphas;
    const Played run = Play(page, 5, {}, 64, 64, [&](int, CRender& engine) {
        std::vector<uint8_t> rgba;
        int w, h;
        engine.ReadComposed(rgba, w, h);
        alphas.push_back(rgba[3]);
    });
    EXPECT_EQ(alphas, (std::vector<int>{255, 255, 255, 0, 0}));
    EXPECT_FALSE(object->Playing.load());
    // Vertices went up when the picture changed: when the object came and when it
    // went; not while it stood still, nor once nothing played.
    EXPECT_EQ(run.uploads, 2);
    // Its colour was written once, and went to OpenGL once.
    EXPECT_EQ(run.textureUploads, 1);
}

TEST_F(RenderEngine, TexturesGoToOpenGLOnceForEachChangeOfTheirPixels) {
    // Still colours are written once; a two-frame animation of 40 ms frames
    // changes its picture every other frame of 20 ms, and only then goes up again.
    CFrameSet page;
    AddColour(page, {0, 0, 20, 20}, 0xFFFFFFFF);
    AddColour(page, {20, 0, 40, 20}, 0x800000FF);
    auto animation = std::make_unique<CFrame>();
    animation->Kind = KindPicture;
    animation->Rect = {0, 20, 8, 28};
    animation->FramePeriod = Period;
    animation->PictureWidth = 8;
    animation->PictureHeight = 8;
    animation->LoopAnimation = 1;
    for (uint32_t colour : {0xFFFF0000u, 0xFF00FF00u}) {
        CPicture picture;
        picture.Resize(8, 8);
        picture.Fill(colour);
        CFrameBackground frame;
        frame.Picture.Compress(picture);
        frame.Delay = 40;
        animation->Frames.push_back(frame);
    }
    page.Add(animation);
    std::vector<int> shown;  // the animation's green, frame by frame
    const Played run = Play(page, 9, {}, 64, 64, [&](int, CRender& engine) {
        std::vector<uint8_t> rgba;
        int w, h;
        engine.ReadComposed(rgba, w, h);
        shown.push_back(rgba[(size_t(24) * size_t(w) + 4) * 4 + 1]);
    });
    ASSERT_EQ(run.frames, 9);
    // Each change of the animation's picture is one more upload.
    int changes = 1;
    for (size_t k = 1; k < shown.size(); ++k) changes += shown[k] != shown[k - 1];
    EXPECT_GT(changes, 2) << "the animation must change for this to show anything";
    EXPECT_EQ(run.textureUploads, 2 + changes);
}

TEST_F(RenderEngine, EveryFramePresentedIsTimedInEveryPhase) {
    // Still objects, a crawl with a shadow, whole frames and frames drawn only
    // where they changed: the statistics count every frame presented, in every
    // phase. Times are the machine's own; only their shape is checked.
    struct Case {
        const char* name;
        int frames;
        bool redrawAll, crawl;
    } cases[] = {{"one frame", 1, false, false},
                 {"still page", 8, false, false},
                 {"crawl, only what changed", 12, false, true},
                 {"crawl, whole frames", 12, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFrameSet page;
        AddColour(page, {10, 10, 110, 60}, 0xC0204080);
        if (c.crawl) {
            CFrame* crawl = AddColour(page, {0, 180, 320, 220}, 0x60000000);
            crawl->Movement = MovementHorizontal;
            crawl->Speed = 20;
            crawl->DropShadow = 2;
            crawl->RichText = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\b\\fs40 Timed +++ crawl}";
        }
        RenderOptions options;
        options.redrawAll = c.redrawAll;
        // The render thread hands the figures over before afterFrame: each frame
        // sees itself counted.
        std::vector<int> counted;
        const Played run = Play(page, c.frames, options, 320, 240,
                                [&](int, CRender& engine) { counted.push_back(engine.Statistics().frames); });
        ASSERT_EQ(run.status, RenderStatus::Stopped);
        ASSERT_EQ(run.frames, c.frames);
        std::vector<int> expected(size_t(c.frames));
        std::iota(expected.begin(), expected.end(), 1);
        EXPECT_EQ(counted, expected);
        EXPECT_EQ(run.statistics.frames, c.frames);
        EXPECT_EQ(run.framesRendered, c.frames);
        double longest = 0;
        for (int k = 0; k < FramePhaseCount; ++k) {
            const FramePhaseTimes& t = run.statistics[FramePhase(k)];
            SCOPED_TRACE(FramePhaseName(FramePhase(k)));
            EXPECT_GE(t.minMs, 0.0);
            EXPECT_LE(t.minMs, t.meanMs);
            EXPECT_LE(t.meanMs, t.maxMs);
            // One sample is its own minimum, mean and maximum.
            if (c.frames == 1) {
                EXPECT_EQ(t.minMs, t.meanMs);
                EXPECT_EQ(t.meanMs, t.maxMs);
            }
            longest = std::max(longest, t.maxMs);
        }
        // Drawing takes time: a frame of nothing but zeros was never timed.
        EXPECT_GT(longest, 0.0);
    }
}

TEST(FramePhases, NamesInTheirOrder) {
    const char* names[] = {"collect", "damage", "upload", "compose", "output", "present"};
    ASSERT_EQ(std::size(names), size_t(FramePhaseCount));
    for (int k = 0; k < FramePhaseCount; ++k) EXPECT_STREQ(FramePhaseName(FramePhase(k)), names[k]);
}

TEST_F(RenderEngine, LiveEngineSurvivesCommandsFromAnotherThread) {
    // The real threads and clock: objects are played and stopped from this thread
    // while the render thread draws them and the text thread renders their text;
    // textures released here are deleted by the render thread.
    CFrameSet page;
    std::vector<CFrame*> objects;
    for (int k = 0; k < 6; ++k) {
        CFrame* o = AddColour(page, {k * 10, k * 5, k * 10 + 80, k * 5 + 40}, 0xC0204080);
        o->Movement = k % 3;
        o->Speed = 30;
        o->RichText = "{\\rtf1 Live " + QByteArray::number(k) + "}";
        objects.push_back(o);
    }
    RenderOptions options;
    options.renderWidth = 320;
    options.renderHeight = 240;
    {
        CRender engine(page, options, std::make_unique<COffscreenTarget>(320, 240));
        ASSERT_EQ(engine.status.load(), RenderStatus::Ok);
        for (int round = 0; round < 60; ++round) {
            CFrame* o = objects[size_t(round % 6)];
            if (round % 2 == 0) o->Play();
            else o->Stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ApplyCommand(page, PlayCommand::Play, CommandTarget::Every());
        // Frames with everything playing, however long a busy machine takes for them.
        const int played = engine.framesRendered.load();
        while (engine.status.load() == RenderStatus::Ok && engine.framesRendered.load() < played + 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(engine.status.load(), RenderStatus::Ok);
        EXPECT_GE(engine.framesRendered.load(), played + 5);
    }
    // The render thread stopped everything on its way out.
    for (CFrame* o : objects) {
        EXPECT_FALSE(o->Playing.load());
        EXPECT_EQ(o->TextTexture, nullptr);
        EXPECT_EQ(o->BackgroundTexture, nullptr);
    }
    EXPECT_EQ(page.OutputOn.load(), 0);
}

TEST_F(RenderEngine, CrawlShadowWrapsAlongTheMovementAndClampsAcross) {
    // A looping crawl fills its ring with text; its shadow continues across the
    // ring's seam (wrap along x) but not past its top and bottom (clamp along y).
    const auto make = [] {
        auto text = std::make_unique<CFrame>();
        text->Rect = {0, 10, 300, 50};
        text->FramePeriod = Period;
        text->BackColor = 0;
        text->Movement = MovementHorizontal;
        text->Speed = 40;
        text->Loop = 1;
        text->DropShadow = 4;  // spread 6: five texels right and down
        text->RichText = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\b\\fs52 Wrap}";
        return text;
    };
    constexpr int frames = 20;
    // The same object played on memory textures gives the ring the engine drew from.
    auto twin = make();
    CMemoryTextureDevice memory;
    CRichEditTextRenderer renderer;
    twin->Play();
    for (int frame = 0; frame < frames; ++frame) {
        while (InvokeRender(*twin, renderer)) {
        }
        FramePresentation record;
        ASSERT_TRUE(twin->BeginPresent());
        ASSERT_TRUE(PresentFrame(*twin, record, memory, frame == 0 ? 0 : Period));
        twin->EndPresent();
    }
    const auto& ring = dynamic_cast<const CMemoryTexture&>(*twin->TextTexture);
    const int tw = ring.width, th = ring.height, x0 = twin->Scrolled % tw;
    ASSERT_GT(twin->Scrolled, tw);  // the window has passed the seam
    CFrameSet page;
    auto object = make();
    page.Add(object);
    const Played run = Play(page, frames, {}, 320, 64);
    const auto alphaAt = [&](int x, int y) {
        x = ((x % tw) + tw) % tw;
        y = std::clamp(y, 0, th - 1);
        return ring.Pixels()[size_t(y) * size_t(ring.Pitch()) + size_t(x) * 4 + 3] / 255.0;
    };
    int shaded = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 300; ++x) {
            const int tx = x0 + x;
            double sum = 0;
            for (const auto& t : ShadowTaps) sum += alphaAt(tx - 5 + t[0], y - 5 + t[1]);
            const double a = alphaAt(tx, y);
            const double expected = (a + sum / 13.0 * (1.0 - a)) * 255.0;
            ASSERT_NEAR(run.composed.At(x, 10 + y)[3], expected, 2.0) << x << "," << y;
            shaded += a == 0 && sum > 2.6;
        }
    EXPECT_GT(shaded, 50);
}

TEST_F(RenderEngine, ScaleAndPreviewShowTheRenderTextureSmaller) {
    // Scale 2 in full-screen: the render texture at half size from the top left.
    CFrameSet page;
    AddColour(page, {200, 100, 300, 140}, 0xFFFFFFFF);
    RenderOptions options;
    options.noYCbCrA = true;  // plain output, colours as they are
    options.scale = 2;
    const Played scaled = Play(page, 2, options, 400, 300);
    ExpectPixel(scaled.output, 110, 60, 255, 255, 255, 255);
    ExpectPixel(scaled.output, 160, 60, 0, 0, 0, 0);
    ExpectPixel(scaled.output, 250, 120, 0, 0, 0, 0);
    // A preview shows the render size scaled to its window: here 400 x 300 into
    // a 200 x 150 target.
    CFrameSet previewPage;
    AddColour(previewPage, {200, 100, 300, 140}, 0xFFFFFFFF);
    RenderOptions preview;
    preview.preview = true;
    const Played shown = Play(previewPage, 2, preview, 400, 300, nullptr, 200, 150);
    ASSERT_EQ(shown.output.width, 200);
    ExpectPixel(shown.output, 125, 60, 255, 255, 255, 255);
    ExpectPixel(shown.output, 90, 60, 0, 0, 0, 0);
    ExpectPixel(shown.output, 125, 80, 0, 0, 0, 0);
}

TEST_F(RenderEngine, RedrawingOnlyWhatChangedGivesEveryFrameAsAWholeRedrawWould) {
    // Objects that come in with an effect and a fade, stand still, end, overlap,
    // crawl with a shadow and roll: frame by frame, composition and output drawn
    // only where something changed equal those drawn whole.
    const auto makePage = [](CFrameSet& page) {
        CFrame* in = AddColour(page, {221, 111, 301, 161}, 0xC0204080);
        in->InEffect = 3;
        in->InEffectDuration = 200;
        in->FadeIn = 1;
        CFrame* ends = AddColour(page, {91, 41, 191, 141}, 0x80F0A000);  // odd edges: packed pairs straddle them
        ends->ShowIndefinitely = 0;
        ends->ShowFor = 240;
        AddColour(page, {0, 100, 60, 160}, 0xFF00FF00);  // never changes
        CFrame* crawl = AddColour(page, {0, 180, 320, 220}, 0x60000000);
        crawl->Movement = MovementHorizontal;
        crawl->Speed = 20;
        crawl->DropShadow = 2;
        crawl->RichText = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\b\\fs40 Only what moves}";
        CFrame* roll = AddColour(page, {200, 0, 300, 100}, 0);
        roll->Movement = MovementVertical;
        roll->Speed = 10;
        roll->RichText = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\fs28 Up\\par and\\par away}";
    };
    // A window's back buffer holds nothing usable after a swap: the output then
    // comes from a copy the engine keeps.
    // The range word switched halfway redraws everything.
    struct Case {
        const char* name;
        bool preview, noYCbCrA;
        int scale, targetWidth, targetHeight;
        uint32_t back;
        bool discards, switchRange;
    } cases[] = {{"packed", false, false, 1, 320, 240, 0, false, false},
                 {"packed into a window", false, false, 1, 320, 240, 0, true, false},
                 {"packed, range switched", false, false, 1, 320, 240, 0, false, true},
                 {"packed and scaled", false, false, 2, 320, 240, 0, true, false},
                 {"plain over a back colour", false, true, 1, 320, 240, 0xFF102030, false, false},
                 {"scaled", false, true, 2, 320, 240, 0, false, false},
                 {"preview", true, false, 1, 213, 161, 0xFF203040, false, false},
                 {"preview in a window", true, false, 1, 213, 161, 0xFF203040, true, false}};
    constexpr int frames = 30;
    for (const Case& c : cases) {
        std::vector<Captured> drawn[2];
        for (int whole = 0; whole < 2; ++whole) {
            CFrameSet page;
            makePage(page);
            RenderOptions options;
            options.preview = c.preview;
            options.noYCbCrA = c.noYCbCrA;
            options.scale = c.scale;
            options.backColor = c.back;
            options.redrawAll = whole == 1;
            const Played run = Play(
                page, frames, options, 320, 240,
                [&](int frame, CRender& engine) {
                    if (c.switchRange && frame == frames / 2) engine.fullHdmiRange.exchange(0);
                    Captured composed, output;
                    engine.ReadComposed(composed.rgba, composed.width, composed.height);
                    engine.ReadOutput(output.rgba, output.width, output.height);
                    drawn[whole].push_back(std::move(composed));
                    drawn[whole].push_back(std::move(output));
                },
                c.targetWidth, c.targetHeight, c.discards && whole == 0);
            ASSERT_EQ(run.frames, frames) << c.name;
        }
        ASSERT_EQ(drawn[0].size(), drawn[1].size());
        int differing = 0;
        for (size_t k = 0; k < drawn[0].size(); ++k) {
            EXPECT_TRUE(drawn[0][k].rgba == drawn[1][k].rgba)
                << c.name << ": frame " << k / 2 << (k % 2 ? " output" : " composition");
            if (k >= 2) differing += drawn[1][k].rgba != drawn[1][k - 2].rgba;
        }
        // The page does move: a frame repeated throughout would prove nothing.
        EXPECT_GT(differing, frames) << c.name;
    }
}

#include <QDir>
#include <QFile>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The nice values of this process's threads now.
std::vector<int> ThreadNiceValues() {
    std::vector<int> values;
    for (const QString& task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat("/proc/self/task/" + task + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        // Fields after the command name: state is the 3rd, nice the 19th.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 16) values.push_back(fields[16].toInt());
    }
    return values;
}

}  // namespace

TEST_F(RenderEngine, LongTextIsLaidOutOnQtThreadsWithoutWarnings) {
    // A long document's layout goes on by Qt timers, which need the event dispatcher
    // of a thread Qt started: on a thread it only adopted, every timer asked for is a
    // warning on standard error. The text thread on air, and the render thread that
    // does the text work for the tools.
    QByteArray body;
    for (int k = 0; k < 3000; ++k) body += "Paragraph " + QByteArray::number(k) + " of a long roll\\par ";
    for (const bool synchronous : {false, true}) {
        SCOPED_TRACE(synchronous ? "text work on the render thread" : "text thread");
        CFrameSet page;
        CFrame* roll = AddColour(page, {0, 0, 320, 240}, 0);
        roll->Movement = MovementVertical;
        roll->Speed = 30;
        roll->RichText = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\fs20 " + body + "}";
        QtMessages messages;
        if (synchronous) {
            EXPECT_EQ(Play(page, 2).status, RenderStatus::Stopped);
        } else {
            RenderOptions options;
            options.renderWidth = 320;
            options.renderHeight = 240;
            CRender engine(page, options, std::make_unique<COffscreenTarget>(320, 240));
            ASSERT_EQ(engine.status.load(), RenderStatus::Ok);
            // However busy the machine: the output and the first strips are waited for, not timed.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
            while (!page.OutputOn.load() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ApplyCommand(page, PlayCommand::Play, CommandTarget::Every());
            while (roll->ChunksRendered.load() < 2 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_GE(roll->ChunksRendered.load(), 1);
        const std::vector<std::string> warnings = messages.Containing("Timer");
        EXPECT_TRUE(warnings.empty()) << warnings.size() << " warnings, the first: " << warnings.front();
    }
}

TEST_F(RenderEngine, ThreadsRunAtRaisedPriorityWhileTheEngineRuns) {
    rlimit limit{};
    getrlimit(RLIMIT_NICE, &limit);
    if (geteuid() != 0 && limit.rlim_cur < rlim_t(20 - CRender::RenderThreadNice))
        GTEST_SKIP() << "raising a thread's priority needs root or a nice limit";
    CFrameSet page;
    AddColour(page, {0, 0, 40, 40}, 0xFFFFFFFF);
    RenderOptions options;
    options.renderWidth = 64;
    options.renderHeight = 64;
    std::vector<int> running;
    const auto count = [](const std::vector<int>& v, int nice) { return std::count(v.begin(), v.end(), nice); };
    {
        CRender engine(page, options, std::make_unique<COffscreenTarget>(64, 64));
        ASSERT_EQ(engine.status.load(), RenderStatus::Ok);
        while (engine.status.load() == RenderStatus::Ok && engine.framesRendered.load() < 3)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(engine.status.load(), RenderStatus::Ok);
        // The text thread raises itself when it first runs, which a busy machine may
        // put off past the first frames: look again for a while before judging.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        do {
            running = ThreadNiceValues();
            if (count(running, CRender::TextThreadNice) == 1 && count(running, CRender::RenderThreadNice) >= 1) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } while (std::chrono::steady_clock::now() < deadline);
    }
    // The render thread and the drawing threads it started, and the text thread.
    EXPECT_GE(count(running, CRender::RenderThreadNice), 1);
    EXPECT_EQ(count(running, CRender::TextThreadNice), 1);
    const std::vector<int> after = ThreadNiceValues();
    EXPECT_EQ(count(after, CRender::TextThreadNice), 0);
    // The render thread is gone; drawing threads the driver keeps may remain.
    EXPECT_LE(count(after, CRender::RenderThreadNice), count(running, CRender::RenderThreadNice) - 1);
}
