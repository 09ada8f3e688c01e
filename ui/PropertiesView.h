// The property grid's widget: a two-column tree of the selected object's
// categories and rows as CObjectPropertiesModel gives them, with an editor per row
// kind (text, digits, lists, colours, files, times, hotkeys). Every edit goes to
// the model; what the rows show afterwards is what the model shows, so a refused
// value comes back as it was, with a message that says what the row takes.
//
// Threads: the user-interface thread only (the document's).
#pragma once

#include "app/ObjectProperties.h"

#include <QAbstractItemModel>
#include <QColor>
#include <QTreeView>
#include <functional>
#include <optional>

class IMessagePresenter;

// The grid model as Qt items: categories at the top level, their rows below, the
// row's name in column 0 and its value in column 1. It shows what the model holds
// and nothing else.
class CPropertiesItemModel : public QAbstractItemModel {
public:
    // The row number of an item (Qt::UserRole on a row's items; 0 on a category).
    static constexpr int NumberRole = Qt::UserRole;

    explicit CPropertiesItemModel(const CObjectPropertiesModel& model, QObject* parent = nullptr);

    // After the model's Rebuild: the categories and rows again.
    void Reset();
    // After the model's Refresh: every value and enabled state again.
    void ValuesChanged();

    // The value item (column 1) of a row number; invalid when the grid has no such row.
    QModelIndex IndexOf(int number, int column = 1) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const CObjectPropertiesModel& model_;
};

class CPropertiesView : public QTreeView {
public:
    // host: the window around the grid (view updates, the source file dialog); it
    // outlives the view.
    CPropertiesView(CMainDoc& document, IPropertiesHost& host, QWidget* parent = nullptr);
    ~CPropertiesView() override;

    // The rows again in the current language, with the "Remote control" category
    // while the switcher's remote control is in use (when made, on a language change
    // and when the remote control is switched on or off).
    void Rebuild(bool remoteInUse);
    // The selected object's values again (on every document update and selection change).
    void Refresh();
    void SelectionChanged() { Refresh(); }

    // The grid model, which the object properties dialog shares.
    CObjectPropertiesModel& Model() { return model_; }
    CPropertiesItemModel& Items() { return *items_; }
    IPropertiesHost& Host() { return host_; }

    // One row edited with the text its editor produced: the model takes or refuses
    // it, the rows show the model's values afterwards, and a refusal is reported.
    PropertyEdit Commit(int number, const QString& text);

    // The colour dialog of the "more..." button; a test puts its own in. Nothing
    // when cancelled.
    std::function<std::optional<QColor>(const QColor& initial, QWidget* parent)> chooseColour;

private:
    void Report(int number, const QString& text);

    IPropertiesHost& host_;
    CObjectPropertiesModel model_;
    CPropertiesItemModel* items_;
    bool committing_ = false;  // an edit's own dialogs (source file) must not start another
};

namespace PropertyColours {
// A colour word (red in the low byte, the opacity byte ignored) as a QColor, and a
// QColor as a colour word without opacity.
QColor ToQColor(uint32_t colour);
uint32_t FromQColor(const QColor& colour);
// The colour dialog; nothing when cancelled.
std::optional<QColor> Choose(const QColor& initial, QWidget* parent);
}  // namespace PropertyColours

namespace PropertiesFileDialog {
// The model's filter "Description|patterns||Other|patterns||" as a QFileDialog
// filter ("Description (patterns);;Other (patterns)").
QString QtFilter(const QString& filter);
// An existing file chosen with that filter; empty when cancelled. For the host's
// ChooseFile.
QString Choose(QWidget* parent, const QString& filter);
}  // namespace PropertiesFileDialog

namespace PropertyMessages {
// What a refused row takes, named after the row, for the message box.
QString Refusal(const PropertyRow& row, const QString& text);
}  // namespace PropertyMessages
