// A reference text decoder for the line reader's tests and fuzz target: it decodes
// the whole file held in memory at once, so it cannot depend on where the reader's
// read window falls. Deliberately simple; speed does not matter here.
#pragma once

#include "base/NonStdioFile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TextReference {
    int encoding = AnsiOem;
    std::vector<std::u16string> lines;
};

// ansiLine turns the bytes of one ANSI line into UTF-16.
inline TextReference DecodeTextReference(const uint8_t* b, size_t n, int requested,
                                         const std::function<std::u16string(const std::string&)>& ansiLine) {
    TextReference r;
    int encoding = requested;
    size_t i = 0;
    if (requested == Auto) {
        encoding = AnsiOem;
        if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) encoding = UnicodeBigEndian, i = 2;
        else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) encoding = Unicode, i = 2;
        else if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) encoding = Utf8, i = 3;
    }
    r.encoding = encoding;

    // First every character of the file, then the lines.
    std::vector<int> chars;
    if (encoding == AnsiOem) {
        for (; i < n; ++i) chars.push_back(b[i]);
    } else if (encoding == Unicode || encoding == UnicodeBigEndian) {
        std::vector<int> units;
        for (; i + 1 < n; i += 2) units.push_back(encoding == Unicode ? b[i] | b[i + 1] << 8 : b[i] << 8 | b[i + 1]);
        for (size_t k = 0; k < units.size(); ++k) {
            const bool high = units[k] >= 0xD800 && units[k] <= 0xDBFF;
            if (high && k + 1 < units.size() && units[k + 1] >= 0xDC00 && units[k + 1] <= 0xDFFF) ++k;
            chars.push_back(units[k] >= 0xD800 && units[k] <= 0xDFFF ? 0xFFFD : units[k]);
        }
    } else {
        // Whatever is not a character becomes U+FFFD and decoding goes on: a stray or
        // invalid lead byte costs itself, a sequence broken by a byte that does not
        // continue it costs the bytes before that one, overlong forms are refused.
        while (i < n) {
            const int lead = b[i];
            int need = 0, value = lead, least = 0;
            if (lead < 0x80) {
                chars.push_back(lead);
                ++i;
                continue;
            }
            if (lead < 0xC0 || lead >= 0xF8) {
                chars.push_back(0xFFFD);
                ++i;
                continue;
            }
            if (lead >= 0xF0) need = 3, value = lead & 0x07, least = 0x10000;
            else if (lead >= 0xE0) need = 2, value = lead & 0x0F, least = 0x800;
            else need = 1, value = lead & 0x1F, least = 0x80;
            int k = 1;
            for (; k <= need; ++k) {
                if (i + size_t(k) >= n || (b[i + size_t(k)] & 0xC0) != 0x80) break;
                value = value << 6 | (b[i + size_t(k)] & 0x3F);
            }
            if (k <= need) {
                chars.push_back(0xFFFD);
                i += size_t(k);
                continue;
            }
            chars.push_back(value < least || value > 0x10FFFF || need == 3 ? 0xFFFD : value);
            i += size_t(need) + 1;
        }
    }

    const bool ansi = encoding == AnsiOem;
    const auto dropped = [](int u) {
        return (u >= 0xD800 && u <= 0xDFFF) || u == 0xFEFF || u == 0xFFFE || u == 0xFFFF ||
               (u >= 0xFDD0 && u <= 0xFDEF);
    };
    std::string bytes;
    std::u16string units;
    bool any = false;
    const auto finish = [&] {
        r.lines.push_back(ansi ? ansiLine(bytes) : units);
        bytes.clear();
        units.clear();
        any = false;
    };
    for (size_t k = 0; k < chars.size(); ++k) {
        const int c = chars[k];
        const bool ends = c == 0 || c == 10 || c == 11 || c == 13 || (!ansi && (c == 0x85 || c == 0x2028 || c == 0x2029));
        if (ends) {
            if (c == 13 && k + 1 < chars.size() && chars[k + 1] == 10) ++k;
            finish();
        } else if (ansi) {
            bytes.push_back(char(c));
            any = true;
        } else if (!dropped(c)) {
            units.push_back(char16_t(c));
            any = true;
        }
    }
    if (any) finish();
    return r;
}
