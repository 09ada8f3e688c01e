// "cvtool control URL VERB ...": a small client of the network control for scripts
// and tests. Sends one request to the server at URL (http://HOST:PORT) and prints
// the JSON answer; "events" prints the event socket's messages as JSON lines.
//
// Threads: the tool's main thread.
#pragma once

#include <QStringList>

// args: everything after "control". Returns 0 for a 2xx answer, 1 for another
// answer or no answer, 2 for a usage error.
int ControlCommand(const QStringList& args);
