#include "script/FrameScript.h"

#include "base/Debug.h"
#include "base/SafeFile.h"
#include "base/Translate.h"
#include "base/Xml.h"
#include "core/PageFile.h"

#include <tinyxml.h>

#include <algorithm>

namespace {

// String ids of the list texts: the kind's own text (or "... all objects"), and
// "... group: %s" for the object actions with a group.
constexpr unsigned ListTextId = 12260;
constexpr unsigned ListTextGroupId = 12268;  // + kind, for kinds 2 to 7

QString TotalText(long long seconds) {
    if (seconds >= 3600)
        return FormatString(QStringLiteral("%d:%02d:%02d"), {seconds / 3600, (seconds % 3600) / 60, seconds % 60});
    return FormatString(QStringLiteral("%d:%02d"), {seconds / 60, seconds % 60});
}

}  // namespace

namespace ScriptFile {

QString NameWithoutFolderAndExtension(const QString& path) {
    QString name = path.mid(std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\')) + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0) name.truncate(dot);
    return name;
}

}  // namespace ScriptFile

// ---------------------------------------------------------------------------------
// CFrameScriptItem

std::unique_ptr<CFrameScriptItem> CFrameScriptItem::Added(ScriptActionType t) {
    int32_t idata = 0;
    if (t == ScriptActionType::WaitPeriod) idata = 10;
    if (t == ScriptActionType::WaitUntilTime) idata = 12 * 3600;
    return std::make_unique<CFrameScriptItem>(t, QString(), idata);
}

QString CFrameScriptItem::ListText() const {
    const CTranslate& translate = CTranslate::Global();
    const int kind = int(type);
    if (kind < 0 || kind >= ScriptActionTypeCount) return QString();
    if (HasPagePath())
        return translate.FormatText(ListTextId + unsigned(kind), {ScriptFile::NameWithoutFolderAndExtension(sdata)});
    if (type == ScriptActionType::WaitPeriod) return translate.FormatText(ListTextId + unsigned(kind), {idata});
    if (type == ScriptActionType::WaitUntilTime)
        return translate.FormatText(ListTextId + unsigned(kind), {idata / 3600, (idata % 3600) / 60, idata % 60});
    if (sdata.isEmpty()) return translate.LoadText(ListTextId + unsigned(kind));
    return translate.FormatText(ListTextGroupId + unsigned(kind), {sdata});
}

// ---------------------------------------------------------------------------------
// CFrameScript

void CFrameScript::Clear() {
    items_.clear();
    loop_ = 0;
    fileName_.clear();
}

void CFrameScript::RemoveAt(int index) { items_.erase(items_.begin() + index); }

void CFrameScript::SwapWithNext(int index) { std::swap(items_[size_t(index)], items_[size_t(index) + 1]); }

QString CFrameScript::DisplayName() const { return ScriptFile::NameWithoutFolderAndExtension(fileName_); }

QStringList CFrameScript::TimeColumn() const {
    QStringList texts;
    long long total = 0, shown = 0;
    for (const auto& item : items_) {
        texts.append(total != shown ? TotalText(total) : QString());
        shown = total;
        if (item->type == ScriptActionType::WaitPeriod) total += item->idata;
    }
    return texts;
}

bool CFrameScript::SameContent(const CFrameScript& other) const {
    return loop_ == other.loop_ &&
           std::equal(items_.begin(), items_.end(), other.items_.begin(), other.items_.end(),
                      [](const auto& a, const auto& b) { return *a == *b; });
}

bool CFrameScript::LoadFile(const QString& path) {
    Clear();
    lastError_.clear();
    QByteArray bytes;
    bool ok = false;
    if (const FileRefusal refusal = SafeFile::ReadAll(path, MaxFileBytes, bytes); refusal != FileRefusal::None) {
        lastError_ = FileRefusalText(refusal, MaxFileBytes);
    } else {
        ok = Read(bytes, path);
    }
    if (ok) {
        fileName_ = path;
    } else {
        Clear();
        CDebug::Log(2, "CFrameScript::LoadFile(%s): %s", path, lastError_);
    }
    CDebug::Log(2, "CFrameScript::LoadFile(%s) = %d", path, int(ok));
    return ok;
}

bool CFrameScript::Read(const QByteArray& bytes, const QString& path) {
    TiXmlDocument document;
    if (!Xml::Parse(document, bytes, Xml::MaxDepth, &lastError_)) return false;
    const TiXmlElement* root = document.FirstChildElement("script");
    if (!root) {
        lastError_ = QStringLiteral("no <script> element");
        return false;
    }
    loop_ = Xml::LeadingInteger(root->Attribute("loop")) != 0 ? 1 : 0;
    for (const TiXmlElement* e = root->FirstChildElement("item"); e; e = e->NextSiblingElement("item")) {
        // Actions without a kind, or of a kind this version does not know, are left out.
        const char* type = e->Attribute("type");
        if (!type) continue;
        const int32_t kind = Xml::LeadingInteger(type);
        if (kind < 0 || kind >= ScriptActionTypeCount) continue;
        auto item = std::make_unique<CFrameScriptItem>(ScriptActionType(kind));
        const char* sdata = e->Attribute("sdata");
        item->sdata = QString::fromUtf8(sdata ? sdata : "");
        if (item->HasPagePath()) item->sdata = PageFile::FromStoredPath(item->sdata, path);
        item->idata = Xml::LeadingInteger(e->Attribute("idata"));
        items_.push_back(std::move(item));
    }
    if (items_.empty()) {
        lastError_ = QStringLiteral("no action of a known kind");
        return false;
    }
    return true;
}

QByteArray CFrameScript::Serialize(const QString& path) {
    lastError_.clear();
    TiXmlDocument document;
    document.LinkEndChild(new TiXmlDeclaration("1.0", "utf-8", ""));
    auto* root = new TiXmlElement("script");
    document.LinkEndChild(root);
    root->SetAttribute("loop", loop_ ? 1 : 0);
    for (size_t k = 0; k < items_.size(); ++k) {
        const CFrameScriptItem& item = *items_[k];
        const QByteArray sdata =
            (item.HasPagePath() ? PageFile::ToStoredPath(item.sdata, path) : item.sdata).toUtf8();
        if (sdata.size() > MaxStoredTextBytes) {
            lastError_ = QStringLiteral("the text of action %1 is longer than %2 bytes").arg(k + 1).arg(MaxStoredTextBytes);
            return QByteArray();
        }
        auto* element = new TiXmlElement("item");
        root->LinkEndChild(element);
        element->SetAttribute("type", int(item.type));
        element->SetAttribute("sdata", sdata.constData());
        element->SetAttribute("idata", int(item.idata));
    }
    TiXmlPrinter printer;
    printer.SetIndent("    ");
    printer.SetLineBreak("\r\n");
    document.Accept(&printer);
    return QByteArray(printer.CStr(), qsizetype(printer.Size()));
}

bool CFrameScript::SaveFile(const QString& path) {
    const QByteArray bytes = Serialize(path);
    if (bytes.isEmpty()) {
        CDebug::Log(2, "CFrameScript::SaveFile(%s): %s", path, lastError_);
        return false;
    }
    if (const FileRefusal refusal = SafeFile::WriteAll(path, bytes); refusal != FileRefusal::None) {
        lastError_ = QString::fromUtf8(FileRefusalText(refusal));
        CDebug::Log(2, "CFrameScript::SaveFile(%s): %s", path, lastError_);
        return false;
    }
    fileName_ = path;
    return true;
}
