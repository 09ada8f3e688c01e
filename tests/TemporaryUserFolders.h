// A test fixture that points HOME and XDG_CONFIG_HOME at fresh temporary folders
// (home with a Documents folder when asked) and puts both back afterwards.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

class TemporaryUserFolders : public ::testing::Test {
protected:
    explicit TemporaryUserFolders(bool withDocuments) : withDocuments_(withDocuments) {}

    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"})
            saved_.push_back({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
        home_ = dir_.filePath(QStringLiteral("home"));
        config_ = dir_.filePath(QStringLiteral("config"));
        ASSERT_TRUE(QDir().mkpath(withDocuments_ ? home_ + QStringLiteral("/Documents") : home_));
        ASSERT_TRUE(QDir().mkpath(config_));
        qputenv("HOME", home_.toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", config_.toLocal8Bit());
    }
    void TearDown() override {
        for (const Saved& s : saved_) {
            if (s.was) qputenv(s.name, s.value);
            else qunsetenv(s.name);
        }
    }

    QTemporaryDir dir_;
    QString home_, config_;

private:
    struct Saved {
        const char* name;
        bool was;
        QByteArray value;
    };
    bool withDocuments_;
    std::vector<Saved> saved_;
};
