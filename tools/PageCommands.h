// What the tool's play-out commands share: timed commands to objects, groups or
// the whole page, and the JSON line that describes one object's frame.
//
// Threads: whichever thread runs the play-out (the tool's main thread, or the render
// thread between frames).
#pragma once

#include "app/MainDoc.h"
#include "core/FrameSet.h"
#include "playback/Timeline.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <vector>

// A page read for a play-out run into a document of its own, so that timed
// commands take the document's command path as the editor's do; its objects stay
// in one snapshot for the whole run (the page does not change), and everything is
// stopped at the end.
class CPlayoutPage {
public:
    CPlayoutPage();
    CPlayoutPage(const CPlayoutPage&) = delete;
    CPlayoutPage& operator=(const CPlayoutPage&) = delete;
    ~CPlayoutPage();
    // False (the reader has reported why) when the page cannot be read in the mode.
    bool Read(const QString& path, int mode);

    CMainDoc& Document() { return *document_; }

    // The script runner's clock: virtual time since the start and the time of day
    // the run started at; and what to do when a script action completed.
    void SetVirtualTime(int64_t timeUs, int startSecondOfDay);
    std::function<void(int, const CFrameScriptItem&)> scriptActionCompleted;
    // Takes the page's objects anew after a script loaded or removed some, so the
    // numbers name the objects now on the page.
    void Renumber();

private:
    struct QuietHost : IDocumentHost {
        void UpdateViews(int) override {}
        uint32_t MillisecondTicks() override { return ticks; }
        Schedule::ClockSecond LocalClock() override { return {QDate(2026, 1, 5), secondOfDay}; }
        void ScriptActionCompleted(int step, const CFrameScriptItem& item) override {
            if (owner->scriptActionCompleted) owner->scriptActionCompleted(step, item);
        }
        CPlayoutPage* owner = nullptr;
        uint32_t ticks = 0;
        int secondOfDay = 0;
    };
    QuietHost host_;
    std::unique_ptr<CMainDoc> document_;

public:
    CFrameSet& page;
    std::vector<CFrame*> objects;            // bottom to top
    std::map<const CFrame*, int> numbers;    // 1-based, as commands name them

private:
    bool held_ = false;
};

struct TimedCommand {
    long long atMs = 0;
    QString verb;    // play, pause, end, stop, toggle
    QString target;  // "all", a 1-based object number, "group:NAME" or "hotkey:N"
};

// T:VERB:TARGET, where TARGET may itself hold colons ("group:Lower third").
bool ParseCommand(const QString& text, TimedCommand& command);
// Takes every "--at-ms T:COMMAND:TARGET" out of args, in time order (without any,
// every object plays at 0); false (with a message on standard error) for a
// malformed one.
bool TakeCommands(QStringList& args, std::vector<TimedCommand>& commands, const char* tool);
// One command through the document's command path: to one object (and its group),
// a group, the objects of a hotkey, or all.
void Apply(CPlayoutPage& playout, const TimedCommand& command);

// The line of one object's presented frame.
QJsonObject PresentationLine(int frame, double timeMs, int object, int clock, TimelinePhase phase, int alive,
                             const FramePresentation& record, const CFrame& frameObject);
void PrintLine(const QJsonObject& line);
