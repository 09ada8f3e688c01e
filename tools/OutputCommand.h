// "cvtool output": switches the output on (the configured display, or the debug
// window), plays a page live for a number of seconds, switches off, and prints the
// frame statistics.
//
// Threads: the tool's main thread is the user-interface thread.
#pragma once

#include <QStringList>

int OutputCommand(const QStringList& args, int mode);
