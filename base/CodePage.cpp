#include "base/CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace CodePage {

QByteArray Name(int codePage) {
    switch (codePage) {
    case 437: return "IBM437";
    case 850: return "IBM850";
    case 932: return "windows-31j";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 10000: return "macintosh";
    case 65001: return "UTF-8";
    default: return "windows-" + QByteArray::number(codePage);
    }
}

namespace {

// RTF font charsets and their code pages. Charset 0 (ANSI) is Western whatever the
// document's code page; 1 (default) is the document's and is not listed.
struct CharsetPage {
    int charset, codePage;
};
constexpr CharsetPage CharsetPages[] = {
    {0, 1252},    {77, 10000},  {128, 932},   {129, 949},   {134, 936},   {136, 950},
    {161, 1253},  {162, 1254},  {163, 1258},  {177, 1255},  {178, 1256},  {186, 1257},
    {204, 1251},  {222, 874},   {238, 1250},  {255, 437},
};

}  // namespace

int OfCharset(int charset, int ansiCodePage) {
    for (const CharsetPage& entry : CharsetPages)
        if (entry.charset == charset) return entry.codePage;
    return ansiCodePage;
}

int CharsetOf(int codePage) {
    for (const CharsetPage& entry : CharsetPages)
        if (entry.codePage == codePage) return entry.charset;
    return 1;
}

QString Decode(int codePage, QByteArrayView bytes) {
    QStringDecoder decoder(Name(codePage).constData());
    if (!decoder.isValid()) decoder = QStringDecoder("windows-1252");
    return decoder.decode(bytes);
}

bool Encode(int codePage, QStringView text, QByteArray& bytes) {
    QStringEncoder encoder(Name(codePage).constData());
    if (!encoder.isValid()) return false;
    bytes = encoder.encode(text);
    // The converter substitutes what it cannot map; a round trip tells.
    return !encoder.hasError() && Decode(codePage, bytes) == text;
}

}  // namespace CodePage
