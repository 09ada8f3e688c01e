// Plug-in run-time data: table lines and files, the output files (golden bytes),
// selectors, the state file (golden bytes, "+" paths, a moved folder) and the start.
#include "tests/PluginFixture.h"

#include <QThread>

#include <algorithm>
#include <atomic>

namespace {

class PluginData : public PluginFixture {
protected:
    // A plug-in with one item of each kind, a variable and two selectors.
    void SetUp() override {
        PluginFixture::SetUp();
        ASSERT_TRUE(Define(R"(<data><text id="title"/><table id="players"/><image id="logo" type="png"/></data>
          <variables><var id="score" min="-5" max="5"/></variables>
          <selectors><selector id="scorer" table="players" format="%2%, %1%"/><selector id="wrong" table="title"/></selectors>
          <pages><page id="p"/></pages><ui/>)"));
        title = plugin.FindData(QStringLiteral("title"));
        players = static_cast<CPluginDataTable*>(plugin.FindData(QStringLiteral("players")));
        logo = plugin.FindData(QStringLiteral("logo"));
        score = plugin.FindVariable(QStringLiteral("score"));
        scorer = plugin.FindSelector(QStringLiteral("scorer"));
        wrong = plugin.FindSelector(QStringLiteral("wrong"));
        plugin.fileObserver = [this](const QString& path, bool written) {
            observed.append((written ? QStringLiteral("+") : QStringLiteral("-")) + QFileInfo(path).fileName());
        };
    }

    CPluginData* title = nullptr;
    CPluginDataTable* players = nullptr;
    CPluginData* logo = nullptr;
    CPluginVariable* score = nullptr;
    CPluginSelector* scorer = nullptr;
    CPluginSelector* wrong = nullptr;
    QStringList observed;
};

QStringList Cells(std::initializer_list<const char*> cells) {
    QStringList list;
    for (const char* c : cells) list.append(QString::fromUtf8(c));
    return list;
}

TEST(PluginTable, SplitLine) {
    const struct {
        const char* line;
        QStringList cells;
    } cases[] = {
        {"", {}},
        {"a", Cells({"a"})},
        {"a;b,c", Cells({"a", "b", "c"})},
        {"a;", Cells({"a", ""})},
        {";", Cells({"", ""})},
        {",,", Cells({"", "", ""})},
        {" a ; b ", Cells({" a ", " b "})},
        {"\"x;y\";z", Cells({"x;y", "z"})},
        {"\"a\"\"b\"", Cells({"a\"b"})},
        {"\"a\";", Cells({"a", ""})},
        {"\"unterminated;still", Cells({"unterminated;still"})},
        {"\"unterminated;", Cells({"unterminated;", ""})},
        {"\"unterminated", Cells({"unterminated"})},
        {"\"a\"b\"", Cells({"ab"})},
        {"\"a\"\"\"", Cells({"a\"\""})},
        {"\"\"", Cells({""})},
        {"\"", Cells({""})},
        {"x\"y\";z", Cells({"x\"y\"", "z"})},
        {"1,\"Smith, J.\",9", Cells({"1", "Smith, J.", "9"})},
        {"\"a\",\"b\"", Cells({"a", "b"})},
        {"tab\tand\ffeed", Cells({"tab\tand\ffeed"})},
    };
    for (const auto& c : cases) EXPECT_EQ(PluginTable::SplitLine(QString::fromUtf8(c.line)), c.cells) << c.line;
}

TEST_F(PluginData, TableFilesInEveryEncoding) {
    const struct {
        const char* name;
        QByteArray bytes;
        std::vector<QStringList> rows;
        int columns;
    } cases[] = {
        {"ansi.csv", "1;Ann\xe9\r\n2;Bob;x\r\n\r\n3", {Cells({"1", "Ann\xc3\xa9"}), Cells({"2", "Bob", "x"}), {}, Cells({"3"})}, 3},
        {"utf8.csv", "\xef\xbb\xbf" "1,\xe2\x82\xac\n", {Cells({"1", "\xe2\x82\xac"})}, 2},
        {"utf16.csv", QByteArray("\xff\xfe" "a\0;\0b\0\n\0", 10), {Cells({"a", "b"})}, 2},
        {"utf16be.csv", QByteArray("\xfe\xff\0a\0,\0b", 8), {Cells({"a", "b"})}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(players->Load(Put(QString::fromUtf8(c.name), c.bytes)), 1);
        EXPECT_EQ(players->valid, 1);
        EXPECT_EQ(players->rows, c.rows);
        EXPECT_EQ(players->columnCount, c.columns);
        EXPECT_TRUE(players->problem.isEmpty());
    }
}

TEST_F(PluginData, TablesThatAreNotUsableSayWhyAndKeepNoRows) {
    ASSERT_EQ(players->Load(Put(QStringLiteral("good.csv"), "a;b\n")), 1);
    const struct {
        const char* name;
        QByteArray bytes;
        const char* reason;
    } cases[] = {
        {"empty.csv", "", "no cell"},
        {"blank.csv", "\n\n\n", "no cell"},
        {"wide.csv", QByteArray("x;").repeated(CPluginDataTable::MaxCells) + "\n", "more than 10000 cells"},
        {"long.csv", QByteArray("x\n").repeated(CPluginDataTable::MaxCells + 1), "more than 10000 cells"},
        {"lines.csv", QByteArray("\n").repeated(CPluginDataTable::MaxCells + 1) + "x", "more than 10000 cells"},
        {"square.csv", QByteArray("a,b,c\n").repeated(CPluginDataTable::MaxCells / 3 + 1), "more than 10000 cells"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(players->Load(Put(QString::fromUtf8(c.name), c.bytes)), 0);
        EXPECT_EQ(players->valid, 0);
        EXPECT_TRUE(std::all_of(players->rows.begin(), players->rows.end(), [](const QStringList& r) { return r.isEmpty(); }));
        EXPECT_EQ(players->columnCount, 0);
        EXPECT_TRUE(players->problem.contains(QString::fromUtf8(c.reason))) << players->problem.toStdString();
    }
    EXPECT_EQ(players->Load(Path(QStringLiteral("missing.csv"))), 0);
    EXPECT_TRUE(players->problem.contains(QStringLiteral("cannot be opened")));
    EXPECT_EQ(players->Load(dir.path()), 0);
    EXPECT_TRUE(players->problem.contains(QStringLiteral("not a regular file")));
    // Exactly at the limit is a table.
    EXPECT_EQ(players->Load(Put(QStringLiteral("full.csv"), QByteArray("a;b\n").repeated(CPluginDataTable::MaxCells / 2))), 1);
}

TEST_F(PluginData, OutputFilesAreUtf16LittleEndianWithAMarkAndNothingElse) {
    title->value = QStringLiteral("A\u00e9\u20ac\U0001F600");
    title->WriteFiles();
    EXPECT_EQ(File(QStringLiteral("text.title.txt")),
              QByteArray("\xff\xfe" "A\0\xe9\0\xac\x20\x3d\xd8\x00\xde", 12));
    score->value = -3;
    score->WriteFile();
    EXPECT_EQ(File(QStringLiteral("var.score.txt")), QByteArray("\xff\xfe-\0" "3\0", 6));
    title->value.clear();
    title->WriteFiles();
    EXPECT_EQ(File(QStringLiteral("text.title.txt")), QByteArray("\xff\xfe"));
    EXPECT_EQ(title->GetFileName(), Folder() + QStringLiteral("text.title.txt"));
    EXPECT_EQ(score->GetFileName(), Folder() + QStringLiteral("var.score.txt"));
    EXPECT_EQ(logo->GetFileName(), Folder() + QStringLiteral("image.logo.png"));
    EXPECT_EQ(players->GetFileName(), QString());
    EXPECT_EQ(Files(), (QStringList{QStringLiteral("Match.plugin"), QStringLiteral("text.title.txt"),
                                    QStringLiteral("var.score.txt")}));  // no temporary file left
}

TEST_F(PluginData, VariableSetValueWritesItsFileAndTheStateUnclamped) {
    score->SetValue(42);
    EXPECT_EQ(score->value, 42);
    EXPECT_EQ(File(QStringLiteral("var.score.txt")), Utf16(QStringLiteral("42")));
    EXPECT_TRUE(File(QStringLiteral("Match.state")).contains("<var id=\"score\" value=\"42\" />"));
    EXPECT_EQ(observed, (QStringList{QStringLiteral("+var.score.txt"), QStringLiteral("+Match.state")}));
}

TEST_F(PluginData, TableWritesEveryCellOfItsRectangle) {
    ASSERT_EQ(players->Load(Put(QStringLiteral("t.csv"), "1;Ann;GK\n2\n")), 1);
    players->WriteFiles();
    const struct {
        const char* name;
        const char* text;
    } cells[] = {{"table.players.1.1.txt", "1"}, {"table.players.1.2.txt", "Ann"}, {"table.players.1.3.txt", "GK"},
                 {"table.players.2.1.txt", "2"}, {"table.players.2.2.txt", ""},    {"table.players.2.3.txt", ""}};
    for (const auto& c : cells) EXPECT_EQ(File(QString::fromUtf8(c.name)), Utf16(QString::fromUtf8(c.text))) << c.name;
    EXPECT_EQ(observed.size(), 6);
    EXPECT_EQ(players->CellFileName(2, 3), Folder() + QStringLiteral("table.players.2.3.txt"));

    // A smaller table leaves the cells beyond it; the start's deletion takes them.
    Put(QStringLiteral("table.playersX.1.1.txt"), "other table");
    Put(QStringLiteral("table.players.txt"), "not a cell");
    ASSERT_EQ(players->Load(Put(QStringLiteral("t.csv"), "9\n")), 1);
    players->WriteFiles();
    EXPECT_EQ(File(QStringLiteral("table.players.1.1.txt")), Utf16(QStringLiteral("9")));
    EXPECT_EQ(File(QStringLiteral("table.players.2.3.txt")), Utf16(QString()));
    players->DeleteFiles();
    EXPECT_EQ(Files(), (QStringList{QStringLiteral("Match.plugin"), QStringLiteral("t.csv"),
                                    QStringLiteral("table.players.txt"), QStringLiteral("table.playersX.1.1.txt")}));
}

TEST_F(PluginData, ImageIsValidWhenItsFileExistsAndIsCopiedByteForByte) {
    EXPECT_EQ(logo->Load(Path(QStringLiteral("missing.png"))), 0);
    EXPECT_TRUE(logo->value.isEmpty());  // unchanged
    EXPECT_EQ(logo->Load(dir.path()), 0);  // a folder is no picture
    const QByteArray picture("\x89PNG\r\n\x1a\n-not-really-", 20);
    const QString source = Put(QStringLiteral("pictures/club.png"), picture);
    EXPECT_EQ(logo->Load(source), 1);
    EXPECT_EQ(logo->value, source);
    logo->WriteFiles();
    EXPECT_EQ(File(QStringLiteral("image.logo.png")), picture);
    // Chosen from the plug-in's own output file: still the same bytes.
    logo->value = logo->GetFileName();
    logo->WriteFiles();
    EXPECT_EQ(File(QStringLiteral("image.logo.png")), picture);
    logo->DeleteFiles();
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("image.logo.png"))));
}

TEST_F(PluginData, SelectorItemsFromTheFormat) {
    const struct {
        const char* format;
        QByteArray table;
        QStringList items;
    } cases[] = {
        {"%2%, %1%", "Ann;Lee\nBob\n", Cells({"Lee, Ann", ", Bob"})},
        {"%1% %1% %3%", "a;b;c\n", Cells({"a a c"})},
        {"fixed", "a\nb\n", Cells({"fixed", "fixed"})},
        {"%1%%2%", "%2%;x\n", Cells({"xx"})},  // each step works on the last one's result
        {"%2%%1%", "a;%1%\n", Cells({"%1%a"})},  // and never goes back to an earlier one
        {"%10% %1%", "a;b;c;d;e;f;g;h;i;j\n", Cells({"j a"})},
        {"%0% %4% %", "a\n", Cells({"%0% %4% %"})},
        {"%1%", "\n\nz\n", Cells({"", "", "z"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        scorer->format = QString::fromUtf8(c.format);
        ASSERT_EQ(players->Load(Put(QStringLiteral("t.csv"), c.table)), 1);
        scorer->Rebuild();
        EXPECT_EQ(scorer->items, c.items);
        EXPECT_EQ(scorer->table, players);
    }
}

TEST_F(PluginData, SelectorItemsStopGrowingAtTheirLimit) {
    // Each column multiplies the one before: without the limit this is 40^4 characters per row.
    scorer->format = QStringLiteral("%1%").repeated(40);
    QByteArray line = QByteArray("%2%").repeated(40) + ';' + QByteArray("%3%").repeated(40) + ';' +
                      QByteArray("%4%").repeated(40) + ";end\n";
    ASSERT_EQ(players->Load(Put(QStringLiteral("t.csv"), line)), 1);
    scorer->Rebuild();
    ASSERT_EQ(scorer->items.size(), 1);
    EXPECT_EQ(scorer->items[0].size(), CPluginSelector::MaxItemLength);
    EXPECT_TRUE(scorer->items[0].startsWith(QStringLiteral("endend")));
}

TEST_F(PluginData, SelectorFilesFollowTheSelectedRow) {
    ASSERT_EQ(players->Load(Put(QStringLiteral("t.csv"), "1;Ann;GK\n2;Bob\n3;Cy;FW\n")), 1);
    scorer->selection = 1;
    scorer->Rebuild();
    EXPECT_EQ(scorer->selection, 1);
    EXPECT_EQ(File(QStringLiteral("selector.scorer.1.txt")), Utf16(QStringLiteral("2")));
    EXPECT_EQ(File(QStringLiteral("selector.scorer.2.txt")), Utf16(QStringLiteral("Bob")));
    EXPECT_EQ(File(QStringLiteral("selector.scorer.3.txt")), Utf16(QString()));
    for (int selection : {3, 5, -1}) {
        scorer->selection = selection;
        scorer->Rebuild();
        EXPECT_EQ(scorer->selection, 0) << selection;
        EXPECT_EQ(File(QStringLiteral("selector.scorer.2.txt")), Utf16(QStringLiteral("Ann")));
    }
    // A selection past the rows writes empty texts (the panel never sets one).
    scorer->selection = 7;
    scorer->WriteFiles();
    EXPECT_EQ(File(QStringLiteral("selector.scorer.1.txt")), Utf16(QString()));
    Put(QStringLiteral("selector.scorer.txt"), "kept");
    Put(QStringLiteral("selector.scorers.1.txt"), "kept");
    scorer->DeleteFiles();
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("selector.scorer.1.txt"))));
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("selector.scorer.3.txt"))));
    EXPECT_TRUE(QFile::exists(Path(QStringLiteral("selector.scorer.txt"))));
    EXPECT_TRUE(QFile::exists(Path(QStringLiteral("selector.scorers.1.txt"))));
}

TEST_F(PluginData, SelectorOverATextItemOrNothingHasNoItemsAndWritesNothing) {
    title->value = QStringLiteral("a;b");
    wrong->Rebuild();
    EXPECT_EQ(wrong->table, nullptr);
    EXPECT_TRUE(wrong->items.isEmpty());
    scorer->Rebuild();  // the table has not loaded: no columns
    EXPECT_TRUE(scorer->items.isEmpty());
    EXPECT_TRUE(observed.isEmpty());
}

TEST_F(PluginData, IdsThatWouldLeaveTheFolderWriteNothing) {
    ASSERT_TRUE(Define(R"(<data><text id="../escape"/><image id="i" type="/x"/></data>
      <variables><var id="a/b"/></variables><pages><page/></pages><ui/>)"));
    plugin.fileObserver = [this](const QString& path, bool) { observed.append(path); };
    for (const auto& item : plugin.Data()) {
        item->value = Path(QStringLiteral("Match.plugin"));
        EXPECT_EQ(item->GetFileName(), QString());
    }
    EXPECT_EQ(plugin.Variables()[0]->GetFileName(), QString());
    plugin.WriteAllFiles();
    plugin.DeleteAllFiles();
    EXPECT_TRUE(observed.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("../escape.txt"))));
    EXPECT_EQ(Files(), QStringList{QStringLiteral("Match.plugin")});
}

TEST_F(PluginData, StateFileHasTheDocumentedLayoutByteForByte) {
    title->value = QStringLiteral("+5 <\"caf\u00e9\"> & more");
    players->value = Folder() + QStringLiteral("tables/squad.csv");
    logo->value = QStringLiteral("/elsewhere/logo.png");
    score->value = -3;
    scorer->selection = 2;
    plugin.SaveState();
    EXPECT_EQ(File(QStringLiteral("Match.state")),
              QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n"
                         "<state>\r\n"
                         "    <data id=\"title\" value='+5 &lt;&quot;caf\xc3\xa9&quot;&gt; &amp; more' />\r\n"
                         "    <data id=\"players\" value=\"+tables/squad.csv\" />\r\n"
                         "    <data id=\"logo\" value=\"/elsewhere/logo.png\" />\r\n"
                         "    <var id=\"score\" value=\"-3\" />\r\n"
                         "    <selector id=\"scorer\" value=\"2\" />\r\n"
                         "    <selector id=\"wrong\" value=\"0\" />\r\n"
                         "</state>\r\n"));
    EXPECT_EQ(observed, QStringList{QStringLiteral("+Match.state")});
    // A value with a double quote is written between single quotes; it reads back.
    title->value.clear();
    plugin.LoadState();
    EXPECT_EQ(title->value, QStringLiteral("+5 <\"caf\u00e9\"> & more"));
}

TEST_F(PluginData, StateReadsBackAndRebuildsSelectors) {
    Put(QStringLiteral("tables/squad.csv"), "1;Ann\n2;Bob\n3;Cy\n");
    Put(QStringLiteral("logo.png"), "picture");
    Put(QStringLiteral("Match.state"),
        "<?xml version=\"1.0\"?>\n<state>\n"
        "  <data id=\"title\" value=\"+5\"/>\n"
        "  <DATA id=\"players\" value=\"+tables\\squad.csv\"/>\n"
        "  <data id=\"logo\" value=\"" + Folder().toUtf8() + "logo.png\"/>\n"
        "  <Var id=\"score\" value=\"-4 goals\"/>\n"
        "  <selector id=\"scorer\" value=\"2\"/>\n"
        "  <var id=\"gone\" value=\"9\"/>\n"
        "  <extra id=\"score\" value=\"1\"/>\n"
        "</state>\n");
    plugin.LoadState();
    EXPECT_EQ(title->value, QStringLiteral("+5"));  // texts are never expanded
    EXPECT_EQ(players->value, Folder() + QStringLiteral("tables/squad.csv"));
    EXPECT_EQ(players->valid, 1);
    EXPECT_EQ(logo->valid, 1);
    EXPECT_EQ(score->value, -4);
    EXPECT_EQ(scorer->selection, 2);
    EXPECT_EQ(scorer->items, Cells({"Ann, 1", "Bob, 2", "Cy, 3"}));
    EXPECT_EQ(File(QStringLiteral("selector.scorer.2.txt")), Utf16(QStringLiteral("Cy")));
    // Reading writes only the selectors' files.
    EXPECT_EQ(observed, (QStringList{QStringLiteral("+selector.scorer.1.txt"), QStringLiteral("+selector.scorer.2.txt")}));
}

TEST_F(PluginData, SelectionBeyondTheTableStartsAtZero) {
    Put(QStringLiteral("t.csv"), "a\nb\nc\n");
    Put(QStringLiteral("Match.state"), "<state><data id=\"players\" value=\"+t.csv\"/><selector id=\"scorer\" value=\"5\"/></state>");
    plugin.LoadState();
    EXPECT_EQ(scorer->items.size(), 3);
    EXPECT_EQ(scorer->selection, 0);
}

TEST_F(PluginData, StateThatCannotBeReadChangesNothing) {
    title->value = QStringLiteral("kept");
    score->value = 2;
    scorer->selection = 4;
    for (const QByteArray& bytes : {QByteArray("<state><var id=\"score\" value=\"1\"></state>"), QByteArray(""),
                                    QByteArray("<state>") + QByteArray("<a>").repeated(70)}) {
        Put(QStringLiteral("Match.state"), bytes);
        plugin.LoadState();
        EXPECT_EQ(title->value, QStringLiteral("kept"));
        EXPECT_EQ(score->value, 2);
        EXPECT_EQ(scorer->selection, 4);  // not even rebuilt
    }
    QFile::remove(Path(QStringLiteral("Match.state")));
    plugin.LoadState();
    EXPECT_EQ(score->value, 2);
    EXPECT_EQ(scorer->selection, 4);
    EXPECT_TRUE(observed.isEmpty());
}

TEST_F(PluginData, MovedFolderStillFindsItsTable) {
    Put(QStringLiteral("Cup/squad.csv"), "1;Ann\n");
    ASSERT_TRUE(plugin.LoadDefinition(Put(QStringLiteral("Cup/Match.plugin"), File(QStringLiteral("Match.plugin")))));
    CPluginData* table = plugin.FindData(QStringLiteral("players"));
    ASSERT_EQ(table->Load(Path(QStringLiteral("Cup/squad.csv"))), 1);
    table->value = Path(QStringLiteral("Cup/squad.csv"));
    plugin.SaveState();
    EXPECT_TRUE(File(QStringLiteral("Cup/Match.state")).contains("value=\"+squad.csv\""));

    ASSERT_TRUE(QDir(dir.path()).rename(QStringLiteral("Cup"), QStringLiteral("Moved")));
    CPlugin moved;
    ASSERT_TRUE(moved.LoadDefinition(Path(QStringLiteral("Moved/Match.plugin"))));
    moved.LoadState();
    const CPluginData* again = moved.FindData(QStringLiteral("players"));
    EXPECT_EQ(again->value, Path(QStringLiteral("Moved/squad.csv")));
    EXPECT_EQ(again->valid, 1);
}

TEST_F(PluginData, StartDeletesStaleFilesThenRestoresAndWritesEverything) {
    Put(QStringLiteral("t.csv"), "1;Ann\n");
    Put(QStringLiteral("table.players.7.7.txt"), "stale");
    Put(QStringLiteral("selector.scorer.9.txt"), "stale");
    Put(QStringLiteral("text.title.txt"), "stale");
    Put(QStringLiteral("var.other.txt"), "not ours");
    Put(QStringLiteral("Match.state"),
        "<state><data id=\"title\" value=\"Final\"/><data id=\"players\" value=\"+t.csv\"/>"
        "<var id=\"score\" value=\"3\"/></state>");
    plugin.DeleteAllFiles();
    plugin.LoadState();
    plugin.WriteAllFiles();
    EXPECT_EQ(Files(), (QStringList{QStringLiteral("Match.plugin"), QStringLiteral("Match.state"), QStringLiteral("selector.scorer.1.txt"),
                                    QStringLiteral("selector.scorer.2.txt"), QStringLiteral("t.csv"),
                                    QStringLiteral("table.players.1.1.txt"), QStringLiteral("table.players.1.2.txt"),
                                    QStringLiteral("text.title.txt"), QStringLiteral("var.other.txt"),
                                    QStringLiteral("var.score.txt")}));
    EXPECT_EQ(File(QStringLiteral("text.title.txt")), Utf16(QStringLiteral("Final")));
    EXPECT_EQ(File(QStringLiteral("var.score.txt")), Utf16(QStringLiteral("3")));
    EXPECT_EQ(File(QStringLiteral("table.players.1.2.txt")), Utf16(QStringLiteral("Ann")));
}

TEST_F(PluginData, ReaderNeverSeesHalfAFile) {
    // A text object re-reads its file while the panel rewrites it: every read is one
    // whole version, never a mix or a truncated file.
    const QString shortText = QStringLiteral("7");
    const QString longText = QStringLiteral("a much longer text than the other one").repeated(200);
    const QByteArray first = Utf16(shortText), second = Utf16(longText);
    title->value = shortText;
    title->WriteFiles();
    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, torn{0};
    QThread* reader = QThread::create([&] {
        while (!done.load()) {
            const QByteArray seen = Contents(title->GetFileName());
            if (seen != first && seen != second) ++torn;
            ++reads;
        }
    });
    reader->start();
    for (int k = 0; k < 100; ++k) {
        title->value = k % 2 ? shortText : longText;
        title->WriteFiles();
    }
    done = true;
    reader->wait();
    delete reader;
    EXPECT_EQ(torn.load(), 0) << "of " << reads.load() << " reads";
    EXPECT_GT(reads.load(), 0);
}

}  // namespace
