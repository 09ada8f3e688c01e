// The settings store: the complete table of keys with their sections, types and
// defaults; the sections that depend on the instance kind; reads with the caller's
// default; writes read back; booleans as 0 and 1 in the file; malformed files read
// as far as they go; the documents folder and the pages folder default.
#include "tests/FileSizeLimit.h"
#include "tests/TemporaryUserFolders.h"
#include "base/Settings.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------
// Helpers

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// The lines of an INI file's section as written ("Key=Value"), without line ends.
QStringList SectionLines(const QByteArray& text, const QString& section) {
    QStringList out;
    bool inside = false;
    for (const QString& raw : QString::fromUtf8(text).split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[')) {
            inside = line == u'[' + section + u']';
            continue;
        }
        if (inside && !line.isEmpty()) out << line;
    }
    return out;
}

// A store in a fresh temporary folder.
class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString FilePath(const char* name = "Corvane.ini") const { return dir_.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir_;
};

// ---------------------------------------------------------------------------------
// The table of keys

enum class Type { Int, Bool, String };

struct ExpectedKey {
    const char* section;        // main instance
    const char* editorSection;  // editor instance
    const char* key;
    Type type;
    int intDefault;             // for Int and Bool
    const char* textDefault;    // for String
    bool machineDefault;        // the reader supplies the default (desktop or output size)
};

// Written from the document's table of sections, keys, types and defaults. The
// "ANSI" code page of text files is Windows-1252 unless "CodePage" names another.
const ExpectedKey kExpectedKeys[] = {
    {"Preferences", "Preferences", "Mode", Type::Int, 0, nullptr, false},
    {"Preferences", "Preferences", "Auto", Type::Bool, 0, nullptr, false},
    {"Preferences", "Preferences", "NoRestoreDisplays", Type::Bool, 0, nullptr, false},
    {"Preferences", "Preferences", "RootFolder", Type::String, 0, "", false},
    {"Preferences", "Preferences", "DisplayAdapter", Type::String, 0, "", false},
    {"Preferences", "Preferences", "AlternativeSync", Type::Bool, 0, nullptr, false},
    {"Preferences", "Preferences", "FullHDMIRange", Type::Bool, 1, nullptr, false},
    {"Preferences", "Preferences", "DefaultTreeAction", Type::Int, 0, nullptr, false},
    {"Preferences", "Preferences", "CodePage", Type::Int, 1252, nullptr, false},
    {"View", "View", "UseRemote", Type::Bool, 0, nullptr, false},
    {"View", "View", "RemoteIP", Type::Int, 0, nullptr, false},
    {"View", "View", "Background", Type::Int, 0, nullptr, false},
    {"View", "View", "BackgroundColor", Type::Int, 0, nullptr, false},
    {"View", "View", "MarginH", Type::Int, 0, nullptr, false},
    {"View", "View", "MarginV", Type::Int, 0, nullptr, false},
    {"View", "View", "FirstTimeSetup", Type::Bool, 1, nullptr, false},
    {"ViewEdit", "View", "SnapToGrid", Type::Bool, 0, nullptr, false},
    {"ViewEdit", "View", "GridStep", Type::Int, 8, nullptr, false},
    {"ViewEdit", "View", "ZoomFactor", Type::Int, 3, nullptr, false},
    {"Layout", "LayoutEdit", "Left", Type::Int, 0, nullptr, true},
    {"Layout", "LayoutEdit", "Top", Type::Int, 0, nullptr, true},
    {"Layout", "LayoutEdit", "Width", Type::Int, 0, nullptr, true},
    {"Layout", "LayoutEdit", "Height", Type::Int, 0, nullptr, true},
    {"Layout", "LayoutEdit", "Maximize", Type::Bool, 1, nullptr, false},
    {"Layout", "LayoutEdit", "PaneWidth", Type::Int, 200, nullptr, false},
    {"Layout", "LayoutEdit", "PropsWidth", Type::Int, 300, nullptr, false},
    {"Layout", "LayoutEdit", "ThumbHeight", Type::Int, 150, nullptr, false},
    {"Layout", "LayoutEdit", "PreviewHeight", Type::Int, 200, nullptr, false},
    {"Layout", "Layout", "LargeToolbar", Type::Bool, 0, nullptr, false},
    {"Language", "Language", "ID", Type::Int, -1, nullptr, false},
    {"Plugin", "Plugin", "Support", Type::Bool, 0, nullptr, false},
    {"Plugin", "Plugin", "LastFileName", Type::String, 0, "", false},
    {"ObjectsListView", "ObjectsListView", "ColWidth0", Type::Int, 40, nullptr, false},
    {"ObjectsListView", "ObjectsListView", "ColWidth1", Type::Int, 96, nullptr, false},
    {"ObjectsListView", "ObjectsListView", "ColWidth2", Type::Int, 128, nullptr, false},
    {"ObjectsListView", "ObjectsListView", "ColWidth3", Type::Int, 32, nullptr, false},
    {"ObjectsListView", "ObjectsListView", "ColWidth4", Type::Int, 32, nullptr, false},
    {"ScriptAction", "ScriptAction", "Total", Type::Int, 0, nullptr, false},
    {"Debug", "Debug", "Log", Type::Int, 0, nullptr, false},
    {"Debug", "Debug", "NoClearTypeDisable", Type::Bool, 0, nullptr, false},
    {"Debug", "Debug", "NoYCbCrA", Type::Int, 0, nullptr, false},
    {"Debug", "Debug", "BackColor", Type::Int, 0, nullptr, false},
    {"Debug", "Debug", "SoftwareVertextProcessing", Type::Int, 0, nullptr, false},
    {"Debug", "Debug", "Adapter", Type::Int, -1, nullptr, false},
    {"Debug", "Debug", "Scale", Type::Int, 1, nullptr, false},
    {"Debug", "Debug", "Window", Type::Int, 0, nullptr, false},
    {"Debug", "Debug", "Width", Type::Int, 0, nullptr, true},
    {"Debug", "Debug", "Height", Type::Int, 0, nullptr, true},
    {"Control", "Control", "Enable", Type::Bool, 0, nullptr, false},
    {"Control", "Control", "Port", Type::Int, 9030, nullptr, false},
    {"Control", "Control", "Bind", Type::String, 0, "127.0.0.1", false},
    {"Control", "Control", "Token", Type::String, 0, "", false},
    {"Control", "Control", "OscPort", Type::Int, 0, nullptr, false},
};

std::string Name(const ExpectedKey& e) { return std::string(e.section) + "/" + e.key; }

const SettingKey* InCode(const ExpectedKey& e) {
    for (const SettingKey* k : Settings::All())
        if (QLatin1String(k->section) == QLatin1String(e.section) && QLatin1String(k->key) == QLatin1String(e.key))
            return k;
    return nullptr;
}

TEST(SettingsTable, EveryDocumentedKeyIsInTheTableWithItsSectionsTypeAndDefault) {
    for (const ExpectedKey& e : kExpectedKeys) {
        SCOPED_TRACE(Name(e));
        const SettingKey* k = InCode(e);
        ASSERT_NE(k, nullptr) << "missing from Settings::All()";
        EXPECT_EQ(k->Section(InstanceKind::Main), QString::fromLatin1(e.section));
        EXPECT_EQ(k->Section(InstanceKind::Editor), QString::fromLatin1(e.editorSection));
        EXPECT_EQ(k->isString, e.type == Type::String);
        EXPECT_EQ(k->computedDefault, e.machineDefault);
        if (e.type == Type::String) {
            ASSERT_NE(k->stringDefault, nullptr);
            EXPECT_STREQ(k->stringDefault, e.textDefault);
        } else if (!e.machineDefault) {
            EXPECT_EQ(k->intDefault, e.intDefault);
        }
    }
}

TEST(SettingsTable, HoldsNoKeyBeyondTheDocumentedOnes) {
    EXPECT_EQ(Settings::All().size(), std::size(kExpectedKeys));
    for (const SettingKey* k : Settings::All()) {
        bool documented = false;
        for (const ExpectedKey& e : kExpectedKeys)
            documented |= QLatin1String(k->section) == QLatin1String(e.section) &&
                          QLatin1String(k->key) == QLatin1String(e.key);
        EXPECT_TRUE(documented) << k->section << "/" << k->key;
    }
}

TEST(SettingsTable, NoKeyIsListedTwice) {
    const auto all = Settings::All();
    for (size_t a = 0; a < all.size(); ++a)
        for (size_t b = a + 1; b < all.size(); ++b)
            EXPECT_FALSE(QLatin1String(all[a]->section) == QLatin1String(all[b]->section) &&
                         QLatin1String(all[a]->key) == QLatin1String(all[b]->key))
                << all[a]->section << "/" << all[a]->key;
}

TEST(SettingsTable, FindLocatesEachKeyUnderEitherOfItsSections) {
    for (const ExpectedKey& e : kExpectedKeys) {
        SCOPED_TRACE(Name(e));
        const SettingKey* k = InCode(e);
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(Settings::Find(QString::fromLatin1(e.section), QString::fromLatin1(e.key)), k);
        EXPECT_EQ(Settings::Find(QString::fromLatin1(e.editorSection), QString::fromLatin1(e.key)), k);
    }
}

TEST(SettingsTable, FindAnswersNullForAnUnknownKeyOrAKeyInAnotherSection) {
    EXPECT_EQ(Settings::Find(QStringLiteral("Preferences"), QStringLiteral("NoSuchKey")), nullptr);
    EXPECT_EQ(Settings::Find(QStringLiteral("Debug"), QStringLiteral("Mode")), nullptr);
    EXPECT_EQ(Settings::Find(QStringLiteral("LayoutEdit"), QStringLiteral("LargeToolbar")), nullptr);
    EXPECT_EQ(Settings::Find(QStringLiteral("preferences"), QStringLiteral("mode")), nullptr);
}

TEST_F(SettingsStoreTest, AnEmptyStoreReadsEveryKeyAsItsDefaultInBothInstanceKinds) {
    CSettingsStore store(FilePath());
    for (const ExpectedKey& e : kExpectedKeys) {
        SCOPED_TRACE(Name(e));
        const SettingKey* k = InCode(e);
        ASSERT_NE(k, nullptr);
        for (InstanceKind kind : {InstanceKind::Main, InstanceKind::Editor}) {
            if (e.type == Type::String) {
                EXPECT_EQ(store.GetText(*k, kind), QString::fromUtf8(e.textDefault));
            } else if (e.machineDefault) {
                EXPECT_EQ(store.Get(*k, kind, 1234), 1234);
                EXPECT_EQ(store.Get(*k, kind, -77), -77);
            } else {
                EXPECT_EQ(store.Get(*k, kind), e.intDefault);
            }
        }
    }
    EXPECT_FALSE(QFile::exists(FilePath())) << "reading must not create the file";
}

// ---------------------------------------------------------------------------------
// Sections by instance kind

struct InstanceCase {
    const SettingKey* key;
    const char* mainSection;
    const char* editorSection;
};

const InstanceCase kInstanceCases[] = {
    {&Settings::SnapToGrid, "ViewEdit", "View"},     {&Settings::GridStep, "ViewEdit", "View"},
    {&Settings::ZoomFactor, "ViewEdit", "View"},     {&Settings::LayoutLeft, "Layout", "LayoutEdit"},
    {&Settings::LayoutTop, "Layout", "LayoutEdit"},  {&Settings::LayoutWidth, "Layout", "LayoutEdit"},
    {&Settings::LayoutHeight, "Layout", "LayoutEdit"}, {&Settings::Maximize, "Layout", "LayoutEdit"},
    {&Settings::PaneWidth, "Layout", "LayoutEdit"},  {&Settings::PropsWidth, "Layout", "LayoutEdit"},
    {&Settings::ThumbHeight, "Layout", "LayoutEdit"}, {&Settings::PreviewHeight, "Layout", "LayoutEdit"},
    {&Settings::LargeToolbar, "Layout", "Layout"},
};

TEST_F(SettingsStoreTest, InstanceKeysAreWrittenToTheSectionOfTheInstanceKind) {
    for (const InstanceCase& c : kInstanceCases) {
        SCOPED_TRACE(std::string(c.mainSection) + "/" + c.key->key);
        const QString key = QString::fromLatin1(c.key->key);
        const QString mainSection = QString::fromLatin1(c.mainSection);
        const QString editorSection = QString::fromLatin1(c.editorSection);
        QFile::remove(FilePath());
        CSettingsStore store(FilePath());

        // Two different values within the key's range.
        const int first = std::clamp(41, c.key->minimum, c.key->maximum);
        const int second = first > c.key->minimum ? first - 1 : first + 1;
        ASSERT_TRUE(store.Set(*c.key, first, InstanceKind::Main));
        EXPECT_EQ(store.GetInt(mainSection, key, -1), first);
        ASSERT_TRUE(store.Set(*c.key, second, InstanceKind::Editor));
        EXPECT_EQ(store.GetInt(editorSection, key, -1), second);

        if (mainSection != editorSection) {
            // Each instance kind keeps its own value.
            EXPECT_EQ(store.Get(*c.key, InstanceKind::Main, -1), first);
            EXPECT_EQ(store.Get(*c.key, InstanceKind::Editor, -1), second);
            EXPECT_EQ(store.GetInt(mainSection, key, -1), first);
        } else {
            // One value shared by both kinds.
            EXPECT_EQ(store.Get(*c.key, InstanceKind::Main, -1), second);
            EXPECT_EQ(store.Get(*c.key, InstanceKind::Editor, -1), second);
        }
    }
}

TEST_F(SettingsStoreTest, AnEditorInstanceReadsItsCanvasSettingsFromViewAndItsLayoutFromLayoutEdit) {
    WriteBytes(FilePath(),
               "[View]\nSnapToGrid=1\nGridStep=16\nZoomFactor=1\n"
               "[ViewEdit]\nSnapToGrid=0\nGridStep=24\nZoomFactor=4\n"
               "[Layout]\nLeft=10\nPaneWidth=210\nLargeToolbar=1\n"
               "[LayoutEdit]\nLeft=-1920\nPaneWidth=250\nLargeToolbar=0\n");
    CSettingsStore store(FilePath());
    EXPECT_EQ(store.Get(Settings::SnapToGrid, InstanceKind::Editor), 1);
    EXPECT_EQ(store.Get(Settings::GridStep, InstanceKind::Editor), 16);
    EXPECT_EQ(store.Get(Settings::ZoomFactor, InstanceKind::Editor), 1);
    EXPECT_EQ(store.Get(Settings::SnapToGrid, InstanceKind::Main), 0);
    EXPECT_EQ(store.Get(Settings::GridStep, InstanceKind::Main), 24);
    EXPECT_EQ(store.Get(Settings::ZoomFactor, InstanceKind::Main), 4);
    EXPECT_EQ(store.Get(Settings::LayoutLeft, InstanceKind::Editor, 0), -1920);
    EXPECT_EQ(store.Get(Settings::LayoutLeft, InstanceKind::Main, 0), 10);
    EXPECT_EQ(store.Get(Settings::PaneWidth, InstanceKind::Editor), 250);
    EXPECT_EQ(store.Get(Settings::PaneWidth, InstanceKind::Main), 210);
    // LargeToolbar lives in "Layout" for both kinds.
    EXPECT_EQ(store.Get(Settings::LargeToolbar, InstanceKind::Editor), 1);
    EXPECT_EQ(store.Get(Settings::LargeToolbar, InstanceKind::Main), 1);
}

// ---------------------------------------------------------------------------------
// Reading with the caller's default

TEST_F(SettingsStoreTest, MissingValuesReadAsTheCallersDefault) {
    WriteBytes(FilePath(), "[Preferences]\nMode=2\n");
    CSettingsStore store(FilePath());
    EXPECT_EQ(store.GetInt(QStringLiteral("Preferences"), QStringLiteral("Missing"), 17), 17);
    EXPECT_EQ(store.GetInt(QStringLiteral("Preferences"), QStringLiteral("Missing"), -5), -5);
    EXPECT_EQ(store.GetInt(QStringLiteral("NoSection"), QStringLiteral("Mode"), 9), 9);
    EXPECT_EQ(store.GetString(QStringLiteral("Preferences"), QStringLiteral("Missing"), QStringLiteral("fallback")),
              QStringLiteral("fallback"));
    EXPECT_EQ(store.GetString(QStringLiteral("NoSection"), QStringLiteral("X"), QString()), QString());
    EXPECT_FALSE(store.Contains(QStringLiteral("Preferences"), QStringLiteral("Missing")));
    EXPECT_TRUE(store.Contains(QStringLiteral("Preferences"), QStringLiteral("Mode")));
    // A present value wins over the default.
    EXPECT_EQ(store.GetInt(QStringLiteral("Preferences"), QStringLiteral("Mode"), 17), 2);
}

TEST_F(SettingsStoreTest, AStoreWhoseFileDoesNotExistReadsDefaults) {
    CSettingsStore store(dir_.filePath(QStringLiteral("no/such/folder/Corvane.ini")));
    EXPECT_EQ(store.GetInt(QStringLiteral("View"), QStringLiteral("GridStep"), 8), 8);
    EXPECT_EQ(store.GetString(QStringLiteral("Preferences"), QStringLiteral("RootFolder"), QStringLiteral("d")),
              QStringLiteral("d"));
    EXPECT_TRUE(store.Sections().isEmpty());
}

TEST_F(SettingsStoreTest, AnIntegerThatIsNotANumberReadsAsTheDefault) {
    WriteBytes(FilePath(), "[View]\nGridStep=wide\nMarginH=\n");
    CSettingsStore store(FilePath());
    EXPECT_EQ(store.GetInt(QStringLiteral("View"), QStringLiteral("GridStep"), 8), 8);
    EXPECT_EQ(store.GetInt(QStringLiteral("View"), QStringLiteral("MarginH"), 3), 3);
}

TEST_F(SettingsStoreTest, ReadsTheUsersStoreFromTheXdgConfigFolder) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const bool had = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir_.path().toLocal8Bit());
    const QString path = CSettingsStore::DefaultPath();
    if (had) qputenv("XDG_CONFIG_HOME", saved);
    else qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(path, dir_.path() + QStringLiteral("/Norvik/Corvane.ini"));
}

// ---------------------------------------------------------------------------------
// Writing and reading back

TEST_F(SettingsStoreTest, IntegersReadBackAsWritten) {
    const int values[] = {0, 1, -1, 8, 200, 1252, -1920, 0x0100007F, 2147483647, -2147483647 - 1};
    CSettingsStore store(FilePath());
    for (int v : values) {
        SCOPED_TRACE(v);
        ASSERT_TRUE(store.WriteInt(QStringLiteral("View"), QStringLiteral("RemoteIP"), v));
        EXPECT_EQ(store.GetInt(QStringLiteral("View"), QStringLiteral("RemoteIP"), 12345), v);
        // Another store on the same file sees the value too.
        EXPECT_EQ(CSettingsStore(FilePath()).GetInt(QStringLiteral("View"), QStringLiteral("RemoteIP"), 12345), v);
    }
}

TEST_F(SettingsStoreTest, IntegersAreStoredAsPlainDecimalNumbers) {
    CSettingsStore store(FilePath());
    ASSERT_TRUE(store.WriteInt(QStringLiteral("Layout"), QStringLiteral("Left"), -1920));
    ASSERT_TRUE(store.WriteInt(QStringLiteral("Layout"), QStringLiteral("PaneWidth"), 250));
    const QStringList lines = SectionLines(ReadBytes(FilePath()), QStringLiteral("Layout"));
    EXPECT_TRUE(lines.contains(QStringLiteral("Left=-1920"))) << lines.join(u'|').toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("PaneWidth=250"))) << lines.join(u'|').toStdString();
}

TEST_F(SettingsStoreTest, StringsReadBackAsWritten) {
    const QString values[] = {
        QString(),
        QStringLiteral("/home/user/Documents/Corvane"),
        QStringLiteral("Zürich – 東京 – Ελληνικά"),
        QStringLiteral("a=b;c#d"),
        QStringLiteral("=leading equals"),
        QStringLiteral(";starts like a comment"),
        QStringLiteral("#starts like a comment"),
        QStringLiteral("  leading and trailing spaces  "),
        QStringLiteral("\ttab"),
        QStringLiteral("[Section]"),
        QStringLiteral("one, two, three"),
        QStringLiteral("\"quoted\""),
        QStringLiteral("C:\\Pages\\"),
        QStringLiteral("@Variant(not a variant)"),
        QStringLiteral("50%"),
        QStringLiteral("line one\nline two"),
        QStringLiteral("12"),
        QString::fromUcs4(U"clapper \U0001F3AC"),
    };
    CSettingsStore store(FilePath());
    for (const QString& v : values) {
        SCOPED_TRACE(v.toStdString());
        ASSERT_TRUE(store.WriteString(QStringLiteral("Plugin"), QStringLiteral("LastFileName"), v));
        EXPECT_EQ(store.GetString(QStringLiteral("Plugin"), QStringLiteral("LastFileName"), QStringLiteral("def")), v);
        EXPECT_EQ(CSettingsStore(FilePath()).GetText(Settings::PluginLastFileName), v);
    }
}

TEST_F(SettingsStoreTest, WritingOneKeyKeepsTheOthers) {
    CSettingsStore store(FilePath());
    ASSERT_TRUE(store.Set(Settings::Mode, 5));
    ASSERT_TRUE(store.SetText(Settings::DisplayAdapter, QStringLiteral("HDMI-1")));
    ASSERT_TRUE(store.Set(Settings::GridStep, 12));
    ASSERT_TRUE(store.Set(Settings::Mode, 6));
    EXPECT_EQ(store.Get(Settings::Mode), 6);
    EXPECT_EQ(store.GetText(Settings::DisplayAdapter), QStringLiteral("HDMI-1"));
    EXPECT_EQ(store.Get(Settings::GridStep), 12);
}

TEST_F(SettingsStoreTest, SectionsAndKeysListWhatWasWritten) {
    CSettingsStore store(FilePath());
    ASSERT_TRUE(store.Set(Settings::Mode, 1));
    ASSERT_TRUE(store.Set(Settings::FullHDMIRange, 0));
    ASSERT_TRUE(store.Set(Settings::DebugLog, 2));
    ASSERT_TRUE(store.WriteString(QStringLiteral("Item_0"), QStringLiteral("Name"), QStringLiteral("Opening")));
    QStringList sections = store.Sections();
    sections.sort();
    EXPECT_EQ(sections, (QStringList{QStringLiteral("Debug"), QStringLiteral("Item_0"), QStringLiteral("Preferences")}));
    QStringList keys = store.Keys(QStringLiteral("Preferences"));
    keys.sort();
    EXPECT_EQ(keys, (QStringList{QStringLiteral("FullHDMIRange"), QStringLiteral("Mode")}));
    EXPECT_TRUE(store.Keys(QStringLiteral("Language")).isEmpty());
}

TEST_F(SettingsStoreTest, WritingCreatesTheFoldersOfTheStoreFile) {
    const QString path = dir_.filePath(QStringLiteral("config/Norvik/Corvane.ini"));
    CSettingsStore store(path);
    ASSERT_TRUE(store.Set(Settings::LanguageId, 2));
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(CSettingsStore(path).Get(Settings::LanguageId), 2);
}

TEST_F(SettingsStoreTest, AWriteThatCannotReachTheFileReportsFailure) {
    WriteBytes(FilePath("plain-file"), "not a folder");
    CSettingsStore store(dir_.filePath(QStringLiteral("plain-file/Corvane.ini")));
    EXPECT_FALSE(store.WriteInt(QStringLiteral("View"), QStringLiteral("GridStep"), 10));
    EXPECT_FALSE(store.WriteString(QStringLiteral("Plugin"), QStringLiteral("LastFileName"), QStringLiteral("x")));
    EXPECT_EQ(store.GetInt(QStringLiteral("View"), QStringLiteral("GridStep"), 8), 8);
}

struct BoolCase {
    const SettingKey* key;
    const char* section;
};

TEST_F(SettingsStoreTest, BooleansAreStoredAsZeroAndOneInTheFileText) {
    const BoolCase cases[] = {
        {&Settings::Auto, "Preferences"},       {&Settings::FullHDMIRange, "Preferences"},
        {&Settings::UseRemote, "View"},         {&Settings::FirstTimeSetup, "View"},
        {&Settings::SnapToGrid, "ViewEdit"},    {&Settings::Maximize, "Layout"},
        {&Settings::LargeToolbar, "Layout"},    {&Settings::PluginSupport, "Plugin"},
        {&Settings::NoClearTypeDisable, "Debug"},
    };
    for (const BoolCase& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key->key);
        for (bool value : {true, false}) {
            QFile::remove(FilePath());
            CSettingsStore store(FilePath());
            ASSERT_TRUE(store.Set(*c.key, value));
            const QStringList lines = SectionLines(ReadBytes(FilePath()), QString::fromLatin1(c.section));
            const QString expected = QString::fromLatin1(c.key->key) + QString::fromLatin1(value ? "=1" : "=0");
            EXPECT_EQ(lines, QStringList{expected});
            EXPECT_EQ(store.Get(*c.key), value ? 1 : 0);
        }
    }
}

TEST_F(SettingsStoreTest, HandWrittenValuesAreRead) {
    WriteBytes(FilePath(),
               "; comment line\r\n"
               "[Preferences]\r\n"
               "Mode = 7\r\n"
               "RootFolder=/srv/pages/\r\n"
               "DisplayAdapter=DP-2\r\n"
               "[Language]\r\n"
               "ID=-1\r\n");
    CSettingsStore store(FilePath());
    EXPECT_EQ(store.Get(Settings::Mode), 7);
    EXPECT_EQ(store.GetText(Settings::RootFolder), QStringLiteral("/srv/pages/"));
    EXPECT_EQ(store.GetText(Settings::DisplayAdapter), QStringLiteral("DP-2"));
    EXPECT_EQ(store.Get(Settings::LanguageId), -1);
}

TEST_F(SettingsStoreTest, AHandWrittenStringWithACommaReadsWhole) {
    WriteBytes(FilePath(), "[Preferences]\nRootFolder=/srv/pages, archive\n[Plugin]\nLastFileName=a,b,c.xml\n");
    CSettingsStore store(FilePath());
    EXPECT_EQ(store.GetText(Settings::RootFolder), QStringLiteral("/srv/pages, archive"));
    EXPECT_EQ(store.GetText(Settings::PluginLastFileName), QStringLiteral("a,b,c.xml"));
}

// ---------------------------------------------------------------------------------
// Malformed files

// Bytes exactly as written, embedded NULs included.
template <size_t N>
QByteArray Raw(const char (&text)[N]) {
    return QByteArray(text, qsizetype(N - 1));
}

struct MalformedCase {
    const char* name;
    QByteArray junk;  // put between two good sections
};

TEST_F(SettingsStoreTest, AMalformedFileIsReadAsFarAsItGoes) {
    const MalformedCase cases[] = {
        {"garbage lines", QByteArray("this is not a setting\n}}}{{{\n\n   \n")},
        {"a section header without ']'", QByteArray("[Broken\n")},
        {"a value without '='", QByteArray("[Odd]\nNoEquals\nAlso no equals here\n")},
        {"binary bytes", Raw("\x00\x01\x02\xFF\xFE\x80\x7F\x1B[2J\n\xC3\x28\n")},
        {"an empty key", QByteArray("[Odd]\n=value without key\n")},
        {"a lone ']'", QByteArray("]\n[]\n")},
        {"a stray line continuation", QByteArray("[Odd]\nText=abc\\\n")},
    };
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(FilePath(), QByteArray("[Preferences]\nMode=3\nDisplayAdapter=HDMI-1\n") + c.junk +
                                   QByteArray("\n[View]\nGridStep=12\nMarginH=5\n"));
        CSettingsStore store(FilePath());
        EXPECT_EQ(store.Get(Settings::Mode), 3) << "good key before the junk";
        EXPECT_EQ(store.GetText(Settings::DisplayAdapter), QStringLiteral("HDMI-1")) << "good key before the junk";
        EXPECT_EQ(store.GetInt(QStringLiteral("View"), QStringLiteral("GridStep"), 8), 12) << "good key after the junk";
        EXPECT_EQ(store.GetInt(QStringLiteral("View"), QStringLiteral("MarginH"), 0), 5) << "good key after the junk";
        EXPECT_EQ(store.GetInt(QStringLiteral("View"), QStringLiteral("MarginV"), 4), 4) << "missing key";
    }
}

TEST_F(SettingsStoreTest, AnUnterminatedQuotedValueKeepsTheKeysBeforeIt) {
    WriteBytes(FilePath(), "[Preferences]\nMode=3\n[Odd]\nText=\"never closed\n[View]\nGridStep=12\n");
    CSettingsStore store(FilePath());
    EXPECT_EQ(store.Get(Settings::Mode), 3);
}

TEST_F(SettingsStoreTest, AFileOfRandomBytesReadsDefaultsWithoutCrashing) {
    QByteArray bytes;
    quint32 state = 0x2545F491u;
    for (int k = 0; k < 8192; ++k) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes.append(char(state & 0xFF));
    }
    WriteBytes(FilePath(), bytes);
    CSettingsStore store(FilePath());
    for (const ExpectedKey& e : kExpectedKeys) {
        SCOPED_TRACE(Name(e));
        const SettingKey* k = InCode(e);
        ASSERT_NE(k, nullptr);
        if (e.type == Type::String) {
            EXPECT_EQ(store.GetText(*k), QString::fromUtf8(e.textDefault));
        } else if (!e.machineDefault) {
            EXPECT_EQ(store.Get(*k), e.intDefault);
        }
    }
}

TEST_F(SettingsStoreTest, WritingIntoAMalformedFileStoresTheValueAndKeepsTheGoodKeys) {
    WriteBytes(FilePath(), "[Preferences]\nMode=3\n[Broken\ngarbage\n\x01\x02\xFF\n[View]\nGridStep=12\n");
    CSettingsStore store(FilePath());
    EXPECT_TRUE(store.Set(Settings::LanguageId, 4)) << "the write succeeds";
    CSettingsStore reread(FilePath());
    EXPECT_EQ(reread.Get(Settings::LanguageId), 4);
    EXPECT_EQ(reread.Get(Settings::Mode), 3);
    EXPECT_EQ(reread.GetInt(QStringLiteral("View"), QStringLiteral("GridStep"), 8), 12);
}

// ---------------------------------------------------------------------------------
// The documents folder and the pages folder

class UserFoldersTest : public TemporaryUserFolders {
protected:
    UserFoldersTest() : TemporaryUserFolders(false) {}
};

TEST_F(UserFoldersTest, TheDocumentsFolderIsTheUsersDocumentsFolder) {
    ASSERT_TRUE(QDir().mkpath(home_ + QStringLiteral("/Documents")));
    EXPECT_EQ(QDir(DocumentsFolder()).canonicalPath(), QDir(home_ + QStringLiteral("/Documents")).canonicalPath());
}

TEST_F(UserFoldersTest, TheDocumentsFolderFollowsTheUserDirsFile) {
    ASSERT_TRUE(QDir().mkpath(home_ + QStringLiteral("/Dokumente")));
    WriteBytes(config_ + QStringLiteral("/user-dirs.dirs"), "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(QDir(DocumentsFolder()).canonicalPath(), QDir(home_ + QStringLiteral("/Dokumente")).canonicalPath());
}

TEST_F(UserFoldersTest, WithoutADocumentsFolderTheHomeFolderIsUsed) {
    ASSERT_FALSE(QFileInfo::exists(home_ + QStringLiteral("/Documents")));
    EXPECT_EQ(QDir(DocumentsFolder()).canonicalPath(), QDir(home_).canonicalPath());
}

TEST_F(UserFoldersTest, AnEmptyRootFolderBecomesTheDocumentsFolderWithCorvaneCreatedAndWrittenBack) {
    ASSERT_TRUE(QDir().mkpath(home_ + QStringLiteral("/Documents")));
    const QString expected = DocumentsFolder() + QStringLiteral("/Corvane");
    ASSERT_FALSE(QFileInfo::exists(expected));
    CSettingsStore store(dir_.filePath(QStringLiteral("Corvane.ini")));
    EXPECT_EQ(PagesFolder(store), expected);
    EXPECT_TRUE(QFileInfo(expected).isDir());
    EXPECT_EQ(CSettingsStore(store.Path()).GetText(Settings::RootFolder), expected);
}

TEST_F(UserFoldersTest, ARootFolderStoredEmptyIsAlsoReplacedByTheDefault) {
    const QString ini = dir_.filePath(QStringLiteral("Corvane.ini"));
    WriteBytes(ini, "[Preferences]\nRootFolder=\nMode=2\n");
    CSettingsStore store(ini);
    const QString expected = DocumentsFolder() + QStringLiteral("/Corvane");
    EXPECT_EQ(PagesFolder(store), expected);
    EXPECT_TRUE(QFileInfo(expected).isDir());
    EXPECT_EQ(CSettingsStore(ini).GetText(Settings::RootFolder), expected);
    EXPECT_EQ(CSettingsStore(ini).Get(Settings::Mode), 2);
}

TEST_F(UserFoldersTest, AnExistingPagesFolderIsKeptAsItIs) {
    ASSERT_TRUE(QDir().mkpath(home_ + QStringLiteral("/Documents/Corvane")));
    const QString marker = home_ + QStringLiteral("/Documents/Corvane/page.corvane");
    WriteBytes(marker, "x");
    CSettingsStore store(dir_.filePath(QStringLiteral("Corvane.ini")));
    EXPECT_EQ(PagesFolder(store), DocumentsFolder() + QStringLiteral("/Corvane"));
    EXPECT_TRUE(QFile::exists(marker));
}

TEST_F(UserFoldersTest, ASetRootFolderIsReturnedUnchangedAndNothingIsCreated) {
    const QString roots[] = {
        dir_.filePath(QStringLiteral("elsewhere/My Pages/")),
        QStringLiteral("/nonexistent/pages"),
        QStringLiteral("relative/pages"),
    };
    for (const QString& root : roots) {
        SCOPED_TRACE(root.toStdString());
        const QString ini = dir_.filePath(QStringLiteral("Corvane.ini"));
        QFile::remove(ini);
        CSettingsStore store(ini);
        ASSERT_TRUE(store.SetText(Settings::RootFolder, root));
        const QByteArray before = ReadBytes(ini);
        EXPECT_EQ(PagesFolder(store), root);
        EXPECT_EQ(ReadBytes(ini), before) << "the store is not rewritten";
        EXPECT_FALSE(QFileInfo::exists(DocumentsFolder() + QStringLiteral("/Corvane")));
        EXPECT_FALSE(QFileInfo::exists(root)) << "a chosen folder is not created";
    }
}

}  // namespace

namespace {

TEST_F(SettingsStoreTest, ValuesOutsideTheirRangeAreNeitherReadNorWritten) {
    WriteBytes(FilePath(), "[Preferences]\nMode=99\nDefaultTreeAction=-7\n[ViewEdit]\nZoomFactor=9\nGridStep=1\n"
                           "[Debug]\nLog=3\n");
    CSettingsStore store(FilePath());
    EXPECT_EQ(store.Get(Settings::Mode), 0);
    EXPECT_EQ(store.Get(Settings::DefaultTreeAction), 0);
    EXPECT_EQ(store.Get(Settings::ZoomFactor), 5);  // a stored zoom outside 0-5 reads as the smallest zoom
    EXPECT_EQ(store.Get(Settings::GridStep), 8);
    EXPECT_EQ(store.Get(Settings::DebugLog), 3);
    const QByteArray before = ReadBytes(FilePath());
    for (const auto& [key, value] : {std::pair{&Settings::Mode, 99}, std::pair{&Settings::Mode, -7},
                                     std::pair{&Settings::Auto, 2}, std::pair{&Settings::GridStep, 51}}) {
        SCOPED_TRACE(key->key);
        EXPECT_FALSE(store.Set(*key, value));
        EXPECT_FALSE(store.WriteInt(QString::fromLatin1(key->section), QString::fromLatin1(key->key), value));
        EXPECT_FALSE(store.WriteString(QString::fromLatin1(key->section), QString::fromLatin1(key->key),
                                       QString::number(value)));
    }
    EXPECT_EQ(ReadBytes(FilePath()), before);
    EXPECT_TRUE(store.Set(Settings::Mode, Settings::Mode.maximum));
    EXPECT_FALSE(store.Set(Settings::Mode, Settings::Mode.maximum + 1));
}

// An unbalanced quote once swallowed the next section into a value, and the next
// write made the damage permanent. Now the damage is reported, stays on its line,
// and the file as it was is kept before the first write.
TEST_F(SettingsStoreTest, ADamagedFileIsReportedKeptAndNotSpreadByAWrite) {
    const QByteArray damaged = "[Preferences]\nRootFolder=\"/srv/pages\n[View]\nMarginH=10\nthis is no key\n[Debug\nLog=2\n";
    WriteBytes(FilePath(), damaged);
    CSettingsStore store(FilePath());
    const QStringList problems = store.Problems();
    ASSERT_EQ(problems.size(), 3) << problems.join(u'|').toStdString();
    EXPECT_TRUE(problems[0].startsWith(QStringLiteral("line 2:"))) << problems[0].toStdString();
    EXPECT_TRUE(problems[1].startsWith(QStringLiteral("line 5:"))) << problems[1].toStdString();
    EXPECT_TRUE(problems[2].startsWith(QStringLiteral("line 6:"))) << problems[2].toStdString();
    EXPECT_EQ(store.GetText(Settings::RootFolder), QStringLiteral("\"/srv/pages"));
    EXPECT_EQ(store.Get(Settings::MarginH), 10);  // the next section is still a section

    ASSERT_TRUE(store.Set(Settings::Mode, 4));
    EXPECT_EQ(ReadBytes(FilePath() + QStringLiteral(".damaged")), damaged);
    EXPECT_EQ(store.Get(Settings::Mode), 4);
    EXPECT_EQ(store.GetInt(QStringLiteral("View"), QStringLiteral("Mode"), -1), -1);
    EXPECT_EQ(store.Get(Settings::MarginH), 10);
    // Only the key's line was added; every other line stands as it was.
    EXPECT_EQ(ReadBytes(FilePath()), QByteArray("[Preferences]\nRootFolder=\"/srv/pages\nMode=4\n[View]\nMarginH=10\n"
                                                "this is no key\n[Debug\nLog=2\n"));
}

TEST_F(SettingsStoreTest, StringsSurviveTheRoundTrip) {
    CSettingsStore store(FilePath());
    for (const QString& text : {QStringLiteral("plain"), QStringLiteral(" padded "), QStringLiteral("a, b; c = d # e"),
                                QStringLiteral("quote \" and back\\slash"), QStringLiteral("line\nbreak\ttab"),
                                QStringLiteral("caf\u00E9 \u4E2D"), QStringLiteral("@String(x)"), QString()}) {
        SCOPED_TRACE(text.toStdString());
        ASSERT_TRUE(store.WriteString(QStringLiteral("Plugin"), QStringLiteral("LastFileName"), text));
        EXPECT_EQ(store.GetText(Settings::PluginLastFileName), text);
        EXPECT_TRUE(store.Problems().isEmpty());
    }
}

TEST_F(SettingsStoreTest, AWriteOnAFullDiskKeepsTheFile) {
    WriteBytes(FilePath(), "[Preferences]\nMode=2\n");
    CSettingsStore store(FilePath());
    {
        FileSizeLimit limit(8);
        ASSERT_TRUE(limit.Active());
        EXPECT_FALSE(store.Set(Settings::Mode, 3));
    }
    EXPECT_EQ(ReadBytes(FilePath()), QByteArray("[Preferences]\nMode=2\n"));
}

}  // namespace
