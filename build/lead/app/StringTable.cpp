// Generated from resources/strings.txt; do not edit.
#include "app/StringTable.h"

const StringEntry BuiltInStrings[] = {
    {10213u, "Warning: This file was created on computer with different font size setting (%s %d DPI)!\n\nPlease set the same system font size if you want proper text display."},
    {10311u, "Error: File open failed!\n\n%s"},
    {10312u, "Error: File save failed!\n\n%s"},
    {10313u, "Error: File is corrupt!\n\n%s"},
    {10314u, "Error: Unknown file version!\n\n%s"},
    {10315u, "Error: This file was created for %dx%d mode!\n\n%s"},
    {32921u, "Normal -"},
    {32922u, "Medium -"},
    {32923u, "Large -"},
};
const int BuiltInStringCount = int(sizeof(BuiltInStrings) / sizeof(BuiltInStrings[0]));
