// The built-in English string table: the bytes of resources/strings.txt, embedded
// at build time (one entry per line: id, a tab, the text with \n, \t, \\ and \"
// escapes; lines starting with # are comments).
#pragma once

extern const unsigned char StringTableData[];
extern const unsigned long StringTableSize;
