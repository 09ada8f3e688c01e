// Options of the programs' command lines.
//
// Threads: any.
#pragma once

#include <QString>
#include <QStringList>

namespace CommandLine {

// Takes "NAME VALUE" out of arguments and returns VALUE; empty when NAME is absent
// (a NAME without a value stays, so the caller's usage check sees it).
QString TakeOption(QStringList& arguments, const QString& name);

}  // namespace CommandLine
