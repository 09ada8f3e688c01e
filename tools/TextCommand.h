// "cvtool text": rasterises one object's text as the editor (still) or the first
// playback strip would, and prints the used size, the next character and the
// source's current value.
//
// Threads: the tool's main thread, standing in for the text thread.
#pragma once

#include <QStringList>

// args: everything after "text" except --mode. Returns the exit code.
int TextCommand(const QStringList& args, int mode);
