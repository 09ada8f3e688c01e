#include "app/ScriptEditor.h"

#include "app/MainDoc.h"
#include "base/Debug.h"
#include "base/Settings.h"
#include "base/Translate.h"

#include <QDir>
#include <QFileInfo>

using namespace ScriptEditorIds;

namespace {

CTranslate& Translate() { return CTranslate::Global(); }

}  // namespace

// ---------------------------------------------------------------------------------
// Texts

namespace ScriptEditorTexts {

QString MenuText(ScriptActionType kind) { return Translate().LoadText(FirstMenuText + unsigned(kind)); }

QStringList Headers() { return {Translate().LoadText(ColumnAction), Translate().LoadText(ColumnTime)}; }

QString ScriptFilter() {
    return FormatString(QStringLiteral("%s (*%s)|*%s|"),
                        {Translate().LoadText(ScriptFiles), ScriptExtension, ScriptExtension});
}

QString PageFilter() { return QStringLiteral("Page files (*.corvane)|*.corvane|"); }

}  // namespace ScriptEditorTexts

CPresenterScope::CPresenterScope(IMessagePresenter* presenter) {
    if (!presenter) return;
    previous_ = Translate().SetPresenter(presenter);
    installed_ = true;
}

CPresenterScope::~CPresenterScope() {
    if (installed_) Translate().SetPresenter(previous_);
}

// ---------------------------------------------------------------------------------
// The action editors

CScriptActionModel::CScriptActionModel(const CFrameScriptItem& item)
    : ActionName(Translate().LoadText(ActionTitleBase + unsigned(item.type))),
      ApplyToGroup(!item.sdata.isEmpty()),
      Group(item.sdata) {}

void CScriptActionModel::ChooseAllObjects() {
    ApplyToGroup = false;
    Group.clear();
}

void CScriptActionModel::Ok(CFrameScriptItem& item) const { item.sdata = Group.trimmed(); }

CScriptPauseModel::CScriptPauseModel(const CFrameScriptItem& item) : Seconds(QString::number(item.idata)) {}

bool CScriptPauseModel::Ok(CFrameScriptItem& item) const {
    if (Seconds.isEmpty() || Seconds.size() > MaxDigits) return false;
    for (const QChar c : Seconds)
        if (c < u'0' || c > u'9') return false;
    const int seconds = Seconds.toInt();
    if (seconds <= 0) return false;
    item.idata = seconds;
    return true;
}

CScriptWaitUntilModel::CScriptWaitUntilModel(const CFrameScriptItem& item) {
    constexpr int day = 24 * 3600;
    const int seconds = ((item.idata % day) + day) % day;
    Time = QTime(seconds / 3600, (seconds % 3600) / 60, seconds % 60);
}

void CScriptWaitUntilModel::Ok(CFrameScriptItem& item) const {
    item.idata = Time.hour() * 3600 + Time.minute() * 60 + Time.second();
}

// ---------------------------------------------------------------------------------
// The editor

CScriptEditorModel::CScriptEditorModel(CMainDoc& document, CSettingsStore& settings, Hooks hooks,
                                       IMessagePresenter* presenter)
    : document_(document), settings_(settings), hooks_(std::move(hooks)), presenter_(presenter) {}

CFrameScript& CScriptEditorModel::Script() { return document_.Script; }
const CFrameScript& CScriptEditorModel::Script() const { return document_.Script; }

QString CScriptEditorModel::Title() const {
    QString title = Translate().LoadText(ScriptEditorIds::Title);
    if (!Script().FileName().isEmpty()) title += QStringLiteral(" - ") + Script().DisplayName();
    return title;
}

std::vector<CScriptEditorModel::Row> CScriptEditorModel::Rows() const {
    const CFrameScript& script = Script();
    const QStringList times = script.TimeColumn();
    std::vector<Row> rows;
    rows.reserve(size_t(script.Count()));
    for (int k = 0; k < script.Count(); ++k) {
        const CFrameScriptItem& item = *script.Item(k);
        rows.push_back({FormatString(QStringLiteral(" %d. "), {k + 1}) + item.ListText(), times.value(k), item.type});
    }
    return rows;
}

bool CScriptEditorModel::Loop() const { return Script().Loop(); }

void CScriptEditorModel::Select(int row) { selected_ = row >= 0 && row < Script().Count() ? row : -1; }

bool CScriptEditorModel::CanMoveDown() const { return selected_ >= 0 && selected_ < Script().Count() - 1; }

bool CScriptEditorModel::CanSave() const { return Script().Count() > 0; }

bool CScriptEditorModel::AskDiscard() {
    if (!modified_) return true;
    return Translate().MessageBoxText(ModifiedQuestion, MbYesNo | MbIconWarning) == IdYes;
}

bool CScriptEditorModel::Clear() {
    const CPresenterScope scope(presenter_);
    if (!AskDiscard()) return false;
    Script().Clear();
    selected_ = -1;
    modified_ = false;
    return true;
}

bool CScriptEditorModel::Load() {
    const CPresenterScope scope(presenter_);
    if (!AskDiscard()) return false;
    modified_ = false;  // the operator gave up the changes, even if no file is chosen now
    const QString path =
        hooks_.chooseScriptToOpen ? hooks_.chooseScriptToOpen(PagesFolder(settings_), ScriptEditorTexts::ScriptFilter())
                                  : QString();
    if (path.isEmpty()) return false;
    // The document's load: the same message, log line and status line as the
    // other roads a script takes in.
    document_.ScriptLoad(QDir::cleanPath(QFileInfo(path).absoluteFilePath()), false);
    selected_ = -1;
    modified_ = false;
    return Script().Count() > 0;
}

bool CScriptEditorModel::Save() {
    if (!CanSave()) return false;
    const CPresenterScope scope(presenter_);
    QString path = hooks_.chooseScriptToSave ? hooks_.chooseScriptToSave(Script().FileName(), PagesFolder(settings_),
                                                                          ScriptEditorTexts::ScriptFilter())
                                             : QString();
    if (path.isEmpty()) return false;
    if (QFileInfo(path).suffix().isEmpty()) path += ScriptEditorTexts::ScriptExtension;
    path = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (!Script().SaveFile(path)) {
        CDebug::Log(1, "CScriptEditorModel::Save(%s): %s", path, Script().LastError());
        Translate().MessageBoxFormat(SaveFailed, MbOk | MbIconError, {path});
        return false;
    }
    modified_ = false;
    return true;
}

bool CScriptEditorModel::EditAction(CFrameScriptItem& item) {
    if (!item.HasPagePath()) return hooks_.editAction && hooks_.editAction(item);
    const QString path =
        hooks_.choosePageFile ? hooks_.choosePageFile(item.sdata, ScriptEditorTexts::PageFilter()) : QString();
    if (path.isEmpty()) return false;
    const QFileInfo file(path);
    if (!file.isFile()) {
        // A chooser of the platform lets only existing files through; anything else
        // is said, not stored.
        Translate().MessageBoxFormat(OpenFailed, MbOk | MbIconError, {path});
        return false;
    }
    item.sdata = QDir::cleanPath(file.absoluteFilePath());
    return true;
}

bool CScriptEditorModel::Add(ScriptActionType kind) {
    if (int(kind) < 0 || int(kind) >= ScriptActionTypeCount) return false;
    const CPresenterScope scope(presenter_);
    std::unique_ptr<CFrameScriptItem> item = CFrameScriptItem::Added(kind);
    if (!EditAction(*item)) return false;
    Script().Append(std::move(item));
    selected_ = Script().Count() - 1;
    modified_ = true;
    return true;
}

bool CScriptEditorModel::Edit() {
    if (!CanEdit()) return false;
    const CPresenterScope scope(presenter_);
    if (!EditAction(*Script().Item(selected_))) return false;
    modified_ = true;
    return true;
}

bool CScriptEditorModel::Delete() {
    if (!CanDelete()) return false;
    Script().RemoveAt(selected_);
    if (selected_ >= Script().Count()) selected_ = Script().Count() - 1;
    modified_ = true;
    return true;
}

bool CScriptEditorModel::MoveUp() {
    if (!CanMoveUp()) return false;
    Script().SwapWithNext(selected_ - 1);
    --selected_;
    modified_ = true;
    return true;
}

bool CScriptEditorModel::MoveDown() {
    if (!CanMoveDown()) return false;
    Script().SwapWithNext(selected_);
    ++selected_;
    modified_ = true;
    return true;
}

void CScriptEditorModel::SetLoop(bool loop) {
    if (loop == Script().Loop()) return;
    Script().SetLoop(loop);
    if (Script().Count() > 0) modified_ = true;
}

bool CScriptEditorModel::MayClose() {
    const CPresenterScope scope(presenter_);
    return AskDiscard();
}

void CScriptEditorModel::Closed() { document_.UpdateScriptStatus(); }
