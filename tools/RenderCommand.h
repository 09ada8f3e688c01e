// "cvtool render": plays a page through the real render engine offscreen and
// writes its frames as PNG files.
//
// Threads: the tool's main thread creates and destroys the engine; commands and
// frame output run on the engine's render thread between frames.
#pragma once

#include <QStringList>

// args: everything after "render" except --mode. Returns the exit code.
int RenderCommand(const QStringList& args, int mode);
