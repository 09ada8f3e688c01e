// A plug-in folder in a temporary directory, with helpers to put files in it and
// read them back, for the plug-in tests.
#pragma once

#include "plugin/Plugin.h"
#include "tests/TempFolderFixture.h"

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

class PluginFixture : public TempFolderFixture {
protected:
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

    CPlugin plugin;
};
