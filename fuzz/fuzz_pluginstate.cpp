// Fuzz target for the plug-in state reader: any bytes in the state file leave the
// plug-in consistent (every selection an item of its selector, or 0) and never
// crash, leak or hang. What was read is saved and read again by a fresh plug-in
// and must come back equal.
#include "fuzz/FuzzScratch.h"
#include "plugin/Plugin.h"

#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_pluginstate: %s\n", what);
    std::abort();
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) Fail("cannot write a scratch file");
    if (file.write(bytes) != bytes.size()) Fail("short write");
}

// The definition the seeds' states are written for: one item of each kind, two
// variables and two selectors, one of them over a text item.
constexpr const char* Definition = R"(<config>
  <data><text id="t"/><table id="tab"/><image id="img" type="png"/></data>
  <variables><var id="v" min="-10" max="10"/><var id="w"/></variables>
  <selectors><selector id="s" table="tab" format="%2% %1%"/><selector id="x" table="t"/></selectors>
  <pages><page id="p"/></pages><ui/></config>)";

struct Values {
    std::vector<QString> data;
    std::vector<int> valid;
    std::vector<int32_t> variables;
    std::vector<int32_t> selections;
    std::vector<QStringList> items;
    bool operator==(const Values&) const = default;
};

Values Take(const CPlugin& plugin) {
    Values v;
    for (const auto& item : plugin.Data()) {
        v.data.push_back(item->value);
        v.valid.push_back(item->valid);
    }
    for (const auto& variable : plugin.Variables()) v.variables.push_back(variable->value);
    for (const auto& selector : plugin.Selectors()) {
        v.selections.push_back(selector->selection);
        v.items.push_back(selector->items);
    }
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzScratch scratch("fuzz_pluginstate");
    static const QString definition = scratch.Path("Fuzz.plugin");
    static const QString state = scratch.Path("Fuzz.state");
    static const bool prepared = [] {
        Write(definition, Definition);
        Write(scratch.Path("t.csv"), "1;Ann\n2;\"Bob, jr\"\n\n3\n");
        Write(scratch.Path("i.png"), "not really a picture");
        return true;
    }();
    (void)prepared;
    Write(state, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));

    CPlugin plugin;
    if (!plugin.LoadDefinition(definition)) Fail("the definition does not load");
    plugin.LoadState();
    for (const auto& selector : plugin.Selectors()) {
        if (selector->selection < 0 || (selector->selection >= selector->items.size() && selector->selection != 0))
            Fail("a selection outside its items");
        if (selector->table && selector->items.size() != qsizetype(selector->table->rows.size()))
            Fail("not one item per row");
    }
    const Values read = Take(plugin);

    plugin.SaveState();
    CPlugin again;
    if (!again.LoadDefinition(definition)) Fail("the definition does not load again");
    again.LoadState();
    if (!(Take(again) == read)) Fail("the state changed on its way through a save");
    return 0;
}
