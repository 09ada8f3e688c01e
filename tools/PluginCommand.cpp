#include "tools/PluginCommand.h"

#include "plugin/Plugin.h"
#include "plugin/PluginControl.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cstdio>
#include <functional>

namespace {

const char* const Usage =
    "usage: cvtool plugin load DEF.plugin\n"
    "       cvtool plugin act DEF.plugin ELEMENT...\n"
    "ELEMENT: N            the panel element at index N (from 0)\n"
    "         F1 ... F12   every element with that function key\n"
    "         key:N        every element with keypad key N (from 1)\n"
    "         CAPTION      every button or page element with that caption\n"
    "         select:ID=N  the selector ID picks item N (from 0)\n"
    "         text:ID=TEXT the data editor gives the text item ID its text\n"
    "         file:ID=PATH the data editor gives the table or image item ID its file\n"
    "         status:ID=0|1 the document reports page ID stopped or playing\n"
    "A page shown or hidden by a step counts as playing or stopped from the next step on.\n";

int Fail(const QString& what) {
    std::fprintf(stderr, "cvtool: %s\n", qUtf8Printable(what));
    return 1;
}

QString Hex(uint32_t colour) { return QStringLiteral("%1").arg(colour, 6, 16, QLatin1Char('0')).toUpper(); }

QString TypeName(int type) {
    static const char* const names[] = {"text", "table", "image"};
    return type >= 0 && type < 3 ? QString::fromLatin1(names[type]) : QString::number(type);
}

QString ElementName(int type) {
    static const char* const names[] = {"static", "text", "var", "button", "page", "selector"};
    return type >= 0 && type < 6 ? QString::fromLatin1(names[type]) : QString::number(type);
}

QString ActionName(const CPluginUITemplateElement& e) {
    if (e.type == ElementButton) {
        switch (e.action) {
        case ActionInc: return QStringLiteral("inc");
        case ActionDec: return QStringLiteral("dec");
        case ActionReset: return QStringLiteral("reset");
        case ActionDataEditor: return QStringLiteral("dataEditor");
        default: break;
        }
    } else if (e.type == ElementPage) {
        switch (e.action) {
        case ActionToggle: return QStringLiteral("toggle");
        case ActionShow: return QStringLiteral("show");
        case ActionHide: return QStringLiteral("hide");
        default: break;
        }
    }
    return QString::number(e.action);
}

QJsonValue Nullable(const QString* id) { return id ? QJsonValue(*id) : QJsonValue(QJsonValue::Null); }

QJsonObject Describe(const CPlugin& plugin) {
    QJsonArray data, variables, selectors, pages, elements;
    for (const auto& item : plugin.Data()) {
        QJsonObject o{{"id", item->id}, {"name", item->name}, {"type", TypeName(item->type)}, {"value", item->value},
                      {"valid", item->valid}};
        if (item->type == DataImage) o.insert("imageType", static_cast<const CPluginDataImage&>(*item).imageType);
        if (item->type == DataTable) {
            const auto& table = static_cast<const CPluginDataTable&>(*item);
            QJsonArray rows;
            for (const QStringList& row : table.rows) rows.append(QJsonArray::fromStringList(row));
            o.insert("columns", table.columnCount);
            o.insert("rows", rows);
        }
        o.insert("file", item->GetFileName());
        data.append(o);
    }
    for (const auto& v : plugin.Variables())
        variables.append(QJsonObject{{"id", v->id}, {"min", v->minimum}, {"max", v->maximum}, {"value", v->value},
                                     {"file", v->GetFileName()}});
    for (const auto& s : plugin.Selectors())
        selectors.append(QJsonObject{{"id", s->id}, {"table", s->tableId}, {"format", s->format},
                                     {"selection", s->selection}, {"items", QJsonArray::fromStringList(s->items)}});
    for (const auto& p : plugin.Pages())
        pages.append(QJsonObject{{"index", p->index},
                                 {"id", p->id},
                                 {"name", p->name},
                                 {"file", plugin.GetPageFileName(p->index)},
                                 {"beforeHide", QJsonArray::fromStringList(p->beforeHide)},
                                 {"beforeShow", QJsonArray::fromStringList(p->beforeShow)},
                                 {"afterHide", QJsonArray::fromStringList(p->afterHide)},
                                 {"afterShow", QJsonArray::fromStringList(p->afterShow)}});
    for (size_t k = 0; k < plugin.Elements().size(); ++k) {
        const CPluginUITemplateElement& e = *plugin.Elements()[k];
        QJsonObject o{{"index", int(k)},
                      {"type", ElementName(e.type)},
                      {"rect", QJsonArray{e.x, e.y, e.width, e.height}},
                      {"font", e.fontFace},
                      {"fontSize", e.fontSize},
                      {"content", e.content},
                      {"color", Hex(e.color)},
                      {"inactive", Hex(e.inactiveColor)},
                      {"active", Hex(e.activeColor)}};
        if (e.type == ElementButton || e.type == ElementPage) {
            o.insert("action", ActionName(e));
            o.insert("hotkey", e.hotkey);
            o.insert("keypadKey", e.keypadKey);
        }
        // The reference the type uses: its id, or null when it names nothing.
        if (e.type == ElementText) o.insert("data", Nullable(e.data ? &e.data->id : nullptr));
        if (e.type == ElementVar || e.type == ElementButton) o.insert("variable", Nullable(e.variable ? &e.variable->id : nullptr));
        if (e.type == ElementSelector) o.insert("selector", Nullable(e.selector ? &e.selector->id : nullptr));
        if (e.type == ElementPage) o.insert("page", Nullable(e.page ? &e.page->id : nullptr));
        elements.append(o);
    }
    return QJsonObject{{"name", plugin.BaseName()},
                       {"folder", plugin.Folder()},
                       {"state", plugin.StateFileName()},
                       {"panel", QJsonObject{{"width", plugin.PanelWidth()}, {"height", plugin.PanelHeight()}}},
                       {"data", data},
                       {"variables", variables},
                       {"selectors", selectors},
                       {"pages", pages},
                       {"elements", elements}};
}

void Print(const QJsonObject& o) { std::fputs(QJsonDocument(o).toJson(QJsonDocument::Indented).constData(), stdout); }

int Load(const QString& path) {
    CPlugin plugin;
    const bool valid = plugin.LoadDefinition(QFileInfo(path).absoluteFilePath());
    if (!valid && plugin.Pages().empty() && plugin.PanelWidth() == 0 && plugin.Data().empty() && plugin.Variables().empty() &&
        plugin.Selectors().empty() && plugin.Elements().empty())
        return Fail(QStringLiteral("%1: %2").arg(path, plugin.LastError()));
    QJsonObject shown = Describe(plugin);
    shown.insert("valid", valid);
    if (!valid) shown.insert("error", plugin.LastError());
    Print(shown);
    if (!valid) return Fail(QStringLiteral("%1: not a usable plug-in: %2").arg(path, plugin.LastError()));
    return 0;
}

// What the panel asks of the document and of itself, written down for the step.
class RecordingHost : public IPluginHost {
public:
    explicit RecordingHost(const CPlugin& plugin) : plugin_(plugin) {}
    void ShowPage(int index) override { Command(QStringLiteral("show"), index); }
    void HidePage(int index) override { Command(QStringLiteral("hide"), index); }
    void RunDataEditor() override { events.append(QStringLiteral("dataEditor")); }
    void SetElementActive(int element, bool active) override {
        events.append(QStringLiteral("element %1 %2").arg(element).arg(active ? QStringLiteral("active") : QStringLiteral("inactive")));
    }
    void SetKeyLight(int key, int state) override { events.append(QStringLiteral("key %1 light %2").arg(key + 1).arg(state)); }

    QJsonArray commands;
    QStringList events;
    std::vector<std::pair<int, int>> statuses;  // the page states the commands lead to

private:
    void Command(const QString& what, int index) {
        commands.append(QJsonObject{{what, plugin_.PageId(index)}, {"index", index}});
        statuses.emplace_back(index, what == QLatin1String("show") ? 1 : 0);
    }
    const CPlugin& plugin_;
};

struct Step {
    QString text;
    std::function<bool(CPluginControl&, QString& error)> run;
};

// The step an ELEMENT argument stands for; false with error when it names nothing.
bool ParseStep(const CPlugin& plugin, const CPluginControl& control, const QString& arg, Step& step, QString& error) {
    step.text = arg;
    auto actOn = [](QList<int> elements) {
        return [elements](CPluginControl& c, QString&) {
            for (int k : elements) c.DoAction(k);
            return true;
        };
    };
    // Plain digits only: a caption such as "+1" is not an index.
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (digits.match(arg).hasMatch()) {
        const int index = arg.toInt();
        if (index < 0 || size_t(index) >= plugin.Elements().size()) {
            error = QStringLiteral("%1: the panel has elements 0 to %2").arg(arg).arg(int(plugin.Elements().size()) - 1);
            return false;
        }
        step.run = actOn({index});
        return true;
    }
    static const QRegularExpression functionKey(QStringLiteral("^F([1-9]|1[0-2])$"));
    if (const auto m = functionKey.match(arg); m.hasMatch()) {
        step.run = actOn(control.ElementsForHotkey(m.captured(1).toInt()));
        return true;
    }
    static const QRegularExpression keypad(QStringLiteral("^key:([0-9]+)$"));
    if (const auto m = keypad.match(arg); m.hasMatch()) {
        const int key = m.captured(1).toInt();
        if (key < 1) {
            error = QStringLiteral("%1: keypad keys count from 1").arg(arg);
            return false;
        }
        step.run = [key](CPluginControl& c, QString&) {
            c.OnKeypadKey(key - 1, 1);
            return true;
        };
        return true;
    }
    static const QRegularExpression assignment(QStringLiteral("^(select|text|file|status):([^=]*)=(.*)$"),
                                               QRegularExpression::DotMatchesEverythingOption);
    if (const auto m = assignment.match(arg); m.hasMatch()) {
        const QString kind = m.captured(1), id = m.captured(2), value = m.captured(3);
        if (kind == QLatin1String("select")) {
            CPluginSelector* selector = plugin.FindSelector(id);
            bool ok = false;
            const int item = value.toInt(&ok);
            if (!selector || !ok) {
                error = QStringLiteral("%1: select:SELECTOR=ITEM names a selector and an item number").arg(arg);
                return false;
            }
            step.run = [selector, item](CPluginControl& c, QString& why) {
                if (item < 0 || item >= selector->items.size()) {
                    why = QStringLiteral("selector %1 has %2 items").arg(selector->id).arg(selector->items.size());
                    return false;
                }
                c.SelectItem(*selector, item);
                return true;
            };
            return true;
        }
        if (kind == QLatin1String("status")) {
            const CPluginPage* page = plugin.FindPage(id);
            if (!page || (value != QLatin1String("0") && value != QLatin1String("1"))) {
                error = QStringLiteral("%1: status:PAGE=0|1 names a page").arg(arg);
                return false;
            }
            const int index = page->index, playing = value.toInt();
            step.run = [index, playing](CPluginControl& c, QString&) {
                c.OnPlaybackStatus(index, playing);
                return true;
            };
            return true;
        }
        CPluginData* item = plugin.FindData(id);
        const bool wantsText = kind == QLatin1String("text");
        if (!item || (item->type == DataText) != wantsText) {
            error = wantsText ? QStringLiteral("%1: text:ID=TEXT names a text item").arg(arg)
                              : QStringLiteral("%1: file:ID=PATH names a table or image item").arg(arg);
            return false;
        }
        if (wantsText) {
            step.run = [item, value](CPluginControl& c, QString&) {
                c.SetText(*item, value);
                return true;
            };
        } else {
            const QString path = QFileInfo(value).absoluteFilePath();
            step.run = [item, path](CPluginControl& c, QString& why) {
                if (!c.ChooseFile(*item, path))
                    why = QStringLiteral("warning: %1: %2 (kept as the item's file)").arg(path, item->problem);
                return true;
            };
        }
        return true;
    }
    QList<int> captioned;
    for (size_t k = 0; k < plugin.Elements().size(); ++k) {
        const CPluginUITemplateElement& e = *plugin.Elements()[k];
        if ((e.type == ElementButton || e.type == ElementPage) && e.content == arg) captioned.append(int(k));
    }
    if (captioned.isEmpty()) {
        error = QStringLiteral("%1: no button or page element has this caption (see cvtool plugin load)").arg(arg);
        return false;
    }
    step.run = actOn(captioned);
    return true;
}

QString Shown(const CPlugin& plugin, const QString& path) {
    return path.startsWith(plugin.Folder()) ? path.mid(plugin.Folder().size()) : path;
}

int Act(const QString& path, const QStringList& elements) {
    CPlugin plugin;
    if (!plugin.LoadDefinition(QFileInfo(path).absoluteFilePath()))
        return Fail(QStringLiteral("%1: %2").arg(path, plugin.LastError()));
    RecordingHost host(plugin);
    CPluginControl control(plugin, host);
    std::vector<Step> steps;
    for (const QString& arg : elements) {
        Step step;
        QString error;
        if (!ParseStep(plugin, control, arg, step, error)) return Fail(error);
        steps.push_back(std::move(step));
    }
    QJsonArray written, deleted;
    plugin.fileObserver = [&](const QString& file, bool wasWritten) {
        (wasWritten ? written : deleted).append(Shown(plugin, file));
    };
    control.Start();
    QJsonObject result{{"start", QJsonObject{{"deleted", deleted}, {"written", written}}}};
    QJsonArray shownSteps;
    for (const Step& step : steps) {
        written = deleted = QJsonArray();
        host.commands = QJsonArray();
        host.events.clear();
        host.statuses.clear();
        QString note;
        if (!step.run(control, note)) return Fail(QStringLiteral("%1: %2").arg(step.text, note));
        if (!note.isEmpty()) std::fprintf(stderr, "cvtool: %s\n", qUtf8Printable(note));
        QJsonObject o{{"element", step.text}, {"commands", host.commands}, {"written", written}};
        if (!deleted.isEmpty()) o.insert("deleted", deleted);
        // The document carries the commands out and reports the pages' new states.
        const auto statuses = host.statuses;
        for (const auto& [index, playing] : statuses) control.OnPlaybackStatus(index, playing);
        if (!host.events.isEmpty()) o.insert("panel", QJsonArray::fromStringList(host.events));
        shownSteps.append(o);
    }
    result.insert("steps", shownSteps);
    QJsonObject values;
    for (const auto& item : plugin.Data()) values.insert(QStringLiteral("data.") + item->id, item->value);
    for (const auto& v : plugin.Variables()) values.insert(QStringLiteral("var.") + v->id, v->value);
    for (const auto& s : plugin.Selectors()) values.insert(QStringLiteral("selector.") + s->id, s->selection);
    QJsonObject playing;
    for (const auto& p : plugin.Pages()) playing.insert(p->id, p->playing != 0);
    result.insert("values", values);
    result.insert("playing", playing);
    Print(result);
    return 0;
}

}  // namespace

int PluginCommand(const QStringList& args) {
    if (args.size() == 2 && args[0] == QLatin1String("load")) return Load(args[1]);
    if (args.size() >= 2 && args[0] == QLatin1String("act")) return Act(args[1], args.mid(2));
    std::fputs(Usage, stderr);
    return 2;
}
