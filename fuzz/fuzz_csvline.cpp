// The CSV line parser against arbitrary lines. The first byte picks the separator
// (';' or ','); the rest is the line as UTF-8. The parse must return, and
//  - there is at least one field, and no more than separators plus one;
//  - the fields together are never longer than the line;
//  - a line without quotes splits exactly as QString::split on the separator;
//  - the line's pieces between separators, stripped of quotes and written back as
//    quoted fields, parse to exactly those pieces;
//  - the table the line starts holds as many placeholders as fields, and the line
//    as its first row unless it is a header.
#include "playback/TextSource.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const QChar separator = TextSource::SeparatorChar(data[0] & 1);
    const bool header = (data[0] & 2) != 0;
    const QString line = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    const QStringList fields = TextSource::ParseCsvLine(line, separator);
    Check(!fields.isEmpty());
    Check(fields.size() <= line.count(separator) + 1);
    qsizetype total = 0;
    for (const QString& field : fields) total += field.size();
    Check(total <= line.size());

    if (!line.contains(u'"')) Check(fields == line.split(separator));

    QStringList pieces = line.split(separator);
    QString quoted;
    for (qsizetype k = 0; k < pieces.size(); ++k) {
        pieces[k].remove(u'"');
        if (k > 0) quoted += separator;
        quoted += u'"' + pieces[k] + u'"';
    }
    Check(TextSource::ParseCsvLine(quoted, separator) == pieces);

    CFrameSourceData table;
    TextSource::AddCsvLine(table, line, separator, header);
    Check(table.Placeholders.size() == fields.size());
    Check(table.Rows.size() == (header ? 0u : 1u));
    if (!header) Check(table.Rows.front() == fields);
    for (qsizetype k = 0; k < fields.size(); ++k)
        Check(table.Placeholders[k] == (header ? u'%' + fields[k] + u'%' : u'%' + QString::number(k + 1) + u'%'));
    TextSource::AddCsvLine(table, line, separator, header);
    Check(table.Placeholders.size() == fields.size());
    Check(table.Rows.back() == fields);
    return 0;
}
