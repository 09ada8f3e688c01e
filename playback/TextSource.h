// Where an object's text comes from: its own rich text, a clock, a text, RTF or
// CSV file, or a timer; how the source is read, how a change is noticed, and how a
// value is put into the object's rich-text template.
//
// The template (the object's rich text, or the RTF file) is read once per play run
// and kept with the object, parsed; each load for rendering copies it into the
// control and puts the current value in, so a clock tick costs no RTF written or
// read. It is read again only when its bytes change (a rewritten RTF file).
//
// Threads: InitSource, IsSourceChanged, LoadTextToRender and SourceStep run on the
// text thread of the render engine (or on the user-interface thread for the
// editor's still pictures and the tool, with the object not playing). The
// formatters and the CSV parser are pure and run anywhere.
#pragma once

#include "core/Frame.h"
#include "text/RichEdit.h"

#include <QString>
#include <QStringList>
#include <ctime>

namespace TextSource {

// strftime rules on a local time; empty when the format is empty or the text would
// not fit in 127 characters.
QString ClockText(const QString& format, const std::tm& local);
// The same for the current local time.
QString ClockTextNow(const QString& format);

// The timer's text: start and stop in seconds, direction 0 up, 1 down; clockMs and
// clockMicros count the time played when playing.
QString TimerText(const QString& format, int start, int stop, int direction, bool playing, int clockMs,
                  int clockMicros);
QString TimerText(const CFrame& frame);

// One CSV line split into fields.
QStringList ParseCsvLine(const QString& line, QChar separator);
// Adds a line to the table: the first line makes the placeholders (and with a
// header is nothing more), every other line is a row.
void AddCsvLine(CFrameSourceData& table, const QString& line, QChar separator, bool firstLineIsHeader);
QChar SeparatorChar(int separator);

// The leading decimal integer of the text clamped to 0..100, plus 1.
int BarValueOf(const QString& text);

// The lines of a text file joined (without separator for a horizontal scroll,
// else with CR LF); false when the file cannot be opened.
bool ReadTextFile(const CFrame& frame, QString& joined);

// Reads the source and rebuilds what it keeps (the template read again only when
// it changed); false on failure.
bool InitSource(CFrame& frame, CRichEditTextRenderer& renderer);
// True when the source would now give another text.
bool IsSourceChanged(CFrame& frame);

// The control for the object's movement: single-line for a horizontal scroll.
CRichEditExCtrl& ControlFor(const CFrame& frame, CRichEditTextRenderer& renderer);

// The object's template as its text source keeps it (CFrame::TextCache, whose
// threads it follows: the text thread's while the object plays).
class CSourceTemplate final : public CFrameTextCache {
public:
    QByteArray bytes;     // what was read: the object's rich text, or the RTF file
    RichContent content;  // what the reader made of it
    int reads = 0;        // times a template was read for the object since made or played
    QString value;        // the value InitSource took, put in at each load
};
// The object's kept template, made empty on first use.
CSourceTemplate& TemplateOf(CFrame& frame);
// Puts the object's template into control: read when its bytes (or the control's
// kind) differ from the ones kept, else copied from what was kept.
void LoadTemplate(CFrame& frame, CRichEditExCtrl& control);
// Puts value in place of the first "%1%" of the control's text, or of the whole
// text when there is none, keeping the formatting there. Control characters other
// than tab and line ends are left out: rich text holds none (a page's RTF cannot).
void PutValue(CRichEditExCtrl& control, const QString& value);
// Loads the text to render into the control; false when there is none (a CSV
// source past its last row).
bool LoadTextToRender(CFrame& frame, CRichEditExCtrl& control);

// The rich text a new clock, text-file, CSV or timer object starts with; empty
// for other sources or when the object already has rich text.
QByteArray DefaultTemplate(const CFrame& frame);

// The text thread's source step for a playing object; true when it did work.
bool SourceStep(CFrame& frame, CRichEditTextRenderer& renderer);

}  // namespace TextSource
