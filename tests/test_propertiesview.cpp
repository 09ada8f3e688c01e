// The property grid's widget and the two property dialogs, driven through their
// editors as the operator drives them: each edit reaches the object through the
// grid model (one undo entry), a refused value leaves the object as it was and is
// reported, undo shows the old value in the grid again; the properties dialog's OK
// applies every field in one step; the paragraph dialog hands back what was typed
// and leaves empty fields alone.
#include "ui/ObjectPropertiesDialog.h"
#include "ui/ParagraphDialog.h"
#include "ui/PropertiesView.h"

#include "tests/RecordingPresenter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <vector>

namespace {

// The window around the grid: a document update refreshes the grid, as the main
// window's views do.
struct GridDocHost : IDocumentHost {
    void UpdateViews(int) override {
        if (view) view->Refresh();
    }
    CPropertiesView* view = nullptr;
};

struct GridHost : IPropertiesHost {
    void UpdateViews(int kind, const CRect*) override { kinds.push_back(kind); }
    QString ChooseFile(const QString& filter) override {
        filters.push_back(filter);
        return chosen;
    }
    std::vector<int> kinds;
    std::vector<QString> filters;
    QString chosen;
};

class PropertiesView : public ::testing::Test {
protected:
    void SetUp() override {
        doc.AddSimpleObject();
        object = doc.Selected;
        ASSERT_NE(object, nullptr);
        object->RichText = "{\\rtf1 text}";
        doc.Undo.ClearHistory();
        doc.Modified = false;
        view = std::make_unique<CPropertiesView>(doc, host);
        docHost.view = view.get();
        view->Rebuild(true);
        view->resize(420, 700);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }
    void TearDown() override { docHost.view = nullptr; }

    // The open editor of a row's value.
    QWidget* Open(int number) {
        const QModelIndex index = view->Items().IndexOf(number);
        EXPECT_TRUE(index.isValid()) << number;
        view->setCurrentIndex(index);  // opens the editor, as a click on the value does
        if (!view->indexWidget(index)) view->edit(index);
        QWidget* editor = view->indexWidget(index);
        EXPECT_NE(editor, nullptr) << "no editor for row " << number;
        return editor;
    }
    // What the grid shows in a row's value column.
    QString Shown(int number) const { return view->Items().IndexOf(number).data(Qt::DisplayRole).toString(); }
    // Typed into a line editor and confirmed with Enter.
    void Type(int number, const QString& text) {
        QWidget* editor = Open(number);
        ASSERT_NE(editor, nullptr);
        QLineEdit* edit = qobject_cast<QLineEdit*>(editor);
        if (!edit) edit = editor->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
        // The editor hands its text over after Enter from the event loop, and a
        // refusal's message comes after that.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    RecordingPresenter presenter;
    GridDocHost docHost;
    CMainDoc doc{docHost, 8};
    GridHost host;
    std::unique_ptr<CPropertiesView> view;
    CFrame* object = nullptr;
};

TEST_F(PropertiesView, ShowsTheModelsCategoriesRowsAndValues) {
    CPropertiesItemModel& items = view->Items();
    EXPECT_EQ(items.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Property");
    EXPECT_EQ(items.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Value");
    const auto& categories = view->Model().Categories();
    ASSERT_EQ(items.rowCount(), int(categories.size()));
    for (int c = 0; c < items.rowCount(); ++c) {
        const QModelIndex category = items.index(c, 0);
        EXPECT_EQ(category.data().toString(), categories[size_t(c)].name);
        ASSERT_EQ(items.rowCount(category), int(categories[size_t(c)].rows.size()));
        for (int r = 0; r < items.rowCount(category); ++r) {
            const int number = categories[size_t(c)].rows[size_t(r)];
            EXPECT_EQ(items.index(r, 0, category).data().toString(), view->Model().Row(number)->name);
            EXPECT_EQ(items.index(r, 1, category).data().toString(), view->Model().Value(number));
        }
    }
    // Rows that do not apply are greyed and cannot be edited; read-only rows are shown only.
    EXPECT_FALSE(items.flags(items.IndexOf(RowSpeed)) & Qt::ItemIsEnabled);
    EXPECT_FALSE(items.flags(items.IndexOf(RowSpeed)) & Qt::ItemIsEditable);
    EXPECT_TRUE(items.flags(items.IndexOf(RowX)) & Qt::ItemIsEnabled);
    EXPECT_FALSE(items.flags(items.IndexOf(RowX)) & Qt::ItemIsEditable);
    EXPECT_TRUE(items.flags(items.IndexOf(RowColor)) & Qt::ItemIsEditable);
    EXPECT_FALSE(items.flags(items.IndexOf(RowColor, 0)) & Qt::ItemIsEditable);
    view->setCurrentIndex(items.IndexOf(RowSpeed));
    EXPECT_EQ(view->indexWidget(items.IndexOf(RowSpeed)), nullptr);

    // Without a selection nothing has a value and nothing can be edited.
    doc.Select(nullptr);
    view->SelectionChanged();
    EXPECT_TRUE(Shown(RowColor).isEmpty());
    EXPECT_FALSE(items.flags(items.IndexOf(RowColor)) & Qt::ItemIsEnabled);
}

TEST_F(PropertiesView, TheColourDialogSetsTheColourAndKeepsTheOpacity) {
    const uint32_t opacity = object->BackColor & 0xFF000000u;
    std::vector<QColor> offered;
    view->chooseColour = [&](const QColor& initial, QWidget*) -> std::optional<QColor> {
        offered.push_back(initial);
        return QColor(255, 128, 0);
    };
    QWidget* editor = Open(RowColor);
    ASSERT_NE(editor, nullptr);
    auto* more = editor->findChild<QToolButton*>();
    ASSERT_NE(more, nullptr);
    EXPECT_EQ(more->text(), "more...");
    more->click();
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_EQ(offered[0], QColor(0, 0, 0));
    EXPECT_EQ(object->BackColor, opacity | 0x0080FFu);  // red in the low byte
    EXPECT_EQ(Shown(RowColor), "#ff8000");
    EXPECT_EQ(doc.Undo.UndoStack.size(), 1u);

    // Typed, the same row takes "#rrggbb" and refuses anything else.
    Type(RowColor, "#102030");
    EXPECT_EQ(object->BackColor, opacity | 0x302010u);
    presenter.texts.clear();
    Type(RowColor, "red");
    EXPECT_EQ(object->BackColor, opacity | 0x302010u);
    EXPECT_EQ(Shown(RowColor), "#102030") << "the previous value is back";
    EXPECT_TRUE(presenter.texts.empty()) << "and nothing else happens";

    // A cancelled colour dialog changes nothing.
    view->chooseColour = [](const QColor&, QWidget*) { return std::optional<QColor>(); };
    editor = Open(RowColor);
    ASSERT_NE(editor, nullptr);
    editor->findChild<QToolButton*>()->click();
    EXPECT_EQ(object->BackColor, opacity | 0x302010u);
    EXPECT_EQ(doc.Undo.UndoStack.size(), 2u);
}

TEST_F(PropertiesView, TheFileButtonAsksTheHostWithTheRowsFilter) {
    object->Kind = KindPicture;
    object->Frames.resize(1);
    object->ImageFileName = "/pictures/old.png";
    object->MaintainLink = 1;
    view->Refresh();
    host.chosen = "/pictures/new.png";
    QWidget* editor = Open(RowImageFileName);
    ASSERT_NE(editor, nullptr);
    auto* browse = editor->findChild<QToolButton*>();
    ASSERT_NE(browse, nullptr);
    browse->click();
    ASSERT_EQ(host.filters.size(), 1u);
    EXPECT_EQ(host.filters[0], view->Model().Row(RowImageFileName)->filter);
    EXPECT_EQ(object->ImageFileName, "/pictures/new.png");
    EXPECT_EQ(Shown(RowImageFileName), "/pictures/new.png");

    // Cancelled: nothing changes.
    host.chosen.clear();
    editor = Open(RowImageFileName);
    ASSERT_NE(editor, nullptr);
    editor->findChild<QToolButton*>()->click();
    EXPECT_EQ(object->ImageFileName, "/pictures/new.png");
    EXPECT_EQ(doc.Undo.UndoStack.size(), 1u);

    // The model's filter as the file dialog's.
    EXPECT_EQ(PropertiesFileDialog::QtFilter("CSV files|*.csv||"), "CSV files (*.csv)");
    EXPECT_EQ(PropertiesFileDialog::QtFilter("Pictures (*.tga;*.png)|*.tga;*.png|Text|*.txt||"),
              "Pictures (*.tga *.png);;Text (*.txt)");
}

TEST_F(PropertiesView, AHotkeyIsTakenFromTheKeysPressedOrTheList) {
    QWidget* editor = Open(RowHotkey);
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(object->Hotkey, 3);  // none, Ctrl+0, Ctrl+1, Ctrl+2
    EXPECT_EQ(Shown(RowHotkey), "Ctrl+2");

    editor = Open(RowHotkey);
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_7, Qt::AltModifier);
    EXPECT_EQ(object->Hotkey, 18);
    EXPECT_EQ(Shown(RowHotkey), "Alt+7");

    // A combination that is not a hotkey is refused: the row keeps its value.
    editor = Open(RowHotkey);
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QCoreApplication::processEvents();
    EXPECT_EQ(object->Hotkey, 18);
    EXPECT_EQ(Shown(RowHotkey), "Alt+7");
    EXPECT_TRUE(presenter.texts.empty());

    // From the list.
    auto* box = qobject_cast<QComboBox*>(Open(RowHotkey));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->currentText(), "Alt+7");
    box->setCurrentIndex(0);
    emit box->activated(0);
    EXPECT_EQ(object->Hotkey, 0);
    EXPECT_EQ(doc.Undo.UndoStack.size(), 3u);
}

TEST_F(PropertiesView, UpAndDownInAListMoveToTheNextRowAndLeaveTheValue) {
    QWidget* editor = Open(RowDropShadow);
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_Down);
    EXPECT_EQ(object->DropShadow, 0);
    EXPECT_EQ(view->currentIndex().data(CPropertiesItemModel::NumberRole).toInt(), RowMovement);
    EXPECT_TRUE(doc.Undo.UndoStack.empty());
    editor = view->indexWidget(view->Items().IndexOf(RowMovement));
    ASSERT_NE(editor, nullptr) << "the next row's editor is open";
    QTest::keyClick(editor, Qt::Key_Up);
    EXPECT_EQ(view->currentIndex().data(CPropertiesItemModel::NumberRole).toInt(), RowDropShadow);
    EXPECT_EQ(object->Movement, MovementFixed);
    EXPECT_TRUE(doc.Undo.UndoStack.empty());
}

TEST_F(PropertiesView, ARefusedNumberLeavesTheObjectAndTheRowShowsItsValueAgain) {
    const CObjectPropertyValues before = CObjectPropertyValues::Of(*object);
    Type(RowBackTransparency, "150");
    EXPECT_EQ(CObjectPropertyValues::Of(*object), before);
    EXPECT_EQ(Shown(RowBackTransparency), "89");
    EXPECT_TRUE(doc.Undo.UndoStack.empty());
    EXPECT_FALSE(doc.Modified);

    // Letters never reach the field; a number in range is taken.
    Type(RowBackTransparency, "5x0");
    EXPECT_EQ(object->BackColor >> 24, 127u);
    EXPECT_EQ(Shown(RowBackTransparency), "50");

    // A half-typed time is refused, not read as another time.
    object->TextSource = SourceTimer;
    view->Refresh();
    Type(RowTimerStart, "123");
    EXPECT_EQ(object->TimerStart, 0);
    EXPECT_EQ(Shown(RowTimerStart), "00:00:00");
    EXPECT_TRUE(presenter.texts.empty()) << "the grid never interrupts with a message";
    Type(RowTimerStart, "013000");
    EXPECT_EQ(object->TimerStart, 5400);
}

TEST_F(PropertiesView, UndoPutsTheObjectBackAndTheGridShowsTheOldValue) {
    Type(RowStartDelay, "2,5");
    EXPECT_EQ(object->StartDelay, 2500);
    EXPECT_EQ(Shown(RowStartDelay), "2.500");
    auto* box = qobject_cast<QComboBox*>(Open(RowMovement));
    ASSERT_NE(box, nullptr);
    box->setCurrentIndex(1);
    emit box->activated(1);
    EXPECT_EQ(object->Movement, 1);
    EXPECT_TRUE(view->Items().flags(view->Items().IndexOf(RowSpeed)) & Qt::ItemIsEnabled) << "a moving object has a speed";
    ASSERT_EQ(doc.Undo.UndoStack.size(), 2u);

    doc.DoUndo();
    EXPECT_EQ(object->Movement, 0);
    EXPECT_EQ(Shown(RowMovement), "Fixed");
    EXPECT_FALSE(view->Items().flags(view->Items().IndexOf(RowSpeed)) & Qt::ItemIsEnabled);
    doc.DoUndo();
    EXPECT_EQ(object->StartDelay, 0);
    EXPECT_EQ(Shown(RowStartDelay), "");
    EXPECT_TRUE(presenter.texts.empty());
}

TEST_F(PropertiesView, ChoosingAFileSourceAsksOnceEvenWhenTheDialogTakesTheFocus) {
    host.chosen = "/data/list.csv";
    auto* box = qobject_cast<QComboBox*>(Open(RowTextSource));
    ASSERT_NE(box, nullptr);
    box->setCurrentIndex(4);
    emit box->activated(4);
    EXPECT_EQ(host.filters, std::vector<QString>{"CSV files|*.csv||"});
    EXPECT_EQ(object->TextSource, SourceCsvFile);
    EXPECT_EQ(Shown(RowFileName), "/data/list.csv");
    EXPECT_TRUE(view->Items().flags(view->Items().IndexOf(RowSeparator)) & Qt::ItemIsEnabled);

    // Cancelled: the row shows the source it had, without a message.
    host.chosen.clear();
    box = qobject_cast<QComboBox*>(Open(RowTextSource));
    ASSERT_NE(box, nullptr);
    box->setCurrentIndex(2);
    emit box->activated(2);
    QCoreApplication::processEvents();
    EXPECT_EQ(object->TextSource, SourceCsvFile);
    EXPECT_EQ(Shown(RowTextSource), "CSV file");
    EXPECT_TRUE(presenter.texts.empty());
}

// ---------------------------------------------------------------------------------
// Object properties dialog

template <typename T>
T* Control(QWidget& dialog, int id) {
    return dialog.findChild<T*>(QStringLiteral("ctl_%1").arg(id));
}

TEST_F(PropertiesView, ThePropertiesDialogsOkAppliesEveryFieldInOneUndoStep) {
    const CObjectPropertyValues before = CObjectPropertyValues::Of(*object);
    CDlgFrameProps dialog(doc, view->Model(), host, &presenter);
    ASSERT_TRUE(dialog.Open());
    auto* showFor = Control<QLineEdit>(dialog, CObjectPropertiesDialogModel::EditShowFor);
    auto* startDelay = Control<QLineEdit>(dialog, CObjectPropertiesDialogModel::EditStartDelay);
    auto* group = Control<QComboBox>(dialog, CObjectPropertiesDialogModel::GroupList);
    auto* transparent = Control<QCheckBox>(dialog, 1059);
    auto* textTransparency = Control<QSlider>(dialog, 1008);
    auto* timer = Control<QRadioButton>(dialog, 1035);
    auto* down = Control<QRadioButton>(dialog, 1068);
    auto* fadeIn = Control<QCheckBox>(dialog, CDlgFrameProps::CheckFadeIn);
    auto* indefinitely = Control<QCheckBox>(dialog, CDlgFrameProps::CheckShowIndefinitely);
    ASSERT_TRUE(showFor && startDelay && group && transparent && textTransparency && timer && down && fadeIn &&
                indefinitely);
    EXPECT_EQ(Control<QWidget>(dialog, 1057)->property("text").toString(), "Solid");
    EXPECT_FALSE(down->isEnabled()) << "the timer's fields apply to a timer only";

    // An invalid duration keeps the dialog open on its field and changes nothing.
    fadeIn->setChecked(true);
    showFor->setText("1.2.3");
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(CObjectPropertyValues::Of(*object), before);
    ASSERT_EQ(presenter.texts.size(), 1u);
    EXPECT_TRUE(presenter.texts[0].endsWith("enter seconds, such as 1.5 (empty for none).")) << presenter.texts[0].toStdString();

    showFor->setText("3");
    indefinitely->setChecked(false);
    startDelay->setText("0,5");
    transparent->setChecked(true);
    textTransparency->setValue(50);
    group->setEditText(" Score ");
    timer->click();
    EXPECT_TRUE(down->isEnabled());
    down->click();
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(object->FadeIn, 1);
    EXPECT_EQ(object->ShowFor, 3000);
    EXPECT_EQ(object->ShowIndefinitely, 0);
    EXPECT_EQ(object->StartDelay, 500);
    EXPECT_EQ(object->BackColor >> 24, 0u);
    EXPECT_EQ(object->TextOpacity, 127);
    EXPECT_EQ(object->Group, "Score");
    EXPECT_EQ(object->TextSource, SourceTimer);
    EXPECT_EQ(object->TimerDirection, 1);
    EXPECT_EQ(object->TimerStart, 3600);  // swapped with the stop
    EXPECT_EQ(Shown(RowGroup), "Score") << "the grid shows what the dialog applied";
    ASSERT_EQ(doc.Undo.UndoStack.size(), 1u);
    doc.DoUndo();
    EXPECT_EQ(CObjectPropertyValues::Of(*object), before);
}

TEST_F(PropertiesView, ThePropertiesDialogOpensOnlyWithASelection) {
    doc.Select(nullptr);
    CDlgFrameProps dialog(doc, view->Model(), host, &presenter);
    EXPECT_FALSE(dialog.Open());
}

// ---------------------------------------------------------------------------------
// Paragraph dialog

TEST(ParagraphDialog, ReturnsWhatWasTypedAndLeavesEmptyFieldsAlone) {
    RecordingPresenter presenter;
    CDlgParaFmt dialog(12.0, 15.0, &presenter);
    CParagraphFormat current;
    current.alignment = 0;
    current.offset = -120;      // first line 10 px in
    current.startIndent = 360;  // following lines at 20 px
    current.spaceBefore = 45;   // 3 px
    dialog.Fill(current);
    auto* first = Control<QLineEdit>(dialog, CParagraphDialogModel::EditFirstLine);
    auto* left = Control<QLineEdit>(dialog, CParagraphDialogModel::EditLeft);
    auto* right = Control<QLineEdit>(dialog, CParagraphDialogModel::EditRight);
    auto* top = Control<QLineEdit>(dialog, CParagraphDialogModel::EditTop);
    auto* bottom = Control<QLineEdit>(dialog, CParagraphDialogModel::EditBottom);
    auto* alignment = Control<QComboBox>(dialog, 1001);
    auto* spacing = Control<QComboBox>(dialog, 1007);
    ASSERT_TRUE(first && left && right && top && bottom && alignment && spacing);
    EXPECT_EQ(first->text(), "10");
    EXPECT_EQ(left->text(), "20");
    EXPECT_EQ(top->text(), "3");
    EXPECT_TRUE(right->text().isEmpty());
    EXPECT_EQ(alignment->currentText(), "Left");
    EXPECT_EQ(spacing->currentIndex(), -1) << "mixed across the selection";

    // Not a number: refused on its field, reported, no result.
    right->setText("4px");
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_FALSE(dialog.Format().has_value());
    ASSERT_EQ(presenter.texts.size(), 1u);
    EXPECT_TRUE(presenter.texts[0].endsWith("enter a whole number of pixels.")) << presenter.texts[0].toStdString();

    right->setText("6");
    top->clear();
    alignment->setCurrentIndex(2);
    spacing->setCurrentIndex(2);
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_TRUE(dialog.Format().has_value());
    const CParagraphFormat& format = *dialog.Format();
    EXPECT_EQ(format.alignment, 2);
    EXPECT_EQ(format.lineSpacing, 40);
    EXPECT_EQ(format.rightIndent, 72);
    EXPECT_FALSE(format.spaceBefore.has_value()) << "an emptied field leaves its attribute";
    EXPECT_FALSE(format.spaceAfter.has_value());
    EXPECT_EQ(format.offset, -120) << "indents shown and left as they were come back as they were";
    EXPECT_EQ(format.startIndent, 360);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
