#include "playback/TextSource.h"

#include "base/Debug.h"
#include "base/NonStdioFile.h"
#include "base/SafeFile.h"
#include "playback/FileStamp.h"
#include "text/Rtf.h"

#include <QHash>
#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cwchar>
#include <locale.h>
#include <vector>

namespace TextSource {
namespace {

// RTF files larger than this are refused rather than read into memory.
constexpr qint64 MaxRtfFileBytes = 64ll * 1024 * 1024;

// The user's time locale, made once and kept for the process's life; each
// formatting thread selects it for itself (setlocale is process-wide and not safe
// while other threads format).
// A source cut at the reader's cap shows what was read; the log says why the rest
// is missing.
void NoteCapped(const CNonStdioFile& file, const CFrame& frame) {
    if (file.Capped())
        CDebug::Log(1, "Text source %s is larger than %d MB: only its beginning is shown", frame.FileName,
                    int(CNonStdioFile::MaxBytes / (1024 * 1024)));
}

locale_t UserTimeLocale() {
    static const locale_t locale = [] {
        locale_t made = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
        return made ? made : newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    }();
    return locale;
}

bool StampOf(const CFrame& frame, FileStampValue& stamp) { return FileStamp(frame.FileName, stamp); }

void KeepStamp(CFrame& frame, const FileStampValue& stamp) {
    frame.SourceFileTime = stamp.time;
    frame.SourceFileNanos = stamp.nanos;
}

// The default template's placeholder text: ASCII as it stands, anything else as
// \uN so that it reads back as the same text whatever the document's code page.
QByteArray TemplateText(const QString& text) {
    QByteArray out;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\' || u == u'{' || u == u'}') out += QByteArray("\\") + char(u);
        else if (u >= 0x20 && u < 0x80) out += char(u);
        else out += "\\u" + QByteArray::number(int(int16_t(u))) + '?';
    }
    return out;
}

int Period(const CFrame& frame) { return std::max(1, frame.FramePeriod); }

// Step 3 of the source step: schedules the next change test.
void Restart(CFrame& frame) {
    frame.RecheckDue = 0;
    int countdown = 0;
    switch (frame.TextSource) {
    case SourceClock: countdown = 100000 / Period(frame); break;
    case SourceTimer: countdown = 1; break;
    case SourceTextFile:
    case SourceRtfFile:
        if (frame.MonitorFileChanges && frame.Movement == MovementFixed) countdown = 1000000 / Period(frame);
        break;
    case SourceCsvFile:
        if (frame.Table.CurrentRow >= int(frame.Table.Rows.size())) {
            frame.Table.CurrentRow = 0;
            CDebug::Log(3, "CFrame::InvokeRender(%08X): restart source", &frame);
        }
        break;
    default: break;
    }
    frame.RecheckCountdown.store(countdown);
    if (frame.ChunksRendered.load() == 0 || frame.Movement == MovementFixed)
        frame.Ring = {0, 0, frame.TextureWidth, frame.TextureHeight};
}

// Reads the object's template into control when what is kept is not that of its
// bytes for a control of this kind; true when it read (the control then holds it).
bool ReadTemplate(CFrame& frame, CRichEditExCtrl& control) {
    CSourceTemplate& kept = TemplateOf(frame);
    const QByteArray& bytes = frame.TextSource == SourceRtfFile ? frame.SourceRichText : frame.RichText;
    if (kept.reads > 0 && kept.content.singleLine == control.singleLine && kept.bytes == bytes) return false;
    control.StreamIn(bytes);
    kept.bytes = bytes;
    kept.content = control.Content();
    ++kept.reads;
    return true;
}

// A table's placeholder where it stands in the template.
struct PlaceholderAt {
    int at = 0;
    int length = 0;
    int column = 0;
};

// Placeholders ("%name%") may hold '%' themselves; one holding more than this many
// is never looked for (a header line of percent signs would otherwise make every
// '%' of the template a search of its own).
constexpr int MaxPercentsInPlaceholder = 8;

// Every placeholder of the table in text, left to right, in one pass over it, found
// whatever their case (as a search of the control finds them). Where two could
// start at one place, the first column's wins, as it was put in first. Values are
// never searched: one that holds a placeholder stays as it is.
std::vector<PlaceholderAt> FindPlaceholders(const QString& text, const QStringList& placeholders) {
    QHash<QString, int> columns;  // case-folded placeholder -> its first column
    int maxSpan = 0;              // the most '%'-to-'%' steps of a placeholder
    for (qsizetype k = placeholders.size() - 1; k >= 0; --k) {
        const QString& p = placeholders[k];
        const int percents = int(p.count(u'%'));
        if (p.size() < 2 || !p.startsWith(u'%') || !p.endsWith(u'%') || percents > MaxPercentsInPlaceholder) continue;
        columns.insert(p.toCaseFolded(), int(k));
        maxSpan = std::max(maxSpan, percents - 1);
    }
    std::vector<PlaceholderAt> found;
    if (columns.isEmpty()) return found;
    const qsizetype n = text.size();
    qsizetype i = text.indexOf(u'%');
    while (i >= 0) {
        PlaceholderAt best{0, 0, -1};
        qsizetype end = i;
        for (int span = 0; span < maxSpan; ++span) {
            end = text.indexOf(u'%', end + 1);
            if (end < 0) break;
            const auto it = columns.constFind(text.mid(i, end + 1 - i).toCaseFolded());
            if (it != columns.constEnd() && (best.column < 0 || *it < best.column))
                best = {int(i), int(end + 1 - i), *it};
        }
        if (best.column >= 0) {
            found.push_back(best);
            i = best.at + best.length < n ? text.indexOf(u'%', best.at + best.length) : -1;
        } else {
            i = text.indexOf(u'%', i + 1);
        }
    }
    return found;
}

}  // namespace

QString ClockText(const QString& format, const std::tm& local) {
    if (format.isEmpty()) return {};
    const std::wstring wide = format.toStdWString();
    wchar_t buffer[128];
    const locale_t previous = uselocale(UserTimeLocale());
    const size_t length = std::wcsftime(buffer, 128, wide.c_str(), &local);
    uselocale(previous);
    if (length == 0) return {};
    // wchar_t holds a whole code point here: a character beyond the BMP takes one
    // place in the buffer but two in the text, and the limit is on the text.
    QString text = QString::fromWCharArray(buffer, qsizetype(length));
    if (text.size() > 127) return {};
    return text;
}

QString ClockTextNow(const QString& format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return ClockText(format, local);
}

QString TimerText(const QString& format, int start, int stop, int direction, bool playing, int clockMs,
                  int clockMicros) {
    const int64_t S = start, E = stop, clock = clockMs, micros = clockMicros;
    const bool down = direction != 0;
    int64_t v = 0;
    if (!down) {
        v = S * 1000000 + (playing ? clock * 1000 + micros : 0);
        if (E > 0 && v > E * 1000000) v = E * 1000000;
    } else if (!playing) {
        v = S * 1000000;
    } else if (S * 1000 - clock >= E * 1000) {
        v = std::max<int64_t>(0, (S * 1000 - clock) * 1000 - micros);
    } else {
        v = E * 1000000;
    }
    int64_t s = v / 1000000;
    const int64_t f = v % 1000000;
    QString text = format;
    const auto put = [&](const char* key, const QString& value) {
        const QString k = QString::fromLatin1(key);
        const bool found = text.contains(k);
        if (found) text.replace(k, value);
        return found;
    };
    // One statement per key: every key is replaced, in this order.
    bool subSeconds = put("%m", QString::asprintf("%03d", int(f / 1000)));
    subSeconds = put("%h", QString::asprintf("%02d", int(f / 10000))) || subSeconds;
    subSeconds = put("%d", QString::asprintf("%01d", int(f / 100000))) || subSeconds;
    if (down && !subSeconds && f != 0) ++s;  // counting down shows the next whole second
    bool seconds = put("%s", QString::number(s));
    seconds = put("%S", QString::asprintf("%02d", int(s % 60))) || seconds;
    int64_t h = s / 3600, m = (s % 3600) / 60, n = s / 60;
    if (down && !seconds && s % 60 != 0) {
        m = (m + 1) % 60;
        if (m == 0) ++h;
        ++n;
    }
    const bool minutes = put("%M", QString::asprintf("%02d", int(m)));
    put("%n", QString::number(n));
    if (down && !minutes && m != 0) ++h;
    put("%H", QString::asprintf("%02lld", static_cast<long long>(h)));
    return text;
}

QString TimerText(const CFrame& frame) {
    return TimerText(frame.TimerFormat, frame.TimerStart, frame.TimerStop, frame.TimerDirection,
                     frame.Playing.load() != 0, frame.Clock.load(), frame.ClockMicros.load());
}

QStringList ParseCsvLine(const QString& line, QChar separator) {
    QStringList fields;
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (true) {
        QString field;
        if (i < n && line[i] == u'"') {
            ++i;
            bool next = false;  // the field ended at a separator: another follows
            while (i < n) {
                const QChar c = line[i];
                if (c != u'"') {
                    field += c;
                    ++i;
                    continue;
                }
                if (i + 1 >= n) {
                    ++i;  // the closing quote ends the line
                    break;
                }
                const QChar after = line[i + 1];
                if (after == u'"') {
                    field += u'"';
                    ++i;  // the second quote is handled next in its turn
                } else if (after == separator) {
                    i += 2;
                    next = true;
                    break;
                } else {
                    ++i;  // a stray quote is dropped
                }
            }
            fields.append(field);
            if (!next) break;
            continue;
        }
        const qsizetype end = line.indexOf(separator, i);
        if (end < 0) {
            fields.append(line.mid(i));
            break;
        }
        fields.append(line.mid(i, end - i));
        i = end + 1;
    }
    return fields;
}

void AddCsvLine(CFrameSourceData& table, const QString& line, QChar separator, bool firstLineIsHeader) {
    const QStringList fields = ParseCsvLine(line, separator);
    if (table.Placeholders.isEmpty() && table.Rows.empty()) {
        for (qsizetype k = 0; k < fields.size(); ++k)
            table.Placeholders.append(firstLineIsHeader ? QStringLiteral("%") + fields[k] + QStringLiteral("%")
                                                        : QStringLiteral("%") + QString::number(k + 1) + QStringLiteral("%"));
        if (firstLineIsHeader) return;
    }
    table.Rows.push_back(fields);
}

QChar SeparatorChar(int separator) { return separator == 1 ? QChar(u',') : QChar(u';'); }

int BarValueOf(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    int64_t value = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
        value = std::min<int64_t>(value * 10 + (text[i].unicode() - u'0'), 1000);
        ++i;
    }
    return int(std::clamp<int64_t>(negative ? -value : value, 0, 100)) + 1;
}

bool ReadTextFile(const CFrame& frame, QString& joined) {
    CNonStdioFile file;
    if (!file.OpenText(frame.FileName, frame.Encoding)) return false;
    const bool oneLine = frame.Movement == MovementHorizontal;
    joined.clear();
    QString line;
    bool first = true;
    while (file.ReadLine(line)) {
        if (!first && !oneLine) joined += QLatin1String("\r\n");
        joined += line;
        first = false;
    }
    NoteCapped(file, frame);
    return true;
}

CRichEditExCtrl& ControlFor(const CFrame& frame, CRichEditTextRenderer& renderer) {
    return frame.Movement == MovementHorizontal ? *renderer.singleLine : *renderer.multiLine;
}

CSourceTemplate& TemplateOf(CFrame& frame) {
    if (auto* kept = dynamic_cast<CSourceTemplate*>(frame.TextCache.get())) return *kept;
    auto made = std::make_unique<CSourceTemplate>();
    CSourceTemplate& kept = *made;
    frame.TextCache = std::move(made);
    return kept;
}

void LoadTemplate(CFrame& frame, CRichEditExCtrl& control) {
    if (!ReadTemplate(frame, control)) control.SetContent(TemplateOf(frame).content);
}

void PutValue(CRichEditExCtrl& control, const QString& value) {
    const int at = control.FindText(QStringLiteral("%1%"));
    if (at >= 0) control.SetSelection(at, at + 3);
    else control.SelectAll();
    QString kept = value;
    Rtf::DropControls(kept);
    control.ReplaceSelection(kept);
}

bool InitSource(CFrame& frame, CRichEditTextRenderer& renderer) {
    frame.SourceRichText.clear();
    FileStampValue stamp;
    switch (frame.TextSource) {
    case SourceClock:
        frame.LastValue = ClockTextNow(frame.ClockFormat);
        TemplateOf(frame).value = frame.LastValue;
        break;
    case SourceTimer:
        frame.LastValue = TimerText(frame);
        TemplateOf(frame).value = frame.LastValue;
        break;
    case SourceTextFile: {
        const bool stamped = StampOf(frame, stamp);
        QString joined;
        if (!ReadTextFile(frame, joined)) return false;
        if (stamped) KeepStamp(frame, stamp);
        if (frame.BarGraph) frame.BarValue = BarValueOf(joined);
        else TemplateOf(frame).value = joined;
        break;
    }
    case SourceRtfFile: {
        const bool stamped = StampOf(frame, stamp);
        QByteArray bytes;
        if (const FileRefusal refusal = SafeFile::ReadAll(frame.FileName, MaxRtfFileBytes, bytes);
            refusal != FileRefusal::None) {
            if (refusal != FileRefusal::OpenFailed)
                CDebug::Log(1, "Text source %s not read: %s", frame.FileName, QString::fromUtf8(FileRefusalText(refusal)));
            return false;
        }
        if (bytes.size() <= 7) return false;
        frame.SourceRichText = std::move(bytes);
        if (stamped) KeepStamp(frame, stamp);
        break;
    }
    case SourceCsvFile: {
        frame.Table.Placeholders.clear();
        frame.Table.Rows.clear();
        frame.Table.CurrentRow = 0;
        const bool stamped = StampOf(frame, stamp);
        CNonStdioFile file;
        if (!file.OpenText(frame.FileName, frame.Encoding)) return false;
        const QChar separator = SeparatorChar(frame.Separator);
        QString line;
        while (file.ReadLine(line)) AddCsvLine(frame.Table, line, separator, frame.FirstLineIsHeader != 0);
        NoteCapped(file, frame);
        if (frame.FirstLineIsHeader && frame.Table.Placeholders.isEmpty()) return false;
        if (stamped) KeepStamp(frame, stamp);
        break;
    }
    default: break;
    }
    // A new or changed template is read here rather than in the middle of a strip.
    ReadTemplate(frame, ControlFor(frame, renderer));
    return true;
}

bool IsSourceChanged(CFrame& frame) {
    switch (frame.TextSource) {
    case SourceClock: return ClockTextNow(frame.ClockFormat) != frame.LastValue;
    case SourceTimer: return TimerText(frame) != frame.LastValue;
    case SourceTextFile:
    case SourceRtfFile:
    case SourceCsvFile: {
        FileStampValue stamp;
        if (!StampOf(frame, stamp)) return true;
        return stamp.time != frame.SourceFileTime || stamp.nanos != frame.SourceFileNanos;
    }
    default: return false;
    }
}

bool LoadTextToRender(CFrame& frame, CRichEditExCtrl& control) {
    switch (frame.TextSource) {
    case SourceClock:
    case SourceTimer:
        LoadTemplate(frame, control);
        PutValue(control, TemplateOf(frame).value);
        return true;
    case SourceTextFile:
        LoadTemplate(frame, control);
        if (!frame.BarGraph) PutValue(control, TemplateOf(frame).value);
        return true;
    case SourceCsvFile: {
        const CFrameSourceData& table = frame.Table;
        if (table.CurrentRow < 0 || table.CurrentRow >= int(table.Rows.size())) return false;
        const QStringList& row = table.Rows[size_t(table.CurrentRow)];
        LoadTemplate(frame, control);
        // Every value put in with one edit: a row of thousands of columns costs one
        // layout, not one per column.
        std::vector<TextReplacement> values;
        bool valuePut = false;
        for (const PlaceholderAt& p : FindPlaceholders(control.document.toRawText(), table.Placeholders)) {
            values.push_back({p.at, p.at + p.length, p.column < row.size() ? row[p.column] : QString()});
            valuePut = valuePut || !values.back().text.isEmpty();
        }
        const bool occurred = !values.empty();
        control.ReplaceRanges(values);
        const QString joined = row.join(QString());
        if (!occurred && !joined.isEmpty()) {
            control.SelectAll();
            control.ReplaceSelection(joined);
        } else if (!valuePut) {
            control.SelectAll();
            control.ReplaceSelection(QStringLiteral(" "));
        }
        return true;
    }
    default: LoadTemplate(frame, control); return true;
    }
}

QByteArray DefaultTemplate(const CFrame& frame) {
    if (!frame.RichText.isEmpty()) return {};
    if (frame.TextSource != SourceClock && frame.TextSource != SourceTextFile && frame.TextSource != SourceCsvFile &&
        frame.TextSource != SourceTimer)
        return {};
    QString placeholder = QStringLiteral("%1%");
    if (frame.TextSource == SourceCsvFile) {
        CNonStdioFile file;
        QString line;
        if (file.OpenText(frame.FileName, frame.Encoding) && file.ReadLine(line)) {
            CFrameSourceData table;
            AddCsvLine(table, line, SeparatorChar(frame.Separator), frame.FirstLineIsHeader != 0);
            if (!table.Placeholders.isEmpty()) placeholder = table.Placeholders.join(u' ');
        }
    }
    return QByteArray("{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}"
                      "{\\f1\\fnil\\fcharset204{\\*\\fname Arial;}Arial CYR;}}\r\n"
                      "{\\colortbl ;\\red255\\green255\\blue255;}\r\n"
                      "\\viewkind4\\uc1\\pard\\cf1\\lang1033\\b\\fs56 ") +
           TemplateText(placeholder) + QByteArray("\\lang1049\\f1\\par\r\n}\r\n");
}

bool SourceStep(CFrame& frame, CRichEditTextRenderer& renderer) {
    bool work = false;
    if (frame.SourceReady.load() && frame.RecheckDue.load()) {
        const int changed = IsSourceChanged(frame);
        CDebug::Log(3, "CFrame::InvokeRender(%08X) IsSourceChanged() = %d", &frame, changed);
        if (changed) {
            frame.SourceReady = 0;
        } else {
            Restart(frame);
            work = true;
        }
    }
    if (!frame.SourceReady.load()) {
        const bool result = InitSource(frame, renderer);
        if (result) {
            CDebug::Log(3, "CFrame::InvokeRender(%08X) InitSource()", &frame);
            frame.SourceReady = 1;
            frame.TextError = 0;
            frame.NoMoreText = 0;
            frame.NextChar = 0;
            Restart(frame);
            work = true;
        } else {
            frame.TextError = 1;
            frame.RecheckCountdown.store(1000000 / Period(frame));
            frame.RecheckDue = 0;
            // Not counted as work: the thread rests between tries instead of
            // spinning on a file that is not there.
        }
        CDebug::Log(3, "CFrame::InvokeRender(%08X): InitSource() = %d", &frame, int(result));
    }
    return work;
}

}  // namespace TextSource
