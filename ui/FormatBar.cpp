#include "ui/FormatBar.h"

#include "ui/Commands.h"

#include <QAction>
#include <QComboBox>
#include <QFontComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPainter>

namespace {
constexpr int SizeChoices[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 24, 28, 32, 36, 40, 48, 56, 64, 72, 96, 120};
}

CFormatBar::CFormatBar(QWidget* parent) : QToolBar(QStringLiteral("Format"), parent) {
    setObjectName(QStringLiteral("formatToolBar"));
}

void CFormatBar::AddCommand(unsigned commandId, QAction* action) {
    if (!action) return;
    action->setIcon(IconFor(commandId, 32));
    addAction(action);
}

void CFormatBar::AddFontControls() {
    fontNames_ = new QFontComboBox(this);
    fontNames_->setObjectName(QStringLiteral("fontNameBox"));
    fontNames_->setFontFilters(QFontComboBox::ScalableFonts);
    fontNames_->setEditable(true);
    fontNames_->setMinimumContentsLength(16);
    addWidget(fontNames_);
    fontSizes_ = new QComboBox(this);
    fontSizes_->setObjectName(QStringLiteral("fontSizeBox"));
    fontSizes_->setEditable(true);
    fontSizes_->setInsertPolicy(QComboBox::NoInsert);
    fontSizes_->setMinimumContentsLength(4);
    for (int points : SizeChoices) fontSizes_->addItem(QString::number(points));
    addWidget(fontSizes_);

    // A pick from the list, or Enter in the typed text.
    connect(fontNames_, &QComboBox::activated, this, [this](int) {
        if (!showing_ && facePicked) facePicked(fontNames_->currentText());
    });
    connect(fontSizes_, &QComboBox::activated, this, [this](int) {
        if (!showing_ && sizePicked) sizePicked(fontSizes_->currentText());
    });
    Show(nullptr);
}

void CFormatBar::Show(const InPlaceText::SelectionFormat* format) {
    showing_ = true;
    for (QWidget* box : {static_cast<QWidget*>(fontNames_), static_cast<QWidget*>(fontSizes_)})
        if (box) box->setEnabled(format != nullptr);
    if (fontNames_) {
        if (format && !format->face.isEmpty()) fontNames_->setCurrentFont(QFont(format->face));
        if (!format || format->face.isEmpty()) fontNames_->setEditText(QString());
        else fontNames_->setEditText(format->face);
    }
    if (fontSizes_) fontSizes_->setEditText(format && format->points > 0 ? QString::number(format->points) : QString());
    showing_ = false;
}

QIcon CFormatBar::IconFor(unsigned commandId, int size) {
    using namespace Commands;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn in the desktop's text colour, so it shows on light and dark themes.
    const QColor ink = QGuiApplication::palette().color(QPalette::WindowText);
    auto letter = [&](const QString& text, bool bold, bool italic, bool underline, QRect area) {
        QFont font(QStringLiteral("DejaVu Serif"));
        font.setPixelSize(area.height() * 3 / 4);
        font.setBold(bold);
        font.setItalic(italic);
        font.setUnderline(underline);
        painter.setFont(font);
        painter.setPen(ink);
        painter.drawText(area, Qt::AlignCenter, text);
    };
    auto lines = [&](int align) {
        const int margin = size / 6, step = size / 5, full = size - 2 * margin;
        painter.setPen(QPen(ink, std::max(1, size / 12)));
        for (int k = 0; k < 4; ++k) {
            const int width = k % 2 ? full * 2 / 3 : full;
            const int left = align == 0 ? margin : align == 1 ? (size - width) / 2 : size - margin - width;
            const int y = margin + k * step + step / 2;
            painter.drawLine(left, y, left + width, y);
        }
    };
    const QRect all(0, 0, size, size);
    switch (commandId) {
    case FormatBold: letter(QStringLiteral("B"), true, false, false, all); break;
    case FormatItalic: letter(QStringLiteral("I"), false, true, false, all); break;
    case FormatUnderline: letter(QStringLiteral("U"), false, false, true, all); break;
    case FormatTextColour:
        letter(QStringLiteral("A"), true, false, false, QRect(0, 0, size, size * 4 / 5));
        painter.fillRect(QRect(size / 6, size * 4 / 5, size * 2 / 3, size / 6), QColor(220, 30, 30));
        break;
    case FormatBackColour:
        painter.fillRect(QRect(size / 8, size / 8, size * 3 / 4, size * 3 / 4), QColor(250, 220, 60));
        letter(QStringLiteral("ab"), false, false, false, all);
        break;
    case FormatSuperscript: letter(QStringLiteral("x²"), false, false, false, all); break;
    case FormatSubscript: letter(QStringLiteral("x₂"), false, false, false, all); break;
    case FormatFont: letter(QStringLiteral("F"), false, true, false, all); break;
    case AlignLeft: lines(0); break;
    case AlignCenter: lines(1); break;
    case AlignRight: lines(2); break;
    default: break;
    }
    return QIcon(pixmap);
}
