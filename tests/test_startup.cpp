// Two real instances side by side: at most one main instance per user; editor
// instances start beside it.
#include "app/MainApp.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(runtime_.isValid());
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        environment_.insert(QStringLiteral("XDG_CONFIG_HOME"), runtime_.filePath(QStringLiteral("config")));
    }

    // Starts a probe; returns it running (or finished) with its first line read.
    std::unique_ptr<QProcess> Start(const QStringList& arguments, QByteArray& firstLine) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment_);
        process->start(QStringLiteral(STARTUP_PROBE), arguments);
        EXPECT_TRUE(process->waitForStarted(30000));
        // A refused instance exits without a line; a started one prints one.
        while (process->state() == QProcess::Running && !process->canReadLine()) process->waitForReadyRead(100);
        firstLine = process->readLine().trimmed();
        return process;
    }

    static int Finish(QProcess& process) {
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(30000));
        return process.exitCode();
    }

    QTemporaryDir runtime_;
    QProcessEnvironment environment_;
};

}  // namespace

TEST_F(Startup, SecondMainInstanceExitsQuietly) {
    QByteArray first, second, editor, page;
    auto main = Start({}, first);
    EXPECT_EQ(first, "main");

    auto refused = Start({}, second);
    if (refused->state() != QProcess::NotRunning) refused->waitForFinished(30000);
    ASSERT_EQ(refused->state(), QProcess::NotRunning);
    EXPECT_EQ(refused->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(refused->exitCode(), 0);
    EXPECT_TRUE(second.isEmpty());
    EXPECT_TRUE(refused->readAllStandardOutput().isEmpty());

    auto editorInstance = Start({QStringLiteral("/edit")}, editor);
    EXPECT_EQ(editor, "editor");
    auto pageEditor = Start({QStringLiteral("/pages/news.corvane")}, page);
    EXPECT_EQ(page, "editor /pages/news.corvane");

    EXPECT_EQ(Finish(*editorInstance), 0);
    EXPECT_EQ(Finish(*pageEditor), 0);
    EXPECT_EQ(Finish(*main), 0);

    // With the main instance gone, the next start is a main instance again.
    QByteArray again;
    auto next = Start({}, again);
    EXPECT_EQ(again, "main");
    EXPECT_EQ(Finish(*next), 0);
}

TEST_F(Startup, LockOfACrashedInstanceDoesNotBlock) {
    QByteArray first, second;
    auto crashed = Start({QStringLiteral("--die")}, first);
    EXPECT_EQ(first, "main");
    if (crashed->state() != QProcess::NotRunning) crashed->waitForFinished(30000);
    ASSERT_EQ(crashed->state(), QProcess::NotRunning);
    EXPECT_EQ(crashed->exitCode(), 3);
    EXPECT_TRUE(QFile::exists(runtime_.filePath(QStringLiteral("Norvik_Corvane.lock"))));

    auto next = Start({}, second);
    EXPECT_EQ(second, "main");
    EXPECT_EQ(Finish(*next), 0);
}

TEST(CommandLine, SwitchesAndFiles) {
    const struct {
        QStringList arguments;
        bool edit;
        const char* file;
    } cases[] = {
        {{}, false, ""},
        {{"/edit"}, true, ""},
        {{"-edit"}, true, ""},
        {{"/Edit"}, false, ""},          // the switch is exact, letter case included
        {{"/EDIT"}, false, ""},
        {{"/p"}, false, ""},             // other requests open nothing
        {{"/edit", "/home/op/Corvane/news.corvane"}, true, "/home/op/Corvane/news.corvane"},
        {{"news.corvane"}, true, "news.corvane"},  // a page file makes an editor instance
        {{"/page.corvane"}, true, "/page.corvane"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const CMyCommandLineInfo info = CMyCommandLineInfo::Parse(c.arguments);
        EXPECT_EQ(info.Edit, c.edit);
        EXPECT_EQ(info.FileName, QString::fromUtf8(c.file));
    }
}
