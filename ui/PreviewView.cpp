#include "ui/PreviewView.h"

#include "app/PreviewPane.h"

#include <QWindow>

CPreView::CPreView(std::function<int()> modeIndex, QWidget* parent)
    : QWidget(parent), modeIndex_(std::move(modeIndex)) {
    setObjectName(QStringLiteral("previewPane"));
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Dark));
    setPalette(colours);
    setMinimumHeight(0);
    window_ = new QWindow;
    window_->setSurfaceType(QSurface::OpenGLSurface);
    container_ = QWidget::createWindowContainer(window_, this);
    container_->setObjectName(QStringLiteral("previewWindow"));
    container_->hide();
}

CPreView::~CPreView() = default;

QWindow* CPreView::Window() {
    Relayout();
    container_->show();
    return window_;
}

void CPreView::Release() { container_->hide(); }

bool CPreView::WindowShown() const { return container_->isVisible(); }

QRect CPreView::ChildRect() const { return container_->geometry(); }

void CPreView::Relayout() {
    const QRect child = PreviewChildRect(size(), modeIndex_ ? modeIndex_() : 0);
    if (!child.isEmpty()) container_->setGeometry(child);
}

void CPreView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}
