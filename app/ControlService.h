// Network control of the main instance: the control server's commands carried out
// on the document through its one command path, the state it reports, and the
// events it pushes (objects starting and stopping, which is tally; script steps;
// the output's state; late frames), found by comparing at each tick. Nothing the
// network asks can do more than the operator's own commands.
//
// Threads: the user-interface thread (the server's requests arrive on its event
// loop; Tick runs in the 200 ms tick).
#pragma once

#include "app/MainDoc.h"
#include "base/Settings.h"
#include "control/ControlServer.h"

#include <QJsonObject>
#include <functional>
#include <map>
#include <memory>

class CControlService {
public:
    // What the service needs of the output: switch it on or off (true when it is in
    // the asked state afterwards), its state, and the engine's late frames so far.
    struct OutputHooks {
        std::function<bool(bool on)> setOutput;
        std::function<bool()> outputOn;
        std::function<bool()> previewOn;
        std::function<int()> lateFrames;
        // The page changed (a text): every view is to be updated.
        std::function<void()> viewsChanged;
        // A modal dialog of the editor is open: edits of the page and script starts
        // wait (the dialog may be holding the object or the page), play commands
        // go on as a switcher button's do.
        std::function<bool()> modalOpen;
    };

    // The options from the settings ("Control" section); the pages folder from the
    // preferences.
    static ControlOptions OptionsFrom(const CSettingsStore& settings);

    CControlService(CMainDoc& document, CSettingsStore& settings, OutputHooks output, ControlOptions options);
    ~CControlService();

    // Listens; false with the reason (logged as well).
    bool Start(QString* error = nullptr);
    CControlServer& Server() { return *server_; }

    // One command, as the server hands it over.
    ControlReply Execute(const Control::Command& command);
    // The document's state as GET /api/state gives it.
    QJsonObject State();
    // The tick: the events of what changed since the last tick, in order, sent to
    // the event clients; returned for tests.
    std::vector<QJsonObject> Tick();

private:
    ControlReply Dispatch(const Control::Command& command);
    ControlReply Objects(const Control::Command& command);
    ControlReply Text(const Control::Command& command);
    ControlReply Page(const Control::Command& command);
    ControlReply Script(const Control::Command& command);
    ControlReply Variable(const Control::Command& command);
    ControlReply Output(const Control::Command& command);
    QString FileBelowPages(const QString& relative, ControlReply& refusal);
    bool Busy() const { return output_.modalOpen && output_.modalOpen(); }

    CMainDoc& document_;
    CSettingsStore& settings_;
    OutputHooks output_;
    std::unique_ptr<CControlServer> server_;
    // What the last tick saw, to tell what changed.
    std::map<int, QString> objectStates_;  // by object id: "playing", "paused", "ending"
    bool outputOn_ = false;
    bool previewOn_ = false;
    bool scriptRunning_ = false;
    int scriptStep_ = -1;
    int lateFrames_ = 0;
};
