#include "base/Translate.h"

#include <QStringList>
#include <gtest/gtest.h>

TEST(StringTable, BuiltInTexts) {
    bool found = false;
    EXPECT_EQ(CTranslate::Global().LoadText(10313, &found), QStringLiteral("Error: File is corrupt!\n\n%s"));
    EXPECT_TRUE(found);
    EXPECT_EQ(CTranslate::Global().LoadText(32922), QStringLiteral("Medium -"));
    EXPECT_TRUE(CTranslate::Global().LoadText(1, &found).isEmpty());
    EXPECT_FALSE(found);
}

TEST(StringTable, FormatsArguments) {
    const struct {
        const char* format;
        std::initializer_list<FormatArg> args;
        const char* expected;
    } cases[] = {
        {"Error: This file was created for %dx%d mode!\n\n%s", {1920, 1080, "/p/a.corvane"},
         "Error: This file was created for 1920x1080 mode!\n\n/p/a.corvane"},
        {"%02d:%02d:%02d", {1, 2, 3}, "01:02:03"},
        {"%08X", {unsigned(0x8876086C)}, "8876086C"},
        {"%.3f s", {1.5}, "1.500 s"},
        {"100%% %s", {"done"}, "100% done"},
        {"%-4s|%4s", {"ab", "cd"}, "ab  |  cd"},
        {"%s and %d", {"only"}, "only and 0"},
        {"[%08p]", {(const void*)0x1A2B}, "[00001A2B]"},
        {"%d of %u", {qsizetype(3), size_t(7)}, "3 of 7"},
        {"resolution: %I64d", {int64_t(1000000000000)}, "resolution: 1000000000000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatString(QString::fromUtf8(c.format), c.args), QString::fromUtf8(c.expected)) << c.format;
    // Strings are UTF-16 throughout.
    EXPECT_EQ(FormatString(QStringLiteral("«%s»"), {QStringLiteral("Zürich")}), QStringLiteral("«Zürich»"));
}

TEST(StringTable, MessagesReachTheInstalledPresenter) {
    struct Recorder : IMessagePresenter {
        QStringList texts;
        std::vector<unsigned> flags;
        int Show(const QString& text, unsigned f) override {
            texts << text;
            flags.push_back(f);
            return IdYes;
        }
    } recorder;
    IMessagePresenter* previous = CTranslate::Global().SetPresenter(&recorder);
    EXPECT_EQ(CTranslate::Global().MessageBoxFormat(10311, MbIconError, {"/x"}), IdYes);
    EXPECT_EQ(CTranslate::Global().MessageBoxText(32921, MbIconWarning), IdYes);
    CTranslate::Global().SetPresenter(previous);
    EXPECT_EQ(recorder.texts, (QStringList{QStringLiteral("Error: File open failed!\n\n/x"), QStringLiteral("Normal -")}));
    EXPECT_EQ(recorder.flags, (std::vector<unsigned>{MbIconError, MbIconWarning}));
}
