// Every XML file the system reads (language packs, scripts, plug-in definitions and
// state) goes through here, so that a hostile file cannot exhaust the stack of the
// recursive parser.
//
// Threads: any thread; nothing is shared.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

class TiXmlDocument;

namespace Xml {

// Deeper than any file the system writes or reads needs by far.
constexpr int MaxDepth = 64;

// The deepest nesting of elements, scanned the way the parser reads the markup:
// comments, CDATA, declarations and quoted attribute values are skipped whole, and
// only a "/>" that ends a start tag or a "</" in content closes an element, so a
// "/>" inside text or a value cannot lower the count. Where the scan cannot tell,
// it counts deeper, never shallower.
int NestingDepth(const QByteArray& xml);

// Parses xml (UTF-8) into document when its nesting is within maxDepth; false when
// it is deeper or the parser reports an error, with the reason in why when given.
bool Parse(TiXmlDocument& document, const QByteArray& xml, int maxDepth = MaxDepth, QString* why = nullptr);

// Attribute values as the files' writers meant them (null reads as empty):
// The integer at the start of text as atoi reads it (white space, a sign, decimal
// digits; nothing else gives 0), saturating at the ends of the 32-bit range.
int32_t LeadingInteger(const char* text);
// The value as strtoul with base 16 reads it into a 32-bit unsigned long (white
// space, a sign, an optional "0x"): a value beyond 32 bits gives the largest one,
// not its low 32 bits; a minus sign negates modulo 2^32.
uint32_t LeadingHex(const char* text);

}  // namespace Xml
