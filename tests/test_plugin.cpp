// Plug-in definitions: the collections, every default, names matched exactly or
// without case, duplicates, references across sections, and the validity rule.
#include "tests/PluginFixture.h"

namespace {

using PluginDefinition = PluginFixture;

constexpr const char* Skeleton = R"(
  <ui width="420" height="310">
    <!-- the panel comes first: references still find everything below -->
    <var id="score" x="10" y="20" width="60" height="30" fontsize="24" font="Liberation Sans" color="00FF00" background="101010"/>
    <button id="score" action="inc" content="+1" hotkey="5" remote_button="3"/>
    <button id="score" action="dec" content="-1"/>
    <selector id="scorer" x="5" y="6"/>
    <page id="home" content="Home" action="show"/>
    <text id="title"/>
    <static content="Score"/>
  </ui>
  <data>
    <text id="title" name="Title"/>
    <table id="players" name="Players"/>
    <image id="logo" name="Logo" type="png"/>
  </data>
  <variables>
    <var id="score" min="0" max="99"/>
  </variables>
  <selectors>
    <selector id="scorer" table="players" format="%1% %2%"/>
  </selectors>
  <pages>
    <page id="home" name="Home team"/>
    <page id="away" name="Away team">
      <before_show><page id="home"/></before_show>
    </page>
  </pages>)";

TEST_F(PluginDefinition, SkeletonBuildsEveryCollection) {
    ASSERT_TRUE(Define(Skeleton)) << plugin.LastError().toStdString();
    EXPECT_EQ(plugin.BaseName(), QStringLiteral("Match"));
    EXPECT_EQ(plugin.Folder(), Folder());
    EXPECT_EQ(plugin.PanelWidth(), 420);
    EXPECT_EQ(plugin.PanelHeight(), 310);

    ASSERT_EQ(plugin.Data().size(), 3u);
    const struct {
        int type;
        const char* id;
        const char* name;
        int valid;
    } data[] = {{DataText, "title", "Title", 1}, {DataTable, "players", "Players", 0}, {DataImage, "logo", "Logo", 0}};
    for (size_t k = 0; k < 3; ++k) {
        const CPluginData& item = *plugin.Data()[k];
        EXPECT_EQ(item.type, data[k].type) << k;
        EXPECT_EQ(item.id, QString::fromUtf8(data[k].id));
        EXPECT_EQ(item.name, QString::fromUtf8(data[k].name));
        EXPECT_EQ(item.valid, data[k].valid) << k;
        EXPECT_TRUE(item.value.isEmpty());
        EXPECT_EQ(item.plugin, &plugin);
    }
    EXPECT_EQ(static_cast<const CPluginDataImage&>(*plugin.Data()[2]).imageType, QStringLiteral("png"));

    ASSERT_EQ(plugin.Variables().size(), 1u);
    EXPECT_EQ(plugin.Variables()[0]->minimum, 0);
    EXPECT_EQ(plugin.Variables()[0]->maximum, 99);
    EXPECT_EQ(plugin.Variables()[0]->value, 0);

    ASSERT_EQ(plugin.Selectors().size(), 1u);
    EXPECT_EQ(plugin.Selectors()[0]->tableId, QStringLiteral("players"));
    EXPECT_EQ(plugin.Selectors()[0]->format, QStringLiteral("%1% %2%"));
    EXPECT_EQ(plugin.Selectors()[0]->selection, 0);
    EXPECT_TRUE(plugin.Selectors()[0]->items.isEmpty());

    ASSERT_EQ(plugin.Pages().size(), 2u);
    EXPECT_EQ(plugin.Pages()[1]->index, 1);
    EXPECT_EQ(plugin.Pages()[1]->name, QStringLiteral("Away team"));
    EXPECT_EQ(plugin.Pages()[1]->beforeShow, QStringList{QStringLiteral("home")});
    EXPECT_TRUE(plugin.Pages()[1]->beforeHide.isEmpty());
    EXPECT_EQ(plugin.Pages()[0]->playing, 0);

    const auto& e = plugin.Elements();
    ASSERT_EQ(e.size(), 7u);
    EXPECT_EQ(e[0]->type, ElementVar);
    EXPECT_EQ(e[0]->variable, plugin.FindVariable(QStringLiteral("score")));
    EXPECT_NE(e[0]->variable, nullptr);
    EXPECT_EQ(std::tie(e[0]->x, e[0]->y, e[0]->width, e[0]->height, e[0]->fontSize), std::make_tuple(10, 20, 60, 30, 24));
    EXPECT_EQ(e[0]->fontFace, QStringLiteral("Liberation Sans"));
    EXPECT_EQ(e[0]->color, 0x00FF00u);
    EXPECT_EQ(e[0]->inactiveColor, 0x101010u);
    EXPECT_EQ(e[0]->activeColor, 0x101010u);
    EXPECT_EQ(e[1]->action, ActionInc);
    EXPECT_EQ(e[1]->hotkey, 5);
    EXPECT_EQ(e[1]->keypadKey, 3);
    EXPECT_EQ(e[2]->action, ActionDec);
    EXPECT_EQ(e[3]->selector, plugin.Selectors()[0].get());
    EXPECT_EQ(e[4]->page, plugin.Pages()[0].get());
    EXPECT_EQ(e[4]->action, ActionShow);
    EXPECT_EQ(e[5]->data, plugin.Data()[0].get());
    EXPECT_EQ(e[6]->content, QStringLiteral("Score"));

    EXPECT_EQ(plugin.GetPageFileName(0), Folder() + QStringLiteral("home.corvane"));
    EXPECT_EQ(plugin.GetPageFileName(1), Folder() + QStringLiteral("away.corvane"));
    EXPECT_EQ(plugin.GetPageFileName(2), QString());
    EXPECT_EQ(plugin.GetPageFileName(-1), QString());
    EXPECT_EQ(plugin.PageId(1), QStringLiteral("away"));
    EXPECT_EQ(plugin.PageId(2), QString());
}

TEST_F(PluginDefinition, EveryElementKindTakesItsDefaults) {
    ASSERT_TRUE(Define(R"(<pages><page id="p"/></pages>
      <ui><static/><text/><var/><button/><page/><selector/><label/></ui>)"));
    EXPECT_EQ(plugin.PanelWidth(), 400);
    EXPECT_EQ(plugin.PanelHeight(), 300);
    const struct {
        int type;
        uint32_t color, inactive, active;
        int action;
    } expected[] = {
        {ElementStatic, 0xFFFFFF, 0, 0, 0},
        {ElementText, 0xFFFFFF, 0, 0, 0},
        {ElementVar, 0xFFFFFF, 0, 0, 0},
        {ElementButton, 0xC0C0C0, 0x404040, 0x808080, 0},
        {ElementPage, 0xC0C0C0, 0x404040, 0x808080, ActionToggle},
        {ElementSelector, 0, 0, 0, 0},
        {ElementStatic, 0xFFFFFF, 0, 0, 0},  // an unknown name: an empty label
    };
    ASSERT_EQ(plugin.Elements().size(), std::size(expected));
    for (size_t k = 0; k < std::size(expected); ++k) {
        const CPluginUITemplateElement& e = *plugin.Elements()[k];
        SCOPED_TRACE(k);
        EXPECT_EQ(e.type, expected[k].type);
        EXPECT_EQ(std::tie(e.x, e.y, e.width, e.height, e.fontSize), std::make_tuple(0, 0, 100, 10, 10));
        EXPECT_EQ(e.fontFace, QStringLiteral("Arial"));
        EXPECT_EQ(e.color, expected[k].color);
        EXPECT_EQ(e.inactiveColor, expected[k].inactive);
        EXPECT_EQ(e.activeColor, expected[k].active);
        EXPECT_EQ(e.action, expected[k].action);
        EXPECT_EQ(e.hotkey, 0);
        EXPECT_EQ(e.keypadKey, 0);
        EXPECT_TRUE(e.content.isEmpty());
        EXPECT_FALSE(e.data || e.variable || e.selector);
        // An absent id is the empty id, and the page here has one.
        EXPECT_EQ(e.page, nullptr);
    }
}

TEST_F(PluginDefinition, AttributesReadAsWrittenEmptyAndOddValues) {
    ASSERT_TRUE(Define(R"(<data><image id="i"/><text id="t" name=""/></data>
      <variables><var id="v" min=" -7x" max="+12.5"/><var id="w" min="" max="abc"/></variables>
      <selectors><selector id="s"/><selector id="e" format=""/></selectors>
      <pages><page id="p"/></pages>
      <ui width="  640px" height="480"><static content="" font="" x="-5" y="3e2"/>
        <static content="&#xC9;quipe &amp; co" color="0x0000ff" background="FF0000"/></ui>)"));
    EXPECT_EQ(static_cast<const CPluginDataImage&>(*plugin.Data()[0]).imageType, QString());
    EXPECT_EQ(plugin.Variables()[0]->minimum, -7);
    EXPECT_EQ(plugin.Variables()[0]->maximum, 12);
    EXPECT_EQ(plugin.Variables()[1]->minimum, 0);
    EXPECT_EQ(plugin.Variables()[1]->maximum, 0);
    EXPECT_EQ(plugin.Selectors()[0]->format, QStringLiteral("%1%"));
    EXPECT_EQ(plugin.Selectors()[1]->format, QString());
    EXPECT_EQ(plugin.PanelWidth(), 640);
    const auto& e = plugin.Elements();
    EXPECT_EQ(e[0]->fontFace, QString());
    EXPECT_EQ(e[0]->x, -5);
    EXPECT_EQ(e[0]->y, 3);
    EXPECT_EQ(e[1]->content, QStringLiteral("\u00c9quipe & co"));
    EXPECT_EQ(e[1]->color, 0x0000FFu);  // red on screen
    EXPECT_EQ(e[1]->inactiveColor, 0xFF0000u);  // blue on screen
}

TEST_F(PluginDefinition, ValidOnlyWithAPageAndAPanelOfPositiveSize) {
    const struct {
        const char* body;
        bool valid;
        const char* reason;  // part of LastError
    } cases[] = {
        {R"(<pages><page id="p"/></pages><ui/>)", true, ""},
        {R"(<pages><page/></pages><ui width="1" height="1"/>)", true, ""},
        {R"(<data><text id="t"/></data><variables><var id="v"/></variables><ui/>)", false, "no page"},
        {R"(<pages/><ui/>)", false, "no page"},
        {R"(<pages><Page id="p"/></pages><ui/>)", false, "no page"},
        {R"(<Pages><page id="p"/></Pages><ui/>)", false, "no page"},
        {R"(<pages><page id="p"/></pages>)", false, "no panel"},
        {R"(<pages><page id="p"/></pages><UI/>)", false, "no panel"},
        {R"(<pages><page id="p"/></pages><ui width="0"/>)", false, "no size"},
        {R"(<pages><page id="p"/></pages><ui height="-3"/>)", false, "no size"},
        {R"(<pages><page id="p"/></pages><ui width="wide" height="300"/>)", false, "no size"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(Define(c.body), c.valid);
        EXPECT_EQ(plugin.LastError().isEmpty(), c.valid);
        EXPECT_TRUE(plugin.LastError().contains(QString::fromUtf8(c.reason))) << plugin.LastError().toStdString();
    }
    // The collections stay filled when the definition is not usable.
    EXPECT_FALSE(Define(R"(<data><text id="t"/></data><variables><var id="v"/></variables><ui><var id="v"/></ui>)"));
    EXPECT_EQ(plugin.Data().size(), 1u);
    EXPECT_EQ(plugin.Elements().size(), 1u);
    EXPECT_NE(plugin.Elements()[0]->variable, nullptr);
}

TEST_F(PluginDefinition, FilesThatAreNotDefinitionsSayWhy) {
    const struct {
        const char* name;
        QByteArray bytes;
        const char* reason;
    } cases[] = {
        {"broken.plugin", "<config><pages><page id=\"p\"></pages></config>", "not well-formed"},
        {"empty.plugin", "", "not well-formed"},
        {"other.plugin", "<script><pages><page id=\"p\"/></pages><ui/></script>", "no <config>"},
        {"deep.plugin", "<config>" + QByteArray("<a>").repeated(100) + QByteArray("</a>").repeated(100) + "</config>",
         "nested deeper"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Define(R"(<pages><page id="p"/></pages><ui/>)"));
        EXPECT_FALSE(plugin.LoadDefinition(Put(QString::fromUtf8(c.name), c.bytes)));
        EXPECT_TRUE(plugin.LastError().contains(QString::fromUtf8(c.reason))) << plugin.LastError().toStdString();
        EXPECT_TRUE(plugin.Pages().empty());  // cleared first
        EXPECT_EQ(plugin.PanelWidth(), 0);
    }
    EXPECT_FALSE(plugin.LoadDefinition(Path(QStringLiteral("missing.plugin"))));
    EXPECT_TRUE(plugin.LastError().contains(QStringLiteral("cannot be opened")));
    EXPECT_FALSE(plugin.LoadDefinition(dir.path()));
    EXPECT_TRUE(plugin.LastError().contains(QStringLiteral("not a regular file")));
}

TEST_F(PluginDefinition, ByteOrderMarkAndUtf8TextAreRead) {
    const QString path = Put(QStringLiteral("Sp\u00f6rt.plugin"),
                             "\xef\xbb\xbf<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<config><pages>"
                             "<page id=\"h\xc3\xa9\" name=\"\xe2\x82\xac\"/></pages><ui/></config>");
    ASSERT_TRUE(plugin.LoadDefinition(path)) << plugin.LastError().toStdString();
    EXPECT_EQ(plugin.BaseName(), QStringLiteral("Sp\u00f6rt"));
    EXPECT_EQ(plugin.PageId(0), QStringLiteral("h\u00e9"));
    EXPECT_EQ(plugin.Pages()[0]->name, QStringLiteral("\u20ac"));
    EXPECT_EQ(plugin.GetPageFileName(0), Folder() + QStringLiteral("h\u00e9.corvane"));
    // The base name keeps every dot but the extension's.
    ASSERT_TRUE(Define(R"(<pages><page id="p"/></pages><ui/>)", QStringLiteral("cup.final")));
    EXPECT_EQ(plugin.BaseName(), QStringLiteral("cup.final"));
    EXPECT_EQ(plugin.StateFileName(), Folder() + QStringLiteral("cup.final.state"));
}

TEST_F(PluginDefinition, DuplicateIdsAreSkippedPerCollectionOnly) {
    ASSERT_TRUE(Define(R"(
      <data><text id="a" name="first"/><table id="a" name="second"/><TABLE id="b"/><Image id="c" type="jpg"/>
            <movie id="d"/><text id="a"/></data>
      <variables><var id="v" min="1" max="2"/><var id="v" min="5" max="9"/><Var id="w"/></variables>
      <selectors><selector id="a" table="b"/><selector id="a" table="x"/></selectors>
      <pages><page id="a" name="one"/><page id="a" name="two"/><page id="v"/></pages>
      <ui/>)"));
    ASSERT_EQ(plugin.Data().size(), 3u);
    EXPECT_EQ(plugin.Data()[0]->name, QStringLiteral("first"));
    EXPECT_EQ(plugin.Data()[0]->type, DataText);
    EXPECT_EQ(plugin.Data()[1]->type, DataTable);
    EXPECT_EQ(plugin.Data()[2]->type, DataImage);
    ASSERT_EQ(plugin.Variables().size(), 1u);  // <Var> is not a variable
    EXPECT_EQ(plugin.Variables()[0]->maximum, 2);
    ASSERT_EQ(plugin.Selectors().size(), 1u);
    EXPECT_EQ(plugin.Selectors()[0]->tableId, QStringLiteral("b"));
    ASSERT_EQ(plugin.Pages().size(), 2u);
    EXPECT_EQ(plugin.Pages()[0]->name, QStringLiteral("one"));
    EXPECT_EQ(plugin.Pages()[1]->index, 1);  // indexes count accepted pages only
    // One id in four collections: each Find looks in its own.
    EXPECT_EQ(plugin.FindData(QStringLiteral("a"))->type, DataText);
    EXPECT_NE(plugin.FindSelector(QStringLiteral("a")), nullptr);
    EXPECT_NE(plugin.FindPage(QStringLiteral("v")), nullptr);
    EXPECT_EQ(plugin.FindVariable(QStringLiteral("a")), nullptr);
    EXPECT_EQ(plugin.FindPage(QStringLiteral("A")), nullptr);  // ids keep case
}

TEST_F(PluginDefinition, PanelElementNamesIgnoreCaseAndCommentsHideNothing) {
    ASSERT_TRUE(Define(R"(
      <data><!-- first a comment --><text id="t"/></data>
      <variables><var id="v"/></variables>
      <pages><page id="p"/></pages>
      <ui><!-- a comment --><Button id="v" action="inc"/><VAR id="v"/><Page id="p"/><TeXt id="t"/><SELECTOR/></ui>)"));
    ASSERT_EQ(plugin.Data().size(), 1u);
    const auto& e = plugin.Elements();
    ASSERT_EQ(e.size(), 5u);
    EXPECT_EQ(e[0]->type, ElementButton);
    EXPECT_NE(e[0]->variable, nullptr);
    EXPECT_EQ(e[1]->type, ElementVar);
    EXPECT_EQ(e[2]->type, ElementPage);
    EXPECT_NE(e[2]->page, nullptr);
    EXPECT_EQ(e[3]->type, ElementText);
    EXPECT_NE(e[3]->data, nullptr);
    EXPECT_EQ(e[4]->type, ElementSelector);
}

TEST_F(PluginDefinition, ButtonAndPageActions) {
    const struct {
        const char* element;
        int action;
        bool bound;
    } cases[] = {
        {R"(<button id="int_data"/>)", ActionDataEditor, false},
        {R"(<button id="int_data" action="inc"/>)", ActionInc, false},
        {R"(<button id="int_data" action="Inc"/>)", ActionDataEditor, false},
        {R"(<button id="int_data " />)", 0, false},
        {R"(<button id="v"/>)", ActionInc, true},
        {R"(<button id="v" action="dec"/>)", ActionDec, true},
        {R"(<button id="v" action="reset"/>)", ActionReset, true},
        {R"(<button id="v" action="RESET"/>)", 0, true},
        {R"(<button id="nothing" action="dec"/>)", ActionDec, false},
        {R"(<page id="p"/>)", ActionToggle, true},
        {R"(<page id="p" action="show"/>)", ActionShow, true},
        {R"(<page id="p" action="hide"/>)", ActionHide, true},
        {R"(<page id="p" action="Hide"/>)", ActionToggle, true},
        {R"(<page id="p" action="toggle"/>)", ActionToggle, true},
        {R"(<page id="q" action="show"/>)", ActionShow, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.element);
        ASSERT_TRUE(Define(QByteArray(R"(<variables><var id="v"/></variables><pages><page id="p"/></pages><ui>)") +
                           c.element + "</ui>"));
        const CPluginUITemplateElement& e = *plugin.Elements()[0];
        EXPECT_EQ(e.action, c.action);
        EXPECT_EQ(e.variable != nullptr || e.page != nullptr, c.bound);
    }
    // A variable named int_data makes its button act on the variable.
    ASSERT_TRUE(Define(R"(<variables><var id="int_data"/></variables><pages><page/></pages><ui><button id="int_data"/></ui>)"));
    EXPECT_EQ(plugin.Elements()[0]->action, ActionInc);
    EXPECT_NE(plugin.Elements()[0]->variable, nullptr);
}

TEST_F(PluginDefinition, PageHooksKeepOrderAndOnlyTheFirstOfEachKind) {
    ASSERT_TRUE(Define(R"(<pages>
      <page id="a">
        <before_hide><page id="b"/><page id="c"/><page/></before_hide>
        <before_hide><page id="ignored"/></before_hide>
        <after_show><page id="x"/><Page id="not-a-page"/><page id="a"/></after_show>
        <after_hide><page id="c"/></after_hide>
        <before_show><page id="b"/></before_show>
      </page></pages><ui/>)"));
    const CPluginPage& a = *plugin.Pages()[0];
    EXPECT_EQ(a.beforeHide, (QStringList{QStringLiteral("b"), QStringLiteral("c"), QString()}));
    EXPECT_EQ(a.beforeShow, QStringList{QStringLiteral("b")});
    EXPECT_EQ(a.afterHide, QStringList{QStringLiteral("c")});
    EXPECT_EQ(a.afterShow, (QStringList{QStringLiteral("x"), QStringLiteral("a")}));
}

TEST_F(PluginDefinition, LoadingAgainClearsEverything) {
    ASSERT_TRUE(Define(Skeleton));
    ASSERT_TRUE(Define(R"(<pages><page id="only"/></pages><ui width="10" height="20"/>)", QStringLiteral("Other")));
    EXPECT_TRUE(plugin.Data().empty());
    EXPECT_TRUE(plugin.Variables().empty());
    EXPECT_TRUE(plugin.Selectors().empty());
    EXPECT_TRUE(plugin.Elements().empty());
    EXPECT_EQ(plugin.Pages().size(), 1u);
    EXPECT_EQ(plugin.BaseName(), QStringLiteral("Other"));
    EXPECT_EQ(plugin.PanelWidth(), 10);
}

}  // namespace
