// The timer and clock formatters against arbitrary formats and values. The first
// 21 bytes give the timer's start, stop, clock and µs (little-endian 32-bit words),
// its direction and play state (one byte) and the clock's time (a 32-bit word of
// seconds, with the flag byte's upper bits widening it); the rest is the format as
// UTF-8. Both formatters must return, and
//  - the timer's text holds none of its keys, and a format without '%' comes back
//    unchanged;
//  - hours, minutes and seconds shown together add up to the seconds shown alone;
//  - counting up with a stop never shows more seconds than the stop;
//  - a playing countdown with a stop of 0 or more never shows less than 0;
//  - the clock's text is at most 127 characters, and a format without '%' (or NUL)
//    comes back unchanged when it fits and empty when it does not.
#include "playback/TextSource.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

int32_t Word(const uint8_t* p) {
    uint32_t v = 0;
    std::memcpy(&v, p, 4);
    return int32_t(v);
}

constexpr size_t Header = 21;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < Header) return 0;
    const int start = Word(data), stop = Word(data + 4), clock = Word(data + 8), micros = Word(data + 12);
    const uint8_t flags = data[16];
    const int direction = flags & 1;
    const bool playing = (flags & 2) != 0;
    const int64_t seconds = int64_t(Word(data + 17)) * (1 + ((flags >> 2) & 7));
    const QString format = QString::fromUtf8(reinterpret_cast<const char*>(data + Header), qsizetype(size - Header));

    const auto timer = [&](const QString& f) {
        return TextSource::TimerText(f, start, stop, direction, playing, clock, micros);
    };
    const QString text = timer(format);
    for (const char* key : {"%m", "%h", "%d", "%s", "%S", "%M", "%n", "%H"})
        Check(!text.contains(QLatin1String(key)));
    if (!format.contains(u'%')) Check(text == format);

    const QStringList parts = timer(QStringLiteral("%H:%M:%S:%s")).split(u':');
    Check(parts.size() == 4);
    bool ok[4] = {};
    const long long h = parts[0].toLongLong(&ok[0]), m = parts[1].toLongLong(&ok[1]),
                    s = parts[2].toLongLong(&ok[2]), all = parts[3].toLongLong(&ok[3]);
    Check(ok[0] && ok[1] && ok[2] && ok[3]);
    Check(h * 3600 + m * 60 + s == all);
    const long long shown = timer(QStringLiteral("%s")).toLongLong();
    if (direction == 0 && stop > 0) Check(shown <= stop);
    if (direction == 1 && playing && stop >= 0) Check(shown >= 0);

    const std::time_t when = std::time_t(seconds);
    std::tm local{};
    if (!localtime_r(&when, &local)) return 0;
    const QString clockText = TextSource::ClockText(format, local);
    Check(clockText.size() <= 127);
    if (format.isEmpty()) Check(clockText.isEmpty());
    if (!format.contains(u'%') && !format.contains(QChar(0)))
        Check(clockText == (format.size() <= 127 ? format : QString()));
    return 0;
}
