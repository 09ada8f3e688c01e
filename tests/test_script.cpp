// Scripts: the model, the file the writer makes (golden bytes), files written by
// hand and on Windows, refusals of what is not a script, and saves that fail.
#include "tests/FileSizeLimit.h"
#include "tests/TempFolderFixture.h"
#include "script/FrameScript.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

// Shown by the test framework when items differ.
void PrintTo(const CFrameScriptItem& item, std::ostream* os) {
    *os << "{" << int(item.type) << ", \"" << item.sdata.toStdString() << "\", " << item.idata << "}";
}

namespace {

using Kind = ScriptActionType;

class ScriptTest : public TempFolderFixture {
protected:
    static void Add(CFrameScript& script, Kind kind, const QString& sdata = QString(), int32_t idata = 0) {
        script.Append(std::make_unique<CFrameScriptItem>(kind, sdata, idata));
    }
    static std::vector<CFrameScriptItem> Items(const CFrameScript& script) {
        std::vector<CFrameScriptItem> items;
        for (int k = 0; k < script.Count(); ++k) items.push_back(*script.Item(k));
        return items;
    }

};

// ---------------------------------------------------------------------------------
// Writing

TEST_F(ScriptTest, SavedFileHasTheDocumentedLayoutByteForByte) {
    CFrameScript script;
    script.SetLoop(true);
    Add(script, Kind::LoadPage, Folder() + QStringLiteral("Pages/Opening.corvane"));
    Add(script, Kind::WaitPeriod, QString(), 10);
    const QString path = Path(QStringLiteral("Run.script"));
    ASSERT_TRUE(script.SaveFile(path)) << script.LastError().toStdString();
    EXPECT_EQ(Contents(path), QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n"
                                         "<script loop=\"1\">\r\n"
                                         "    <item type=\"0\" sdata=\"+Pages/Opening.corvane\" idata=\"0\" />\r\n"
                                         "    <item type=\"8\" sdata=\"\" idata=\"10\" />\r\n"
                                         "</script>\r\n"));
    EXPECT_EQ(script.FileName(), path);
    EXPECT_EQ(Files(), QStringList{QStringLiteral("Run.script")});  // no temporary file left
}

TEST_F(ScriptTest, SavedFileEscapesTextsAndKeepsOtherPathsAndGroupsAsTheyAre) {
    CFrameScript script;
    Add(script, Kind::AddObjects, QStringLiteral("/elsewhere/Logo.corvane"));
    Add(script, Kind::PlayObjects, QStringLiteral("+Team <A> & \"B\""));
    Add(script, Kind::EndObjects, QStringLiteral("caf\u00e9 'x' &#x41;"));
    Add(script, Kind::WaitUntilTime, QString(), -5);
    const QByteArray bytes = script.Serialize(Path(QStringLiteral("Run.script")));
    EXPECT_EQ(bytes, QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n"
                                "<script loop=\"0\">\r\n"
                                "    <item type=\"1\" sdata=\"/elsewhere/Logo.corvane\" idata=\"0\" />\r\n"
                                "    <item type=\"2\" sdata='+Team &lt;A&gt; &amp; &quot;B&quot;' idata=\"0\" />\r\n"
                                "    <item type=\"4\" sdata=\"caf\xc3\xa9 &apos;x&apos; &amp;#x41;\" idata=\"0\" />\r\n"
                                "    <item type=\"9\" sdata=\"\" idata=\"-5\" />\r\n"
                                "</script>\r\n"));
}

TEST_F(ScriptTest, AnEmptyScriptCanBeSaved) {
    CFrameScript script;
    const QString path = Path(QStringLiteral("Empty.script"));
    ASSERT_TRUE(script.SaveFile(path));
    EXPECT_EQ(Contents(path), QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<script loop=\"0\" />\r\n"));
    // ... but it does not load: a script without actions is not a script.
    EXPECT_FALSE(script.LoadFile(path));
}

TEST_F(ScriptTest, PagePathsBelowTheScriptFolderAreStoredRelative) {
    struct Case {
        QString page;
        QString stored;
    };
    const QString folder = Folder();
    const Case cases[] = {
        {folder + QStringLiteral("Open.corvane"), QStringLiteral("+Open.corvane")},
        {folder + QStringLiteral("Pages/Open.corvane"), QStringLiteral("+Pages/Open.corvane")},
        {folder, folder},  // not longer than the folder
        {dir.path() + QStringLiteral("x/Open.corvane"), dir.path() + QStringLiteral("x/Open.corvane")},
        {QStringLiteral("/other/Open.corvane"), QStringLiteral("/other/Open.corvane")},
        {QStringLiteral("C:\\Shows\\Open.corvane"), QStringLiteral("C:\\Shows\\Open.corvane")},
        {QString(), QString()},
    };
    for (const Case& c : cases) {
        CFrameScript script;
        Add(script, Kind::LoadPage, c.page);
        const QByteArray bytes = script.Serialize(Path(QStringLiteral("Run.script")));
        const QByteArray expected = "sdata=\"" + c.stored.toUtf8() + "\"";
        EXPECT_TRUE(bytes.contains(expected)) << c.page.toStdString() << "\n" << bytes.toStdString();
    }
}

TEST_F(ScriptTest, TextsLongerThanTheLimitAreRefusedAndTheOldFileKept) {
    const QString path = Path(QStringLiteral("Run.script"));
    CFrameScript script;
    Add(script, Kind::PlayObjects, QString(CFrameScript::MaxStoredTextBytes, u'g'));
    ASSERT_TRUE(script.SaveFile(path)) << script.LastError().toStdString();
    const QByteArray previous = Contents(path);

    struct Case {
        Kind kind;
        QString sdata;
    };
    const QString twoByteLetters(CFrameScript::MaxStoredTextBytes / 2 + 1, QChar(0xe9));  // 8192 bytes in UTF-8
    const Case cases[] = {
        {Kind::PlayObjects, QString(CFrameScript::MaxStoredTextBytes + 1, u'g')},
        {Kind::DeleteObjects, twoByteLetters},
        {Kind::LoadPage, QStringLiteral("/x/") + QString(CFrameScript::MaxStoredTextBytes, u'p')},
    };
    for (const Case& c : cases) {
        CFrameScript longer;
        Add(longer, Kind::WaitPeriod, QString(), 3);
        Add(longer, c.kind, c.sdata);
        EXPECT_FALSE(longer.SaveFile(path));
        EXPECT_TRUE(longer.LastError().contains(QStringLiteral("action 2"))) << longer.LastError().toStdString();
        EXPECT_TRUE(longer.FileName().isEmpty());
        EXPECT_EQ(longer.Count(), 2);
        EXPECT_EQ(Contents(path), previous);
    }
    // The limit counts the stored form: a long page path below the folder fits.
    CFrameScript relative;
    Add(relative, Kind::LoadPage, Folder() + QString(CFrameScript::MaxStoredTextBytes - 1, u'p'));
    EXPECT_TRUE(relative.SaveFile(path)) << relative.LastError().toStdString();
}

TEST_F(ScriptTest, ASaveOnAFullDiskKeepsTheOldFileByteForByte) {
    const QString path = Path(QStringLiteral("Run.script"));
    CFrameScript old;
    Add(old, Kind::PlayObjects, QStringLiteral("old"));
    ASSERT_TRUE(old.SaveFile(path));
    const QByteArray previous = Contents(path);

    CFrameScript script;
    script.SetLoop(true);
    for (int k = 0; k < 40; ++k) Add(script, Kind::WaitPeriod, QString(), k);
    Add(script, Kind::LoadPage, Folder() + QStringLiteral("Pages/Page.corvane"));
    const std::vector<CFrameScriptItem> items = Items(script);
    const qsizetype full = script.Serialize(path).size();
    for (const qsizetype room : {qsizetype(0), qsizetype(1), qsizetype(200), full - 1}) {
        SCOPED_TRACE(room);
        {
            FileSizeLimit limit{rlim_t(room)};
            ASSERT_TRUE(limit.Active());
            EXPECT_FALSE(script.SaveFile(path));
        }
        EXPECT_FALSE(script.LastError().isEmpty());
        EXPECT_EQ(Contents(path), previous);
        EXPECT_EQ(Files(), QStringList{QStringLiteral("Run.script")});
        // The script itself is untouched and still has no file.
        EXPECT_TRUE(script.FileName().isEmpty());
        EXPECT_TRUE(script.Loop());
        EXPECT_EQ(Items(script), items);
    }
    EXPECT_TRUE(script.SaveFile(path));
    EXPECT_EQ(Contents(path), script.Serialize(path));
}

TEST_F(ScriptTest, ASaveOverWhatIsNotARegularFileIsRefused) {
    const QString fifo = Path(QStringLiteral("fifo.script"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkpath(Path(QStringLiteral("folder.script"))));
    CFrameScript script;
    Add(script, Kind::StopObjects);
    for (const QString& path : {fifo, Path(QStringLiteral("folder.script")), QStringLiteral("/dev/null")}) {
        EXPECT_FALSE(script.SaveFile(path)) << path.toStdString();
        EXPECT_TRUE(script.FileName().isEmpty());
    }
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

// ---------------------------------------------------------------------------------
// Reading

TEST_F(ScriptTest, HandWrittenFileLoads) {
    const QString path = Put(QStringLiteral("Show.script"),
                             "\xef\xbb\xbf<?xml version=\"1.0\"?>\n"
                             "<!-- written by hand -->\n"
                             "<script loop=\" 2 \">\n"
                             "  <item idata=\"5\" sdata=\"Anchors\" type=\"3\"/>\n"
                             "  <note type=\"2\"/>\n"
                             "  <item type=\"8\" idata=\"0\"></item>\n"
                             "  <item type=\"9\" idata=\"75600 seconds\" sdata=\"unused\"/>\n"
                             "  <group><item type=\"5\"/></group>\n"
                             "  <item type='2' sdata='+Team &amp; Co'/>\n"
                             "  <item type=\"1\" sdata=\"+Pages/Caf&#xE9;.corvane\"/>\n"
                             "  text between items\n"
                             "</script>\n");
    CFrameScript script;
    ASSERT_TRUE(script.LoadFile(path)) << script.LastError().toStdString();
    EXPECT_EQ(script.FileName(), path);
    EXPECT_EQ(script.DisplayName(), QStringLiteral("Show"));
    EXPECT_TRUE(script.Loop());
    const std::vector<CFrameScriptItem> expected = {
        CFrameScriptItem(Kind::PauseObjects, QStringLiteral("Anchors"), 5),
        CFrameScriptItem(Kind::WaitPeriod, QString(), 0),  // no editor makes it, but it loads
        CFrameScriptItem(Kind::WaitUntilTime, QStringLiteral("unused"), 75600),
        CFrameScriptItem(Kind::PlayObjects, QStringLiteral("+Team & Co"), 0),  // groups never move
        CFrameScriptItem(Kind::AddObjects, Folder() + QStringLiteral("Pages/Caf\u00e9.corvane"), 0),
    };
    EXPECT_EQ(Items(script), expected);
}

TEST_F(ScriptTest, WindowsWrittenFileLoadsWithItsPagesBesideIt) {
    const QString path = Put(QStringLiteral("Copy/Run.script"),
                             "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n"
                             "<script loop=\"0\">\r\n"
                             "    <item type=\"0\" sdata=\"+Pages\\Opening.corvane\" idata=\"0\" />\r\n"
                             "    <item type=\"1\" sdata=\"+Pages\\Sub\\Logo.corvane\" idata=\"0\" />\r\n"
                             "    <item type=\"0\" sdata=\"C:\\Shows\\Other.corvane\" idata=\"0\" />\r\n"
                             "    <item type=\"6\" sdata=\"+Lower\\Thirds\" idata=\"0\" />\r\n"
                             "    <item type=\"8\" sdata=\"\" idata=\"10\" />\r\n"
                             "</script>\r\n");
    CFrameScript script;
    ASSERT_TRUE(script.LoadFile(path)) << script.LastError().toStdString();
    const QString folder = Path(QStringLiteral("Copy/"));
    const std::vector<CFrameScriptItem> expected = {
        CFrameScriptItem(Kind::LoadPage, folder + QStringLiteral("Pages/Opening.corvane"), 0),
        CFrameScriptItem(Kind::AddObjects, folder + QStringLiteral("Pages/Sub/Logo.corvane"), 0),
        CFrameScriptItem(Kind::LoadPage, QStringLiteral("C:\\Shows\\Other.corvane"), 0),
        CFrameScriptItem(Kind::DeleteObjects, QStringLiteral("+Lower\\Thirds"), 0),
        CFrameScriptItem(Kind::WaitPeriod, QString(), 10),
    };
    EXPECT_EQ(Items(script), expected);
    EXPECT_FALSE(script.Loop());
    EXPECT_EQ(script.Item(0)->ListText(), QStringLiteral("Load page file: Opening"));
    EXPECT_EQ(script.Item(2)->ListText(), QStringLiteral("Load page file: Other"));

    // Saved again it stores the Linux form.
    ASSERT_TRUE(script.SaveFile(path));
    EXPECT_TRUE(Contents(path).contains("sdata=\"+Pages/Sub/Logo.corvane\""));
    EXPECT_TRUE(Contents(path).contains("sdata=\"+Lower\\Thirds\""));
}

TEST_F(ScriptTest, ItemsWithoutAKnownKindAreSkipped) {
    struct Case {
        const char* items;
        std::vector<CFrameScriptItem> expected;
    };
    const Case cases[] = {
        {"<item sdata=\"a\"/><item type=\"2\" sdata=\"b\"/>", {CFrameScriptItem(Kind::PlayObjects, "b")}},
        {"<item type=\"10\"/><item type=\"-1\"/><item type=\"4\"/>", {CFrameScriptItem(Kind::EndObjects)}},
        {"<item type=\"2147483648\"/><item type=\"9x\" idata=\"60\"/>",
         {CFrameScriptItem(Kind::WaitUntilTime, QString(), 60)}},
        // A kind that is not a number reads as 0, a page load.
        {"<item type=\"play\" sdata=\"/p.corvane\"/>", {CFrameScriptItem(Kind::LoadPage, "/p.corvane")}},
        {"<item type=\" 7 \" idata=\"-3\"/>", {CFrameScriptItem(Kind::WaitObjectsEnd, QString(), -3)}},
        {"<Item type=\"2\"/><item type=\"3\"/>", {CFrameScriptItem(Kind::PauseObjects)}},
    };
    for (const Case& c : cases) {
        const QString path =
            Put(QStringLiteral("Run.script"), QByteArray("<script>") + c.items + QByteArray("</script>"));
        CFrameScript script;
        ASSERT_TRUE(script.LoadFile(path)) << c.items;
        EXPECT_EQ(Items(script), c.expected) << c.items;
    }
}

TEST_F(ScriptTest, LoopReadsAnyNonZeroLeadingIntegerAndSavesAsOne) {
    struct Case {
        const char* root;
        bool loop;
    };
    const Case cases[] = {
        {"<script loop=\"1\">", true},  {"<script loop=\"2\">", true},   {"<script loop=\"-1\">", true},
        {"<script loop=\"yes\">", false}, {"<script loop=\"0\">", false}, {"<script>", false},
        {"<script loop=\"\">", false},  {"<script loop=\"3 times\">", true},
    };
    for (const Case& c : cases) {
        const QString path = Put(QStringLiteral("Run.script"), QByteArray(c.root) + "<item type=\"5\"/></script>");
        CFrameScript script;
        ASSERT_TRUE(script.LoadFile(path)) << c.root;
        EXPECT_EQ(script.Loop(), c.loop) << c.root;
        EXPECT_TRUE(script.Serialize(path).contains(c.loop ? "<script loop=\"1\">" : "<script loop=\"0\">")) << c.root;
    }
}

TEST_F(ScriptTest, RefusedFilesLeaveAnEmptyNamelessScriptAndSayWhy) {
    const QString good = Put(QStringLiteral("Good.script"), "<script loop=\"1\"><item type=\"2\"/></script>");
    const QString fifo = Path(QStringLiteral("fifo.script"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkpath(Path(QStringLiteral("folder.script"))));
    // Larger than the cap without writing it: a sparse file.
    const QString large = Put(QStringLiteral("Large.script"), "<script><item type=\"2\"/></script>");
    ASSERT_EQ(::truncate(QFile::encodeName(large).constData(), CFrameScript::MaxFileBytes + 1), 0);
    QByteArray deep = "<script><item type=\"2\"/>";
    for (int k = 0; k < 100; ++k) deep += "<x>";
    for (int k = 0; k < 100; ++k) deep += "</x>";
    deep += "</script>";

    struct Case {
        QString path;
        const char* cause;
    };
    const Case cases[] = {
        {Path(QStringLiteral("missing.script")), "cannot be opened"},
        {fifo, "not a regular file"},
        {QStringLiteral("/dev/zero"), "not a regular file"},
        {Path(QStringLiteral("folder.script")), "not a regular file"},
        {large, "too large"},
        {Put(QStringLiteral("Deep.script"), deep), "nested deeper"},
        {Put(QStringLiteral("Broken.script"), "<script><item type=\"2\"></script>"), "not well-formed"},
        {Put(QStringLiteral("Truncated.script"), "<script><item type=\"2\"/"), "not well-formed"},
        {Put(QStringLiteral("Empty.script"), ""), "not well-formed"},
        {Put(QStringLiteral("Binary.script"), QByteArray("\x00\x01\x02<script>", 11)), "not well-formed"},
        {Put(QStringLiteral("Other.script"), "<page><item type=\"2\"/></page>"), "no <script> element"},
        {Put(QStringLiteral("NoItems.script"), "<script loop=\"1\"/>"), "no action"},
        {Put(QStringLiteral("Unknown.script"), "<script><item type=\"12\"/><item/></script>"), "no action"},
        {Put(QStringLiteral("Nested.script"), "<script><list><item type=\"2\"/></list></script>"), "no action"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        CFrameScript script;
        ASSERT_TRUE(script.LoadFile(good));
        ASSERT_EQ(script.Count(), 1);
        EXPECT_FALSE(script.LoadFile(c.path));
        EXPECT_EQ(script.Count(), 0);
        EXPECT_FALSE(script.Loop());
        EXPECT_TRUE(script.FileName().isEmpty());
        EXPECT_TRUE(script.DisplayName().isEmpty());
        EXPECT_TRUE(script.LastError().contains(QString::fromUtf8(c.cause))) << script.LastError().toStdString();
    }
}

TEST_F(ScriptTest, RoundTripKeepsEveryKindAndTheBytes) {
    CFrameScript script;
    script.SetLoop(true);
    Add(script, Kind::LoadPage, Folder() + QStringLiteral("Pages/Open.corvane"));
    Add(script, Kind::AddObjects, QStringLiteral("/shared/Logo \u00c5.corvane"));
    Add(script, Kind::PlayObjects);
    Add(script, Kind::PauseObjects, QStringLiteral("+Plus"));
    Add(script, Kind::EndObjects, QStringLiteral(" padded\tgroup\n"));
    Add(script, Kind::StopObjects, QStringLiteral("a&#x41;b&#x"));
    Add(script, Kind::DeleteObjects, QStringLiteral("\u65b0\u95fb \U0001F600"));
    Add(script, Kind::WaitObjectsEnd, QStringLiteral("<>&\"'"));
    Add(script, Kind::WaitPeriod, QString(), 0);
    Add(script, Kind::WaitUntilTime, QString(), 2147483647);
    Add(script, Kind::WaitPeriod, QString(), -2147483647 - 1);

    const QString path = Path(QStringLiteral("Run.script"));
    ASSERT_TRUE(script.SaveFile(path));
    const QByteArray saved = Contents(path);
    CFrameScript loaded;
    ASSERT_TRUE(loaded.LoadFile(path)) << loaded.LastError().toStdString();
    EXPECT_EQ(Items(loaded), Items(script));
    EXPECT_TRUE(loaded.Loop());
    EXPECT_TRUE(loaded.SameContent(script));
    const QString again = Path(QStringLiteral("Again.script"));
    ASSERT_TRUE(loaded.SaveFile(again));
    EXPECT_EQ(Contents(again), saved);
    EXPECT_EQ(loaded.FileName(), again);

    // Moved together with its pages, the script finds them in the new place.
    const QString moved = Path(QStringLiteral("Elsewhere/Run.script"));
    Put(QStringLiteral("Elsewhere/Run.script"), saved);
    ASSERT_TRUE(loaded.LoadFile(moved));
    EXPECT_EQ(loaded.Item(0)->sdata, Path(QStringLiteral("Elsewhere/Pages/Open.corvane")));
    EXPECT_EQ(loaded.Item(1)->sdata, script.Item(1)->sdata);
    EXPECT_EQ(loaded.Item(3)->sdata, QStringLiteral("+Plus"));
}

// ---------------------------------------------------------------------------------
// The model and what the editor shows of it

TEST(ScriptModel, ListTextsByKind) {
    struct Case {
        CFrameScriptItem item;
        const char* text;
    };
    const Case cases[] = {
        {CFrameScriptItem(Kind::LoadPage, "/shows/Pages/Opening.corvane"), "Load page file: Opening"},
        {CFrameScriptItem(Kind::AddObjects, "/shows/v1.2/Logo.old.corvane"), "Add objects from page file: Logo.old"},
        {CFrameScriptItem(Kind::AddObjects, "C:\\Shows\\Logo.corvane"), "Add objects from page file: Logo"},
        {CFrameScriptItem(Kind::PlayObjects), "Play all objects"},
        {CFrameScriptItem(Kind::PauseObjects), "Pause all objects"},
        {CFrameScriptItem(Kind::EndObjects), "End all objects"},
        {CFrameScriptItem(Kind::StopObjects), "Stop all objects"},
        {CFrameScriptItem(Kind::DeleteObjects), "Delete all objects"},
        {CFrameScriptItem(Kind::WaitObjectsEnd), "Wait untill all objects end"},
        {CFrameScriptItem(Kind::PlayObjects, "News"), "Play objects group: News"},
        {CFrameScriptItem(Kind::PauseObjects, "News"), "Pause objects group: News"},
        {CFrameScriptItem(Kind::EndObjects, "News"), "End objects group: News"},
        {CFrameScriptItem(Kind::StopObjects, "News"), "Stop objects group: News"},
        {CFrameScriptItem(Kind::DeleteObjects, "News"), "Delete objects in group: News"},
        {CFrameScriptItem(Kind::WaitObjectsEnd, "News"), "Wait untill objects in group: News end"},
        {CFrameScriptItem(Kind::PlayObjects, "100% %s"), "Play objects group: 100% %s"},
        {CFrameScriptItem(Kind::WaitPeriod, "ignored", 10), "Wait 10 seconds"},
        {CFrameScriptItem(Kind::WaitPeriod, QString(), 0), "Wait 0 seconds"},
        {CFrameScriptItem(Kind::WaitUntilTime, QString(), 43200), "Wait until 12:00:00"},
        {CFrameScriptItem(Kind::WaitUntilTime, QString(), 3600 * 23 + 60 * 5 + 9), "Wait until 23:05:09"},
        {CFrameScriptItem(Kind::WaitUntilTime, QString(), 0), "Wait until 00:00:00"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.item.ListText(), QString::fromUtf8(c.text)) << c.text;
}

TEST(ScriptModel, DisplayNameIsTheFileNameWithoutFolderAndExtension) {
    struct Case {
        const char* file;
        const char* name;
    };
    const Case cases[] = {
        {"/shows/Monday.script", "Monday"}, {"/shows/v1.2/Late.show.script", "Late.show"},
        {"relative/Run", "Run"},            {"/shows/.script", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScriptFile::NameWithoutFolderAndExtension(QString::fromUtf8(c.file)), QString::fromUtf8(c.name)) << c.file;
}

TEST(ScriptModel, TimeColumnShowsTheRunningTotalWhereItChanges) {
    struct Case {
        std::vector<std::pair<Kind, int32_t>> items;
        QStringList texts;
    };
    const Case cases[] = {
        {{{Kind::WaitPeriod, 10}, {Kind::PlayObjects, 0}, {Kind::WaitPeriod, 3600}, {Kind::EndObjects, 0}},
         {"", "0:10", "", "1:00:10"}},
        {{{Kind::PlayObjects, 0}, {Kind::EndObjects, 0}}, {"", ""}},
        {{{Kind::WaitPeriod, 65}, {Kind::WaitPeriod, 0}, {Kind::WaitPeriod, 3535}, {Kind::StopObjects, 0}},
         {"", "1:05", "", "1:00:00"}},
        {{{Kind::WaitUntilTime, 100}, {Kind::WaitPeriod, 59}, {Kind::WaitPeriod, 1}, {Kind::WaitPeriod, 1}},
         {"", "", "0:59", "1:00"}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        CFrameScript script;
        for (const auto& [kind, idata] : c.items) script.Append(std::make_unique<CFrameScriptItem>(kind, QString(), idata));
        EXPECT_EQ(script.TimeColumn(), c.texts);
    }
}

TEST(ScriptModel, ItemsAreCreatedMovedAndRemovedInPlace) {
    EXPECT_EQ(CFrameScriptItem(), CFrameScriptItem(Kind::DeleteObjects, QString(), 0));
    EXPECT_EQ(*CFrameScriptItem::Added(Kind::WaitPeriod), CFrameScriptItem(Kind::WaitPeriod, QString(), 10));
    EXPECT_EQ(*CFrameScriptItem::Added(Kind::WaitUntilTime), CFrameScriptItem(Kind::WaitUntilTime, QString(), 43200));
    EXPECT_EQ(*CFrameScriptItem::Added(Kind::EndObjects), CFrameScriptItem(Kind::EndObjects));
    EXPECT_EQ(*CFrameScriptItem::Added(Kind::LoadPage), CFrameScriptItem(Kind::LoadPage));

    CFrameScript script;
    for (int k = 0; k < 4; ++k) script.Append(std::make_unique<CFrameScriptItem>(Kind::WaitPeriod, QString(), k));
    const CFrameScriptItem* second = script.Item(1);
    script.SwapWithNext(1);
    EXPECT_EQ(script.Item(2), second);  // the same item, moved
    script.RemoveAt(0);
    std::vector<int32_t> order;
    for (int k = 0; k < script.Count(); ++k) order.push_back(script.Item(k)->idata);
    EXPECT_EQ(order, (std::vector<int32_t>{2, 1, 3}));
    script.SetLoop(true);
    script.Clear();
    EXPECT_EQ(script.Count(), 0);
    EXPECT_FALSE(script.Loop());
}

}  // namespace
