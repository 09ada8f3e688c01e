// A plug-in folder in a temporary directory, with helpers to put files in it and
// read them back, for the plug-in tests.
#pragma once

#include "plugin/Plugin.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <ostream>

// File contents shown as escaped text when they differ.
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << '"';
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 32 && u < 127 && c != '\\' && c != '"') {
            *os << c;
        } else {
            static const char hex[] = "0123456789abcdef";
            *os << "\\x" << hex[u >> 4] << hex[u & 15];
        }
    }
    *os << '"';
}

class PluginFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString Path(const QString& name) const { return dir.filePath(name); }
    QString Folder() const { return dir.path() + u'/'; }
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
    QStringList Files() const {
        QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        names.sort();
        return names;
    }

    // An output file's bytes for text, built by hand: FF FE and little-endian units.
    static QByteArray Utf16(const QString& text) {
        QByteArray bytes("\xFF\xFE", 2);
        for (QChar c : text) {
            bytes.append(char(c.unicode() & 0xFF));
            bytes.append(char(c.unicode() >> 8));
        }
        return bytes;
    }

    // Writes name.plugin with body inside <config> and loads it into plugin.
    bool Define(const QByteArray& body, const QString& name = QStringLiteral("Match")) {
        const QString path = Put(name + QStringLiteral(".plugin"), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<config>\n" + body + "\n</config>\n");
        return plugin.LoadDefinition(path);
    }

    QTemporaryDir dir;
    CPlugin plugin;
};
