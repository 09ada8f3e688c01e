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

// The code page of an RTF font character set (\fcharset); ansiCodePage for the
// ANSI (0) and default (1) sets and for sets it does not know.
int OfCharset(int charset, int ansiCodePage);

// Bytes of the code page as text. Unknown code pages read as Windows-1252.
QString Decode(int codePage, QByteArrayView bytes);

// Text in the code page; false when some character has no code there.
bool Encode(int codePage, QStringView text, QByteArray& bytes);

}  // namespace CodePage
