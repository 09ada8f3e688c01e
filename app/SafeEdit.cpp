#include "app/SafeEdit.h"

namespace SafeEdit {

bool Takes(QChar typed, const QString& set) { return typed.unicode() < 32 || set.contains(typed); }

QString Paste(const QByteArray& clipboard, const QString& set) {
    QString taken;
    for (const char c : clipboard) {
        const QChar ch = QChar::fromLatin1(c);
        if (!set.contains(ch)) break;
        taken += ch;
    }
    return taken;
}

}  // namespace SafeEdit
