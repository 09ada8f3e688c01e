#include "base/Xml.h"

#include <gtest/gtest.h>

#include <tinyxml.h>

namespace {

// The count follows the markup as the parser reads it, whatever text and values hold.
TEST(XmlNesting, CountsElementsNotLookalikes) {
    const struct {
        const char* xml;
        int depth;
    } cases[] = {
        {"", 0},
        {"<a/>", 0},
        {"<a></a>", 1},
        {"<a><b><c/></b></a>", 2},
        {"<a>/></a>", 1},
        {"<a>/>/>/><b>/></b></a>", 2},
        {"<a x=\"/>\"><b y='/>'></b></a>", 2},
        {"<a x = \"</a></a>\"><b/></a>", 1},
        {"<a><!-- <b><c><d> --></a>", 1},
        {"<a><![CDATA[<b><c><d>]]></a>", 1},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a><b></b></a>", 2},
        {"<?xml version=\"</a></a>\"?><a><b></b></a>", 2},
        {"<!DOCTYPE a><a><b/></a>", 1},
        // Broken: closings before openings never make room for more depth.
        {"</a></a></a><b><c></c></b>", 2},
        // Unclosed: every open counts.
        {"<a><a><a>", 3},
    };
    for (const auto& c : cases) EXPECT_EQ(Xml::NestingDepth(QByteArray(c.xml)), c.depth) << c.xml;
}

TEST(XmlNesting, ParseRefusesDeepDocumentsAndParserErrors) {
    const QByteArray shallow = "<r>" + QByteArray("<a>").repeated(10) + QByteArray("</a>").repeated(10) + "</r>";
    TiXmlDocument ok;
    EXPECT_TRUE(Xml::Parse(ok, shallow));
    EXPECT_FALSE(Xml::Parse(ok, shallow, 10));  // 11 levels
    for (const QByteArray& deep :
         {QByteArray("<a>").repeated(200000), QByteArray("<a>/>").repeated(200000) + QByteArray("</a>").repeated(200000),
          QByteArray("<a v=\"/>\">").repeated(200000)}) {
        TiXmlDocument document;
        EXPECT_FALSE(Xml::Parse(document, deep));
    }
    TiXmlDocument broken;
    EXPECT_FALSE(Xml::Parse(broken, "<a><b></a>"));
}

}  // namespace
