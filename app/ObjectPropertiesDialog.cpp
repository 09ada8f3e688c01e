#include "app/ObjectPropertiesDialog.h"

#include "base/Translate.h"

#include <QFileInfo>
#include <QtGlobal>

namespace {

constexpr unsigned AlignmentNames = 10400;    // 3
constexpr unsigned LineSpacingNames = 10403;  // 3
constexpr int LineSpacings[3] = {20, 30, 40};

bool Unreadable(const QString& path) {
    const QFileInfo info(path);
    return !info.isFile() || !info.isReadable();
}

int Percent(int opacity) { return CFrame::OpacityToPercent(opacity); }

// A whole number of pixels, perhaps negative.
std::optional<int> Pixels(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok) return std::nullopt;
    return value;
}

}  // namespace

// ---------------------------------------------------------------------------------
// Object properties

CObjectPropertiesDialogModel::CObjectPropertiesDialogModel(CMainDoc& document, CObjectPropertiesModel& grid,
                                                           IPropertiesHost& host)
    : document_(document), grid_(grid), host_(host) {}

bool CObjectPropertiesDialogModel::Open() {
    object_ = document_.Selected;
    if (!object_) return false;
    document_.ScriptStop();
    Values = CObjectPropertyValues::Of(*object_);
    BackgroundType = PropertyText::BackgroundType(*object_);
    const int backOpacity = int(Values.BackColor >> 24);
    Transparent = backOpacity == 0;
    BackTransparency = Percent(backOpacity);
    TextTransparency = Percent(Values.TextOpacity);
    StartDelay = PropertyText::Duration(Values.StartDelay);
    InEffectDuration = PropertyText::Duration(Values.InEffectDuration);
    ShowFor = PropertyText::Duration(Values.ShowFor);
    OutEffectDuration = PropertyText::Duration(Values.OutEffectDuration);
    const bool fileSource = Values.TextSource == SourceTextFile || Values.TextSource == SourceRtfFile ||
                            Values.TextSource == SourceCsvFile;
    TextFileError = fileSource && Unreadable(Values.FileName);
    ImageFileError = !Values.ImageFileName.isEmpty() && Unreadable(Values.ImageFileName);
    return true;
}

PropertyEdit CObjectPropertiesDialogModel::ChooseTextSource(int source) {
    const PropertyEdit outcome = PropertyRules::ChooseTextSource(source, Values, host_);
    if (outcome == PropertyEdit::Applied) TextFileError = false;  // a file just chosen
    return outcome;
}

void CObjectPropertiesDialogModel::ChooseTimerDirection(int direction) {
    PropertyRules::ChooseTimerDirection(direction, Values);
}

bool CObjectPropertiesDialogModel::Enabled(int row) const {
    return object_ && PropertyRules::Applies(row, *object_, Values);
}

QString CObjectPropertiesDialogModel::TrackbarLabel(int value) { return QString::number(value); }

int CObjectPropertiesDialogModel::Ok() {
    if (!object_ || object_ != document_.Selected) return 0;
    CObjectPropertyValues v = Values;
    const std::pair<const QString*, int*> durations[] = {{&StartDelay, &v.StartDelay},
                                                         {&InEffectDuration, &v.InEffectDuration},
                                                         {&ShowFor, &v.ShowFor},
                                                         {&OutEffectDuration, &v.OutEffectDuration}};
    const int controls[] = {EditStartDelay, EditInEffectDuration, EditShowFor, EditOutEffectDuration};
    for (int i = 0; i < 4; ++i) {
        const std::optional<int> ms = PropertyText::ParseDuration(*durations[i].first);
        if (!ms) return controls[i];
        *durations[i].second = *ms;
    }
    const int back = Transparent ? 0 : PropertyText::OpacityFor(qBound(0, BackTransparency, 100), int(v.BackColor >> 24));
    v.BackColor = (v.BackColor & 0x00FFFFFFu) | (uint32_t(back) << 24);
    v.TextOpacity = PropertyText::OpacityFor(qBound(0, TextTransparency, 100), v.TextOpacity);
    v.Speed = qBound(1, v.Speed, 40);
    v.Group = v.Group.trimmed();
    grid_.Apply(v);
    return 0;
}

// ---------------------------------------------------------------------------------
// Paragraph formatting

CParagraphDialogModel::CParagraphDialogModel(double twipsPerPixelX, double twipsPerPixelY)
    : twipsX_(twipsPerPixelX), twipsY_(twipsPerPixelY) {}

QStringList CParagraphDialogModel::AlignmentChoices() {
    QStringList list;
    for (unsigned i = 0; i < 3; ++i) list << CTranslate::Global().LoadText(AlignmentNames + i);
    return list;
}

QStringList CParagraphDialogModel::LineSpacingChoices() {
    QStringList list;
    for (unsigned i = 0; i < 3; ++i) list << CTranslate::Global().LoadText(LineSpacingNames + i);
    return list;
}

void CParagraphDialogModel::Fill(const CParagraphFormat& f) {
    const auto text = [](const std::optional<int>& twips, double factor) {
        return twips ? QString::number(qRound(*twips / factor)) : QString();
    };
    Alignment = f.alignment && *f.alignment >= 0 && *f.alignment <= 2 ? *f.alignment : -1;
    LineSpacing = -1;
    for (int i = 0; i < 3; ++i)
        if (f.lineSpacing == LineSpacings[i]) LineSpacing = i;
    FirstLine = f.offset ? QString::number(qRound(-*f.offset / twipsX_)) : QString();
    Left = f.startIndent && f.offset ? QString::number(qRound((*f.startIndent + *f.offset) / twipsX_)) : QString();
    Right = text(f.rightIndent, twipsX_);
    Top = text(f.spaceBefore, twipsY_);
    Bottom = text(f.spaceAfter, twipsY_);
}

CParagraphDialogModel::Result CParagraphDialogModel::Ok(const CParagraphFormat& current) const {
    Result result;
    const std::pair<const QString*, int> fields[] = {
        {&FirstLine, EditFirstLine}, {&Left, EditLeft}, {&Right, EditRight}, {&Top, EditTop}, {&Bottom, EditBottom}};
    std::optional<int> pixels[5];
    for (int i = 0; i < 5; ++i) {
        if (fields[i].first->trimmed().isEmpty()) continue;
        pixels[i] = Pixels(*fields[i].first);
        if (!pixels[i]) {
            result.invalidControl = fields[i].second;
            return result;
        }
    }
    CParagraphFormat& f = result.format;
    if (Alignment >= 0 && Alignment <= 2) f.alignment = Alignment;
    if (LineSpacing >= 0 && LineSpacing <= 2) f.lineSpacing = LineSpacings[LineSpacing];
    // The first line and the left edge of the following lines, in pixels, each from
    // its field or else from the selection.
    std::optional<int> first = pixels[0];
    std::optional<int> left = pixels[1];
    if (!first && current.offset) first = qRound(-*current.offset / twipsX_);
    if (!left && current.startIndent && current.offset) left = qRound((*current.startIndent + *current.offset) / twipsX_);
    if (pixels[0] || pixels[1]) {
        if (first) f.offset = qRound(-*first * twipsX_);
        if (first && left) f.startIndent = qRound((*first + *left) * twipsX_);
    }
    if (pixels[2]) f.rightIndent = qRound(*pixels[2] * twipsX_);
    if (pixels[3]) f.spaceBefore = qRound(*pixels[3] * twipsY_);
    if (pixels[4]) f.spaceAfter = qRound(*pixels[4] * twipsY_);
    return result;
}
