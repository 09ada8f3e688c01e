// Fuzz target for the script reader: any bytes give either a script with at least
// one action of a known kind, or an empty, nameless script with a reason; never a
// crash, a leak or a hang. A script that loads is saved and loaded again and must
// come back equal, and saving that again must give the same bytes.
#include "fuzz/FuzzScratch.h"
#include "script/FrameScript.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_script: %s\n", what);
    std::abort();
}

struct Scratch {
    FuzzScratch folder{"fuzz_script"};
    QString input = folder.Path("input.script");
    QString copy = folder.Path("copy.script");
};

bool AnyTextTooLong(const CFrameScript& script) {
    for (int k = 0; k < script.Count(); ++k)
        if (script.Item(k)->sdata.toUtf8().size() > CFrameScript::MaxStoredTextBytes) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    {
        QFile file(scratch.input);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) Fail("cannot write the input file");
        if (file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) Fail("short input write");
    }

    CFrameScript script;
    script.SetLoop(true);
    script.Append(CFrameScriptItem::Added(ScriptActionType::WaitPeriod));  // a leftover the load must drop
    const bool loaded = script.LoadFile(scratch.input);
    if (!loaded) {
        if (script.Count() != 0 || script.Loop() || !script.FileName().isEmpty())
            Fail("a failed load left something behind");
        if (script.LastError().isEmpty()) Fail("a failed load gave no reason");
        return 0;
    }
    if (script.Count() == 0) Fail("a script without actions loaded");
    if (script.FileName() != scratch.input) Fail("a loaded script does not name its file");
    for (int k = 0; k < script.Count(); ++k) {
        const int kind = int(script.Item(k)->type);
        if (kind < 0 || kind >= ScriptActionTypeCount) Fail("an action of unknown kind was loaded");
    }

    if (!script.SaveFile(scratch.copy)) {
        // The one save a loaded script may not survive: a text over the stored limit.
        if (!AnyTextTooLong(script)) Fail("a script that loaded could not be saved");
        return 0;
    }
    CFrameScript again;
    if (!again.LoadFile(scratch.copy)) Fail("a saved script did not load");
    if (!again.SameContent(script)) Fail("a script changed on its way through a save");
    QFile saved(scratch.copy);
    if (!saved.open(QIODevice::ReadOnly)) Fail("cannot read the saved file");
    if (again.Serialize(scratch.copy) != saved.readAll()) Fail("a second save gave other bytes");
    return 0;
}
