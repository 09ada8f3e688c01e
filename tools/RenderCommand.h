// "cvtool render": plays a page through the real render engine offscreen and
// writes its frames as PNG files.
//
// Threads: the tool's main thread creates and destroys the engine; commands and
// frame output run on the engine's render thread between frames.
#pragma once

#include "render/Render.h"

#include <QJsonObject>
#include <QStringList>

// args: everything after "render" except --mode. Returns the exit code.
int RenderCommand(const QStringList& args, int mode);

// The engine's phase times as the tool prints them (render and output):
// {"collect":{"minMs":..,"meanMs":..,"maxMs":..},"damage":{..},...,"present":{..}}.
QJsonObject PhaseTimesJson(const RenderStatistics& statistics);
