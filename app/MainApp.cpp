#include "app/MainApp.h"

#include "base/Debug.h"
#include "base/NonStdioFile.h"
#include "base/Translate.h"

#include <QDir>
#include <QLockFile>
#include <QRegularExpression>
#include <QStandardPaths>

CMyCommandLineInfo CMyCommandLineInfo::Parse(const QStringList& arguments) {
    CMyCommandLineInfo info;
    for (const QString& argument : arguments) {
        // Linux paths begin with "/" too: only a plain word after the prefix, as in
        // "/edit" or "-p", is a switch.
        static const QRegularExpression word(QStringLiteral("^[/-][A-Za-z]+$"));
        if (word.match(argument).hasMatch() || (argument.startsWith(u'-') && argument.size() > 1)) {
            if (argument.mid(1) == QLatin1String("edit")) info.Edit = true;
            continue;
        }
        if (info.FileName.isEmpty()) info.FileName = argument;
    }
    // Opening a page file from the desktop starts an editor instance for it.
    if (!info.FileName.isEmpty()) info.Edit = true;
    return info;
}

CMainApp::CMainApp() = default;
CMainApp::~CMainApp() = default;

QString CMainApp::LockPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    return folder + QStringLiteral("/Norvik_Corvane.lock");
}

CMainApp::StartResult CMainApp::InitInstance(const QStringList& arguments) {
    const CMyCommandLineInfo info = CMyCommandLineInfo::Parse(arguments);
    EditFlag = info.Edit ? 1 : 0;
    FileToOpen = info.FileName;

    if (!EditFlag) {
        auto lock = std::make_unique<QLockFile>(LockPath());
        // Never stale by age: a main instance may run for months. A lock left by a
        // crashed instance is still taken over, because its process is gone.
        lock->setStaleLockTime(0);
        if (!lock->tryLock(0)) return AlreadyRunning;
        InstanceMutex = std::move(lock);
    }

    CSettingsStore& settings = CSettingsStore::Global();
    // A damaged file still starts the program; the log says what could not be read
    // (the file as it was is kept beside it before anything is written).
    for (const QString& problem : settings.Problems())
        CDebug::Log(1, "CMainApp::InitInstance(): settings %s: %s", settings.Path(), problem);
    CNonStdioFile::SetAnsiCodePage(settings.Get(Settings::CodePage));
    CTranslate::Global().LoadLanguagePack();
    return Started;
}
