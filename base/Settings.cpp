#include "base/Settings.h"

#include "base/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cctype>
#include <mutex>
#include <vector>

namespace Settings {
// section, editor section, key, string?, int default, string default, computed default
// The range of "Mode" is the video modes' table (a test holds the two together).
const SettingKey Mode{"Preferences", nullptr, "Mode", false, 0, nullptr, false, 0, 12};
const SettingKey Auto{"Preferences", nullptr, "Auto", false, 0, nullptr, false, 0, 1};
const SettingKey NoRestoreDisplays{"Preferences", nullptr, "NoRestoreDisplays", false, 0, nullptr, false, 0, 1};
const SettingKey RootFolder{"Preferences", nullptr, "RootFolder", true, 0, "", false};
const SettingKey DisplayAdapter{"Preferences", nullptr, "DisplayAdapter", true, 0, "", false};
const SettingKey AlternativeSync{"Preferences", nullptr, "AlternativeSync", false, 0, nullptr, false, 0, 1};
const SettingKey FullHDMIRange{"Preferences", nullptr, "FullHDMIRange", false, 1, nullptr, false, 0, 1};
const SettingKey DefaultTreeAction{"Preferences", nullptr, "DefaultTreeAction", false, 0, nullptr, false, 0, 4};
// The single-byte code page that stands for "ANSI" in text files and image lists.
const SettingKey CodePage{"Preferences", nullptr, "CodePage", false, 1252, nullptr, false};

const SettingKey UseRemote{"View", nullptr, "UseRemote", false, 0, nullptr, false, 0, 1};
const SettingKey RemoteIP{"View", nullptr, "RemoteIP", false, 0, nullptr, false};
const SettingKey Background{"View", nullptr, "Background", false, 0, nullptr, false, 0, 1};
const SettingKey BackgroundColor{"View", nullptr, "BackgroundColor", false, 0, nullptr, false};
const SettingKey MarginH{"View", nullptr, "MarginH", false, 0, nullptr, false, 0, 40};
const SettingKey MarginV{"View", nullptr, "MarginV", false, 0, nullptr, false, 0, 40};
const SettingKey FirstTimeSetup{"View", nullptr, "FirstTimeSetup", false, 1, nullptr, false, 0, 1};

// An editor instance keeps its own canvas settings and window layout.
const SettingKey SnapToGrid{"ViewEdit", "View", "SnapToGrid", false, 0, nullptr, false, 0, 1};
const SettingKey GridStep{"ViewEdit", "View", "GridStep", false, 8, nullptr, false, 2, 50};
const SettingKey ZoomFactor{"ViewEdit", "View", "ZoomFactor", false, 3, nullptr, false, 0, 5, true};

const SettingKey LayoutLeft{"Layout", "LayoutEdit", "Left", false, 0, nullptr, true};
const SettingKey LayoutTop{"Layout", "LayoutEdit", "Top", false, 0, nullptr, true};
const SettingKey LayoutWidth{"Layout", "LayoutEdit", "Width", false, 0, nullptr, true};
const SettingKey LayoutHeight{"Layout", "LayoutEdit", "Height", false, 0, nullptr, true};
const SettingKey Maximize{"Layout", "LayoutEdit", "Maximize", false, 1, nullptr, false, 0, 1};
const SettingKey PaneWidth{"Layout", "LayoutEdit", "PaneWidth", false, 200, nullptr, false, 0, 100000};
const SettingKey PropsWidth{"Layout", "LayoutEdit", "PropsWidth", false, 300, nullptr, false, 0, 100000};
const SettingKey ThumbHeight{"Layout", "LayoutEdit", "ThumbHeight", false, 150, nullptr, false, 0, 100000};
const SettingKey PreviewHeight{"Layout", "LayoutEdit", "PreviewHeight", false, 200, nullptr, false, 0, 100000};
const SettingKey LargeToolbar{"Layout", nullptr, "LargeToolbar", false, 0, nullptr, false, 0, 1};

const SettingKey LanguageId{"Language", nullptr, "ID", false, -1, nullptr, false, -1, 9};
const SettingKey PluginSupport{"Plugin", nullptr, "Support", false, 0, nullptr, false, 0, 1};
const SettingKey PluginLastFileName{"Plugin", nullptr, "LastFileName", true, 0, "", false};
// Network control of the main instance: off unless asked for, on the loopback
// address unless "Bind" names another; OSC only with a port.
const SettingKey ControlEnable{"Control", nullptr, "Enable", false, 0, nullptr, false, 0, 1};
const SettingKey ControlPort{"Control", nullptr, "Port", false, 9030, nullptr, false, 1, 65535};
const SettingKey ControlBind{"Control", nullptr, "Bind", true, 0, "127.0.0.1", false};
const SettingKey ControlToken{"Control", nullptr, "Token", true, 0, "", false};
const SettingKey ControlOscPort{"Control", nullptr, "OscPort", false, 0, nullptr, false, 0, 65535};

const SettingKey ColWidth0{"ObjectsListView", nullptr, "ColWidth0", false, 40, nullptr, false, 0, 100000};
const SettingKey ColWidth1{"ObjectsListView", nullptr, "ColWidth1", false, 96, nullptr, false, 0, 100000};
const SettingKey ColWidth2{"ObjectsListView", nullptr, "ColWidth2", false, 128, nullptr, false, 0, 100000};
const SettingKey ColWidth3{"ObjectsListView", nullptr, "ColWidth3", false, 32, nullptr, false, 0, 100000};
const SettingKey ColWidth4{"ObjectsListView", nullptr, "ColWidth4", false, 32, nullptr, false, 0, 100000};

const SettingKey ScriptActionTotal{"ScriptAction", nullptr, "Total", false, 0, nullptr, false, 0, 100000};

const SettingKey DebugLog{"Debug", nullptr, "Log", false, 0, nullptr, false, 0, 0x7fffffff};
const SettingKey NoClearTypeDisable{"Debug", nullptr, "NoClearTypeDisable", false, 0, nullptr, false, 0, 1};
const SettingKey NoYCbCrA{"Debug", nullptr, "NoYCbCrA", false, 0, nullptr, false, 0, 1};
const SettingKey DebugBackColor{"Debug", nullptr, "BackColor", false, 0, nullptr, false};
const SettingKey SoftwareVertextProcessing{"Debug", nullptr, "SoftwareVertextProcessing", false, 0, nullptr, false, 0, 1};
const SettingKey DebugAdapter{"Debug", nullptr, "Adapter", false, -1, nullptr, false};
const SettingKey DebugScale{"Debug", nullptr, "Scale", false, 1, nullptr, false, 1, 64};
const SettingKey DebugWindow{"Debug", nullptr, "Window", false, 0, nullptr, false, 0, 1};
const SettingKey DebugWidth{"Debug", nullptr, "Width", false, 0, nullptr, true, 0, 100000};
const SettingKey DebugHeight{"Debug", nullptr, "Height", false, 0, nullptr, true, 0, 100000};

namespace {
const SettingKey* const Table[] = {
    &Mode, &Auto, &NoRestoreDisplays, &RootFolder, &DisplayAdapter, &AlternativeSync, &FullHDMIRange,
    &DefaultTreeAction, &CodePage, &UseRemote, &RemoteIP, &Background, &BackgroundColor, &MarginH, &MarginV,
    &FirstTimeSetup, &SnapToGrid, &GridStep, &ZoomFactor, &LayoutLeft, &LayoutTop, &LayoutWidth, &LayoutHeight,
    &Maximize, &PaneWidth, &PropsWidth, &ThumbHeight, &PreviewHeight, &LargeToolbar, &LanguageId, &PluginSupport,
    &PluginLastFileName, &ColWidth0, &ColWidth1, &ColWidth2, &ColWidth3, &ColWidth4, &ScriptActionTotal,
    &DebugLog, &NoClearTypeDisable, &NoYCbCrA, &DebugBackColor, &SoftwareVertextProcessing, &DebugAdapter,
    &DebugScale, &DebugWindow, &DebugWidth, &DebugHeight, &ControlEnable, &ControlPort, &ControlBind,
    &ControlToken, &ControlOscPort,
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

// One read of the stored file: its lines as written and what the store takes from
// them. Later lines of the same key win, as they always have.
struct IniView {
    QByteArray bytes;         // the file as stored
    QList<QByteArray> lines;  // without their line ends
    struct Entry {
        QString section, key, value;
        qsizetype line;
    };
    std::vector<Entry> entries;
    QStringList problems;
    bool readable = true;  // false: the file exists but cannot be read at all

    const Entry* Find(const QString& section, const QString& key) const {
        for (auto it = entries.rbegin(); it != entries.rend(); ++it)
            if (it->section == section && it->key == key) return &*it;
        return nullptr;
    }
};

// A value as written: surrounding spaces dropped, quotes group, a backslash escapes
// the next character. An unbalanced quote is reported and the text is taken as it
// stands, so it never swallows the lines after it.
QString Unescape(const QByteArray& raw, bool& balanced) {
    const QString text = QString::fromUtf8(raw).trimmed();
    QString out;
    out.reserve(text.size());
    bool quoted = false;
    for (qsizetype k = 0; k < text.size(); ++k) {
        const QChar c = text[k];
        if (c == u'"') {
            quoted = !quoted;
        } else if (c == u'\\' && k + 1 < text.size()) {
            const QChar e = text[++k];
            switch (e.unicode()) {
            case 'n': out += u'\n'; break;
            case 'r': out += u'\r'; break;
            case 't': out += u'\t'; break;
            case '0': out += QChar(0); break;
            case 'x': {
                int value = 0, digits = 0;
                while (digits < 4 && k + 1 < text.size() && isxdigit(text[k + 1].toLatin1())) {
                    value = value * 16 + QString(text[++k]).toInt(nullptr, 16);
                    ++digits;
                }
                out += QChar(char16_t(value));
                break;
            }
            default: out += e;
            }
        } else {
            out += c;
        }
    }
    balanced = !quoted;
    return balanced ? out : text;
}

QByteArray Escape(const QString& value) {
    bool quote = value.startsWith(u' ') || value.endsWith(u' ') || value.startsWith(u'@');
    QString body;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\': body += QStringLiteral("\\\\"); break;
        case '"': body += QStringLiteral("\\\""); break;
        case '\n': body += QStringLiteral("\\n"); break;
        case '\r': body += QStringLiteral("\\r"); break;
        case '\t': body += QStringLiteral("\\t"); break;
        case ';': case ',': case '=': case '#':
            quote = true;
            body += c;
            break;
        default:
            if (c.unicode() < 0x20) body += QStringLiteral("\\x%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
            else body += c;
        }
    }
    return (quote ? u'"' + body + u'"' : body).toUtf8();
}

IniView ReadView(const QString& path) {
    IniView view;
    QByteArray bytes;
    const FileRefusal refusal = SafeFile::ReadAll(path, CSettingsStore::MaxFileBytes, bytes);
    if (refusal == FileRefusal::OpenFailed && !QFileInfo::exists(path)) return view;  // nothing stored yet
    if (refusal != FileRefusal::None) {
        view.readable = false;
        view.problems << QStringLiteral("%1: %2").arg(path, QString::fromUtf8(FileRefusalText(refusal)));
        return view;
    }
    view.bytes = bytes;
    view.lines = bytes.split('\n');
    if (!view.lines.isEmpty() && view.lines.last().isEmpty()) view.lines.removeLast();
    QString section = QStringLiteral("General");
    for (qsizetype n = 0; n < view.lines.size(); ++n) {
        QByteArray& line = view.lines[n];
        if (line.endsWith('\r')) line.chop(1);
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(';') || trimmed.startsWith('#')) continue;
        if (trimmed.startsWith('[')) {
            if (!trimmed.endsWith(']')) {
                view.problems << QStringLiteral("line %1: a section name without its closing bracket").arg(n + 1);
                continue;
            }
            section = QString::fromUtf8(trimmed.mid(1, trimmed.size() - 2)).trimmed();
            continue;
        }
        const qsizetype equals = trimmed.indexOf('=');
        if (equals <= 0) {
            view.problems << QStringLiteral("line %1: neither a section, a key nor a comment").arg(n + 1);
            continue;
        }
        bool balanced = true;
        IniView::Entry entry{section, QString::fromUtf8(trimmed.left(equals)).trimmed(),
                             Unescape(trimmed.mid(equals + 1), balanced), n};
        if (!balanced)
            view.problems << QStringLiteral("line %1: the value of %2/%3 has an unbalanced quote")
                                 .arg(n + 1)
                                 .arg(entry.section, entry.key);
        view.entries.push_back(std::move(entry));
    }
    return view;
}

// Serialises writers of this process: a read-modify-write must not lose another's.
std::mutex& WriteLock() {
    static std::mutex lock;
    return lock;
}

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
    const IniView view = ReadView(path_);
    const IniView::Entry* entry = view.Find(section, key);
    bool ok = false;
    const int number = entry ? entry->value.trimmed().toInt(&ok) : 0;
    if (!ok) return defaultValue;
    if (const SettingKey* known = Settings::Find(section, key); known && !known->InRange(number))
        return known->outsideReadsAsMaximum ? known->maximum : defaultValue;
    return number;
}

QString CSettingsStore::GetString(const QString& section, const QString& key, const QString& defaultValue) const {
    const IniView view = ReadView(path_);
    const IniView::Entry* entry = view.Find(section, key);
    return entry ? entry->value : defaultValue;
}

bool CSettingsStore::Write(const QString& section, const QString& key, const QString& text) {
    std::lock_guard guard(WriteLock());
    IniView view = ReadView(path_);
    if (!view.readable) return false;
    if (!view.problems.isEmpty()) {
        // Kept before the first change, so nothing the store could not read is lost.
        const QString copy = path_ + QStringLiteral(".damaged");
        if (!QFileInfo::exists(copy) && SafeFile::WriteAll(copy, view.bytes) != FileRefusal::None) return false;
    }
    const QByteArray line = key.toUtf8() + '=' + Escape(text);
    QList<QByteArray>& lines = view.lines;
    if (const IniView::Entry* entry = view.Find(section, key)) {
        lines[entry->line] = line;
    } else {
        // After the section's last key, or a new section at the end.
        qsizetype at = -1;
        for (const IniView::Entry& e : view.entries)
            if (e.section == section) at = std::max(at, e.line);
        if (at < 0) {
            for (qsizetype n = 0; n < lines.size(); ++n)
                if (lines[n].trimmed() == '[' + section.toUtf8() + ']') at = n;
        }
        if (at >= 0) {
            lines.insert(at + 1, line);
        } else {
            if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) lines.append(QByteArray());
            lines.append('[' + section.toUtf8() + ']');
            lines.append(line);
        }
    }
    QDir().mkpath(QFileInfo(path_).absolutePath());
    return SafeFile::WriteAll(path_, lines.join('\n') + '\n') == FileRefusal::None;
}

bool CSettingsStore::WriteInt(const QString& section, const QString& key, int value) {
    if (const SettingKey* known = Settings::Find(section, key); known && (known->isString || !known->InRange(value)))
        return false;
    return Write(section, key, QString::number(value));
}

bool CSettingsStore::WriteString(const QString& section, const QString& key, const QString& value) {
    if (const SettingKey* known = Settings::Find(section, key); known && !known->isString) {
        bool ok = false;
        const int number = value.trimmed().toInt(&ok);
        if (!ok || !known->InRange(number)) return false;
    }
    return Write(section, key, value);
}

bool CSettingsStore::Contains(const QString& section, const QString& key) const {
    return ReadView(path_).Find(section, key) != nullptr;
}

QStringList CSettingsStore::Problems() const { return ReadView(path_).problems; }

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
    QStringList sections;
    for (const auto& entry : ReadView(path_).entries)
        if (entry.section != QLatin1String("General") && !sections.contains(entry.section)) sections << entry.section;
    return sections;
}

QStringList CSettingsStore::Keys(const QString& section) const {
    QStringList keys;
    for (const auto& entry : ReadView(path_).entries)
        if (entry.section == section && !keys.contains(entry.key)) keys << entry.key;
    return keys;
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
