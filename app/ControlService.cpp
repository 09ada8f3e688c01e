#include "app/ControlService.h"

#include "base/Debug.h"
#include "text/RichEdit.h"

#include <QFileInfo>
#include <QJsonArray>

namespace {

// While a request is carried out, the document's messages (a file that cannot be
// read, an output that cannot start) go into the answer and the log instead of a
// message box that would wait for someone at the screen. Questions are answered
// with No, so nothing happens that nobody agreed to.
class CAnswerPresenter : public IMessagePresenter {
public:
    CAnswerPresenter() { previous_ = CTranslate::Global().SetPresenter(this); }
    ~CAnswerPresenter() override { CTranslate::Global().SetPresenter(previous_); }
    CAnswerPresenter(const CAnswerPresenter&) = delete;
    CAnswerPresenter& operator=(const CAnswerPresenter&) = delete;
    int Show(const QString& text, unsigned flags) override {
        CDebug::Log(1, "CControlService: %s", text);
        texts.append(text);
        const unsigned buttons = flags & 0x0F;
        if (buttons == MbOk) return IdOk;
        return buttons == MbYesNo || buttons == MbYesNoCancel ? IdNo : IdCancel;
    }
    QStringList texts;

private:
    IMessagePresenter* previous_ = nullptr;
};

ControlReply Reply(int status, const QString& error) {
    return {status, QJsonObject{{QStringLiteral("error"), error}}};
}

ControlReply Done(QJsonObject body = {}) {
    body.insert(QStringLiteral("ok"), true);
    return {200, body};
}

QString StateOf(const CFrame& object) {
    if (!object.Playing.load()) return QStringLiteral("stopped");
    if (object.Ending.load()) return QStringLiteral("ending");
    if (object.Paused.load()) return QStringLiteral("paused");
    return QStringLiteral("playing");
}

PlayCommand PlayCommandOf(Control::Action action) {
    switch (action) {
    case Control::Action::Play: return PlayCommand::Play;
    case Control::Action::Pause: return PlayCommand::PauseResume;
    case Control::Action::End: return PlayCommand::End;
    case Control::Action::Stop: return PlayCommand::Stop;
    case Control::Action::Toggle: return PlayCommand::Toggle;
    }
    return PlayCommand::Play;
}

}  // namespace

ControlOptions CControlService::OptionsFrom(const CSettingsStore& settings) {
    ControlOptions options;
    QHostAddress bind(settings.GetText(Settings::ControlBind).trimmed());
    // A value that is no address keeps the server on this machine.
    options.bind = bind.isNull() ? QHostAddress(QHostAddress::LocalHost) : bind;
    options.port = quint16(settings.Get(Settings::ControlPort));
    options.token = settings.GetText(Settings::ControlToken).toUtf8();
    options.oscPort = quint16(settings.Get(Settings::ControlOscPort));
    options.osc = options.oscPort != 0;
    return options;
}

CControlService::CControlService(CMainDoc& document, CSettingsStore& settings, OutputHooks output,
                                 ControlOptions options)
    : document_(document), settings_(settings), output_(std::move(output)) {
    server_ = std::make_unique<CControlServer>(std::move(options),
                                               [this](const Control::Command& command) { return Execute(command); });
}

CControlService::~CControlService() { server_.reset(); }

bool CControlService::Start(QString* error) {
    QString reason;
    const bool started = server_->Start(&reason);
    if (started)
        CDebug::Log(1, "CControlService::Start(): HTTP port %d, OSC port %d", int(server_->Port()), int(server_->OscPort()));
    else
        CDebug::Log(0, "CControlService::Start(): %s", reason);
    if (error) *error = reason;
    return started;
}

ControlReply CControlService::Execute(const Control::Command& command) {
    CAnswerPresenter messages;
    ControlReply reply = Dispatch(command);
    if (!messages.texts.isEmpty()) reply.body.insert(QStringLiteral("messages"), QJsonArray::fromStringList(messages.texts));
    return reply;
}

ControlReply CControlService::Dispatch(const Control::Command& command) {
    using Control::Verb;
    switch (command.verb) {
    case Verb::State: return {200, State()};
    case Verb::Objects: return Objects(command);
    case Verb::ObjectText: return Text(command);
    case Verb::PageLoad:
    case Verb::PageAdd: return Page(command);
    case Verb::ScriptStart:
    case Verb::ScriptStop: return Script(command);
    case Verb::PluginVariable: return Variable(command);
    case Verb::Output: return Output(command);
    }
    return Reply(400, QStringLiteral("unknown command"));
}

QJsonObject CControlService::State() {
    QJsonArray objects;
    {
        CPageSnapshot snapshot(document_.Page);
        for (CFrame* object : snapshot.list) {
            const CRect& r = object->Rect;
            objects.append(QJsonObject{
                {QStringLiteral("id"), object->Id},
                {QStringLiteral("number"), document_.Page.NumberOf(object)},
                {QStringLiteral("rect"), QJsonArray{r.left, r.top, r.right, r.bottom}},
                {QStringLiteral("group"), object->Group},
                {QStringLiteral("kind"), object->Kind == KindPicture ? QStringLiteral("picture") : QStringLiteral("text")},
                {QStringLiteral("state"), StateOf(*object)},
                {QStringLiteral("onAir"), object->Playing.load() != 0},
            });
        }
    }
    return QJsonObject{
        {QStringLiteral("page"), document_.PathName},
        {QStringLiteral("objects"), objects},
        {QStringLiteral("output"), QJsonObject{{QStringLiteral("on"), output_.outputOn && output_.outputOn()},
                                               {QStringLiteral("preview"), output_.previewOn && output_.previewOn()}}},
        {QStringLiteral("script"), QJsonObject{{QStringLiteral("running"), document_.ScriptRunning()},
                                               {QStringLiteral("step"), document_.ScriptStep()},
                                               {QStringLiteral("count"), document_.Script.Count()}}},
    };
}

ControlReply CControlService::Objects(const Control::Command& command) {
    if (!document_.Page.OutputOn.load()) return Reply(409, QStringLiteral("the output is off"));
    CommandTarget target = CommandTarget::Every();
    if (command.target == Control::Target::Group) {
        if (!document_.Page.GroupNames().contains(command.group))
            return Reply(404, QStringLiteral("no group \"%1\"").arg(command.group));
        target = CommandTarget::NamedGroup(command.group);
    } else if (command.target == Control::Target::Id) {
        CFrame* object = document_.Page.FindById(command.id);
        if (!object) return Reply(404, QStringLiteral("no object %1").arg(command.id));
        target = CommandTarget::One(object);
    }
    // The operator's own path: a running script stops first, as for every operator action.
    document_.ScriptStop();
    const CommandResult result = document_.Command(PlayCommandOf(command.action), target);
    return Done(QJsonObject{{QStringLiteral("changed"), int(result.changed.size())}, {QStringLiteral("reached"), result.reached}});
}

ControlReply CControlService::Text(const Control::Command& command) {
    if (Busy()) return Reply(409, QStringLiteral("the editor has a dialog open"));
    CFrame* object = document_.Page.FindById(command.id);
    if (!object) return Reply(404, QStringLiteral("no object %1").arg(command.id));
    if (object->TextSource != SourceObjectText)
        return Reply(409, QStringLiteral("object %1 shows a text source; change its file instead").arg(command.id));
    // The render thread reads a playing object's text: it changes only off air.
    if (object->Playing.load())
        return Reply(409, QStringLiteral("object %1 is on air; end it first, or feed it from a text file").arg(command.id));
    // The new words in the format of the text's first character, as typing over it would.
    CRichEditExCtrl control(0, false);
    control.StreamIn(object->RichText);
    control.SelectAll();
    QString text = command.text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    control.ReplaceSelection(text);
    const QByteArray rich = control.StreamOut();
    if (rich == object->RichText) return Done(QJsonObject{{QStringLiteral("changed"), false}});
    document_.Undo.RecordUndo(TextChanged, object, true);
    object->RichText = rich;
    object->EditorTextValid = 0;
    document_.Modified = true;
    if (output_.viewsChanged) output_.viewsChanged();
    return Done(QJsonObject{{QStringLiteral("changed"), true}});
}

QString CControlService::FileBelowPages(const QString& relative, ControlReply& refusal) {
    const QString path = Control::PathBelow(PagesFolder(settings_), relative);
    if (path.isEmpty()) {
        refusal = Reply(400, QStringLiteral("\"%1\" is not a file below the pages folder").arg(relative));
        return QString();
    }
    if (!QFileInfo(path).isFile()) {
        refusal = Reply(404, QStringLiteral("\"%1\" does not exist").arg(relative));
        return QString();
    }
    return path;
}

ControlReply CControlService::Page(const Control::Command& command) {
    if (Busy()) return Reply(409, QStringLiteral("the editor has a dialog open"));
    ControlReply refusal;
    const QString path = FileBelowPages(command.file, refusal);
    if (path.isEmpty()) return refusal;
    // The operator's own load offers to save first; the network cannot answer
    // that question, so unsaved changes stay and the request waits.
    if (document_.Modified) return Reply(409, QStringLiteral("the page has unsaved changes"));
    document_.ScriptStop();
    if (!document_.LoadPageFile(path, command.verb == Control::Verb::PageLoad))
        return Reply(409, QStringLiteral("\"%1\" could not be read").arg(command.file));
    return Done(QJsonObject{{QStringLiteral("file"), command.file}});
}

ControlReply CControlService::Script(const Control::Command& command) {
    if (command.verb == Control::Verb::ScriptStop) {
        document_.ScriptStop();
        return Done();
    }
    if (Busy()) return Reply(409, QStringLiteral("the editor has a dialog open"));
    ControlReply refusal;
    const QString path = FileBelowPages(command.file, refusal);
    if (path.isEmpty()) return refusal;
    document_.ScriptLoad(path, true);
    if (document_.Script.Count() == 0) return Reply(409, QStringLiteral("\"%1\" could not be read").arg(command.file));
    if (!document_.ScriptRunning()) return Reply(409, QStringLiteral("the script cannot run now (is the output on?)"));
    return Done();
}

ControlReply CControlService::Variable(const Control::Command& command) {
    if (!document_.Plugin) return Reply(409, QStringLiteral("no sport plug-in runs"));
    CPluginVariable* variable = document_.Plugin->FindVariable(command.name);
    if (!variable) return Reply(404, QStringLiteral("no variable \"%1\"").arg(command.name));
    if (command.value < variable->minimum || command.value > variable->maximum)
        return Reply(400, QStringLiteral("\"%1\" takes %2 to %3").arg(command.name).arg(variable->minimum).arg(variable->maximum));
    if (command.value != variable->value) variable->SetValue(command.value);
    return Done(QJsonObject{{QStringLiteral("value"), variable->value}});
}

ControlReply CControlService::Output(const Control::Command& command) {
    if (!output_.setOutput) return Reply(409, QStringLiteral("this instance has no output"));
    if (!output_.setOutput(command.on))
        return Reply(409, command.on ? QStringLiteral("the output could not start") : QStringLiteral("the output could not stop"));
    return Done(QJsonObject{{QStringLiteral("on"), command.on}});
}

std::vector<QJsonObject> CControlService::Tick() {
    std::vector<QJsonObject> events;
    std::map<int, QString> now;
    {
        CPageSnapshot snapshot(document_.Page);
        for (CFrame* object : snapshot.list) {
            const QString state = StateOf(*object);
            if (state != QLatin1String("stopped")) now[object->Id] = state;
            const auto before = objectStates_.find(object->Id);
            const QString was = before == objectStates_.end() ? QStringLiteral("stopped") : before->second;
            if (was != state)
                events.push_back({{QStringLiteral("event"), QStringLiteral("object")},
                                  {QStringLiteral("id"), object->Id},
                                  {QStringLiteral("group"), object->Group},
                                  {QStringLiteral("state"), state},
                                  {QStringLiteral("onAir"), state != QLatin1String("stopped")}});
        }
        // Objects gone from the page while they played are off air now.
        for (const auto& [id, state] : objectStates_)
            if (!now.count(id) && !document_.Page.FindById(id))
                events.push_back({{QStringLiteral("event"), QStringLiteral("object")},
                                  {QStringLiteral("id"), id},
                                  {QStringLiteral("state"), QStringLiteral("stopped")},
                                  {QStringLiteral("onAir"), false}});
    }
    objectStates_ = std::move(now);

    const bool on = output_.outputOn && output_.outputOn();
    const bool preview = output_.previewOn && output_.previewOn();
    if (on != outputOn_ || preview != previewOn_) {
        outputOn_ = on;
        previewOn_ = preview;
        events.push_back({{QStringLiteral("event"), QStringLiteral("output")},
                          {QStringLiteral("on"), on},
                          {QStringLiteral("preview"), preview}});
    }
    const bool running = document_.ScriptRunning();
    const int step = running ? document_.ScriptStep() : -1;
    if (running != scriptRunning_ || step != scriptStep_) {
        scriptRunning_ = running;
        scriptStep_ = step;
        events.push_back({{QStringLiteral("event"), QStringLiteral("script")},
                          {QStringLiteral("running"), running},
                          {QStringLiteral("step"), step},
                          {QStringLiteral("count"), document_.Script.Count()}});
    }
    const int late = output_.lateFrames ? output_.lateFrames() : 0;
    if (late > lateFrames_)
        events.push_back({{QStringLiteral("event"), QStringLiteral("lateFrames")},
                          {QStringLiteral("count"), late},
                          {QStringLiteral("new"), late - lateFrames_}});
    lateFrames_ = late;
    for (const QJsonObject& event : events) server_->Broadcast(event);
    return events;
}
