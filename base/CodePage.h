// Windows code pages by number, as RTF documents and "ANSI" text files name them.
//
// Threads: any; the functions share nothing.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace CodePage {

// The converter name of a Windows code page ("windows-1252", "Shift_JIS", ...).
QByteArray Name(int codePage);

// The code page of an RTF font character set (\fcharset): Windows-1252 for the
// ANSI (0) set; ansiCodePage for the default (1) set and for sets it does not know.
int OfCharset(int charset, int ansiCodePage);

// The font character set whose code page is codePage (0 for Windows-1252), or the
// default set (1), which takes the document's, for a code page no set names.
int CharsetOf(int codePage);

// Bytes of the code page as text. Unknown code pages read as Windows-1252.
QString Decode(int codePage, QByteArrayView bytes);

// Text in the code page; false when some character has no code there.
bool Encode(int codePage, QStringView text, QByteArray& bytes);

}  // namespace CodePage
