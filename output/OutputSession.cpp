#include "output/OutputSession.h"

#include "base/Settings.h"
#include "core/VideoModes.h"
#include "output/XRandRDisplaySystem.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <utility>
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

OutputDisplayChoice OutputDisplayChoice::FromSettings() {
    const CSettingsStore& settings = CSettingsStore::Global();
    OutputDisplayChoice choice;
    choice.deviceName = settings.GetText(Settings::DisplayAdapter);
    choice.noRestore = settings.Get(Settings::NoRestoreDisplays) != 0;
    choice.alternativeSync = settings.Get(Settings::AlternativeSync) != 0;
    return choice;
}

COutputSession::COutputSession(CFrameSet& page, int mode, RenderOptions options, QWindow* preview)
    : COutputSession(page, mode, std::move(options), OutputDisplayChoice::FromSettings(), preview) {}

COutputSession::COutputSession(CFrameSet& page, int mode, RenderOptions options, const OutputDisplayChoice& display,
                               QWindow* preview)
    : preview_(preview != nullptr) {
    const VideoMode& video = VideoModes::Get(mode);
    options.preview = preview_;
    QWindow* window = preview;
    if (!preview) {
        displays_ = std::make_unique<CXRandRDisplaySystem>();
        monitor_ = std::make_unique<CMultiMonitor>(*displays_, display.deviceName, video.displayWidth,
                                                   video.displayHeight, video.refresh, display.noRestore);
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
    auto target = std::make_unique<CWindowTarget>(*window, display.alternativeSync,
                                                  video.framePeriod);
    target_ = target.get();
    engine_ = std::make_unique<CRender>(page, std::move(options), std::move(target));
}

COutputSession::~COutputSession() {
    engine_.reset();
    target_ = nullptr;
}

RenderStatus COutputSession::Status() const { return engine_ ? engine_->status.load() : failure_; }
