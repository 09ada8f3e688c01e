// The preview: the engine draws into a window the caller owns, the render size
// scaled to the window, and follows the window when the pane is resized.
#include "playback/PlayCommand.h"
#include "core/FrameSet.h"
#include "output/RenderWindow.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QWindow>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <mutex>

namespace {

// What one presented frame showed, read back on the render thread.
struct Shown {
    int width = 0, height = 0;
    std::array<uint8_t, 4> object{}, around{};
};

// Runs the user-interface thread's events until done says so or the time is up
// (a bound for a run that went wrong, not a measure: a busy machine may take long).
template <class Done>
bool RunUntil(Done done, int milliseconds = 120000) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

}  // namespace

TEST(Preview, ShowsTheRenderSizeScaledToThePaneAndFollowsItsSize) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "no X server (DISPLAY is not set)";
    CFrameSet page;
    auto box = std::make_unique<CFrame>();
    box->Rect = {320, 180, 640, 360};  // the bottom right quarter of the picture
    box->BackColor = 0xFFFFFFFF;
    box->FramePeriod = 20;
    page.Add(box);

    QWindow pane;
    pane.setSurfaceType(QSurface::OpenGLSurface);
    pane.resize(320, 180);
    pane.show();
    ASSERT_TRUE(RunUntil([&] { return pane.isExposed(); }));

    RenderOptions options;
    options.renderWidth = 640;
    options.renderHeight = 360;
    options.preview = true;
    options.backColor = 0xFF000080;  // dark blue
    // Frames are read back only when asked, never while the window changes size
    // (the driver reallocates the buffers then).
    std::atomic<int> readWanted{0};
    std::mutex lock;
    std::vector<Shown> shown;  // guarded by lock: the render thread appends, this thread reads
    options.beforeFrame = [&](int frame) {
        if (frame == 0) ApplyCommand(page, PlayCommand::Play, CommandTarget::Every());
        return true;
    };
    // The box shows once the text thread has had its turn on it, which a busy
    // machine (or the text thread's first set-up) may put off for many frames.
    std::atomic<int> boxShown{0};
    options.presented = [&](int, CFrame&, const FramePresentation&, TimelinePhase phase, bool alive) {
        if (alive && phase == TimelinePhase::Shown) boxShown = 1;
    };
    options.afterFrame = [&](int, CRender& engine) {
        if (!readWanted.load()) return;
        std::vector<uint8_t> rgba;
        Shown s;
        engine.ReadOutput(rgba, s.width, s.height);
        // A window's rows count from the bottom.
        const auto at = [&](int x, int y) {
            const uint8_t* p = &rgba[(size_t(s.height - 1 - y) * size_t(s.width) + size_t(x)) * 4];
            return std::array<uint8_t, 4>{p[0], p[1], p[2], p[3]};
        };
        s.object = at(s.width * 3 / 4, s.height * 3 / 4);
        s.around = at(s.width / 4, s.height / 4);
        std::lock_guard guard(lock);
        shown.push_back(s);
        readWanted = 0;
    };
    CRender engine(page, options, std::make_unique<CWindowTarget>(pane, false, 20000));
    ASSERT_EQ(engine.status.load(), RenderStatus::Ok);
    // One frame read back, some frames after the box first showed.
    ASSERT_TRUE(RunUntil([&] { return boxShown.load() != 0; }));
    const auto read = [&] {
        const int frames = engine.framesRendered.load();
        EXPECT_TRUE(RunUntil([&] { return engine.framesRendered.load() >= frames + 5; }));
        readWanted = 1;
        EXPECT_TRUE(RunUntil([&] { return readWanted.load() == 0; }));
        std::lock_guard guard(lock);
        return shown.empty() ? Shown{} : shown.back();
    };
    const Shown before = read();
    EXPECT_EQ(before.width, 320);
    EXPECT_EQ(before.height, 180);
    pane.resize(160, 90);
    ASSERT_TRUE(RunUntil([&] { return pane.width() == 160; }));
    const Shown after = read();
    EXPECT_EQ(after.width, 160);
    EXPECT_EQ(after.height, 90);
    engine.stop.exchange(1);
    RunUntil([&] { return engine.status.load() != RenderStatus::Ok; });
    // A window's back buffer is undefined after a swap: what it showed is read
    // from the output the engine keeps and copies over.
    for (const Shown& s : {before, after}) {
        EXPECT_EQ(s.object, (std::array<uint8_t, 4>{255, 255, 255, 255})) << s.width << " x " << s.height;
        EXPECT_EQ((std::array<uint8_t, 3>{s.around[0], s.around[1], s.around[2]}), (std::array<uint8_t, 3>{0, 0, 128}))
            << s.width << " x " << s.height;
    }
}
