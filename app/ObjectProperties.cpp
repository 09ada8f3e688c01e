#include "app/ObjectProperties.h"

#include "app/SafeEdit.h"
#include "base/Translate.h"
#include "playback/Import.h"
#include "playback/TextSource.h"
#include "script/ScriptSchedule.h"

#include <climits>
#include <mutex>

namespace {

constexpr unsigned RowNameBase = 10799;
constexpr unsigned RowDescriptionBase = 10899;
constexpr unsigned MoreText = 10218;
constexpr unsigned YesText = 10219;
constexpr unsigned NoText = 10220;
constexpr unsigned PropertyHeader = 10221;
constexpr unsigned ValueHeader = 10222;
constexpr unsigned FilesFilter = 10212;
constexpr unsigned ImportFilesText = 10210;

constexpr unsigned CategoryObject = 11100;
constexpr unsigned CategoryPosition = 11101;
constexpr unsigned CategorySize = 11102;
constexpr unsigned CategoryBackground = 11103;
constexpr unsigned CategoryText = 11104;
constexpr unsigned CategorySource = 11105;
constexpr unsigned CategoryPresentation = 11106;
constexpr unsigned CategoryRemote = 11107;

constexpr unsigned MovementNames = 10595;   // 3
constexpr unsigned ShadowNames = 12220;     // 5
constexpr unsigned SourceNames = 12100;     // 6
constexpr unsigned EncodingNames = 10580;   // 5
constexpr unsigned SeparatorNames = 12161;  // 2
constexpr unsigned DirectionNames = 12150;  // 2
constexpr unsigned InEffectNames = 10420;   // 31
constexpr unsigned OutEffectNames = 10500;  // 31
constexpr int EffectCount = 31;
constexpr int HotkeyCount = 21;  // none and twenty combinations
constexpr int ButtonCount = 17;  // none and sixteen buttons

constexpr unsigned TypeSolid = 10600;
constexpr unsigned TypePicture = 10601;
constexpr unsigned TypeAnimation = 10603;

constexpr int MaxTransparency = 100;
constexpr int MinSpeed = 1;
constexpr int MaxSpeed = 40;

QString Text(unsigned id) { return CTranslate::Global().LoadText(id); }

QStringList Texts(unsigned first, int count) {
    QStringList list;
    for (int i = 0; i < count; ++i) list << Text(first + unsigned(i));
    return list;
}

int FrameCount(const CFrame& object) {
    // A playing object's frames may be swapped by the render thread under this lock.
    std::lock_guard lock(object.FramesLock);
    return int(object.Frames.size());
}

bool IsBoolRow(int number) {
    switch (number) {
    case RowLoop: case RowReverse: case RowMonitorFileChanges: case RowFirstLineIsHeader: case RowFadeIn:
    case RowShowIndefinitely: case RowShowWhileTextMoves: case RowFadeOut: case RowRepeat: case RowLoopAnimation:
    case RowLock: case RowStartFromEdge: case RowBarGraph: case RowMaintainLink:
        return true;
    default: return false;
    }
}

int* BoolField(int number, CObjectPropertyValues& v) {
    switch (number) {
    case RowLoop: return &v.Loop;
    case RowReverse: return &v.Reverse;
    case RowMonitorFileChanges: return &v.MonitorFileChanges;
    case RowFirstLineIsHeader: return &v.FirstLineIsHeader;
    case RowFadeIn: return &v.FadeIn;
    case RowShowIndefinitely: return &v.ShowIndefinitely;
    case RowShowWhileTextMoves: return &v.ShowWhileTextMoves;
    case RowFadeOut: return &v.FadeOut;
    case RowRepeat: return &v.Repeat;
    case RowLoopAnimation: return &v.LoopAnimation;
    case RowLock: return &v.Locked;
    case RowStartFromEdge: return &v.StartFromEdge;
    case RowBarGraph: return &v.BarGraph;
    case RowMaintainLink: return &v.MaintainLink;
    default: return nullptr;
    }
}

// The list rows whose value is an index into their choices.
int* ChoiceField(int number, CObjectPropertyValues& v) {
    switch (number) {
    case RowMovement: return &v.Movement;
    case RowTextSource: return &v.TextSource;
    case RowEncoding: return &v.Encoding;
    case RowSeparator: return &v.Separator;
    case RowTimerDirection: return &v.TimerDirection;
    case RowInEffect: return &v.InEffect;
    case RowOutEffect: return &v.OutEffect;
    case RowSwitcherButton: return &v.SwitcherButton;
    case RowHotkey: return &v.Hotkey;
    case RowDropShadow: return &v.DropShadow;
    default: return nullptr;
    }
}

int* DurationField(int number, CObjectPropertyValues& v) {
    switch (number) {
    case RowStartDelay: return &v.StartDelay;
    case RowInEffectDuration: return &v.InEffectDuration;
    case RowShowFor: return &v.ShowFor;
    case RowOutEffectDuration: return &v.OutEffectDuration;
    default: return nullptr;
    }
}

bool IsFileSource(int source) { return source == SourceTextFile || source == SourceRtfFile || source == SourceCsvFile; }

}  // namespace

// ---------------------------------------------------------------------------------
// Values

CObjectPropertyValues CObjectPropertyValues::Of(const CFrame& o) {
    CObjectPropertyValues v;
    v.Locked = o.Locked;
    v.Movement = o.Movement;
    v.Speed = o.Speed;
    v.Loop = o.Loop;
    v.ShowWhileTextMoves = o.ShowWhileTextMoves;
    v.Reverse = o.Reverse;
    v.StartFromEdge = o.StartFromEdge;
    v.BackColor = o.BackColor;
    v.TextOpacity = o.TextOpacity;
    v.DropShadow = o.DropShadow;
    v.LoopAnimation = o.LoopAnimation;
    v.MaintainLink = o.MaintainLink;
    v.ImageFileName = o.ImageFileName;
    v.TextSource = o.TextSource;
    v.FileName = o.FileName;
    v.Encoding = o.Encoding;
    v.FirstLineIsHeader = o.FirstLineIsHeader;
    v.ClockFormat = o.ClockFormat;
    v.MonitorFileChanges = o.MonitorFileChanges;
    v.Separator = o.Separator;
    v.TimerFormat = o.TimerFormat;
    v.TimerStart = o.TimerStart;
    v.TimerStop = o.TimerStop;
    v.TimerDirection = o.TimerDirection;
    v.BarGraph = o.BarGraph;
    v.ShowFor = o.ShowFor;
    v.ShowIndefinitely = o.ShowIndefinitely;
    v.StartDelay = o.StartDelay;
    v.InEffect = o.InEffect;
    v.InEffectDuration = o.InEffectDuration;
    v.FadeIn = o.FadeIn;
    v.OutEffect = o.OutEffect;
    v.OutEffectDuration = o.OutEffectDuration;
    v.FadeOut = o.FadeOut;
    v.Repeat = o.Repeat;
    v.SwitcherButton = o.SwitcherButton;
    v.Group = o.Group;
    v.Hotkey = o.Hotkey;
    return v;
}

void CObjectPropertyValues::WriteTo(CFrame& o) const {
    o.Locked = Locked;
    o.Movement = Movement;
    o.Speed = Speed;
    o.Loop = Loop;
    o.ShowWhileTextMoves = ShowWhileTextMoves;
    o.Reverse = Reverse;
    o.StartFromEdge = StartFromEdge;
    o.BackColor = BackColor;
    o.TextOpacity = TextOpacity;
    o.DropShadow = DropShadow;
    o.LoopAnimation = LoopAnimation;
    o.MaintainLink = MaintainLink;
    o.ImageFileName = ImageFileName;
    o.TextSource = TextSource;
    o.FileName = FileName;
    o.Encoding = Encoding;
    o.FirstLineIsHeader = FirstLineIsHeader;
    o.ClockFormat = ClockFormat;
    o.MonitorFileChanges = MonitorFileChanges;
    o.Separator = Separator;
    o.TimerFormat = TimerFormat;
    o.TimerStart = TimerStart;
    o.TimerStop = TimerStop;
    o.TimerDirection = TimerDirection;
    o.BarGraph = BarGraph;
    o.ShowFor = ShowFor;
    o.ShowIndefinitely = ShowIndefinitely;
    o.StartDelay = StartDelay;
    o.InEffect = InEffect;
    o.InEffectDuration = InEffectDuration;
    o.FadeIn = FadeIn;
    o.OutEffect = OutEffect;
    o.OutEffectDuration = OutEffectDuration;
    o.FadeOut = FadeOut;
    o.Repeat = Repeat;
    o.SwitcherButton = SwitcherButton;
    o.Group = Group;
    o.Hotkey = Hotkey;
}

// ---------------------------------------------------------------------------------
// Conversions

namespace PropertyText {

QString Duration(int milliseconds) {
    if (milliseconds == 0) return QString();
    if (milliseconds % 1000 == 0) return FormatString(QStringLiteral("%d"), {milliseconds / 1000});
    return FormatString(QStringLiteral("%.3f"), {milliseconds / 1000.0});
}

std::optional<int> ParseDuration(const QString& text) {
    // Read as decimal digits rather than through a floating-point product, so that
    // "1.001" is 1001 ms and not 1000.
    long long whole = 0;
    int fraction = 0, fractionDigits = 0, digits = 0;
    bool separator = false;
    for (const QChar c : text) {
        if (c == u'.' || c == u',') {
            if (separator) return std::nullopt;
            separator = true;
            continue;
        }
        if (!c.isDigit() || c.unicode() > u'9') return std::nullopt;
        ++digits;
        const int d = c.unicode() - u'0';
        if (!separator) {
            whole = whole * 10 + d;
            if (whole > INT_MAX / 1000) return std::nullopt;
        } else if (fractionDigits < 3) {
            fraction = fraction * 10 + d;
            ++fractionDigits;
        }
    }
    if (digits == 0) {
        if (text.isEmpty()) return 0;
        return std::nullopt;  // "." alone
    }
    while (fractionDigits < 3) fraction *= 10, ++fractionDigits;
    const long long ms = whole * 1000 + fraction;
    if (ms > INT_MAX) return std::nullopt;
    return int(ms);
}

int OpacityFor(int percent, int opacity) {
    return percent == CFrame::OpacityToPercent(opacity) ? opacity : CFrame::PercentToOpacity(percent);
}

QString Time(int seconds) {
    return FormatString(QStringLiteral("%02d:%02d:%02d"), {seconds / 3600, seconds / 60 % 60, seconds % 60});
}

std::optional<int> ParseTime(const QString& text) {
    if (text.size() != 8 || text[2] != u':' || text[5] != u':') return std::nullopt;
    int parts[3];
    for (int p = 0; p < 3; ++p) {
        const QChar a = text[p * 3], b = text[p * 3 + 1];
        if (a < u'0' || a > u'9' || b < u'0' || b > u'9') return std::nullopt;
        parts[p] = (a.unicode() - u'0') * 10 + (b.unicode() - u'0');
    }
    if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return std::nullopt;
    return parts[0] * 3600 + parts[1] * 60 + parts[2];
}

QString Colour(uint32_t colour) {
    return FormatString(QStringLiteral("#%02x%02x%02x"), {colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF});
}

std::optional<uint32_t> ParseColour(const QString& text) {
    if (text.size() != 7 || text[0] != u'#') return std::nullopt;
    bool ok = false;
    const uint32_t rgb = text.mid(1).toUInt(&ok, 16);
    if (!ok) return std::nullopt;
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

std::optional<int> ParseInteger(const QString& text, int minimum, int maximum) {
    if (text.isEmpty() || text.size() > 9) return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value < minimum || value > maximum) return std::nullopt;
    return value;
}

QString SourceFileFilter(int textSource) {
    const char* type = nullptr;
    const char* pattern = nullptr;
    switch (textSource) {
    case SourceTextFile: type = "TXT", pattern = "*.txt"; break;
    case SourceRtfFile: type = "RTF", pattern = "*.rtf"; break;
    case SourceCsvFile: type = "CSV", pattern = "*.csv"; break;
    default: return QString();
    }
    return CTranslate::Global().FormatText(FilesFilter, {type, pattern});
}

QString BackgroundType(const CFrame& object) {
    if (object.Kind == KindSimple) return Text(TypeSolid);
    return Text(FrameCount(object) > 1 ? TypeAnimation : TypePicture);
}

}  // namespace PropertyText

// ---------------------------------------------------------------------------------
// Rows

CObjectPropertiesModel::CObjectPropertiesModel(CMainDoc& document, IPropertiesHost& host)
    : document_(document), host_(host) {}

QString CObjectPropertiesModel::HeaderText(int column) { return Text(column == 0 ? PropertyHeader : ValueHeader); }

PropertyRow& CObjectPropertiesModel::Add(unsigned category, int number, PropertyEditor editor) {
    if (categories_.empty() || categories_.back().id != category)
        categories_.push_back({category, Text(category), {}});
    categories_.back().rows.push_back(number);
    PropertyRow row;
    row.number = number;
    row.category = category;
    row.editor = editor;
    row.name = Text(RowNameBase + unsigned(number));
    row.description = Text(RowDescriptionBase + unsigned(number));
    if (editor == PropertyEditor::Bool) row.choices = {Text(YesText), Text(NoText)};
    if (editor == PropertyEditor::Seconds) row.characters = SafeEdit::DigitsAndSeparators;
    if (editor == PropertyEditor::Integer) row.characters = SafeEdit::Digits;
    if (editor == PropertyEditor::Time) row.mask = QStringLiteral("__:__:__");
    rows_.push_back(row);
    index_[size_t(number)] = int(rows_.size());
    return rows_.back();
}

void CObjectPropertiesModel::Rebuild(bool remoteInUse) {
    using E = PropertyEditor;
    categories_.clear();
    rows_.clear();
    rows_.reserve(RowNumberLimit);  // Add hands out references
    index_.fill(0);

    Add(CategoryObject, RowNumber, E::ReadOnly);
    Add(CategoryObject, RowLock, E::Bool);
    Add(CategoryObject, RowGroup, E::EditableList);
    PropertyRow& hotkey = Add(CategoryObject, RowHotkey, E::List);
    for (int k = 0; k < HotkeyCount; ++k) hotkey.choices << Schedule::HotkeyName(k);

    Add(CategoryPosition, RowX, E::ReadOnly);
    Add(CategoryPosition, RowY, E::ReadOnly);
    Add(CategorySize, RowWidth, E::ReadOnly);
    Add(CategorySize, RowHeight, E::ReadOnly);

    Add(CategoryBackground, RowType, E::ReadOnly);
    Add(CategoryBackground, RowColor, E::Colour).buttonText = Text(MoreText);
    PropertyRow& back = Add(CategoryBackground, RowBackTransparency, E::Integer);
    back.maximum = MaxTransparency;
    Add(CategoryBackground, RowLoopAnimation, E::Bool);
    Add(CategoryBackground, RowMaintainLink, E::Bool);
    const QString patterns = ImportPatterns();
    Add(CategoryBackground, RowImageFileName, E::File).filter =
        FormatString(QStringLiteral("%s (%s)|%s||"), {Text(ImportFilesText), patterns, patterns});

    Add(CategoryText, RowTextTransparency, E::Integer).maximum = MaxTransparency;
    Add(CategoryText, RowDropShadow, E::List).choices = Texts(ShadowNames, 5);
    Add(CategoryText, RowMovement, E::List).choices = Texts(MovementNames, 3);
    PropertyRow& speed = Add(CategoryText, RowSpeed, E::Integer);
    speed.minimum = MinSpeed;
    speed.maximum = MaxSpeed;
    Add(CategoryText, RowLoop, E::Bool);
    Add(CategoryText, RowStartFromEdge, E::Bool);
    Add(CategoryText, RowReverse, E::Bool);

    Add(CategorySource, RowTextSource, E::List).choices = Texts(SourceNames, 6);
    Add(CategorySource, RowClockFormat, E::EditableList).choices = {
        QStringLiteral("%H:%M"), QStringLiteral("%H:%M:%S"), QStringLiteral("%H:%M %p"),
        QStringLiteral("%c"),    QStringLiteral("%x"),       QStringLiteral("%X")};
    Add(CategorySource, RowEncoding, E::List).choices = Texts(EncodingNames, 5);
    Add(CategorySource, RowMonitorFileChanges, E::Bool);
    Add(CategorySource, RowFirstLineIsHeader, E::Bool);
    Add(CategorySource, RowSeparator, E::List).choices = Texts(SeparatorNames, 2);
    Add(CategorySource, RowTimerFormat, E::EditableList).choices = {
        QStringLiteral("%H:%M:%S"), QStringLiteral("%n:%S"), QStringLiteral("%s.%d"), QStringLiteral("%s.%h"),
        QStringLiteral("%s.%m")};
    Add(CategorySource, RowTimerDirection, E::List).choices = Texts(DirectionNames, 2);
    Add(CategorySource, RowTimerStart, E::Time);
    Add(CategorySource, RowTimerStop, E::Time);
    Add(CategorySource, RowFileName, E::File);
    Add(CategorySource, RowBarGraph, E::Bool);

    Add(CategoryPresentation, RowStartDelay, E::Seconds);
    Add(CategoryPresentation, RowInEffect, E::List).choices = Texts(InEffectNames, EffectCount);
    Add(CategoryPresentation, RowInEffectDuration, E::Seconds);
    Add(CategoryPresentation, RowFadeIn, E::Bool);
    Add(CategoryPresentation, RowShowFor, E::Seconds);
    Add(CategoryPresentation, RowShowIndefinitely, E::Bool);
    Add(CategoryPresentation, RowShowWhileTextMoves, E::Bool);
    Add(CategoryPresentation, RowOutEffect, E::List).choices = Texts(OutEffectNames, EffectCount);
    Add(CategoryPresentation, RowOutEffectDuration, E::Seconds);
    Add(CategoryPresentation, RowFadeOut, E::Bool);
    Add(CategoryPresentation, RowRepeat, E::Bool);

    if (remoteInUse) {
        PropertyRow& button = Add(CategoryRemote, RowSwitcherButton, E::List);
        for (int b = 0; b < ButtonCount; ++b) button.choices << Schedule::ButtonName(b);
    }
    Refresh();
}

const PropertyRow* CObjectPropertiesModel::Row(int number) const {
    if (number <= 0 || number >= RowNumberLimit || index_[size_t(number)] == 0) return nullptr;
    return &rows_[size_t(index_[size_t(number)] - 1)];
}

void CObjectPropertiesModel::FillChoices() {
    if (const int i = index_[RowGroup]) rows_[size_t(i - 1)].choices = document_.Page.GroupNames();
    if (const int i = index_[RowFileName]) rows_[size_t(i - 1)].filter = PropertyText::SourceFileFilter(values_.TextSource);
}

namespace PropertyRules {

bool Applies(int number, const CFrame& object, const CObjectPropertyValues& v) {
    const bool fixed = v.Movement == MovementFixed;
    const int source = v.TextSource;
    switch (number) {
    case RowColor:
    case RowBackTransparency: return object.Kind == KindSimple;
    case RowLoopAnimation: return object.Kind == KindPicture && FrameCount(object) > 1;
    case RowMaintainLink: return object.Kind == KindPicture && !v.ImageFileName.isEmpty();
    case RowImageFileName: return v.MaintainLink != 0;
    case RowSpeed:
    case RowLoop:
    case RowReverse:
    case RowStartFromEdge:
    case RowShowWhileTextMoves: return !fixed;
    case RowMovement: return source != SourceClock && source != SourceTimer;
    case RowShowFor:
    case RowShowIndefinitely: return fixed || !v.ShowWhileTextMoves;
    case RowClockFormat: return source == SourceClock;
    case RowFileName: return IsFileSource(source);
    case RowEncoding: return source == SourceTextFile || source == SourceCsvFile;
    case RowMonitorFileChanges: return (source == SourceTextFile || source == SourceRtfFile) && fixed;
    case RowFirstLineIsHeader:
    case RowSeparator: return source == SourceCsvFile;
    case RowBarGraph: return source == SourceTextFile;
    case RowTimerFormat:
    case RowTimerDirection:
    case RowTimerStart:
    case RowTimerStop: return source == SourceTimer;
    default: return true;
    }
}

PropertyEdit ChooseTextSource(int source, CObjectPropertyValues& v, IPropertiesHost& host) {
    if (source == v.TextSource) return PropertyEdit::Unchanged;
    if (IsFileSource(source)) {
        const QString path = host.ChooseFile(PropertyText::SourceFileFilter(source));
        if (path.isEmpty()) return PropertyEdit::Cancelled;
        v.FileName = path;
    }
    // A clock or a timer shows a value in place: it never moves.
    if (source == SourceClock || source == SourceTimer) v.Movement = MovementFixed;
    v.TextSource = source;
    return PropertyEdit::Applied;
}

void ChooseTimerDirection(int direction, CObjectPropertyValues& v) {
    if (direction != v.TimerDirection) std::swap(v.TimerStart, v.TimerStop);
    v.TimerDirection = direction;
}

}  // namespace PropertyRules

QString CObjectPropertiesModel::TextOf(int number) const {
    const PropertyRow* row = Row(number);
    CObjectPropertyValues v = values_;
    if (IsBoolRow(number)) return row->choices[*BoolField(number, v) ? 0 : 1];
    if (int* choice = ChoiceField(number, v)) return *choice >= 0 && *choice < row->choices.size() ? row->choices[*choice] : QString();
    if (int* duration = DurationField(number, v)) return PropertyText::Duration(*duration);
    const CFrame& o = *object_;
    switch (number) {
    case RowNumber: return QString::number(document_.Page.NumberOf(object_));
    case RowType: return PropertyText::BackgroundType(o);
    case RowX: return QString::number(o.Rect.left);
    case RowY: return QString::number(o.Rect.top);
    case RowWidth: return QString::number(o.Rect.Width());
    case RowHeight: return QString::number(o.Rect.Height());
    case RowColor: return PropertyText::Colour(v.BackColor);
    case RowBackTransparency: return QString::number(CFrame::OpacityToPercent(int(v.BackColor >> 24)));
    case RowTextTransparency: return QString::number(CFrame::OpacityToPercent(v.TextOpacity));
    case RowSpeed: return QString::number(v.Speed);
    case RowClockFormat: return v.ClockFormat;
    case RowFileName: return v.FileName;
    case RowTimerFormat: return v.TimerFormat;
    case RowTimerStart: return PropertyText::Time(v.TimerStart);
    case RowTimerStop: return PropertyText::Time(v.TimerStop);
    case RowGroup: return v.Group;
    case RowImageFileName: return v.ImageFileName;
    default: return QString();
    }
}

void CObjectPropertiesModel::Refresh() {
    object_ = document_.Selected;
    if (object_) values_ = CObjectPropertyValues::Of(*object_);
    FillChoices();
    texts_.fill(QString());
    enabled_.fill(false);
    if (!object_) return;
    for (const PropertyRow& row : rows_) {
        texts_[size_t(row.number)] = TextOf(row.number);
        enabled_[size_t(row.number)] = PropertyRules::Applies(row.number, *object_, values_);
    }
}

QString CObjectPropertiesModel::Value(int number) const {
    return Row(number) ? texts_[size_t(number)] : QString();
}

int CObjectPropertiesModel::ChoiceIndex(int number) const {
    const PropertyRow* row = Row(number);
    if (!row || !object_ || row->choices.isEmpty()) return -1;
    return int(row->choices.indexOf(texts_[size_t(number)]));
}

bool CObjectPropertiesModel::Enabled(int number) const { return Row(number) && enabled_[size_t(number)]; }

// ---------------------------------------------------------------------------------
// Edits

bool CObjectPropertiesModel::SetValue(int number, const QString& text, CObjectPropertyValues& v, PropertyEdit& outcome) {
    const PropertyRow& row = *Row(number);
    outcome = PropertyEdit::Refused;
    if (int* flag = BoolField(number, v)) {
        const int index = int(row.choices.indexOf(text));
        if (index < 0) return false;
        *flag = index == 0 ? 1 : 0;
        return true;
    }
    if (int* duration = DurationField(number, v)) {
        const std::optional<int> ms = PropertyText::ParseDuration(text);
        if (!ms) return false;
        *duration = *ms;
        return true;
    }
    if (int* choice = ChoiceField(number, v)) {
        const int index = int(row.choices.indexOf(text));
        if (index < 0) return false;
        if (number == RowTextSource) {
            if (PropertyRules::ChooseTextSource(index, v, host_) != PropertyEdit::Cancelled) return true;
            outcome = PropertyEdit::Cancelled;
            return false;
        }
        if (number == RowTimerDirection) PropertyRules::ChooseTimerDirection(index, v);
        *choice = index;
        return true;
    }
    switch (number) {
    case RowColor: {
        const std::optional<uint32_t> colour = PropertyText::ParseColour(text);
        if (!colour) return false;
        v.BackColor = (v.BackColor & 0xFF000000u) | *colour;
        return true;
    }
    case RowBackTransparency:
    case RowTextTransparency:
    case RowSpeed: {
        const std::optional<int> value = PropertyText::ParseInteger(text, row.minimum, row.maximum);
        if (!value) return false;
        if (number == RowSpeed) v.Speed = *value;
        else if (number == RowTextTransparency) v.TextOpacity = PropertyText::OpacityFor(*value, v.TextOpacity);
        else v.BackColor = (v.BackColor & 0x00FFFFFFu) | (uint32_t(PropertyText::OpacityFor(*value, int(v.BackColor >> 24))) << 24);
        return true;
    }
    case RowTimerStart:
    case RowTimerStop: {
        const std::optional<int> seconds = PropertyText::ParseTime(text);
        if (!seconds) return false;
        (number == RowTimerStart ? v.TimerStart : v.TimerStop) = *seconds;
        return true;
    }
    case RowGroup: v.Group = text.trimmed(); return true;
    case RowClockFormat: v.ClockFormat = text; return true;
    case RowTimerFormat: v.TimerFormat = text; return true;
    case RowFileName: v.FileName = text; return true;
    case RowImageFileName: v.ImageFileName = text; return true;
    default: return false;
    }
}

PropertyEdit CObjectPropertiesModel::Edit(int number, const QString& text) {
    Refresh();  // the values of the object selected now
    const PropertyRow* row = Row(number);
    if (!object_ || !row || row->editor == PropertyEditor::ReadOnly || !enabled_[size_t(number)])
        return PropertyEdit::Refused;
    CObjectPropertyValues v = values_;
    PropertyEdit outcome = PropertyEdit::Refused;
    if (!SetValue(number, text, v, outcome)) return outcome;  // the rows still show the object
    return Apply(v) ? PropertyEdit::Applied : PropertyEdit::Unchanged;
}

PropertyEdit CObjectPropertiesModel::EditChoice(int number, int index) {
    const PropertyRow* row = Row(number);
    if (!row || index < 0 || index >= row->choices.size()) {
        Refresh();
        return PropertyEdit::Refused;
    }
    return Edit(number, row->choices[index]);
}

bool CObjectPropertiesModel::Apply(const CObjectPropertyValues& values) {
    CFrame* object = document_.Selected;
    if (!object || CObjectPropertyValues::Of(*object) == values) {
        Refresh();
        return false;
    }
    // A playing object's properties belong to the render and text threads.
    if (document_.Page.OutputOn.load()) object->Stop();
    document_.Undo.RecordUndo(PropertiesChanged, object, true);
    document_.ScriptStop();
    CObjectPropertyValues stored = values;
    // An object with neither a show time nor "Show indefinitely" would end at once.
    if (!stored.ShowIndefinitely && stored.ShowFor == 0) stored.ShowIndefinitely = 1;
    stored.WriteTo(*object);
    // A value source with no text of its own gets the template its value goes into.
    if (object->RichText.isEmpty()) object->RichText = TextSource::DefaultTemplate(*object);
    object->EditorTextValid = 0;
    object->EditorBackgroundValid = 0;
    document_.Modified = true;
    Refresh();
    const CRect changed = object->Rect;
    host_.UpdateViews(UpdateGeneral, &changed);
    return true;
}
