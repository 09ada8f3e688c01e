// A temporary folder for a test's files: put files in it, read them back, list
// them. The folder goes with the test.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

class TempFolderFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString Path(const QString& name) const { return dir.filePath(name); }
    // The folder with its closing "/", as stored paths are resolved against it.
    QString Folder() const { return dir.path() + u'/'; }
    // Writes bytes to name (its folders made), replacing what was there.
    QString Put(const QString& name, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(Path(name)).absolutePath());
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        EXPECT_EQ(file.write(bytes), bytes.size());
        return file.fileName();
    }
    static QByteArray Contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    QByteArray File(const QString& name) const { return Contents(Path(name)); }
    // The names of the files in the folder, sorted.
    QStringList Files() const {
        QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        names.sort();
        return names;
    }

    QTemporaryDir dir;
};
