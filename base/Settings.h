// The per-user settings store: sections of named 32-bit integers and strings in an
// INI file ($XDG_CONFIG_HOME/Norvik/Corvane.ini). Every read supplies a default;
// writes happen on demand. Booleans are 0 and 1. A known key's stored value outside
// its range reads as its default, and a write outside it is refused.
//
// A write changes only the line of its key (or adds one) and replaces the file
// whole, so a full disk leaves the old file; lines the store cannot read are kept
// as they stand, are reported by Problems(), and the file as it was is copied to
// "<file>.damaged" before the first write changes it.
//
// Threads: any thread may read or write; each call works on its own view of the
// file, and writes within the process are serialised, so none is lost.
#pragma once

#include <QString>
#include <QStringList>
#include <limits>
#include <span>

enum class InstanceKind { Main, Editor };

// One key of the store. Keys whose section depends on the instance kind name both
// sections. A key whose default depends on the machine (desktop size, output size)
// has computedDefault set, and its reader supplies the default.
struct SettingKey {
    const char* section;        // in the main instance
    const char* editorSection;  // in an editor instance; null when the same
    const char* key;
    bool isString;
    int intDefault;
    const char* stringDefault;
    bool computedDefault;
    int minimum = std::numeric_limits<int>::min();
    int maximum = std::numeric_limits<int>::max();
    // Where a stored value outside the range reads as the maximum, not the default.
    bool outsideReadsAsMaximum = false;

    QString Section(InstanceKind kind) const;
    bool InRange(int value) const { return value >= minimum && value <= maximum; }
};

// The complete table of keys and defaults. The automation entries ("Item_%d"
// sections) belong to the schedule and are not listed here.
namespace Settings {
extern const SettingKey Mode, Auto, NoRestoreDisplays, RootFolder, DisplayAdapter, AlternativeSync, FullHDMIRange,
    DefaultTreeAction, CodePage;
extern const SettingKey UseRemote, RemoteIP, Background, BackgroundColor, MarginH, MarginV, FirstTimeSetup;
extern const SettingKey SnapToGrid, GridStep, ZoomFactor;
extern const SettingKey LayoutLeft, LayoutTop, LayoutWidth, LayoutHeight, Maximize, PaneWidth, PropsWidth,
    ThumbHeight, PreviewHeight, LargeToolbar;
extern const SettingKey LanguageId, PluginSupport, PluginLastFileName;
extern const SettingKey ControlEnable, ControlPort, ControlBind, ControlToken, ControlOscPort;
extern const SettingKey ColWidth0, ColWidth1, ColWidth2, ColWidth3, ColWidth4;
extern const SettingKey ScriptActionTotal;
extern const SettingKey DebugLog, NoClearTypeDisable, NoYCbCrA, DebugBackColor, SoftwareVertextProcessing,
    DebugAdapter, DebugScale, DebugWindow, DebugWidth, DebugHeight;

// Every key above, in table order.
std::span<const SettingKey* const> All();
// The key with this section (either of its sections) and name, or null.
const SettingKey* Find(const QString& section, const QString& key);
}  // namespace Settings

class CSettingsStore {
public:
    // The store of this user; tests and tools may point it at another file.
    static CSettingsStore& Global();
    explicit CSettingsStore(const QString& path);

    const QString& Path() const { return path_; }
    // The user's store file: $XDG_CONFIG_HOME/Norvik/Corvane.ini.
    static QString DefaultPath();

    int GetInt(const QString& section, const QString& key, int defaultValue) const;
    QString GetString(const QString& section, const QString& key, const QString& defaultValue) const;
    bool WriteInt(const QString& section, const QString& key, int value);
    bool WriteString(const QString& section, const QString& key, const QString& value);
    bool Contains(const QString& section, const QString& key) const;

    // Reads and writes by table entry, in the section of the instance kind, with the
    // table's default (or the caller's for computed defaults).
    int Get(const SettingKey& key, InstanceKind kind = InstanceKind::Main) const;
    int Get(const SettingKey& key, InstanceKind kind, int computedDefault) const;
    QString GetText(const SettingKey& key, InstanceKind kind = InstanceKind::Main) const;
    bool Set(const SettingKey& key, int value, InstanceKind kind = InstanceKind::Main);
    bool SetText(const SettingKey& key, const QString& value, InstanceKind kind = InstanceKind::Main);

    QStringList Sections() const;
    QStringList Keys(const QString& section) const;

    // What is wrong with the file as stored ("line 4: ..."); empty when nothing is.
    QStringList Problems() const;

    // A stored file is never read beyond this.
    static constexpr qint64 MaxFileBytes = 4ll * 1024 * 1024;

private:
    bool Write(const QString& section, const QString& key, const QString& text);

    QString path_;
};

// The user's documents folder, or the home folder when there is none.
QString DocumentsFolder();

// The pages folder: "RootFolder", or, when that is empty, the documents folder +
// "/Corvane", created and written back.
QString PagesFolder(CSettingsStore& store);
