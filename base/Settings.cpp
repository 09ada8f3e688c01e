#include "base/Settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

namespace Settings {
// section, editor section, key, string?, int default, string default, computed default
const SettingKey Mode{"Preferences", nullptr, "Mode", false, 0, nullptr, false};
const SettingKey Auto{"Preferences", nullptr, "Auto", false, 0, nullptr, false};
const SettingKey NoRestoreDisplays{"Preferences", nullptr, "NoRestoreDisplays", false, 0, nullptr, false};
const SettingKey RootFolder{"Preferences", nullptr, "RootFolder", true, 0, "", false};
const SettingKey DisplayAdapter{"Preferences", nullptr, "DisplayAdapter", true, 0, "", false};
const SettingKey AlternativeSync{"Preferences", nullptr, "AlternativeSync", false, 0, nullptr, false};
const SettingKey FullHDMIRange{"Preferences", nullptr, "FullHDMIRange", false, 1, nullptr, false};
const SettingKey DefaultTreeAction{"Preferences", nullptr, "DefaultTreeAction", false, 0, nullptr, false};
// The single-byte code page that stands for "ANSI" in text files and image lists.
const SettingKey CodePage{"Preferences", nullptr, "CodePage", false, 1252, nullptr, false};

const SettingKey UseRemote{"View", nullptr, "UseRemote", false, 0, nullptr, false};
const SettingKey RemoteIP{"View", nullptr, "RemoteIP", false, 0, nullptr, false};
const SettingKey Background{"View", nullptr, "Background", false, 0, nullptr, false};
const SettingKey BackgroundColor{"View", nullptr, "BackgroundColor", false, 0, nullptr, false};
const SettingKey MarginH{"View", nullptr, "MarginH", false, 0, nullptr, false};
const SettingKey MarginV{"View", nullptr, "MarginV", false, 0, nullptr, false};
const SettingKey FirstTimeSetup{"View", nullptr, "FirstTimeSetup", false, 1, nullptr, false};

// An editor instance keeps its own canvas settings and window layout.
const SettingKey SnapToGrid{"ViewEdit", "View", "SnapToGrid", false, 0, nullptr, false};
const SettingKey GridStep{"ViewEdit", "View", "GridStep", false, 8, nullptr, false};
const SettingKey ZoomFactor{"ViewEdit", "View", "ZoomFactor", false, 3, nullptr, false};

const SettingKey LayoutLeft{"Layout", "LayoutEdit", "Left", false, 0, nullptr, true};
const SettingKey LayoutTop{"Layout", "LayoutEdit", "Top", false, 0, nullptr, true};
const SettingKey LayoutWidth{"Layout", "LayoutEdit", "Width", false, 0, nullptr, true};
const SettingKey LayoutHeight{"Layout", "LayoutEdit", "Height", false, 0, nullptr, true};
const SettingKey Maximize{"Layout", "LayoutEdit", "Maximize", false, 1, nullptr, false};
const SettingKey PaneWidth{"Layout", "LayoutEdit", "PaneWidth", false, 200, nullptr, false};
const SettingKey PropsWidth{"Layout", "LayoutEdit", "PropsWidth", false, 300, nullptr, false};
const SettingKey ThumbHeight{"Layout", "LayoutEdit", "ThumbHeight", false, 150, nullptr, false};
const SettingKey PreviewHeight{"Layout", "LayoutEdit", "PreviewHeight", false, 200, nullptr, false};
const SettingKey LargeToolbar{"Layout", nullptr, "LargeToolbar", false, 0, nullptr, false};

const SettingKey LanguageId{"Language", nullptr, "ID", false, -1, nullptr, false};
const SettingKey PluginSupport{"Plugin", nullptr, "Support", false, 0, nullptr, false};
const SettingKey PluginLastFileName{"Plugin", nullptr, "LastFileName", true, 0, "", false};

const SettingKey ColWidth0{"ObjectsListView", nullptr, "ColWidth0", false, 40, nullptr, false};
const SettingKey ColWidth1{"ObjectsListView", nullptr, "ColWidth1", false, 96, nullptr, false};
const SettingKey ColWidth2{"ObjectsListView", nullptr, "ColWidth2", false, 128, nullptr, false};
const SettingKey ColWidth3{"ObjectsListView", nullptr, "ColWidth3", false, 32, nullptr, false};
const SettingKey ColWidth4{"ObjectsListView", nullptr, "ColWidth4", false, 32, nullptr, false};

const SettingKey ScriptActionTotal{"ScriptAction", nullptr, "Total", false, 0, nullptr, false};

const SettingKey DebugLog{"Debug", nullptr, "Log", false, 0, nullptr, false};
const SettingKey NoClearTypeDisable{"Debug", nullptr, "NoClearTypeDisable", false, 0, nullptr, false};
const SettingKey NoYCbCrA{"Debug", nullptr, "NoYCbCrA", false, 0, nullptr, false};
const SettingKey DebugBackColor{"Debug", nullptr, "BackColor", false, 0, nullptr, false};
const SettingKey SoftwareVertextProcessing{"Debug", nullptr, "SoftwareVertextProcessing", false, 0, nullptr, false};
const SettingKey DebugAdapter{"Debug", nullptr, "Adapter", false, -1, nullptr, false};
const SettingKey DebugScale{"Debug", nullptr, "Scale", false, 1, nullptr, false};
const SettingKey DebugWindow{"Debug", nullptr, "Window", false, 0, nullptr, false};
const SettingKey DebugWidth{"Debug", nullptr, "Width", false, 0, nullptr, true};
const SettingKey DebugHeight{"Debug", nullptr, "Height", false, 0, nullptr, true};

namespace {
const SettingKey* const Table[] = {
    &Mode, &Auto, &NoRestoreDisplays, &RootFolder, &DisplayAdapter, &AlternativeSync, &FullHDMIRange,
    &DefaultTreeAction, &CodePage, &UseRemote, &RemoteIP, &Background, &BackgroundColor, &MarginH, &MarginV,
    &FirstTimeSetup, &SnapToGrid, &GridStep, &ZoomFactor, &LayoutLeft, &LayoutTop, &LayoutWidth, &LayoutHeight,
    &Maximize, &PaneWidth, &PropsWidth, &ThumbHeight, &PreviewHeight, &LargeToolbar, &LanguageId, &PluginSupport,
    &PluginLastFileName, &ColWidth0, &ColWidth1, &ColWidth2, &ColWidth3, &ColWidth4, &ScriptActionTotal,
    &DebugLog, &NoClearTypeDisable, &NoYCbCrA, &DebugBackColor, &SoftwareVertextProcessing, &DebugAdapter,
    &DebugScale, &DebugWindow, &DebugWidth, &DebugHeight,
};
}  // namespace

std::span<const SettingKey* const> All() { return Table; }

const SettingKey* Find(const QString& section, const QString& key) {
    for (const SettingKey* k : Table) {
        if (key != QLatin1String(k->key)) continue;
        if (section == QLatin1String(k->section) || (k->editorSection && section == QLatin1String(k->editorSection)))
            return k;
    }
    return nullptr;
}
}  // namespace Settings

QString SettingKey::Section(InstanceKind kind) const {
    return QString::fromLatin1(kind == InstanceKind::Editor && editorSection ? editorSection : section);
}

namespace {
QString Qualified(const QString& section, const QString& key) { return section + u'/' + key; }
}  // namespace

CSettingsStore& CSettingsStore::Global() {
    static CSettingsStore store(DefaultPath());
    return store;
}

CSettingsStore::CSettingsStore(const QString& path) : path_(path) {}

QString CSettingsStore::DefaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Norvik/Corvane.ini");
}

int CSettingsStore::GetInt(const QString& section, const QString& key, int defaultValue) const {
    QSettings settings(path_, QSettings::IniFormat);
    const QVariant value = settings.value(Qualified(section, key));
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok ? number : defaultValue;
}

QString CSettingsStore::GetString(const QString& section, const QString& key, const QString& defaultValue) const {
    QSettings settings(path_, QSettings::IniFormat);
    const QVariant value = settings.value(Qualified(section, key));
    if (!value.isValid()) return defaultValue;
    // The INI reader splits an unquoted value at its commas ("/srv/pages, archive"
    // typed by hand); the setting is the whole text as it stands in the file.
    if (value.typeId() == QMetaType::QStringList) return RawValue(section, key);
    return value.toString();
}

QString CSettingsStore::RawValue(const QString& section, const QString& key) const {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return QString();
    bool inSection = false;
    QString found;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inSection = line == u'[' + section + u']';
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (inSection && equals > 0 && line.left(equals).trimmed() == key) found = line.mid(equals + 1).trimmed();
    }
    return found;
}

bool CSettingsStore::WriteInt(const QString& section, const QString& key, int value) {
    QSettings settings(path_, QSettings::IniFormat);
    settings.setValue(Qualified(section, key), value);
    settings.sync();
    // A format error comes from reading a malformed file; the write itself went through.
    return settings.status() != QSettings::AccessError;
}

bool CSettingsStore::WriteString(const QString& section, const QString& key, const QString& value) {
    QSettings settings(path_, QSettings::IniFormat);
    settings.setValue(Qualified(section, key), value);
    settings.sync();
    // A format error comes from reading a malformed file; the write itself went through.
    return settings.status() != QSettings::AccessError;
}

bool CSettingsStore::Contains(const QString& section, const QString& key) const {
    QSettings settings(path_, QSettings::IniFormat);
    return settings.contains(Qualified(section, key));
}

int CSettingsStore::Get(const SettingKey& key, InstanceKind kind) const {
    return GetInt(key.Section(kind), QString::fromLatin1(key.key), key.intDefault);
}

int CSettingsStore::Get(const SettingKey& key, InstanceKind kind, int computedDefault) const {
    return GetInt(key.Section(kind), QString::fromLatin1(key.key), computedDefault);
}

QString CSettingsStore::GetText(const SettingKey& key, InstanceKind kind) const {
    return GetString(key.Section(kind), QString::fromLatin1(key.key), QString::fromUtf8(key.stringDefault));
}

bool CSettingsStore::Set(const SettingKey& key, int value, InstanceKind kind) {
    return WriteInt(key.Section(kind), QString::fromLatin1(key.key), value);
}

bool CSettingsStore::SetText(const SettingKey& key, const QString& value, InstanceKind kind) {
    return WriteString(key.Section(kind), QString::fromLatin1(key.key), value);
}

QStringList CSettingsStore::Sections() const {
    QSettings settings(path_, QSettings::IniFormat);
    return settings.childGroups();
}

QStringList CSettingsStore::Keys(const QString& section) const {
    QSettings settings(path_, QSettings::IniFormat);
    settings.beginGroup(section);
    return settings.childKeys();
}

QString DocumentsFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir(documents).exists()) return documents;
    return QDir::homePath();
}

QString PagesFolder(CSettingsStore& store) {
    QString folder = store.GetText(Settings::RootFolder);
    if (folder.isEmpty()) {
        folder = DocumentsFolder() + QStringLiteral("/Corvane");
        QDir().mkpath(folder);
        store.SetText(Settings::RootFolder, folder);
    }
    return folder;
}
