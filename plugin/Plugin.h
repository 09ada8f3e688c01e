// A sport plug-in: a folder with one definition file (".plugin", XML), a page file
// per plug-in page, and the files the plug-in writes while it runs. The definition
// declares the data items (texts, tables, images), integer variables, selectors
// (choice lists over a table), pages and the layout of the operator's panel.
// While the plug-in runs every value is mirrored into small UTF-16LE output files
// in the folder, which text and picture objects of the plug-in's pages show, and
// the whole set of values is kept in the folder's state file.
//
// Threads: the user-interface thread only; nothing here is shared.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CPlugin;
class CPluginDataTable;
class TiXmlElement;

enum PluginDataType : int32_t {
    DataText = 0,
    DataTable = 1,
    DataImage = 2,
};

enum PluginElementType : int32_t {
    ElementStatic = 0,
    ElementText = 1,
    ElementVar = 2,
    ElementButton = 3,
    ElementPage = 4,
    ElementSelector = 5,
};

// Buttons and page elements share the numbers 0 to 2.
enum PluginAction : int32_t {
    ActionInc = 0,
    ActionDec = 1,
    ActionReset = 2,
    ActionDataEditor = 1000,
    ActionToggle = 0,
    ActionShow = 1,
    ActionHide = 2,
};

// A data item: a text the operator types, or a table or image file the operator
// chooses. value is the text, or the chosen file's path.
class CPluginData {
public:
    CPluginData(CPlugin& plugin, int32_t type, QString id, QString name);
    virtual ~CPluginData();
    CPluginData(const CPluginData&) = delete;
    CPluginData& operator=(const CPluginData&) = delete;

    // Takes the value (text) or loads the file at value (table, image); returns the
    // valid flag. The value itself is the caller's to set, except that an image
    // that exists takes its path.
    virtual int32_t Load(const QString& value);
    // Deletes the item's output files (failures are only logged).
    virtual void DeleteFiles();
    // Writes the item's output files (failures are only logged).
    virtual void WriteFiles();
    // The item's output file; empty for a table (it writes one file per cell) and
    // for an id that would name a file outside the plug-in folder.
    virtual QString GetFileName() const;

    CPlugin* plugin;
    int32_t type;
    QString id;
    QString name;
    QString value;
    int32_t valid = 0;
    // Why the last Load left the item not valid; empty when it is valid.
    QString problem;
};

class CPluginDataText : public CPluginData {
public:
    CPluginDataText(CPlugin& plugin, QString id, QString name);
    void WriteFiles() override;
    QString GetFileName() const override;
};

class CPluginDataTable : public CPluginData {
public:
    CPluginDataTable(CPlugin& plugin, QString id, QString name);
    // Reads the table file at value (TextEncoding Auto); valid when some row has a
    // cell and the table is within MaxCells.
    int32_t Load(const QString& value) override;
    void DeleteFiles() override;
    void WriteFiles() override;
    QString GetFileName() const override;

    // The cell (row, column), both from 0; empty past the end of a short row.
    QString Cell(int row, int column) const;
    // The output file of a cell, row and column from 1.
    QString CellFileName(int row, int column) const;

    // Every cell of rows × columns becomes a file: a table that would write more is
    // refused (not valid), so a runaway file cannot flood the folder.
    static constexpr int MaxCells = 10000;
    // Table files are a few kilobytes; anything near this is not a table.
    static constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;

    std::vector<QStringList> rows;
    int32_t columnCount = 0;
};

class CPluginDataImage : public CPluginData {
public:
    CPluginDataImage(CPlugin& plugin, QString id, QString name, QString imageType);
    int32_t Load(const QString& value) override;
    void WriteFiles() override;
    QString GetFileName() const override;

    // The largest picture copied into the folder.
    static constexpr qint64 MaxFileBytes = 256ll * 1024 * 1024;

    QString imageType;  // the image file's extension, without the dot
};

class CPluginVariable {
public:
    CPluginVariable(CPlugin& plugin, QString id, int32_t minimum, int32_t maximum);
    virtual ~CPluginVariable();
    CPluginVariable(const CPluginVariable&) = delete;
    CPluginVariable& operator=(const CPluginVariable&) = delete;

    virtual QString GetFileName() const;
    // Stores the value (not clamped: the panel's buttons keep it in range), writes
    // the variable's file and the state file.
    void SetValue(int32_t newValue);
    void WriteFile() const;

    CPlugin* plugin;
    QString id;
    int32_t minimum;
    int32_t maximum;
    int32_t value = 0;
};

class CPluginSelector {
public:
    CPluginSelector(CPlugin& plugin, QString id, QString tableId, QString format);

    // Finds the table again, makes one item per row from the format, keeps the
    // selection when it is an item, else 0, and writes the selector's files.
    void Rebuild();
    // One file per column of the selected row; nothing without a table with columns.
    void WriteFiles();
    void DeleteFiles();
    // The output file of a column, from 1.
    QString ColumnFileName(int column) const;

    // A selector item longer than this is cut there: placeholders whose cells hold
    // further placeholders would otherwise grow without bound.
    static constexpr int MaxItemLength = 1024;

    CPlugin* plugin;
    QString id;
    QString tableId;
    QString format;
    CPluginDataTable* table = nullptr;  // set by Rebuild; owned by the plug-in
    QStringList items;
    int32_t selection = 0;
};

class CPluginPage {
public:
    CPlugin* plugin = nullptr;
    int32_t index = 0;  // its position among the accepted pages
    QString id;
    QString name;
    QStringList beforeHide;
    QStringList beforeShow;
    QStringList afterHide;
    QStringList afterShow;
    int32_t playing = 0;  // the last status reported for the page's objects
};

class CPluginUITemplateElement {
public:
    int32_t type = ElementStatic;
    int32_t x = 0, y = 0, width = 100, height = 10;  // 96-DPI pixels
    QString fontFace = QStringLiteral("Arial");
    int32_t fontSize = 10;  // points
    QString content;        // the caption
    int32_t action = 0;
    int32_t hotkey = 0;     // 1 to 12: F1 to F12
    int32_t keypadKey = 0;  // 1-based keypad key, 0 none
    // Colour words: red in the low byte.
    uint32_t color = 0;
    uint32_t inactiveColor = 0;
    uint32_t activeColor = 0;
    // At most one is used by a type; null when the id names nothing.
    CPluginData* data = nullptr;
    CPluginVariable* variable = nullptr;
    CPluginSelector* selector = nullptr;
    CPluginPage* page = nullptr;
};

class CPlugin {
public:
    CPlugin();
    ~CPlugin();
    CPlugin(const CPlugin&) = delete;
    CPlugin& operator=(const CPlugin&) = delete;

    // Clears the plug-in and reads the definition at path. True when it has at least
    // one page and a panel of positive size; the collections stay filled either way.
    // LastError() says why it is false.
    bool LoadDefinition(const QString& path);
    void Clear();

    CPluginData* FindData(const QString& id) const;
    CPluginVariable* FindVariable(const QString& id) const;
    CPluginSelector* FindSelector(const QString& id) const;
    CPluginPage* FindPage(const QString& id) const;

    // Folder + page id + ".corvane"; empty past the last page.
    QString GetPageFileName(int pageIndex) const;
    // The page's id; empty past the last page.
    QString PageId(int pageIndex) const;

    // The state file: folder + base name + ".state".
    QString StateFileName() const;
    void SaveState();
    // Reads the state file; a missing or unreadable one changes nothing.
    void LoadState();
    void WriteAllFiles();
    void DeleteAllFiles();
    // Rebuilds every selector over the table tableId.
    void RefreshSelectors(const QString& tableId);

    const QString& BaseName() const { return baseName_; }
    // Ends with "/".
    const QString& Folder() const { return folder_; }
    int32_t PanelWidth() const { return panelWidth_; }
    int32_t PanelHeight() const { return panelHeight_; }
    const std::vector<std::unique_ptr<CPluginData>>& Data() const { return data_; }
    const std::vector<std::unique_ptr<CPluginVariable>>& Variables() const { return variables_; }
    const std::vector<std::unique_ptr<CPluginSelector>>& Selectors() const { return selectors_; }
    const std::vector<std::unique_ptr<CPluginPage>>& Pages() const { return pages_; }
    const std::vector<std::unique_ptr<CPluginUITemplateElement>>& Elements() const { return elements_; }

    const QString& LastError() const { return lastError_; }

    // The path of an output file called name in the plug-in folder; empty when name
    // would leave the folder (an id with "/" in it), so nothing is written there.
    QString OutputPath(const QString& name) const;
    // Writes text as an output file: FF FE and the UTF-16LE code units, no
    // terminator, replaced whole so a reader never sees half a file. Failures are
    // only logged.
    void WriteTextFile(const QString& path, const QString& text) const;
    // Deletes path; failures are only logged.
    void DeleteFile(const QString& path) const;
    // Deletes every file of the folder whose name is prefix, one or more further
    // dot-separated parts as the wildcards of pattern ("*" or "*.*"), and suffix.
    void DeleteMatching(const QString& prefix, int wildcardParts, const QString& suffix) const;

    // Told the path of every file written or deleted (the tool lists them). The
    // user-interface thread only.
    std::function<void(const QString& path, bool written)> fileObserver;

    // A definition larger than this is refused before it is read.
    static constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;

private:
    bool Read(const QByteArray& bytes);
    void ReadPanel(const TiXmlElement& ui);

    QString baseName_;
    QString folder_;
    std::vector<std::unique_ptr<CPluginData>> data_;
    std::vector<std::unique_ptr<CPluginVariable>> variables_;
    std::vector<std::unique_ptr<CPluginSelector>> selectors_;
    std::vector<std::unique_ptr<CPluginPage>> pages_;
    std::vector<std::unique_ptr<CPluginUITemplateElement>> elements_;
    int32_t panelWidth_ = 0;
    int32_t panelHeight_ = 0;
    QString lastError_;
};

namespace PluginTable {

// The cells of one line of a table file: ";" and "," separate, a cell in double
// quotes may hold them and a doubled quote, and a separator at the end of the line
// adds an empty cell.
QStringList SplitLine(const QString& line);

}  // namespace PluginTable
