#include "ui/MainView.h"

#include <QPainter>
#include <QWidget>

// The page's place at the zoom: where the canvas will draw.
class CPagePlaceholder : public QWidget {
public:
    CPagePlaceholder(CMainDoc& document, QWidget* parent) : QWidget(parent), doc_(document) {}
    int percent = 50;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(0x40, 0x40, 0x40));
        painter.setPen(QColor(0xA0, 0xA0, 0xA0));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        painter.drawText(rect(), Qt::AlignCenter,
                         QStringLiteral("%1 x %2  %3%  %4 objects")
                             .arg(doc_.PageWidth())
                             .arg(doc_.PageHeight())
                             .arg(percent)
                             .arg(doc_.Page.LiveCount()));
    }

private:
    CMainDoc& doc_;
};

CMainView::CMainView(CMainDoc& document, InstanceKind kind, CSettingsStore& settings, CEditorShell::Hooks hooks,
                     QWidget* parent)
    : QScrollArea(parent), doc_(document), kind_(kind), settings_(settings) {
    zoom_ = settings_.Get(Settings::ZoomFactor, kind_);
    snap_ = settings_.Get(Settings::SnapToGrid, kind_) != 0;
    gridStep_ = settings_.Get(Settings::GridStep, kind_);
    setAlignment(Qt::AlignCenter);
    setBackgroundRole(QPalette::Dark);
    page_ = new CPagePlaceholder(doc_, this);
    setWidget(page_);
    Relayout();
    shell_ = std::make_unique<CEditorShell>(doc_, kind_, settings_, this, std::move(hooks));
    timer_.setInterval(200);
    connect(&timer_, &QTimer::timeout, this, [this] { shell_->Tick(); });
    timer_.start();
}

CMainView::~CMainView() {
    timer_.stop();
    shell_.reset();
}

void CMainView::Relayout() {
    const int percent = Shell::ZoomPercent(zoom_);
    page_->percent = percent;
    page_->setFixedSize(doc_.PageWidth() * percent / 100, doc_.PageHeight() * percent / 100);
    page_->update();
}

void CMainView::SetZoom(int index) {
    if (index < 0 || index >= Shell::ZoomSteps || index == zoom_) return;
    zoom_ = index;
    Relayout();
    settings_.Set(Settings::ZoomFactor, zoom_, kind_);
}

void CMainView::SetSnapToGrid(bool on) {
    snap_ = on;
    settings_.Set(Settings::SnapToGrid, snap_ ? 1 : 0, kind_);
}

void CMainView::DocumentUpdated(int kind) {
    if (kind != UpdateThumbnail && kind != UpdateCaptions) page_->update();
    shell_->ViewsUpdated();
}
