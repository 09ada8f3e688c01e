#include "tools/DisplaysCommand.h"

#include "output/DisplayConfiguration.h"
#include "core/VideoModes.h"
#include "output/XRandRDisplaySystem.h"
#include "tools/PageCommands.h"

#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>

namespace {

QJsonObject Mode(const DisplayModeInfo& m) {
    return {{"width", m.width}, {"height", m.height}, {"refresh", qRound(m.refresh * 100) / 100.0},
            {"interlaced", m.interlaced}};
}

}  // namespace

int DisplaysCommand(const QStringList& args, int mode) {
    if (!args.isEmpty()) {
        std::fprintf(stderr, "usage: cvtool displays [--mode N]\n");
        return 2;
    }
    CXRandRDisplaySystem system;
    std::vector<DisplayDevice> devices;
    if (!system.Connected() || !system.Enumerate(devices)) {
        std::fprintf(stderr, "cvtool displays: no X server with RandR (DISPLAY=%s)\n", qgetenv("DISPLAY").constData());
        return 1;
    }
    QJsonArray outputs;
    for (const DisplayDevice& d : devices) {
        QJsonArray modes;
        for (const DisplayModeInfo& m : d.modes) modes.append(Mode(m));
        QJsonObject o{{"name", d.name}, {"description", d.description}, {"monitor", d.monitor},
                      {"connected", d.connected}, {"attached", d.attached}, {"primary", d.primary},
                      {"modes", modes}};
        if (d.attached) {
            o.insert("rect", QJsonArray{d.x, d.y, d.x + d.current.width, d.y + d.current.height});
            o.insert("current", Mode(d.current));
        }
        outputs.append(o);
    }
    const int width = VideoModes::DisplayWidth(mode), height = VideoModes::DisplayHeight(mode);
    const CDisplayConfiguration configuration(system, width, height);
    QJsonArray candidates;
    for (qsizetype k = 0; k < configuration.candidateDevices.size(); ++k)
        candidates.append(QJsonObject{{"device", configuration.candidateDevices[k]},
                                      {"description", configuration.candidateDescriptions[k]},
                                      {"monitor", configuration.candidateMonitors[k]},
                                      {"entry", QStringLiteral("%1. %2 - %3")
                                                    .arg(k + 1)
                                                    .arg(configuration.candidateDescriptions[k],
                                                         configuration.candidateMonitors[k])}});
    PrintLine({{"outputs", outputs},
               {"primary", configuration.primaryDevice},
               {"cloneMode", configuration.cloneMode},
               {"mode", QJsonObject{{"index", mode}, {"width", width}, {"height", height},
                                    {"refresh", VideoModes::Refresh(mode)}}},
               {"candidates", candidates}});
    return 0;
}
