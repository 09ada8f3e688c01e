#include "ui/TranslateWidgets.h"

#include "base/Translate.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QVariant>
#include <QWidget>

namespace TranslateWidgets {

namespace {

// Buttons, labels and the like show "text"; group boxes show "title".
void SetWidgetText(QWidget* widget, const QString& text) {
    if (widget->metaObject()->indexOfProperty("text") >= 0) {
        widget->setProperty("text", text);
    } else if (widget->metaObject()->indexOfProperty("title") >= 0) {
        widget->setProperty("title", text);
    } else {
        widget->setWindowTitle(text);
    }
}

}  // namespace

void TranslateWindow(unsigned dialogId, QWidget* window) {
    const CTranslate& translate = CTranslate::Global();
    QString text;
    if (translate.Lookup(CTranslate::DialogKey(dialogId), text)) window->setWindowTitle(text);
    for (QWidget* child : window->findChildren<QWidget*>()) {
        const QVariant id = child->property(ControlIdProperty);
        if (!id.isValid()) continue;
        if (translate.Lookup(CTranslate::ControlKey(dialogId, id.toUInt()), text)) SetWidgetText(child, text);
    }
}

void TranslateMenu(unsigned menuId, QMenu* menu) {
    CTranslate& translate = CTranslate::Global();
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) continue;
        QMenu* submenu = action->menu();
        if (submenu) ++translate.PopupCounter;
        const unsigned commandId = submenu ? 0 : action->property(CommandIdProperty).toUInt();
        QString text;
        if (translate.Lookup(CTranslate::MenuKey(menuId, translate.PopupCounter, commandId), text))
            action->setText(text);
        if (submenu) TranslateMenu(menuId, submenu);
    }
}

void FillComboBox(unsigned firstId, QComboBox* box, int count) {
    for (int k = 0; k < count; ++k) box->addItem(CTranslate::Global().LoadText(firstId + unsigned(k)));
}

}  // namespace TranslateWidgets
