// The language pack reader against arbitrary bytes. After reading:
//  - at most ten translations, and English selected;
//  - SelectLanguage takes 0..n and turns anything larger into English, and the
//    automatic choice lands on English or a translation;
//  - names outside 1..n are "English";
//  - LoadText gives the translation's text where it has the key, else the built-in
//    English text;
//  - no translated text still holds a backslash followed by 'n' or 't';
//  - reading the same bytes again gives the same translations.
#include "base/Translate.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

const unsigned StringIds[] = {10201, 10312, 12600, 12602, 32887, 57344, 1, 0xFFFF};
const quint32 Keys[] = {0xC0003138u, 0x84980000u, 0x813603E8u, 0x48010000u, 0x48038073u, 0xFFFFFFFFu, 0u};

bool HoldsEscape(const QString& text) {
    for (qsizetype k = 0; k + 1 < text.size(); ++k)
        if (text[k] == u'\\' && (text[k + 1] == u'n' || text[k + 1] == u't')) return true;
    return false;
}

// Everything a reader can see of the loaded pack.
QStringList Snapshot(CTranslate& translate) {
    QStringList seen;
    seen << QString::number(translate.TranslationCount());
    for (int index = 1; index <= translate.TranslationCount(); ++index) {
        translate.SelectLanguage(index, 0);
        seen << translate.GetLanguageName(index);
        for (quint32 key : Keys) {
            QString text;
            seen << (translate.Lookup(key, text) ? text : QStringLiteral("-"));
        }
    }
    translate.SelectLanguage(0);
    return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CTranslate& translate = CTranslate::Global();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    QStringList english;
    translate.Clear();
    for (unsigned id : StringIds) english << translate.LoadText(id);

    translate.LoadLanguagePackData(bytes);
    const int count = translate.TranslationCount();
    if (count > CTranslate::MaxTranslations) std::abort();
    Check(count >= 0);
    Check(translate.CurrentLanguage() == 0);

    for (int index = 0; index <= 11; ++index) {
        translate.SelectLanguage(index, 0x0407);
        Check(translate.CurrentLanguage() == (index <= count ? index : 0));
        if (index == 0 || index > count) Check(translate.GetLanguageName(index) == QStringLiteral("English"));
        for (size_t k = 0; k < std::size(StringIds); ++k) {
            const unsigned id = StringIds[k];
            QString translated;
            const bool has = translate.Lookup(CTranslate::StringKey(id), translated);
            Check(!has || translate.CurrentLanguage() != 0);
            Check(translate.LoadText(id) == (has ? translated : english[qsizetype(k)]));
            Check(!HoldsEscape(translated));
        }
        for (quint32 key : Keys) {
            QString text;
            if (translate.Lookup(key, text)) Check(!HoldsEscape(text));
        }
        (void)translate.GetStatusText(32887);
        (void)translate.GetTooltipText(32887);
    }
    for (int user : {0x0407, 0x0409, 0, -1}) {
        translate.SelectLanguage(-1, user);
        Check(translate.CurrentLanguage() >= 0 && translate.CurrentLanguage() <= count);
    }
    translate.SelectLanguage(-1);
    Check(translate.CurrentLanguage() >= 0 && translate.CurrentLanguage() <= count);

    const QStringList first = Snapshot(translate);
    translate.LoadLanguagePackData(bytes);
    Check(Snapshot(translate) == first);

    translate.Clear();
    translate.SelectLanguage(0);
    return 0;
}
