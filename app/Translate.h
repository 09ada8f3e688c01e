// Texts by string id and the message boxes that show them.
//
// Threads: the user-interface thread (and the command-line tool's main thread).
// Lower layers call MessageBox* from the operation the user started; the installed
// presenter decides how the message reaches the user (a QMessageBox in the editor,
// standard error in the tool, a recorder in tests).
#pragma once

#include <QString>
#include <initializer_list>

// Message box flags and results, with the values the rest of the system uses.
enum MessageFlags : unsigned {
    MbOk = 0x00,
    MbOkCancel = 0x01,
    MbYesNoCancel = 0x03,
    MbYesNo = 0x04,
    MbIconError = 0x10,
    MbIconQuestion = 0x20,
    MbIconWarning = 0x30,
    MbIconInformation = 0x40,
};
enum MessageResult : int { IdOk = 1, IdCancel = 2, IdYes = 6, IdNo = 7 };

class IMessagePresenter {
public:
    virtual ~IMessagePresenter() = default;
    // Shows text with the flags above; returns the MessageResult chosen.
    virtual int Show(const QString& text, unsigned flags) = 0;
};

// One argument of a printf-style format: an integer, a floating-point number or a
// string, chosen by the conversion in the format.
struct FormatArg {
    enum Kind { Int, Double, String } kind;
    long long i = 0;
    double d = 0;
    QString s;
    FormatArg(int v) : kind(Int), i(v) {}
    FormatArg(unsigned v) : kind(Int), i(v) {}
    FormatArg(long long v) : kind(Int), i(v) {}
    FormatArg(double v) : kind(Double), d(v) {}
    FormatArg(const QString& v) : kind(String), s(v) {}
    FormatArg(const char* v) : kind(String), s(QString::fromUtf8(v)) {}
};

// printf-style formatting over UTF-16 strings: %d %i %u %x %X %c %f %e %g %s %S and
// %%, with flags, width and precision. A missing argument formats as empty or 0.
QString FormatString(const QString& format, std::initializer_list<FormatArg> args);

class CTranslate {
public:
    // The process-wide instance.
    static CTranslate& Global();

    // The text of a string id; found is false (and the text empty) when no text exists.
    QString LoadText(unsigned id, bool* found = nullptr) const;
    // LoadText, then printf-style formatting.
    QString FormatText(unsigned id, std::initializer_list<FormatArg> args) const;

    // A message box with the text of id.
    int MessageBoxText(unsigned id, unsigned flags);
    // A message box with the formatted text of id.
    int MessageBoxFormat(unsigned id, unsigned flags, std::initializer_list<FormatArg> args);
    // A message box with a ready text.
    int MessageBox(const QString& text, unsigned flags);

    // Installs the presenter (not owned; null restores the default, which writes to
    // standard error and answers IdOk). Returns the previous one.
    IMessagePresenter* SetPresenter(IMessagePresenter* presenter);

private:
    IMessagePresenter* presenter_ = nullptr;
};
