// The canvas model without a widget: zoom and layout, the background and the
// composed page, hit testing, the click that only selects, moves and resizes with
// the tracker and the keys (snapping, clamping, the 16-pixel rule, undo), the keys'
// other commands, on-air outlines, adding objects and in-place editing's document
// side, seen through recording hosts and a recording message presenter.
#include "app/Canvas.h"
#include "app/InPlaceText.h"
#include "tests/RecordingPresenter.h"
#include "base/Translate.h"
#include "core/VideoModes.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTextDocument>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace {

class DocHost : public IDocumentHost {
public:
    void UpdateViews(int kind) override { updates.push_back(kind); }
    std::vector<int> updates;
};

class CanvasHost : public ICanvasHost {
public:
    struct Update {
        int kind;
        bool hasRect;
        CRect rect;
    };
    void UpdateViews(int kind, const CRect* rect) override { updates.push_back({kind, rect != nullptr, rect ? *rect : CRect{}}); }
    void ZoomChanged(int index) override { zooms.push_back(index); }
    void Repaint() override { ++repaints; }
    void OpenInPlaceEditor(const InPlaceEditor& e) override {
        opened.push_back(e);
        open = true;
    }
    QByteArray InPlaceEditorText() override { return editorText; }
    void CloseInPlaceEditor() override { open = false; }

    std::vector<Update> updates;
    std::vector<int> zooms;
    int repaints = 0;
    std::vector<InPlaceEditor> opened;
    bool open = false;
    QByteArray editorText;
};

// The 720 x 576 mode: a small page.
int SmallMode() {
    for (int m = 0; m < 13; ++m)
        if (VideoModes::RenderWidth(m) == 720 && VideoModes::RenderHeight(m) == 576) return m;
    return 0;
}

class Canvas : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        store = std::make_unique<CSettingsStore>(dir.filePath("canvas.ini"));
        ASSERT_TRUE(store->WriteInt("ViewEdit", "ZoomFactor", 0));  // page and screen pixels alike
        MakeCanvas();
    }
    void MakeCanvas(InstanceKind kind = InstanceKind::Main) {
        canvas.reset();
        canvas = std::make_unique<CCanvasModel>(doc, host, *store, kind, renderer);
        canvas->Layout(QSize(0, 0), 0, 0);  // the page at the view's top left
    }
    CFrame* AddObject(CRect rect) {
        auto object = std::make_unique<CFrame>();
        object->Rect = rect;
        CFrame* added = object.get();
        doc.Page.Add(object);
        return added;
    }
    // What the history holds.
    size_t UndoCount() const { return doc.Undo.UndoStack.size(); }

    RecordingPresenter presenter;
    QTemporaryDir dir;
    std::unique_ptr<CSettingsStore> store;
    DocHost docHost;
    CMainDoc doc{docHost, SmallMode()};
    CanvasHost host;
    CRichEditTextRenderer renderer{1011};
    std::unique_ptr<CCanvasModel> canvas;
};

// ---------------------------------------------------------------------------------
// Zoom and layout

TEST_F(Canvas, ZoomTableAndConversions) {
    const struct {
        int index;
        double factor;
        const char* text;
        int page;    // a page value
        int screen;  // its screen value (truncated)
        int back;    // a screen value back to the page (truncated)
    } cases[] = {
        {0, 1.0, "100%", 101, 101, 101},  {1, 0.75, "75%", 101, 75, 100}, {2, 0.66, "66%", 101, 66, 100},
        {3, 0.5, "50%", 101, 50, 100},    {4, 0.33, "33%", 101, 33, 100}, {5, 0.25, "25%", 101, 25, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_DOUBLE_EQ(CCanvasModel::ZoomFactorOf(c.index), c.factor);
        EXPECT_EQ(CCanvasModel::ZoomText(c.index), QString::fromLatin1(c.text));
        canvas->SetZoom(c.index);
        EXPECT_EQ(canvas->ToScreen(c.page), c.screen);
        EXPECT_EQ(canvas->ToPage(c.screen), c.back);
    }
}

TEST_F(Canvas, LayoutCentresTheScaledPageOrKeepsTheBarSizes) {
    canvas->SetZoom(3);  // 720 x 576 at 50 %: 360 x 288
    canvas->Layout(QSize(800, 600), 17, 15);
    EXPECT_EQ(canvas->ScaledPage(), QSize(360, 288));
    EXPECT_EQ(canvas->ScrollArea(), QSize(394, 318));
    EXPECT_EQ(canvas->PageOffset(), QPoint(220, 156));
    canvas->Layout(QSize(300, 200), 17, 15);
    EXPECT_EQ(canvas->PageOffset(), QPoint(17, 15));
    EXPECT_EQ(canvas->ToView(CRect{100, 100, 200, 150}, QPoint(5, 3)), QRect(17 + 50 - 5, 15 + 50 - 3, 50, 25));
}

TEST_F(Canvas, ZoomStopsAtItsEndsAndIsSavedInTheInstanceSection) {
    const struct {
        InstanceKind kind;
        const char* section;
    } kinds[] = {{InstanceKind::Main, "ViewEdit"}, {InstanceKind::Editor, "View"}};
    // Beyond the table (a value the store itself would refuse to write): the smallest zoom.
    QFile file(store->Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[ViewEdit]\nZoomFactor=9\n[View]\nZoomFactor=9\n");
    file.close();
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.section);
        MakeCanvas(k.kind);
        host.zooms.clear();
        EXPECT_EQ(canvas->Zoom(), 5);
        EXPECT_FALSE(canvas->CanZoomOut());
        EXPECT_TRUE(canvas->KeyDown(CanvasKey::Minus, true, false));
        EXPECT_EQ(canvas->Zoom(), 5);
        EXPECT_TRUE(host.zooms.empty());
        // Nothing written: the stored 9s not yet replaced are still there.
        QFile stored(store->Path());
        ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
        EXPECT_EQ(stored.readAll().count("ZoomFactor=9"), &k == &kinds[0] ? 2 : 1);

        canvas->KeyDown(CanvasKey::Plus, true, false);
        EXPECT_EQ(canvas->Zoom(), 4);
        EXPECT_EQ(host.zooms, std::vector<int>{4});
        EXPECT_EQ(store->GetInt(k.section, "ZoomFactor", -1), 4);
        for (int k2 = 0; k2 < 6; ++k2) canvas->ZoomIn();
        EXPECT_EQ(canvas->Zoom(), 0);
        EXPECT_FALSE(canvas->CanZoomIn());
        EXPECT_EQ(store->GetInt(k.section, "ZoomFactor", -1), 0);
    }
}

TEST_F(Canvas, SnapToggleIsSavedAndGridStepRead) {
    ASSERT_TRUE(store->WriteInt("ViewEdit", "GridStep", 10));
    MakeCanvas();
    EXPECT_FALSE(canvas->Snap());
    EXPECT_EQ(canvas->GridStep(), 10);
    canvas->ToggleSnap();
    EXPECT_TRUE(canvas->Snap());
    EXPECT_EQ(store->GetInt("ViewEdit", "SnapToGrid", -1), 1);
    const PlacementRule rule = canvas->Placement();
    EXPECT_EQ(rule.pageWidth, 720);
    EXPECT_EQ(rule.pageHeight, 576);
    EXPECT_TRUE(rule.snap);
    EXPECT_EQ(rule.gridStep, 10);
}

// ---------------------------------------------------------------------------------
// Background and composition

uint32_t Rgb(const CPicture& p, int x, int y) {
    const uint8_t* px = p.Pixel(x, y);
    return uint32_t(px[2]) << 16 | uint32_t(px[1]) << 8 | px[0];
}

TEST_F(Canvas, BackgroundCellsAndMarginBands) {
    const struct {
        const char* name;
        int mode;
        uint32_t colour;  // red in the low byte
        int marginH, marginV;
        struct Probe {
            int x, y;
            uint32_t rgb;  // 0xRRGGBB
        };
        std::vector<Probe> probes;
    } cases[] = {
        // 10 % of 720 is 72 columns; 10 % of 576 is 57 rows.
        {"checkered", 0, 0, 0, 0, {{0, 0, 0x707070}, {16, 0, 0xA0A0A0}, {0, 16, 0xA0A0A0}, {16, 16, 0x707070}}},
        {"checkered bands", 0, 0, 10, 10,
         {{0, 300, 0x484848}, {16, 300, 0x787878}, {71, 300, 0x484848}, {80, 300, 0xA0A0A0}, {719, 300, 0x484848},
          {100, 0, 0x484848}, {100, 56, 0x787878}, {100, 57, 0xA0A0A0}, {100, 575, 0x787878}, {0, 0, 0x484848}}},
        // The brightest channel 0x80 moves to 160: every channel up by 32, once in the corners.
        {"solid bands", 1, 0x00204080, 10, 10,
         {{300, 300, 0x804020}, {0, 300, 0xA06040}, {300, 0, 0xA06040}, {0, 0, 0xA06040}, {719, 575, 0xA06040}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(store->WriteInt("View", "Background", c.mode));
        ASSERT_TRUE(store->WriteInt("View", "BackgroundColor", int(c.colour)));
        ASSERT_TRUE(store->WriteInt("View", "MarginH", c.marginH));
        ASSERT_TRUE(store->WriteInt("View", "MarginV", c.marginV));
        canvas->ReloadSettings();
        const CPicture& b = canvas->Background();
        ASSERT_EQ(b.width, 720);
        ASSERT_EQ(b.height, 576);
        for (const auto& p : c.probes) {
            SCOPED_TRACE(testing::Message() << p.x << "," << p.y);
            EXPECT_EQ(Rgb(b, p.x, p.y), p.rgb);
            EXPECT_EQ(b.Pixel(p.x, p.y)[3], 255);
        }
    }
}

TEST_F(Canvas, CompositionLaysObjectBackgroundsInPageOrderWithinTheRectangle) {
    CFrame* red = AddObject({16, 16, 64, 64});
    red->BackColor = 0xFF0000FFu;  // opaque red
    CFrame* blue = AddObject({32, 32, 96, 96});
    blue->BackColor = 0x80FF0000u;  // half blue
    EXPECT_FALSE(canvas->Compose({0, 0, 720, 576}));
    const CPicture& c = canvas->Composition();
    EXPECT_EQ(Rgb(c, 20, 20), 0xFF0000u);
    EXPECT_EQ(Rgb(c, 40, 40), 0x7F0080u);    // blue over red
    EXPECT_EQ(Rgb(c, 80, 80), 0x3737B7u);    // blue over the dark cell 707070
    EXPECT_EQ(Rgb(c, 100, 100), 0x707070u);  // outside both: the background

    // A composition of a part leaves the rest as it was.
    red->BackColor = 0xFF00FF00u;
    red->EditorBackgroundValid = 0;
    canvas->Compose({0, 0, 24, 24});
    EXPECT_EQ(Rgb(c, 20, 20), 0x00FF00u);
    EXPECT_EQ(Rgb(c, 28, 28), 0xFF0000u);

    // Updates of kind 0 compose; kind 1 only repaints; 3 and 5 do nothing.
    EXPECT_TRUE(canvas->Update(UpdateGeneral));
    EXPECT_EQ(Rgb(c, 28, 28), 0x00FF00u);
    EXPECT_TRUE(canvas->Update(UpdateRedraw));
    EXPECT_FALSE(canvas->Update(UpdateThumbnail));
    EXPECT_FALSE(canvas->Update(UpdateCaptions));
}

TEST_F(Canvas, StillTextIsComposedUnlessEditedInPlace) {
    CFrame* text = AddObject({0, 0, 300, 80});
    text->BackColor = 0;  // transparent
    text->RichText = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}{\\colortbl ;\\red255\\green255\\blue255;}"
                     "\\cf1\\fs72 HHHHHHHHHHHHHHHHHHHHHHHH\\par}";
    const auto whitePixels = [&] {
        int white = 0;
        const CPicture& c = canvas->Composition();
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 300; ++x)
                if (Rgb(c, x, y) == 0xFFFFFFu) ++white;
        return white;
    };
    host.updates.clear();
    EXPECT_TRUE(canvas->Compose({0, 0, 720, 576}));
    EXPECT_GT(whitePixels(), 100);
    EXPECT_EQ(text->Caption, QStringLiteral("HHHHHHHHHHHHHHHHHHHH..."));
    // Through an update, the other views hear that captions may have changed.
    canvas->Update(UpdateGeneral);
    ASSERT_FALSE(host.updates.empty());
    EXPECT_EQ(host.updates.back().kind, UpdateCaptions);

    doc.Select(text);
    ASSERT_TRUE(canvas->StartEdit());
    EXPECT_FALSE(canvas->Compose({0, 0, 720, 576}));
    EXPECT_EQ(whitePixels(), 0);
    EXPECT_EQ(Rgb(canvas->Composition(), 20, 20), Rgb(canvas->Background(), 20, 20));
}

TEST_F(Canvas, StillTextOfAnUnreadableSourceIsAnErrorAndOfAPlayingObjectWaits) {
    CFrame* file = AddObject({0, 0, 200, 60});
    file->TextSource = SourceTextFile;
    file->FileName = dir.filePath("missing.txt");
    CFrame* playing = AddObject({0, 100, 200, 160});
    playing->RichText = "{\\rtf1 Text}";
    playing->Playing = 1;
    EXPECT_FALSE(canvas->Compose({0, 0, 720, 576}));
    EXPECT_EQ(file->TextError.load(), 1);
    EXPECT_EQ(playing->EditorTextValid.load(), 0);  // made once it stops
    playing->Playing = 0;
    canvas->CollectOutlines();
    const std::vector<CanvasOutline> outlines = canvas->Outlines();
    ASSERT_EQ(outlines.size(), 1u);
    EXPECT_EQ(outlines[0].kind, 1);
    EXPECT_TRUE(canvas->Compose({0, 100, 720, 160}));
    EXPECT_EQ(playing->EditorTextValid.load(), 1);
}

TEST_F(Canvas, UpdateSelectsByNumber) {
    AddObject({0, 0, 50, 50});
    CFrame* second = AddObject({0, 0, 50, 50});
    EXPECT_TRUE(canvas->Update(UpdateSelectNumber, nullptr, 2));
    EXPECT_EQ(doc.Selected, second);
    EXPECT_EQ(doc.SelectedNumber, 2);
    EXPECT_FALSE(canvas->Update(UpdateSelectNumber, nullptr, 3));
    EXPECT_EQ(doc.Selected, second);
}

// ---------------------------------------------------------------------------------
// Hit testing and the mouse

TEST_F(Canvas, HitTestingTopmostFirstWithTheMarginOfUnlockedObjects) {
    CFrame* below = AddObject({100, 100, 200, 200});
    CFrame* above = AddObject({150, 150, 250, 250});
    const struct {
        const char* name;
        int zoom;
        bool lockBelow;
        QPoint view;
        QPoint scroll;
        CFrame* expected;
    } cases[] = {
        {"overlap: the upper", 0, false, {160, 160}, {}, above},
        {"only the lower", 0, false, {110, 110}, {}, below},
        {"within the margin", 0, false, {96, 120}, {}, below},
        {"beyond the margin", 0, false, {95, 120}, {}, nullptr},
        {"right margin is exclusive", 0, false, {253, 200}, {}, above},
        {"right margin end", 0, false, {254, 200}, {}, nullptr},
        {"locked: no margin", 0, true, {98, 120}, {}, nullptr},
        {"locked: its rectangle", 0, true, {100, 120}, {}, below},
        {"half size", 3, false, {52, 52}, {}, below},
        {"half size, scrolled", 3, false, {42, 52}, {10, 0}, below},
        {"half size, outside", 3, false, {150, 150}, {}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        canvas->SetZoom(c.zoom);
        below->Locked = c.lockBelow;
        EXPECT_EQ(canvas->HitTest(c.view, c.scroll), c.expected);
    }
}

TEST_F(Canvas, AClickOnAnotherObjectOnlySelectsIt) {
    CFrame* a = AddObject({100, 100, 200, 200});
    CFrame* b = AddObject({300, 100, 400, 200});
    EXPECT_EQ(canvas->MouseDown({150, 150}, {}, true), CCanvasModel::Press::Selected);
    EXPECT_EQ(doc.Selected, a);
    EXPECT_EQ(doc.SelectedNumber, 1);
    EXPECT_EQ(canvas->MouseDown({350, 150}, {}, true), CCanvasModel::Press::Selected);
    EXPECT_EQ(doc.Selected, b);
    EXPECT_EQ(doc.SelectedNumber, 2);
    EXPECT_EQ(a->Rect, (CRect{100, 100, 200, 200}));
    EXPECT_EQ(b->Rect, (CRect{300, 100, 400, 200}));
    EXPECT_EQ(UndoCount(), 0u);
    // The selected object again: the left button tracks, the right does not.
    EXPECT_EQ(canvas->MouseDown({350, 150}, {}, true), CCanvasModel::Press::Track);
    EXPECT_EQ(canvas->MouseDown({350, 150}, {}, false), CCanvasModel::Press::Nothing);
    b->Locked = 1;
    EXPECT_EQ(canvas->MouseDown({350, 150}, {}, true), CCanvasModel::Press::Nothing);
    // Nothing under the mouse: the selection goes.
    EXPECT_EQ(canvas->MouseDown({600, 500}, {}, true), CCanvasModel::Press::Selected);
    EXPECT_EQ(doc.Selected, nullptr);
}

TEST_F(Canvas, TrackedRectangleIsConvertedBackAndUndoable) {
    CFrame* a = AddObject({100, 100, 200, 200});
    doc.Select(a);
    canvas->SetZoom(1);  // 75 %
    canvas->Layout(QSize(0, 0), 10, 10);
    EXPECT_EQ(canvas->TrackerRect({}), QRect(85, 85, 75, 75));
    EXPECT_EQ(canvas->TrackerMinimum(), 12);
    // Dragged 30 screen pixels right: 40 page pixels.
    EXPECT_TRUE(canvas->TrackerReleased(QRect(115, 85, 75, 75), {}, true));
    EXPECT_EQ(a->Rect, (CRect{140, 100, 240, 200}));
    EXPECT_EQ(UndoCount(), 1u);
    // Released where it was: the entry is dropped.
    EXPECT_FALSE(canvas->TrackerReleased(canvas->TrackerRect({}), {}, true));
    EXPECT_EQ(UndoCount(), 1u);
    doc.DoUndo();
    EXPECT_EQ(a->Rect, (CRect{100, 100, 200, 200}));
    doc.DoRedo();
    EXPECT_EQ(a->Rect, (CRect{140, 100, 240, 200}));
}

TEST_F(Canvas, DoubleClickOnTheSelectionTogglesItsPlay) {
    CFrame* a = AddObject({100, 100, 200, 200});
    CFrame* b = AddObject({300, 100, 400, 200});
    doc.Page.OutputOn = 1;
    doc.Select(a);
    canvas->DoubleClick({350, 150}, {});  // not the selection
    EXPECT_EQ(b->Playing.load(), 0);
    canvas->DoubleClick({150, 150}, {});
    EXPECT_EQ(a->Playing.load(), 1);
    EXPECT_EQ(host.repaints, 1);  // its outline appeared
    a->Stop();
    doc.Page.OutputOn = 0;
}

TEST_F(Canvas, TickRepaintsOnlyWhenOutlinesChangedAndContextMenus) {
    CFrame* a = AddObject({100, 100, 200, 200});
    canvas->Tick();
    EXPECT_EQ(host.repaints, 0);
    a->BackgroundError = 1;
    canvas->Tick();
    canvas->Tick();
    EXPECT_EQ(host.repaints, 1);
    EXPECT_EQ(canvas->ContextMenu(), 204);
    doc.Select(a);
    EXPECT_EQ(canvas->ContextMenu(), 203);
    ASSERT_TRUE(canvas->StartEdit());
    EXPECT_EQ(canvas->ContextMenu(), 202);
    canvas->EndEdit();
}

// ---------------------------------------------------------------------------------
// Applying a rectangle

TEST_F(Canvas, ApplySnapsAndClampsToThePage) {
    const struct {
        const char* name;
        bool snap;
        CRect start;
        CRect wanted;
        bool keep;  // moved rather than resized
        CRect expected;
    } cases[] = {
        {"12 goes down to 8", true, {0, 0, 100, 100}, {12, 12, 112, 112}, true, {8, 8, 112, 112}},
        {"13 goes up to 16", true, {0, 0, 100, 100}, {13, 13, 113, 117}, true, {16, 16, 112, 120}},
        {"moved past the right edge keeps its width", false, {600, 10, 680, 50}, {700, 10, 780, 50}, true,
         {640, 10, 720, 50}},
        {"resized past the right edge is clipped", false, {600, 10, 680, 50}, {700, 10, 780, 50}, false,
         {700, 10, 720, 50}},
        {"moved past the top left", false, {10, 10, 110, 60}, {-10, -5, 90, 45}, true, {0, 0, 100, 50}},
        {"resized past the top left", false, {10, 10, 110, 60}, {-10, -5, 90, 45}, false, {0, 0, 90, 45}},
        {"moved past the bottom", false, {10, 500, 110, 560}, {10, 540, 110, 600}, true, {10, 516, 110, 576}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFrame* object = AddObject(c.start);
        doc.Select(object);
        if (canvas->Snap() != c.snap) canvas->ToggleSnap();
        EXPECT_TRUE(canvas->MoveSelected(c.wanted, c.keep, c.keep));
        EXPECT_EQ(object->Rect, c.expected);
    }
}

TEST_F(Canvas, ApplyReportsStopsAndDiscardsPicturesOnlyWhenNeeded) {
    CFrame* a = AddObject({100, 100, 200, 200});
    doc.Select(a);
    doc.Modified = false;
    a->EditorBackgroundValid = 1;
    a->EditorTextValid = 1;
    host.updates.clear();
    // Moved: the pictures stay; the views hear of the union grown by 6.
    EXPECT_TRUE(canvas->MoveSelected({101, 100, 201, 200}, true, true));
    EXPECT_TRUE(doc.Modified);
    EXPECT_EQ(a->EditorBackgroundValid, 1);
    EXPECT_EQ(a->EditorTextValid, 1);
    ASSERT_EQ(host.updates.size(), 1u);
    EXPECT_EQ(host.updates[0].kind, UpdateGeneral);
    ASSERT_TRUE(host.updates[0].hasRect);
    EXPECT_EQ(host.updates[0].rect, (CRect{94, 94, 207, 206}));
    // Resized: both pictures are made again.
    EXPECT_TRUE(canvas->MoveSelected({101, 100, 210, 200}, false, false));
    EXPECT_EQ(a->EditorBackgroundValid, 0);
    EXPECT_EQ(a->EditorTextValid, 0);
    // Unchanged: nothing reported, nothing recorded.
    host.updates.clear();
    const size_t entries = UndoCount();
    EXPECT_FALSE(canvas->MoveSelected({101, 100, 210, 200}, false, false));
    EXPECT_TRUE(host.updates.empty());
    EXPECT_EQ(UndoCount(), entries);
    // A playing object stops first while the output runs.
    doc.Page.OutputOn = 1;
    a->Playing = 1;
    EXPECT_TRUE(canvas->MoveSelected({120, 100, 229, 200}, true, true));
    EXPECT_EQ(a->Playing.load(), 0);
    doc.Page.OutputOn = 0;
}

// ---------------------------------------------------------------------------------
// Keys

TEST_F(Canvas, ArrowsMoveAndShiftArrowsResize) {
    const struct {
        const char* name;
        CanvasKey key;
        bool shift;
        bool snap;
        bool locked;
        CRect start;
        CRect expected;  // equal to start when ignored
    } cases[] = {
        {"left", CanvasKey::Left, false, false, false, {100, 100, 200, 200}, {99, 100, 199, 200}},
        {"up", CanvasKey::Up, false, false, false, {100, 100, 200, 200}, {100, 99, 200, 199}},
        {"down by the grid", CanvasKey::Down, false, true, false, {96, 96, 200, 200}, {96, 104, 200, 208}},
        {"right by the grid", CanvasKey::Right, false, true, false, {96, 96, 200, 200}, {104, 96, 208, 200}},
        {"shift right widens", CanvasKey::Right, true, false, false, {100, 100, 200, 200}, {100, 100, 201, 200}},
        {"shift up lowers the bottom", CanvasKey::Up, true, false, false, {100, 100, 200, 117}, {100, 100, 200, 116}},
        {"shift left at 16 wide", CanvasKey::Left, true, false, false, {100, 100, 116, 200}, {100, 100, 116, 200}},
        {"shift up below 16 high by the grid", CanvasKey::Up, true, true, false, {96, 96, 200, 116},
         {96, 96, 200, 116}},
        {"locked", CanvasKey::Left, false, false, true, {100, 100, 200, 200}, {100, 100, 200, 200}},
        {"at the left edge", CanvasKey::Left, false, false, false, {0, 100, 100, 200}, {0, 100, 100, 200}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFrame* object = AddObject(c.start);
        object->Locked = c.locked;
        doc.Select(object);
        if (canvas->Snap() != c.snap) canvas->ToggleSnap();
        const size_t entries = UndoCount();
        const bool changed = !(c.expected == c.start);
        EXPECT_EQ(canvas->KeyDown(c.key, false, c.shift), changed);
        EXPECT_EQ(object->Rect, c.expected);
        EXPECT_EQ(UndoCount(), entries + (changed ? 1 : 0));
    }
}

TEST_F(Canvas, ArrowMoveIsUndone) {
    CFrame* a = AddObject({100, 100, 200, 200});
    doc.Select(a);
    canvas->KeyDown(CanvasKey::Right, false, false);
    canvas->KeyDown(CanvasKey::Down, false, true);
    EXPECT_EQ(a->Rect, (CRect{101, 100, 201, 201}));
    canvas->KeyDown(CanvasKey::Z, true, false);
    EXPECT_EQ(a->Rect, (CRect{101, 100, 201, 200}));
    canvas->KeyDown(CanvasKey::Z, true, false);
    EXPECT_EQ(a->Rect, (CRect{100, 100, 200, 200}));
    canvas->KeyDown(CanvasKey::Y, true, false);
    EXPECT_EQ(a->Rect, (CRect{101, 100, 201, 200}));
}

TEST_F(Canvas, TabWrapsAndCtrlArrowsReorder) {
    CFrame* a = AddObject({0, 0, 50, 50});
    CFrame* b = AddObject({0, 0, 50, 50});
    CFrame* c = AddObject({0, 0, 50, 50});
    const struct {
        bool shift;
        CFrame* expected;
    } steps[] = {{false, a}, {false, b}, {false, c}, {false, a}, {true, c}, {true, b}};
    for (const auto& s : steps) {
        canvas->KeyDown(CanvasKey::Tab, false, s.shift);
        EXPECT_EQ(doc.Selected, s.expected);
    }
    doc.Select(nullptr);
    canvas->KeyDown(CanvasKey::Tab, false, true);
    EXPECT_EQ(doc.Selected, c);

    doc.Select(a);
    canvas->KeyDown(CanvasKey::Up, true, false);
    EXPECT_EQ(doc.SelectedNumber, 2);
    canvas->KeyDown(CanvasKey::Up, true, false);
    canvas->KeyDown(CanvasKey::Up, true, false);  // at the top: stays
    EXPECT_EQ(doc.SelectedNumber, 3);
    canvas->KeyDown(CanvasKey::Down, true, false);
    EXPECT_EQ(doc.SelectedNumber, 2);
    EXPECT_EQ(a->Rect, (CRect{0, 0, 50, 50}));  // no move
}

TEST_F(Canvas, SpacePausesThePlayingSelectionAndItsGroup) {
    CFrame* a = AddObject({0, 0, 50, 50});
    CFrame* b = AddObject({0, 0, 50, 50});
    CFrame* other = AddObject({0, 0, 50, 50});
    a->Group = b->Group = QStringLiteral("Score");
    other->Group = QStringLiteral("Clock");
    for (CFrame* o : {a, b, other}) o->Playing = 1;
    doc.Select(a);
    EXPECT_FALSE(canvas->KeyDown(CanvasKey::Space, false, false));  // the output is off
    EXPECT_EQ(a->Paused.load(), 0);
    doc.Page.OutputOn = 1;
    EXPECT_TRUE(canvas->KeyDown(CanvasKey::Space, false, false));
    EXPECT_EQ(a->Paused.load(), 1);
    EXPECT_EQ(b->Paused.load(), 1);
    EXPECT_EQ(other->Paused.load(), 0);
    EXPECT_TRUE(canvas->KeyDown(CanvasKey::Space, false, false));
    EXPECT_EQ(a->Paused.load(), 0);
    EXPECT_EQ(b->Paused.load(), 0);
    // A selection that does not play leaves its group alone.
    a->Playing = 0;
    EXPECT_FALSE(canvas->KeyDown(CanvasKey::Space, false, false));
    EXPECT_EQ(b->Paused.load(), 0);
    for (CFrame* o : {a, b, other}) o->Playing = 0;
    doc.Page.OutputOn = 0;
}

TEST_F(Canvas, DeleteAsksAndRecordsTheDeletion) {
    CFrame* a = AddObject({0, 0, 50, 50});
    doc.Select(a);
    presenter.answer = IdNo;
    canvas->KeyDown(CanvasKey::Delete, false, false);
    ASSERT_EQ(presenter.texts.size(), 1u);
    EXPECT_EQ(presenter.texts[0], QStringLiteral("Are you sure want to delete selected object?"));
    EXPECT_EQ(doc.Page.LiveCount(), 1);
    EXPECT_EQ(doc.Selected, a);
    presenter.answer = IdYes;
    canvas->KeyDown(CanvasKey::Delete, false, false);
    EXPECT_EQ(doc.Page.LiveCount(), 0);
    EXPECT_EQ(doc.Selected, nullptr);
    ASSERT_EQ(UndoCount(), 1u);
    EXPECT_EQ(doc.Undo.UndoStack[0]->Type, ObjectDeleted);
}

// ---------------------------------------------------------------------------------
// Outlines, status, adding

TEST_F(Canvas, OutlinesTakeTheirKindFromPlayAndErrors) {
    const struct {
        int playing, paused, textError, backgroundError;
        int kind;  // -1: no outline
    } cases[] = {
        {0, 0, 0, 0, -1}, {1, 0, 0, 0, 3}, {1, 1, 0, 0, 2}, {1, 0, 1, 0, 0},
        {1, 1, 0, 1, 0},  {0, 0, 1, 0, 1}, {0, 0, 0, 1, 1},
    };
    CFrame* a = AddObject({10, 20, 110, 70});
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.playing << c.paused << c.textError << c.backgroundError);
        a->Playing = c.playing;
        a->Paused = c.paused;
        a->TextError = c.textError;
        a->BackgroundError = c.backgroundError;
        canvas->CollectOutlines();
        const std::vector<CanvasOutline> outlines = canvas->Outlines();
        if (c.kind < 0) {
            EXPECT_TRUE(outlines.empty());
        } else {
            ASSERT_EQ(outlines.size(), 1u);
            EXPECT_EQ(outlines[0].kind, c.kind);
            EXPECT_EQ(outlines[0].rect, a->Rect);
        }
    }
    a->Playing = 0;
    a->Paused = 0;
    // Collecting the same again is no change.
    EXPECT_FALSE(canvas->CollectOutlines());
    a->TextError = 0;
    a->BackgroundError = 0;
    EXPECT_TRUE(canvas->CollectOutlines());
}

TEST_F(Canvas, OutlinePensAndWhereTheyAreDrawn) {
    const struct {
        int kind;
        uint32_t colour;
        int width;
    } pens[] = {{0, 0x0000C8u, 3}, {1, 0x6400C8u, 2}, {2, 0x00C8C8u, 3}, {3, 0x00C800u, 3}};
    for (const auto& p : pens) {
        SCOPED_TRACE(p.kind);
        EXPECT_EQ(CCanvasModel::PenOf(p.kind).colour, p.colour);
        EXPECT_EQ(CCanvasModel::PenOf(p.kind).width, p.width);
    }
    canvas->SetZoom(3);
    canvas->Layout(QSize(0, 0), 10, 10);
    EXPECT_EQ(canvas->OutlineRect({{100, 100, 200, 150}, 3}, {5, 0}), QRect(55, 60, 49, 24));
    EXPECT_EQ(canvas->OutlineRect({{100, 100, 200, 150}, 1}, {}), QRect(60, 60, 50, 25));
}

TEST_F(Canvas, StatusTextAndAddingSimpleObjects) {
    EXPECT_EQ(canvas->StatusText(), QString());
    canvas->AddSimpleObject();
    ASSERT_NE(doc.Selected, nullptr);
    EXPECT_EQ(doc.Selected->Rect, (CRect{32, 32, 288, 160}));
    EXPECT_EQ(doc.Selected->FramePeriod, VideoModes::FramePeriod(SmallMode()));
    EXPECT_EQ(canvas->StatusText(), QStringLiteral(" 1: 32,32 - 288,160 (256x128)"));
    for (int k = 1; k < CFrameSet::MaxObjects; ++k) AddObject({0, 0, 20, 20});
    presenter.texts.clear();
    canvas->AddSimpleObject();
    EXPECT_EQ(doc.Page.LiveCount(), CFrameSet::MaxObjects);
    ASSERT_EQ(presenter.texts.size(), 1u);
    EXPECT_TRUE(presenter.texts[0].startsWith(QStringLiteral("Error: Too many objects!")));
}

// ---------------------------------------------------------------------------------
// In-place editing

TEST_F(Canvas, InPlaceEditingStoresChangedTextWithOneEntry) {
    CFrame* a = AddObject({100, 100, 300, 200});
    a->RichText = "{\\rtf1 Before}";
    doc.Select(a);
    canvas->SetZoom(3);
    canvas->Layout(QSize(0, 0), 17, 15);
    ASSERT_TRUE(canvas->KeyDown(CanvasKey::Enter, false, false));
    ASSERT_EQ(host.opened.size(), 1u);
    EXPECT_EQ(host.opened[0].richText, a->RichText);
    EXPECT_EQ(host.opened[0].rect, QRect(17 + 50, 15 + 50, 100 + 17, 50));  // widened by a bar
    EXPECT_FALSE(host.opened[0].singleLine);
    EXPECT_EQ(host.opened[0].zoomPercent, 50);
    EXPECT_TRUE(canvas->Editing());
    // Unchanged: no entry.
    host.editorText = a->RichText;
    EXPECT_TRUE(canvas->KeyDown(CanvasKey::Escape, false, false));
    EXPECT_FALSE(host.open);
    EXPECT_EQ(UndoCount(), 0u);
    // Changed: stored, one entry, undone back.
    canvas->StartEdit();
    host.editorText = "{\\rtf1 After}";
    doc.Modified = false;
    a->EditorTextValid = 1;
    canvas->MouseDown({600, 400}, {}, true);  // selecting elsewhere ends the editing
    EXPECT_FALSE(canvas->Editing());
    EXPECT_EQ(a->RichText, QByteArray("{\\rtf1 After}"));
    EXPECT_TRUE(doc.Modified);
    EXPECT_EQ(a->EditorTextValid, 0);
    ASSERT_EQ(UndoCount(), 1u);
    EXPECT_EQ(doc.Undo.UndoStack[0]->Type, TextChanged);
    doc.DoUndo();
    EXPECT_EQ(a->RichText, QByteArray("{\\rtf1 Before}"));
}

TEST_F(Canvas, InPlaceEditingRefusedForAnRtfFileAndSingleLineForACrawl) {
    CFrame* a = AddObject({100, 100, 300, 200});
    a->TextSource = SourceRtfFile;
    doc.Select(a);
    EXPECT_FALSE(canvas->StartEdit());
    EXPECT_TRUE(host.opened.empty());
    a->TextSource = SourceObjectText;
    a->Movement = MovementHorizontal;
    a->Reverse = 1;
    canvas->SetZoom(0);
    canvas->Layout(QSize(0, 0), 17, 15);
    ASSERT_TRUE(canvas->StartEdit());
    ASSERT_EQ(host.opened.size(), 1u);
    EXPECT_TRUE(host.opened[0].singleLine);
    EXPECT_TRUE(host.opened[0].alignRight);
    EXPECT_EQ(host.opened[0].rect, QRect(17 + 100, 15 + 100, 200, 100 + 15));  // heightened by a bar
    EXPECT_EQ(host.opened[0].zoomPercent, 0);
    canvas->EndEdit();
}

// ---------------------------------------------------------------- in-place text

// Two runs: "Big" bold at 28 points, " small" at 10.5 points, red.
const QByteArray TwoRuns =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}"
    "{\\colortbl ;\\red255\\green0\\blue0;}\\pard\\f0\\b\\fs56 Big\\b0\\cf1\\fs21  small\\par}";

TEST(InPlaceText, StoredSizesComeBackExactlyAtEveryZoom) {
    for (double scale : {1.0, 0.75, 0.5, 0.25, 1.37}) {
        SCOPED_TRACE(scale);
        QTextDocument shown;
        const int codePage = InPlaceText::Load(shown, TwoRuns, scale);
        EXPECT_EQ(codePage, 1252);
        EXPECT_EQ(shown.toPlainText(), QStringLiteral("Big small\n")) << "the closing paragraph mark leaves an empty one";
        QTextCursor cursor(&shown);
        cursor.setPosition(1);
        EXPECT_DOUBLE_EQ(cursor.charFormat().fontPointSize(), 28 * scale) << "shown at the canvas's scale";
        // Text typed in the small run takes its stored size.
        cursor.setPosition(9);  // after "small"
        cursor.insertText(QStringLiteral("er"));
        const QByteArray stored = InPlaceText::Store(shown, scale, codePage);
        EXPECT_TRUE(stored.contains("\\fs56")) << stored.constData();
        EXPECT_TRUE(stored.contains("\\fs21")) << stored.constData();
        EXPECT_FALSE(stored.contains("\\fs14 ")) << "no scaled size is stored";
        QTextDocument back;
        InPlaceText::Load(back, stored, 1.0);
        EXPECT_EQ(back.toPlainText(), QStringLiteral("Big smaller\n")) << "and no paragraph is added";
    }
}

TEST(InPlaceText, PlainTextTakesTheRendererDefaults) {
    QTextDocument shown;
    InPlaceText::Load(shown, "Hello", 0.5);
    QTextCursor cursor(&shown);
    cursor.setPosition(2);
    const InPlaceText::SelectionFormat format = InPlaceText::FormatOf(cursor);
    EXPECT_EQ(format.points, 28);
    EXPECT_EQ(format.face, QStringLiteral("Arial"));
    EXPECT_EQ(format.colour, QColor(Qt::white));
    EXPECT_TRUE(InPlaceText::Store(shown, 0.5, 1252).contains("\\fs56"));
}

TEST(InPlaceText, SelectionFormatAndTheToggles) {
    QTextDocument shown;
    InPlaceText::Load(shown, TwoRuns, 0.5);
    QTextCursor all(&shown);
    all.select(QTextCursor::Document);
    InPlaceText::SelectionFormat mixed = InPlaceText::FormatOf(all);
    EXPECT_FALSE(mixed.bold) << "mixed counts as not bold";
    EXPECT_EQ(mixed.points, 0) << "mixed sizes show no size";
    EXPECT_EQ(mixed.face, QStringLiteral("Arial"));
    EXPECT_EQ(mixed.alignment, InPlaceText::Alignment::Left);
    // A mixed selection is set bold; a bold one is toggled back.
    InPlaceText::Apply(all, InPlaceText::ToggleBold(mixed));
    EXPECT_TRUE(InPlaceText::FormatOf(all).bold);
    InPlaceText::Apply(all, InPlaceText::ToggleBold(InPlaceText::FormatOf(all)));
    EXPECT_FALSE(InPlaceText::FormatOf(all).bold);
    InPlaceText::Apply(all, InPlaceText::ToggleItalic(InPlaceText::FormatOf(all)));
    InPlaceText::Apply(all, InPlaceText::ToggleUnderline(InPlaceText::FormatOf(all)));
    EXPECT_TRUE(InPlaceText::FormatOf(all).italic);
    EXPECT_TRUE(InPlaceText::FormatOf(all).underline);
    // One size for all, stored unscaled.
    const auto size = InPlaceText::Size(QStringLiteral(" 40 "), 0.5);
    ASSERT_TRUE(size);
    InPlaceText::Apply(all, *size);
    EXPECT_EQ(InPlaceText::FormatOf(all).points, 40);
    const QByteArray stored = InPlaceText::Store(shown, 0.5, 1252);
    EXPECT_TRUE(stored.contains("\\fs80")) << stored.constData();
    EXPECT_TRUE(stored.contains("\\i")) << stored.constData();
    InPlaceText::Align(all, InPlaceText::Alignment::Center);
    EXPECT_EQ(InPlaceText::FormatOf(all).alignment, InPlaceText::Alignment::Center);
    EXPECT_TRUE(InPlaceText::Store(shown, 0.5, 1252).contains("\\qc"));
}

TEST(InPlaceText, SizeAndFaceRefuseWhatIsNoValue) {
    for (const char* text : {"", "0", "-4", "abc", "12pt"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(InPlaceText::Size(QString::fromLatin1(text), 1.0));
    }
    EXPECT_EQ(InPlaceText::Size(QStringLiteral("5000"), 1.0)->doubleProperty(InPlaceText::StoredPointSizeProperty),
              1638.0)
        << "at most what rich text stores";
    EXPECT_FALSE(InPlaceText::Face(QStringLiteral("   ")));
    const auto face = InPlaceText::Face(QStringLiteral("  ") + QString(40, u'x'));
    ASSERT_TRUE(face);
    EXPECT_EQ(face->fontFamilies().toStringList().value(0), QString(31, u'x'));
}

TEST(InPlaceText, ScriptRaisesAndLowersByAFifthEachTime) {
    QTextDocument shown;
    InPlaceText::Load(shown, TwoRuns, 1.0);
    QTextCursor word(&shown);
    word.setPosition(0);
    word.setPosition(3, QTextCursor::KeepAnchor);
    InPlaceText::Apply(word, InPlaceText::Script(InPlaceText::FormatOf(word), 1));
    InPlaceText::Apply(word, InPlaceText::Script(InPlaceText::FormatOf(word), 1));
    EXPECT_DOUBLE_EQ(InPlaceText::FormatOf(word).offsetPercent, 40.0);
    // 40 % of 28 points: 11.2 points up, 22 half points.
    EXPECT_TRUE(InPlaceText::Store(shown, 1.0, 1252).contains("\\up22")) << InPlaceText::Store(shown, 1.0, 1252).constData();
    InPlaceText::Apply(word, InPlaceText::Script(InPlaceText::FormatOf(word), -1));
    EXPECT_DOUBLE_EQ(InPlaceText::FormatOf(word).offsetPercent, 20.0);
    InPlaceText::Apply(word, InPlaceText::Script(InPlaceText::FormatOf(word), 0));
    EXPECT_DOUBLE_EQ(InPlaceText::FormatOf(word).offsetPercent, 0.0);
    // Background: set on a selection, then removed.
    InPlaceText::Apply(word, InPlaceText::Background(QColor(10, 20, 30)));
    EXPECT_EQ(InPlaceText::FormatOf(word).background, QColor(10, 20, 30));
    InPlaceText::Apply(word, InPlaceText::Background(QColor()));
    EXPECT_FALSE(InPlaceText::FormatOf(word).background.isValid());
}

TEST(InPlaceText, ParagraphFormatInTwipsBothWays) {
    QTextDocument shown;
    InPlaceText::Load(shown,
                      "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard\\qc\\li300\\fi-150\\sb60 One\\par"
                      "\\pard\\li300\\fi-150\\sb120 Two\\par}",
                      0.5);
    QTextCursor both(&shown);
    both.setPosition(0);
    both.setPosition(5, QTextCursor::KeepAnchor);  // into the second paragraph
    const CParagraphFormat read = InPlaceText::ParagraphOf(both);
    EXPECT_FALSE(read.alignment) << "centred and left: mixed";
    EXPECT_EQ(read.startIndent, 150) << "the first line: left indent plus its own";
    EXPECT_EQ(read.offset, 150) << "the following lines against the first";
    EXPECT_FALSE(read.spaceBefore);
    EXPECT_EQ(read.lineSpacing, 20);

    CParagraphFormat change;
    change.alignment = 1;
    change.spaceAfter = 90;
    change.offset = 0;
    InPlaceText::SetParagraph(both, change);
    const CParagraphFormat after = InPlaceText::ParagraphOf(both);
    EXPECT_EQ(after.alignment, 1);
    EXPECT_EQ(after.spaceAfter, 90);
    EXPECT_EQ(after.offset, 0);
    EXPECT_EQ(after.startIndent, 150) << "left as it was";
    const QByteArray stored = InPlaceText::Store(shown, 0.5, 1252);
    for (const char* part : {"\\qr", "\\sa90", "\\li150"})
        EXPECT_TRUE(stored.contains(part)) << part << " in " << stored.constData();
    EXPECT_TRUE(stored.contains("\\sb60") && stored.contains("\\sb120")) << "each paragraph's own space before";
}

}  // namespace
