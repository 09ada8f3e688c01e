#include "output/OutputSession.h"

#include "base/Settings.h"
#include "core/VideoModes.h"
#include "output/XRandRDisplaySystem.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>

namespace {

// The screen Qt shows at the output rectangle, once it has noticed the change.
QScreen* ScreenAt(const OutputRect& rect) {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 3000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        for (QScreen* screen : QGuiApplication::screens())
            if (screen->geometry().contains(rect.left, rect.top)) return screen;
        QThread::msleep(20);
    }
    return QGuiApplication::primaryScreen();
}

}  // namespace

COutputSession::COutputSession(CFrameSet& page, int mode, RenderOptions options, QWindow* preview)
    : preview_(preview != nullptr) {
    const CSettingsStore& settings = CSettingsStore::Global();
    const VideoMode& video = VideoModes::Get(mode);
    options.preview = preview_;
    QWindow* window = preview;
    if (!preview) {
        displays_ = std::make_unique<CXRandRDisplaySystem>();
        monitor_ = std::make_unique<CMultiMonitor>(*displays_, settings.GetText(Settings::DisplayAdapter),
                                                   video.displayWidth, video.displayHeight, video.refresh,
                                                   settings.Get(Settings::NoRestoreDisplays) != 0);
        if (!monitor_->configured) {
            failure_ = RenderStatus::DisplayNotConfigured;
            return;
        }
        window_ = std::make_unique<CRenderWindow>(monitor_->outputRect, ScreenAt(monitor_->outputRect));
        window = window_.get();
    }
    QElapsedTimer exposed;
    exposed.start();
    while (!window->isExposed() && exposed.elapsed() < 3000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    // No screen saver, power saving or sleep while on air.
    power_ = std::make_unique<CPowerGuard>();
    auto target = std::make_unique<CWindowTarget>(*window, settings.Get(Settings::AlternativeSync) != 0,
                                                  video.framePeriod);
    target_ = target.get();
    engine_ = std::make_unique<CRender>(page, std::move(options), std::move(target));
}

COutputSession::~COutputSession() {
    engine_.reset();
    target_ = nullptr;
}

RenderStatus COutputSession::Status() const { return engine_ ? engine_->status.load() : failure_; }
