// The rule of the edit fields that take only a set of characters (the digits, or
// the digits with "." and ","): what typing and pasting let through. The widget
// that shows such a field asks these two functions and holds no rule of its own.
#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

namespace SafeEdit {

inline const QString Digits = QStringLiteral("0123456789");
inline const QString DigitsAndSeparators = QStringLiteral("0123456789.,");

// A typed character passes when it is a control character (below 32) or in set.
bool Takes(QChar typed, const QString& set);
// What a paste inserts: the clipboard's 8-bit text up to its first character
// outside set.
QString Paste(const QByteArray& clipboard, const QString& set);

}  // namespace SafeEdit
