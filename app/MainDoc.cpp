#include "app/MainDoc.h"

#include "base/Debug.h"
#include "core/PageFile.h"
#include "core/VideoModes.h"

#include <QFileInfo>

namespace {
constexpr unsigned TooManyObjects = 10209;
constexpr unsigned ConfirmDelete = 10201;
constexpr unsigned UntitledTitle = 61443;
}  // namespace

CMainDoc::CMainDoc(IDocumentHost& host, int modeIndex, int desktopDpi)
    : ModeIndex(modeIndex), DesktopDpi(desktopDpi), Undo(Page), host_(host) {
    Title = CTranslate::Global().LoadText(UntitledTitle);
}

CMainDoc::~CMainDoc() {
    Selected = nullptr;
    Undo.ClearHistory();
}

int CMainDoc::PageWidth() const { return VideoModes::RenderWidth(ModeIndex); }
int CMainDoc::PageHeight() const { return VideoModes::RenderHeight(ModeIndex); }

void CMainDoc::Recount() { SelectedNumber = Selected ? Page.NumberOf(Selected) : 0; }

void CMainDoc::Select(CFrame* object) {
    Selected = object;
    Recount();
    host_.SelectionChanged(object);
}

bool CMainDoc::PageFull() {
    if (Page.LiveCount() < CFrameSet::MaxObjects) return false;
    CTranslate::Global().MessageBoxText(TooManyObjects, MbIconError);
    return true;
}

bool CMainDoc::AddObject(std::unique_ptr<CFrame> object) {
    CFrame* added = object.get();
    if (!Page.Add(object)) return false;  // the refused object goes with the pointer
    added->FramePeriod = VideoModes::FramePeriod(ModeIndex);
    added->EditorBackgroundValid = 0;
    added->EditorTextValid = 0;
    if (Selected != added) Select(added);
    Undo.RecordUndo(ObjectAdded, added, true);
    Modified = true;
    host_.UpdateViews(UpdateGeneral);
    return true;
}

void CMainDoc::AddSimpleObject() {
    if (PageFull()) return;
    auto object = std::make_unique<CFrame>();
    object->Rect = {32, 32, 288, 160};
    AddObject(std::move(object));
}

void CMainDoc::Clone() {
    if (!Selected || PageFull()) return;
    auto copy = std::make_unique<CFrame>(*Selected);
    CFrame* clone = copy.get();
    if (!AddObject(std::move(copy))) return;
    int dx = 0, dy = 0;
    CloneOffset(clone->Rect, PageWidth(), PageHeight(), dx, dy);
    const CRect moved{clone->Rect.left + dx, clone->Rect.top + dy, clone->Rect.right + dx, clone->Rect.bottom + dy};
    if (Page.OutputOn.load()) clone->Stop();
    clone->Rect = PlaceRect(moved, host_.Placement(PageWidth(), PageHeight()), true, true);
    host_.UpdateViews(UpdateGeneral);
}

void CMainDoc::Cut() {
    if (!Selected) return;
    Clipboard = std::make_unique<CFrame>(*Selected);
    Undo.RecordUndo(ObjectDeleted, Selected, true);
    Page.Remove(Selected);
    Select(nullptr);
    Modified = true;
    host_.UpdateViews(UpdateGeneral);
}

void CMainDoc::Copy() { Clipboard = Selected ? std::make_unique<CFrame>(*Selected) : nullptr; }

void CMainDoc::Paste() {
    if (!Clipboard) return;
    auto copy = std::make_unique<CFrame>(*Clipboard);
    CFrame* pasted = copy.get();
    if (!Page.Add(copy)) return;  // a full page: nothing happens
    pasted->FramePeriod = VideoModes::FramePeriod(ModeIndex);
    Select(pasted);
    // Not in the history, but a change of the page all the same: closing asks to save it.
    Modified = true;
    host_.UpdateViews(UpdateGeneral);
}

void CMainDoc::Delete() {
    if (!Selected) return;
    if (CTranslate::Global().MessageBoxText(ConfirmDelete, MbYesNo | MbIconQuestion) != IdYes) return;
    Undo.RecordUndo(ObjectDeleted, Selected, true);
    Page.Remove(Selected);
    Select(nullptr);
    Modified = true;
    host_.UpdateViews(UpdateGeneral);
}

void CMainDoc::MoveUp() {
    if (!Selected || !Page.Move(Selected, true)) return;
    Recount();
    Modified = true;
    host_.UpdateViews(UpdateGeneral);
}

void CMainDoc::MoveDown() {
    if (!Selected || !Page.Move(Selected, false)) return;
    Recount();
    Modified = true;
    host_.UpdateViews(UpdateGeneral);
}

void CMainDoc::Lock() {
    if (!Selected) return;
    Selected->Locked = Selected->Locked ? 0 : 1;
    Modified = true;
    host_.UpdateViews(UpdateRedraw);
}

CommandResult CMainDoc::Command(PlayCommand command, const CommandTarget& target) {
    if (target.kind != CommandTarget::Kind::Selection) return ApplyCommand(Page, command, target);
    if (!Selected) return {};
    return ApplyCommand(Page, command, CommandTarget::WithGroup(Selected));
}

void CMainDoc::DoUndo() {
    CFrame* select = Undo.Undo();
    if (Undo.Applied) Modified = true;
    if (select != Selected) Select(select);
    host_.UpdateViews(UpdateGeneral);
}

void CMainDoc::DoRedo() {
    CFrame* select = Undo.Redo();
    if (Undo.Applied) Modified = true;
    if (select != Selected) Select(select);
    host_.UpdateViews(UpdateGeneral);
}

void CMainDoc::NewPage() {
    Select(nullptr);
    Page.RemoveAll();
    Undo.ClearHistory();
    PathName.clear();
    Title = CTranslate::Global().LoadText(UntitledTitle);
    Modified = false;
    host_.UpdateViews(UpdateGeneral);
}

bool CMainDoc::Open(const QString& path) {
    std::vector<std::unique_ptr<CFrame>> read;
    if (!PageFile::ReadPage(path, ModeIndex, DesktopDpi, read)) return false;
    Select(nullptr);
    Page.RemoveAll();
    Undo.ClearHistory();
    for (auto& object : read) Page.Add(object);
    PathName = path;
    Title = QFileInfo(path).fileName();
    Modified = false;
    host_.UpdateViews(UpdateGeneral);
    return true;
}

bool CMainDoc::Save(const QString& path) {
    CPageSnapshot snapshot(Page);
    const std::vector<const CFrame*> objects(snapshot.list.begin(), snapshot.list.end());
    if (!PageFile::WritePage(path, ModeIndex, DesktopDpi, objects, host_.CanvasPicture())) return false;
    PathName = path;
    Title = QFileInfo(path).fileName();
    Modified = false;
    host_.UpdateViews(UpdateThumbnail);
    return true;
}

bool CMainDoc::LoadPageFile(const QString& path, bool replaceAll, std::vector<CFrame*>* kept) {
    std::vector<std::unique_ptr<CFrame>> read;
    if (!PageFile::ReadPage(path, ModeIndex, DesktopDpi, read)) return false;
    if (kept) kept->clear();
    {
        CPageSnapshot snapshot(Page);
        for (CFrame* object : snapshot.list) {
            if (!replaceAll && (object->Playing.load() || object->Locked)) {
                if (kept) kept->push_back(object);
                continue;
            }
            Page.Remove(object);
        }
        for (auto& object : read) {
            object->FramePeriod = VideoModes::FramePeriod(ModeIndex);
            Page.Add(object);  // beyond the limit: dropped with the list
        }
    }
    Reset();
    return true;
}

bool CMainDoc::AddPageFileAndPlay(const QString& path) {
    std::vector<CFrame*> kept;
    if (!LoadPageFile(path, false, &kept)) return false;
    Command(PlayCommand::Play, CommandTarget::Every(kept));
    return true;
}

bool CMainDoc::LoadPageFileAndPlay(const QString& path) {
    if (!Open(path)) return false;
    Command(PlayCommand::Play, CommandTarget::Every());
    return true;
}

void CMainDoc::DeleteObjects(const QString& group) {
    {
        CPageSnapshot snapshot(Page);
        for (CFrame* object : snapshot.list)
            if (group.isEmpty() || object->Group == group) Page.Remove(object);
    }
    Reset();
}

void CMainDoc::Reset() {
    Select(nullptr);
    Undo.ClearHistory();
    Clipboard.reset();
    PathName.clear();
    Title = CTranslate::Global().LoadText(UntitledTitle);
    Modified = false;
    host_.UpdateViews(UpdateGeneral);
}
