// epoxy first: it must come before any other OpenGL header (Qt's included).
#include <epoxy/gl.h>

#include "output/RenderWindow.h"

#include "base/Debug.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QScreen>
#include <chrono>
#include <dlfcn.h>
#include <thread>

namespace {

QSurfaceFormat OutputFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setSwapInterval(1);
    format.setAlphaBufferSize(0);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    return format;
}

int64_t NowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void CWindowTarget::KeepDriverLoaded() {
    // The OpenGL driver stays mapped until the process ends, as it does on every
    // other path: closing the X connection would otherwise unload it while the
    // allocations it keeps for the process's life are still reported against it.
    for (const char* driver : {"libEGL_mesa.so.0", "libGLX_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"})
        dlopen(driver, RTLD_NOW | RTLD_NODELETE);
}

CRenderWindow::CRenderWindow(const OutputRect& outputRect, QScreen* screen) : rect(outputRect) {
    setSurfaceType(QSurface::OpenGLSurface);
    setFormat(OutputFormat());
    setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
    setTitle(QStringLiteral("HDMI"));
    if (screen) setScreen(screen);
    setGeometry(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    // The output is no place for a pointer.
    setCursor(Qt::BlankCursor);
    show();
}

void CRenderWindow::mouseMoveEvent(QMouseEvent* event) {
    // Back onto the neighbouring display.
    QCursor::setPos(rect.left - 1, int(event->globalPosition().y()));
}

CFramePacer::CFramePacer(int periodMicros, std::function<int64_t()> now, std::function<void(int64_t)> sleepUntil)
    : periodMicros_(periodMicros), now_(now ? std::move(now) : NowMicros),
      sleepUntil_(sleepUntil ? std::move(sleepUntil) : [](int64_t until) {
          std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::microseconds(until)));
      }) {}

void CFramePacer::AfterPresent() {
    int64_t now = now_();
    bool held = false;
    if (last_ != 0 && periodMicros_ > 0) {
        // Presentation that returned well inside the period did not wait for the
        // display: the rest of the frame's time is slept here, on one steady
        // cadence, so that the wake-ups' lateness does not add up. A display
        // that does wait sets the time itself and is never held.
        if (now - last_ < periodMicros_ * 9 / 10) {
            sleepUntil_(due_);
            held = true;
            paced.fetch_add(1);
            now = now_();
        }
        const int interval = int(std::min<int64_t>(now - last_, INT32_MAX));
        if (interval > periodMicros_ * 3 / 2) lateFrames.fetch_add(1);
        if (interval > longestMicros.load()) longestMicros.store(interval);
    }
    // A wake-up more than a period late starts the cadence again: catching up
    // would present frames back to back.
    due_ = (held && now - due_ < periodMicros_ ? due_ : now) + periodMicros_;
    last_ = now;
    if (first_.load() == 0) first_ = now;
    latest_ = now;
    presents_.fetch_add(1);
}

double CFramePacer::Rate() const {
    const int64_t span = latest_.load() - first_.load();
    return span > 0 ? (presents_.load() - 1) * 1e6 / double(span) : 0.0;
}

CWindowTarget::CWindowTarget(QWindow& window, bool alternativeSync, int periodMicros)
    : pacer(periodMicros), window_(window), alternativeSync_(alternativeSync), width_(window.width()),
      height_(window.height()) {
    widthChanged_ = QObject::connect(&window, &QWindow::widthChanged, [this](int w) { width_ = w; });
    heightChanged_ = QObject::connect(&window, &QWindow::heightChanged, [this](int h) { height_ = h; });
    // The window's screen going away, or changing size, ends the output.
    removed_ = QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, [this](QScreen* screen) {
        if (screen == window_.screen()) lost = true;
    });
    // A screen already gone, or no longer holding the window, is lost from the start.
    if (!window.screen() || !window.screen()->geometry().contains(window.geometry().topLeft())) lost = true;
    if (QScreen* screen = window.screen()) {
        const QRect start = screen->geometry();
        changed_ = QObject::connect(screen, &QScreen::geometryChanged, [this, start](const QRect& now) {
            if (now.size() != start.size()) lost = true;
        });
    }
}

CWindowTarget::~CWindowTarget() {
    for (QMetaObject::Connection* c : {&removed_, &changed_, &widthChanged_, &heightChanged_}) QObject::disconnect(*c);
}

RenderStatus CWindowTarget::MakeCurrent(std::string& failure) {
    // Made on the render thread, which is then the context's own.
    context_ = std::make_unique<QOpenGLContext>();
    context_->setFormat(OutputFormat());
    if (!context_->create()) {
        failure = "QOpenGLContext::create() failed";
        context_.reset();
        return RenderStatus::NoOpenGL33;
    }
    if (!context_->makeCurrent(&window_)) {
        failure = "QOpenGLContext::makeCurrent() failed";
        context_.reset();
        return RenderStatus::ContextNotCurrent;
    }
    const QSurfaceFormat got = context_->format();
    if (got.majorVersion() * 10 + got.minorVersion() < 33) {
        failure = "OpenGL " + std::to_string(got.majorVersion()) + "." + std::to_string(got.minorVersion()) +
                  ", 3.3 needed";
        return RenderStatus::SetUpFailed;
    }
    return RenderStatus::Ok;
}

void CWindowTarget::DoneCurrent() {
    if (!context_) return;
    // A stutter on air is never silent.
    CDebug::Log(2, "CRender::RenderThread(): %d frames late, longest interval %.2f msec, %d presents held to the period",
                pacer.lateFrames.load(), pacer.longestMicros.load() / 1000.0, pacer.paced.load());
    context_->doneCurrent();
    context_.reset();
}

unsigned CWindowTarget::Framebuffer() { return context_ ? context_->defaultFramebufferObject() : 0; }

bool CWindowTarget::Present() {
    if (lost.load()) return false;
    context_->swapBuffers(&window_);
    if (!alternativeSync_) glFinish();
    pacer.AfterPresent();
    return !lost.load();
}
