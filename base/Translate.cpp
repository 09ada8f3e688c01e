#include "base/Translate.h"

#include "base/SafeFile.h"
#include "base/StringTable.h"
#include "base/Xml.h"

#include <tinyxml.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocale>

#include <QHash>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {

// Parses the embedded table once, at the first lookup.
const QHash<unsigned, QString>& BuiltInTable() {
    static const QHash<unsigned, QString> table = [] {
        QHash<unsigned, QString> t;
        const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(StringTableData),
                                                        qsizetype(StringTableSize));
        for (const QByteArray& line : data.split('\n')) {
            const qsizetype tab = line.indexOf('\t');
            if (line.isEmpty() || line.startsWith('#') || tab <= 0) continue;
            bool ok = false;
            const unsigned id = line.left(tab).toUInt(&ok);
            if (!ok) continue;
            QByteArray text;
            for (qsizetype k = tab + 1; k < line.size(); ++k) {
                char c = line[k];
                if (c == '\\' && k + 1 < line.size()) {
                    const char e = line[++k];
                    c = e == 'n' ? '\n' : e == 't' ? '\t' : e;
                }
                if (c != '\r') text += c;
            }
            t.insert(id, QString::fromUtf8(text));
        }
        return t;
    }();
    return table;
}

}  // namespace

int CStandardErrorPresenter::Show(const QString& text, unsigned flags) {
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    const unsigned buttons = flags & 0x0F;
    return buttons == MbYesNo || buttons == MbYesNoCancel ? Answer : IdOk;
}

QString FormatString(const QString& format, std::initializer_list<FormatArg> args) {
    QString out;
    out.reserve(format.size() + 16);
    auto next = args.begin();
    const qsizetype n = format.size();
    for (qsizetype k = 0; k < n; ++k) {
        const QChar c = format[k];
        if (c != u'%') {
            out += c;
            continue;
        }
        if (k + 1 < n && format[k + 1] == u'%') {
            out += u'%';
            ++k;
            continue;
        }
        // Collect flags, width, precision and length modifiers up to the conversion.
        qsizetype j = k + 1;
        QByteArray directive("%");
        while (j < n && QByteArrayView("-+ #0").contains(char(format[j].unicode()))) directive += char(format[j++].unicode());
        while (j < n && format[j].isDigit()) directive += char(format[j++].unicode());
        if (j < n && format[j] == u'.') {
            directive += '.';
            ++j;
            while (j < n && format[j].isDigit()) directive += char(format[j++].unicode());
        }
        // Length modifiers: every integer is 64-bit here, so they only need skipping
        // (the Windows "I64" included).
        if (j + 2 < n && format[j] == u'I' && format[j + 1] == u'6' && format[j + 2] == u'4') j += 3;
        while (j < n && QByteArrayView("hlLqjzt").contains(char(format[j].unicode()))) ++j;
        if (j >= n) {  // a lone % at the end stays as it is
            out += format.mid(k);
            break;
        }
        const char conversion = char(format[j].unicode());
        const FormatArg* arg = next != args.end() ? next++ : nullptr;
        switch (conversion) {
        case 'd': case 'i': case 'u': case 'x': case 'X': case 'o': case 'c': case 'p': {
            long long v = !arg ? 0 : arg->kind == FormatArg::Int ? arg->i : arg->kind == FormatArg::Double ? (long long)arg->d : 0;
            if (conversion == 'c') {
                out += QString(QChar(char16_t(v)));
            } else if (conversion == 'p') {
                out += QString::asprintf((directive + "llX").constData(), v);
            } else {
                const char* length = "ll";
                QByteArray full = directive + length + conversion;
                if (conversion == 'u' || conversion == 'x' || conversion == 'X' || conversion == 'o')
                    v = (long long)(unsigned)(v);  // 32-bit words, as the texts expect
                out += QString::asprintf(full.constData(), v);
            }
            break;
        }
        case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': {
            double v = !arg ? 0.0 : arg->kind == FormatArg::Double ? arg->d : arg->kind == FormatArg::Int ? double(arg->i) : 0.0;
            out += QString::asprintf((directive + conversion).constData(), v);
            break;
        }
        case 's': case 'S': {
            QString v = !arg ? QString() : arg->kind == FormatArg::String ? arg->s : QString::number(arg->i);
            // Width and precision apply to strings too; do them on UTF-16 text.
            QByteArray body = directive.mid(1);
            bool left = body.contains('-');
            int dot = body.indexOf('.');
            QByteArray widthPart = dot >= 0 ? body.left(dot) : body;
            while (!widthPart.isEmpty() && !std::isdigit((unsigned char)widthPart[0])) widthPart.remove(0, 1);
            if (dot >= 0) v.truncate(body.mid(dot + 1).toInt());
            const int width = widthPart.toInt();
            if (v.size() < width) v = left ? v.leftJustified(width) : v.rightJustified(width);
            out += v;
            break;
        }
        default:  // unknown conversion: keep it as written
            out += format.mid(k, j - k + 1);
            if (arg) --next;
            break;
        }
        k = j;
    }
    return out;
}

QList<unsigned> CTranslate::BuiltInIds() {
    QList<unsigned> ids = BuiltInTable().keys();
    std::sort(ids.begin(), ids.end());
    return ids;
}

CTranslate& CTranslate::Global() {
    static CTranslate instance;
    return instance;
}

QString CTranslate::LoadText(unsigned id, bool* found) const {
    QString translated;
    if (Lookup(StringKey(id), translated)) {
        if (found) *found = true;
        return translated;
    }
    const auto& table = BuiltInTable();
    auto it = table.constFind(id);
    if (found) *found = it != table.constEnd();
    return it != table.constEnd() ? *it : QString();
}

QString CTranslate::FormatText(unsigned id, std::initializer_list<FormatArg> args) const {
    return FormatString(LoadText(id), args);
}

int CTranslate::MessageBoxText(unsigned id, unsigned flags) { return MessageBox(LoadText(id), flags); }

int CTranslate::MessageBoxFormat(unsigned id, unsigned flags, std::initializer_list<FormatArg> args) {
    return MessageBox(FormatText(id, args), flags);
}

int CTranslate::MessageBox(const QString& text, unsigned flags) {
    static CStandardErrorPresenter fallback;
    return (presenter_ ? presenter_ : &fallback)->Show(text, flags);
}

IMessagePresenter* CTranslate::SetPresenter(IMessagePresenter* presenter) {
    IMessagePresenter* previous = presenter_;
    presenter_ = presenter;
    return previous;
}

// ---------------------------------------------------------------------------------
// Language packs

namespace {

QString ElementText(const TiXmlElement* element) {
    const TiXmlNode* child = element->FirstChild();
    while (child && !child->ToText()) child = child->NextSibling();
    return child ? QString::fromUtf8(child->Value()) : QString();
}

// No pack an operator writes comes near this; /dev/zero or a huge file would
// otherwise be read until memory runs out.
constexpr qint64 MaxPackBytes = 16ll * 1024 * 1024;

// "\n" and "\t" in pack texts stand for a line feed and a tab.
QString Unescape(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype k = 0; k < text.size(); ++k) {
        if (text[k] == u'\\' && k + 1 < text.size() && (text[k + 1] == u'n' || text[k + 1] == u't')) {
            out += text[k + 1] == u'n' ? u'\n' : u'\t';
            ++k;
        } else {
            out += text[k];
        }
    }
    return out;
}

}  // namespace

bool CTranslate::LoadLanguagePack() {
    Clear();
    const QString folder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    if (folder.isEmpty()) return false;
    for (const QString& path : {folder + QStringLiteral("/Translations.xml"),
                                folder + QStringLiteral("/../share/corvane/Translations.xml")})
        if (QFile::exists(path)) return LoadLanguagePack(path);
    return false;
}

bool CTranslate::LoadLanguagePack(const QString& path) {
    Clear();
    QByteArray bytes;
    if (SafeFile::ReadAll(path, MaxPackBytes, bytes) != FileRefusal::None) return false;
    return LoadLanguagePackData(bytes);
}

bool CTranslate::LoadLanguagePackData(const QByteArray& xml) {
    Clear();
    TiXmlDocument document;
    if (!Xml::Parse(document, xml)) return false;
    const TiXmlElement* root = document.FirstChildElement("language_pack");
    const TiXmlElement* list = root ? root->FirstChildElement("translations") : nullptr;
    if (!list) return false;
    for (const TiXmlElement* t = list->FirstChildElement("translation");
         t && translations_.size() < size_t(MaxTranslations); t = t->NextSiblingElement("translation")) {
        CTranslation translation;
        const char* name = t->Attribute("name");
        const char* id = t->Attribute("id");
        translation.name = QString::fromUtf8(name ? name : "");
        translation.languageId = id ? std::atoi(id) : 0;
        if (const TiXmlElement* resources = t->FirstChildElement("resources")) {
            for (const TiXmlElement* e = resources->FirstChildElement("string"); e;
                 e = e->NextSiblingElement("string")) {
                const char* key = e->Attribute("id");
                if (!key) continue;
                // The key as strtoul with base 16 reads it into a 32-bit unsigned long.
                const quint32 k = Xml::LeadingHex(key);
                translation.resources.insert(k, Unescape(ElementText(e)));
            }
        }
        translations_.push_back(std::move(translation));
    }
    return true;
}

void CTranslate::Clear() {
    translations_.clear();
    current_ = 0;
}

void CTranslate::SelectLanguage(int index) { SelectLanguage(index, UserLanguageId()); }

void CTranslate::SelectLanguage(int index, int userLanguageId) {
    if (index == -1) {
        current_ = 0;
        for (size_t k = 0; k < translations_.size(); ++k)
            if (translations_[k].languageId == userLanguageId) {
                current_ = int(k) + 1;
                break;
            }
        return;
    }
    current_ = index <= TranslationCount() ? index : 0;
}

const CTranslation* CTranslate::Current() const {
    return current_ >= 1 && current_ <= TranslationCount() ? &translations_[size_t(current_ - 1)] : nullptr;
}

QString CTranslate::GetLanguageName(int index) const {
    if (index >= 1 && index <= TranslationCount()) return translations_[size_t(index - 1)].name;
    return QStringLiteral("English");
}

bool CTranslate::Lookup(quint32 key, QString& text) const {
    const CTranslation* translation = Current();
    if (!translation) return false;
    auto it = translation->resources.constFind(key);
    if (it == translation->resources.constEnd()) return false;
    text = *it;
    return true;
}

QString CTranslate::GetStatusText(unsigned commandId) const {
    const QString text = LoadText(commandId);
    const qsizetype lf = text.indexOf(u'\n');
    return lf < 0 ? text : text.left(lf);
}

QString CTranslate::GetTooltipText(unsigned commandId) const {
    const QString text = LoadText(commandId);
    const qsizetype lf = text.indexOf(u'\n');
    return lf < 0 ? QString() : text.mid(lf + 1);
}

int CTranslate::UserLanguageId() {
    // Language identifiers as language packs declare them: the primary language in
    // the low ten bits, the region above.
    struct Entry {
        QLocale::Language language;
        QLocale::Territory territory;  // AnyTerritory: the language's usual region
        int id;
    };
    static const Entry table[] = {
        {QLocale::English, QLocale::UnitedKingdom, 0x0809}, {QLocale::English, QLocale::Australia, 0x0C09},
        {QLocale::English, QLocale::Canada, 0x1009},        {QLocale::English, QLocale::AnyTerritory, 0x0409},
        {QLocale::German, QLocale::Austria, 0x0C07},        {QLocale::German, QLocale::Switzerland, 0x0807},
        {QLocale::German, QLocale::AnyTerritory, 0x0407},   {QLocale::French, QLocale::Belgium, 0x080C},
        {QLocale::French, QLocale::Canada, 0x0C0C},         {QLocale::French, QLocale::Switzerland, 0x100C},
        {QLocale::French, QLocale::AnyTerritory, 0x040C},   {QLocale::Spanish, QLocale::Mexico, 0x080A},
        {QLocale::Spanish, QLocale::AnyTerritory, 0x0C0A},  {QLocale::Italian, QLocale::AnyTerritory, 0x0410},
        {QLocale::Dutch, QLocale::Belgium, 0x0813},         {QLocale::Dutch, QLocale::AnyTerritory, 0x0413},
        {QLocale::Portuguese, QLocale::Brazil, 0x0416},     {QLocale::Portuguese, QLocale::AnyTerritory, 0x0816},
        {QLocale::Polish, QLocale::AnyTerritory, 0x0415},   {QLocale::Czech, QLocale::AnyTerritory, 0x0405},
        {QLocale::Slovak, QLocale::AnyTerritory, 0x041B},   {QLocale::Slovenian, QLocale::AnyTerritory, 0x0424},
        {QLocale::Croatian, QLocale::AnyTerritory, 0x041A}, {QLocale::Hungarian, QLocale::AnyTerritory, 0x040E},
        {QLocale::Romanian, QLocale::AnyTerritory, 0x0418}, {QLocale::Bulgarian, QLocale::AnyTerritory, 0x0402},
        {QLocale::Russian, QLocale::AnyTerritory, 0x0419},  {QLocale::Ukrainian, QLocale::AnyTerritory, 0x0422},
        {QLocale::Greek, QLocale::AnyTerritory, 0x0408},    {QLocale::Turkish, QLocale::AnyTerritory, 0x041F},
        {QLocale::Swedish, QLocale::AnyTerritory, 0x041D},  {QLocale::Danish, QLocale::AnyTerritory, 0x0406},
        {QLocale::NorwegianBokmal, QLocale::AnyTerritory, 0x0414}, {QLocale::Finnish, QLocale::AnyTerritory, 0x040B},
        {QLocale::Estonian, QLocale::AnyTerritory, 0x0425}, {QLocale::Latvian, QLocale::AnyTerritory, 0x0426},
        {QLocale::Lithuanian, QLocale::AnyTerritory, 0x0427}, {QLocale::Japanese, QLocale::AnyTerritory, 0x0411},
        {QLocale::Korean, QLocale::AnyTerritory, 0x0412},   {QLocale::Chinese, QLocale::Taiwan, 0x0404},
        {QLocale::Chinese, QLocale::HongKong, 0x0C04},      {QLocale::Chinese, QLocale::AnyTerritory, 0x0804},
        {QLocale::Arabic, QLocale::AnyTerritory, 0x0401},   {QLocale::Hebrew, QLocale::AnyTerritory, 0x040D},
    };
    const QLocale locale = QLocale::system();
    if (locale.language() == QLocale::Serbian)  // the script decides the identifier
        return locale.script() == QLocale::CyrillicScript ? 0x281A : 0x241A;
    for (const Entry& e : table)
        if (e.language == locale.language() &&
            (e.territory == QLocale::AnyTerritory || e.territory == locale.territory()))
            return e.id;
    return 0x0409;
}
