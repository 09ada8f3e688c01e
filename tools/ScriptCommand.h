// "cvtool script show FILE" prints a script file's actions with the texts of the
// editor's list and its time column; "cvtool script write SPEC.json OUT" writes a
// script file from the same shape.
//
// Threads: the tool's main thread.
#pragma once

#include <QStringList>

// args: everything after "script". Returns the exit code.
int ScriptCommand(const QStringList& args);

// "cvtool schedule [--now T]": the automation entries of the user's settings with
// their trigger texts and the next local time each is due (null when never).
int ScheduleCommand(const QStringList& args);
