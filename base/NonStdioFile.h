// Reads text files line by line in one of five encodings.
//
// Threads: one reader belongs to one thread at a time (the text thread for text
// sources, the user-interface thread for plug-in tables); readers share nothing.
#pragma once

#include <QByteArray>
#include <QString>

#include "base/SafeFile.h"
#include <memory>

class QFile;
class QStringDecoder;

enum TextEncoding : int {
    Auto = 0,
    AnsiOem = 1,
    Unicode = 2,
    UnicodeBigEndian = 3,
    Utf8 = 4,
};

class CNonStdioFile {
public:
    CNonStdioFile();
    ~CNonStdioFile();
    CNonStdioFile(const CNonStdioFile&) = delete;
    CNonStdioFile& operator=(const CNonStdioFile&) = delete;

    // Opens for reading and settles the encoding (a byte-order mark decides under
    // Auto). Returns false when the file cannot be opened or is not a regular file
    // (a FIFO or a device is refused without blocking); the reader stays ended.
    // Reading stops after maxBytes: the lines read so far stand and Capped() says so.
    bool OpenText(const QString& path, int encoding, qint64 maxBytes = MaxBytes);
    // The next line without its terminator; false (line untouched) when none is left.
    bool ReadLine(QString& line);
    void Close();

    // True once the reader stopped at its byte cap with more of the file left.
    bool Capped() const { return capped_; }
    // Why the last OpenText failed.
    FileRefusal Refusal() const { return refusal_; }

    // The encoding in force once open: 1 to 4.
    int EncodingInForce() const { return encoding_; }

    // The single-byte code page that stands for "ANSI": Windows-1252 unless the
    // setting Preferences/CodePage names another one (1250, 1251, ...). Set once at
    // start-up by the application; readers opened later use it.
    static void SetAnsiCodePage(int codePage);
    static int AnsiCodePage();

    static constexpr int WindowSize = 1024;
    // Far beyond any text an operator shows, small enough that a runaway file cannot
    // take the machine's memory.
    static constexpr qint64 MaxBytes = 16ll * 1024 * 1024;

private:
    int ReadByte();  // next byte 0..255, or -1 at the end of the file
    int ReadChar();  // next character, or -1 ("none")
    void PrepareDecoder();
    qint64 ReadWindow(int at);  // fills the window from at, within the cap

    std::unique_ptr<QFile> file_;
    int encoding_ = AnsiOem;
    std::unique_ptr<uint8_t[]> window_;  // the 1024-byte read window
    int windowPos_ = 0;
    int windowLength_ = 0;
    QByteArray lineBytes_;   // the line being assembled (AnsiOem)
    QString lineUnits_;      // the line being assembled (UTF-16 and UTF-8)
    std::unique_ptr<QStringDecoder> decoder_;  // the ANSI code page's converter
    bool ended_ = true;
    int pushedBack_ = -1;    // a character ReadLine looked at and gave back
    int pendingUnit_ = -1;   // a UTF-16 unit read after a lone surrogate, next in turn
    qint64 budget_ = 0;      // bytes left before the cap
    bool capped_ = false;
    FileRefusal refusal_ = FileRefusal::None;
};
