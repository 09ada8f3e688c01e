// cvtool as a user runs it: build a page from JSON, read it back with info.
#include "core/PageFile.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>


#include <map>

namespace {

struct ToolRun {
    int exitCode;
    QByteArray out, err;
};

// configHome and home, when given, replace XDG_CONFIG_HOME and HOME (where the
// log goes) for the run.
ToolRun Cvtool(const QStringList& args, const QString& configHome = QString(), const QString& home = QString()) {
    QProcess process;
    if (!configHome.isEmpty() || !home.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!configHome.isEmpty()) environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        if (!home.isEmpty()) environment.insert(QStringLiteral("HOME"), home);
        process.setProcessEnvironment(environment);
    }
    process.start(QStringLiteral(CVTOOL_PATH), args);
    process.waitForFinished(60000);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// One object with every stored field away from its default, in the JSON shape.
QJsonObject FullObject(const QString& folder) {
    QJsonObject o;
    int value = 1;
    for (const auto& f : PageFile::RecordFields) {
        // A value inside the field's range that differs from the default object.
        int v = f.max == 1 ? 1 : std::min(f.max, f.min + 2 + value++);
        if (QLatin1String(f.name) == QLatin1String("ShowIndefinitely") || QLatin1String(f.name) == QLatin1String("Loop") ||
            QLatin1String(f.name) == QLatin1String("LoopAnimation"))
            v = 0;
        if (QLatin1String(f.name) == QLatin1String("Kind")) v = 1;
        if (QLatin1String(f.name) == QLatin1String("MaintainLink")) v = 0;  // frames must be written
        o.insert(QLatin1String(f.name), v);
    }
    o.insert("BackColor", qint64(0x80563412));
    o.insert("Rect", QJsonArray{100, 200, 300, 260});
    o.insert("FileName", folder + "/data/score.txt");
    o.insert("ClockFormat", "%I:%M:%S %p");
    o.insert("TimerFormat", "%M:%S");
    o.insert("Group", QString::fromUtf8("Résultats"));
    o.insert("ImageFileName", "/elsewhere/logo.png");
    o.insert("RichText", QString::fromLatin1("{\\rtf1\\ansi\\ansicpg1252 Caf\\'e9 \xe9}"));
    o.insert("Frames", QJsonArray{QJsonObject{{"width", 32}, {"height", 16}, {"delay", 40}, {"fill", "#FF336699"}},
                                  QJsonObject{{"width", 32}, {"height", 16}, {"delay", 80}, {"raw", "noise.bgra"}}});
    return o;
}

}  // namespace

TEST(Cvtool, BuildThenInfoRoundTripsEveryField) {
    QTemporaryDir dir;
    QByteArray noise(32 * 16 * 4, Qt::Uninitialized);
    for (int k = 0; k < noise.size(); ++k) noise[k] = char((k * 7919) ^ (k >> 3));
    WriteFile(dir.filePath("noise.bgra"), noise);
    const QJsonObject object = FullObject(dir.path());
    const QJsonObject entry{{"objects", QJsonArray{object, QJsonObject{{"Rect", QJsonArray{0, 0, 16, 16}}}}}};
    WriteFile(dir.filePath("page.json"), QJsonDocument(entry).toJson());

    const QString page = dir.filePath("page.corvane");
    ToolRun build = Cvtool({"build", dir.filePath("page.json"), page, "--mode", "5"});
    ASSERT_EQ(build.exitCode, 0) << build.err.constData();
    ToolRun info = Cvtool({"info", page, "--mode", "5"});
    ASSERT_EQ(info.exitCode, 0) << info.err.constData();
    const QJsonObject result = QJsonDocument::fromJson(info.out).object();

    const QJsonObject header = result["header"].toObject();
    EXPECT_EQ(header["magic"].toString(), "CVPF");
    EXPECT_EQ(header["version"].toInt(), 1);
    EXPECT_EQ(header["objectCount"].toInt(), 2);
    EXPECT_EQ(header["width"].toInt(), 1280);
    EXPECT_EQ(header["height"].toInt(), 720);
    EXPECT_EQ(header["dpi"].toInt(), 96);

    const QJsonArray objects = result["objects"].toArray();
    ASSERT_EQ(objects.size(), 2);
    const QJsonObject read = objects[0].toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() == "Frames") continue;
        EXPECT_EQ(read[it.key()], it.value()) << it.key().toStdString();
    }
    const QJsonArray frames = read["Frames"].toArray();
    ASSERT_EQ(frames.size(), 2);
    EXPECT_EQ(frames[0].toObject()["delay"].toInt(), 40);
    EXPECT_EQ(frames[0].toObject()["width"].toInt(), 32);
    EXPECT_EQ(frames[0].toObject()["height"].toInt(), 16);
    EXPECT_GT(frames[0].toObject()["dataSize"].toInt(), 0) << "a flat frame is stored compressed";
    EXPECT_EQ(frames[1].toObject()["dataSize"].toInt(), -1) << "noise is stored raw";
    // The second object was given only its rectangle: everything else is default.
    EXPECT_EQ(objects[1].toObject()["BackColor"].toInteger(), 0x1A000000);
    EXPECT_EQ(objects[1].toObject()["Speed"].toInt(), 10);

    // The page folder's file is kept in "+" form, so the page survives a move.
    QFile bytes(page);
    ASSERT_TRUE(bytes.open(QIODevice::ReadOnly));
    EXPECT_TRUE(bytes.readAll().contains(QByteArray("+\0d\0a\0t\0a\0/\0s\0", 14)));
}

TEST(Cvtool, BadDescriptionsWriteNothing) {
    QTemporaryDir dir;
    const struct {
        const char* json;
        const char* error;
    } cases[] = {
        {"{\"objects\": [", "invalid JSON"},
        {"{\"objects\": [{\"Speed\": 41}]}", "Speed"},
        {"{\"objects\": [{\"InEffect\": -1}]}", "InEffect"},
        {"{\"objects\": [{\"Rect\": [10, 10, 5, 20]}]}", "Rect"},
        {"{\"objects\": [{\"Rect\": [0, 0, 1921, 20]}]}", "Rect right"},
        {"{\"objects\": [{\"Frames\": [{\"width\": 0, \"height\": 4, \"fill\": \"#FF000000\"}]}]}", "width"},
        {"{\"objects\": [{\"Frames\": [{\"width\": 4, \"height\": 4, \"raw\": \"missing.bgra\"}]}]}", "missing.bgra"},
        {"{\"objects\": [{\"Frames\": [{\"width\": 4, \"height\": 4, \"fill\": \"red\"}]}]}", "#AARRGGBB"},
        {"{\"objects\": [{\"Colour\": 1}]}", "unknown field"},
        {"{\"objects\": [{\"RichText\": \"\\u20ac\"}]}", "RichText"},
        {"[{\"Speed\": 1}]", "must be a JSON object"},
        {"{\"objects\": [{\"Frames\": {}}]}", "Frames: an array of frames"},
        {"{\"objects\": [{\"Frames\": \"a.png\"}]}", "Frames: an array of frames"},
        {"{\"objects\": [{\"Frames\": [7]}]}", "Frames[0]: an object"},
        {"{\"objects\": [{\"Frames\": [{\"file\": \"\"}]}]}", "file: no file named"},
        {"{\"objects\": [{\"Frames\": [{\"width\": 4, \"height\": 4, \"raw\": \"\"}]}]}", "raw: no file named"},
        {"{\"objects\": [{\"Frames\": [{\"width\": 4, \"height\": 4, \"raw\": \"/dev/zero\"}]}]}", "not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        WriteFile(dir.filePath("bad.json"), c.json);
        const QString out = dir.filePath("bad.corvane");
        ToolRun run = Cvtool({"build", dir.filePath("bad.json"), out, "--mode", "0"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(c.error)) << run.err.constData();
        EXPECT_FALSE(QFile::exists(out));
    }
}

TEST(Cvtool, InfoReportsReaderFailures) {
    QTemporaryDir dir;
    WriteFile(dir.filePath("empty.json"), "{\"objects\": []}");
    const QString page = dir.filePath("p.corvane");
    ASSERT_EQ(Cvtool({"build", dir.filePath("empty.json"), page, "--mode", "0"}).exitCode, 0);

    ToolRun wrongMode = Cvtool({"info", page, "--mode", "5"});
    EXPECT_EQ(wrongMode.exitCode, 1);
    EXPECT_TRUE(wrongMode.out.isEmpty());
    EXPECT_EQ(wrongMode.err.trimmed(), ("Error: This file was created for 1920x1080 mode!\n\n" + page).toUtf8());

    WriteFile(dir.filePath("junk.corvane"), "not a page");
    ToolRun junk = Cvtool({"info", dir.filePath("junk.corvane"), "--mode", "0"});
    EXPECT_EQ(junk.exitCode, 1);
    EXPECT_TRUE(junk.err.startsWith("Error: File is corrupt!")) << junk.err.constData();

    ToolRun missing = Cvtool({"info", dir.filePath("none.corvane"), "--mode", "0"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.startsWith("Error: File open failed!")) << missing.err.constData();

    EXPECT_EQ(Cvtool({"info", page, "--mode", "13"}).exitCode, 2);
}

TEST(Cvtool, TextfileInEveryEncoding) {
    QTemporaryDir dir;
    const struct {
        int encoding;
        QByteArray bytes;
    } cases[] = {
        {0, QByteArray("\xEF\xBB\xBFZ\xC3\xBCrich\r\nBern\n")},
        {1, QByteArray("Z\xFCrich\rBern")},
        {2, QByteArray("Z\0\xFC\0r\0i\0c\0h\0\n\0B\0e\0r\0n\0", 22)},
        {3, QByteArray("\0Z\0\xFC\0r\0i\0c\0h\0\x0B\0B\0e\0r\0n", 22)},
        {4, QByteArray("Z\xC3\xBCrich\nBern\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoding);
        const QString path = dir.filePath(QStringLiteral("text%1.txt").arg(c.encoding));
        WriteFile(path, c.bytes);
        ToolRun run = Cvtool({"textfile", path, "--encoding", QString::number(c.encoding)});
        ASSERT_EQ(run.exitCode, 0) << run.err.constData();
        EXPECT_EQ(QJsonDocument::fromJson(run.out).array(), (QJsonArray{QString::fromUtf8("Zürich"), "Bern"}));
    }
    ToolRun missing = Cvtool({"textfile", dir.filePath("none.txt")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("none.txt"));
}

TEST(Cvtool, SettingsAreListedReadAndWritten) {
    QTemporaryDir config;
    const QString home = config.path();
    EXPECT_EQ(Cvtool({"settings", "Preferences", "FullHDMIRange"}, home).out.trimmed(), "1");  // the default
    EXPECT_EQ(Cvtool({"settings", "Preferences", "Mode", "7"}, home).exitCode, 0);
    EXPECT_EQ(Cvtool({"settings", "Preferences", "RootFolder", "/srv/pages"}, home).exitCode, 0);
    ToolRun refused = Cvtool({"settings", "Preferences", "Mode", "seven"}, home);
    EXPECT_EQ(refused.exitCode, 1);
    for (const char* outside : {"99", "-7"}) {
        ToolRun run = Cvtool({"settings", "Preferences", "Mode", outside}, home);
        EXPECT_EQ(run.exitCode, 1) << outside;
        EXPECT_TRUE(run.err.contains("from 0 to 12")) << run.err.constData();
    }
    EXPECT_EQ(Cvtool({"settings", "Preferences", "Mode"}, home).out.trimmed(), "7");

    const QJsonObject all = QJsonDocument::fromJson(Cvtool({"settings"}, home).out).object();
    EXPECT_EQ(all["Preferences"].toObject()["Mode"].toInt(), 7);
    EXPECT_EQ(all["Preferences"].toObject()["RootFolder"].toString(), "/srv/pages");
    EXPECT_EQ(all["ViewEdit"].toObject()["GridStep"].toInt(), 8);
    EXPECT_EQ(all["LayoutEdit"].toObject()["PaneWidth"].toInt(), 200);
    EXPECT_EQ(all["Language"].toObject()["ID"].toInt(), -1);

    // The mode setting is what page commands use when --mode is not given.
    WriteFile(config.filePath("empty.json"), "{\"objects\": []}");
    ASSERT_EQ(Cvtool({"build", config.filePath("empty.json"), config.filePath("p.corvane")}, home).exitCode, 0);
    const QJsonObject header =
        QJsonDocument::fromJson(Cvtool({"info", config.filePath("p.corvane")}, home).out).object()["header"].toObject();
    EXPECT_EQ(header["width"].toInt(), 1280);
}

TEST(Cvtool, StringsByIdInEnglish) {
    QTemporaryDir config;
    ToolRun run = Cvtool({"strings", "10313", "57344", "1"}, config.path());
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QJsonObject result = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(result["name"].toString(), "English");
    const QJsonObject texts = result["texts"].toObject();
    EXPECT_EQ(texts["10313"].toString(), "Error: File is corrupt!\n\n%s");
    EXPECT_EQ(texts["57344"].toString(), "Corvane");
    EXPECT_TRUE(texts["1"].isNull());
}

TEST(Cvtool, StringsThroughALanguagePack) {
    QTemporaryDir config;
    const QString pack = QStringLiteral(CORVANE_RESOURCES "/Translations.sample.xml");
    ToolRun german = Cvtool({"strings", "--pack", pack, "--language", "1", "12600", "10313"}, config.path());
    ASSERT_EQ(german.exitCode, 0) << german.err.constData();
    const QJsonObject result = QJsonDocument::fromJson(german.out).object();
    EXPECT_EQ(result["language"].toInt(), 1);
    EXPECT_EQ(result["name"].toString(), "Deutsch");
    EXPECT_EQ(result["texts"].toObject()["12600"].toString(), "Typ");
    // Not in the pack: the built-in English text.
    EXPECT_EQ(result["texts"].toObject()["10313"].toString(), "Error: File is corrupt!\n\n%s");

    // The language setting chooses when --language is not given.
    ASSERT_EQ(Cvtool({"settings", "Language", "ID", "1"}, config.path()).exitCode, 0);
    ToolRun bySetting = Cvtool({"strings", "--pack", pack, "12600"}, config.path());
    EXPECT_EQ(QJsonDocument::fromJson(bySetting.out).object()["texts"].toObject()["12600"].toString(), "Typ");

    ToolRun missing = Cvtool({"strings", "--pack", config.filePath("none.xml")}, config.path());
    EXPECT_EQ(missing.exitCode, 1);
}

// A delay-in-show-out object with repetition, played and then ended, as the
// timeline command reports it frame by frame.
TEST(Cvtool, TimelineShowsPhasesAndGeometry) {
    QTemporaryDir dir;
    WriteFile(dir.filePath("t.json"),
              R"({"objects":[{"Rect":[100,100,500,200],"StartDelay":100,"InEffect":1,"InEffectDuration":100,
                 "ShowFor":400,"ShowIndefinitely":0,"OutEffect":20,"OutEffectDuration":100,"FadeOut":1,"Repeat":1},
                 {"Rect":[0,0,16,16],"Group":"G"}]})");
    const QString page = dir.filePath("t.corvane");
    ASSERT_EQ(Cvtool({"build", dir.filePath("t.json"), page, "--mode", "1"}).exitCode, 0);
    ToolRun run = Cvtool({"timeline", page, "--mode", "1", "--frames", "42", "--object", "1", "--at-ms", "0:play:1",
                          "--at-ms", "700:end:1"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    std::vector<QJsonObject> lines;
    for (const QByteArray& line : run.out.split('\n'))
        if (!line.isEmpty()) lines.push_back(QJsonDocument::fromJson(line).object());

    // Frames of 20 ms: delay until 100, in 100..200, shown 200..300, out 300..400, then
    // the repetition starts over (one frame waiting while its text is prepared again).
    const struct {
        int frame;
        const char* phase;
        int clock;
        QJsonArray dest;
        QJsonArray window;
        int alpha;
    } expected[] = {
        {0, "delay", 0, {0, 0, 0, 0}, {0, 0, 0, 0}, 0},
        {6, "in", 120, {100, 100, 180, 200}, {0.8, 0, 1, 1}, 255},
        {10, "shown", 200, {100, 100, 500, 200}, {0, 0, 1, 1}, 255},
        {17, "out", 340, {100, 100, 340, 200}, {0, 0, 0.6, 1}, 153},
        {20, "waiting", 400, {0, 0, 0, 0}, {0, 0, 0, 0}, 0},
        {21, "delay", 0, {0, 0, 0, 0}, {0, 0, 0, 0}, 0},
        {36, "out", 300, {100, 100, 420, 200}, {0, 0, 0.8, 1}, 204},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.frame);
        ASSERT_LT(size_t(e.frame), lines.size());
        const QJsonObject& line = lines[size_t(e.frame)];
        EXPECT_EQ(line["frame"].toInt(), e.frame);
        EXPECT_EQ(line["phase"].toString(), e.phase);
        EXPECT_EQ(line["clock"].toInt(), e.clock);
        EXPECT_EQ(line["Alpha"].toInt(), e.alpha);
        for (int k = 0; k < 4; ++k) {
            EXPECT_NEAR(line["Dest"].toArray()[k].toDouble(), e.dest[k].toDouble(), 1e-6);
            EXPECT_NEAR(line["BackgroundWindow"].toArray()[k].toDouble(), e.window[k].toDouble(), 1e-6);
        }
    }
    // Ended at 700 ms (clock 280) in its second run: out from 300 to 380, then stopped
    // for good instead of repeating.
    ASSERT_EQ(lines.size(), 42u);
    EXPECT_EQ(lines.back()["stopped"].toBool(), true);
    EXPECT_EQ(lines.back()["frame"].toInt(), 40);
    EXPECT_EQ(lines[lines.size() - 2]["phase"].toString(), "finished");
}

TEST(Cvtool, TimelineCommandsThatNameNothingDoNothing) {
    QTemporaryDir dir;
    const QString page = dir.filePath("t.corvane");
    WriteFile(dir.filePath("ok.json"), R"({"objects":[{"Rect":[0,0,16,16]}]})");
    ASSERT_EQ(Cvtool({"build", dir.filePath("ok.json"), page, "--mode", "1"}).exitCode, 0);
    ToolRun run = Cvtool({"timeline", page, "--mode", "1", "--frames", "5", "--at-ms", "0:play:7", "--at-ms",
                          "0:end:group:nobody", "--at-ms", "20:pause:1"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.isEmpty()) << run.out.constData();
    EXPECT_EQ(Cvtool({"timeline", page, "--at-ms", "soon:play:all"}).exitCode, 2);
}

// A hotkey toggles its objects as one: both start, then both go out together,
// while an object of another hotkey is left alone.
TEST(Cvtool, TimelineTogglesTheObjectsOfAHotkey) {
    QTemporaryDir dir;
    const QString page = dir.filePath("t.corvane");
    WriteFile(dir.filePath("keys.json"), R"({"objects":[{"Rect":[0,0,16,16],"Hotkey":3,"OutEffectDuration":100},
                                             {"Rect":[0,0,16,16],"Hotkey":3,"OutEffectDuration":100},
                                             {"Rect":[0,0,16,16],"Hotkey":4}]})");
    ASSERT_EQ(Cvtool({"build", dir.filePath("keys.json"), page, "--mode", "1"}).exitCode, 0);
    ToolRun run = Cvtool({"timeline", page, "--mode", "1", "--frames", "20", "--at-ms", "0:toggle:hotkey:3",
                          "--at-ms", "100:toggle:hotkey:3"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    std::map<int, QStringList> phases;  // object -> phase per frame
    std::map<int, int> stoppedAt;
    for (const QByteArray& text : run.out.split('\n')) {
        if (text.isEmpty()) continue;
        const QJsonObject line = QJsonDocument::fromJson(text).object();
        if (line.contains("stopped")) stoppedAt[line["object"].toInt()] = line["frame"].toInt();
        else if (line.contains("phase")) phases[line["object"].toInt()] << line["phase"].toString();
    }
    EXPECT_EQ(phases.count(3), 0u) << "hotkey 4 was never given";
    for (int object : {1, 2}) {
        SCOPED_TRACE(object);
        ASSERT_FALSE(phases[object].isEmpty());
        EXPECT_EQ(phases[object].first(), "shown");
        EXPECT_TRUE(phases[object].contains("out")) << phases[object].join(',').toStdString();
    }
    ASSERT_EQ(stoppedAt.size(), 2u);
    EXPECT_EQ(stoppedAt[1], stoppedAt[2]) << "the objects of one hotkey go out together";
}

namespace {

QJsonObject LastJsonLine(const QByteArray& out) {
    const QList<QByteArray> lines = out.trimmed().split('\n');
    return QJsonDocument::fromJson(lines.back()).object();
}

}  // namespace

TEST(Cvtool, TextPrintsTheSourceValueAndWritesTheStrip) {
    QTemporaryDir dir;
    WriteFile(dir.filePath("table.csv"), "Name;Score\r\nAnna;3\r\n\"Ben; Jr\";12\r\n");
    const QJsonArray objects{
        QJsonObject{{"Rect", QJsonArray{0, 0, 200, 60}}, {"TextSource", 5}, {"TimerStart", 60}, {"TimerStop", 0},
                    {"TimerDirection", 1}, {"TimerFormat", "%M:%S"}},
        QJsonObject{{"Rect", QJsonArray{0, 0, 600, 60}}, {"TextSource", 4}, {"FileName", dir.filePath("table.csv")},
                    {"FirstLineIsHeader", 1}},
        QJsonObject{{"Rect", QJsonArray{0, 0, 400, 60}}, {"Movement", 1}, {"StartFromEdge", 1},
                    {"RichText", "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\fs40 Breaking news\\par}"}},
    };
    WriteFile(dir.filePath("page.json"), QJsonDocument(QJsonObject{{"objects", objects}}).toJson());
    const QString page = dir.filePath("page.corvane");
    ASSERT_EQ(Cvtool({"build", dir.filePath("page.json"), page, "--mode", "0"}).exitCode, 0);

    struct Case {
        QStringList args;
        QJsonValue value;
    } cases[] = {
        {{"--object", "1"}, "01:00"},                     // not playing: the start
        {{"--object", "1", "--at-ms", "400"}, "01:00"},   // counting down shows the next whole second
        {{"--object", "1", "--at-ms", "1000"}, "00:59"},
        {{"--object", "2"}, QJsonArray{QJsonArray{"Anna", "3"}, QJsonArray{"Ben; Jr", "12"}}},
        {{"--object", "3"}, "Breaking news\n"},
    };
    for (const Case& c : cases) {
        const ToolRun run = Cvtool(QStringList{"text", page, "--mode", "0"} + c.args);
        ASSERT_EQ(run.exitCode, 0) << run.err.constData();
        const QJsonObject result = LastJsonLine(run.out);
        EXPECT_EQ(result.value("value"), c.value) << c.args.join(' ').toStdString();
        EXPECT_TRUE(result.value("done").toBool());
    }

    // The crawl's first strip: the text with the object's width of blank before it.
    const QString png = dir.filePath("strip.png");
    const ToolRun strip = Cvtool({"text", page, "--mode", "0", "--object", "3", "--out", png});
    ASSERT_EQ(strip.exitCode, 0) << strip.err.constData();
    const QJsonObject result = LastJsonLine(strip.out);
    const int width = result.value("usedWidth").toInt();
    EXPECT_GT(width, 400 + 100);
    QFile file(png);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray header = file.read(24);
    ASSERT_TRUE(header.startsWith("\x89PNG"));
    const auto be32 = [&](int at) {
        return (uint8_t(header[at]) << 24) | (uint8_t(header[at + 1]) << 16) | (uint8_t(header[at + 2]) << 8) |
               uint8_t(header[at + 3]);
    };
    EXPECT_EQ(int(be32(16)), result.value("width").toInt());
    EXPECT_EQ(int(be32(20)), result.value("height").toInt());

    // A still picture has the object's width and no lead-in.
    const QJsonObject still =
        LastJsonLine(Cvtool({"text", page, "--mode", "0", "--object", "3", "--still"}).out);
    EXPECT_EQ(still.value("width").toInt(), 400);

    // Errors: no such object, a source that cannot be read.
    EXPECT_NE(Cvtool({"text", page, "--mode", "0", "--object", "9"}).exitCode, 0);
    QFile::remove(dir.filePath("table.csv"));
    const ToolRun missing = Cvtool({"text", page, "--mode", "0", "--object", "2"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_FALSE(LastJsonLine(missing.out).value("sourceOk").toBool());
}

TEST(Cvtool, TimelineRunsTheTextStepAndWritesTheTextTexture) {
    QTemporaryDir dir;
    const QJsonArray objects{QJsonObject{
        {"Rect", QJsonArray{0, 0, 300, 50}}, {"Movement", 1}, {"Speed", 12}, {"Loop", 0},
        {"RichText", "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\fs40 A crawl across the screen, long enough to move for the whole of this test\\par}"}}};
    WriteFile(dir.filePath("page.json"), QJsonDocument(QJsonObject{{"objects", objects}}).toJson());
    const QString page = dir.filePath("page.corvane");
    ASSERT_EQ(Cvtool({"build", dir.filePath("page.json"), page, "--mode", "0"}).exitCode, 0);
    const QString frames = dir.filePath("frames");
    const ToolRun run = Cvtool({"timeline", page, "--mode", "0", "--frames", "20", "--out", frames});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    int chunks = 0, previousScrolled = -1, presented = 0;
    for (const QByteArray& line : run.out.trimmed().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.contains("chunk")) {
            ++chunks;
            EXPECT_TRUE(o.value("textPresent").toBool());
            EXPECT_GT(o.value("width").toInt(), 300);
            continue;
        }
        if (!o.contains("Scrolled")) continue;
        ++presented;
        const int scrolled = o.value("Scrolled").toInt();
        EXPECT_EQ(scrolled, previousScrolled < 0 ? 3 : previousScrolled + 3);  // speed 12: three a frame
        previousScrolled = scrolled;
        const QJsonArray window = o.value("TextWindow").toArray();
        EXPECT_FLOAT_EQ(float(window[0].toDouble()), float(scrolled % 450) / 450.0f);
    }
    EXPECT_EQ(chunks, 1);
    EXPECT_EQ(presented, 20);
    const QStringList written = QDir(frames).entryList({"*.png"}, QDir::Files, QDir::Name);
    ASSERT_EQ(written.size(), 20);
    EXPECT_EQ(written.first(), "object001-frame000000.png");
    EXPECT_EQ(written.last(), "object001-frame000019.png");
}

TEST(Cvtool, RenderWritesFramesThatMatchTheReference) {
    QTemporaryDir dir;
    const QString data = QString::fromLocal8Bit(qgetenv("CORVANE_TEST_DATA")) + "/render";
    const QString page = dir.filePath("page.corvane");
    ASSERT_EQ(Cvtool({"build", data + "/page.json", page, "--mode", "8"}).exitCode, 0);
    const QString out = dir.filePath("frames");
    const ToolRun run = Cvtool({"render", page, "--mode", "8", "--to-ms", "600", "--every", "30", "--out", out, "--trace"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(QDir(out).entryList({"*.png"}, QDir::Files, QDir::Name),
              (QStringList{"frame000000.png", "frame000030.png"}));
    // The trace: one line per object and frame, the crawl moving once shown.
    int lines = 0, crawlMoved = 0;
    for (const QByteArray& line : run.out.trimmed().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        ASSERT_TRUE(o.contains("phase")) << line.constData();
        ++lines;
        if (o.value("object").toInt() == 4 && o.value("Scrolled").toInt() > 0) ++crawlMoved;
    }
    EXPECT_EQ(lines, 31 * 5);
    EXPECT_GE(crawlMoved, 25);
    // The composed picture within two levels of the reference, channel by channel.
    const QImage got(out + "/frame000030.png");
    const QImage want(data + "/frame000030.png");
    ASSERT_EQ(got.size(), want.size());
    ASSERT_EQ(got.size(), QSize(720, 576));
    int worst = 0;
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x) {
            const QRgb a = got.pixel(x, y), b = want.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
        }
    EXPECT_LE(worst, 2);
    // The keyer's signal: opaque, luma in the limited band of the full-range output.
    const QString packed = dir.filePath("packed");
    ASSERT_EQ(Cvtool({"render", page, "--mode", "8", "--to-ms", "0", "--output", "ycbcra-full", "--out", packed}).exitCode,
              0);
    const QImage signal(packed + "/frame000000.png");
    ASSERT_FALSE(signal.isNull());
    EXPECT_EQ(qAlpha(signal.pixel(700, 560)), 255);
    EXPECT_EQ(qRed(signal.pixel(700, 560)), 16);  // nothing there: black, no key
    EXPECT_EQ(qBlue(signal.pixel(700, 560)), 16);
}

TEST(Cvtool, RenderReportsTheTimeOfEveryFramePhase) {
    // The engine's figures at the end of a run: on standard error as JSON, and in
    // the log's statistics line (Debug/Log 2). Times are the machine's own: only
    // their shape and their agreement are checked.
    QTemporaryDir dir;
    const QString data = QString::fromLocal8Bit(qgetenv("CORVANE_TEST_DATA")) + "/render";
    const QString page = dir.filePath("page.corvane");
    ASSERT_EQ(Cvtool({"build", data + "/page.json", page, "--mode", "8"}).exitCode, 0);
    ASSERT_TRUE(QDir().mkpath(dir.filePath("config/Norvik")));
    ASSERT_TRUE(QDir().mkpath(dir.filePath("home/Documents")));
    WriteFile(dir.filePath("config/Norvik/Corvane.ini"), "[Debug]\nLog=2\n");
    // Frames at 0, 20, ... 200 ms.
    const ToolRun run = Cvtool({"render", page, "--mode", "8", "--to-ms", "200", "--every", "100", "--out",
                                dir.filePath("frames")},
                               dir.filePath("config"), dir.filePath("home"));
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QByteArray prefix = "cvtool render: rendered ";
    QByteArray report;
    for (const QByteArray& line : run.err.split('\n'))
        if (line.startsWith(prefix)) report = line;
    ASSERT_FALSE(report.isEmpty()) << run.err.constData();
    EXPECT_EQ(report.mid(prefix.size()).split(' ').first().toInt(), 11) << report.constData();
    const QJsonObject phases = QJsonDocument::fromJson(report.mid(report.indexOf('{'))).object();
    const QStringList names{"collect", "damage", "upload", "compose", "output", "present"};
    EXPECT_EQ(phases.size(), names.size()) << report.constData();

    QFile logFile(dir.filePath("home/Documents/cvtool.log"));
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    const QByteArray bytes = logFile.readAll();
    const QString log = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    const qsizetype at = log.indexOf(QStringLiteral("rendered 11 frames in "));
    ASSERT_GE(at, 0) << log.toStdString();
    const QString statistics = log.mid(at, log.indexOf(u'\r', at) - at);
    const qsizetype figures = statistics.indexOf(QStringLiteral("min/mean/max msec: "));
    ASSERT_GE(figures, 0) << statistics.toStdString();
    const QStringList parts = statistics.mid(figures + 19).split(QStringLiteral(", "));
    ASSERT_EQ(parts.size(), names.size()) << statistics.toStdString();
    for (qsizetype k = 0; k < names.size(); ++k) {
        SCOPED_TRACE(names[k].toStdString());
        // "collect 0.012/0.034/0.056": the phase's name, then its three figures.
        const QStringList words = parts[k].split(u' ');
        ASSERT_EQ(words.size(), 2) << parts[k].toStdString();
        EXPECT_EQ(words[0], names[k]);
        const QStringList logged = words[1].split(u'/');
        ASSERT_EQ(logged.size(), 3) << parts[k].toStdString();
        const QJsonObject printed = phases.value(names[k]).toObject();
        const double min = printed.value("minMs").toDouble(), mean = printed.value("meanMs").toDouble(),
                     max = printed.value("maxMs").toDouble();
        EXPECT_GE(min, 0.0);
        EXPECT_LE(min, mean);
        EXPECT_LE(mean, max);
        // The log rounds to microseconds.
        EXPECT_NEAR(logged[0].toDouble(), min, 0.0005);
        EXPECT_NEAR(logged[1].toDouble(), mean, 0.0005);
        EXPECT_NEAR(logged[2].toDouble(), max, 0.0005);
    }
}

namespace {

// A script written from a description shows its actions as the editor's list does.
TEST(Cvtool, ScriptsAreWrittenFromADescriptionAndShown) {
    QTemporaryDir dir;
    WriteFile(dir.filePath("s.json"), R"({"loop": true, "items": [
        {"type": 0, "sdata": "pages/Opening.corvane"}, {"type": 2, "sdata": "lower third"},
        {"type": 8, "idata": 90}, {"type": 4}, {"type": 9, "idata": 45000}]})");
    const QString script = dir.filePath("show.script");
    ToolRun write = Cvtool({"script", "write", dir.filePath("s.json"), script});
    ASSERT_EQ(write.exitCode, 0) << write.err.constData();
    ToolRun show = Cvtool({"script", "show", script});
    ASSERT_EQ(show.exitCode, 0) << show.err.constData();
    const QJsonObject shown = QJsonDocument::fromJson(show.out).object();
    EXPECT_EQ(shown["name"].toString(), "show");
    EXPECT_TRUE(shown["loop"].toBool());
    const QJsonArray items = shown["items"].toArray();
    const struct {
        const char* text;
        const char* time;
    } expected[] = {{"Load page file: Opening", ""}, {"Play objects group: lower third", ""}, {"Wait 90 seconds", ""},
                    {"End all objects", "1:30"}, {"Wait until 12:30:00", ""}};
    ASSERT_EQ(items.size(), qsizetype(std::size(expected)));
    for (qsizetype k = 0; k < items.size(); ++k) {
        EXPECT_EQ(items[k].toObject()["text"].toString(), QString::fromUtf8(expected[k].text)) << k;
        EXPECT_EQ(items[k].toObject()["time"].toString(), QString::fromUtf8(expected[k].time)) << k;
    }
    EXPECT_EQ(items[0].toObject()["sdata"].toString(), dir.filePath("pages/Opening.corvane"));

    for (const auto& [json, error] : {std::pair{"[1]", "must be a JSON object"},
                                      std::pair{"{\"items\": {}}", "an array is expected"},
                                      std::pair{"{\"items\": [{\"type\": 10}]}", "action kind 0 to 9"},
                                      std::pair{"{\"items\": [{\"type\": 8, \"idata\": -1}]}", "whole number"}}) {
        SCOPED_TRACE(json);
        WriteFile(dir.filePath("bad.json"), json);
        ToolRun run = Cvtool({"script", "write", dir.filePath("bad.json"), dir.filePath("bad.script")});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(error)) << run.err.constData();
        EXPECT_FALSE(QFile::exists(dir.filePath("bad.script")));
    }
    ToolRun missing = Cvtool({"script", "show", dir.filePath("none.script")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("none.script"));
}

// The schedule as the automation list shows it, with when each entry is next due.
TEST(Cvtool, ScheduleListsTriggersAndTheNextDueTime) {
    QTemporaryDir config;
    const QString home = config.path();
    const char* settings[][3] = {
        {"ScriptAction", "Total", "4"},    {"Item_0", "File", "/srv/s/opening.script"},
        {"Item_1", "File", "/srv/s/news.script"}, {"Item_1", "PlayOnTime", "1"}, {"Item_1", "Weekdays", "31"},
        {"Item_1", "Hour", "7"},           {"Item_1", "Minute", "30"},           {"Item_1", "Hotkey", "4"},
        {"Item_2", "File", "/srv/s/late.script"}, {"Item_2", "Remote", "4"},  {"Item_2", "Hotkey", "11"},
        {"Item_3", "PlayOnTime", "1"},     {"Item_3", "PlayOnce", "1"},          {"Item_3", "Year", "2026"},
        {"Item_3", "Month", "12"},         {"Item_3", "Day", "24"},              {"Item_3", "Hour", "18"},
        {"View", "UseRemote", "1"},
    };
    for (const auto& s : settings) ASSERT_EQ(Cvtool({"settings", s[0], s[1], s[2]}, home).exitCode, 0) << s[0] << s[1];
    // Friday 2026-12-11 at noon: the weekday entry is next due on Monday.
    const ToolRun run = Cvtool({"schedule", "--now", "2026-12-11T12:00:00"}, home);
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QJsonArray entries = QJsonDocument::fromJson(run.out).array();
    const struct {
        const char* trigger;
        const char* script;
        QJsonValue next;
    } expected[] = {
        {"on startup", "opening", QJsonValue()},
        {"[07:30:00][12345--], [Ctrl+3]", "news", "2026-12-14T07:30:00"},
        {"[Alt+0], [Button #4]", "late", QJsonValue()},
        {"[18:00:00][24.12.2026]", "", "2026-12-24T18:00:00"},
    };
    ASSERT_EQ(entries.size(), qsizetype(std::size(expected))) << run.out.constData();
    for (qsizetype k = 0; k < entries.size(); ++k) {
        const QJsonObject e = entries[k].toObject();
        EXPECT_EQ(e["trigger"].toString(), QString::fromUtf8(expected[k].trigger)) << k;
        EXPECT_EQ(e["script"].toString(), QString::fromUtf8(expected[k].script)) << k;
        EXPECT_EQ(e["next"], expected[k].next) << k;
    }
    const ToolRun bad = Cvtool({"schedule", "--now", "noon"}, home);
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.err.contains("noon")) << bad.err.constData();
}

}  // namespace

namespace {

// The runner steps on the virtual clock at 200 ms ticks, so what a script does to
// the page is the same at every run.
TEST(Cvtool, RenderRunsAScriptOnTheVirtualClock) {
    QTemporaryDir dir;
    WriteFile(dir.filePath("p1.json"),
              R"({"objects":[{"Group":"News","Rect":[10,10,200,60],"BackColor":"#FF2040A0","ShowIndefinitely":1,
                  "OutEffectDuration":400,"FadeOut":1},
                 {"Group":"Other","Rect":[10,100,200,160],"BackColor":"#FF808080","ShowIndefinitely":1}]})");
    WriteFile(dir.filePath("p2.json"), R"({"objects":[{"Rect":[300,300,500,400],"BackColor":"#FFA02020","ShowIndefinitely":1}]})");
    for (const char* name : {"p1", "p2"})
        ASSERT_EQ(Cvtool({"build", dir.filePath(QString(name) + ".json"), dir.filePath(QString(name) + ".corvane"), "--mode", "8"})
                      .exitCode,
                  0);
    WriteFile(dir.filePath("s.json"), R"({"items":[{"type":2,"sdata":"News"},{"type":8,"idata":1},{"type":4,"sdata":"News"},
        {"type":7,"sdata":"News"},{"type":0,"sdata":"p2.corvane"},{"type":2}]})");
    ASSERT_EQ(Cvtool({"script", "write", dir.filePath("s.json"), dir.filePath("s.script")}).exitCode, 0);
    const ToolRun run = Cvtool({"render", dir.filePath("p1.corvane"), "--mode", "8", "--script", dir.filePath("s.script"),
                                "--to-ms", "2400", "--every", "1000", "--out", dir.filePath("frames"), "--trace"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    std::vector<std::pair<int, int>> steps;  // (time, step)
    for (const QByteArray& text : run.out.split('\n')) {
        const QJsonObject line = QJsonDocument::fromJson(text).object();
        if (line.contains("scriptStep")) steps.emplace_back(line["timeMs"].toInt(), line["scriptStep"].toInt());
    }
    // Play News at once; a second's wait; end News; wait for its 400 ms out effect
    // (released at the first tick after it); load the next page and play it.
    EXPECT_EQ(steps, (std::vector<std::pair<int, int>>{{0, 1}, {1000, 2}, {1000, 3}, {1600, 4}, {1600, 5}, {1600, 6}}));

    const ToolRun missing = Cvtool({"render", dir.filePath("p1.corvane"), "--mode", "8", "--script", dir.filePath("none.script"),
                                    "--out", dir.filePath("frames")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("none.script"));
}

}  // namespace

namespace {

// Copies a folder's files (not its subfolders) into another.
void CopyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files)) ASSERT_TRUE(QFile::copy(from + '/' + name, to + '/' + name)) << name.toStdString();
}

// The demo page of the main job builds, its logo animation from the picture files.
TEST(Cvtool, TheDemoPageBuildsWithItsLogoAnimation) {
    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("sample.corvane"));
    const ToolRun build = Cvtool({"build", QStringLiteral(CORVANE_RESOURCES "/samples/lower-third.json"), page, "--mode", "0"});
    ASSERT_EQ(build.exitCode, 0) << build.err.constData();
    const ToolRun info = Cvtool({"info", page, "--mode", "0"});
    ASSERT_EQ(info.exitCode, 0) << info.err.constData();
    const QJsonArray objects = QJsonDocument::fromJson(info.out).object()["objects"].toArray();
    ASSERT_FALSE(objects.isEmpty());
    const QJsonObject logo = objects.last().toObject();
    EXPECT_EQ(logo["Group"].toString(), QStringLiteral("Logo"));
    EXPECT_EQ(logo["LoopAnimation"].toInt(), 1);
    const QJsonArray frames = logo["Frames"].toArray();
    ASSERT_EQ(frames.size(), 12) << "one frame per picture file of the sequence";
    for (const QJsonValue& frame : frames) {
        EXPECT_EQ(frame.toObject()["delay"].toInt(), 80) << "the delay given for each file's frames";
        EXPECT_EQ(frame.toObject()["width"].toInt(), 160);
    }
}

// The example plug-ins load, every element finds what it names, and their pages
// build from their descriptions.
TEST(Cvtool, ExamplePluginsLoadAndTheirPagesBuild) {
    const struct {
        const char* folder;
        const char* definition;
        QStringList pages;
    } examples[] = {
        {"football", "Football.plugin", {"scoreboard", "scorer", "fulltime"}},
        {"lowerthird", "LowerThirds.plugin", {"lowerthird", "strap"}},
    };
    for (const auto& example : examples) {
        SCOPED_TRACE(example.folder);
        QTemporaryDir dir;
        CopyFolder(QStringLiteral(CORVANE_RESOURCES "/plugins/") + example.folder, dir.path());
        const ToolRun load = Cvtool({"plugin", "load", dir.filePath(example.definition)});
        ASSERT_EQ(load.exitCode, 0) << load.err.constData();
        const QJsonObject plugin = QJsonDocument::fromJson(load.out).object();
        EXPECT_TRUE(plugin["valid"].toBool());
        QStringList pages;
        for (const QJsonValue& page : plugin["pages"].toArray()) pages << page.toObject()["id"].toString();
        EXPECT_EQ(pages, example.pages);
        for (const QJsonValue& value : plugin["elements"].toArray()) {
            const QJsonObject e = value.toObject();
            if (e["type"].toString() == "static" || e["action"].toString() == "dataEditor") continue;
            for (const char* reference : {"data", "variable", "selector", "page"}) {
                if (e.contains(reference)) {
                    EXPECT_TRUE(e[reference].isString()) << "element " << e["index"].toInt();
                }
            }
        }
        for (const QString& page : example.pages) {
            const ToolRun build = Cvtool({"build", dir.filePath(page + ".json"), dir.filePath(page + ".corvane"), "--mode", "1"});
            EXPECT_EQ(build.exitCode, 0) << build.err.constData();
            EXPECT_TRUE(QFile::exists(dir.filePath(page + ".corvane")));
        }
    }
}

QByteArray Utf16File(const QString& text) {
    QByteArray bytes("\xff\xfe", 2);
    for (QChar c : text) bytes.append(char(c.unicode() & 0xff)).append(char(c.unicode() >> 8));
    return bytes;
}

QByteArray ReadAllOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST(Cvtool, PluginActionsPrintTheirCommandsAndFiles) {
    QTemporaryDir dir;
    CopyFolder(QStringLiteral(CORVANE_RESOURCES "/plugins/football"), dir.path());
    WriteFile(dir.filePath("table.squad.9.9.txt"), "stale");
    const ToolRun run = Cvtool({"plugin", "act", dir.filePath("Football.plugin"), "F1", "6", "Scoreboard", "Full time",
                                "Full time", "select:scorer=1", "text:away=City", "status:scoreboard=0"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QJsonObject result = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(result["start"].toObject()["deleted"].toArray(), QJsonArray{"table.squad.9.9.txt"});
    EXPECT_TRUE(result["start"].toObject()["written"].toArray().contains("table.squad.5.3.txt"));
    const QJsonArray steps = result["steps"].toArray();
    ASSERT_EQ(steps.size(), 8);
    auto written = [&](int k) {
        QStringList names;
        for (const QJsonValue& v : steps[k].toObject()["written"].toArray()) names << v.toString();
        return names;
    };
    auto commands = [&](int k) {
        QStringList list;
        for (const QJsonValue& v : steps[k].toObject()["commands"].toArray()) {
            const QJsonObject c = v.toObject();
            list << (c.contains("show") ? "show " + c["show"].toString() : "hide " + c["hide"].toString());
        }
        return list;
    };
    EXPECT_EQ(written(0), (QStringList{"var.homescore.txt", "Football.state"}));
    EXPECT_EQ(written(1), (QStringList{"var.homescore.txt", "Football.state"}));  // element 6: home +1
    EXPECT_EQ(commands(2), QStringList{"show scoreboard"});
    EXPECT_EQ(commands(3), (QStringList{"hide scoreboard", "hide scorer", "show fulltime"}));
    EXPECT_EQ(commands(4), (QStringList{"hide fulltime", "show scoreboard"}));
    EXPECT_EQ(written(5), (QStringList{"selector.scorer.1.txt", "selector.scorer.2.txt", "selector.scorer.3.txt", "Football.state"}));
    EXPECT_EQ(written(6), (QStringList{"text.away.txt", "Football.state"}));
    EXPECT_EQ(result["values"].toObject()["var.homescore"].toInt(), 2);
    EXPECT_EQ(result["playing"].toObject()["scoreboard"].toBool(), false);
    EXPECT_EQ(ReadAllOf(dir.filePath("var.homescore.txt")), Utf16File("2"));
    EXPECT_EQ(ReadAllOf(dir.filePath("selector.scorer.2.txt")), Utf16File("B. Striker"));
    EXPECT_EQ(ReadAllOf(dir.filePath("text.away.txt")), Utf16File("City"));
    EXPECT_TRUE(ReadAllOf(dir.filePath("Football.state")).contains("<data id=\"squad\" value=\"+squad.csv\" />"));

    // Arguments that name nothing are refused before anything runs.
    for (const auto& [arg, error] : {std::pair{"Penalty", "no button or page element has this caption"},
                                     std::pair{"99", "elements 0 to"}, std::pair{"select:nobody=1", "names a selector"},
                                     std::pair{"text:squad=x", "names a text item"},
                                     std::pair{"status:scoreboard=2", "names a page"}}) {
        SCOPED_TRACE(arg);
        const QByteArray before = ReadAllOf(dir.filePath("Football.state"));
        const ToolRun bad = Cvtool({"plugin", "act", dir.filePath("Football.plugin"), "F1", arg});
        EXPECT_EQ(bad.exitCode, 1);
        EXPECT_TRUE(bad.err.contains(error)) << bad.err.constData();
        EXPECT_EQ(ReadAllOf(dir.filePath("Football.state")), before);
    }
    const ToolRun missing = Cvtool({"plugin", "load", dir.filePath("none.plugin")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("cannot be opened")) << missing.err.constData();
    WriteFile(dir.filePath("Bare.plugin"), "<config><data><text id=\"t\"/></data></config>");
    const ToolRun bare = Cvtool({"plugin", "load", dir.filePath("Bare.plugin")});
    EXPECT_EQ(bare.exitCode, 1);
    EXPECT_FALSE(QJsonDocument::fromJson(bare.out).object()["valid"].toBool());
    EXPECT_TRUE(bare.err.contains("no page")) << bare.err.constData();
    EXPECT_EQ(Cvtool({"plugin", "act"}).exitCode, 2);
}

}  // namespace
