// The built-in English string table, generated from resources/strings.txt.
#pragma once

struct StringEntry {
    unsigned id;
    const char* text;  // UTF-8, escapes already resolved
};

extern const StringEntry BuiltInStrings[];
extern const int BuiltInStringCount;
