// Fuzz target for plug-in table files: any bytes give a table whose column count is
// its longest row, valid exactly when it has a column and within the cell limit, or
// a reason; a line without quotes splits as its separators say. The selector's
// items over the table stay within their limit. Never a crash, a leak or a hang.
#include "fuzz/FuzzScratch.h"
#include "plugin/Plugin.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_plugintable: %s\n", what);
    std::abort();
}

// The selector's id names no file in the folder, so a rebuild makes its items
// without writing a file per column for every input.
constexpr const char* Definition = R"(<config><data><table id="tab"/></data>
  <selectors><selector id="no/files" table="tab" format="%1%:%2%:%3%:%1%%1%%1%"/></selectors>
  <pages><page/></pages><ui/></config>)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzScratch scratch("fuzz_plugintable");
    static const QString table = scratch.Path("t.csv");
    static CPlugin plugin;
    static const bool prepared = [] {
        QFile file(scratch.Path("Fuzz.plugin"));
        if (!file.open(QIODevice::WriteOnly) || file.write(Definition) < 0) Fail("cannot write the definition");
        file.close();
        if (!plugin.LoadDefinition(file.fileName())) Fail("the definition does not load");
        return true;
    }();
    (void)prepared;
    {
        QFile file(table);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) Fail("cannot write the input file");
        if (file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) Fail("short input write");
    }
    auto& item = static_cast<CPluginDataTable&>(*plugin.Data()[0]);
    const int32_t valid = item.Load(table);
    if (valid != item.valid || valid != (item.columnCount >= 1 ? 1 : 0)) Fail("valid does not follow the columns");
    if (!valid && item.problem.isEmpty()) Fail("a table that is not valid gave no reason");
    if (valid && !item.problem.isEmpty()) Fail("a valid table with a problem");
    qsizetype longest = 0;
    for (const QStringList& row : item.rows) longest = std::max(longest, row.size());
    if (longest != item.columnCount) Fail("the column count is not the longest row");
    if (valid && item.rows.size() * size_t(item.columnCount) > size_t(CPluginDataTable::MaxCells))
        Fail("a table beyond the cell limit");

    // A line without quotes: the separators alone cut it.
    static const QRegularExpression separators(QStringLiteral("[;,]"));
    const QString asLine = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(std::min<size_t>(size, 4096)));
    if (!asLine.isEmpty() && !asLine.contains(u'"')) {
        if (PluginTable::SplitLine(asLine) != asLine.split(separators)) Fail("an unquoted line split wrongly");
    }
    for (const QString& cell : PluginTable::SplitLine(asLine))
        if (cell.size() > asLine.size()) Fail("a cell longer than its line");

    CPluginSelector& selector = *plugin.Selectors()[0];
    selector.selection = int32_t(size % 7) - 1;
    selector.Rebuild();
    if (selector.items.size() != qsizetype(item.rows.size())) Fail("not one item per row");
    for (const QString& text : selector.items)
        if (text.size() > CPluginSelector::MaxItemLength) Fail("an item beyond its limit");
    if (selector.selection < 0 || (selector.selection != 0 && selector.selection >= selector.items.size()))
        Fail("a selection outside the items");
    return 0;
}
