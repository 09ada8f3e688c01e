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

TEST(XmlLeadingInteger, ReadsLikeAtoiAndSaturates) {
    struct Case {
        const char* text;
        int32_t value;
    };
    const Case cases[] = {
        {"0", 0},           {"7", 7},           {"-7", -7},         {"+7", 7},
        {"  \t\r\n12", 12}, {"12abc", 12},      {"12 34", 12},      {"1.9", 1},
        {"0x10", 0},        {"010", 10},        {"", 0},            {"abc", 0},
        {"-", 0},           {"+-3", 0},         {"- 3", 0},         {"yes", 0},
        {"2147483647", 2147483647},             {"2147483648", 2147483647},
        {"-2147483648", -2147483647 - 1},       {"-2147483649", -2147483647 - 1},
        {"99999999999999999999999", 2147483647}, {"\xc2\xa0" "5", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(Xml::LeadingInteger(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(Xml::LeadingInteger(nullptr), 0);
}

// Colours: strtoul with base 16 into a 32-bit word.
TEST(XmlLeadingHex, ReadsLikeStrtoulBase16) {
    struct Case {
        const char* text;
        uint32_t value;
    };
    const Case cases[] = {
        {"FF0000", 0xFF0000u}, {"0000FF", 0xFFu},   {"0x0000ff", 0xFFu}, {"0X10", 0x10u},
        {" \t c0c0c0", 0xC0C0C0u}, {"12zz", 0x12u}, {"", 0},            {"zz", 0},
        {"0x", 0},             {"-1", 0xFFFFFFFFu}, {"+a", 0xAu},        {"FFFFFFFF", 0xFFFFFFFFu},
        {"100000000", 0xFFFFFFFFu}, {"FFFFFFFFFFFFFFFFFFFF", 0xFFFFFFFFu},
    };
    for (const Case& c : cases) EXPECT_EQ(Xml::LeadingHex(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(Xml::LeadingHex(nullptr), 0u);
}

}  // namespace
