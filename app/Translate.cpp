#include "app/Translate.h"

#include "app/StringTable.h"

#include <QHash>
#include <cctype>
#include <cstdio>

namespace {

const QHash<unsigned, QString>& BuiltInTable() {
    static const QHash<unsigned, QString> table = [] {
        QHash<unsigned, QString> t;
        t.reserve(BuiltInStringCount);
        for (int k = 0; k < BuiltInStringCount; ++k)
            t.insert(BuiltInStrings[k].id, QString::fromUtf8(BuiltInStrings[k].text));
        return t;
    }();
    return table;
}

class StandardErrorPresenter : public IMessagePresenter {
public:
    int Show(const QString& text, unsigned) override {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return IdOk;
    }
};

}  // namespace

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
        QByteArray spec("%");
        while (j < n && QByteArrayView("-+ #0").contains(char(format[j].unicode()))) spec += char(format[j++].unicode());
        while (j < n && format[j].isDigit()) spec += char(format[j++].unicode());
        if (j < n && format[j] == u'.') {
            spec += '.';
            ++j;
            while (j < n && format[j].isDigit()) spec += char(format[j++].unicode());
        }
        while (j < n && QByteArrayView("hlLqjzt").contains(char(format[j].unicode()))) ++j;
        if (j >= n) {  // a lone % at the end stays as it is
            out += format.mid(k);
            break;
        }
        const char conversion = char(format[j].unicode());
        const FormatArg* arg = next != args.end() ? next++ : nullptr;
        switch (conversion) {
        case 'd': case 'i': case 'u': case 'x': case 'X': case 'o': case 'c': {
            long long v = !arg ? 0 : arg->kind == FormatArg::Int ? arg->i : arg->kind == FormatArg::Double ? (long long)arg->d : 0;
            if (conversion == 'c') {
                out += QString(QChar(char16_t(v)));
            } else {
                const char* length = "ll";
                QByteArray full = spec + length + conversion;
                if (conversion == 'u' || conversion == 'x' || conversion == 'X' || conversion == 'o')
                    v = (long long)(unsigned)(v);  // 32-bit words, as the texts expect
                out += QString::asprintf(full.constData(), v);
            }
            break;
        }
        case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': {
            double v = !arg ? 0.0 : arg->kind == FormatArg::Double ? arg->d : arg->kind == FormatArg::Int ? double(arg->i) : 0.0;
            out += QString::asprintf((spec + conversion).constData(), v);
            break;
        }
        case 's': case 'S': {
            QString v = !arg ? QString() : arg->kind == FormatArg::String ? arg->s : QString::number(arg->i);
            // Width and precision apply to strings too; do them on UTF-16 text.
            QByteArray body = spec.mid(1);
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

CTranslate& CTranslate::Global() {
    static CTranslate instance;
    return instance;
}

QString CTranslate::LoadText(unsigned id, bool* found) const {
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
    static StandardErrorPresenter fallback;
    return (presenter_ ? presenter_ : &fallback)->Show(text, flags);
}

IMessagePresenter* CTranslate::SetPresenter(IMessagePresenter* presenter) {
    IMessagePresenter* previous = presenter_;
    presenter_ = presenter;
    return previous;
}
