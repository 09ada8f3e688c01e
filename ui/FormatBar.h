// The format toolbar of in-place text editing: the font name list, the size box and
// the format commands' buttons. It shows the format of the editor's selection and
// is disabled and empty while no text is edited.
//
// Threads: the user-interface thread.
#pragma once

#include "app/InPlaceText.h"

#include <QToolBar>
#include <functional>

class QComboBox;
class QFontComboBox;

class CFormatBar : public QToolBar {
    Q_OBJECT
public:
    explicit CFormatBar(QWidget* parent);

    // The command buttons in order, separators as null; icons are drawn here.
    void AddCommand(unsigned commandId, QAction* action);
    void AddSeparatorItem() { addSeparator(); }
    // The font controls after the buttons added so far.
    void AddFontControls();

    // The selection's format while text is edited, else nothing (controls empty and
    // disabled).
    void Show(const InPlaceText::SelectionFormat* format);

    QFontComboBox* FontNames() const { return fontNames_; }
    QComboBox* FontSizes() const { return fontSizes_; }

    // A face name or a size text the operator picked.
    std::function<void(const QString& face)> facePicked;
    std::function<void(const QString& points)> sizePicked;

    // An icon for a format command drawn with the toolkit's fonts (a desktop need
    // not have an icon theme).
    static QIcon IconFor(unsigned commandId, int size);

private:
    QFontComboBox* fontNames_ = nullptr;
    QComboBox* fontSizes_ = nullptr;
    bool showing_ = false;  // set while Show fills the controls: their signals are not picks
};
