// The RTF reader against arbitrary bytes, and the writer against whatever the reader
// made of them:
//  - reading finishes (libFuzzer's time and memory limits catch a hang or a blow-up);
//  - the writer's output is 7-bit (everything else escaped), is RTF, and reads back
//    in the same code page to a document with exactly the same text.
#include "text/Rtf.h"

#include <QByteArray>
#include <QColor>
#include <QGuiApplication>
#include <QStringList>
#include <QTextDocument>

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// What a text control hands the reader: Arial 28 pt white.
QTextCharFormat DefaultFormat() {
    QTextCharFormat format;
    format.setFontFamilies(QStringList{QStringLiteral("Arial")});
    format.setFontPointSize(28);
    format.setForeground(QColor(255, 255, 255));
    return format;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Fonts need a GUI application; it lives as long as the process, never torn down
    // behind the fuzzer's back at exit.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_rtf";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    (void)app;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QTextCharFormat format = DefaultFormat();
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    QTextDocument first;
    const Rtf::ReadResult read = Rtf::Read(bytes, first, format, 1252);
    Check(read.codePage > 0);

    const QByteArray written = Rtf::Write(first, read.codePage);
    for (const char c : written) Check(static_cast<unsigned char>(c) < 0x80);

    QTextDocument second;
    const Rtf::ReadResult again = Rtf::Read(written, second, format, 1252);
    Check(again.rtf);
    Check(again.codePage == read.codePage);
    Check(second.toRawText() == first.toRawText());
    return 0;
}
