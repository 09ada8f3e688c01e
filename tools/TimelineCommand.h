// "cvtool timeline": plays a page's objects on memory textures with a virtual clock
// and prints what each object presents at each output frame.
//
// Threads: the tool's main thread, standing in for the command and render threads.
#pragma once

#include <QStringList>

// args: everything after "timeline" except --mode. Returns the exit code.
int TimelineCommand(const QStringList& args, int mode);
