// A value put into a rich-text template the way it was before templates were kept
// parsed: the template read, the value put in place of the first "%1%" (or of
// everything), the result written as RTF, and that RTF read again to be drawn. The
// tests hold the kept template to the pictures this gives; bench_text measures the
// kept template against it.
#pragma once

#include "text/RichEdit.h"

#include <QByteArray>
#include <QString>

// The template with the value in, as RTF; control is where it is put together.
inline QByteArray PutValueThroughRtf(const QByteArray& rich, const QString& value, CRichEditExCtrl& control) {
    control.StreamIn(rich);
    const int at = control.FindText(QStringLiteral("%1%"));
    if (at >= 0) control.SetSelection(at, at + 3);
    else control.SelectAll();
    control.ReplaceSelection(value);
    return control.StreamOut();
}
