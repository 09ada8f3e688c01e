// The canvas widget driven as the operator drives it: clicks select, a drag moves
// the selection (one undo entry), keys nudge it, a locked object has no handles,
// and what is painted is the model's composition at the page offset.
#include "ui/CanvasView.h"
#include "ui/InPlaceEditor.h"

#include "core/VideoModes.h"
#include "tests/RecordingPresenter.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct QuietDocHost : IDocumentHost {
    void UpdateViews(int) override {}
};

class CanvasView : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(store.WriteInt("ViewEdit", "ZoomFactor", 0));  // 100 %: page and screen pixels alike
        ASSERT_TRUE(store.WriteInt("View", "Background", 1));  // solid, so the page shows as one colour
        ASSERT_TRUE(store.WriteInt("View", "BackgroundColor", 0x203040));
        first = Add({100, 100, 300, 200});
        second = Add({400, 300, 500, 400});
        model = std::make_unique<CCanvasModel>(doc, view, store, InstanceKind::Main, renderer);
        view.resize(1000, 800);
        view.Attach(*model, nullptr);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        view.Refresh(UpdateGeneral);
    }
    CFrame* Add(CRect rect) {
        auto object = std::make_unique<CFrame>();
        object->Rect = rect;
        CFrame* added = object.get();
        EXPECT_TRUE(doc.AddObject(std::move(object)));
        return added;
    }
    // A page point in the viewport's coordinates.
    QPoint At(int x, int y) const {
        const QPoint scroll(view.horizontalScrollBar()->value(), view.verticalScrollBar()->value());
        return model->PageOffset() - scroll + QPoint(x, y);
    }
    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, view.viewport()->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &event);
    }

    RecordingPresenter presenter;
    QTemporaryDir dir;
    CSettingsStore store{dir.filePath(QStringLiteral("canvas.ini"))};
    QuietDocHost docHost;
    CMainDoc doc{docHost, 8};  // 720 x 576
    CRichEditTextRenderer renderer{1011};
    CCanvasView view;
    std::unique_ptr<CCanvasModel> model;
    CFrame* first = nullptr;
    CFrame* second = nullptr;
};

TEST_F(CanvasView, AClickSelectsAndADragMovesTheSelectionWithOneUndoEntry) {
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, At(450, 350));
    ASSERT_EQ(doc.Selected, second);
    // The first click only selected; now a drag moves it by (40, 24).
    const size_t entries = doc.Undo.UndoStack.size();
    Mouse(QEvent::MouseButtonPress, At(450, 350), Qt::LeftButton);
    Mouse(QEvent::MouseMove, At(470, 362), Qt::LeftButton);
    Mouse(QEvent::MouseMove, At(490, 374), Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, At(490, 374), Qt::NoButton);
    EXPECT_EQ(second->Rect, (CRect{440, 324, 540, 424}));
    EXPECT_EQ(doc.Undo.UndoStack.size(), entries + 1);
    doc.DoUndo();
    EXPECT_EQ(second->Rect, (CRect{400, 300, 500, 400}));
}

TEST_F(CanvasView, KeysNudgeAndResizeTheSelectionAndTabMovesOn) {
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, At(150, 150));
    ASSERT_EQ(doc.Selected, first);
    QTest::keyClick(&view, Qt::Key_Right);
    QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(first->Rect, (CRect{101, 100, 301, 201}));
    QTest::keyClick(&view, Qt::Key_Tab);
    EXPECT_EQ(doc.Selected, second) << "Tab selects the next object, it does not leave the canvas";
}

TEST_F(CanvasView, ThePaintedPageIsTheCompositionAndALockedSelectionHasNoHandles) {
    first->Locked = 1;
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, At(150, 150));
    ASSERT_EQ(doc.Selected, first);
    const QImage shown = view.viewport()->grab().toImage();
    EXPECT_EQ(shown.pixelColor(At(600, 50)), QColor(0x40, 0x30, 0x20)) << "the solid background, red in the low byte";
    EXPECT_NE(shown.pixelColor(At(-20, -20)), QColor(0x40, 0x30, 0x20)) << "around the page";
    const QPoint handle = At(100, 100) - QPoint(3, 3);  // where the top-left handle would be
    EXPECT_EQ(shown.pixelColor(handle), QColor(0x40, 0x30, 0x20));

    first->Locked = 0;
    view.viewport()->repaint();
    const QImage unlocked = view.viewport()->grab().toImage();
    EXPECT_NE(unlocked.pixelColor(handle), QColor(0x40, 0x30, 0x20)) << "an unlocked selection has its handles";
    // Dragging a locked object moves nothing.
    first->Locked = 1;
    Mouse(QEvent::MouseButtonPress, At(150, 150), Qt::LeftButton);
    Mouse(QEvent::MouseMove, At(190, 190), Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, At(190, 190), Qt::NoButton);
    EXPECT_EQ(first->Rect, (CRect{100, 100, 300, 200}));
}

TEST_F(CanvasView, AHandleResizesOnTheGridAndZoomKeepsTheSelection) {
    model->ToggleSnap();  // step 8
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, At(450, 350));
    ASSERT_EQ(doc.Selected, second);
    // The bottom-right handle lies just outside the frame's corner.
    Mouse(QEvent::MouseButtonPress, At(503, 403), Qt::LeftButton);
    Mouse(QEvent::MouseMove, At(540, 424), Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, At(540, 424), Qt::NoButton);
    EXPECT_EQ(second->Rect, (CRect{400, 296, 536, 424})) << "every edge on the grid: right 537 to 536, bottom 421 to 424, top 300 halfway down to 296";

    for (int zoom : {2, 5, 1}) {
        SCOPED_TRACE(zoom);
        model->SetZoom(zoom);
        EXPECT_EQ(doc.Selected, second);
        const QPoint scroll(view.horizontalScrollBar()->value(), view.verticalScrollBar()->value());
        EXPECT_EQ(model->TrackerRect(scroll), model->ToView(second->Rect, scroll));
    }
}

TEST_F(CanvasView, TextEditedInPlaceIsStoredOnEscapeAndUndoneAsOneEntry) {
    const QByteArray before =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\\pard\\f0\\fs56 Name\\par}";
    first->RichText = before;
    model->SetZoom(3);  // 50 %: the editor shows the text at half size
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, model->ToView(first->Rect, {}).center());
    ASSERT_EQ(doc.Selected, first);
    QTest::keyClick(&view, Qt::Key_Return);
    CInPlaceEditor* editor = view.Editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->pos(), model->ToView(first->Rect, {}).topLeft());
    EXPECT_EQ(editor->Format().points, 28);
    EXPECT_DOUBLE_EQ(editor->textCursor().charFormat().fontPointSize() * editor->logicalDpiY() / 96.0, 14.0);

    // The editor's own undo takes back what was typed: nothing to store.
    QTest::keyClick(editor, Qt::Key_End);
    QTest::keyClicks(editor, QStringLiteral(" Surname"));
    QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(view.Editor(), nullptr);
    EXPECT_FALSE(model->Editing());
    const size_t entries = doc.Undo.UndoStack.size();
    EXPECT_EQ(first->RichText, before);

    QTest::keyClick(&view, Qt::Key_Return);
    editor = view.Editor();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_End);
    QTest::keyClicks(editor, QStringLiteral(" Surname"));
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_TRUE(first->RichText.contains("Name Surname")) << first->RichText.constData();
    EXPECT_TRUE(first->RichText.contains("\\fs56")) << "stored at its own size, not the shown one";
    EXPECT_EQ(doc.Undo.UndoStack.size(), entries + 1);
    doc.DoUndo();
    EXPECT_EQ(first->RichText, before);
}

TEST_F(CanvasView, TheContextMenuFollowsWhatIsSelectedOrEdited) {
    std::vector<int> menus;
    view.contextMenu = [&menus](int menu, QPoint) { menus.push_back(menu); };
    auto rightClick = [this](QWidget* target, QPoint at) {
        Mouse(QEvent::MouseButtonPress, at, Qt::RightButton);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
        QCoreApplication::sendEvent(target, &event);
    };
    rightClick(view.viewport(), At(600, 500));
    rightClick(view.viewport(), At(150, 150));
    ASSERT_EQ(doc.Selected, first);
    QTest::keyClick(&view, Qt::Key_Return);
    ASSERT_NE(view.Editor(), nullptr);
    QContextMenuEvent inEditor(QContextMenuEvent::Mouse, QPoint(5, 5), view.Editor()->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(view.Editor()->viewport(), &inEditor);
    EXPECT_EQ(menus, (std::vector<int>{204, 203, 202}));
}

TEST_F(CanvasView, OnAirOutlinesArePaintedInTheirKindsPenAtEachTick) {
    doc.Select(nullptr);  // no tracker over the edges
    view.viewport()->repaint();
    const QImage before = view.viewport()->grab().toImage();
    first->Playing = 1;
    second->Playing = 1;
    second->Paused = 1;
    model->Tick();
    view.viewport()->repaint();
    const QImage shown = view.viewport()->grab().toImage();
    // The pens' colours (red in the low byte): green for running, yellow for paused.
    EXPECT_EQ(shown.pixelColor(At(200, 100)), QColor(0, 0xC8, 0)) << "top edge of the playing object";
    EXPECT_EQ(shown.pixelColor(At(450, 300)), QColor(0xC8, 0xC8, 0)) << "top edge of the paused object";
    EXPECT_EQ(shown.pixelColor(At(200, 150)), before.pixelColor(At(200, 150))) << "inside: the page as composed";
    first->Playing = 0;
    second->Playing = 0;
    model->Tick();
    view.viewport()->repaint();
    EXPECT_EQ(view.viewport()->grab().toImage().pixelColor(At(200, 100)), before.pixelColor(At(200, 100)))
        << "gone once nothing plays";
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
