// cvtool: page files from the command line. Prints JSON on standard output; errors
// go to standard error with a non-zero exit code.
#include "app/MainDoc.h"
#include "base/NonStdioFile.h"
#include "base/SafeFile.h"
#include "base/Settings.h"
#include "base/Translate.h"
#include "core/PageFile.h"
#include "output/RenderWindow.h"
#include "core/VideoModes.h"
#include "playback/Import.h"
#include "playback/TextMovement.h"
#include "playback/TextSource.h"
#include "tools/PageJson.h"
#include "tools/PluginCommand.h"
#include "tools/DisplaysCommand.h"
#include "tools/OutputCommand.h"
#include "tools/RenderCommand.h"
#include "tools/ScriptCommand.h"
#include "tools/SwitcherCommand.h"
#include "tools/ControlCommand.h"
#include "tools/SwitcherPeerCommand.h"
#include "tools/TextCommand.h"
#include "tools/TimelineCommand.h"

#include <QGuiApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonArray>
#include <cstdio>

namespace {

// Logical pixels per inch assumed without a screen to ask.
constexpr int DefaultDpi = 96;

// The tool as the document's host: no views, no progress window.
class ToolHost : public IDocumentHost {
public:
    void UpdateViews(int) override {}
};

int Import(QStringList args, int mode, CStandardErrorPresenter& presenter) {
    const qsizetype k = args.indexOf(QStringLiteral("--sequence"));
    if (k >= 0) {
        if (k + 1 >= args.size() || (args[k + 1] != QLatin1String("yes") && args[k + 1] != QLatin1String("no"))) {
            std::fprintf(stderr, "cvtool import: --sequence takes yes or no\n");
            return 2;
        }
        presenter.Answer = args[k + 1] == QLatin1String("yes") ? IdYes : IdNo;
        args.remove(k, 2);
    }
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: cvtool import FILE OUT.corvane [--sequence yes|no] [--mode N]\n");
        return 2;
    }
    ToolHost host;
    CMainDoc document(host, mode, DefaultDpi);
    if (!document.ImportPictureObject(QFileInfo(args[0]).absoluteFilePath())) return 1;
    return document.Save(QFileInfo(args[1]).absoluteFilePath()) ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: cvtool info PAGE [--mode N]\n"
                 "       cvtool build PAGE.json OUT [--mode N]\n"
                 "       cvtool import FILE OUT.corvane [--sequence yes|no] [--mode N]\n"
                 "       cvtool timeline PAGE [--object N] [--frames N] [--period-us P] [--at-ms T:COMMAND:TARGET ...]\n"
                 "                [--out DIR]\n"
                 "       cvtool text PAGE --object N [--still] [--at-ms T] [--out FILE.png]\n"
                 "       cvtool render PAGE [--to-ms T] [--every K] [--at-ms T:COMMAND:TARGET ...]\n"
                 "                [--output rgba|plain|ycbcra-full|ycbcra-limited] [--scale N] [--script FILE] --out DIR [--trace]\n"
                 "       cvtool displays [--mode N]\n"
                 "       cvtool output PAGE [--seconds S] [--preview] [--mode N]\n"
                 "       cvtool textfile FILE [--encoding N]\n"
                 "       cvtool settings [SECTION [KEY [VALUE]]]\n"
                 "       cvtool strings [--language N] [--pack FILE] [ID...]\n"
                 "       cvtool script show FILE | cvtool script write SPEC.json OUT\n"
                 "       cvtool schedule [--now YYYY-MM-DDTHH:MM:SS]\n"
                 "       cvtool plugin load DEF.plugin | cvtool plugin act DEF.plugin ELEMENT...\n"
                 "       cvtool switcher PAGE --ip ADDR [--port P] [--seconds S] [--mode N]\n"
                 "       cvtool switcher-peer [--port P]\n"
                 "       cvtool control URL [--token T] VERB ... (cvtool control for the verbs)\n"
                 "--mode N: video mode index 0..12 (default: the setting Preferences/Mode)\n"
                 "--encoding N: 0 Auto, 1 ANSI/OEM, 2 UTF-16LE, 3 UTF-16BE, 4 UTF-8 (default 0)\n"
                 "--language N: 0 English, 1..10 a translation of the pack, -1 by the user's language\n"
                 "              (default: the setting Language/ID)\n");
    return 2;
}

void Print(const QJsonDocument& document) {
    std::fputs(document.toJson(QJsonDocument::Indented).constData(), stdout);
}

// Takes "--name VALUE" out of args; returns false when the value is not an integer.
bool TakeIntOption(QStringList& args, const QString& name, int& value, bool& given) {
    given = false;
    const qsizetype k = args.indexOf(name);
    if (k < 0) return true;
    bool ok = false;
    value = k + 1 < args.size() ? args[k + 1].toInt(&ok) : 0;
    if (!ok) return false;
    args.remove(k, 2);
    given = true;
    return true;
}

int TextFile(const QString& path, int encoding) {
    CNonStdioFile reader;
    if (!reader.OpenText(path, encoding)) {
        std::fprintf(stderr, "cvtool: cannot open %s: %s\n", qUtf8Printable(path), FileRefusalText(reader.Refusal()));
        return 1;
    }
    QJsonArray lines;
    QString line;
    while (reader.ReadLine(line)) lines.append(line);
    if (reader.Capped())
        std::fprintf(stderr, "cvtool: warning: %s is larger than %lld bytes: only its beginning was read\n",
                     qUtf8Printable(path), static_cast<long long>(CNonStdioFile::MaxBytes));
    Print(QJsonDocument(lines));
    return 0;
}

QJsonValue SettingValue(const CSettingsStore& store, const QString& section, const QString& key) {
    const SettingKey* known = Settings::Find(section, key);
    if (known && known->isString) return store.GetString(section, key, QString::fromUtf8(known->stringDefault));
    if (known && !store.Contains(section, key)) {
        // A default that depends on the machine has no fixed value to show.
        if (known->computedDefault) return QJsonValue::Null;
        return known->intDefault;
    }
    const QString text = store.GetString(section, key, QString());
    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    return isNumber ? QJsonValue(number) : QJsonValue(text);
}

int SettingsCommand(const QStringList& args) {
    CSettingsStore& store = CSettingsStore::Global();
    for (const QString& problem : store.Problems())
        std::fprintf(stderr, "cvtool: warning: %s: %s\n", qUtf8Printable(store.Path()), qUtf8Printable(problem));
    if (args.isEmpty()) {
        // Every key of the table with its value or default, and any other stored key.
        QMap<QString, QJsonObject> sections;
        for (const SettingKey* key : Settings::All()) {
            for (InstanceKind kind : {InstanceKind::Main, InstanceKind::Editor}) {
                const QString section = key->Section(kind);
                sections[section].insert(QString::fromLatin1(key->key), SettingValue(store, section, QString::fromLatin1(key->key)));
            }
        }
        for (const QString& section : store.Sections())
            for (const QString& key : store.Keys(section)) sections[section].insert(key, SettingValue(store, section, key));
        QJsonObject all;
        for (auto it = sections.begin(); it != sections.end(); ++it) all.insert(it.key(), it.value());
        Print(QJsonDocument(all));
        return 0;
    }
    if (args.size() == 1) {
        QJsonObject section;
        for (const SettingKey* key : Settings::All())
            if (key->Section(InstanceKind::Main) == args[0] || key->Section(InstanceKind::Editor) == args[0])
                section.insert(QString::fromLatin1(key->key), SettingValue(store, args[0], QString::fromLatin1(key->key)));
        for (const QString& key : store.Keys(args[0])) section.insert(key, SettingValue(store, args[0], key));
        Print(QJsonDocument(section));
        return 0;
    }
    if (args.size() == 2) {
        const QJsonValue value = SettingValue(store, args[0], args[1]);
        std::printf("%s\n", value.isString() ? qUtf8Printable(value.toString())
                           : value.isNull() ? "" : qUtf8Printable(QString::number(value.toInt())));
        return 0;
    }
    if (args.size() != 3) return Usage();
    const SettingKey* known = Settings::Find(args[0], args[1]);
    bool isNumber = false;
    const int number = args[2].toInt(&isNumber);
    if (known && !known->isString && !isNumber) {
        std::fprintf(stderr, "cvtool: %s/%s takes an integer\n", qUtf8Printable(args[0]), qUtf8Printable(args[1]));
        return 1;
    }
    if (known && !known->isString && !known->InRange(number)) {
        std::fprintf(stderr, "cvtool: %s/%s takes an integer from %d to %d\n", qUtf8Printable(args[0]),
                     qUtf8Printable(args[1]), known->minimum, known->maximum);
        return 1;
    }
    const bool written = (known && known->isString) || !isNumber ? store.WriteString(args[0], args[1], args[2])
                                                                 : store.WriteInt(args[0], args[1], number);
    if (!written) {
        std::fprintf(stderr, "cvtool: cannot write %s\n", qUtf8Printable(store.Path()));
        return 1;
    }
    return 0;
}

int Strings(QStringList args) {
    int language = CSettingsStore::Global().Get(Settings::LanguageId);
    bool given = false;
    if (!TakeIntOption(args, QStringLiteral("--language"), language, given)) return Usage();
    CTranslate& translate = CTranslate::Global();
    const qsizetype pack = args.indexOf(QStringLiteral("--pack"));
    if (pack >= 0) {
        if (pack + 1 >= args.size()) return Usage();
        if (!translate.LoadLanguagePack(args[pack + 1])) {
            std::fprintf(stderr, "cvtool: cannot read the language pack %s\n", qUtf8Printable(args[pack + 1]));
            return 1;
        }
        args.remove(pack, 2);
    } else {
        translate.LoadLanguagePack();
    }
    translate.SelectLanguage(language);
    QList<unsigned> ids;
    for (const QString& arg : args) {
        bool ok = false;
        const unsigned id = arg.toUInt(&ok);
        if (!ok) return Usage();
        ids << id;
    }
    if (ids.isEmpty()) ids = CTranslate::BuiltInIds();
    QJsonObject texts;
    for (unsigned id : ids) {
        bool found = false;
        const QString text = translate.LoadText(id, &found);
        texts.insert(QString::number(id), found ? QJsonValue(text) : QJsonValue::Null);
    }
    QJsonObject result{{QStringLiteral("language"), translate.CurrentLanguage()},
                       {QStringLiteral("name"), translate.GetLanguageName(translate.CurrentLanguage())},
                       {QStringLiteral("texts"), texts}};
    Print(QJsonDocument(result));
    return 0;
}

int DefaultMode() { return CSettingsStore::Global().Get(Settings::Mode); }

int Info(const QString& path, int mode) {
    std::vector<std::unique_ptr<CFrame>> objects;
    if (!PageFile::ReadPage(path, mode, DefaultDpi, objects)) return 1;
    PageHeader header;
    PageFile::ReadHeader(path, header);
    Print(QJsonDocument(PageJson::Describe(header, objects)));
    return 0;
}

int Build(const QString& descriptionPath, const QString& out, int mode) {
    // Far above any description; the pictures it names are read by the importer.
    constexpr qint64 MaxDescriptionBytes = 64ll * 1024 * 1024;
    QByteArray bytes;
    if (const FileRefusal refusal = SafeFile::ReadAll(descriptionPath, MaxDescriptionBytes, bytes);
        refusal != FileRefusal::None) {
        std::fprintf(stderr, "cvtool: cannot read %s: %s\n", qUtf8Printable(descriptionPath), FileRefusalText(refusal));
        return 1;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (document.isNull()) {
        std::fprintf(stderr, "cvtool: %s: invalid JSON (%s at byte %d)\n", qUtf8Printable(descriptionPath),
                     qUtf8Printable(parseError.errorString()), int(parseError.offset));
        return 1;
    }
    if (!document.isObject()) {
        std::fprintf(stderr, "cvtool: %s: the description must be a JSON object {\"objects\": [...]}, not an array\n",
                     qUtf8Printable(descriptionPath));
        return 1;
    }
    PageJson::BuiltPage page;
    QString error;
    const QString outPath = QFileInfo(out).absoluteFilePath();
    if (!PageJson::Build(document.object(), mode, QFileInfo(descriptionPath).absolutePath(), QFileInfo(outPath).absolutePath(),
                         page, error)) {
        std::fprintf(stderr, "cvtool: %s: %s\n", qUtf8Printable(descriptionPath), qUtf8Printable(error));
        return 1;
    }
    std::vector<const CFrame*> objects;
    for (const auto& frame : page.objects) {
        // A source object described without rich text gets the template a new
        // object gets when its properties are applied.
        const QByteArray made = TextSource::DefaultTemplate(*frame);
        if (!made.isEmpty()) frame->RichText = made;
        objects.push_back(frame.get());
    }
    return PageFile::WritePage(outPath, mode, DefaultDpi, objects, page.canvas.IsEmpty() ? nullptr : &page.canvas) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // Text layout needs fonts, hence a GUI application; the tool never shows a
    // window, so it needs no display either.
    // Only the live output shows windows; every other command runs without a display.
    const bool live = argc > 1 && qstrcmp(argv[1], "output") == 0;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !(live && qEnvironmentVariableIsSet("DISPLAY")))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (live) CWindowTarget::KeepDriverLoaded();
    QGuiApplication app(argc, argv);
    CStandardErrorPresenter presenter;
    presenter.Answer = IdYes;  // import asks about numbered sequences; --sequence decides
    CTranslate::Global().SetPresenter(&presenter);

    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) return Usage();
    const QString command = args.takeFirst();
    if (command == QLatin1String("settings")) return SettingsCommand(args);
    if (command == QLatin1String("script")) return ScriptCommand(args);
    if (command == QLatin1String("schedule")) return ScheduleCommand(args);
    if (command == QLatin1String("plugin")) return PluginCommand(args);
    if (command == QLatin1String("switcher-peer")) return SwitcherPeerCommand(args);
    if (command == QLatin1String("control")) return ControlCommand(args);
    if (command == QLatin1String("strings")) return Strings(args);
    if (command == QLatin1String("textfile")) {
        int encoding = 0;
        bool given = false;
        if (!TakeIntOption(args, QStringLiteral("--encoding"), encoding, given) || encoding < 0 || encoding > 4 ||
            args.size() != 1)
            return Usage();
        return TextFile(args[0], encoding);
    }
    int mode = -1;
    for (qsizetype k = 0; k < args.size(); ++k) {
        if (args[k] != QLatin1String("--mode")) continue;
        bool ok = false;
        mode = k + 1 < args.size() ? args[k + 1].toInt(&ok) : -1;
        if (!ok || mode < 0 || mode >= VideoModes::Count) {
            std::fprintf(stderr, "cvtool: --mode takes a video mode index 0..12\n");
            return 2;
        }
        args.remove(k, 2);
        break;
    }
    if (mode < 0) mode = DefaultMode();
    if (command == QLatin1String("timeline")) return TimelineCommand(args, mode);
    if (command == QLatin1String("text")) return TextCommand(args, mode);
    if (command == QLatin1String("render")) return RenderCommand(args, mode);
    if (command == QLatin1String("displays")) return DisplaysCommand(args, mode);
    if (command == QLatin1String("output")) return OutputCommand(args, mode);
    if (command == QLatin1String("switcher")) return SwitcherCommand(args, mode);
    if (command == QLatin1String("import")) return Import(args, mode, presenter);
    if (args.size() == 1 && command == QLatin1String("info")) return Info(args[0], mode);
    if (args.size() == 2 && command == QLatin1String("build")) return Build(args[0], args[1], mode);
    return Usage();
}
