// "cvtool switcher-peer [--port P]": a stand-in switcher on 127.0.0.1 for whoever
// connects Corvane's remote-buttons client to it. Prints {"port": P} first, then
// every datagram received as one JSON line, and sends the button presses typed on
// standard input (see README); ends at the end of standard input or on "quit".
//
// Threads: the tool's main thread.
#pragma once

#include <QStringList>

// args: everything after "switcher-peer". Returns the exit code.
int SwitcherPeerCommand(const QStringList& args);
