// The panes beside the canvas driven as the operator drives them, against a
// temporary pages folder: the pages browser's tree and labels, renaming in place
// with a clash refused, a file made outside appearing, the double click's default
// actions, the context menu; the thumbnail of the chosen page following its file;
// the object navigator following the selection and the play states.
#include "tests/RecordingPresenter.h"
#include "core/VideoModes.h"
#include "script/FrameScript.h"
#include "ui/NavigatorView.h"
#include "ui/PagesBrowserView.h"
#include "ui/ThumbnailView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class DocHost : public IDocumentHost {
public:
    void UpdateViews(int) override {}
    const CPicture* CanvasPicture() override { return canvas.IsEmpty() ? nullptr : &canvas; }
    CPicture canvas;
};

int SmallMode() {
    for (int m = 0; m < 13; ++m)
        if (VideoModes::RenderWidth(m) == 720 && VideoModes::RenderHeight(m) == 576) return m;
    return 0;
}

// Polls the event loop until the condition holds; generous, for a busy machine.
bool Eventually(const std::function<bool()>& condition) {
    for (int k = 0; k < 200 && !condition(); ++k) QTest::qWait(50);
    return condition();
}

class Panes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.filePath("pages");
        ASSERT_TRUE(QDir().mkpath(root + "/archive"));
        ASSERT_TRUE(store.SetText(Settings::RootFolder, root));
        MakePage("News/Opening.corvane", 3, 0x00FF00);
        MakePage("alpha.corvane", 2, 0x0000FF);
        MakePage("Final.corvane", 1, 0xFF0000);
        MakePage(".hidden.corvane", 1, 0xFF0000);
        MakeScript("Beta.script");
        QFile notes(root + "/notes.txt");
        ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    }
    void TearDown() override {
        doc.Page.OutputOn = 1;
        doc.Page.StopAll();
        doc.Page.OutputOn = 0;
    }
    // A page of count objects whose stored preview is all one colour (red in the low byte).
    void MakePage(const QString& relative, int count, uint32_t colour) {
        const QString path = root + "/" + relative;
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        DocHost makerHost;
        makerHost.canvas.Resize(720, 576);
        makerHost.canvas.Fill(0xFF000000u | colour);
        CMainDoc maker(makerHost, SmallMode());
        for (int i = 0; i < count; ++i) {
            auto object = std::make_unique<CFrame>();
            object->Rect = {10, 10, 100, 60};
            ASSERT_TRUE(maker.Page.Add(object));
        }
        ASSERT_TRUE(maker.Save(path));
    }
    void MakeScript(const QString& relative) {
        CFrameScript script;
        auto wait = std::make_unique<CFrameScriptItem>();
        wait->type = ScriptActionType::WaitPeriod;
        wait->idata = 30;
        script.Append(std::move(wait));
        ASSERT_TRUE(script.SaveFile(root + "/" + relative));
    }
    // The labels of a folder's rows in the tree as shown.
    QStringList Labels(CFileTreeView& view, const QModelIndex& parent = {}) {
        QStringList labels;
        QAbstractItemModel* model = view.model();
        for (int row = 0; row < model->rowCount(parent); ++row) labels << model->index(row, 0, parent).data().toString();
        return labels;
    }
    QModelIndex Row(CFileTreeView& view, const QString& label, const QModelIndex& parent = {}) {
        QAbstractItemModel* model = view.model();
        for (int row = 0; row < model->rowCount(parent); ++row)
            if (model->index(row, 0, parent).data().toString() == label) return model->index(row, 0, parent);
        return {};
    }
    std::unique_ptr<CFileTreeView> MakeBrowserView() {
        browser = std::make_unique<CPagesBrowserModel>(doc, store, &thumbnails, QStringLiteral("/usr/bin/corvane"));
        browser->SetRootFolder(root);
        auto view = std::make_unique<CFileTreeView>(*browser);
        view->launch = [this](const EditorLaunch& launch) {
            launches.push_back(launch);
            return true;
        };
        view->resize(300, 500);
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        return view;
    }

    RecordingPresenter presenter;
    QTemporaryDir dir;
    QString root;
    CSettingsStore store{dir.filePath(QStringLiteral("panes.ini"))};
    DocHost host;
    CMainDoc doc{host, SmallMode()};
    CThumbnailsModel thumbnails;
    std::unique_ptr<CPagesBrowserModel> browser;
    std::vector<EditorLaunch> launches;
};

TEST_F(Panes, TheTreeShowsFoldersThenFilesByLabelAndReadsAFolderWhenOpened) {
    auto view = MakeBrowserView();
    EXPECT_EQ(Labels(*view), (QStringList{"archive", "News", "alpha", "Beta", "Final"}))
        << "folders first, names without extension, no hidden or foreign files";
    const QModelIndex news = Row(*view, "News");
    ASSERT_TRUE(news.isValid());
    EXPECT_TRUE(view->model()->hasChildren(news));
    view->expand(news);
    EXPECT_EQ(Labels(*view, news), QStringList{"Opening"});
    EXPECT_FALSE(view->model()->hasChildren(Row(*view, "archive")) && view->isExpanded(Row(*view, "archive")));
}

TEST_F(Panes, RenamingInPlaceRefusesAClashAndRenamesTheFileOtherwise) {
    auto view = MakeBrowserView();
    auto rename = [&](const QString& from, const QString& to) {
        const QModelIndex at = Row(*view, from);
        EXPECT_TRUE(at.isValid()) << qPrintable(from);
        view->setCurrentIndex(at);
        view->edit(at);
        auto* editor = view->viewport()->findChild<QLineEdit*>();
        EXPECT_NE(editor, nullptr);
        if (!editor) return;
        editor->selectAll();
        QTest::keyClicks(editor, to);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();  // the delegate commits from the event queue
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the closed editor goes
    };
    rename("alpha", "Final");
    ASSERT_EQ(presenter.texts.size(), 1u) << "the clash is refused with a message";
    EXPECT_TRUE(QFile::exists(root + "/alpha.corvane"));
    EXPECT_TRUE(Row(*view, "alpha").isValid());

    rename("alpha", "Gamma");
    EXPECT_EQ(presenter.texts.size(), 1u);
    EXPECT_FALSE(QFile::exists(root + "/alpha.corvane"));
    EXPECT_TRUE(QFile::exists(root + "/Gamma.corvane")) << "the hidden extension is kept";
    EXPECT_TRUE(Row(*view, "Gamma").isValid());
}

TEST_F(Panes, FilesMadeOrRemovedOutsideShowAtTheNextCheck) {
    auto view = MakeBrowserView();
    EXPECT_TRUE(view->Watched().contains(root));
    MakePage("Late news.corvane", 1, 0x00FFFF);
    EXPECT_TRUE(Eventually([&] { return Row(*view, "Late news").isValid(); })) << "the watcher reported the folder";
    ASSERT_TRUE(QFile::remove(root + "/Final.corvane"));
    EXPECT_TRUE(Eventually([&] { return !Row(*view, "Final").isValid(); }));
    ASSERT_TRUE(QDir().mkpath(root + "/Sport"));
    EXPECT_TRUE(Eventually([&] { return view->Watched().contains(root + "/Sport"); })) << "a new folder is watched too";
}

TEST_F(Panes, DoubleClicksLoadAPageAndStartAScriptAndTheMenuOffersTheRest) {
    auto view = MakeBrowserView();
    // A double click is a click and then the second press.
    auto doubleClick = [&](const QModelIndex& at) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(at).center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(at).center());
    };
    doubleClick(Row(*view, "alpha"));
    EXPECT_EQ(doc.Page.LiveCount(), 2) << "the default action loads the page";
    doc.Page.OutputOn = 1;  // a script runs only while the output does

    doubleClick(Row(*view, "Beta"));
    EXPECT_EQ(doc.Script.Count(), 1);
    EXPECT_TRUE(doc.ScriptRunning()) << "a script is loaded and started";
    doc.ScriptStop();

    std::unique_ptr<QMenu> menu = view->MakeContextMenu(view->TreeModel().Node(Row(*view, "Final")));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->property("menuId").toInt(), CPagesBrowserModel::PageMenu);
    ASSERT_NE(menu->defaultAction(), nullptr);
    EXPECT_EQ(menu->defaultAction()->property("commandId").toInt(), PagesCommand::Load);
    for (QAction* action : menu->actions())
        if (action->property("commandId").toInt() == PagesCommand::Edit) action->trigger();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].arguments, (QStringList{"/edit", root + "/Final.corvane"}));
    EXPECT_EQ(view->MakeContextMenu(view->TreeModel().Node(Row(*view, "archive"))), nullptr) << "no menu for a folder";
}

TEST_F(Panes, TheThumbnailShowsTheChosenPagesPreviewAndFollowsItsFile) {
    auto view = MakeBrowserView();
    CThumbnailView pane(thumbnails);
    pane.resize(240, 200);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    EXPECT_TRUE(pane.PictureRect().isEmpty());
    view->setCurrentIndex(Row(*view, "alpha"));
    ASSERT_TRUE(thumbnails.HasPreview());
    const QRect shown = pane.PictureRect();
    EXPECT_FALSE(shown.isEmpty());
    EXPECT_NEAR(double(shown.width()) / shown.height(), 720.0 / 576.0, 0.02) << "at the picture's shape";
    EXPECT_EQ(pane.grab().toImage().pixelColor(shown.center()), QColor(255, 0, 0)) << "red in the low byte";

    MakePage("alpha.corvane", 2, 0x00FF00);  // saved again, now green
    EXPECT_TRUE(Eventually([&] { return pane.grab().toImage().pixelColor(pane.PictureRect().center()) == QColor(0, 255, 0); }));
    view->setCurrentIndex(Row(*view, "Beta"));
    EXPECT_TRUE(pane.PictureRect().isEmpty()) << "a script has no preview";
}

TEST_F(Panes, TheNavigatorFollowsTheSelectionAndThePlayStates) {
    CObjectNavigatorModel navigator(doc);
    CObjectsListView list(navigator, store);
    list.resize(400, 300);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    std::vector<CFrame*> objects;
    for (int k = 0; k < 3; ++k) {
        doc.AddSimpleObject();
        objects.push_back(doc.Selected);
    }
    list.DocumentUpdated(UpdateGeneral);
    ASSERT_EQ(list.model()->rowCount(), 3);
    EXPECT_EQ(list.currentIndex().row(), navigator.SelectedRow());

    doc.Select(objects[0]);
    list.DocumentUpdated(UpdateGeneral);
    EXPECT_EQ(list.currentIndex().row(), navigator.SelectedRow());
    // A click on another row selects its object in the document.
    const int other = navigator.SelectedRow() == 0 ? 1 : 0;
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(list.model()->index(other, 1)).center());
    EXPECT_NE(doc.Selected, objects[0]);
    EXPECT_EQ(navigator.SelectedRow(), other);

    const QModelIndex state = list.model()->index(other, 3);
    EXPECT_FALSE(state.data(Qt::DecorationRole).isValid());
    doc.Selected->Playing = 1;
    list.DocumentUpdated(UpdateGeneral);
    EXPECT_TRUE(list.model()->index(other, 3).data(Qt::DecorationRole).isValid()) << "the playing icon";
    doc.Selected->Playing = 0;
    doc.Selected->Locked = 1;
    list.DocumentUpdated(UpdateGeneral);
    EXPECT_FALSE(list.model()->index(other, 3).data(Qt::DecorationRole).isValid());
    EXPECT_TRUE(list.model()->index(other, 4).data(Qt::DecorationRole).isValid()) << "the lock icon";
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
