// "cvtool plugin load DEF" prints a plug-in definition's collections as JSON;
// "cvtool plugin act DEF ELEMENT..." starts the plug-in in its folder (stale files
// deleted, saved values restored, every file written), runs the panel's actions one
// after the other and prints, per step, the page commands and the files written.
//
// Threads: the tool's main thread.
#pragma once

#include <QStringList>

// args: everything after "plugin". Returns the exit code.
int PluginCommand(const QStringList& args);
