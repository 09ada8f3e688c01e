// Network control: requests and OSC addresses read into commands (a table of
// routes and refusals), the token and the pages-folder confinement, and the server
// on a loopback port driven through the real HTTP, WebSocket and OSC stacks: each
// verb's effect on the document, events in order, and refusals that change nothing.
#include "app/ControlService.h"
#include "control/Osc.h"
#include "core/VideoModes.h"
#include "script/FrameScript.h"
#include "tests/RecordingPresenter.h"
#include "tests/TempFolderFixture.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>
#include <QUdpSocket>
#include <QWebSocket>
#include <gtest/gtest.h>

#include <csignal>

namespace {

using Control::Parsed;
using Control::Verb;

// ---------------------------------------------------------------- parsing

TEST(ControlRequest, RoutesBecomeCommands) {
    const struct {
        const char* method;
        const char* path;
        const char* body;
        Verb verb;
        Control::Target target;
        int id;
        const char* group;
        Control::Action action;
    } cases[] = {
        {"GET", "/api/state", "", Verb::State, Control::Target::All, 0, "", Control::Action::Play},
        {"POST", "/api/objects/3/play", "", Verb::Objects, Control::Target::Id, 3, "", Control::Action::Play},
        {"POST", "/api/objects/all/stop", "", Verb::Objects, Control::Target::All, 0, "", Control::Action::Stop},
        {"POST", "/api/objects/group/Lower third/end/", "", Verb::Objects, Control::Target::Group, 0, "Lower third",
         Control::Action::End},
        {"POST", "/api/objects/12/toggle", "", Verb::Objects, Control::Target::Id, 12, "", Control::Action::Toggle},
        {"POST", "/api/objects/7/pause", "{}", Verb::Objects, Control::Target::Id, 7, "", Control::Action::Pause},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const Parsed parsed = Control::ParseHttp(c.method, QString::fromUtf8(c.path), c.body);
        ASSERT_TRUE(parsed.ok) << qPrintable(parsed.error);
        EXPECT_EQ(parsed.command.verb, c.verb);
        if (c.verb != Verb::Objects) continue;
        EXPECT_EQ(parsed.command.target, c.target);
        EXPECT_EQ(parsed.command.id, c.id);
        EXPECT_EQ(parsed.command.group, QString::fromUtf8(c.group));
        EXPECT_EQ(parsed.command.action, c.action);
    }
    const Parsed text = Control::ParseHttp("PUT", "/api/objects/4/text", R"({"text": "Jane \"JD\" Doe"})");
    ASSERT_TRUE(text.ok);
    EXPECT_EQ(text.command.verb, Verb::ObjectText);
    EXPECT_EQ(text.command.text, QStringLiteral("Jane \"JD\" Doe"));
    const Parsed variable = Control::ParseHttp("PUT", "/api/plugin/variables/home_score", R"({"value": 2})");
    ASSERT_TRUE(variable.ok);
    EXPECT_EQ(variable.command.name, QStringLiteral("home_score"));
    EXPECT_EQ(variable.command.value, 2);
    const Parsed load = Control::ParseHttp("POST", "/api/page/load", R"({"file": "News/Opening.corvane"})");
    ASSERT_TRUE(load.ok);
    EXPECT_EQ(load.command.file, QStringLiteral("News/Opening.corvane"));
    EXPECT_TRUE(Control::ParseHttp("POST", "/api/output/on", "").command.on);
}

TEST(ControlRequest, MalformedRequestsAreRefusedWithTheirStatus) {
    const struct {
        const char* method;
        const char* path;
        QByteArray body;
        int status;
    } cases[] = {
        {"GET", "/", "", 404},
        {"GET", "/api", "", 404},
        {"GET", "/api/nothing", "", 404},
        {"POST", "/api/state", "", 405},
        {"GET", "/api/objects/3/play", "", 405},
        {"POST", "/api/objects/3/dance", "", 404},
        {"POST", "/api/objects/0/play", "", 404},
        {"POST", "/api/objects/-1/play", "", 404},
        {"POST", "/api/objects/99999999999/play", "", 404},
        {"POST", "/api/objects//play", "", 404},
        {"POST", "/api/page/load", "{\"file\": ", 400},
        {"POST", "/api/page/load", "[1, 2]", 400},
        {"POST", "/api/page/load", "{\"file\": 3}", 400},
        {"POST", "/api/page/load", "{}", 400},
        {"PUT", "/api/objects/3/text", "{\"text\": 5}", 400},
        {"PUT", "/api/plugin/variables/x", "{\"value\": 1.5}", 400},
        {"PUT", "/api/plugin/variables/x", "{\"value\": 1e12}", 400},
        {"PUT", "/api/plugin/variables/x", "{\"value\": \"two\"}", 400},
        {"POST", "/api/output/maybe", "", 404},
        {"POST", "/api/script/start", "", 400},
        {"POST", "/api/page/add", QByteArray(Control::MaxBodyBytes + 1, ' '), 413},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path + " " + c.body.left(40).toStdString());
        const Parsed parsed = Control::ParseHttp(c.method, QString::fromUtf8(c.path), c.body);
        EXPECT_FALSE(parsed.ok);
        EXPECT_EQ(parsed.status, c.status);
        EXPECT_FALSE(parsed.error.isEmpty());
    }
}

TEST(ControlRequest, OscAddressesMatchTheHttpVerbs) {
    const Parsed one = Control::ParseOsc(QStringLiteral("/corvane/objects/3/play"), {});
    ASSERT_TRUE(one.ok);
    EXPECT_EQ(one.command.target, Control::Target::Id);
    EXPECT_EQ(one.command.id, 3);
    const Parsed group = Control::ParseOsc(QStringLiteral("/corvane/group/Lower third/end"), {});
    ASSERT_TRUE(group.ok);
    EXPECT_EQ(group.command.group, QStringLiteral("Lower third"));
    EXPECT_EQ(group.command.action, Control::Action::End);
    for (const QVariant& value : {QVariant(qlonglong(2)), QVariant(2.0), QVariant(QStringLiteral("2"))}) {
        const Parsed variable = Control::ParseOsc(QStringLiteral("/corvane/plugin/var/home_score"), {value});
        ASSERT_TRUE(variable.ok) << qPrintable(variable.error);
        EXPECT_EQ(variable.command.value, 2);
    }
    EXPECT_TRUE(Control::ParseOsc(QStringLiteral("/corvane/all/stop"), {}).ok);
    EXPECT_TRUE(Control::ParseOsc(QStringLiteral("/corvane/script/start"), {QStringLiteral("Rundown.script")}).ok);
    for (const char* address : {"/other/objects/3/play", "/corvane", "/corvane/objects/x/play", "/corvane/objects/3/jump",
                                "/corvane/plugin/var/home_score", "/corvane/script/start"})
        EXPECT_FALSE(Control::ParseOsc(QString::fromUtf8(address), {}).ok) << address;
    EXPECT_FALSE(Control::ParseOsc(QStringLiteral("/corvane/plugin/var/x"), {QVariant(2.5)}).ok);
}

TEST(ControlRequest, TheTokenIsTheWholeBearerValue) {
    EXPECT_TRUE(Control::Authorized("", ""));
    EXPECT_TRUE(Control::Authorized("", "Bearer anything"));
    EXPECT_TRUE(Control::Authorized("s3cret", "Bearer s3cret"));
    for (const char* wrong : {"", "Bearer", "Bearer ", "Bearer s3cre", "Bearer s3cret ", "bearer s3cret", "s3cret",
                              "Bearer s3creT", "Bearer s3cretXYZ"})
        EXPECT_FALSE(Control::Authorized("s3cret", wrong)) << wrong;
}

class ControlPaths : public TempFolderFixture {};

TEST_F(ControlPaths, FilesStayBelowThePagesFolder) {
    const QString root = Path(QStringLiteral("pages"));
    Put(QStringLiteral("pages/News/Opening.corvane"), "x");
    Put(QStringLiteral("secret.corvane"), "x");
    ASSERT_TRUE(QFile::link(Path(QStringLiteral("secret.corvane")), Path(QStringLiteral("pages/link.corvane"))));
    EXPECT_EQ(Control::PathBelow(root, QStringLiteral("News/Opening.corvane")),
              QFileInfo(Path(QStringLiteral("pages/News/Opening.corvane"))).canonicalFilePath());
    EXPECT_FALSE(Control::PathBelow(root, QStringLiteral("Missing.corvane")).isEmpty()) << "named, if missing";
    for (const QString& escape : {QStringLiteral("../secret.corvane"), QStringLiteral("News/../../secret.corvane"),
                                  Path(QStringLiteral("secret.corvane")), QStringLiteral("/etc/passwd"),
                                  QStringLiteral("link.corvane"), QStringLiteral("~/x"), QString()})
        EXPECT_TRUE(Control::PathBelow(root, escape).isEmpty()) << qPrintable(escape);
}

TEST(ControlOsc, DatagramsRoundTripAndDamagedOnesGiveNothing) {
    const QByteArray datagram =
        Control::EncodeOsc(QStringLiteral("/corvane/plugin/var/home_score"), {QVariant(2), QStringLiteral("x"), 1.5});
    const auto decoded = Control::DecodeOsc(datagram);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->address, QStringLiteral("/corvane/plugin/var/home_score"));
    ASSERT_EQ(decoded->arguments.size(), 3);
    EXPECT_EQ(decoded->arguments[0].toLongLong(), 2);
    EXPECT_EQ(decoded->arguments[1].toString(), QStringLiteral("x"));
    EXPECT_DOUBLE_EQ(decoded->arguments[2].toDouble(), 1.5);
    EXPECT_FALSE(Control::DecodeOsc(QByteArray()));
    EXPECT_FALSE(Control::DecodeOsc(datagram.left(datagram.size() - 3))) << "truncated";
    EXPECT_FALSE(Control::DecodeOsc(QByteArray("/no/terminator")));
    EXPECT_FALSE(Control::DecodeOsc(Control::EncodeOsc(QStringLiteral("corvane/all/stop"), {}))) << "no leading /";
    EXPECT_FALSE(Control::DecodeOsc(QByteArray("#bundle\0\0\0\0\0\0\0\0\0", 16)));
}

// ---------------------------------------------------------------- the server

class DocHost : public IDocumentHost {
public:
    void UpdateViews(int) override {}
};

int SmallMode() {
    for (int m = 0; m < 13; ++m)
        if (VideoModes::RenderWidth(m) == 720 && VideoModes::RenderHeight(m) == 576) return m;
    return 0;
}

class ControlServer : public TempFolderFixture {
protected:
    void SetUp() override {
        TempFolderFixture::SetUp();
        root = Path(QStringLiteral("pages"));
        QDir().mkpath(root);
        ASSERT_TRUE(store.SetText(Settings::RootFolder, root));
        first = Add(QStringLiteral("Lower third"));
        second = Add(QStringLiteral("Lower third"));
        clock = Add(QStringLiteral("Clock"));
        doc.Modified = false;
    }
    void TearDown() override {
        service.reset();
        doc.Page.OutputOn = 1;
        doc.Page.StopAll();
        doc.Page.OutputOn = 0;
    }
    CFrame* Add(const QString& group) {
        auto object = std::make_unique<CFrame>();
        object->Rect = {10, 10, 200, 60};
        object->Group = group;
        object->RichText = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard\\f0\\b\\fs56 Old text\\par}";
        CFrame* added = object.get();
        EXPECT_TRUE(doc.AddObject(std::move(object)));
        return added;
    }
    void Start(QByteArray token = {}, QHostAddress bind = QHostAddress(QHostAddress::LocalHost)) {
        ControlOptions options;
        options.bind = bind;
        options.port = 0;
        options.token = std::move(token);
        options.osc = true;
        options.oscPort = 0;
        CControlService::OutputHooks output;
        output.setOutput = [this](bool on) {
            outputOn = on;
            doc.Page.OutputOn = on ? 1 : 0;
            return true;
        };
        output.outputOn = [this] { return outputOn; };
        output.previewOn = [] { return false; };
        output.lateFrames = [this] { return late; };
        output.modalOpen = [this] { return dialogOpen; };
        service = std::make_unique<CControlService>(doc, store, output, options);
        QString error;
        ASSERT_TRUE(service->Start(&error)) << qPrintable(error);
        ASSERT_NE(service->Server().Port(), 0);
    }
    struct Answer {
        int status = 0;
        QJsonObject body;
    };
    Answer Request(const QByteArray& method, const QString& path, const QByteArray& body = {},
                   const QByteArray& authorization = {}, const QByteArray& origin = {}) {
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(service->Server().Port()).arg(path)));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        if (!authorization.isEmpty()) request.setRawHeader("Authorization", authorization);
        if (!origin.isEmpty()) request.setRawHeader("Origin", origin);
        QNetworkReply* reply = network.sendCustomRequest(request, method, body);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
        Answer answer;
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer.body = QJsonDocument::fromJson(reply->readAll()).object();
        reply->deleteLater();
        return answer;
    }

    RecordingPresenter presenter;
    QString root;
    CSettingsStore store{dir.filePath(QStringLiteral("control.ini"))};
    DocHost host;
    CMainDoc doc{host, SmallMode()};
    CFrame* first = nullptr;
    CFrame* second = nullptr;
    CFrame* clock = nullptr;
    bool outputOn = false;
    bool dialogOpen = false;
    int late = 0;
    std::unique_ptr<CControlService> service;
    QNetworkAccessManager network;
};

TEST_F(ControlServer, EachVerbActsOnTheDocumentThroughTheRealStack) {
    Start();
    Answer state = Request("GET", QStringLiteral("/api/state"));
    ASSERT_EQ(state.status, 200);
    const QJsonArray objects = state.body["objects"].toArray();
    ASSERT_EQ(objects.size(), 3);
    EXPECT_EQ(objects[0].toObject()["id"].toInt(), first->Id);
    EXPECT_EQ(objects[0].toObject()["group"].toString(), QStringLiteral("Lower third"));
    EXPECT_EQ(objects[0].toObject()["state"].toString(), QStringLiteral("stopped"));
    EXPECT_FALSE(state.body["output"].toObject()["on"].toBool());

    EXPECT_EQ(Request("POST", QStringLiteral("/api/objects/%1/play").arg(first->Id)).status, 409) << "output off";
    EXPECT_EQ(Request("POST", QStringLiteral("/api/output/on")).status, 200);
    EXPECT_TRUE(outputOn);
    EXPECT_EQ(Request("POST", QStringLiteral("/api/objects/%1/play").arg(clock->Id)).status, 200);
    EXPECT_TRUE(clock->Playing.load());
    EXPECT_EQ(Request("POST", QStringLiteral("/api/objects/group/Lower third/play")).status, 200);
    EXPECT_TRUE(first->Playing.load() && second->Playing.load());
    EXPECT_EQ(Request("POST", QStringLiteral("/api/objects/%1/pause").arg(clock->Id)).status, 200);
    EXPECT_TRUE(clock->Paused.load());
    EXPECT_EQ(Request("POST", QStringLiteral("/api/objects/all/stop")).status, 200);
    EXPECT_FALSE(first->Playing.load() || second->Playing.load() || clock->Playing.load());
    EXPECT_EQ(Request("POST", QStringLiteral("/api/objects/999/play")).status, 404);
    EXPECT_EQ(Request("POST", QStringLiteral("/api/objects/group/Typo/play")).status, 404) << "no such group";

    // Text: the words change, the format stays; an object on air keeps its text.
    const size_t entries = doc.Undo.UndoStack.size();
    Answer text = Request("PUT", QStringLiteral("/api/objects/%1/text").arg(first->Id), R"({"text": "Jane Doe"})");
    EXPECT_EQ(text.status, 200);
    EXPECT_TRUE(first->RichText.contains("Jane Doe")) << first->RichText.constData();
    EXPECT_TRUE(first->RichText.contains("\\b")) << "still bold";
    EXPECT_TRUE(first->RichText.contains("\\fs56"));
    EXPECT_EQ(doc.Undo.UndoStack.size(), entries + 1) << "one undo entry, as the editor's own edit";
    Request("POST", QStringLiteral("/api/objects/%1/play").arg(second->Id));
    const QByteArray before = second->RichText;
    EXPECT_EQ(Request("PUT", QStringLiteral("/api/objects/%1/text").arg(second->Id), R"({"text": "x"})").status, 409);
    EXPECT_EQ(second->RichText, before);

    // Pages below the pages folder only.
    {
        DocHost makerHost;
        CMainDoc maker(makerHost, SmallMode());
        maker.AddSimpleObject();
        ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/News")));
        ASSERT_TRUE(maker.Save(root + QStringLiteral("/News/Opening.corvane")));
    }
    EXPECT_EQ(Request("POST", QStringLiteral("/api/page/add"), R"({"file": "../control.ini"})").status, 400);
    ASSERT_TRUE(doc.Modified) << "the text changed the page";
    EXPECT_EQ(Request("POST", QStringLiteral("/api/page/add"), R"({"file": "News/Opening.corvane"})").status, 409)
        << "unsaved changes are not thrown away unasked";
    doc.Modified = false;
    // A file that is no page: the reader's message is in the answer, not on the screen.
    Put(QStringLiteral("pages/Broken.corvane"), "not a page");
    const Answer broken = Request("POST", QStringLiteral("/api/page/load"), R"({"file": "Broken.corvane"})");
    EXPECT_EQ(broken.status, 409);
    EXPECT_FALSE(broken.body["messages"].toArray().isEmpty());
    EXPECT_TRUE(presenter.texts.empty()) << "no message box";
    EXPECT_EQ(Request("POST", QStringLiteral("/api/page/add"), R"({"file": "Missing.corvane"})").status, 404);
    EXPECT_EQ(Request("POST", QStringLiteral("/api/page/add"), R"({"file": "News/Opening.corvane"})").status, 200);
    EXPECT_EQ(doc.Page.LiveCount(), 2) << "added beside the object on air, as the operator's add does";
    EXPECT_EQ(doc.Page.FindById(second->Id), second);

    EXPECT_EQ(Request("POST", QStringLiteral("/api/output/off")).status, 200);
    EXPECT_FALSE(outputOn);
}

TEST_F(ControlServer, ScriptsAndPluginVariables) {
    Start();
    CFrameScript script;
    auto wait = std::make_unique<CFrameScriptItem>();
    wait->type = ScriptActionType::WaitPeriod;
    wait->idata = 30;
    script.Append(std::move(wait));
    ASSERT_TRUE(script.SaveFile(root + QStringLiteral("/Rundown.script")));
    EXPECT_EQ(Request("POST", QStringLiteral("/api/script/start"), R"({"file": "Rundown.script"})").status, 409)
        << "not while the output is off";
    Request("POST", QStringLiteral("/api/output/on"));
    EXPECT_EQ(Request("POST", QStringLiteral("/api/script/start"), R"({"file": "Rundown.script"})").status, 200);
    EXPECT_TRUE(doc.ScriptRunning());
    EXPECT_EQ(Request("POST", QStringLiteral("/api/script/stop")).status, 200);
    EXPECT_FALSE(doc.ScriptRunning());

    EXPECT_EQ(Request("PUT", QStringLiteral("/api/plugin/variables/home"), R"({"value": 1})").status, 409)
        << "no plug-in runs";
    Put(QStringLiteral("plugin/Match.plugin"), R"(<?xml version="1.0"?><config>
      <variables><var id="home" min="0" max="99"/></variables>
      <pages><page id="bug"/></pages><ui width="100" height="100"/></config>)");
    doc.Plugin = std::make_unique<CPlugin>();
    ASSERT_TRUE(doc.Plugin->LoadDefinition(Path(QStringLiteral("plugin/Match.plugin"))));
    const Answer set = Request("PUT", QStringLiteral("/api/plugin/variables/home"), R"({"value": 3})");
    EXPECT_EQ(set.status, 200);
    EXPECT_EQ(doc.Plugin->FindVariable(QStringLiteral("home"))->value, 3);
    EXPECT_TRUE(QFile::exists(doc.Plugin->FindVariable(QStringLiteral("home"))->GetFileName())) << "its file written";
    EXPECT_EQ(Request("PUT", QStringLiteral("/api/plugin/variables/home"), R"({"value": 100})").status, 400);
    EXPECT_EQ(Request("PUT", QStringLiteral("/api/plugin/variables/away"), R"({"value": 1})").status, 404);
    EXPECT_EQ(doc.Plugin->FindVariable(QStringLiteral("home"))->value, 3);
}

TEST_F(ControlServer, RefusalsChangeNothing) {
    Start("s3cret");
    doc.Page.OutputOn = 1;
    outputOn = true;
    const QString play = QStringLiteral("/api/objects/%1/play").arg(first->Id);
    EXPECT_EQ(Request("POST", play).status, 401);
    EXPECT_EQ(Request("POST", play, {}, "Bearer wrong").status, 401);
    EXPECT_FALSE(first->Playing.load());
    EXPECT_EQ(Request("POST", play, {}, "Bearer s3cret").status, 200);
    EXPECT_TRUE(first->Playing.load());

    const QByteArray rich = second->RichText;
    const Answer malformed =
        Request("PUT", QStringLiteral("/api/objects/%1/text").arg(second->Id), "{\"text\": ", "Bearer s3cret");
    EXPECT_EQ(malformed.status, 400);
    EXPECT_FALSE(malformed.body["error"].toString().isEmpty()) << "a JSON error";
    const Answer huge = Request("PUT", QStringLiteral("/api/objects/%1/text").arg(second->Id),
                                "{\"text\": \"" + QByteArray(200 * 1024, 'x') + "\"}", "Bearer s3cret");
    EXPECT_EQ(huge.status, 413);
    EXPECT_EQ(second->RichText, rich);
    EXPECT_EQ(Request("GET", QStringLiteral("/api/state"), {}, "Bearer s3cret").status, 200)
        << "the server still answers after refusing";

    // A dialog of the editor holds the page: edits wait, play commands go on.
    dialogOpen = true;
    EXPECT_EQ(Request("PUT", QStringLiteral("/api/objects/%1/text").arg(second->Id), R"({"text": "x"})", "Bearer s3cret").status,
              409);
    EXPECT_EQ(second->RichText, rich);
    EXPECT_EQ(Request("POST", QStringLiteral("/api/objects/%1/play").arg(second->Id), {}, "Bearer s3cret").status, 200);
    EXPECT_TRUE(second->Playing.load());
    dialogOpen = false;

    // The event socket asks for the token too, and lives at its one path.
    for (const QString& url : {QStringLiteral("ws://127.0.0.1:%1/api/events"),
                               QStringLiteral("ws://127.0.0.1:%1/api/events?token=wrong"),
                               QStringLiteral("ws://127.0.0.1:%1/api/other?token=s3cret")}) {
        QWebSocket socket;
        socket.open(QUrl(url.arg(service->Server().Port())));
        for (int k = 0; k < 200 && socket.state() != QAbstractSocket::UnconnectedState; ++k)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_EQ(service->Server().EventClients(), 0) << qPrintable(url);
    }
    QWebSocket allowed;
    allowed.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/events?token=s3cret").arg(service->Server().Port())));
    for (int k = 0; k < 200 && service->Server().EventClients() == 0; ++k)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(service->Server().EventClients(), 1);
}

TEST_F(ControlServer, WithoutATokenOnlyThisMachineAndNoWebPageMayDriveIt) {
    ControlOptions open;
    open.bind = QHostAddress(QHostAddress::AnyIPv4);
    open.port = 0;
    CControlService exposed(doc, store, {}, open);
    QString error;
    EXPECT_FALSE(exposed.Start(&error)) << "any address without a token";
    EXPECT_TRUE(error.contains(QStringLiteral("token")));

    Start();
    doc.Page.OutputOn = 1;
    const QString play = QStringLiteral("/api/objects/%1/play").arg(first->Id);
    EXPECT_EQ(Request("POST", play, {}, {}, "http://evil.example").status, 403) << "a browser page's request";
    EXPECT_FALSE(first->Playing.load());
    QWebSocket origin(QStringLiteral("http://evil.example"));
    origin.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/events").arg(service->Server().Port())));
    for (int k = 0; k < 200 && origin.state() != QAbstractSocket::UnconnectedState; ++k)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(service->Server().EventClients(), 0) << "nor a page's event socket";
    EXPECT_EQ(Request("POST", play).status, 200) << "a program on this machine may";
}

TEST_F(ControlServer, EventsArriveInOrderAndOscDrivesTheSameVerbs) {
    Start();
    doc.Page.OutputOn = 1;
    outputOn = true;
    service->Tick();  // the output's state as it is now

    QWebSocket events;
    std::vector<QJsonObject> received;
    QObject::connect(&events, &QWebSocket::textMessageReceived,
                     [&](const QString& text) { received.push_back(QJsonDocument::fromJson(text.toUtf8()).object()); });
    QEventLoop connected;
    QObject::connect(&events, &QWebSocket::connected, &connected, &QEventLoop::quit);
    QTimer::singleShot(20000, &connected, &QEventLoop::quit);
    events.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/events").arg(service->Server().Port())));
    connected.exec();
    ASSERT_EQ(events.state(), QAbstractSocket::ConnectedState);
    for (int k = 0; k < 100 && service->Server().EventClients() == 0; ++k) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(service->Server().EventClients(), 1);

    // OSC: the first object plays.
    QUdpSocket osc;
    osc.writeDatagram(Control::EncodeOsc(QStringLiteral("/corvane/objects/%1/play").arg(first->Id), {}),
                      QHostAddress::LocalHost, service->Server().OscPort());
    for (int k = 0; k < 200 && !first->Playing.load(); ++k) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(first->Playing.load()) << "the OSC message arrived";
    late = 2;
    std::vector<QJsonObject> ticked = service->Tick();
    Request("POST", QStringLiteral("/api/objects/%1/stop").arg(first->Id));
    std::vector<QJsonObject> more = service->Tick();
    ticked.insert(ticked.end(), more.begin(), more.end());
    for (int k = 0; k < 200 && received.size() < ticked.size(); ++k) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received, ticked) << "every client gets what the tick found, in order";
    EXPECT_EQ(received[0]["event"].toString(), QStringLiteral("object"));
    EXPECT_EQ(received[0]["id"].toInt(), first->Id);
    EXPECT_EQ(received[0]["state"].toString(), QStringLiteral("playing"));
    EXPECT_EQ(received[1]["event"].toString(), QStringLiteral("lateFrames"));
    EXPECT_EQ(received[1]["count"].toInt(), 2);
    EXPECT_EQ(received[2]["state"].toString(), QStringLiteral("stopped"));
    EXPECT_FALSE(received[2]["onAir"].toBool());
    EXPECT_TRUE(service->Tick().empty()) << "nothing changed since";
    // A client that sends more than a small message is closed.
    events.sendTextMessage(QString(64 * 1024, u'x'));
    for (int k = 0; k < 200 && service->Server().EventClients() > 0; ++k)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(service->Server().EventClients(), 0);
}

// ---------------------------------------------------------------- the server program

class ServerProgram : public TempFolderFixture {
protected:
    QProcessEnvironment Environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), Path(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), Path(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), Path(QStringLiteral("run")));
        // On a display the server's output opens its window there.
        if (HasDisplay()) environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        return environment;
    }
    static bool HasDisplay() { return !qEnvironmentVariableIsEmpty("DISPLAY"); }
    // cvtool with the same settings as the server.
    std::pair<int, QJsonObject> Cvtool(const QStringList& args) {
        QProcess tool;
        tool.setProcessEnvironment(Environment());
        tool.start(QStringLiteral(CVTOOL_PATH), args);
        EXPECT_TRUE(tool.waitForFinished(60000));
        return {tool.exitCode(), QJsonDocument::fromJson(tool.readAllStandardOutput()).object()};
    }
};

TEST_F(ServerProgram, RunsTheDocumentWithoutTheEditorAndStopsCleanlyOnSigterm) {
    for (const char* folder : {"home", "config", "run", "pages"}) ASSERT_TRUE(QDir().mkpath(Path(QString::fromLatin1(folder))));
    QFile::setPermissions(Path(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString page = Path(QStringLiteral("pages/Show.corvane"));
    {
        DocHost host;
        CMainDoc maker(host, 0);
        maker.AddSimpleObject();
        maker.Selected->Group = QStringLiteral("Bug");
        ASSERT_TRUE(maker.Save(page));
    }
    ASSERT_EQ(Cvtool({"settings", "Preferences", "RootFolder", Path(QStringLiteral("pages"))}).first, 0);
    ASSERT_EQ(Cvtool({"settings", "Debug", "Window", "1"}).first, 0);  // the output in a window on a virtual display
    ASSERT_EQ(Cvtool({"settings", "View", "FirstTimeSetup", "0"}).first, 0);

    QProcess server;
    server.setProcessEnvironment(Environment());
    server.start(QStringLiteral(SERVER_PATH), {"--port", "0", "--open", page});
    ASSERT_TRUE(server.waitForStarted(20000));
    QByteArray banner;
    for (int k = 0; k < 600 && !banner.contains('\n'); ++k) {
        server.waitForReadyRead(100);
        banner += server.readAllStandardOutput();
    }
    const qsizetype colon = banner.lastIndexOf(':');
    const int port = colon < 0 ? 0 : banner.mid(colon + 1, banner.indexOf('/', colon) - colon - 1).toInt();
    ASSERT_GT(port, 0) << banner.constData() << server.readAllStandardError().constData();
    const QString url = QStringLiteral("http://127.0.0.1:%1").arg(port);

    auto [status, state] = Cvtool({"control", url, "state"});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(state["page"].toString(), page);
    ASSERT_EQ(state["objects"].toArray().size(), 1);
    EXPECT_EQ(Cvtool({"control", url, "play", "all"}).first, 1) << "refused while the output is off";
    EXPECT_EQ(Cvtool({"control", url, "load", "../Show.corvane"}).first, 1) << "outside the pages folder";
    EXPECT_EQ(Cvtool({"control", url, "add", "Show.corvane"}).first, 0);

    if (HasDisplay()) {
        EXPECT_EQ(Cvtool({"control", url, "output", "on"}).first, 0);
        EXPECT_EQ(Cvtool({"control", url, "play", "group", "Bug"}).first, 0);
        const QJsonObject playing = Cvtool({"control", url, "state"}).second;
        EXPECT_TRUE(playing["output"].toObject()["on"].toBool());
        EXPECT_EQ(playing["objects"].toArray().at(0).toObject()["state"].toString(), QStringLiteral("playing"));
    }

    ::kill(pid_t(server.processId()), SIGTERM);
    ASSERT_TRUE(server.waitForFinished(30000));
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0);
    EXPECT_TRUE(server.readAllStandardOutput().contains("corvane-server: stopped"));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
