// Every XML file the system reads (language packs, scripts, plug-in definitions and
// state) goes through here, so that a hostile file cannot exhaust the stack of the
// recursive parser.
//
// Threads: any thread; nothing is shared.
#pragma once

#include <QByteArray>
#include <QString>

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

}  // namespace Xml
