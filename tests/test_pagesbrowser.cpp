// The pages browser's and the thumbnails' models against a temporary pages folder
// made in the test: the tree with its labels, order, filter and hidden entries;
// renaming with refusals; refreshes after changes made outside; the previews; the
// context menus and the default actions carried out on the document.
#include "app/MainApp.h"
#include "tests/RecordingPresenter.h"
#include "app/PagesBrowser.h"
#include "app/Thumbnails.h"
#include "base/Translate.h"
#include "core/VideoModes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace {

// A host whose canvas picture becomes the saved pages' previews.
class DocHost : public IDocumentHost {
public:
    void UpdateViews(int kind) override { updates.push_back(kind); }
    const CPicture* CanvasPicture() override { return canvas.IsEmpty() ? nullptr : &canvas; }
    std::vector<int> updates;
    CPicture canvas;
};

int SmallMode() {
    for (int m = 0; m < 13; ++m)
        if (VideoModes::RenderWidth(m) == 720 && VideoModes::RenderHeight(m) == 576) return m;
    return 0;
}

uint32_t PixelOf(const CPicture& picture, int x, int y) {
    const uint8_t* p = picture.Pixel(x, y);
    return uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16;  // red in the low byte
}

const QString Program = QStringLiteral("/opt/corvane/bin/corvane");

class PagesBrowser : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.filePath("pages");
        ASSERT_TRUE(QDir().mkpath(root));
        store = std::make_unique<CSettingsStore>(dir.filePath("browser.ini"));
        ASSERT_TRUE(store->SetText(Settings::RootFolder, root + "/"));  // the separator goes
    }
    void TearDown() override {
        doc.Page.OutputOn = 1;
        doc.Page.StopAll();
        doc.Page.OutputOn = 0;
    }

    // A page file of count objects in group, whose preview is all colour.
    QString MakePage(const QString& relative, int count, uint32_t colour = 0x0000FF) {
        const QString path = root + "/" + relative;
        EXPECT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        DocHost makerHost;
        makerHost.canvas.Resize(720, 576);
        makerHost.canvas.Fill(0xFF000000u | colour);
        CMainDoc maker(makerHost, SmallMode());
        for (int i = 0; i < count; ++i) {
            auto object = std::make_unique<CFrame>();
            object->Rect = {10, 10, 100, 60};
            object->Group = QFileInfo(path).completeBaseName();
            EXPECT_TRUE(maker.Page.Add(object));
        }
        EXPECT_TRUE(maker.Save(path));
        return path;
    }
    // A script of one wait.
    QString MakeScript(const QString& relative) {
        const QString path = root + "/" + relative;
        EXPECT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        CFrameScript script;
        auto wait = std::make_unique<CFrameScriptItem>();
        wait->type = ScriptActionType::WaitPeriod;
        wait->idata = 30;
        script.Append(std::move(wait));
        EXPECT_TRUE(script.SaveFile(path));
        return path;
    }
    QString MakeFile(const QString& relative, const QByteArray& bytes = "x") {
        const QString path = root + "/" + relative;
        EXPECT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    void MakeTree() {
        MakePage("Final.corvane", 1);
        MakePage("alpha.corvane", 2);
        MakeScript("Beta.script");
        MakeScript("x.corvane.script");
        MakePage("FINAL2.CORVANE", 1);
        MakeFile("notes.txt");
        MakePage(".hidden.corvane", 1);
        MakePage(".Hidden/inside.corvane", 1);
        MakePage("News/Opening.corvane", 3);
        ASSERT_TRUE(QDir().mkpath(root + "/archive"));
    }
    std::unique_ptr<CPagesBrowserModel> MakeBrowser() {
        auto browser = std::make_unique<CPagesBrowserModel>(doc, *store, &thumbnails, Program);
        browser->BeginReset = [this] { ++resets; };
        return browser;
    }
    static QStringList Labels(const CPagesBrowserNode& folder) {
        QStringList labels;
        for (const auto& child : folder.children) labels.push_back(child->label);
        return labels;
    }
    const CPagesBrowserNode* Child(const CPagesBrowserNode& folder, const QString& label) {
        for (const auto& child : folder.children)
            if (child->label == label) return child.get();
        return nullptr;
    }

    RecordingPresenter presenter;
    QTemporaryDir dir;
    QString root;
    std::unique_ptr<CSettingsStore> store;
    DocHost host;
    CMainDoc doc{host, SmallMode()};
    CThumbnailsModel thumbnails;
    int resets = 0;
};

TEST(PagesBrowserFilter, SplitsTrimsAndDropsEmptyPieces) {
    const struct {
        const char* text;
        QStringList pieces;
    } cases[] = {
        {"*.corvane;*.script", {"*.corvane", "*.script"}},
        {" *.a , ;*.b;; ", {"*.a", "*.b"}},
        {"*.b,*.a", {"*.b", "*.a"}},  // order kept
        {"", {}},
        {",; ;", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CPagesBrowserModel::SplitFilter(QString::fromUtf8(c.text)), c.pieces);
    }
}

TEST_F(PagesBrowser, TreeLabelsOrderAndHiddenEntries) {
    MakeTree();
    auto browser = MakeBrowser();
    EXPECT_EQ(browser->RootFolder(), root);
    EXPECT_EQ(browser->Filter(), QStringList({"*.corvane", "*.script"}));
    const CPagesBrowserNode& top = browser->Root();
    const struct {
        const char* label;
        const char* displayName;
        int kind;
        bool script;
    } expected[] = {
        {"archive", "archive", CPagesBrowserNode::KindFolder, false},
        {"News", "News", CPagesBrowserNode::KindFolder, false},
        {"alpha", "alpha.corvane", CPagesBrowserNode::KindFile, false},
        {"Beta", "Beta.script", CPagesBrowserNode::KindFile, true},
        {"Final", "Final.corvane", CPagesBrowserNode::KindFile, false},
        {"FINAL2", "FINAL2.CORVANE", CPagesBrowserNode::KindFile, false},
        {"x.corvane", "x.corvane.script", CPagesBrowserNode::KindFile, true},
    };
    ASSERT_EQ(top.children.size(), std::size(expected)) << Labels(top).join(',').toStdString();
    for (size_t i = 0; i < std::size(expected); ++i) {
        const auto& e = expected[i];
        const CPagesBrowserNode& node = *top.children[i];
        SCOPED_TRACE(e.displayName);
        EXPECT_EQ(node.label, QString::fromUtf8(e.label));
        EXPECT_EQ(node.displayName, QString::fromUtf8(e.displayName));
        EXPECT_EQ(node.path, root + "/" + e.displayName);
        EXPECT_EQ(node.kind, e.kind);
        EXPECT_EQ(node.IsScript(), e.script);
        EXPECT_EQ(node.hidesExtension, e.kind == CPagesBrowserNode::KindFile);
        EXPECT_EQ(node.Row(), int(i));
        EXPECT_EQ(node.parent, &top);
    }
    // A folder is read when it is first shown.
    const CPagesBrowserNode* news = Child(top, "News");
    ASSERT_NE(news, nullptr);
    EXPECT_FALSE(news->filled);
    browser->SetExpanded(news, true);
    EXPECT_TRUE(news->filled);
    EXPECT_EQ(Labels(*news), QStringList({"Opening"}));
    // Finding a path reads the folders on its way; hidden entries are not found.
    EXPECT_EQ(browser->Find(root + "/News/Opening.corvane"), news->children[0].get());
    EXPECT_EQ(browser->Find(root + "/.hidden.corvane"), nullptr);
    EXPECT_EQ(browser->Find(root + "/.Hidden/inside.corvane"), nullptr);
    EXPECT_EQ(browser->Find(dir.filePath("elsewhere.corvane")), nullptr);
    EXPECT_EQ(browser->Find(root), &top);
    // The watcher covers the root and the shown folders, not the hidden one.
    QStringList watched = browser->WatchedFolders();
    watched.sort();
    EXPECT_EQ(watched, QStringList({root, root + "/News", root + "/archive"}));
}

TEST_F(PagesBrowser, MissingRootGivesAnEmptyTree) {
    ASSERT_TRUE(store->SetText(Settings::RootFolder, dir.filePath("nowhere")));
    auto browser = MakeBrowser();
    EXPECT_TRUE(browser->Root().children.empty());
    EXPECT_TRUE(browser->WatchedFolders().isEmpty());
    EXPECT_EQ(browser->Find(dir.filePath("nowhere/a.corvane")), nullptr);
    // The root of the settings again, once it exists.
    MakePage("a.corvane", 1);
    ASSERT_TRUE(store->SetText(Settings::RootFolder, root));
    browser->ReloadSettings();
    EXPECT_EQ(Labels(browser->Root()), QStringList({"a"}));
}

TEST_F(PagesBrowser, FilterChoosesTheFiles) {
    MakeTree();
    auto browser = MakeBrowser();
    const struct {
        const char* filter;
        QStringList labels;  // at the top of the tree
    } cases[] = {
        {"*.script", {"archive", "News", "Beta", "x.corvane"}},
        {"Fin*", {"archive", "News", "Final", "FINAL2"}},  // without regard to case
        {"*.corvane, *.CORVANE", {"archive", "News", "alpha", "alpha", "Final", "Final", "FINAL2", "FINAL2"}},
        {"*.txt", {"archive", "News", "notes"}},
        {" ; ", {"archive", "News"}},
        {"*.corvane;*.script", {"archive", "News", "alpha", "Beta", "Final", "FINAL2", "x.corvane"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter);
        browser->SetFilter(QString::fromUtf8(c.filter));
        EXPECT_EQ(Labels(browser->Root()), c.labels);
    }
}

TEST_F(PagesBrowser, RenameKeepsTheExtensionAndRefusesClashes) {
    MakeTree();
    auto browser = MakeBrowser();
    std::vector<const CPagesBrowserNode*> changed;
    browser->LabelChanged = [&](const CPagesBrowserNode* node) { changed.push_back(node); };

    // Final is listed as Final; renaming it to Final2 makes Final2.corvane.
    const CPagesBrowserNode* final = Child(browser->Root(), "Final");
    ASSERT_NE(final, nullptr);
    ASSERT_TRUE(browser->Rename(final, "Final2"));
    EXPECT_TRUE(QFileInfo::exists(root + "/Final2.corvane"));
    EXPECT_FALSE(QFileInfo::exists(root + "/Final.corvane"));
    EXPECT_EQ(final->label, QStringLiteral("Final2"));
    EXPECT_EQ(final->displayName, QStringLiteral("Final2.corvane"));
    EXPECT_EQ(final->path, root + "/Final2.corvane");
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0], final);
    EXPECT_TRUE(presenter.texts.empty());

    const CPagesBrowserNode* alpha = Child(browser->Root(), "alpha");
    const CPagesBrowserNode* script = Child(browser->Root(), "x.corvane");
    ASSERT_NE(alpha, nullptr);
    ASSERT_NE(script, nullptr);
    const struct {
        const CPagesBrowserNode* node;
        const char* label;
        const char* message;  // empty: a cancellation, nothing shown
    } refused[] = {
        {alpha, "Final2", "Cannot rename \"alpha.corvane\": \"Final2.corvane\" already exists."},
        {alpha, "a/b", "Cannot rename \"alpha.corvane\": \"a/b\" is not a valid name."},
        {alpha, "..", "Cannot rename \"alpha.corvane\": \"..\" is not a valid name."},
        {script, "Beta", "Cannot rename \"x.corvane.script\": \"Beta.script\" already exists."},
        {alpha, "", ""},
        {alpha, "alpha", ""},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.label);
        presenter.texts.clear();
        changed.clear();
        const QString before = r.node->path;
        EXPECT_FALSE(browser->Rename(r.node, QString::fromUtf8(r.label)));
        EXPECT_EQ(r.node->path, before);
        EXPECT_TRUE(QFileInfo::exists(before));
        EXPECT_TRUE(changed.empty());
        if (*r.message) {
            ASSERT_EQ(presenter.texts.size(), 1u);
            EXPECT_EQ(presenter.texts[0], QString::fromUtf8(r.message));
        } else {
            EXPECT_TRUE(presenter.texts.empty());
        }
    }
    EXPECT_TRUE(QFileInfo::exists(root + "/Final2.corvane"));

    // A script keeps its own extension; a folder's files move with it.
    ASSERT_TRUE(browser->Rename(script, "y"));
    EXPECT_TRUE(QFileInfo::exists(root + "/y.script"));
    const CPagesBrowserNode* news = Child(browser->Root(), "News");
    browser->SetExpanded(news, true);
    ASSERT_TRUE(browser->Rename(news, "Sport"));
    EXPECT_EQ(news->label, QStringLiteral("Sport"));
    ASSERT_EQ(news->children.size(), 1u);
    EXPECT_EQ(news->children[0]->path, root + "/Sport/Opening.corvane");
    EXPECT_TRUE(QFileInfo::exists(news->children[0]->path));
}

TEST_F(PagesBrowser, ChangesMadeOutsideAppearAfterARefresh) {
    MakeTree();
    auto browser = MakeBrowser();
    browser->SetExpanded(Child(browser->Root(), "News"), true);
    browser->Select(browser->Find(root + "/News/Opening.corvane"));
    const int resetsBefore = resets;

    // Another program adds a folder and a page, removes one.
    ASSERT_TRUE(QDir().mkpath(root + "/Weather"));
    MakePage("News/Headlines.corvane", 1);
    ASSERT_TRUE(QFile::remove(root + "/alpha.corvane"));

    // Nothing before the watcher reports, nothing while the window is busy.
    EXPECT_FALSE(browser->Check(false));
    browser->NotifyChanged();
    EXPECT_FALSE(browser->Check(true));
    EXPECT_EQ(resets, resetsBefore);
    EXPECT_TRUE(browser->Check(false));
    EXPECT_EQ(resets, resetsBefore + 1);
    EXPECT_FALSE(browser->Check(false));  // once per report

    EXPECT_EQ(Labels(browser->Root()),
              QStringList({"archive", "News", "Weather", "Beta", "Final", "FINAL2", "x.corvane"}));
    const CPagesBrowserNode* news = Child(browser->Root(), "News");
    ASSERT_NE(news, nullptr);
    EXPECT_TRUE(news->expanded);
    EXPECT_EQ(Labels(*news), QStringList({"Headlines", "Opening"}));
    // The selection stays where it was.
    ASSERT_NE(browser->Selected(), nullptr);
    EXPECT_EQ(browser->Selected()->path, root + "/News/Opening.corvane");
    EXPECT_EQ(browser->Selected(), browser->Find(root + "/News/Opening.corvane"));
    QStringList watched = browser->WatchedFolders();
    EXPECT_TRUE(watched.contains(root + "/Weather"));

    // A selected item that went is no longer selected.
    ASSERT_TRUE(QFile::remove(root + "/News/Opening.corvane"));
    browser->NotifyChanged();
    EXPECT_TRUE(browser->Check(false));
    EXPECT_EQ(browser->Selected(), nullptr);
}

TEST_F(PagesBrowser, SelectionShowsTheStoredPreview) {
    MakePage("Red.corvane", 1, 0x0000FF);
    MakePage("Green.corvane", 1, 0x00FF00);
    MakeScript("Show.script");
    auto browser = MakeBrowser();
    int repaints = 0;
    thumbnails.PreviewChanged = [&] { ++repaints; };

    browser->Select(Child(browser->Root(), "Red"));
    ASSERT_TRUE(thumbnails.HasPreview());
    EXPECT_EQ(thumbnails.Preview().width, 360);  // the 720-wide page, halved
    EXPECT_EQ(thumbnails.Preview().height, 288);
    EXPECT_EQ(PixelOf(thumbnails.Preview(), 10, 10), 0x0000FFu);
    EXPECT_EQ(repaints, 1);
    browser->Select(Child(browser->Root(), "Green"));
    EXPECT_EQ(PixelOf(thumbnails.Preview(), 10, 10), 0x00FF00u);
    EXPECT_EQ(thumbnails.PreviewPath(), root + "/Green.corvane");

    // A refresh selects the item again without reading its preview again.
    const int before = repaints;
    browser->Refresh();
    EXPECT_EQ(repaints, before);
    EXPECT_EQ(browser->Selected()->label, QStringLiteral("Green"));

    // A script, a page file that went, and no selection show none.
    browser->Select(Child(browser->Root(), "Show"));
    EXPECT_FALSE(thumbnails.HasPreview());
    browser->Select(Child(browser->Root(), "Red"));
    ASSERT_TRUE(thumbnails.HasPreview());
    const CPagesBrowserNode* green = Child(browser->Root(), "Green");
    ASSERT_TRUE(QFile::remove(green->path));
    browser->Select(green);
    EXPECT_FALSE(thumbnails.HasPreview());
    browser->Select(Child(browser->Root(), "Red"));
    browser->Select(nullptr);
    EXPECT_FALSE(thumbnails.HasPreview());
}

TEST_F(PagesBrowser, ContextMenusPerItemKind) {
    MakePage("Page.corvane", 1);
    MakeScript("Run.script");
    ASSERT_TRUE(QDir().mkpath(root + "/Folder"));
    auto browser = MakeBrowser();
    const CPagesBrowserNode* page = Child(browser->Root(), "Page");
    const CPagesBrowserNode* script = Child(browser->Root(), "Run");
    const CPagesBrowserNode* folder = Child(browser->Root(), "Folder");

    const PagesMenu none = browser->ContextMenu(folder);
    EXPECT_EQ(none.menuId, 0);
    EXPECT_TRUE(none.items.empty());
    EXPECT_EQ(browser->Selected(), folder);  // the item under the cursor is selected first

    const PagesMenu scriptMenu = browser->ContextMenu(script);
    EXPECT_EQ(scriptMenu.menuId, 206);
    std::vector<int> commands;
    for (const auto& item : scriptMenu.items) commands.push_back(item.command);
    EXPECT_EQ(commands, (std::vector<int>{32855, 32844, 32853}));
    EXPECT_EQ(scriptMenu.items[0].text, QStringLiteral("Load and &play"));
    EXPECT_EQ(scriptMenu.defaultCommand, 32855);
    EXPECT_EQ(browser->SelectedPath(), script->path);
    EXPECT_TRUE(browser->SelectedIsScript());

    const struct {
        int setting;
        int defaultCommand;
    } defaults[] = {{0, 32842}, {1, 32843}, {2, 32855}, {3, 32856}, {4, 32844}};
    for (const auto& d : defaults) {
        SCOPED_TRACE(d.setting);
        ASSERT_TRUE(store->Set(Settings::DefaultTreeAction, d.setting));
        const PagesMenu pageMenu = browser->ContextMenu(page);
        EXPECT_EQ(pageMenu.menuId, 205);
        commands.clear();
        for (const auto& item : pageMenu.items) commands.push_back(item.command);
        EXPECT_EQ(commands, (std::vector<int>{32842, 32843, 32855, 32856, 32844, 32853}));
        EXPECT_EQ(pageMenu.items[3].text, QStringLiteral("A&dd and play"));
        EXPECT_EQ(pageMenu.defaultCommand, d.defaultCommand);
        EXPECT_EQ(browser->SelectedPath(), page->path);
        EXPECT_FALSE(browser->SelectedIsScript());
    }

    // Rename from the menu opens the label editor on the selected item.
    const PagesAction rename = browser->Execute(PagesCommand::Rename);
    EXPECT_TRUE(rename.startRename);
    EXPECT_EQ(rename.command, 32853);
}

TEST_F(PagesBrowser, DefaultActionOfAPage) {
    const QString path = MakePage("Two.corvane", 2);
    auto browser = MakeBrowser();
    const CPagesBrowserNode* page = Child(browser->Root(), "Two");
    ASSERT_NE(page, nullptr);
    const struct {
        int setting;
        int command;
        int objects;      // on the page afterwards
        int playing;      // of them
        bool keepsPath;   // the document took the file as its own
        bool launch;
    } cases[] = {
        {0, 32842, 2, 0, false, false},  // replaces every object
        {1, 32843, 3, 0, false, false},  // keeps the locked one
        {2, 32855, 2, 2, true, false},
        {3, 32856, 3, 2, false, false},  // the kept one is not played
        {4, 32844, 1, 0, false, true},   // another instance edits it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        doc.Page.OutputOn = 1;
        doc.Page.StopAll();
        doc.NewPage();
        auto keep = std::make_unique<CFrame>();
        keep->Locked = 1;
        keep->Group = QStringLiteral("Keep");
        ASSERT_TRUE(doc.Page.Add(keep));
        ASSERT_TRUE(store->Set(Settings::DefaultTreeAction, c.setting));

        const PagesAction action = browser->DoubleClick(page);
        EXPECT_EQ(action.command, c.command);
        EXPECT_TRUE(action.done);
        EXPECT_EQ(action.launch, c.launch);
        EXPECT_FALSE(action.openScriptEditor);
        EXPECT_EQ(doc.Page.LiveCount(), c.objects);
        int playing = 0;
        {
            CPageSnapshot snapshot(doc.Page);
            for (CFrame* object : snapshot.list) playing += object->Playing.load();
        }
        EXPECT_EQ(playing, c.playing);
        EXPECT_EQ(doc.PathName, c.keepsPath ? path : QString());
        if (c.launch) {
            EXPECT_EQ(action.editor.program, Program);
            EXPECT_EQ(action.editor.arguments, QStringList({"/edit", path}));
            // The instance it starts reads it as an editor instance of that file.
            const CMyCommandLineInfo info = CMyCommandLineInfo::Parse(action.editor.arguments);
            EXPECT_TRUE(info.Edit);
            EXPECT_EQ(info.FileName, path);
        }
    }
    EXPECT_TRUE(presenter.texts.empty());

    // A page that cannot be read changes nothing and says why once.
    const QString bad = MakeFile("Bad.corvane", "not a page");
    browser->Refresh();
    ASSERT_TRUE(store->Set(Settings::DefaultTreeAction, 0));
    const int before = doc.Page.LiveCount();
    const PagesAction failed = browser->DoubleClick(browser->Find(bad));
    EXPECT_EQ(failed.command, 32842);
    EXPECT_FALSE(failed.done);
    EXPECT_EQ(doc.Page.LiveCount(), before);
    EXPECT_EQ(presenter.texts.size(), 1u);

    // A folder has no default action here.
    ASSERT_TRUE(QDir().mkpath(root + "/Folder"));
    browser->Refresh();
    EXPECT_EQ(browser->DoubleClick(Child(browser->Root(), "Folder")).command, 0);
}

TEST_F(PagesBrowser, DefaultActionOfAScriptStartsItWhateverTheSetting) {
    const QString path = MakeScript("Show.script");
    const QString tricky = MakeScript("x.corvane.script");
    auto browser = MakeBrowser();
    doc.Page.OutputOn = 1;  // a saved page with the output on: the script may run
    for (int setting = 0; setting <= 4; ++setting) {
        for (const QString& file : {path, tricky}) {
            SCOPED_TRACE(testing::Message() << setting << ' ' << file.toStdString());
            doc.ScriptStop();
            doc.Script.Clear();
            ASSERT_TRUE(store->Set(Settings::DefaultTreeAction, setting));
            const PagesAction action = browser->DoubleClick(browser->Find(file));
            EXPECT_EQ(action.command, 32855);
            EXPECT_TRUE(action.done);
            EXPECT_FALSE(action.launch);
            EXPECT_TRUE(doc.ScriptRunning());
            EXPECT_EQ(doc.Script.FileName(), file);
        }
    }

    // Open in editor: loaded, not started, and the script editor opens.
    doc.ScriptStop();
    browser->ContextMenu(browser->Find(path));
    const PagesAction edit = browser->Execute(PagesCommand::Edit);
    EXPECT_TRUE(edit.openScriptEditor);
    EXPECT_FALSE(edit.launch);
    EXPECT_FALSE(doc.ScriptRunning());
    EXPECT_EQ(doc.Script.Count(), 1);
    // Page commands do not apply to a script.
    EXPECT_EQ(browser->Execute(PagesCommand::Load).command, 0);

    // A script that cannot be read: the message, no editor.
    const QString broken = MakeFile("Broken.script", "<script><item type=\"99\"/></script>");
    browser->Refresh();
    browser->ContextMenu(browser->Find(broken));
    presenter.texts.clear();
    const PagesAction failed = browser->Execute(PagesCommand::Edit);
    EXPECT_FALSE(failed.openScriptEditor);
    EXPECT_FALSE(failed.done);
    ASSERT_EQ(presenter.texts.size(), 1u);
    EXPECT_TRUE(presenter.texts[0].startsWith(QStringLiteral("Error: File open failed!")));
}

TEST_F(PagesBrowser, PageCommandsStopARunningScriptButEditDoesNot) {
    const QString page = MakePage("P.corvane", 1);
    const QString script = MakeScript("S.script");
    auto browser = MakeBrowser();
    doc.Page.OutputOn = 1;
    const struct {
        int command;
        bool stops;
    } cases[] = {{32842, true}, {32843, true}, {32855, true}, {32856, true}, {32844, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        doc.NewPage();
        doc.ScriptLoad(script, true);
        ASSERT_TRUE(doc.ScriptRunning());
        browser->ContextMenu(browser->Find(page));
        EXPECT_EQ(browser->Execute(c.command).command, c.command);
        EXPECT_EQ(doc.ScriptRunning(), !c.stops);
    }
}

// ---------------------------------------------------------------------------------
// Thumbnails

TEST_F(PagesBrowser, ThumbnailsListThePageFilesWithTheirPreviews) {
    MakePage("b.corvane", 1, 0x00FF00);
    MakePage("A.corvane", 1, 0x0000FF);
    MakePage("News/c.corvane", 1, 0xFF0000);
    MakePage(".hidden.corvane", 1);
    MakeScript("s.script");
    MakeFile("Empty.corvane", "");  // no preview to read
    thumbnails.SetFolder(root + "/");
    const struct {
        const char* name;
        uint32_t colour;  // 0: no preview
    } expected[] = {{"A", 0x0000FF}, {"b", 0x00FF00}, {"Empty", 0}, {"News/c", 0xFF0000}};
    ASSERT_EQ(thumbnails.Count(), int(std::size(expected)));
    for (int i = 0; i < thumbnails.Count(); ++i) {
        SCOPED_TRACE(expected[i].name);
        const CThumbnail& t = thumbnails.At(i);
        EXPECT_EQ(t.name, QString::fromUtf8(expected[i].name));
        EXPECT_EQ(t.path, root + "/" + expected[i].name + ".corvane");
        EXPECT_EQ(t.HasPreview(), expected[i].colour != 0);
        if (t.HasPreview()) {
            EXPECT_EQ(PixelOf(t.preview, 5, 5), expected[i].colour);
        }
    }
    QStringList watched = thumbnails.WatchedPaths();
    EXPECT_TRUE(watched.contains(root));
    EXPECT_TRUE(watched.contains(root + "/News"));
    EXPECT_TRUE(watched.contains(root + "/A.corvane"));
    EXPECT_FALSE(watched.contains(root + "/s.script"));

    // A file written again shows its new preview; a new file is added in order; a
    // removed one goes; a file outside the folder or not a page is ignored.
    MakePage("A.corvane", 1, 0x00FFFF);
    EXPECT_TRUE(thumbnails.FileChanged(root + "/A.corvane"));
    EXPECT_EQ(PixelOf(thumbnails.At(0).preview, 5, 5), 0x00FFFFu);
    const QString added = MakePage("Ab.corvane", 1, 0x123456);
    EXPECT_TRUE(thumbnails.FileChanged(added));
    EXPECT_EQ(thumbnails.RowOf(added), 1);
    EXPECT_EQ(PixelOf(thumbnails.At(1).preview, 5, 5), 0x123456u);
    ASSERT_TRUE(QFile::remove(root + "/b.corvane"));
    EXPECT_TRUE(thumbnails.FileChanged(root + "/b.corvane"));
    EXPECT_EQ(thumbnails.RowOf(root + "/b.corvane"), -1);
    EXPECT_FALSE(thumbnails.FileChanged(MakeScript("t.script")));
    EXPECT_FALSE(thumbnails.FileChanged(dir.filePath("outside.corvane")));
    EXPECT_EQ(thumbnails.Count(), 4);

    // A new folder with a page in it arrives with the folder's report.
    MakePage("Sport/d.corvane", 1);
    EXPECT_FALSE(thumbnails.FileChanged(root + "/Sport/d.corvane"));  // its folder is not known yet
    EXPECT_TRUE(thumbnails.FolderChanged(root));
    EXPECT_GE(thumbnails.RowOf(root + "/Sport/d.corvane"), 0);
    EXPECT_FALSE(thumbnails.FolderChanged(root));  // nothing new

    // The pane's preview follows its file too.
    thumbnails.ShowPreview(root + "/A.corvane");
    MakePage("A.corvane", 1, 0xABCDEF);
    thumbnails.FileChanged(root + "/A.corvane");
    EXPECT_EQ(PixelOf(thumbnails.Preview(), 5, 5), 0xABCDEFu);
    thumbnails.ClearPreview();
    EXPECT_FALSE(thumbnails.HasPreview());
    EXPECT_TRUE(thumbnails.PreviewPath().isEmpty());
}

}  // namespace
