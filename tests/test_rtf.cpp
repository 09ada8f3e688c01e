// RTF reading and writing, and the text rasteriser.
#include "render/text/RichEdit.h"
#include "render/text/Rtf.h"

#include <QFontInfo>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

namespace {

QTextCharFormat DefaultFormat() {
    CRichEditExCtrl control(1, false);
    return control.defaultFormat;
}

// The character format at position i (the character at i).
QTextCharFormat FormatAt(QTextDocument& document, int i) {
    QTextCursor cursor(&document);
    cursor.setPosition(i + 1);
    return cursor.charFormat();
}

}  // namespace

TEST(Rtf, ProbeTemplate) {
    const QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}{\\f1\\fnil\\fcharset204{\\*\\fname Arial;}Arial CYR;}}\r\n{\\colortbl ;\\red255\\green255\\blue255;}\r\n\\viewkind4\\uc1\\pard\\cf1\\lang1033\\b\\fs56 %1%\\lang1049\\f1\\par\r\n}\r\n";
    QTextDocument document;
    const Rtf::ReadResult r = Rtf::Read(rtf, document, DefaultFormat(), 1252);
    EXPECT_TRUE(r.rtf);
    EXPECT_EQ(r.codePage, 1251);
    EXPECT_EQ(document.toPlainText(), QStringLiteral("%1%\n"));
    std::printf("%s\n", Rtf::Write(document, r.codePage).constData());
}
