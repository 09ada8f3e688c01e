// "cvtool displays": the X server's outputs, monitors, modes and the candidates for
// the output display, as JSON.
//
// Threads: the tool's main thread.
#pragma once

#include <QStringList>

int DisplaysCommand(const QStringList& args, int mode);
