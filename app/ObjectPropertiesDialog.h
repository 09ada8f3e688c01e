// The two modal dialogs of object properties without their widgets.
//
// "Object properties" (dialog 304) edits every setting of the selected object at
// once and, on OK, applies them in one step as a grid edit does (one undo entry).
// Its controls show the fields below; a radio button or list with a side effect
// goes through the Choose calls so that the rules stay the grid's.
//
// "Paragraph formatting" (dialog 303) edits the paragraph format of the in-place
// editor's selection in pixels, converted with the editor's twips factors.
//
// Threads: the user-interface thread.
#pragma once

#include "app/ObjectProperties.h"

#include <optional>

class CObjectPropertiesDialogModel {
public:
    // Control ids of the fields OK checks, reported when one holds an invalid value.
    enum Control : int {
        EditStartDelay = 1025,
        EditInEffectDuration = 1014,
        EditShowFor = 1019,
        EditOutEffectDuration = 1017,
        GroupList = 1023,
    };

    CObjectPropertiesDialogModel(CMainDoc& document, CObjectPropertiesModel& grid, IPropertiesHost& host);

    // Opens for the selected object: a running script stops (the operator takes
    // over) and the fields take the object's values. False without a selection.
    bool Open();

    // Static 1057.
    QString BackgroundType;
    // Check 1059: the background is fully transparent.
    bool Transparent = false;
    // Trackbars 1006 and 1008 (0 ... 100), their labels 1010 and 1012 show them.
    int BackTransparency = 0;
    int TextTransparency = 0;
    // Edits 1025, 1014, 1019, 1017: seconds, in the grid's form.
    QString StartDelay;
    QString InEffectDuration;
    QString ShowFor;
    QString OutEffectDuration;
    // Statics 1050 and 1073 "File access error!": the text source's file or the
    // image file cannot be read.
    bool TextFileError = false;
    bool ImageFileError = false;
    // Every other control (lists, checks, radio buttons, time pickers, the colour
    // button, trackbar 1020 for the speed) shows and edits its field here; statics
    // 1044 and 1071 show FileName and ImageFileName.
    CObjectPropertyValues Values;

    // Radio buttons 1030 ... 1035 and 1067, 1068, with the grid's side effects; the
    // file dialog's cancel leaves the source as it was.
    PropertyEdit ChooseTextSource(int source);
    void ChooseTimerDirection(int direction);
    // Whether the grid's row of a control applies with the values shown now.
    bool Enabled(int row) const;

    // The label of a trackbar's value.
    static QString TrackbarLabel(int value);

    // OK: checks the fields; an invalid one leaves the object as it was and is
    // reported by its control id (the dialog stays open on it). Otherwise the
    // values are applied in one step and the result is 0.
    int Ok();

private:
    CMainDoc& document_;
    CObjectPropertiesModel& grid_;
    IPropertiesHost& host_;
    CFrame* object_ = nullptr;
};

// A paragraph format in the rich text's units (twips), as the in-place editor
// reads it from its selection and sets it back. An attribute without a value is
// mixed across the selection (read) or left as it is (set).
struct CParagraphFormat {
    std::optional<int> alignment;    // 0 left, 1 right, 2 centre
    std::optional<int> lineSpacing;  // twentieths of a line: 20 single, 30 one-and-a-half, 40 double
    std::optional<int> startIndent;  // of the first line
    std::optional<int> offset;       // of the following lines against the first
    std::optional<int> rightIndent;
    std::optional<int> spaceBefore;
    std::optional<int> spaceAfter;
    bool operator==(const CParagraphFormat&) const = default;
};

class CParagraphDialogModel {
public:
    // Control ids of the fields OK checks.
    enum Control : int {
        EditLeft = 1002,
        EditRight = 1003,
        EditFirstLine = 1005,
        EditTop = 1009,
        EditBottom = 1011,
    };

    // Twips per pixel horizontally and vertically (the editor's factors).
    CParagraphDialogModel(double twipsPerPixelX, double twipsPerPixelY);

    // The fields from the selection's format: pixels rounded to nearest; empty (or
    // index -1) where the selection's paragraphs differ.
    void Fill(const CParagraphFormat& format);
    // List 1001 ("Left", "Right", "Center") and list 1007 ("Single",
    // "One-and-a-half", "Double") as indexes; -1 for none.
    int Alignment = -1;
    int LineSpacing = -1;
    // Edits 1005 "First line", 1002 "Left", 1003 "Right", 1009 "Top", 1011 "Bottom" in
    // pixels; an empty one leaves its attribute as it is.
    QString FirstLine;
    QString Left;
    QString Right;
    QString Top;
    QString Bottom;

    static QStringList AlignmentChoices();
    static QStringList LineSpacingChoices();

    // OK: the format to set, or the control id of the first field that is not a
    // whole number of pixels. "Left" needs "First line" to place the following
    // lines, so it takes the selection's first line when that field is empty.
    struct Result {
        CParagraphFormat format;
        int invalidControl = 0;
    };
    Result Ok(const CParagraphFormat& current) const;

private:
    double twipsX_;
    double twipsY_;
};
