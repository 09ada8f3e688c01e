// Texts by string id and the message boxes that show them.
//
// Threads: the user-interface thread (and the command-line tool's main thread);
// FormatString is pure and callable from any thread.
// Lower layers call MessageBox* from the operation the user started; the installed
// presenter decides how the message reaches the user (a QMessageBox in the editor,
// standard error in the tool, a recorder in tests).
#pragma once

#include <QHash>
#include <QString>
#include <cstdint>
#include <initializer_list>
#include <vector>

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

// Writes messages to standard error: the presenter of command-line use and the
// fallback when none is installed. Questions (Yes/No boxes) get Answer; the default
// answers neither Yes nor No, so nothing destructive happens unasked.
class CStandardErrorPresenter : public IMessagePresenter {
public:
    int Show(const QString& text, unsigned flags) override;
    int Answer = IdOk;
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
    FormatArg(long v) : kind(Int), i(v) {}
    FormatArg(unsigned long v) : kind(Int), i((long long)v) {}
    FormatArg(long long v) : kind(Int), i(v) {}
    FormatArg(unsigned long long v) : kind(Int), i((long long)v) {}
    FormatArg(const void* p) : kind(Int), i((long long)(uintptr_t)p) {}
    FormatArg(double v) : kind(Double), d(v) {}
    FormatArg(const QString& v) : kind(String), s(v) {}
    FormatArg(const char* v) : kind(String), s(QString::fromUtf8(v)) {}
};

// printf-style formatting over UTF-16 strings: %d %i %u %x %X %c %p %f %e %g %s %S
// and %%, with flags, width and precision (%p prints the address in upper-case hex). A missing argument formats as empty or 0.
QString FormatString(const QString& format, std::initializer_list<FormatArg> args);

// One language of the language pack.
struct CTranslation {
    QString name;                        // shown in the Language menu
    int languageId = 0;                  // the language identifier the pack declares
    QHash<quint32, QString> resources;   // resources key -> text
};

class CTranslate {
public:
    // The process-wide instance.
    static CTranslate& Global();

    static constexpr int MaxTranslations = 10;

    // Resources keys: strings, dialog captions, dialog controls and menu items.
    static quint32 StringKey(unsigned id) { return id | 0xC0000000u; }
    static quint32 DialogKey(unsigned dialogId) { return (0x8000u | (dialogId & 0x3FFFu)) << 16; }
    static quint32 ControlKey(unsigned dialogId, unsigned controlId) { return DialogKey(dialogId) | controlId; }
    static quint32 MenuKey(unsigned menuId, unsigned popupCounter, unsigned commandId) {
        return ((0x4000u | ((menuId & 0x3FFu) << 4) | (popupCounter & 0xFu)) << 16) | (commandId & 0xFFFFu);
    }

    // Reads "Translations.xml" beside the executable (or in share/corvane next to
    // it). A missing or malformed pack leaves the program in English. Returns
    // whether a pack was read.
    bool LoadLanguagePack();
    bool LoadLanguagePack(const QString& path);
    // The same from the file's bytes.
    bool LoadLanguagePackData(const QByteArray& xml);
    // Forgets every translation (English only).
    void Clear();

    // -1 chooses the first translation whose language id is the user's, else
    // English; other indexes are taken when at most the number of translations.
    void SelectLanguage(int index);
    void SelectLanguage(int index, int userLanguageId);
    int CurrentLanguage() const { return current_; }
    int TranslationCount() const { return int(translations_.size()); }
    // The translation's name for 1..n, else "English".
    QString GetLanguageName(int index) const;
    // The text of a resources key in the current translation, if it has one.
    bool Lookup(quint32 key, QString& text) const;

    // The user's language as a language identifier (from the system locale).
    static int UserLanguageId();

    // Status-bar text (up to the first line feed) and tooltip (after it).
    QString GetStatusText(unsigned commandId) const;
    QString GetTooltipText(unsigned commandId) const;

    // The text of a string id; found is false (and the text empty) when no text exists.
    QString LoadText(unsigned id, bool* found = nullptr) const;
    // LoadText, then printf-style formatting.
    QString FormatText(unsigned id, std::initializer_list<FormatArg> args) const;

    // Every id of the built-in table, ascending.
    static QList<unsigned> BuiltInIds();

    // A message box with the text of id.
    int MessageBoxText(unsigned id, unsigned flags);
    // A message box with the formatted text of id.
    int MessageBoxFormat(unsigned id, unsigned flags, std::initializer_list<FormatArg> args);
    // A message box with a ready text.
    int MessageBox(const QString& text, unsigned flags);

    // Installs the presenter (not owned; null restores the default, which writes to
    // standard error and answers IdOk). Returns the previous one.
    IMessagePresenter* SetPresenter(IMessagePresenter* presenter);

    // Counts submenus while a menu is translated (see TranslateMenu).
    quint16 PopupCounter = 0;

private:
    const CTranslation* Current() const;

    IMessagePresenter* presenter_ = nullptr;
    std::vector<CTranslation> translations_;
    int current_ = 0;
};
