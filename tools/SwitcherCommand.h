// "cvtool switcher PAGE --ip ADDR": the page plays offscreen in real time with the
// switcher client of the main instance attached, so an integrator can check a
// switcher's link without the editor: button events and lamp states are printed
// as JSON lines, presses go through the document as they do in the application.
//
// Threads: the tool's main thread is the user-interface thread.
#pragma once

#include <QStringList>

// args: everything after "switcher". Returns the exit code.
int SwitcherCommand(const QStringList& args, int mode);
