#include "app/Preferences.h"

#include "core/VideoModes.h"
#include "output/DisplayConfiguration.h"
#include "output/XRandRDisplaySystem.h"
#include "remote/RemoteButtons.h"

#include <QDir>
#include <QStringList>
#include <algorithm>
#include <utility>

namespace {

// The display list is enumerated for this size whatever the mode: every display
// the product supports offers it.
constexpr int ListedWidth = 1920;
constexpr int ListedHeight = 1080;

constexpr int MinGridStep = 2;
constexpr int MaxGridStep = 50;
constexpr int MaxMargin = 40;

// The digits of a field as a number; an empty or overlong field reads as 0.
int DigitsValue(const QString& text, int ceiling) {
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok || value < 0) return text.trimmed().isEmpty() ? 0 : ceiling;
    return int(std::min<qlonglong>(value, ceiling));
}

}  // namespace

namespace PreferenceTexts {
QString ModeLockedNote() { return QStringLiteral("Turn off HDMI/preview output and clear current page to change mode!"); }
}  // namespace PreferenceTexts

std::vector<OutputDisplayEntry> OutputDisplayEntries(IDisplaySystem& system) {
    std::vector<OutputDisplayEntry> entries{{QString(), CTranslate::Global().LoadText(PreferenceTexts::AutoId)}};
    const CDisplayConfiguration configuration(system, ListedWidth, ListedHeight);
    for (qsizetype k = 0; k < configuration.candidateDevices.size(); ++k)
        entries.push_back({configuration.candidateDevices[k], QStringLiteral("%1. %2 - %3")
                                                                  .arg(k + 1)
                                                                  .arg(configuration.candidateDescriptions[k],
                                                                       configuration.candidateMonitors[k])});
    return entries;
}

std::vector<OutputDisplayEntry> OutputDisplayEntries() {
    CXRandRDisplaySystem system;
    if (!system.Connected()) return {{QString(), CTranslate::Global().LoadText(PreferenceTexts::AutoId)}};
    return OutputDisplayEntries(system);
}

CPreferencesModel::CPreferencesModel(CMainDoc& document, CSettingsStore& settings, InstanceKind kind,
                                     std::vector<OutputDisplayEntry> displays, Hooks hooks)
    : document_(document), settings_(settings), kind_(kind), displays_(std::move(displays)), hooks_(std::move(hooks)) {
    if (displays_.empty() || !displays_.front().deviceName.isEmpty())
        displays_.insert(displays_.begin(), {QString(), CTranslate::Global().LoadText(PreferenceTexts::AutoId)});
    Mode = document_.ModeIndex;
    const QString device = settings_.GetText(Settings::DisplayAdapter);
    for (size_t k = 1; k < displays_.size(); ++k)
        if (!device.isEmpty() && displays_[k].deviceName == device) DisplayIndex = int(k);
    FullHdmiRange = settings_.Get(Settings::FullHDMIRange) != 0;
    AlternativeSync = settings_.Get(Settings::AlternativeSync) != 0;
    Auto = settings_.Get(Settings::Auto) != 0;
    NoRestoreDisplays = settings_.Get(Settings::NoRestoreDisplays) != 0;
    RootFolder = settings_.GetText(Settings::RootFolder);
    DefaultTreeAction = settings_.Get(Settings::DefaultTreeAction);
    LargeToolbar = settings_.Get(Settings::LargeToolbar, kind_) != 0;
    SnapToGrid = settings_.Get(Settings::SnapToGrid, kind_) != 0;
    GridStep = QString::number(settings_.Get(Settings::GridStep, kind_));
    Background = settings_.Get(Settings::Background, kind_) == 1 ? 1 : 0;
    BackgroundColor = uint32_t(settings_.Get(Settings::BackgroundColor, kind_)) & 0xFFFFFFu;
    MarginH = QString::number(settings_.Get(Settings::MarginH, kind_));
    MarginV = QString::number(settings_.Get(Settings::MarginV, kind_));
    UseRemote = kind_ == InstanceKind::Main && settings_.Get(Settings::UseRemote) != 0;
    const int address = settings_.Get(Settings::RemoteIP);
    RemoteAddress = address != 0 ? RemoteButtons::ToDotted(uint32_t(address)) : QString();
}

bool CPreferencesModel::ModeChangeAllowed() const {
    return document_.Page.OutputOn.load() == 0 && !document_.Modified && document_.Page.LiveCount() == 0;
}

bool CPreferencesModel::ChooseMode(int mode) {
    if (!ModeChangeAllowed() || mode < 0 || mode >= VideoModes::Count) return false;
    Mode = mode;
    return true;
}

void CPreferencesModel::ChooseRootFolder(const QString& folder) {
    if (folder.isEmpty()) return;
    RootFolder = QDir::cleanPath(folder);
    if (!RootFolder.endsWith(QLatin1Char('/'))) RootFolder += QLatin1Char('/');
}

int CPreferencesModel::ClampedGridStep(const QString& text) {
    return std::clamp(DigitsValue(text, MaxGridStep), MinGridStep, MaxGridStep);
}

int CPreferencesModel::ClampedMargin(const QString& text) { return DigitsValue(text, MaxMargin); }

int CPreferencesModel::AddressValue(const QString& dotted) {
    const QStringList parts = dotted.split(QLatin1Char('.'));
    if (parts.size() != 4) return 0;
    for (const QString& part : parts)
        if (part.trimmed().isEmpty()) return 0;
    QStringList trimmed;
    for (const QString& part : parts) trimmed << QString::number(part.trimmed().toInt());
    return int(RemoteButtons::FromDotted(trimmed.join(QLatin1Char('.'))));
}

void CPreferencesModel::Ok() {
    // The canvas keys, in both instances.
    const int gridStep = ClampedGridStep(GridStep);
    const int marginH = ClampedMargin(MarginH);
    const int marginV = ClampedMargin(MarginV);
    settings_.Set(Settings::SnapToGrid, SnapToGrid ? 1 : 0, kind_);
    settings_.Set(Settings::GridStep, gridStep, kind_);
    settings_.Set(Settings::Background, Background, kind_);
    settings_.Set(Settings::BackgroundColor, int(BackgroundColor & 0xFFFFFFu), kind_);
    settings_.Set(Settings::MarginH, marginH, kind_);
    settings_.Set(Settings::MarginV, marginV, kind_);
    settings_.Set(Settings::LargeToolbar, LargeToolbar ? 1 : 0, kind_);
    GridStep = QString::number(gridStep);
    MarginH = QString::number(marginH);
    MarginV = QString::number(marginV);

    if (kind_ == InstanceKind::Main) {
        // An address with a blank part switches the switcher off.
        const int address = AddressValue(RemoteAddress);
        const bool useRemote = UseRemote && address != 0;
        const int storedAddress = address != 0 ? address : settings_.Get(Settings::RemoteIP);
        const bool remoteChanged = (settings_.Get(Settings::UseRemote) != 0) != useRemote ||
                                   settings_.Get(Settings::RemoteIP) != storedAddress;
        UseRemote = useRemote;

        const bool modeChanged = Mode != document_.ModeIndex && ModeChangeAllowed();
        if (modeChanged) document_.ModeIndex = Mode;
        const int display = std::clamp(DisplayIndex, 0, int(displays_.size()) - 1);

        // The document's settings, written together.
        settings_.Set(Settings::Mode, document_.ModeIndex);
        settings_.Set(Settings::Auto, Auto ? 1 : 0);
        settings_.Set(Settings::NoRestoreDisplays, NoRestoreDisplays ? 1 : 0);
        if (!RootFolder.isEmpty()) settings_.SetText(Settings::RootFolder, RootFolder);
        settings_.SetText(Settings::DisplayAdapter, displays_[size_t(display)].deviceName);
        settings_.Set(Settings::AlternativeSync, AlternativeSync ? 1 : 0);
        settings_.Set(Settings::FullHDMIRange, FullHdmiRange ? 1 : 0);
        settings_.Set(Settings::DefaultTreeAction, std::clamp(DefaultTreeAction, 0, PreferenceTexts::TreeActionCount - 1));
        settings_.Set(Settings::UseRemote, useRemote ? 1 : 0);
        settings_.Set(Settings::RemoteIP, storedAddress);

        if (modeChanged && hooks_.modeChanged) hooks_.modeChanged();
        if (remoteChanged && hooks_.remoteChanged) hooks_.remoteChanged();
        if (hooks_.settingsWritten) hooks_.settingsWritten();
    }
    if (hooks_.canvasChanged) hooks_.canvasChanged();
}
