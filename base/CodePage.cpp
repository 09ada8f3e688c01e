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

int OfCharset(int charset, int ansiCodePage) {
    switch (charset) {
    case 0: return 1252;  // ANSI is Western whatever the document's code page; 1 is the document's
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 255: return 437;
    default: return ansiCodePage;
    }
}

int CharsetOf(int codePage) {
    static constexpr int charsets[] = {0, 77, 128, 129, 134, 136, 161, 162, 163, 177, 178, 186, 204, 222, 238, 255};
    for (int charset : charsets)
        if (OfCharset(charset, 0) == codePage) return charset;
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
