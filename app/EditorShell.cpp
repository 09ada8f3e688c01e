#include "app/EditorShell.h"

#include "base/Debug.h"
#include "output/OutputSession.h"
#include "remote/GlobalHotkeys.h"

#include <QFileInfo>

namespace Shell {

QString WindowTitle(InstanceKind kind, const QString& documentTitle) {
    QString title = CTranslate::Global().LoadText(AppTitleId);
    if (kind == InstanceKind::Editor) title += QStringLiteral(" Editor");
    return title + QStringLiteral(" - ") + documentTitle;
}

QString ApplicationStateText(int state) {
    if (state < StateIdle || state > StatePreview) state = StateIdle;
    return CTranslate::Global().LoadText(StateTextId + unsigned(state));
}

QString ScriptStatusText(int state, const QString& name, int step, int count) {
    switch (state) {
    case 1: return CTranslate::Global().FormatText(ScriptLoadedId, {name});
    case 2: return CTranslate::Global().FormatText(ScriptPlayingId, {name, step, count});
    default: return QString();
    }
}

QString SaveQuestionName(const CMainDoc& document) {
    if (document.PathName.isEmpty()) return document.Title;
    return QFileInfo(document.PathName).completeBaseName();
}

int HotkeyForCommand(unsigned commandId) {
    if (commandId < HotkeyFirstCommand || commandId >= HotkeyFirstCommand + 20) return 0;
    return int(commandId - HotkeyFirstCommand) + 1;
}

unsigned CommandForHotkey(int hotkey) {
    return hotkey >= 1 && hotkey <= 20 ? HotkeyFirstCommand + unsigned(hotkey - 1) : 0;
}

}  // namespace Shell

CEditorShell::CEditorShell(CMainDoc& document, InstanceKind kind, CSettingsStore& settings, QObject* receiver,
                           Hooks hooks)
    : doc_(document), kind_(kind), settings_(settings), receiver_(receiver), hooks_(std::move(hooks)) {
    doc_.MainInstance = kind_ == InstanceKind::Main;
    StartSwitcher();
    if (kind_ == InstanceKind::Main && (hooks_.alwaysControl || settings_.Get(Settings::ControlEnable) != 0))
        StartControl();
}

void CEditorShell::StartSwitcher() {
    if (kind_ != InstanceKind::Main || settings_.Get(Settings::UseRemote) == 0) return;
    const int address = settings_.Get(Settings::RemoteIP);
    if (address == 0) return;
    CMainDoc* doc = &doc_;
    switcher_ = std::make_unique<CRemoteButtonsInterface>(
        uint32_t(address), CRemoteButtonsInterface::ButtonTarget(receiver_, [doc](bool pressed, int button) {
            doc->SwitcherButtonEvent(pressed, button);
        }),
        hooks_.switcherTiming);
}

void CEditorShell::RestartSwitcher() {
    switcher_.reset();
    StartSwitcher();
}

void CEditorShell::StartControl() {
    CControlService::OutputHooks output;
    output.setOutput = [this](bool on) {
        if (!on) {
            StopOutput();
            return true;
        }
        if (OutputRunning() && !PreviewRunning()) return true;
        return ToggleOutput();
    };
    output.outputOn = [this] { return OutputRunning() && !PreviewRunning(); };
    output.previewOn = [this] { return PreviewRunning(); };
    output.lateFrames = [this] {
        CWindowTarget* target = output_ ? output_->Target() : nullptr;
        return target ? target->pacer.lateFrames.load() : 0;
    };
    output.viewsChanged = [this] {
        if (hooks_.viewsChanged) hooks_.viewsChanged();
    };
    output.modalOpen = [this] { return hooks_.modalOpen && hooks_.modalOpen(); };
    const ControlOptions options = hooks_.controlOptions ? *hooks_.controlOptions : CControlService::OptionsFrom(settings_);
    control_ = std::make_unique<CControlService>(doc_, settings_, std::move(output), options);
    // A port another program holds leaves the editor as it was, without network control.
    if (!control_->Start(&controlError_)) control_.reset();
}

CEditorShell::~CEditorShell() {
    // No request is carried out while the rest goes.
    control_.reset();
    // The switcher's lamps go off before the document (and the engine) go.
    switcher_.reset();
    hotkeys_.reset();
    // The window that would show the change is going too: no hook.
    output_.reset();
}

void CEditorShell::Tick() {
    ++ticks_;
    if (ticks_ == 1) {
        FirstTick();
        return;
    }
    if (auto changed = doc_.PluginPoll(); !changed.empty() && hooks_.pluginStatus) hooks_.pluginStatus(changed);
    CheckOutput();
    doc_.ScriptProcessing();
    if (control_) control_->Tick();
}

void CEditorShell::FirstTick() {
    if (kind_ != InstanceKind::Main) return;
    if (settings_.Get(Settings::FirstTimeSetup) != 0) {
        if (hooks_.firstSetup) {
            hooks_.firstSetup();
            return;
        }
        CDebug::Log(1, "CEditorShell::Tick(): no initial setup wizard, start-up actions run");
    }
    CMainDoc* doc = &doc_;
    hotkeys_ = std::make_unique<CGlobalHotkeys>(
        CGlobalHotkeys::HotkeyTarget(receiver_, [doc](int index) { doc->GlobalHotkeyEvent(index); }));
    if (hotkeys_->IsAvailable()) doc_.AutomationRegisterGlobalHotkeys(*hotkeys_);
    if (settings_.Get(Settings::Auto) != 0) {
        if (!output_) StartOutput(false);
        doc_.AutomationStartScript(0);
    }
}

void CEditorShell::ViewsUpdated() {
    if (switcher_) switcher_->SetButtonLamps(doc_.ButtonLamps());
}

bool CEditorShell::StartOutput(bool preview) {
    QWindow* window = nullptr;
    if (preview) {
        window = hooks_.previewWindow ? hooks_.previewWindow() : nullptr;
        if (!window) return false;
    }
    output_ = std::make_unique<COutputSession>(doc_.Page, doc_.ModeIndex, RenderOptions::FromSettings(doc_.ModeIndex),
                                               window);
    const RenderStatus status = output_->Status();
    if (status != RenderStatus::Ok) {
        output_.reset();
        CTranslate::Global().MessageBoxText(Shell::EngineStatusId + unsigned(int(status)), MbOk | MbIconError);
        if (hooks_.outputChanged) hooks_.outputChanged();
        return false;
    }
    if (hooks_.outputChanged) hooks_.outputChanged();
    return true;
}

void CEditorShell::StopOutput() {
    if (!output_) return;
    output_.reset();
    if (hooks_.outputChanged) hooks_.outputChanged();
}

bool CEditorShell::ToggleOutput() {
    if (output_) {
        const bool wasPreview = output_->IsPreview();
        StopOutput();
        if (!wasPreview) return false;
    }
    return StartOutput(false);
}

bool CEditorShell::TogglePreview() {
    if (output_) {
        StopOutput();
        return false;
    }
    return StartOutput(true);
}

bool CEditorShell::PreviewRunning() const { return output_ && output_->IsPreview(); }

void CEditorShell::CheckOutput() {
    if (!output_ || (hooks_.modalOpen && hooks_.modalOpen())) return;
    const RenderStatus status = output_->Status();
    if (status == RenderStatus::Ok) return;
    StopOutput();
    CTranslate::Global().MessageBoxText(Shell::EngineStatusId + unsigned(int(status)), MbOk | MbIconError);
}

int CEditorShell::ApplicationState() const {
    if (kind_ == InstanceKind::Editor) return Shell::StateEditMode;
    if (!output_) return Shell::StateIdle;
    return output_->IsPreview() ? Shell::StatePreview : Shell::StateOutputOn;
}

bool CEditorShell::SaveModified(const std::function<QString()>& chooseSavePath) {
    if (!doc_.Modified) return true;
    const int answer = CTranslate::Global().MessageBoxFormat(Shell::SaveChangesId, MbYesNoCancel | MbIconQuestion,
                                                            {Shell::SaveQuestionName(doc_)});
    if (answer == IdNo) return true;
    if (answer != IdYes) return false;
    QString path = doc_.PathName;
    if (path.isEmpty()) path = chooseSavePath ? chooseSavePath() : QString();
    if (path.isEmpty()) return false;
    return doc_.Save(path);
}
