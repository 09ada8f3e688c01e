// A sport plug-in in the document: the launch loads its pages locked and grouped
// under their ids, the panel's page commands play and end them through the command
// path, and the tick's poll reports each page's state once per change.
#include "app/MainDoc.h"
#include "app/PluginPages.h"
#include "base/Settings.h"
#include "base/Translate.h"
#include "tests/RecordingPresenter.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

namespace {

struct QuietHost : IDocumentHost {
    void UpdateViews(int) override {}
};

class PluginLaunch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        doc.Page.OutputOn = 1;
        Write("Show.plugin", R"(<?xml version="1.0"?>
<config>
  <ui width="300" height="200"><page id="score" action="toggle"/><page id="name" action="toggle"/></ui>
  <data><text id="home">Home</text></data>
  <pages><page id="score"/><page id="name"/></pages>
</config>)");
        PageFile("score", 2);
        PageFile("name", 1);
    }
    void Write(const char* name, const QByteArray& bytes) {
        QFile f(dir.filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    // A page file of count objects, made by a document of its own.
    void PageFile(const char* id, int count) {
        CMainDoc maker(host, 0);
        for (int k = 0; k < count; ++k) {
            auto object = std::make_unique<CFrame>();
            object->ShowIndefinitely = 1;
            object->Group = QStringLiteral("from the file");
            ASSERT_TRUE(maker.AddObject(std::move(object)));
        }
        ASSERT_TRUE(maker.Save(dir.filePath(QString::fromUtf8(id) + QStringLiteral(".corvane"))));
    }
    std::vector<CFrame*> Objects() {
        CPageSnapshot snapshot(doc.Page);
        return snapshot.list;
    }

    RecordingPresenter presenter;
    QuietHost host;
    CMainDoc doc{host, 0};
    QTemporaryDir dir;
    CSettingsStore settings{dir.filePath(QStringLiteral("Corvane.ini"))};
};

TEST_F(PluginLaunch, PagesAreLoadedLockedAndGroupedAndTheFilesWritten) {
    ASSERT_TRUE(doc.PluginLaunch(dir.filePath(QStringLiteral("Show.plugin")), settings));
    EXPECT_EQ(settings.GetText(Settings::PluginLastFileName), dir.filePath(QStringLiteral("Show.plugin")));
    EXPECT_EQ(doc.PluginPages, (std::vector<QString>{QStringLiteral("score"), QStringLiteral("name")}));
    EXPECT_EQ(doc.PluginStatus, (std::vector<int>{0, 0}));
    const std::vector<CFrame*> objects = Objects();
    ASSERT_EQ(objects.size(), 3u);
    const char* groups[] = {"score", "score", "name"};
    for (size_t k = 0; k < objects.size(); ++k) {
        EXPECT_EQ(objects[k]->Group, QString::fromUtf8(groups[k])) << k;
        EXPECT_EQ(objects[k]->Locked, 1) << k;
    }
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("text.home.txt")))) << "the plug-in's files were written";
    EXPECT_TRUE(presenter.texts.empty());

    doc.PluginClose();
    EXPECT_EQ(doc.Plugin, nullptr);
    EXPECT_TRUE(Objects().empty());
}

TEST_F(PluginLaunch, PageCommandsPlayAndEndThePageAndThePollReportsChangesOnce) {
    ASSERT_TRUE(doc.PluginLaunch(dir.filePath(QStringLiteral("Show.plugin")), settings));
    EXPECT_TRUE(doc.PluginPoll().empty());
    doc.PluginPageCommand(1, 1);  // show "name"
    doc.PluginPageCommand(1, 2);  // no such page
    doc.PluginPageCommand(3, 0);  // no such command
    const std::vector<CFrame*> objects = Objects();
    EXPECT_EQ(objects[0]->Playing.load() + objects[1]->Playing.load(), 0);
    EXPECT_EQ(objects[2]->Playing.load(), 1);
    EXPECT_EQ(doc.PluginPoll(), (std::vector<std::pair<int, int>>{{1, 1}}));
    EXPECT_TRUE(doc.PluginPoll().empty()) << "reported once";

    doc.PluginPageCommand(2, 1);  // hide: ends through the out effect
    EXPECT_TRUE(objects[2]->Ending);
    doc.Command(PlayCommand::Stop, CommandTarget::One(objects[2]));  // the render thread's part
    EXPECT_EQ(doc.PluginPoll(), (std::vector<std::pair<int, int>>{{1, 0}}));

    doc.Page.OutputOn = 0;
    doc.PluginPageCommand(1, 0);
    EXPECT_EQ(objects[0]->Playing.load(), 0) << "nothing plays while the output is off";
}

TEST_F(PluginLaunch, AFailedLaunchSaysWhyAndStops) {
    // A definition that cannot be read.
    EXPECT_FALSE(doc.PluginLaunch(dir.filePath(QStringLiteral("None.plugin")), settings));
    ASSERT_EQ(presenter.texts.size(), 1u);
    EXPECT_TRUE(presenter.texts[0].endsWith(dir.filePath(QStringLiteral("None.plugin")))) << presenter.texts[0].toStdString();
    EXPECT_EQ(doc.Plugin, nullptr);

    // The second page file is missing: the first page's objects stay, locked.
    presenter.texts.clear();
    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("name.corvane"))));
    EXPECT_FALSE(doc.PluginLaunch(dir.filePath(QStringLiteral("Show.plugin")), settings));
    EXPECT_EQ(presenter.texts.size(), 1u) << "the page reader's message";
    EXPECT_EQ(doc.Plugin, nullptr);
    EXPECT_TRUE(doc.PluginPages.empty());
    const std::vector<CFrame*> objects = Objects();
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]->Group, QStringLiteral("score"));
    EXPECT_EQ(objects[1]->Locked, 1);
}

// The panel's road: a click on a page element queues the page command, the
// document carries it out once the click has returned, and the tick's poll lights
// the element.
TEST_F(PluginLaunch, APageElementPlaysItsPageAfterTheClickAndLightsUpAtThePoll) {
    ASSERT_TRUE(doc.PluginLaunch(dir.filePath(QStringLiteral("Show.plugin")), settings));
    struct Panel : CPluginPageHost {
        using CPluginPageHost::CPluginPageHost;
        void SetElementActive(int element, bool active) override { lit.emplace_back(element, active); }
        std::vector<std::pair<int, bool>> lit;
    } panel(doc);
    CPluginControl control(*doc.Plugin, panel);
    const std::vector<CFrame*> objects = Objects();

    control.DoAction(1);  // the toggle element of page "name"
    EXPECT_EQ(objects[2]->Playing.load(), 0) << "queued, not yet carried out";
    QCoreApplication::processEvents();
    EXPECT_EQ(objects[2]->Playing.load(), 1);
    EXPECT_EQ(objects[0]->Playing.load(), 0);
    panel.PollStatus(control);
    EXPECT_EQ(panel.lit, (std::vector<std::pair<int, bool>>{{1, true}}));

    control.DoAction(1);  // the page plays now: the toggle hides it
    QCoreApplication::processEvents();
    EXPECT_TRUE(objects[2]->Ending);
}

}  // namespace
