// cvtool: page files from the command line. Prints JSON on standard output; errors
// go to standard error with a non-zero exit code.
#include "app/Translate.h"
#include "core/PageFile.h"
#include "output/VideoModes.h"
#include "tools/PageJson.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSettings>
#include <cstdio>

namespace {

// Logical pixels per inch assumed without a screen to ask.
constexpr int DefaultDpi = 96;

class StandardErrorPresenter : public IMessagePresenter {
public:
    int Show(const QString& text, unsigned) override {
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
        return IdOk;
    }
};

int Usage() {
    std::fprintf(stderr,
                 "usage: cvtool info PAGE [--mode N]\n"
                 "       cvtool build SPEC.json OUT [--mode N]\n"
                 "--mode N: video mode index 0..12 (default: the setting Preferences/Mode)\n");
    return 2;
}

int DefaultMode() {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Norvik"), QStringLiteral("Corvane"));
    return settings.value(QStringLiteral("Preferences/Mode"), 0).toInt();
}

int Info(const QString& path, int mode) {
    std::vector<std::unique_ptr<CFrame>> objects;
    if (!PageFile::ReadPage(path, mode, DefaultDpi, objects)) return 1;
    PageHeader header;
    PageFile::ReadHeader(path, header);
    const QJsonObject description = PageJson::Describe(header, objects);
    std::fputs(QJsonDocument(description).toJson(QJsonDocument::Indented).constData(), stdout);
    return 0;
}

int Build(const QString& specPath, const QString& out, int mode) {
    QFile file(specPath);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cvtool: cannot open %s\n", qUtf8Printable(specPath));
        return 1;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (document.isNull() || !document.isObject()) {
        std::fprintf(stderr, "cvtool: %s: invalid JSON (%s at byte %d)\n", qUtf8Printable(specPath),
                     qUtf8Printable(parseError.errorString()), int(parseError.offset));
        return 1;
    }
    PageJson::BuiltPage page;
    QString error;
    const QString outPath = QFileInfo(out).absoluteFilePath();
    if (!PageJson::Build(document.object(), mode, QFileInfo(specPath).absolutePath(), QFileInfo(outPath).absolutePath(),
                         page, error)) {
        std::fprintf(stderr, "cvtool: %s: %s\n", qUtf8Printable(specPath), qUtf8Printable(error));
        return 1;
    }
    std::vector<const CFrame*> objects;
    for (const auto& frame : page.objects) objects.push_back(frame.get());
    return PageFile::WritePage(outPath, mode, DefaultDpi, objects, page.canvas.IsEmpty() ? nullptr : &page.canvas) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    StandardErrorPresenter presenter;
    CTranslate::Global().SetPresenter(&presenter);

    QStringList args = app.arguments().mid(1);
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
    if (args.size() == 2 && args[0] == QLatin1String("info")) return Info(args[1], mode);
    if (args.size() == 3 && args[0] == QLatin1String("build")) return Build(args[1], args[2], mode);
    return Usage();
}
