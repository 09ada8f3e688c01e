// Fuzz target for the plug-in definition reader: any bytes give either a usable
// definition (a page and a panel of positive size) or false with a reason; never a
// crash, a leak or a hang. Whatever is read keeps the collections' rules: ids unique
// per collection, pages numbered in order, every reference pointing into its own
// collection.
#include "fuzz/FuzzScratch.h"
#include "plugin/Plugin.h"

#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_plugin: %s\n", what);
    std::abort();
}

template <class T>
void CheckUnique(const std::vector<std::unique_ptr<T>>& list, const char* what) {
    std::set<QString> ids;
    for (const auto& item : list)
        if (!ids.insert(item->id).second) Fail(what);
}

template <class T, class U>
bool Within(const std::vector<std::unique_ptr<T>>& list, const U* pointer) {
    if (!pointer) return true;
    for (const auto& item : list)
        if (item.get() == pointer) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzScratch scratch("fuzz_plugin");
    static const QString path = scratch.Path("Fuzz.plugin");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) Fail("cannot write the input file");
        if (file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) Fail("short input write");
    }
    static CPlugin plugin;  // reused, as the document reuses its one plug-in
    const bool ok = plugin.LoadDefinition(path);
    if (ok != plugin.LastError().isEmpty()) Fail("the reason does not match the result");
    if (ok && (plugin.Pages().empty() || plugin.PanelWidth() < 1 || plugin.PanelHeight() < 1))
        Fail("an unusable definition loaded");
    if (plugin.BaseName() != QStringLiteral("Fuzz")) Fail("wrong base name");
    CheckUnique(plugin.Data(), "duplicate data id");
    CheckUnique(plugin.Variables(), "duplicate variable id");
    CheckUnique(plugin.Selectors(), "duplicate selector id");
    CheckUnique(plugin.Pages(), "duplicate page id");
    for (size_t k = 0; k < plugin.Pages().size(); ++k) {
        if (plugin.Pages()[k]->index != int(k)) Fail("pages out of order");
        if (plugin.GetPageFileName(int(k)) != plugin.Folder() + plugin.Pages()[k]->id + QStringLiteral(".corvane"))
            Fail("wrong page file name");
    }
    if (!plugin.GetPageFileName(int(plugin.Pages().size())).isEmpty()) Fail("a page file past the last page");
    for (const auto& item : plugin.Data())
        if (item->type < DataText || item->type > DataImage || item->valid != (item->type == DataText ? 1 : 0))
            Fail("a data item of the wrong kind or state");
    for (const auto& selector : plugin.Selectors())
        if (selector->table || !selector->items.isEmpty() || selector->selection != 0) Fail("a selector not fresh");
    for (const auto& e : plugin.Elements()) {
        if (e->type < ElementStatic || e->type > ElementSelector) Fail("an element of unknown type");
        if (!Within(plugin.Data(), e->data) || !Within(plugin.Variables(), e->variable) ||
            !Within(plugin.Selectors(), e->selector) || !Within(plugin.Pages(), e->page))
            Fail("a reference outside its collection");
        const int used = (e->data != nullptr) + (e->variable != nullptr) + (e->selector != nullptr) + (e->page != nullptr);
        if (used > 1) Fail("an element with two references");
    }
    return 0;
}
