// Language packs: resources keys, reading the pack, choosing a language, and the
// translation of texts, dialogs, menus and combo boxes through the current language.
#include "base/Translate.h"
#include "ui/MessageBoxPresenter.h"
#include "ui/TranslateWidgets.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QMenu>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <vector>

void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace {

const QString SamplePack = QStringLiteral(CORVANE_RESOURCES "/Translations.sample.xml");

// Set in the child process that reports the user's language identifier.
constexpr const char* LanguageIdProbe = "CORVANE_LANGUAGE_ID_PROBE";

CTranslate& Translate() { return CTranslate::Global(); }

// Fixtures for packs written inline.
QByteArray Entry(const QByteArray& key, const QByteArray& text) {
    return "<string id=\"" + key + "\">" + text + "</string>";
}
QByteArray Translation(const QByteArray& name, const QByteArray& id, const QByteArray& entries) {
    return "<translation name=\"" + name + "\" id=\"" + id + "\"><resources>" + entries + "</resources></translation>";
}
QByteArray Pack(const QByteArray& translations) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<language_pack><translations>" + translations +
           "</translations></language_pack>\n";
}

// The translation's text of a key, or "(none)".
QString Text(quint32 key) {
    QString text;
    return Translate().Lookup(key, text) ? text : QStringLiteral("(none)");
}

// The global instance is process-wide: every test starts and ends in English.
class Language : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        Translate().Clear();
        Translate().SelectLanguage(0);
        Translate().PopupCounter = 0;
    }
    // Loads an inline pack and selects its first translation.
    static void LoadFirst(const QByteArray& xml) {
        ASSERT_TRUE(Translate().LoadLanguagePackData(xml));
        ASSERT_GE(Translate().TranslationCount(), 1);
        Translate().SelectLanguage(1);
    }
};

// ---------------------------------------------------------------------------------
// Keys

TEST(LanguageKeys, StringDialogControlAndMenuKeys) {
    const struct {
        const char* what;
        quint32 key;
        quint32 expected;
    } cases[] = {
        {"string 12600", CTranslate::StringKey(12600), 0xC0003138u},
        {"string 10312", CTranslate::StringKey(10312), 0xC0002848u},
        {"string 0", CTranslate::StringKey(0), 0xC0000000u},
        {"dialog 1176", CTranslate::DialogKey(1176), 0x84980000u},
        {"dialog 310", CTranslate::DialogKey(310), 0x81360000u},
        {"dialog id above 14 bits", CTranslate::DialogKey(0x4000u | 1176u), 0x84980000u},
        {"control 1000 of dialog 310", CTranslate::ControlKey(310, 1000), 0x813603E8u},
        {"control 0x12345 of dialog 1176", CTranslate::ControlKey(1176, 0x12345u), 0x84992345u},
        {"control -1 of dialog 310", CTranslate::ControlKey(310, 0xFFFFFFFFu), 0xFFFFFFFFu},
        {"control -1 of dialog 1176", CTranslate::ControlKey(1176, 0xFFFFFFFFu), 0xFFFFFFFFu},
        {"menu 128 item 100, no submenu yet", CTranslate::MenuKey(128, 0, 100), 0x48000064u},
        {"menu 128 first submenu", CTranslate::MenuKey(128, 1, 0), 0x48010000u},
        {"menu 128 command 32883 after 3 submenus", CTranslate::MenuKey(128, 3, 32883), 0x48038073u},
        {"counter modulo 16", CTranslate::MenuKey(128, 17, 5), 0x48010005u},
        {"menu id above 10 bits", CTranslate::MenuKey(0x400u | 128u, 0, 7), 0x48000007u},
        {"command id above 16 bits", CTranslate::MenuKey(128, 2, 0x18077u), 0x48028077u},
        {"menu 1023 counter 15", CTranslate::MenuKey(1023, 15, 0xFFFF), 0x7FFFFFFFu},
    };
    for (const auto& c : cases) EXPECT_EQ(c.key, c.expected) << c.what;
}

TEST(LanguageKeys, KindIsInTheTopTwoBits) {
    for (unsigned id : {0u, 1u, 12600u, 0xFFFFu}) {
        EXPECT_EQ(CTranslate::StringKey(id) >> 30, 3u) << id;
        EXPECT_EQ(CTranslate::DialogKey(id) >> 30, 2u) << id;
        EXPECT_EQ(CTranslate::DialogKey(id) & 0xFFFFu, 0u) << id;
        EXPECT_EQ(CTranslate::MenuKey(id, id, id) >> 30, 1u) << id;
    }
}

// ---------------------------------------------------------------------------------
// The sample pack

TEST_F(Language, SamplePackOverridesTheBuiltInTexts) {
    ASSERT_TRUE(Translate().LoadLanguagePack(SamplePack));
    ASSERT_EQ(Translate().TranslationCount(), 1);
    EXPECT_EQ(Translate().GetLanguageName(1), QStringLiteral("Deutsch"));

    const struct {
        unsigned id;
        const char* english;
        const char* german;  // null: not in the pack
    } cases[] = {
        {12600, "Type", "Typ"},
        {12602, "Value", "Wert"},
        {10219, "Yes", "Ja"},
        {10220, "No", "Nein"},
        {10400, "Left", "Links"},
        {10312, "Error: File save failed!\n\n%s", "Fehler: Datei konnte nicht gespeichert werden!\n\n%s"},
        {10207, "Warning: Image is too large!\n\nImage cropped.",
         "Warnung: Das Bild ist zu groß!\n\nDas Bild wurde beschnitten."},
        {32887, "Activate sport plugin", "Sport-Plugin aktivieren"},
        {12601, "Name", nullptr},
        {10403, "Single", nullptr},
        {10311, "Error: File open failed!\n\n%s", nullptr},
        {61443, "Untitled", nullptr},
    };
    // Loaded but not selected: English.
    for (const auto& c : cases) EXPECT_EQ(Translate().LoadText(c.id), QString::fromUtf8(c.english)) << c.id;

    Translate().SelectLanguage(1);
    EXPECT_EQ(Translate().CurrentLanguage(), 1);
    for (const auto& c : cases) {
        bool found = false;
        EXPECT_EQ(Translate().LoadText(c.id, &found), QString::fromUtf8(c.german ? c.german : c.english)) << c.id;
        EXPECT_TRUE(found) << c.id;
    }
    bool found = true;
    EXPECT_EQ(Translate().LoadText(1, &found), QString());
    EXPECT_FALSE(found);

    Translate().SelectLanguage(0);
    EXPECT_EQ(Translate().LoadText(12600), QStringLiteral("Type"));
}

TEST_F(Language, SamplePackEscapesAndEntities) {
    ASSERT_TRUE(Translate().LoadLanguagePack(SamplePack));
    Translate().SelectLanguage(1);
    EXPECT_EQ(Translate().LoadText(10653),
              QStringLiteral("Sie haben den Einrichtungsassistenten abgebrochen.\n\nWenn Sie ihn später ausführen "
                             "möchten, wählen Sie bitte\nden Befehl 'Einstellungen - Einrichtungsassistent "
                             "ausführen' im Hauptmenü."));
    EXPECT_EQ(Text(0x48038073u), QStringLiteral("Objekt-&Navigator\tF3"));
    EXPECT_EQ(Text(0x48010000u), QStringLiteral("&Datei"));
    EXPECT_EQ(Text(0x84980000u), QStringLiteral("Sport-Steuerzentrale"));
    EXPECT_EQ(Text(0x813603E8u), QStringLiteral("Warten"));
}

TEST_F(Language, SamplePackChosenForGerman) {
    ASSERT_TRUE(Translate().LoadLanguagePack(SamplePack));
    Translate().SelectLanguage(-1, 1031);
    EXPECT_EQ(Translate().CurrentLanguage(), 1);
    Translate().SelectLanguage(-1, 1033);
    EXPECT_EQ(Translate().CurrentLanguage(), 0);
}

TEST_F(Language, FormattedTextsAndMessagesGoThroughTheTranslation) {
    struct Recorder : IMessagePresenter {
        QStringList texts;
        int Show(const QString& text, unsigned) override {
            texts << text;
            return IdOk;
        }
    } recorder;
    ASSERT_TRUE(Translate().LoadLanguagePack(SamplePack));
    Translate().SelectLanguage(1);
    EXPECT_EQ(Translate().FormatText(10312, {"/p/a.corvane"}),
              QStringLiteral("Fehler: Datei konnte nicht gespeichert werden!\n\n/p/a.corvane"));
    IMessagePresenter* previous = Translate().SetPresenter(&recorder);
    Translate().MessageBoxFormat(10312, MbIconError, {"/p/b.corvane"});
    Translate().MessageBoxText(10311, MbIconError);  // not translated
    Translate().SetPresenter(previous);
    EXPECT_EQ(recorder.texts, (QStringList{QStringLiteral("Fehler: Datei konnte nicht gespeichert werden!\n\n/p/b.corvane"),
                                           QStringLiteral("Error: File open failed!\n\n%s")}));
}

// The pack beside the executable is the one read without a path.
TEST_F(Language, PackBesideTheExecutable) {
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/Translations.xml");
    if (QFile::exists(beside)) GTEST_SKIP() << "a pack already lies beside the test: " << beside.toStdString();
    ASSERT_TRUE(QFile::copy(SamplePack, beside));
    const bool loaded = Translate().LoadLanguagePack();
    QFile::remove(beside);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(Translate().TranslationCount(), 1);
    EXPECT_EQ(Translate().GetLanguageName(1), QStringLiteral("Deutsch"));
    // Gone again: English only.
    Translate().SelectLanguage(1);
    EXPECT_FALSE(Translate().LoadLanguagePack());
    EXPECT_EQ(Translate().TranslationCount(), 0);
    EXPECT_EQ(Translate().LoadText(12600), QStringLiteral("Type"));
}

// ---------------------------------------------------------------------------------
// Reading the pack

TEST_F(Language, EscapesInTexts) {
    const struct {
        const char* xml;
        const char* expected;
    } cases[] = {
        {R"(Zeile 1\nZeile 2)", "Zeile 1\nZeile 2"},
        {R"(Spalte\tWert)", "Spalte\tWert"},
        {R"(\n\t)", "\n\t"},
        {R"(\n\n)", "\n\n"},
        {R"(a\rb)", "a\\rb"},
        {R"(\x\N\T)", "\\x\\N\\T"},
        {R"(c:\new)", "c:\new"},
        {R"(ab\)", "ab\\"},
        {R"(\\n)", "\\\n"},
        {R"(&lt;b&gt; &amp; \n)", "<b> & \n"},
    };
    for (const auto& c : cases) {
        Reset();
        LoadFirst(Pack(Translation("T", "1", Entry("C0003138", c.xml))));
        EXPECT_EQ(Translate().LoadText(12600), QString::fromUtf8(c.expected)) << c.xml;
    }
}

TEST_F(Language, OnlyTheFirstResourcesElementIsRead) {
    LoadFirst(Pack(R"(<translation name="T" id="1">
        <resources><string id="C0003138">Erste</string></resources>
        <resources><string id="C0003138">Zweite</string><string id="C0003139">Zweite</string></resources>
      </translation>)"));
    EXPECT_EQ(Translate().LoadText(12600), QStringLiteral("Erste"));
    EXPECT_EQ(Translate().LoadText(12601), QStringLiteral("Name"));
}

TEST_F(Language, LaterEntryWithTheSameKeyReplacesTheEarlier) {
    // The same key written in three ways.
    LoadFirst(Pack(Translation("T", "1",
                               Entry("C0003138", "Eins") + Entry("C000313A", "Wert") + Entry("c0003138", "Zwei") +
                                   Entry("0xC0003138", "Drei"))));
    EXPECT_EQ(Translate().LoadText(12600), QStringLiteral("Drei"));
    EXPECT_EQ(Translate().LoadText(12602), QStringLiteral("Wert"));
}

TEST_F(Language, StringKeysAreReadAsHexadecimal) {
    const struct {
        const char* id;
        quint32 key;
    } cases[] = {
        {"C0003138", 0xC0003138u},  {"c0003138", 0xC0003138u}, {"0xC0003138", 0xC0003138u},
        {"0XC0003138", 0xC0003138u}, {"  C0003138", 0xC0003138u}, {"C0003138zz", 0xC0003138u},
        {"C0003138 9", 0xC0003138u}, {"+C0003138", 0xC0003138u}, {"-3FFFCEC8", 0xC0003138u},
        {"84980000", 0x84980000u},  {"3e8", 0x3E8u},             {"0000000000C0003138", 0xC0003138u},
        {"zz", 0u},                 {"", 0u},                    {"-", 0u},
    };
    for (const auto& c : cases) {
        Reset();
        LoadFirst(Pack(Translation("T", "1", Entry(c.id, "Text"))));
        EXPECT_EQ(Text(c.key), QStringLiteral("Text")) << '"' << c.id << '"';
    }
}

// A key beyond 32 bits is out of range for strtoul's 32-bit result: it gives the
// largest value, not the low 32 bits.
TEST_F(Language, OverlongStringKeySaturates) {
    for (const char* id : {"100000000", "1C0003138", "-100000000", "FFFFFFFFFFFFFFFFFFFF"}) {
        Reset();
        LoadFirst(Pack(Translation("T", "1", Entry(id, "Text"))));
        EXPECT_EQ(Text(0xFFFFFFFFu), QStringLiteral("Text")) << id;
        EXPECT_EQ(Translate().LoadText(12600), QStringLiteral("Type")) << id;
    }
}

TEST_F(Language, StringElementWithoutIdIsSkipped) {
    LoadFirst(Pack(Translation("T", "1", "<string>Ohne</string>" + Entry("C0003138", "Typ"))));
    EXPECT_EQ(Translate().LoadText(12600), QStringLiteral("Typ"));
    EXPECT_EQ(Text(0), QStringLiteral("(none)"));
}

TEST_F(Language, ElementWithoutTextGivesTheEmptyString) {
    LoadFirst(Pack(Translation("T", "1",
                               R"(<string id="C0003138"/><string id="C0003139"></string>)"
                               R"(<string id="C000313A"><!-- nothing --></string>)")));
    for (unsigned id : {12600u, 12601u, 12602u}) {
        bool found = false;
        EXPECT_EQ(Translate().LoadText(id, &found), QString()) << id;
        EXPECT_TRUE(found) << id;
    }
    EXPECT_EQ(Translate().LoadText(12603), QStringLiteral("Status"));
}

TEST_F(Language, LanguageIdIsReadLikeAtoi) {
    const struct {
        const char* attribute;  // null: no "id" attribute
        int id;
    } cases[] = {
        {"1031", 1031}, {"1031abc", 1031}, {"x", 0},   {"", 0},       {" 1036", 1036},
        {"+7", 7},      {"-1", -1},        {"0x407", 0}, {"00012", 12}, {nullptr, 0},
    };
    for (const auto& c : cases) {
        Reset();
        const QByteArray translation =
            c.attribute ? Translation("T", c.attribute, Entry("C0003138", "Typ"))
                        : QByteArray(R"(<translation name="T"><resources><string id="C0003138">Typ</string></resources></translation>)");
        ASSERT_TRUE(Translate().LoadLanguagePackData(Pack(translation)));
        Translate().SelectLanguage(-1, c.id + 1);
        EXPECT_EQ(Translate().CurrentLanguage(), 0) << (c.attribute ? c.attribute : "(none)");
        Translate().SelectLanguage(-1, c.id);
        EXPECT_EQ(Translate().CurrentLanguage(), 1) << (c.attribute ? c.attribute : "(none)");
    }
}

TEST_F(Language, NameAttribute) {
    ASSERT_TRUE(Translate().LoadLanguagePackData(Pack(
        R"(<translation name="Français" id="1036"/><translation id="1040"/><translation name="日本語" id="1041"/>)")));
    ASSERT_EQ(Translate().TranslationCount(), 3);
    EXPECT_EQ(Translate().GetLanguageName(1), QStringLiteral("Français"));
    EXPECT_EQ(Translate().GetLanguageName(2), QString());
    EXPECT_EQ(Translate().GetLanguageName(3), QStringLiteral("日本語"));
}

TEST_F(Language, AtMostTenTranslations) {
    QByteArray translations;
    for (int k = 1; k <= 11; ++k)
        translations += Translation("L" + QByteArray::number(k), QByteArray::number(2000 + k),
                                    Entry("C0003138", "Typ " + QByteArray::number(k)));
    ASSERT_TRUE(Translate().LoadLanguagePackData(Pack(translations)));
    EXPECT_EQ(Translate().TranslationCount(), 10);
    EXPECT_EQ(Translate().GetLanguageName(10), QStringLiteral("L10"));
    EXPECT_EQ(Translate().GetLanguageName(11), QStringLiteral("English"));
    Translate().SelectLanguage(10);
    EXPECT_EQ(Translate().CurrentLanguage(), 10);
    EXPECT_EQ(Translate().LoadText(12600), QStringLiteral("Typ 10"));
    Translate().SelectLanguage(11);
    EXPECT_EQ(Translate().CurrentLanguage(), 0);
    EXPECT_EQ(Translate().LoadText(12600), QStringLiteral("Type"));
    Translate().SelectLanguage(-1, 2011);  // only the ignored eleventh declares it
    EXPECT_EQ(Translate().CurrentLanguage(), 0);
}

TEST_F(Language, TranslationsAreReadInDocumentOrder) {
    ASSERT_TRUE(Translate().LoadLanguagePackData(
        Pack(Translation("Deutsch", "1031", Entry("C0003138", "Typ")) +
             Translation("Français", "1036", Entry("C0003138", "Genre")) +
             Translation("Italiano", "1040", Entry("C0003138", "Tipo")))));
    const char* expected[] = {"Type", "Typ", "Genre", "Tipo"};
    for (int index = 0; index <= 3; ++index) {
        Translate().SelectLanguage(index);
        EXPECT_EQ(Translate().LoadText(12600), QString::fromUtf8(expected[index])) << index;
    }
}

TEST_F(Language, StringsSectionsHaveNoMeaning) {
    LoadFirst(R"(<?xml version="1.0" encoding="UTF-8"?>
      <language_pack>
        <original><strings><string id="C0003139">Original</string></strings></original>
        <translations>
          <translation name="Deutsch" id="1031">
            <strings><string id="C000313A">Nicht gelesen</string></strings>
            <resources><string id="C0003138">Typ</string></resources>
          </translation>
        </translations>
      </language_pack>)");
    EXPECT_EQ(Translate().TranslationCount(), 1);
    EXPECT_EQ(Translate().LoadText(12600), QStringLiteral("Typ"));
    EXPECT_EQ(Translate().LoadText(12601), QStringLiteral("Name"));
    EXPECT_EQ(Translate().LoadText(12602), QStringLiteral("Value"));
}

TEST_F(Language, TranslationWithoutResources) {
    LoadFirst(Pack(R"(<translation name="Leer" id="1031"/>)"));
    EXPECT_EQ(Translate().GetLanguageName(1), QStringLiteral("Leer"));
    EXPECT_EQ(Translate().LoadText(12600), QStringLiteral("Type"));
}

TEST_F(Language, BadPackRunsInEnglish) {
    const struct {
        const char* what;
        QByteArray xml;
    } cases[] = {
        {"empty", QByteArray()},
        {"not XML", QByteArray("Deutsch 1031 Typ")},
        {"unterminated", QByteArray(R"(<language_pack><translations><translation name="D" id="1031"><resources>)"
                                    R"(<string id="C0003138">Typ</string>)")},
        {"mismatched tags", QByteArray(R"(<language_pack><translations></language_pack></translations>)")},
        {"declaration only", QByteArray(R"(<?xml version="1.0" encoding="UTF-8"?>)")},
        // Deep enough to exhaust the stack of a recursive parser.
        {"nested 100000 deep", QByteArray("<language_pack>") + QByteArray("<a>").repeated(100000)},
        // "/>" in text or in a value is no closing tag: the nesting is still 100000.
        {"nested, with \"/>\" as text", QByteArray("<language_pack>") + QByteArray("<a>/>").repeated(100000) +
                                             QByteArray("</a>").repeated(100000) + "</language_pack>"},
        {"nested, with \"/>\" in values", QByteArray("<language_pack>") + QByteArray("<a b=\"/>\">").repeated(100000) +
                                               QByteArray("</a>").repeated(100000) + "</language_pack>"},
    };
    for (const auto& c : cases) {
        Reset();
        ASSERT_TRUE(Translate().LoadLanguagePack(SamplePack));
        Translate().SelectLanguage(1);
        ASSERT_EQ(Translate().LoadText(12600), QStringLiteral("Typ"));
        EXPECT_FALSE(Translate().LoadLanguagePackData(c.xml)) << c.what;
        EXPECT_EQ(Translate().TranslationCount(), 0) << c.what;
        EXPECT_EQ(Translate().CurrentLanguage(), 0) << c.what;
        EXPECT_EQ(Translate().LoadText(12600), QStringLiteral("Type")) << c.what;
        EXPECT_EQ(Translate().GetLanguageName(1), QStringLiteral("English")) << c.what;
    }
}

TEST_F(Language, PackWithoutTranslationsRunsInEnglish) {
    for (const char* xml : {"<other><translations><translation name=\"D\" id=\"1\"/></translations></other>",
                            "<language_pack/>", "<language_pack><original/></language_pack>"}) {
        Reset();
        ASSERT_TRUE(Translate().LoadLanguagePack(SamplePack));
        Translate().SelectLanguage(1);
        Translate().LoadLanguagePackData(QByteArray(xml));
        EXPECT_EQ(Translate().TranslationCount(), 0) << xml;
        EXPECT_EQ(Translate().LoadText(12600), QStringLiteral("Type")) << xml;
    }
}

TEST_F(Language, MissingOrUnreadablePackFileRunsInEnglish) {
    for (const QString& path : {QStringLiteral("/nonexistent/Translations.xml"), QStringLiteral(CORVANE_RESOURCES)}) {
        Reset();
        ASSERT_TRUE(Translate().LoadLanguagePack(SamplePack));
        Translate().SelectLanguage(1);
        EXPECT_FALSE(Translate().LoadLanguagePack(path)) << path.toStdString();
        EXPECT_EQ(Translate().TranslationCount(), 0) << path.toStdString();
        EXPECT_EQ(Translate().LoadText(12600), QStringLiteral("Type")) << path.toStdString();
    }
}

TEST_F(Language, ASecondPackReplacesTheFirst) {
    ASSERT_TRUE(Translate().LoadLanguagePack(SamplePack));
    Translate().SelectLanguage(1);
    ASSERT_TRUE(Translate().LoadLanguagePackData(Pack(Translation("Français", "1036", Entry("C0003138", "Genre")) +
                                                      Translation("Italiano", "1040", ""))));
    EXPECT_EQ(Translate().TranslationCount(), 2);
    EXPECT_EQ(Translate().CurrentLanguage(), 0);
    EXPECT_EQ(Translate().GetLanguageName(1), QStringLiteral("Français"));
    Translate().SelectLanguage(1);
    EXPECT_EQ(Translate().LoadText(12600), QStringLiteral("Genre"));
    EXPECT_EQ(Translate().LoadText(12602), QStringLiteral("Value"));
}

// ---------------------------------------------------------------------------------
// Choosing the language

class LanguageChoice : public Language {
protected:
    void SetUp() override {
        Language::SetUp();
        ASSERT_TRUE(Translate().LoadLanguagePackData(Pack(Translation("Deutsch", "1031", Entry("C0003138", "Typ")) +
                                                          Translation("Français", "1036", Entry("C0003138", "Genre")) +
                                                          Translation("Schweiz", "1031", Entry("C0003138", "Art")))));
    }
};

TEST_F(LanguageChoice, SelectLanguage) {
    const struct {
        int index;
        int user;
        int expected;
    } cases[] = {
        {-1, 1036, 2}, {-1, 1031, 1}, {-1, 1049, 0}, {-1, 0, 0}, {0, 1031, 0},  {1, 1036, 1},
        {2, 0, 2},     {3, 1036, 3},  {4, 1031, 0},  {10, 0, 0}, {100, 0, 0},
    };
    for (const auto& c : cases) {
        Translate().SelectLanguage(2);  // something else first
        Translate().SelectLanguage(c.index, c.user);
        EXPECT_EQ(Translate().CurrentLanguage(), c.expected) << c.index << " / " << c.user;
    }
}

TEST_F(LanguageChoice, OtherNegativeIndexActsAsEnglish) {
    Translate().SelectLanguage(-5, 1031);
    EXPECT_EQ(Translate().LoadText(12600), QStringLiteral("Type"));
    EXPECT_EQ(Text(0xC0003138u), QStringLiteral("(none)"));
}

TEST_F(LanguageChoice, AutomaticChoiceUsesTheUserLanguage) {
    const int user = CTranslate::UserLanguageId();
    ASSERT_TRUE(Translate().LoadLanguagePackData(Pack(Translation("A", QByteArray::number(user + 1), "") +
                                                      Translation("B", QByteArray::number(user), "") +
                                                      Translation("C", QByteArray::number(user), ""))));
    Translate().SelectLanguage(-1);
    EXPECT_EQ(Translate().CurrentLanguage(), 2);
    Translate().SelectLanguage(3);
    EXPECT_EQ(Translate().CurrentLanguage(), 3);
}

TEST_F(LanguageChoice, LanguageNames) {
    const struct {
        int index;
        const char* name;
    } cases[] = {{0, "English"}, {1, "Deutsch"}, {2, "Français"}, {3, "Schweiz"}, {4, "English"}, {-1, "English"}, {11, "English"}};
    for (const auto& c : cases) EXPECT_EQ(Translate().GetLanguageName(c.index), QString::fromUtf8(c.name)) << c.index;
    Translate().Clear();
    EXPECT_EQ(Translate().GetLanguageName(1), QStringLiteral("English"));
}

// ---------------------------------------------------------------------------------
// The user's language

TEST(UserLanguage, PositiveAndStable) {
    const int id = CTranslate::UserLanguageId();
    EXPECT_GT(id, 0);
    EXPECT_LT(id, 0x10000);
    EXPECT_EQ(CTranslate::UserLanguageId(), id);
}

// The locale of a process comes from its environment when it starts; each case runs
// this test program again with the given locale and reads the identifier it reports.
TEST(UserLanguage, FromTheLocaleOfTheEnvironment) {
    const struct {
        const char* locale;
        int id;
    } cases[] = {
        {"de_DE.UTF-8", 0x0407}, {"de_AT.UTF-8", 0x0C07}, {"de_CH.UTF-8", 0x0807}, {"en_US.UTF-8", 0x0409},
        {"en_GB.UTF-8", 0x0809}, {"fr_FR.UTF-8", 0x040C}, {"fr_CA.UTF-8", 0x0C0C}, {"es_ES.UTF-8", 0x0C0A},
        {"es_MX.UTF-8", 0x080A}, {"it_IT.UTF-8", 0x0410}, {"nl_NL.UTF-8", 0x0413}, {"pt_BR.UTF-8", 0x0416},
        {"pt_PT.UTF-8", 0x0816}, {"pl_PL.UTF-8", 0x0415}, {"ru_RU.UTF-8", 0x0419}, {"sv_SE.UTF-8", 0x041D},
        {"ja_JP.UTF-8", 0x0411}, {"zh_CN.UTF-8", 0x0804}, {"zh_TW.UTF-8", 0x0404},
    };
    for (const auto& c : cases) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("LANGUAGE"));
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LC_NUMERIC", "LANG"})
            environment.insert(QString::fromLatin1(name), QString::fromLatin1(c.locale));
        environment.insert(QString::fromLatin1(LanguageIdProbe), QStringLiteral("1"));
        QProcess probe;
        probe.setProcessEnvironment(environment);
        probe.start(QCoreApplication::applicationFilePath(), {});
        ASSERT_TRUE(probe.waitForFinished(30000)) << c.locale;
        ASSERT_EQ(probe.exitCode(), 0) << c.locale;
        EXPECT_EQ(probe.readAllStandardOutput().trimmed().toInt(), c.id) << c.locale;
    }
}

// ---------------------------------------------------------------------------------
// Status and tooltip texts

TEST_F(Language, StatusAndTooltipTexts) {
    const struct {
        unsigned id;
        const char* status;
        const char* tooltip;
    } english[] = {
        {32887, "Activate sport plugin", ""},
        {10207, "Warning: Image is too large!", "\nImage cropped."},
        {10653, "You have canceled Initial setup wizard.",
         "\nIf you want to run it later, please select\n'Settings - Run initial setup wizard' command from the main menu."},
        {1, "", ""},
    };
    for (const auto& c : english) {
        EXPECT_EQ(Translate().GetStatusText(c.id), QString::fromUtf8(c.status)) << c.id;
        EXPECT_EQ(Translate().GetTooltipText(c.id), QString::fromUtf8(c.tooltip)) << c.id;
    }

    LoadFirst(Pack(Translation("T", "1",
                               Entry("C0008077", R"(Sport-Plugin aktivieren\nSport)") +
                                   Entry("C0008073", R"(\nNur Tipp)") + Entry("C00080FF", R"(Status\n)") +
                                   Entry("C00080FE", R"(A\nB\nC)"))));
    const struct {
        unsigned id;
        const char* status;
        const char* tooltip;
    } translated[] = {
        {32887, "Sport-Plugin aktivieren", "Sport"},
        {32883, "", "Nur Tipp"},
        {33023, "Status", ""},
        {33022, "A", "B\nC"},
        {10207, "Warning: Image is too large!", "\nImage cropped."},
    };
    for (const auto& c : translated) {
        EXPECT_EQ(Translate().GetStatusText(c.id), QString::fromUtf8(c.status)) << c.id;
        EXPECT_EQ(Translate().GetTooltipText(c.id), QString::fromUtf8(c.tooltip)) << c.id;
    }
}

// ---------------------------------------------------------------------------------
// Combo boxes

QStringList Items(const QComboBox& box) {
    QStringList items;
    for (int k = 0; k < box.count(); ++k) items << box.itemText(k);
    return items;
}

TEST_F(Language, FillComboBox) {
    const struct {
        const char* what;
        bool german;
        unsigned first;
        int count;
        QStringList expected;
    } cases[] = {
        {"English alignments", false, 10400, 6,
         {"Left", "Right", "Center", "Single", "One-and-a-half", "Double"}},
        {"German alignments", true, 10400, 6,
         {"Links", "Rechts", "Zentriert", "Single", "One-and-a-half", "Double"}},
        {"a missing id adds an empty item", false, 10600, 4, {"Solid", "Picture", "", "Animation"}},
        {"nothing", true, 10400, 0, {}},
        {"only missing ids", true, 1, 2, {"", ""}},
    };
    for (const auto& c : cases) {
        Reset();
        ASSERT_TRUE(Translate().LoadLanguagePack(SamplePack));
        Translate().SelectLanguage(c.german ? 1 : 0);
        QComboBox box;
        TranslateWidgets::FillComboBox(c.first, &box, c.count);
        EXPECT_EQ(Items(box), c.expected) << c.what;
    }
}

TEST_F(Language, FillComboBoxAppendsToExistingItems) {
    QComboBox box;
    box.addItem(QStringLiteral("First"));
    TranslateWidgets::FillComboBox(12150, &box, 2);
    EXPECT_EQ(Items(box), (QStringList{"First", "Up", "Down"}));
}

// ---------------------------------------------------------------------------------
// Dialogs

// A dialog with controls on several levels; all texts start in English.
struct TestDialog {
    QDialog dialog;
    QLabel* wait;        // control 1000
    QPushButton* start;  // control 1001, inside a group
    QGroupBox* group;    // control 1002
    QCheckBox* daily;    // control 1003, two levels down inside the group
    QLabel* untranslated;  // control 1004, no text in the pack
    QLabel* plain;       // no control id
    QLabel* unnamed;     // control -1

    TestDialog() {
        dialog.setWindowTitle(QStringLiteral("Script pause"));
        auto* layout = new QVBoxLayout(&dialog);
        wait = Add<QLabel>(layout, "Wait", 1000);
        group = new QGroupBox(QStringLiteral("Options"), &dialog);
        group->setProperty(TranslateWidgets::ControlIdProperty, 1002);
        layout->addWidget(group);
        auto* groupLayout = new QVBoxLayout(group);
        start = Add<QPushButton>(groupLayout, "Start", 1001);
        auto* inner = new QWidget(group);
        groupLayout->addWidget(inner);
        auto* innerLayout = new QVBoxLayout(inner);
        daily = Add<QCheckBox>(innerLayout, "Daily", 1003);
        untranslated = Add<QLabel>(layout, "sec.", 1004);
        plain = new QLabel(QStringLiteral("Plain"), &dialog);
        layout->addWidget(plain);
        unnamed = Add<QLabel>(innerLayout, "Static", -1);
    }

    template <class W>
    static W* Add(QLayout* layout, const char* text, int controlId) {
        auto* widget = new W(QString::fromUtf8(text));
        widget->setProperty(TranslateWidgets::ControlIdProperty, controlId);
        layout->addWidget(widget);
        return widget;
    }

    QStringList Texts() const {
        return {dialog.windowTitle(), wait->text(),         start->text(), group->title(),
                daily->text(),        untranslated->text(), plain->text(), unnamed->text()};
    }
};

const QByteArray DialogPack = Pack(Translation(
    "Deutsch", "1031",
    Entry("81360000", "Skriptpause") + Entry("813603E8", "Warten") + Entry("813603E9", "Starten") +
        Entry("813603EA", "Optionen") + Entry("813603EB", "Täglich") + Entry("FFFFFFFF", "Statisch") +
        // The same controls of another dialog and a key without the dialog's bits.
        Entry("813703EC", "Falsch") + Entry("000003EC", "Falsch") + Entry("C00003EC", "Falsch")));

TEST_F(Language, TranslateWindowSetsCaptionAndControls) {
    LoadFirst(DialogPack);
    TestDialog d;
    TranslateWidgets::TranslateWindow(310, &d.dialog);
    EXPECT_EQ(d.Texts(), (QStringList{"Skriptpause", "Warten", "Starten", "Optionen", "Täglich", "sec.", "Plain",
                                      "Statisch"}));
}

TEST_F(Language, TranslateWindowOfAnotherDialog) {
    LoadFirst(DialogPack);
    TestDialog d;
    // Only the control -1 has a key that is the same in every dialog.
    TranslateWidgets::TranslateWindow(1176, &d.dialog);
    EXPECT_EQ(d.Texts(), (QStringList{"Script pause", "Wait", "Start", "Options", "Daily", "sec.", "Plain", "Statisch"}));
}

TEST_F(Language, TranslateWindowInEnglishChangesNothing) {
    ASSERT_TRUE(Translate().LoadLanguagePackData(DialogPack));
    TestDialog d;
    const QStringList before = d.Texts();
    TranslateWidgets::TranslateWindow(310, &d.dialog);
    EXPECT_EQ(d.Texts(), before);
}

TEST_F(Language, TranslateWindowWithTheSamplePack) {
    ASSERT_TRUE(Translate().LoadLanguagePack(SamplePack));
    Translate().SelectLanguage(1);
    QDialog panel;
    panel.setWindowTitle(QStringLiteral("Sport Control Center"));
    TranslateWidgets::TranslateWindow(1176, &panel);
    EXPECT_EQ(panel.windowTitle(), QStringLiteral("Sport-Steuerzentrale"));

    TestDialog d;
    TranslateWidgets::TranslateWindow(310, &d.dialog);
    EXPECT_EQ(d.dialog.windowTitle(), QStringLiteral("Skriptpause"));
    EXPECT_EQ(d.wait->text(), QStringLiteral("Warten"));
    EXPECT_EQ(d.start->text(), QStringLiteral("Start"));
}

// ---------------------------------------------------------------------------------
// Menus

QAction* AddCommand(QMenu* menu, const char* text, unsigned commandId) {
    QAction* action = menu->addAction(QString::fromUtf8(text));
    action->setProperty(TranslateWidgets::CommandIdProperty, commandId);
    return action;
}

TEST_F(Language, TranslateMenuCountsSubmenusDepthFirst) {
    // Keys written out: 4800 + counter in the high half, the command in the low half.
    LoadFirst(Pack(Translation("Deutsch", "1031",
                               Entry("48000064", "Neu") + Entry("48010000", "Datei") + Entry("48010065", "Öffnen") +
                                   Entry("48020000", "Zuletzt") + Entry("48020066", "Leeren") +
                                   Entry("48020067", "Beenden") + Entry("48030000", "Ansicht") +
                                   Entry("48030068", "Navigator") + Entry("48030069", "Info") +
                                   // The same items under other counters.
                                   Entry("48010067", "Falsch") + Entry("48000069", "Falsch") +
                                   Entry("48000000", "Falsch"))));
    QMenu bar;
    QAction* newItem = AddCommand(&bar, "New", 100);                      // counter 0
    bar.addSeparator();
    QMenu* file = bar.addMenu(QStringLiteral("File"));                    // submenu 1
    QAction* open = AddCommand(file, "Open", 101);                        // counter 1
    file->addSeparator();
    QMenu* recent = file->addMenu(QStringLiteral("Recent"));              // submenu 2
    QAction* clear = AddCommand(recent, "Clear", 102);                    // counter 2
    QAction* exit = AddCommand(file, "Exit", 103);                        // counter 2
    bar.addSeparator();
    QMenu* view = bar.addMenu(QStringLiteral("View"));                    // submenu 3
    QAction* navigator = AddCommand(view, "Navigator", 104);              // counter 3
    QAction* statusBar = AddCommand(view, "Status bar", 106);             // no text in the pack
    QAction* about = AddCommand(&bar, "About", 105);                      // counter 3

    Translate().PopupCounter = 0;
    TranslateWidgets::TranslateMenu(128, &bar);

    const QStringList texts{newItem->text(), file->menuAction()->text(),   open->text(),
                            recent->menuAction()->text(), clear->text(), exit->text(),
                            view->menuAction()->text(),   navigator->text(), statusBar->text(),
                            about->text()};
    EXPECT_EQ(texts, (QStringList{"Neu", "Datei", "Öffnen", "Zuletzt", "Leeren", "Beenden", "Ansicht", "Navigator",
                                  "Status bar", "Info"}));
    EXPECT_EQ(Translate().PopupCounter, 3);
    // The separator before "File" would have the key 48000000 if it were not skipped.
    int separators = 0;
    for (QAction* action : bar.actions()) {
        if (!action->isSeparator()) continue;
        ++separators;
        EXPECT_EQ(action->text(), QString());
    }
    EXPECT_EQ(separators, 2);
}

TEST_F(Language, TranslateMenuCounterWrapsAtSixteen) {
    LoadFirst(Pack(Translation("T", "1", Entry("48000000", "Null") + Entry("48010000", "Eins"))));
    QMenu bar;
    std::vector<QMenu*> submenus;
    for (int k = 1; k <= 17; ++k) submenus.push_back(bar.addMenu(QStringLiteral("M%1").arg(k)));
    Translate().PopupCounter = 0;
    TranslateWidgets::TranslateMenu(128, &bar);
    for (int k = 1; k <= 17; ++k) {
        const QString expected = k == 1 || k == 17 ? QStringLiteral("Eins") : k == 16 ? QStringLiteral("Null")
                                                                                       : QStringLiteral("M%1").arg(k);
        EXPECT_EQ(submenus[size_t(k - 1)]->menuAction()->text(), expected) << k;
    }
}

TEST_F(Language, TranslateMenuUsesTheMenuId) {
    // Menu 130: 4000 + (130 << 4) = 4820.
    LoadFirst(Pack(Translation("T", "1", Entry("48200064", "Kontext") + Entry("48000064", "Hauptmenü"))));
    QMenu context;
    QAction* item = AddCommand(&context, "Item", 100);
    Translate().PopupCounter = 0;
    TranslateWidgets::TranslateMenu(130, &context);
    EXPECT_EQ(item->text(), QStringLiteral("Kontext"));
}

TEST_F(Language, TranslateMenuWithTheSamplePack) {
    ASSERT_TRUE(Translate().LoadLanguagePack(SamplePack));
    Translate().SelectLanguage(1);
    QMenu bar;
    QMenu* file = bar.addMenu(QStringLiteral("&File"));
    AddCommand(file, "E&xit", 57665);
    QMenu* edit = bar.addMenu(QStringLiteral("&Edit"));
    AddCommand(edit, "&Copy\tCtrl+C", 57634);
    QMenu* view = bar.addMenu(QStringLiteral("&View"));
    QAction* navigator = AddCommand(view, "Object &Navigator\tF3", 32883);
    Translate().PopupCounter = 0;
    TranslateWidgets::TranslateMenu(128, &bar);
    EXPECT_EQ(file->menuAction()->text(), QStringLiteral("&Datei"));
    EXPECT_EQ(edit->menuAction()->text(), QStringLiteral("&Edit"));
    EXPECT_EQ(navigator->text(), QStringLiteral("Objekt-&Navigator\tF3"));
}

TEST_F(Language, TranslateMenuInEnglishChangesNothing) {
    ASSERT_TRUE(Translate().LoadLanguagePack(SamplePack));
    QMenu bar;
    QMenu* file = bar.addMenu(QStringLiteral("&File"));
    Translate().PopupCounter = 0;
    TranslateWidgets::TranslateMenu(128, &bar);
    EXPECT_EQ(file->menuAction()->text(), QStringLiteral("&File"));
    EXPECT_EQ(Translate().PopupCounter, 1);  // the counter still counts
}

}  // namespace

// The editor's presenter: a modal box with the text, the icon and the buttons the
// flags ask for; the button pressed is the result.
TEST_F(Language, MessageBoxPresenterShowsTextIconAndButtons) {
    const struct {
        unsigned flags;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton press;
        int result;
    } cases[] = {
        {MbIconError, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok, IdOk},
        {MbIconWarning, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok, IdOk},
        {MbYesNoCancel | MbIconQuestion, QMessageBox::Question,
         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::No, IdNo},
        {MbYesNo | MbIconQuestion, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, IdYes},
        {MbOkCancel, QMessageBox::NoIcon, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel, IdCancel},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        QString seenText, seenTitle;
        QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons seenButtons;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            seenText = box->text();
            seenTitle = box->windowTitle();
            seenIcon = box->icon();
            seenButtons = box->standardButtons();
            box->button(c.press)->click();
        });
        CMessageBoxPresenter presenter;
        IMessagePresenter* previous = Translate().SetPresenter(&presenter);
        const int result = Translate().MessageBoxFormat(10311, c.flags, {"/p/a.corvane"});
        Translate().SetPresenter(previous);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(seenText, QStringLiteral("Error: File open failed!\n\n/p/a.corvane"));
        EXPECT_EQ(seenTitle, QStringLiteral("Corvane"));
        EXPECT_EQ(seenIcon, c.icon);
        EXPECT_EQ(seenButtons, c.buttons);
    }
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet(LanguageIdProbe)) {
        // Child of UserLanguage.FromTheLocaleOfTheEnvironment.
        std::printf("%d\n", CTranslate::UserLanguageId());
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
