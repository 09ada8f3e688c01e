#include "ui/PropertiesView.h"

#include "base/Translate.h"
#include "ui/SafeLineEdit.h"

#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QToolButton>

namespace {

constexpr unsigned IntegerRefusal = 12700;
constexpr unsigned SecondsRefusal = 12701;
constexpr unsigned TimeRefusal = 12702;
constexpr unsigned ColourRefusal = 12703;
constexpr unsigned ChoiceRefusal = 12704;
constexpr unsigned ValueRefusal = 12705;

// A row's list: the up and down keys move to the next row, as they do on a text
// row, rather than change the value one step (and one undo entry) at a time; the
// list opens with Alt+Down, F4 or a click. Besides choosing from the list, the
// hotkey row hands a pressed Ctrl or Alt combination's name ("Ctrl+2") to the
// model, which takes it when it is one of the hotkeys.
class CChoiceCombo : public QComboBox {
public:
    explicit CChoiceCombo(QWidget* parent) : QComboBox(parent) {}
    std::function<void(const QString&)> pressed;  // set on the hotkey row only

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const Qt::KeyboardModifiers modifiers =
            event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier);
        const int key = event->key();
        if (modifiers == Qt::NoModifier &&
            (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown)) {
            event->ignore();  // to the tree
            return;
        }
        const bool modifierOnly = key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Shift ||
                                  key == Qt::Key_Meta || key == Qt::Key_AltGr || key == 0 || key == Qt::Key_unknown;
        const bool openKey = key == Qt::Key_Down || key == Qt::Key_Up;  // Alt+Down opens the list
        if (pressed && (modifiers & (Qt::ControlModifier | Qt::AltModifier)) && !modifierOnly && !openKey) {
            pressed(QKeySequence(QKeyCombination(modifiers, Qt::Key(key))).toString(QKeySequence::PortableText));
            event->accept();
            return;
        }
        QComboBox::keyPressEvent(event);
    }
};

// A line edit with a button beside it (the colour's "more...", the file's "...").
class CButtonEditor : public QWidget {
public:
    CButtonEditor(const QString& buttonText, QWidget* parent) : QWidget(parent) {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        edit = new QLineEdit(this);
        edit->setFrame(false);
        button = new QToolButton(this);
        button->setText(buttonText);
        button->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(edit, 1);
        layout->addWidget(button);
        setFocusProxy(edit);
        setAutoFillBackground(true);
    }
    QLineEdit* edit;
    QToolButton* button;
};

QColor ColourOf(const QString& text) {
    const std::optional<uint32_t> colour = PropertyText::ParseColour(text);
    return colour ? PropertyColours::ToQColor(*colour) : QColor();
}

QPixmap Swatch(const QColor& colour, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(colour);
    QPainter painter(&pixmap);
    painter.setPen(QColor(Qt::darkGray));
    painter.drawRect(0, 0, size - 1, size - 1);
    return pixmap;
}

}  // namespace

// ---------------------------------------------------------------------------------
// Items

CPropertiesItemModel::CPropertiesItemModel(const CObjectPropertiesModel& model, QObject* parent)
    : QAbstractItemModel(parent), model_(model) {}

void CPropertiesItemModel::Reset() {
    beginResetModel();
    endResetModel();
}

void CPropertiesItemModel::ValuesChanged() {
    const auto& categories = model_.Categories();
    for (int c = 0; c < int(categories.size()); ++c) {
        if (categories[size_t(c)].rows.empty()) continue;
        const QModelIndex category = index(c, 0);
        emit dataChanged(index(0, 0, category), index(int(categories[size_t(c)].rows.size()) - 1, 1, category));
    }
}

QModelIndex CPropertiesItemModel::IndexOf(int number, int column) const {
    const auto& categories = model_.Categories();
    for (int c = 0; c < int(categories.size()); ++c) {
        const auto& rows = categories[size_t(c)].rows;
        for (int r = 0; r < int(rows.size()); ++r)
            if (rows[size_t(r)] == number) return index(r, column, index(c, 0));
    }
    return {};
}

QModelIndex CPropertiesItemModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column > 1) return {};
    const auto& categories = model_.Categories();
    if (!parent.isValid()) return row < int(categories.size()) ? createIndex(row, column, quintptr(0)) : QModelIndex();
    if (parent.internalId() != 0 || parent.row() >= int(categories.size())) return {};
    if (row >= int(categories[size_t(parent.row())].rows.size())) return {};
    return createIndex(row, column, quintptr(parent.row() + 1));
}

QModelIndex CPropertiesItemModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == 0) return {};
    return createIndex(int(child.internalId() - 1), 0, quintptr(0));
}

int CPropertiesItemModel::rowCount(const QModelIndex& parent) const {
    const auto& categories = model_.Categories();
    if (!parent.isValid()) return int(categories.size());
    if (parent.internalId() != 0 || parent.column() != 0 || parent.row() >= int(categories.size())) return 0;
    return int(categories[size_t(parent.row())].rows.size());
}

int CPropertiesItemModel::columnCount(const QModelIndex&) const { return 2; }

QVariant CPropertiesItemModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const auto& categories = model_.Categories();
    if (index.internalId() == 0) {
        if (index.row() >= int(categories.size()) || index.column() != 0) return {};
        const PropertyCategory& category = categories[size_t(index.row())];
        switch (role) {
        case Qt::DisplayRole: return category.name;
        case Qt::FontRole: {
            QFont font;
            font.setBold(true);
            return font;
        }
        case NumberRole: return 0;
        default: return {};
        }
    }
    const PropertyCategory& category = categories[size_t(index.internalId() - 1)];
    if (index.row() >= int(category.rows.size())) return {};
    const int number = category.rows[size_t(index.row())];
    const PropertyRow* row = model_.Row(number);
    if (!row) return {};
    switch (role) {
    case Qt::DisplayRole: return index.column() == 0 ? row->name : model_.Value(number);
    case Qt::EditRole: return model_.Value(number);
    case Qt::ToolTipRole:
    case Qt::StatusTipRole: return row->description;
    case Qt::DecorationRole:
        if (index.column() == 1 && row->editor == PropertyEditor::Colour && model_.HasObject()) {
            const QColor colour = ColourOf(model_.Value(number));
            if (colour.isValid()) return Swatch(colour, 12);
        }
        return {};
    case NumberRole: return number;
    default: return {};
    }
}

QVariant CPropertiesItemModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 1) return {};
    return CObjectPropertiesModel::HeaderText(section);
}

Qt::ItemFlags CPropertiesItemModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    if (index.internalId() == 0) return Qt::ItemIsEnabled;
    const int number = data(index, NumberRole).toInt();
    const PropertyRow* row = model_.Row(number);
    if (!row || !model_.Enabled(number)) return Qt::NoItemFlags;  // greyed, not editable
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 1 && row->editor != PropertyEditor::ReadOnly) flags |= Qt::ItemIsEditable;
    return flags;
}

// ---------------------------------------------------------------------------------
// Editors

namespace {

class CPropertyDelegate : public QStyledItemDelegate {
public:
    explicit CPropertyDelegate(CPropertiesView& view) : QStyledItemDelegate(&view), view_(view) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
        const int number = index.data(CPropertiesItemModel::NumberRole).toInt();
        const PropertyRow* row = view_.Model().Row(number);
        if (!row) return nullptr;
        auto* self = const_cast<CPropertyDelegate*>(this);
        switch (row->editor) {
        case PropertyEditor::ReadOnly: return nullptr;
        case PropertyEditor::Bool:
        case PropertyEditor::List:
        case PropertyEditor::EditableList: {
            auto* box = new CChoiceCombo(parent);
            if (number == RowHotkey) {
                box->pressed = [self, box, number](const QString& text) {
                    self->view_.Commit(number, text);
                    emit self->closeEditor(box);
                };
            }
            box->addItems(row->choices);
            box->setMaxVisibleItems(16);
            if (row->editor == PropertyEditor::EditableList) {
                box->setEditable(true);
                box->setInsertPolicy(QComboBox::NoInsert);
            } else {
                // A choice is taken as soon as it is made, as a property grid does.
                connect(box, &QComboBox::activated, self, [self, box] {
                    emit self->commitData(box);
                    emit self->closeEditor(box);
                });
            }
            return box;
        }
        case PropertyEditor::Integer:
        case PropertyEditor::Seconds: {
            auto* edit = new CSafeLineEdit(row->characters, parent);
            edit->setFrame(false);
            if (row->editor == PropertyEditor::Integer)
                edit->setPlaceholderText(QStringLiteral("%1 - %2").arg(row->minimum).arg(row->maximum));
            return edit;
        }
        case PropertyEditor::Time: {
            auto* edit = new QLineEdit(parent);
            edit->setFrame(false);
            // Digits allowed but not required in each place: a half-typed time goes to
            // the model, which refuses it with a message, instead of Enter doing nothing.
            QString mask = row->mask;
            mask.replace(u'_', u'0');
            edit->setInputMask(mask + QStringLiteral(";_"));
            return edit;
        }
        case PropertyEditor::Colour: {
            auto* editor = new CButtonEditor(row->buttonText, parent);
            editor->edit->setMaxLength(7);
            connect(editor->button, &QToolButton::clicked, self, [self, editor, number] {
                if (!self->view_.chooseColour) return;
                const std::optional<QColor> chosen =
                    self->view_.chooseColour(ColourOf(self->view_.Model().Value(number)), &self->view_);
                if (!chosen || !chosen->isValid()) return;
                self->view_.Commit(number, chosen->name(QColor::HexRgb));
                emit self->closeEditor(editor);
            });
            return editor;
        }
        case PropertyEditor::File: {
            auto* editor = new CButtonEditor(QStringLiteral("..."), parent);
            connect(editor->button, &QToolButton::clicked, self, [self, editor, number] {
                const PropertyRow* current = self->view_.Model().Row(number);
                if (!current) return;
                const QString path = self->view_.Host().ChooseFile(current->filter);
                if (path.isEmpty()) return;
                self->view_.Commit(number, path);
                emit self->closeEditor(editor);
            });
            return editor;
        }
        }
        return nullptr;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        const int number = index.data(CPropertiesItemModel::NumberRole).toInt();
        const CObjectPropertiesModel& model = view_.Model();
        const QString value = model.Value(number);
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            if (box->isEditable()) box->setEditText(value);
            else box->setCurrentIndex(model.ChoiceIndex(number));
        } else if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
            edit->setText(value);
            edit->selectAll();
        } else if (auto* buttons = dynamic_cast<CButtonEditor*>(editor)) {
            buttons->edit->setText(value);
            buttons->edit->selectAll();
        }
    }

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
        const int number = index.data(CPropertiesItemModel::NumberRole).toInt();
        QString text;
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            if (!box->isEditable() && box->currentIndex() < 0) return;  // nothing chosen
            text = box->currentText();
        } else if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
            text = edit->text();
            // A masked field hands over what it shows, blanks included, so that a
            // half-typed time is refused rather than read as another one.
            if (!edit->inputMask().isEmpty()) text = edit->displayText();
        } else if (auto* buttons = dynamic_cast<CButtonEditor*>(editor)) {
            text = buttons->edit->text();
        } else {
            return;
        }
        view_.Commit(number, text);
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const override {
        editor->setGeometry(option.rect);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(qMax(size.height() + 4, option.fontMetrics.height() + 8));
        return size;
    }

private:
    CPropertiesView& view_;
};

}  // namespace

// ---------------------------------------------------------------------------------
// View

CPropertiesView::CPropertiesView(CMainDoc& document, IPropertiesHost& host,
                                 QWidget* parent)
    : QTreeView(parent), host_(host), model_(document, host),
      items_(new CPropertiesItemModel(model_, this)) {
    chooseColour = PropertyColours::Choose;
    setModel(items_);
    setItemDelegate(new CPropertyDelegate(*this));
    setAlternatingRowColors(true);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setIndentation(12);
    header()->setStretchLastSection(true);
    header()->setSectionResizeMode(0, QHeaderView::Interactive);
    header()->setSectionsMovable(false);
    Rebuild(false);
}

CPropertiesView::~CPropertiesView() = default;

void CPropertiesView::Rebuild(bool remoteInUse) {
    model_.Rebuild(remoteInUse);
    items_->Reset();
    for (int c = 0; c < items_->rowCount(); ++c) setFirstColumnSpanned(c, QModelIndex(), true);
    expandAll();
    resizeColumnToContents(0);
    setColumnWidth(0, columnWidth(0) + 16);
}

void CPropertiesView::Refresh() {
    model_.Refresh();
    items_->ValuesChanged();
}

PropertyEdit CPropertiesView::Commit(int number, const QString& text) {
    // The source file dialog an edit opens takes the focus from the editor, which
    // would hand its text in again.
    if (committing_) return PropertyEdit::Unchanged;
    committing_ = true;
    const PropertyEdit outcome = model_.Edit(number, text);
    committing_ = false;
    items_->ValuesChanged();
    // A refused value: the row shows its previous value again and nothing else
    // happens (no message box takes the operator's focus in the middle of a show).
    return outcome;
}

// ---------------------------------------------------------------------------------
// Helpers

namespace PropertyColours {

QColor ToQColor(uint32_t colour) {
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

uint32_t FromQColor(const QColor& colour) {
    return uint32_t(colour.red()) | uint32_t(colour.green()) << 8 | uint32_t(colour.blue()) << 16;
}

std::optional<QColor> Choose(const QColor& initial, QWidget* parent) {
    const QColor colour = QColorDialog::getColor(initial, parent);
    if (!colour.isValid()) return std::nullopt;
    return colour;
}

}  // namespace PropertyColours

namespace PropertiesFileDialog {

QString QtFilter(const QString& filter) {
    QStringList filters;
    const QStringList parts = filter.split(u'|');
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const QString patterns = parts[i + 1].trimmed();
        if (description.isEmpty() && patterns.isEmpty()) break;  // the closing "||"
        // "Pictures (*.tga;*.png)" already names its patterns: Qt reads the last
        // parenthesis, so the description loses its own.
        const qsizetype open = description.lastIndexOf(QStringLiteral(" ("));
        if (open > 0 && description.endsWith(u')')) description.truncate(open);
        QString spaced = patterns;
        spaced.replace(u';', u' ');
        filters << QStringLiteral("%1 (%2)").arg(description, spaced);
    }
    return filters.join(QStringLiteral(";;"));
}

QString Choose(QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), QtFilter(filter));
}

}  // namespace PropertiesFileDialog

namespace PropertyMessages {

QString Refusal(const PropertyRow& row, const QString& text) {
    const CTranslate& translate = CTranslate::Global();
    switch (row.editor) {
    case PropertyEditor::Integer: return translate.FormatText(IntegerRefusal, {row.name, row.minimum, row.maximum});
    case PropertyEditor::Seconds: return translate.FormatText(SecondsRefusal, {row.name});
    case PropertyEditor::Time: return translate.FormatText(TimeRefusal, {row.name});
    case PropertyEditor::Colour: return translate.FormatText(ColourRefusal, {row.name});
    case PropertyEditor::Bool:
    case PropertyEditor::List: return translate.FormatText(ChoiceRefusal, {row.name, text});
    default: return translate.FormatText(ValueRefusal, {row.name, text});
    }
}

}  // namespace PropertyMessages
