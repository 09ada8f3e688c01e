#include "plugin/Plugin.h"

#include "base/Debug.h"
#include "base/SafeFile.h"
#include "base/Xml.h"

#include <tinyxml.h>

#include <QFileInfo>

#include <cstring>
#include <strings.h>

namespace {

// Names of data and panel elements match without regard to case; everything else
// (the fixed structure, attribute names) matches exactly.
bool NameIs(const TiXmlElement& e, const char* name) { return ::strcasecmp(e.Value(), name) == 0; }

QString TextAttribute(const TiXmlElement& e, const char* name, const char* absent = "") {
    const char* value = e.Attribute(name);
    return QString::fromUtf8(value ? value : absent);
}

int32_t IntAttribute(const TiXmlElement& e, const char* name, int32_t absent) {
    const char* value = e.Attribute(name);
    return value ? Xml::LeadingInteger(value) : absent;
}

uint32_t ColourAttribute(const TiXmlElement& e, const char* name, uint32_t absent) {
    const char* value = e.Attribute(name);
    return value ? Xml::LeadingHex(value) : absent;
}

// The ids of the page children of the first hook element called name.
QStringList HookList(const TiXmlElement& page, const char* name) {
    QStringList ids;
    if (const TiXmlElement* hook = page.FirstChildElement(name))
        for (const TiXmlElement* p = hook->FirstChildElement("page"); p; p = p->NextSiblingElement("page"))
            ids.append(TextAttribute(*p, "id"));
    return ids;
}

template <class T>
T* FindById(const std::vector<std::unique_ptr<T>>& list, const QString& id) {
    for (const auto& item : list)
        if (item->id == id) return item.get();
    return nullptr;
}

}  // namespace

CPlugin::CPlugin() = default;
CPlugin::~CPlugin() = default;

void CPlugin::Clear() {
    // Selectors and panel elements point into the other collections: they go first.
    elements_.clear();
    selectors_.clear();
    pages_.clear();
    variables_.clear();
    data_.clear();
    panelWidth_ = 0;
    panelHeight_ = 0;
}

bool CPlugin::LoadDefinition(const QString& path) {
    Clear();
    lastError_.clear();
    const QFileInfo info(path);
    folder_ = info.absolutePath();
    if (!folder_.endsWith(u'/')) folder_ += u'/';
    baseName_ = info.completeBaseName();
    QByteArray bytes;
    bool ok = false;
    if (const FileRefusal refusal = SafeFile::ReadAll(path, MaxFileBytes, bytes); refusal != FileRefusal::None) {
        lastError_ = FileRefusalText(refusal, MaxFileBytes);
    } else {
        ok = Read(bytes);
    }
    if (!ok) CDebug::Log(2, "CPlugin::LoadDefinition(%s): %s", path, lastError_);
    CDebug::Log(2, "CPlugin::LoadDefinition(%s) = %d", path, int(ok));
    return ok;
}

bool CPlugin::Read(const QByteArray& bytes) {
    TiXmlDocument document;
    if (!Xml::Parse(document, bytes, Xml::MaxDepth, &lastError_)) return false;
    const TiXmlElement* root = document.FirstChildElement("config");
    if (!root) {
        lastError_ = QStringLiteral("no <config> element");
        return false;
    }

    if (const TiXmlElement* section = root->FirstChildElement("data")) {
        for (const TiXmlElement* e = section->FirstChildElement(); e; e = e->NextSiblingElement()) {
            const QString id = TextAttribute(*e, "id");
            if (FindData(id)) continue;
            const QString name = TextAttribute(*e, "name");
            if (NameIs(*e, "text")) {
                data_.push_back(std::make_unique<CPluginDataText>(*this, id, name));
            } else if (NameIs(*e, "table")) {
                data_.push_back(std::make_unique<CPluginDataTable>(*this, id, name));
            } else if (NameIs(*e, "image")) {
                data_.push_back(std::make_unique<CPluginDataImage>(*this, id, name, TextAttribute(*e, "type")));
            } else {
                // A kind of data this version does not know: nothing could show it.
                CDebug::Log(2, "CPlugin::LoadDefinition(): data element <%s> (id \"%s\") is not text, table or image; left out",
                            e->Value(), id);
            }
        }
    }

    if (const TiXmlElement* section = root->FirstChildElement("variables")) {
        for (const TiXmlElement* e = section->FirstChildElement("var"); e; e = e->NextSiblingElement("var")) {
            const QString id = TextAttribute(*e, "id");
            if (FindVariable(id)) continue;
            variables_.push_back(
                std::make_unique<CPluginVariable>(*this, id, IntAttribute(*e, "min", 0), IntAttribute(*e, "max", 0)));
        }
    }

    if (const TiXmlElement* section = root->FirstChildElement("selectors")) {
        for (const TiXmlElement* e = section->FirstChildElement("selector"); e; e = e->NextSiblingElement("selector")) {
            const QString id = TextAttribute(*e, "id");
            if (FindSelector(id)) continue;
            selectors_.push_back(std::make_unique<CPluginSelector>(*this, id, TextAttribute(*e, "table"),
                                                                   TextAttribute(*e, "format", "%1%")));
        }
    }

    if (const TiXmlElement* section = root->FirstChildElement("pages")) {
        for (const TiXmlElement* e = section->FirstChildElement("page"); e; e = e->NextSiblingElement("page")) {
            const QString id = TextAttribute(*e, "id");
            if (FindPage(id)) continue;
            auto page = std::make_unique<CPluginPage>();
            page->plugin = this;
            page->index = int32_t(pages_.size());
            page->id = id;
            page->name = TextAttribute(*e, "name");
            page->beforeHide = HookList(*e, "before_hide");
            page->beforeShow = HookList(*e, "before_show");
            page->afterHide = HookList(*e, "after_hide");
            page->afterShow = HookList(*e, "after_show");
            pages_.push_back(std::move(page));
        }
    }

    // Last: panel elements refer to objects of every other section.
    const TiXmlElement* ui = root->FirstChildElement("ui");
    if (ui) ReadPanel(*ui);

    if (pages_.empty()) {
        lastError_ = QStringLiteral("the definition has no page");
        return false;
    }
    if (!ui) {
        lastError_ = QStringLiteral("the definition has no panel (<ui>)");
        return false;
    }
    if (panelWidth_ < 1 || panelHeight_ < 1) {
        lastError_ = QStringLiteral("the panel has no size (width %1, height %2)").arg(panelWidth_).arg(panelHeight_);
        return false;
    }
    return true;
}

void CPlugin::ReadPanel(const TiXmlElement& ui) {
    panelWidth_ = IntAttribute(ui, "width", 400);
    panelHeight_ = IntAttribute(ui, "height", 300);
    for (const TiXmlElement* e = ui.FirstChildElement(); e; e = e->NextSiblingElement()) {
        auto element = std::make_unique<CPluginUITemplateElement>();
        CPluginUITemplateElement& t = *element;
        t.x = IntAttribute(*e, "x", 0);
        t.y = IntAttribute(*e, "y", 0);
        t.width = IntAttribute(*e, "width", 100);
        t.height = IntAttribute(*e, "height", 10);
        t.fontSize = IntAttribute(*e, "fontsize", 10);
        t.fontFace = TextAttribute(*e, "font", "Arial");
        const QString id = TextAttribute(*e, "id");
        const bool labelled = NameIs(*e, "static") || NameIs(*e, "text") || NameIs(*e, "var");
        const bool clickable = NameIs(*e, "button") || NameIs(*e, "page");
        if (labelled) {
            t.color = ColourAttribute(*e, "color", 0xFFFFFF);
            t.inactiveColor = t.activeColor = ColourAttribute(*e, "background", 0);
        } else if (clickable) {
            t.color = ColourAttribute(*e, "color", 0xC0C0C0);
            t.inactiveColor = ColourAttribute(*e, "inactive", 0x404040);
            t.activeColor = ColourAttribute(*e, "active", 0x808080);
            t.content = TextAttribute(*e, "content");
            t.hotkey = IntAttribute(*e, "hotkey", 0);
            t.keypadKey = IntAttribute(*e, "remote_button", 0);
        }
        const char* action = e->Attribute("action");
        if (NameIs(*e, "static")) {
            t.type = ElementStatic;
            t.content = TextAttribute(*e, "content");
        } else if (NameIs(*e, "text")) {
            t.type = ElementText;
            t.data = FindData(id);
        } else if (NameIs(*e, "var")) {
            t.type = ElementVar;
            t.variable = FindVariable(id);
        } else if (NameIs(*e, "button")) {
            t.type = ElementButton;
            t.variable = FindVariable(id);
            // The data editor's button is the one named "int_data" that has no
            // variable of that name; any action given replaces it.
            t.action = !t.variable && id == QLatin1String("int_data") ? ActionDataEditor : 0;
            if (action && std::strcmp(action, "inc") == 0) t.action = ActionInc;
            else if (action && std::strcmp(action, "dec") == 0) t.action = ActionDec;
            else if (action && std::strcmp(action, "reset") == 0) t.action = ActionReset;
        } else if (NameIs(*e, "page")) {
            t.type = ElementPage;
            t.page = FindPage(id);
            t.action = action && std::strcmp(action, "show") == 0   ? ActionShow
                       : action && std::strcmp(action, "hide") == 0 ? ActionHide
                                                                    : ActionToggle;
        } else if (NameIs(*e, "selector")) {
            t.type = ElementSelector;
            t.selector = FindSelector(id);
        } else {
            // An element of another name keeps its place as an empty label, drawn
            // as a static without colour attributes would be.
            t.type = ElementStatic;
            t.color = 0xFFFFFF;
            CDebug::Log(2, "CPlugin::LoadDefinition(): panel element <%s> is not known; shown as an empty label",
                        e->Value());
        }
        elements_.push_back(std::move(element));
    }
}

CPluginData* CPlugin::FindData(const QString& id) const { return FindById(data_, id); }
CPluginVariable* CPlugin::FindVariable(const QString& id) const { return FindById(variables_, id); }
CPluginSelector* CPlugin::FindSelector(const QString& id) const { return FindById(selectors_, id); }
CPluginPage* CPlugin::FindPage(const QString& id) const { return FindById(pages_, id); }

QString CPlugin::GetPageFileName(int pageIndex) const {
    if (pageIndex < 0 || size_t(pageIndex) >= pages_.size()) return QString();
    return folder_ + pages_[size_t(pageIndex)]->id + QStringLiteral(".corvane");
}

QString CPlugin::PageId(int pageIndex) const {
    if (pageIndex < 0 || size_t(pageIndex) >= pages_.size()) return QString();
    return pages_[size_t(pageIndex)]->id;
}
