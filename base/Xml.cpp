#include "base/Xml.h"

#include <tinyxml.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace Xml {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsNameStart(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u >= 0x80;
}
bool StartsWith(const char* p, const char* end, const char* text, bool ignoreCase = false) {
    const size_t n = std::strlen(text);
    if (size_t(end - p) < n) return false;
    return ignoreCase ? ::strncasecmp(p, text, n) == 0 : std::memcmp(p, text, n) == 0;
}
// Just past the first occurrence of text, or end.
const char* PastText(const char* p, const char* end, const char* text) {
    const size_t n = std::strlen(text);
    for (; p + n <= end; ++p)
        if (std::memcmp(p, text, n) == 0) return p + n;
    return end;
}

// An attribute's value after its "=": a quoted one runs to its closing quote (so a
// ">" or "/>" inside it is text); an unquoted one to a space, "/" or ">".
const char* PastValue(const char* p, const char* end) {
    while (p < end && IsSpace(*p)) ++p;
    if (p < end && (*p == '"' || *p == '\'')) {
        const char quote = *p++;
        while (p < end && *p != quote) ++p;
        return p < end ? p + 1 : end;
    }
    while (p < end && !IsSpace(*p) && *p != '/' && *p != '>') ++p;
    return p;
}

}  // namespace

int NestingDepth(const QByteArray& xml) {
    const char* p = xml.constData();
    const char* const end = p + xml.size();
    int depth = 0, deepest = 0;
    while (p < end) {
        if (*p != '<') {  // text up to the next markup
            const void* next = std::memchr(p, '<', size_t(end - p));
            p = next ? static_cast<const char*>(next) : end;
            continue;
        }
        if (StartsWith(p, end, "<!--")) {
            p = PastText(p + 4, end, "-->");
        } else if (StartsWith(p, end, "<![CDATA[")) {
            p = PastText(p + 9, end, "]]>");
        } else if (StartsWith(p, end, "<?xml", true)) {
            // A declaration reads its version, encoding and standalone values as
            // attributes (quoted, so a ">" inside does not end it); anything else up
            // to a space or ">".
            p += 5;
            while (p < end && *p != '>') {
                if (IsSpace(*p)) {
                    ++p;
                } else if (StartsWith(p, end, "version", true) || StartsWith(p, end, "encoding", true) ||
                           StartsWith(p, end, "standalone", true)) {
                    while (p < end && !IsSpace(*p) && *p != '=' && *p != '>') ++p;
                    while (p < end && IsSpace(*p)) ++p;
                    if (p < end && *p == '=') p = PastValue(p + 1, end);
                } else {
                    while (p < end && !IsSpace(*p) && *p != '>') ++p;
                }
            }
            p = std::min(p + 1, end);
        } else if (StartsWith(p, end, "</")) {
            --depth;
            const void* close = std::memchr(p, '>', size_t(end - p));
            p = close ? static_cast<const char*>(close) + 1 : end;
        } else if (p + 1 < end && IsNameStart(p[1])) {
            // A start tag: its name, then attributes up to ">" or "/>".
            p += 2;
            bool empty = false;
            while (p < end) {
                if (*p == '>') {
                    ++p;
                    break;
                }
                if (*p == '/' && p + 1 < end && p[1] == '>') {
                    empty = true;
                    p += 2;
                    break;
                }
                if (*p == '=') {
                    p = PastValue(p + 1, end);
                    continue;
                }
                ++p;
            }
            if (!empty) deepest = std::max(deepest, ++depth);
        } else {
            // "<!DOCTYPE", "<?other" and the like: skipped to the next ">".
            const void* close = std::memchr(p, '>', size_t(end - p));
            p = close ? static_cast<const char*>(close) + 1 : end;
        }
        // More closings than openings only happen in a broken file; never let them
        // make room for deeper nesting later.
        depth = std::max(depth, 0);
    }
    return deepest;
}

bool Parse(TiXmlDocument& document, const QByteArray& xml, int maxDepth, QString* why) {
    if (NestingDepth(xml) > maxDepth) {
        if (why) *why = QStringLiteral("elements nested deeper than %1 levels").arg(maxDepth);
        return false;
    }
    // The bytes are NUL-terminated by QByteArray; a NUL inside ends the text.
    document.Parse(xml.constData(), nullptr, TIXML_ENCODING_UTF8);
    if (!document.Error()) return true;
    if (why)
        *why = QStringLiteral("not well-formed XML: %1 (line %2)")
                   .arg(QString::fromUtf8(document.ErrorDesc()))
                   .arg(document.ErrorRow());
    return false;
}

int32_t LeadingInteger(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    long long value = 0;
    constexpr long long limit = 1LL + std::numeric_limits<int32_t>::max();
    for (; *p >= '0' && *p <= '9'; ++p) value = std::min(limit, value * 10 + (*p - '0'));
    if (negative) value = -value;
    return int32_t(std::clamp<long long>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

uint32_t LeadingHex(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    if (!std::isxdigit(static_cast<unsigned char>(*p))) return 0;
    errno = 0;
    const unsigned long long magnitude = std::strtoull(p, nullptr, 16);
    if (errno == ERANGE || magnitude > 0xFFFFFFFFull) return 0xFFFFFFFFu;
    return negative ? uint32_t(0u - uint32_t(magnitude)) : uint32_t(magnitude);
}

}  // namespace Xml
