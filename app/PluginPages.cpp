#include "app/PluginPages.h"

#include <QMetaObject>

void CPluginPageHost::Post(int command, int pageIndex) {
    CMainDoc* document = &document_;
    QMetaObject::invokeMethod(
        &receiver_, [document, command, pageIndex] { document->PluginPageCommand(command, pageIndex); },
        Qt::QueuedConnection);
}

void CPluginPageHost::PollStatus(CPluginControl& control) {
    for (const auto& [pageIndex, playing] : document_.PluginPoll()) control.OnPlaybackStatus(pageIndex, playing);
}
