// The editor's command ids: the menus, toolbars and accelerators carry them, the
// language pack keys its menu texts by them, and the status bar shows their
// prompts (the string with the same id).
#pragma once

namespace Commands {

// Menu resource of the main menu.
constexpr unsigned MainMenu = 128;

// Framework commands.
constexpr unsigned FileNew = 57600;
constexpr unsigned FileOpen = 57601;
constexpr unsigned FileSave = 57603;
constexpr unsigned FileSaveAs = 57604;
constexpr unsigned AppExit = 57665;
constexpr unsigned EditClear = 57632;
constexpr unsigned EditCopy = 57634;
constexpr unsigned EditCut = 57635;
constexpr unsigned EditPaste = 57637;
constexpr unsigned EditUndo = 57643;
constexpr unsigned EditRedo = 57644;

// Object commands.
constexpr unsigned AddSimpleObject = 32771;
constexpr unsigned AddPictureObject = 32772;
constexpr unsigned Clone = 32773;
constexpr unsigned MoveUp = 32774;
constexpr unsigned MoveDown = 32775;
constexpr unsigned Lock = 32776;
constexpr unsigned ObjectProperties = 32835;

// Playback.
constexpr unsigned PlayObject = 32777;
constexpr unsigned PauseObject = 32778;
constexpr unsigned EndObject = 32779;
constexpr unsigned StopObject = 32780;
constexpr unsigned PlayAll = 32781;
constexpr unsigned PauseAll = 32782;
constexpr unsigned EndAll = 32783;
constexpr unsigned StopAll = 32784;
constexpr unsigned HdmiOutput = 32785;
constexpr unsigned Preview = 32804;

// Scripts.
constexpr unsigned ScriptPlay = 32786;
constexpr unsigned ScriptStop = 32787;
constexpr unsigned ScriptEditor = 32807;
constexpr unsigned AutomationEditor = 32808;
constexpr unsigned PluginLaunch = 32887;

// View.
constexpr unsigned ZoomIn = 32788;
constexpr unsigned ZoomOut = 32789;
constexpr unsigned SnapToGrid = 32790;
constexpr unsigned ObjectNavigator = 32883;

// Text edited in place on the canvas, and its format commands.
constexpr unsigned EditText = 32791;
constexpr unsigned FormatBold = 32792;
constexpr unsigned FormatItalic = 32793;
constexpr unsigned FormatUnderline = 32794;
constexpr unsigned FormatTextColour = 32795;
constexpr unsigned FormatBackColour = 32796;
constexpr unsigned FormatSuperscript = 32797;
constexpr unsigned FormatSubscript = 32798;
constexpr unsigned FormatNormalScript = 32799;
constexpr unsigned FormatFont = 32800;
constexpr unsigned AlignLeft = 32801;
constexpr unsigned AlignCenter = 32802;
constexpr unsigned AlignRight = 32803;
constexpr unsigned ParagraphProperties = 32831;

// Context menus of the canvas: while text is edited in place, with an object
// selected, and otherwise.
constexpr unsigned EditingMenu = 202;
constexpr unsigned ObjectMenu = 203;
constexpr unsigned PageMenu = 204;

// Settings.
constexpr unsigned Preferences = 32805;
constexpr unsigned SetupWizard = 32806;

// Settings: the Language submenu (English, then translation i as 32900 + i).
constexpr unsigned LanguageFirst = 32900;
constexpr unsigned LanguageLast = 32909;

}  // namespace Commands
