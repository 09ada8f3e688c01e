// The run-time side of a plug-in: its values, the output files that mirror them,
// table files and the state file.
#include "plugin/Plugin.h"

#include "base/Debug.h"
#include "base/NonStdioFile.h"
#include "base/SafeFile.h"
#include "base/Xml.h"
#include "core/PageFile.h"

#include <tinyxml.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <strings.h>

namespace {

// Far beyond the values of any plug-in; a state file near this is not one.
constexpr qint64 MaxStateBytes = 16 * 1024 * 1024;

bool IsSeparator(QChar c) { return c == u';' || c == u','; }

// text with every needle replaced by with, cut at cap characters.
QString ReplaceWithin(const QString& text, const QString& needle, const QString& with, int cap, bool& cut) {
    QString result;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(needle, from);
        if (at < 0) break;
        result += QStringView(text).mid(from, at - from);
        result += with;
        from = at + needle.size();
        if (result.size() >= cap) break;
    }
    if (result.size() < cap) result += QStringView(text).mid(from);
    if (result.size() > cap) {
        result.truncate(cap);
        cut = true;
    }
    return result;
}

}  // namespace

// ---------------------------------------------------------------------------------
// Table files

namespace PluginTable {

QStringList SplitLine(const QString& line) {
    QStringList cells;
    const qsizetype n = line.size();
    qsizetype pos = 0;
    while (pos < n) {
        if (line[pos] != u'"') {
            qsizetype separator = pos;
            while (separator < n && !IsSeparator(line[separator])) ++separator;
            cells.append(line.mid(pos, separator - pos));
            pos = separator + 1;  // past the end when there was none
            continue;
        }
        QString cell;
        qsizetype k = pos + 1;
        while (k < n) {
            const QChar c = line[k];
            if (c != u'"') {
                cell += c;
                ++k;
                continue;
            }
            if (k == n - 1) {  // the closing quote at the end of the line
                k = n;
                break;
            }
            const QChar next = line[k + 1];
            if (IsSeparator(next)) {
                k += 2;
                break;
            }
            // A doubled quote gives one; the second is then looked at as a quote
            // in its turn. Any other quote is dropped.
            if (next == u'"') cell += u'"';
            ++k;
        }
        cells.append(cell);
        pos = k;
    }
    if (n > 0 && IsSeparator(line[n - 1])) cells.append(QString());
    return cells;
}

}  // namespace PluginTable

// ---------------------------------------------------------------------------------
// Output files

QString CPlugin::OutputPath(const QString& name) const {
    // An id is used verbatim in the name: one with a folder separator (or a NUL,
    // which ends a name) would write somewhere else than the plug-in folder.
    if (name.contains(u'/') || name.contains(QChar(0)) || folder_.isEmpty()) return QString();
    return folder_ + name;
}

void CPlugin::WriteTextFile(const QString& path, const QString& text) const {
    if (path.isEmpty()) return;
    QByteArray bytes;
    bytes.reserve(2 + 2 * text.size());
    bytes.append("\xFF\xFE", 2);
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    if (const FileRefusal refusal = SafeFile::WriteAll(path, bytes); refusal != FileRefusal::None) {
        CDebug::Log(2, "CPlugin::WriteTextFile(%s): %s", path, FileRefusalText(refusal));
        return;
    }
    if (fileObserver) fileObserver(path, true);
}

void CPlugin::DeleteFile(const QString& path) const {
    if (path.isEmpty()) return;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return;
    if (!QFile::remove(path)) {
        CDebug::Log(2, "CPlugin::DeleteFile(%s): cannot be deleted", path);
        return;
    }
    if (fileObserver) fileObserver(path, false);
}

void CPlugin::DeleteMatching(const QString& prefix, int wildcardParts, const QString& suffix) const {
    if (OutputPath(prefix).isEmpty()) return;
    QString pattern = u'^' + QRegularExpression::escape(prefix) + QStringLiteral(".*");
    for (int k = 1; k < wildcardParts; ++k) pattern += QStringLiteral("\\..*");
    pattern += QRegularExpression::escape(suffix) + u'$';
    const QRegularExpression match(pattern, QRegularExpression::DotMatchesEverythingOption);
    const QStringList names = QDir(folder_).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names)
        if (match.match(name).hasMatch()) DeleteFile(folder_ + name);
}

// ---------------------------------------------------------------------------------
// Data items

CPluginData::CPluginData(CPlugin& owner, int32_t kind, QString itemId, QString itemName)
    : plugin(&owner), type(kind), id(std::move(itemId)), name(std::move(itemName)) {}

CPluginData::~CPluginData() = default;

int32_t CPluginData::Load(const QString&) {
    valid = 1;
    problem.clear();
    return valid;
}

void CPluginData::DeleteFiles() { plugin->DeleteFile(GetFileName()); }

void CPluginData::WriteFiles() {}

QString CPluginData::GetFileName() const { return QString(); }

CPluginDataText::CPluginDataText(CPlugin& owner, QString itemId, QString itemName)
    : CPluginData(owner, DataText, std::move(itemId), std::move(itemName)) {
    valid = 1;
}

void CPluginDataText::WriteFiles() { plugin->WriteTextFile(GetFileName(), value); }

QString CPluginDataText::GetFileName() const {
    return plugin->OutputPath(QStringLiteral("text.") + id + QStringLiteral(".txt"));
}

CPluginDataTable::CPluginDataTable(CPlugin& owner, QString itemId, QString itemName)
    : CPluginData(owner, DataTable, std::move(itemId), std::move(itemName)) {}

int32_t CPluginDataTable::Load(const QString& path) {
    rows.clear();
    columnCount = 0;
    valid = 0;
    problem.clear();
    CNonStdioFile reader;
    if (!reader.OpenText(path, Auto, MaxFileBytes)) {
        problem = QString::fromUtf8(FileRefusalText(reader.Refusal()));
    } else {
        QString line;
        while (reader.ReadLine(line)) {
            rows.push_back(PluginTable::SplitLine(line));
            columnCount = std::max(columnCount, int32_t(rows.back().size()));
            if (rows.size() > size_t(MaxCells) || rows.size() * size_t(columnCount) > size_t(MaxCells)) {
                problem = QStringLiteral("the table has more than %1 cells").arg(MaxCells);
                break;
            }
        }
        if (problem.isEmpty() && reader.Capped())
            problem = QStringLiteral("the file is larger than %1 bytes").arg(MaxFileBytes);
    }
    if (!problem.isEmpty()) {
        rows.clear();
        columnCount = 0;
    } else if (columnCount < 1) {
        problem = QStringLiteral("the table has no cell");
    }
    valid = columnCount >= 1 ? 1 : 0;
    if (!valid) CDebug::Log(2, "CPluginDataTable::Load(%s): %s", path, problem);
    return valid;
}

QString CPluginDataTable::Cell(int row, int column) const {
    if (row < 0 || size_t(row) >= rows.size()) return QString();
    const QStringList& cells = rows[size_t(row)];
    return column >= 0 && column < cells.size() ? cells[column] : QString();
}

QString CPluginDataTable::CellFileName(int row, int column) const {
    return plugin->OutputPath(QStringLiteral("table.%1.%2.%3.txt").arg(id).arg(row).arg(column));
}

void CPluginDataTable::DeleteFiles() { plugin->DeleteMatching(QStringLiteral("table.") + id + u'.', 2, QStringLiteral(".txt")); }

void CPluginDataTable::WriteFiles() {
    for (size_t r = 0; r < rows.size(); ++r)
        for (int c = 0; c < columnCount; ++c) plugin->WriteTextFile(CellFileName(int(r) + 1, c + 1), Cell(int(r), c));
}

QString CPluginDataTable::GetFileName() const { return QString(); }

CPluginDataImage::CPluginDataImage(CPlugin& owner, QString itemId, QString itemName, QString type)
    : CPluginData(owner, DataImage, std::move(itemId), std::move(itemName)), imageType(std::move(type)) {}

int32_t CPluginDataImage::Load(const QString& path) {
    valid = !path.isEmpty() && QFileInfo(path).isFile() ? 1 : 0;
    if (valid) {
        value = path;
        problem.clear();
    } else {
        problem = QStringLiteral("the file does not exist");
        CDebug::Log(2, "CPluginDataImage::Load(%s): %s", path, problem);
    }
    return valid;
}

void CPluginDataImage::WriteFiles() {
    const QString target = GetFileName();
    if (value.isEmpty() || target.isEmpty()) return;
    QByteArray bytes;
    if (const FileRefusal refusal = SafeFile::ReadAll(value, MaxFileBytes, bytes); refusal != FileRefusal::None) {
        CDebug::Log(2, "CPluginDataImage::WriteFiles(%s): %s", value, FileRefusalText(refusal));
        return;
    }
    if (const FileRefusal refusal = SafeFile::WriteAll(target, bytes); refusal != FileRefusal::None) {
        CDebug::Log(2, "CPluginDataImage::WriteFiles(%s): %s", target, FileRefusalText(refusal));
        return;
    }
    if (plugin->fileObserver) plugin->fileObserver(target, true);
}

QString CPluginDataImage::GetFileName() const {
    return plugin->OutputPath(QStringLiteral("image.") + id + u'.' + imageType);
}

// ---------------------------------------------------------------------------------
// Variables

CPluginVariable::CPluginVariable(CPlugin& owner, QString variableId, int32_t low, int32_t high)
    : plugin(&owner), id(std::move(variableId)), minimum(low), maximum(high) {}

CPluginVariable::~CPluginVariable() = default;

QString CPluginVariable::GetFileName() const {
    return plugin->OutputPath(QStringLiteral("var.") + id + QStringLiteral(".txt"));
}

void CPluginVariable::WriteFile() const { plugin->WriteTextFile(GetFileName(), QString::number(value)); }

void CPluginVariable::SetValue(int32_t newValue) {
    value = newValue;
    WriteFile();
    plugin->SaveState();
}

// ---------------------------------------------------------------------------------
// Selectors

CPluginSelector::CPluginSelector(CPlugin& owner, QString selectorId, QString table, QString itemFormat)
    : plugin(&owner), id(std::move(selectorId)), tableId(std::move(table)), format(std::move(itemFormat)) {}

void CPluginSelector::Rebuild() {
    CPluginData* data = plugin->FindData(tableId);
    table = data && data->type == DataTable ? static_cast<CPluginDataTable*>(data) : nullptr;
    items.clear();
    bool cut = false;
    if (table) {
        for (size_t r = 0; r < table->rows.size(); ++r) {
            QString item = format.left(MaxItemLength);
            for (int k = 1; k <= table->columnCount; ++k)
                item = ReplaceWithin(item, u'%' + QString::number(k) + u'%', table->Cell(int(r), k - 1), MaxItemLength, cut);
            items.append(item);
        }
    }
    if (cut) CDebug::Log(2, "CPluginSelector::Rebuild(%s): items cut at %d characters", id, MaxItemLength);
    if (selection < 0 || selection >= items.size()) selection = 0;
    WriteFiles();
}

QString CPluginSelector::ColumnFileName(int column) const {
    return plugin->OutputPath(QStringLiteral("selector.%1.%2.txt").arg(id).arg(column));
}

void CPluginSelector::WriteFiles() {
    if (!table || table->columnCount == 0) return;
    for (int c = 1; c <= table->columnCount; ++c) plugin->WriteTextFile(ColumnFileName(c), table->Cell(selection, c - 1));
}

void CPluginSelector::DeleteFiles() { plugin->DeleteMatching(QStringLiteral("selector.") + id + u'.', 1, QStringLiteral(".txt")); }

// ---------------------------------------------------------------------------------
// The whole plug-in

QString CPlugin::StateFileName() const { return folder_ + baseName_ + QStringLiteral(".state"); }

void CPlugin::SaveState() {
    const QString path = StateFileName();
    TiXmlDocument document;
    document.LinkEndChild(new TiXmlDeclaration("1.0", "utf-8", ""));
    auto* root = new TiXmlElement("state");
    document.LinkEndChild(root);
    auto add = [root](const char* name, const QString& id, const QString& value) {
        auto* element = new TiXmlElement(name);
        root->LinkEndChild(element);
        element->SetAttribute("id", id.toUtf8().constData());
        element->SetAttribute("value", value.toUtf8().constData());
    };
    // Files inside the plug-in folder are stored relative to it, so the folder can move.
    for (const auto& item : data_)
        add("data", item->id, item->type == DataText ? item->value : PageFile::ToStoredPath(item->value, path));
    for (const auto& variable : variables_) add("var", variable->id, QString::number(variable->value));
    for (const auto& selector : selectors_) add("selector", selector->id, QString::number(selector->selection));
    TiXmlPrinter printer;
    printer.SetIndent("    ");
    printer.SetLineBreak("\r\n");
    document.Accept(&printer);
    const QByteArray bytes(printer.CStr(), qsizetype(printer.Size()));
    if (const FileRefusal refusal = SafeFile::WriteAll(path, bytes); refusal != FileRefusal::None) {
        CDebug::Log(2, "CPlugin::SaveState(%s): %s", path, FileRefusalText(refusal));
        return;
    }
    if (fileObserver) fileObserver(path, true);
}

void CPlugin::LoadState() {
    const QString path = StateFileName();
    QByteArray bytes;
    if (const FileRefusal refusal = SafeFile::ReadAll(path, MaxStateBytes, bytes); refusal != FileRefusal::None) {
        CDebug::Log(2, "CPlugin::LoadState(%s): %s", path, FileRefusalText(refusal));
        return;
    }
    TiXmlDocument document;
    QString why;
    if (!Xml::Parse(document, bytes, Xml::MaxDepth, &why)) {
        CDebug::Log(2, "CPlugin::LoadState(%s): %s", path, why);
        return;
    }
    if (const TiXmlElement* root = document.FirstChildElement("state")) {
        for (const TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
            const char* idText = e->Attribute("id");
            const QString id = QString::fromUtf8(idText ? idText : "");
            const char* valueText = e->Attribute("value");
            if (::strcasecmp(e->Value(), "data") == 0) {
                if (CPluginData* item = FindData(id)) {
                    QString value = QString::fromUtf8(valueText ? valueText : "");
                    if (item->type != DataText) value = PageFile::FromStoredPath(value, path);
                    item->value = value;
                }
            } else if (::strcasecmp(e->Value(), "var") == 0) {
                if (CPluginVariable* variable = FindVariable(id)) variable->value = Xml::LeadingInteger(valueText);
            } else if (::strcasecmp(e->Value(), "selector") == 0) {
                if (CPluginSelector* selector = FindSelector(id)) selector->selection = Xml::LeadingInteger(valueText);
            }
        }
    } else {
        CDebug::Log(2, "CPlugin::LoadState(%s): no <state> element", path);
    }
    for (const auto& item : data_)
        if (!item->value.isEmpty()) item->Load(item->value);
    for (const auto& selector : selectors_) selector->Rebuild();
}

void CPlugin::WriteAllFiles() {
    for (const auto& item : data_) item->WriteFiles();
    for (const auto& variable : variables_) variable->WriteFile();
    for (const auto& selector : selectors_) selector->WriteFiles();
}

void CPlugin::DeleteAllFiles() {
    for (const auto& item : data_) item->DeleteFiles();
    for (const auto& variable : variables_) DeleteFile(variable->GetFileName());
    for (const auto& selector : selectors_) selector->DeleteFiles();
}

void CPlugin::RefreshSelectors(const QString& tableId) {
    for (const auto& selector : selectors_)
        if (selector->tableId == tableId) selector->Rebuild();
}
