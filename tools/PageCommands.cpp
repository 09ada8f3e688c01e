#include "tools/PageCommands.h"

#include "core/PageFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <cstdio>

namespace {

QJsonArray Floats(const float (&values)[4]) { return QJsonArray{values[0], values[1], values[2], values[3]}; }

}  // namespace

bool ParseCommand(const QString& text, TimedCommand& command) {
    const qsizetype first = text.indexOf(u':');
    const qsizetype second = first < 0 ? -1 : text.indexOf(u':', first + 1);
    if (second < 0) return false;
    bool ok = false;
    command.atMs = text.left(first).toLongLong(&ok);
    command.verb = text.mid(first + 1, second - first - 1);
    command.target = text.mid(second + 1);
    static const QStringList verbs{"play", "pause", "end", "stop", "toggle"};
    return ok && command.atMs >= 0 && verbs.contains(command.verb) && !command.target.isEmpty();
}

void PrintLine(const QJsonObject& line) {
    std::fputs(QJsonDocument(line).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);
    // A program that reads a live tool's lines through a pipe sees each at once.
    std::fflush(stdout);
}

void Apply(CPlayoutPage& playout, const TimedCommand& c) {
    PlayCommand command = PlayCommand::Stop;
    if (c.verb == QLatin1String("play")) command = PlayCommand::Play;
    else if (c.verb == QLatin1String("pause")) command = PlayCommand::PauseResume;
    else if (c.verb == QLatin1String("end")) command = PlayCommand::End;
    else if (c.verb == QLatin1String("toggle")) command = PlayCommand::Toggle;
    CommandTarget target;
    if (c.target == QLatin1String("all")) {
        target = CommandTarget::Every();
    } else if (c.target.startsWith(QLatin1String("group:"))) {
        target = CommandTarget::NamedGroup(c.target.mid(6));
    } else if (c.target.startsWith(QLatin1String("hotkey:"))) {
        bool ok = false;
        const int key = c.target.mid(7).toInt(&ok);
        if (!ok) return;  // names nothing
        target = CommandTarget::OfHotkey(key);
    } else {
        bool ok = false;
        const int number = c.target.toInt(&ok);
        if (!ok || number < 1 || number > int(playout.objects.size())) return;  // names nothing
        target = CommandTarget::WithGroup(playout.objects[size_t(number - 1)]);
    }
    playout.Document().Command(command, target);
}

bool TakeCommands(QStringList& args, std::vector<TimedCommand>& commands, const char* tool) {
    for (qsizetype k; (k = args.indexOf(QStringLiteral("--at-ms"))) >= 0;) {
        TimedCommand command;
        if (k + 1 >= args.size() || !ParseCommand(args[k + 1], command)) {
            std::fprintf(stderr, "cvtool %s: --at-ms takes T:COMMAND:TARGET, e.g. 0:play:all, 1500:end:2, "
                                 "0:play:group:Lower third, 0:toggle:hotkey:3\n", tool);
            return false;
        }
        commands.push_back(command);
        args.remove(k, 2);
    }
    if (commands.empty()) commands.push_back({0, QStringLiteral("play"), QStringLiteral("all")});
    std::stable_sort(commands.begin(), commands.end(),
                     [](const TimedCommand& a, const TimedCommand& b) { return a.atMs < b.atMs; });
    return true;
}

QJsonObject PresentationLine(int frame, double timeMs, int object, int clock, TimelinePhase phase, int alive,
                             const FramePresentation& record, const CFrame& frameObject) {
    QJsonObject line{{"frame", frame},
                     {"timeMs", timeMs},
                     {"object", object},
                     {"clock", clock},
                     {"phase", QString::fromLatin1(PhaseName(alive ? phase : TimelinePhase::Finished))},
                     {"Dest", Floats(record.Dest)},
                     {"BackgroundWindow", Floats(record.BackgroundWindow)},
                     {"TextWindow", Floats(record.TextWindow)},
                     {"Alpha", record.Alpha},
                     {"animationFrame", frameObject.AnimationFrame}};
    if (frameObject.TextPresent.load()) {
        line.insert("Scrolled", frameObject.Scrolled);
        line.insert("Copied", frameObject.Copied);
    }
    return line;
}

CPlayoutPage::CPlayoutPage()
    : document_(std::make_unique<CMainDoc>(host_, 0)), page(document_->Page) {
    host_.owner = this;
}

void CPlayoutPage::SetVirtualTime(int64_t timeUs, int startSecondOfDay) {
    host_.ticks = uint32_t(timeUs / 1000);
    host_.secondOfDay = int((startSecondOfDay + timeUs / 1000000) % 86400);
}

void CPlayoutPage::Renumber() {
    if (held_) page.EndSnapshot();
    page.BeginSnapshot(objects);
    held_ = true;
    numbers.clear();
    for (size_t k = 0; k < objects.size(); ++k) numbers[objects[k]] = int(k) + 1;
}

CPlayoutPage::~CPlayoutPage() {
    if (!held_) return;
    page.StopAll();
    page.EndSnapshot();
}

bool CPlayoutPage::Read(const QString& path, int mode) {
    std::vector<std::unique_ptr<CFrame>> read;
    if (!PageFile::ReadPage(path, mode, 96, read)) return false;
    document_->ModeIndex = mode;  // pages a script loads are read in the same mode
    for (auto& object : read) page.Add(object);
    page.BeginSnapshot(objects);
    held_ = true;
    for (size_t k = 0; k < objects.size(); ++k) numbers[objects[k]] = int(k) + 1;
    return true;
}
