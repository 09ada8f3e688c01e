// Start-up of a running instance: the command line, the instance kind, the
// main-instance lock, the settings and the language pack.
//
// Threads: the user-interface thread, before any other thread starts.
#pragma once

#include "base/Settings.h"

#include <QString>
#include <QStringList>
#include <memory>

class QLockFile;

// The command line: every argument that begins with "/" or "-" is a switch; the
// switch "edit" (exactly) makes an editor instance; a page file argument opens that
// file in an editor instance; other requests are dropped (a new empty page).
struct CMyCommandLineInfo {
    bool Edit = false;
    QString FileName;  // the page file to open, or empty

    static CMyCommandLineInfo Parse(const QStringList& arguments);  // without the program name
};

class CMainApp {
public:
    CMainApp();
    ~CMainApp();

    enum StartResult {
        Started,         // this instance runs
        AlreadyRunning,  // a main instance already runs: exit quietly with code 0
    };

    // Parses the command line, takes the main-instance lock (main instances only),
    // applies the settings the shell needs (ANSI code page) and loads the language
    // pack. The editor calls this first and exits with code 0 on AlreadyRunning.
    StartResult InitInstance(const QStringList& arguments);

    InstanceKind Kind() const { return EditFlag ? InstanceKind::Editor : InstanceKind::Main; }

    // Where the main-instance lock lives: $XDG_RUNTIME_DIR (or the temporary folder)
    // + "/Norvik_Corvane.lock".
    static QString LockPath();

    int EditFlag = 0;
    QString FileToOpen;
    std::unique_ptr<QLockFile> InstanceMutex;  // held by the main instance until exit
};
