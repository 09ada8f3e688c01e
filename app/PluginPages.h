// The road from the plug-in panel to the page: the panel's page commands are
// queued, as posted messages are, and carried out by the document after the
// action that gave them has returned, in the order given. The panel derives from
// this host and adds what it shows (flashes, colours, key lights, the data editor).
//
// Threads: the user-interface thread only.
#pragma once

#include "app/MainDoc.h"
#include "plugin/PluginControl.h"

#include <QObject>

class CPluginPageHost : public IPluginHost {
public:
    explicit CPluginPageHost(CMainDoc& document) : document_(document) {}

    void ShowPage(int pageIndex) override { Post(1, pageIndex); }
    void HidePage(int pageIndex) override { Post(2, pageIndex); }

    // The tick's status poll handed to the controller, which lights the page's
    // toggle elements and keys through this host.
    void PollStatus(CPluginControl& control);

private:
    void Post(int command, int pageIndex);

    CMainDoc& document_;
    QObject receiver_;  // its queue carries the commands; those pending go with it
};
