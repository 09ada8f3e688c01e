#include "base/CommandLine.h"

namespace CommandLine {

QString TakeOption(QStringList& arguments, const QString& name) {
    const qsizetype k = arguments.indexOf(name);
    if (k < 0 || k + 1 >= arguments.size()) return QString();
    const QString value = arguments[k + 1];
    arguments.remove(k, 2);
    return value;
}

}  // namespace CommandLine
