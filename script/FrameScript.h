// The script: a short list of playback actions prepared in advance (load a page,
// add its objects, play, pause, end, stop or delete objects, wait), and its XML
// file. The document owns one; the runner steps through it, the automation
// schedule loads files into it and the editor changes it in place.
//
// Threads: the user-interface thread only; nothing here is shared.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

// The number is what the file stores.
enum class ScriptActionType : int32_t {
    LoadPage = 0,      // sdata: page file
    AddObjects = 1,    // sdata: page file
    PlayObjects = 2,   // sdata: group, empty for all objects
    PauseObjects = 3,
    EndObjects = 4,
    StopObjects = 5,
    DeleteObjects = 6,
    WaitObjectsEnd = 7,
    WaitPeriod = 8,    // idata: seconds
    WaitUntilTime = 9, // idata: seconds since midnight
};

constexpr int ScriptActionTypeCount = 10;

class CFrameScriptItem {
public:
    CFrameScriptItem() = default;
    explicit CFrameScriptItem(ScriptActionType t, QString s = QString(), int32_t i = 0)
        : type(t), sdata(std::move(s)), idata(i) {}

    // A new action of kind t as the editor adds it: all objects, a wait of 10
    // seconds, or a wait until 12:00:00.
    static std::unique_ptr<CFrameScriptItem> Added(ScriptActionType t);

    // The page file (LoadPage, AddObjects); the group, empty for all objects
    // (PlayObjects to WaitObjectsEnd).
    bool HasPagePath() const { return type == ScriptActionType::LoadPage || type == ScriptActionType::AddObjects; }
    bool HasGroup() const { return type >= ScriptActionType::PlayObjects && type <= ScriptActionType::WaitObjectsEnd; }

    // What the editor's list shows for the action (without the row number).
    QString ListText() const;

    bool operator==(const CFrameScriptItem&) const = default;

    ScriptActionType type = ScriptActionType::DeleteObjects;
    QString sdata;   // page file path or group name; unused by the waits
    int32_t idata = 0;  // seconds (WaitPeriod) or seconds since midnight (WaitUntilTime)
};

class CFrameScript {
public:
    // A script file larger than this is refused before it is read.
    static constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;
    // The longest sdata a file may hold, in UTF-8 bytes; a save of a longer one is
    // refused, because the text would not read back as it was meant.
    static constexpr int MaxStoredTextBytes = 8191;

    // Empties the script, then reads path. Succeeds when the file is a well-formed
    // script with at least one valid action; then FileName() is path. On failure
    // the script stays empty and nameless and LastError() says why.
    bool LoadFile(const QString& path);
    // Replaces path with the script (all or nothing: a failed save leaves the old
    // file byte for byte). On success FileName() becomes path; items and loop are
    // never changed.
    bool SaveFile(const QString& path);
    // The file's bytes for path: the page paths below its folder are stored
    // relative to it. Empty with LastError() set when an sdata is too long.
    QByteArray Serialize(const QString& path);
    // Reads bytes as a script file found at path (the folder its relative page
    // paths are resolved against); LoadFile without the file.
    bool LoadBytes(const QByteArray& bytes, const QString& path);

    void Clear();

    int Count() const { return int(items_.size()); }
    CFrameScriptItem* Item(int index) { return items_[size_t(index)].get(); }
    const CFrameScriptItem* Item(int index) const { return items_[size_t(index)].get(); }
    void Append(std::unique_ptr<CFrameScriptItem> item) { items_.push_back(std::move(item)); }
    void RemoveAt(int index);
    // Swaps the item at index with the one after it.
    void SwapWithNext(int index);

    bool Loop() const { return loop_ != 0; }
    void SetLoop(bool loop) { loop_ = loop ? 1 : 0; }

    // The file the script was last loaded from or saved to; empty when none.
    const QString& FileName() const { return fileName_; }
    // The file name without folder and extension; empty when there is none.
    QString DisplayName() const;

    // The editor's time column: per row, the total of the fixed waits above it,
    // given only where that total changed since the last one shown ("" elsewhere).
    QStringList TimeColumn() const;

    // Why the last LoadFile, LoadBytes, Serialize or SaveFile failed.
    const QString& LastError() const { return lastError_; }

    // Same loop flag and the same items in the same order (the file name aside).
    bool SameContent(const CFrameScript& other) const;

private:
    bool Read(const QByteArray& bytes, const QString& path);

    std::vector<std::unique_ptr<CFrameScriptItem>> items_;
    int32_t loop_ = 0;
    QString fileName_;
    QString lastError_;
};

namespace ScriptFile {

// The name part of a path without folder and extension; both "/" and "\" end a
// folder, so a page named in a script written on Windows shows its name too.
QString NameWithoutFolderAndExtension(const QString& path);

}  // namespace ScriptFile
