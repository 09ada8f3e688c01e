#include "app/Canvas.h"

#include "playback/Import.h"
#include "playback/TextMovement.h"

#include <algorithm>

namespace {

constexpr std::array<double, CCanvasModel::ZoomCount> ZoomFactors{1.0, 0.75, 0.66, 0.5, 0.33, 0.25};
constexpr std::array<int, CCanvasModel::ZoomCount> ZoomPercents{100, 75, 66, 50, 33, 25};

// Checkered backgrounds darken their margin bands by this much.
constexpr int CheckeredMarginAmount = -40;
// A solid background's bands move its brightest channel to this level.
constexpr int SolidMarginLevel = 160;

bool Intersect(const CRect& a, const CRect& b, CRect& out) {
    out = {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    return out.left < out.right && out.top < out.bottom;
}

CRect Union(const CRect& a, const CRect& b) {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

CRect Grown(const CRect& r, int by) { return {r.left - by, r.top - by, r.right + by, r.bottom + by}; }

bool OnPage(CFrameSet& page, const CFrame* object) {
    CPageSnapshot snapshot(page);
    return std::find(snapshot.list.begin(), snapshot.list.end(), object) != snapshot.list.end();
}

}  // namespace

CCanvasModel::CCanvasModel(CMainDoc& document, ICanvasHost& host, CSettingsStore& store, InstanceKind kind,
                           CRichEditTextRenderer& renderer)
    : document_(document), host_(host), store_(store), kind_(kind), renderer_(renderer) {
    ReloadSettings();
}

void CCanvasModel::ReloadSettings() {
    snap_ = store_.Get(Settings::SnapToGrid, kind_) != 0;
    gridStep_ = store_.Get(Settings::GridStep, kind_);
    zoom_ = std::clamp(store_.Get(Settings::ZoomFactor, kind_), 0, ZoomCount - 1);
    backgroundMode_ = store_.Get(Settings::Background, kind_);
    backgroundColour_ = uint32_t(store_.Get(Settings::BackgroundColor, kind_));
    marginH_ = store_.Get(Settings::MarginH, kind_);
    marginV_ = store_.Get(Settings::MarginV, kind_);
    BuildBackground();
}

// ---------------------------------------------------------------------------------
// Zoom and layout

double CCanvasModel::ZoomFactorOf(int index) { return ZoomFactors[size_t(std::clamp(index, 0, ZoomCount - 1))]; }

QString CCanvasModel::ZoomText(int index) {
    return FormatString(QStringLiteral("%d%%"), {ZoomPercents[size_t(std::clamp(index, 0, ZoomCount - 1))]});
}

void CCanvasModel::SetZoom(int index) {
    index = std::clamp(index, 0, ZoomCount - 1);
    if (index == zoom_) return;
    zoom_ = index;
    Layout(view_, barWidth_, barHeight_);
    host_.UpdateViews(UpdateGeneral, nullptr);
    host_.ZoomChanged(index);
    store_.Set(Settings::ZoomFactor, index, kind_);
}

void CCanvasModel::ZoomIn() {
    if (CanZoomIn()) SetZoom(zoom_ - 1);
}

void CCanvasModel::ZoomOut() {
    if (CanZoomOut()) SetZoom(zoom_ + 1);
}

int CCanvasModel::ToScreen(int pageValue) const { return int(pageValue * Factor()); }

int CCanvasModel::ToPage(int screenValue) const { return int(screenValue / Factor()); }

CRect CCanvasModel::ToScreen(const CRect& page) const {
    return {ToScreen(page.left), ToScreen(page.top), ToScreen(page.right), ToScreen(page.bottom)};
}

void CCanvasModel::Layout(QSize view, int verticalBarWidth, int horizontalBarHeight) {
    view_ = view;
    barWidth_ = verticalBarWidth;
    barHeight_ = horizontalBarHeight;
    const QSize page = ScaledPage();
    pageOffset_ = QPoint(std::max(barWidth_, (view.width() - page.width()) / 2),
                         std::max(barHeight_, (view.height() - page.height()) / 2));
}

QSize CCanvasModel::ScaledPage() const {
    return QSize(ToScreen(document_.PageWidth()), ToScreen(document_.PageHeight()));
}

QSize CCanvasModel::ScrollArea() const {
    const QSize page = ScaledPage();
    return QSize(page.width() + 2 * barWidth_, page.height() + 2 * barHeight_);
}

QRect CCanvasModel::ToView(const CRect& page, QPoint scroll) const {
    const CRect s = ToScreen(page);
    return QRect(s.left + pageOffset_.x() - scroll.x(), s.top + pageOffset_.y() - scroll.y(), s.Width(), s.Height());
}

CRect CCanvasModel::PageRect() const { return {0, 0, document_.PageWidth(), document_.PageHeight()}; }

// ---------------------------------------------------------------------------------
// Snapping

void CCanvasModel::ToggleSnap() {
    snap_ = !snap_;
    store_.Set(Settings::SnapToGrid, snap_ ? 1 : 0, kind_);
}

PlacementRule CCanvasModel::Placement() const {
    return PlacementRule{document_.PageWidth(), document_.PageHeight(), snap_, gridStep_};
}

// ---------------------------------------------------------------------------------
// Pictures

void CCanvasModel::BuildBackground() {
    const int w = document_.PageWidth(), h = document_.PageHeight();
    if (background_.width != w || background_.height != h) background_.Resize(w, h);
    if (backgroundMode_ == 1) background_.Fill(backgroundColour_ | 0xFF000000u);
    else background_.Checkerboard();

    if (marginH_ != 0 || marginV_ != 0) {
        int amount = CheckeredMarginAmount;
        if (backgroundMode_ == 1) {
            const int brightest = int(std::max({backgroundColour_ & 0xFFu, (backgroundColour_ >> 8) & 0xFFu,
                                                (backgroundColour_ >> 16) & 0xFFu}));
            amount = SolidMarginLevel - brightest;
        }
        const int a = marginH_ * w / 100;
        int inner = 0;  // the columns left of the vertical bands' start
        if (a > 0 && a < w / 2) {
            background_.Brighten(amount, 0, 0, a, h);
            background_.Brighten(amount, w - a, 0, a, h);
            inner = a;
        }
        const int f = marginV_ * h / 100;
        if (f > 0 && f < h / 2) {
            background_.Brighten(amount, inner, 0, w - 2 * inner, f);
            background_.Brighten(amount, inner, h - f, w - 2 * inner, f);
        }
    }
    if (composition_.width != w || composition_.height != h) composition_.Resize(w, h);
    CPicture::Blit(composition_, background_, 0, 0, w, h, 0, 0, 0);
}

bool CCanvasModel::Update(int kind, const CRect* rect, int number) {
    switch (kind) {
    case UpdateGeneral:
    case UpdateLanguage:
        if (Compose(rect ? *rect : PageRect())) host_.UpdateViews(UpdateCaptions, nullptr);
        return true;
    case UpdateRedraw: return true;
    case UpdateSelectNumber: {
        CFrame* object = nullptr;
        {
            CPageSnapshot snapshot(document_.Page);
            if (number >= 1 && number <= int(snapshot.list.size())) object = snapshot.list[size_t(number - 1)];
        }
        if (!object || object == document_.Selected) return false;
        if (editing_) EndEdit();
        document_.Select(object);
        return true;
    }
    default: return false;
    }
}

bool CCanvasModel::Compose(const CRect& rect) {
    if (background_.width != document_.PageWidth() || background_.height != document_.PageHeight()) BuildBackground();
    CRect r;
    if (!Intersect(rect, PageRect(), r)) return false;
    CPicture::Blit(composition_, background_, r.left, r.top, r.Width(), r.Height(), r.left, r.top, 0);
    bool textDrawn = false;
    CPageSnapshot snapshot(document_.Page);
    for (CFrame* object : snapshot.list) {
        CRect part;
        if (!Intersect(object->Rect, r, part)) continue;
        const int sx = part.left - object->Rect.left, sy = part.top - object->Rect.top;
        CPicture::Blit(composition_, GetEditorBackground(*object), part.left, part.top, part.Width(), part.Height(),
                       sx, sy, 1);
        if (object == editing_) continue;  // its text is in the editor over it
        if (const CPicture* text = GetEditorText(*object, renderer_)) {
            CPicture::Blit(composition_, *text, part.left, part.top, part.Width(), part.Height(), sx, sy, 1);
            textDrawn = true;
        }
    }
    return textDrawn;
}

// ---------------------------------------------------------------------------------
// Mouse

CFrame* CCanvasModel::HitTest(QPoint view, QPoint scroll) {
    const int x = view.x() + scroll.x() - pageOffset_.x();
    const int y = view.y() + scroll.y() - pageOffset_.y();
    CPageSnapshot snapshot(document_.Page);
    for (auto it = snapshot.list.rbegin(); it != snapshot.list.rend(); ++it) {
        CRect s = ToScreen((*it)->Rect);
        if (!(*it)->Locked) s = Grown(s, HitMargin);
        if (x >= s.left && x < s.right && y >= s.top && y < s.bottom) return *it;
    }
    return nullptr;
}

void CCanvasModel::SelectObject(CFrame* object) {
    if (editing_) EndEdit();
    document_.Select(object);
    host_.UpdateViews(UpdateGeneral, nullptr);
}

CCanvasModel::Press CCanvasModel::MouseDown(QPoint view, QPoint scroll, bool leftButton) {
    CFrame* hit = HitTest(view, scroll);
    if (hit != document_.Selected) {
        SelectObject(hit);
        return Press::Selected;
    }
    if (leftButton && hit && !hit->Locked && !editing_) return Press::Track;
    return Press::Nothing;
}

QRect CCanvasModel::TrackerRect(QPoint scroll) const {
    return document_.Selected ? ToView(document_.Selected->Rect, scroll) : QRect();
}

int CCanvasModel::TrackerMinimum() const { return ToScreen(MinimumSize); }

bool CCanvasModel::TrackerReleased(const QRect& view, QPoint scroll, bool moved) {
    if (!document_.Selected || document_.Selected->Locked) return false;
    const int dx = scroll.x() - pageOffset_.x(), dy = scroll.y() - pageOffset_.y();
    const CRect page{ToPage(view.x() + dx), ToPage(view.y() + dy), ToPage(view.x() + view.width() + dx),
                     ToPage(view.y() + view.height() + dy)};
    return MoveSelected(page, moved, moved);
}

void CCanvasModel::DoubleClick(QPoint view, QPoint scroll) {
    CFrame* hit = HitTest(view, scroll);
    if (!hit || hit != document_.Selected) return;
    if (document_.Command(PlayCommand::Toggle, CommandTarget::Selected()).Changed() && CollectOutlines())
        host_.Repaint();
}

// ---------------------------------------------------------------------------------
// Moving and resizing

bool CCanvasModel::MoveSelected(const CRect& rect, bool keepWidth, bool keepHeight) {
    if (!document_.Selected) return false;
    document_.Undo.RecordUndo(GeometryChanged, document_.Selected, true);
    if (ApplyRect(rect, keepWidth, keepHeight)) return true;
    document_.Undo.DropLastUndo();
    return false;
}

bool CCanvasModel::ApplyRect(const CRect& rect, bool keepWidth, bool keepHeight) {
    CFrame* object = document_.Selected;
    if (!object) return false;
    const CRect placed = PlaceRect(rect, Placement(), keepWidth, keepHeight);
    const CRect old = object->Rect;
    if (placed == old) return false;
    // A playing object's geometry belongs to the render thread.
    if (document_.Page.OutputOn.load()) object->Stop();
    object->Rect = placed;
    if (placed.Width() != old.Width() || placed.Height() != old.Height()) {
        object->EditorBackgroundValid = 0;
        object->EditorTextValid = 0;
    }
    document_.Modified = true;
    CollectOutlines();
    const CRect changed = Grown(Union(old, placed), UpdateMargin);
    host_.UpdateViews(UpdateGeneral, &changed);
    return true;
}

// ---------------------------------------------------------------------------------
// Keys

bool CCanvasModel::KeyDown(CanvasKey key, bool ctrl, bool shift) {
    if (ctrl) {
        // While text is edited in place, the clipboard and history keys are the editor's.
        const bool editorKey = key == CanvasKey::C || key == CanvasKey::X || key == CanvasKey::V ||
                               key == CanvasKey::Z || key == CanvasKey::Y;
        if (editing_ && editorKey) return false;
        switch (key) {
        case CanvasKey::Up: document_.MoveUp(); return true;
        case CanvasKey::Down: document_.MoveDown(); return true;
        case CanvasKey::Plus: ZoomIn(); return true;
        case CanvasKey::Minus: ZoomOut(); return true;
        case CanvasKey::C: document_.Copy(); return true;
        case CanvasKey::X:
            document_.Cut();
            return true;
        case CanvasKey::V: document_.Paste(); return true;
        case CanvasKey::D:
            if (editing_) EndEdit();
            document_.Clone();
            return true;
        case CanvasKey::Z: document_.DoUndo(); return true;
        case CanvasKey::Y: document_.DoRedo(); return true;
        default: return false;
        }
    }
    switch (key) {
    case CanvasKey::Left:
    case CanvasKey::Up:
    case CanvasKey::Right:
    case CanvasKey::Down: return ArrowKey(key, shift);
    case CanvasKey::Tab: SelectNeighbour(!shift); return true;
    case CanvasKey::Enter: return StartEdit();
    case CanvasKey::Space: {
        CFrame* object = document_.Selected;
        if (!object || !document_.Page.OutputOn.load() || !object->Playing.load()) return false;
        document_.Command(PlayCommand::PauseResume, CommandTarget::Selected());
        if (CollectOutlines()) host_.Repaint();
        return true;
    }
    case CanvasKey::Delete:
        if (!document_.Selected) return false;
        if (editing_) EndEdit();
        document_.Delete();
        return true;
    case CanvasKey::Escape:
        if (!editing_) return false;
        EndEdit();
        return true;
    default: return false;
    }
}

bool CCanvasModel::ArrowKey(CanvasKey key, bool shift) {
    CFrame* object = document_.Selected;
    if (!object || object->Locked) return false;
    const int step = snap_ ? gridStep_ : 1;
    CRect r = object->Rect;
    const int dx = key == CanvasKey::Left ? -step : key == CanvasKey::Right ? step : 0;
    const int dy = key == CanvasKey::Up ? -step : key == CanvasKey::Down ? step : 0;
    if (!shift) {
        r.left += dx;
        r.top += dy;
    }
    r.right += dx;
    r.bottom += dy;
    if (r.Width() < MinimumSize || r.Height() < MinimumSize) return false;
    return MoveSelected(r, !shift, !shift);
}

void CCanvasModel::SelectNeighbour(bool next) {
    CFrame* target = nullptr;
    {
        CPageSnapshot snapshot(document_.Page);
        const auto& list = snapshot.list;
        if (list.empty()) return;
        const int n = int(list.size());
        const auto it = std::find(list.begin(), list.end(), document_.Selected);
        int index;
        if (it == list.end()) index = next ? 0 : n - 1;
        else index = (int(it - list.begin()) + (next ? 1 : n - 1)) % n;
        target = list[size_t(index)];
    }
    if (target != document_.Selected) SelectObject(target);
}

void CCanvasModel::AddSimpleObject() {
    if (editing_) EndEdit();
    document_.AddSimpleObject();
}

// ---------------------------------------------------------------------------------
// On-air outlines, tick, status

OutlinePen CCanvasModel::PenOf(int kind) {
    switch (kind) {
    case 0: return {0x0000C8u, 3};  // error while playing
    case 1: return {0x6400C8u, 2};  // error, not playing
    case 2: return {0x00C8C8u, 3};  // paused
    default: return {0x00C800u, 3}; // running
    }
}

bool CCanvasModel::CollectOutlines() {
    std::vector<CanvasOutline> collected;
    {
        CPageSnapshot snapshot(document_.Page);
        for (const CFrame* object : snapshot.list) {
            const bool playing = object->Playing.load() != 0;
            const bool error = object->TextError.load() != 0 || object->BackgroundError.load() != 0;
            if (!playing && !error) continue;
            const int kind = error ? (playing ? 0 : 1) : (object->Paused.load() ? 2 : 3);
            collected.push_back({object->Rect, kind});
        }
    }
    std::lock_guard guard(outlineLock_);
    if (collected == outlines_) return false;
    outlines_ = std::move(collected);
    return true;
}

std::vector<CanvasOutline> CCanvasModel::Outlines() const {
    std::lock_guard guard(outlineLock_);
    return outlines_;
}

QRect CCanvasModel::OutlineRect(const CanvasOutline& outline, QPoint scroll) const {
    const QRect r = ToView(outline.rect, scroll);
    const int less = PenOf(outline.kind).width - 2;
    return QRect(r.x(), r.y(), r.width() - less, r.height() - less);
}

void CCanvasModel::Tick() {
    if (CollectOutlines()) host_.Repaint();
}

int CCanvasModel::ContextMenu() {
    document_.ScriptStop();
    constexpr int EditingMenu = 202, ObjectMenu = 203, PageMenu = 204;
    return editing_ ? EditingMenu : document_.Selected ? ObjectMenu : PageMenu;
}

QString CCanvasModel::StatusText() const {
    const CFrame* object = document_.Selected;
    if (!object) return QString();
    const CRect& r = object->Rect;
    return FormatString(QStringLiteral(" %d: %d,%d - %d,%d (%dx%d)"),
                        {document_.SelectedNumber, r.left, r.top, r.right, r.bottom, r.Width(), r.Height()});
}

// ---------------------------------------------------------------------------------
// In-place text editing

bool CCanvasModel::StartEdit() {
    CFrame* object = document_.Selected;
    if (!object || editing_) return false;
    document_.ScriptStop();
    // The text of an RTF file source is the file's, not the object's.
    if (object->TextSource == SourceRtfFile) return false;
    if (document_.Page.OutputOn.load()) object->Stop();
    editing_ = object;
    ICanvasHost::InPlaceEditor editor;
    const QRect r = ToView(object->Rect, QPoint(0, 0));
    editor.singleLine = object->Movement == MovementHorizontal;
    editor.alignRight = editor.singleLine && object->Reverse;
    editor.rect = editor.singleLine ? r.adjusted(0, 0, 0, barHeight_) : r.adjusted(0, 0, barWidth_, 0);
    editor.zoomPercent = zoom_ == 0 ? 0 : ZoomPercents[size_t(zoom_)];
    editor.richText = object->RichText;
    host_.OpenInPlaceEditor(editor);
    const CRect changed = object->Rect;
    host_.UpdateViews(UpdateGeneral, &changed);
    return true;
}

void CCanvasModel::EndEdit() {
    CFrame* object = editing_;
    if (!object) return;
    editing_ = nullptr;
    document_.ScriptStop();
    const QByteArray text = host_.InPlaceEditorText();
    host_.CloseInPlaceEditor();
    // An object that left the page meanwhile has nothing to take the text.
    if (!OnPage(document_.Page, object)) return;
    document_.Undo.RecordUndo(TextChanged, object, true);
    if (text != object->RichText) {
        if (document_.Page.OutputOn.load()) object->Stop();
        object->RichText = text;
        object->EditorTextValid = 0;
        document_.Modified = true;
    } else {
        document_.Undo.DropLastUndo();
    }
    const CRect changed = object->Rect;
    host_.UpdateViews(UpdateGeneral, &changed);
}
