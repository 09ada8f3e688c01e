#include "ui/MainFrame.h"

#include "app/EditorShell.h"
#include "base/Debug.h"
#include "ui/Commands.h"
#include "ui/FormatBar.h"
#include "ui/InPlaceEditor.h"
#include "ui/MainView.h"
#include "ui/NavigatorView.h"
#include "ui/ObjectPropertiesDialog.h"
#include "ui/ParagraphDialog.h"
#include "ui/PropertiesView.h"
#include "ui/PagesBrowserView.h"
#include "ui/AutomationDialog.h"
#include "ui/PluginPanel.h"
#include "ui/PreferencesDialog.h"
#include "ui/SetupWizard.h"
#include "ui/PreviewView.h"
#include "ui/ProgressDialog.h"
#include "ui/ScriptEditorDialog.h"
#include "ui/ThumbnailView.h"
#include "ui/TranslateWidgets.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFontComboBox>
#include <QFontDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

namespace {

// A round lamp for the status bar's state panes.
QPixmap Lamp(const QColor& colour) {
    QPixmap pixmap(14, 14);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(colour.darker(160));
    painter.setBrush(colour);
    painter.drawEllipse(1, 1, 12, 12);
    return pixmap;
}

QColor StateColour(int state) {
    switch (state) {
    case Shell::StateOutputOn: return QColor(220, 30, 30);
    case Shell::StateEditMode: return QColor(60, 120, 220);
    case Shell::StatePreview: return QColor(230, 190, 30);
    default: return QColor(150, 150, 150);
    }
}

}  // namespace

CMainFrame::CMainFrame(InstanceKind kind, CSettingsStore& settings, QWidget* parent,
                       RemoteButtons::Timing switcherTiming)
    : QMainWindow(parent), kind_(kind), settings_(settings) {
    CDebug::Log(1, "CMainFrame::OnCreate() build: [%s]", __DATE__);
    doc_ = std::make_unique<CMainDoc>(*this, settings_.Get(Settings::Mode));
    doc_->AutomationLoad(settings_);
    // The pages folder exists (and is stored) before the first file dialog.
    PagesFolder(settings_);
    CTranslate::Global().SelectLanguage(settings_.Get(Settings::LanguageId));

    RestoreLayout();
    BuildHotkeys();
    BuildMenus();
    BuildToolBar();
    BuildFormatBar();
    BuildStatusBar();
    SetApplicationState(kind_ == InstanceKind::Editor ? Shell::StateEditMode : Shell::StateIdle);

    CEditorShell::Hooks hooks;
    hooks.modalOpen = [this] { return ModalDialogOpen(); };
    hooks.switcherTiming = switcherTiming;
    hooks.pluginStatus = [this](const std::vector<std::pair<int, int>>& changed) {
        if (pluginPanel_)
            for (const auto& [pageIndex, playing] : changed) pluginPanel_->OnPlaybackStatus(pageIndex, playing);
    };
    hooks.outputChanged = [this] {
        if (view_) SetApplicationState(view_->Shell().ApplicationState());
        if (preview_ && view_ && !view_->Shell().PreviewRunning()) preview_->Release();
        UpdateCommandStates();
    };
    hooks.viewsChanged = [this] { UpdateAllViews(UpdateGeneral, nullptr); };
    // The wizard runs after the tick that asks for it, not inside it.
    hooks.firstSetup = [this] { QTimer::singleShot(0, this, [this] { RunSetupWizard(); }); };
    // The preview pane is made before the view, whose shell may start a preview.
    middle_ = new QSplitter(Qt::Vertical, this);
    middle_->setObjectName(QStringLiteral("middleSplitter"));
    middle_->setChildrenCollapsible(true);
    preview_ = new CPreView([this] { return doc_->ModeIndex; }, middle_);
    hooks.previewWindow = [this] { return preview_->Window(); };
    view_ = new CMainView(
        *doc_, kind_, settings_, std::move(hooks),
        [this](int kind, const CRect* rect) { UpdateAllViews(kind, rect); },
        middle_);
    view_->zoomChanged = [this](int) { UpdateCommandStates(); };
    view_->editorChanged = [this] {
        UpdateTitle();
        UpdateCommandStates();
    };
    view_->contextMenu = [this](int menuId, QPoint global) { ShowContextMenu(unsigned(menuId), global); };
    middle_->addWidget(preview_);
    middle_->addWidget(view_);
    middle_->setStretchFactor(1, 1);
    const int previewHeight = settings_.Get(Settings::PreviewHeight, kind_);
    middle_->setSizes({std::max(0, previewHeight), std::max(100, height() - previewHeight)});
    BuildPanes();
    UpdateTitle();
    UpdateCommandStates();
    doc_->UpdateScriptStatus();
}

CMainFrame::~CMainFrame() {
    CDebug::Log(1, "CMainFrame::OnDestroy()");
    // The panes hold their models, which go with this object's members.
    delete left_;
    left_ = nullptr;
    delete properties_;
    properties_ = nullptr;
    browserView_ = nullptr;
    navigatorView_ = nullptr;
    thumbnailView_ = nullptr;
    // The view (its tick, switcher client and output) goes before the document.
    delete view_;
    view_ = nullptr;
    doc_.reset();
}

void CMainFrame::ShowAsStored() {
    if (maximize_) showMaximized();
    else show();
}

// ---------------------------------------------------------------- layout

void CMainFrame::RestoreLayout() {
    const QRect area = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                        : QRect(0, 0, 1280, 800);
    const int left = settings_.Get(Settings::LayoutLeft, kind_, area.left());
    const int top = settings_.Get(Settings::LayoutTop, kind_, area.top());
    const int width = settings_.Get(Settings::LayoutWidth, kind_, area.width());
    const int height = settings_.Get(Settings::LayoutHeight, kind_, area.height());
    maximize_ = settings_.Get(Settings::Maximize, kind_) != 0;
    setGeometry(left, top, std::max(width, 200), std::max(height, 150));
}

void CMainFrame::SaveLayout() {
    const QRect normal = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    settings_.Set(Settings::LayoutLeft, normal.left(), kind_);
    settings_.Set(Settings::LayoutTop, normal.top(), kind_);
    settings_.Set(Settings::LayoutWidth, normal.width(), kind_);
    settings_.Set(Settings::LayoutHeight, normal.height(), kind_);
    settings_.Set(Settings::Maximize, isMaximized() ? 1 : 0, kind_);
    if (middle_ && !middle_->sizes().isEmpty()) settings_.Set(Settings::PreviewHeight, middle_->sizes().first(), kind_);
    if (outer_ && outer_->sizes().size() > 2) {
        settings_.Set(Settings::PaneWidth, outer_->sizes()[0], kind_);
        settings_.Set(Settings::PropsWidth, outer_->sizes()[2], kind_);
    }
    // The thumbnail row's height, unless the navigator has it collapsed (its
    // height was kept when it collapsed).
    if (left_ && !navigatorShown_ && left_->sizes().size() > 1)
        settings_.Set(Settings::ThumbHeight, left_->sizes()[1], kind_);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!view_->Shell().SaveModified([this] { return AskSavePath(); })) {
        event->ignore();
        return;
    }
    SaveLayout();
    view_->TickTimer().stop();
    event->accept();
}

// ---------------------------------------------------------------- menus and bars

QAction* CMainFrame::MakeAction(unsigned commandId, const QString& text, bool checkable) {
    auto* action = new QAction(text, this);
    action->setProperty(TranslateWidgets::CommandIdProperty, commandId);
    action->setCheckable(checkable);
    if (const qsizetype tab = text.indexOf(u'\t'); tab >= 0)
        action->setShortcut(QKeySequence(text.mid(tab + 1), QKeySequence::PortableText));
    const QString status = CTranslate::Global().GetStatusText(commandId);
    if (!status.isEmpty()) action->setStatusTip(status);
    const QString tip = CTranslate::Global().GetTooltipText(commandId);
    if (!tip.isEmpty()) action->setToolTip(tip);
    connect(action, &QAction::triggered, this, [this, commandId] { OnCommand(commandId); });
    actions_[commandId] = action;
    commandTexts_[commandId] = text;
    return action;
}

void CMainFrame::BuildMenus() {
    // Rebuilt whole on a language change: the old actions go with their menus.
    for (auto& [id, action] : actions_) {
        removeAction(action);
        action->deleteLater();
    }
    actions_.clear();
    commandTexts_.clear();
    menuBar()->clear();
    if (mainMenu_) mainMenu_->deleteLater();
    mainMenu_ = new QMenu(this);

    auto submenu = [this](QMenu* parent, const QString& title) {
        QMenu* menu = new QMenu(title, parent);
        parent->addMenu(menu);
        connect(menu, &QMenu::aboutToShow, this, [this] { UpdateCommandStates(); });
        return menu;
    };
    using namespace Commands;
    QMenu* file = submenu(mainMenu_, QStringLiteral("&File"));
    file->addAction(MakeAction(FileNew, QStringLiteral("&New\tCtrl+N")));
    file->addAction(MakeAction(FileOpen, QStringLiteral("&Open...\tCtrl+O")));
    file->addAction(MakeAction(FileSave, QStringLiteral("&Save\tCtrl+S")));
    file->addAction(MakeAction(FileSaveAs, QStringLiteral("Save &As...")));
    file->addSeparator();
    file->addAction(MakeAction(AppExit, QStringLiteral("E&xit")));

    QMenu* edit = submenu(mainMenu_, QStringLiteral("&Edit"));
    edit->addAction(MakeAction(EditUndo, QStringLiteral("&Undo\tCtrl+Z")));
    edit->addAction(MakeAction(EditRedo, QStringLiteral("&Redo\tCtrl+Y")));
    edit->addSeparator();
    edit->addAction(MakeAction(EditCut, QStringLiteral("Cu&t\tCtrl+X")));
    edit->addAction(MakeAction(EditCopy, QStringLiteral("&Copy\tCtrl+C")));
    edit->addAction(MakeAction(EditPaste, QStringLiteral("&Paste\tCtrl+V")));
    edit->addAction(MakeAction(EditClear, QStringLiteral("&Delete\tDelete")));
    edit->addSeparator();
    edit->addAction(MakeAction(Clone, QStringLiteral("&Clone\tCtrl+D")));
    // Enter on the canvas starts it too; as a shortcut it would take Enter from the editor.
    edit->addAction(MakeAction(EditText, QStringLiteral("&Edit text")));

    QMenu* view = submenu(mainMenu_, QStringLiteral("&View"));
    view->addAction(MakeAction(ZoomIn, QStringLiteral("Zoom &In\tCtrl++")));
    view->addAction(MakeAction(ZoomOut, QStringLiteral("Zoom &Out\tCtrl+-")));
    view->addSeparator();
    view->addAction(MakeAction(SnapToGrid, QStringLiteral("&Snap to grid"), true));
    view->addSeparator();
    view->addAction(MakeAction(ObjectNavigator, QStringLiteral("Object &Navigator\tF3"), true));

    QMenu* object = submenu(mainMenu_, QStringLiteral("&Object"));
    object->addAction(MakeAction(AddSimpleObject, QStringLiteral("&Simple object")));
    object->addAction(MakeAction(AddPictureObject, QStringLiteral("&Picture/animation")));
    object->addSeparator();
    object->addAction(MakeAction(MoveUp, QStringLiteral("Move &Up\tCtrl+Up")));
    object->addAction(MakeAction(MoveDown, QStringLiteral("Move Do&wn\tCtrl+Down")));
    object->addAction(MakeAction(Lock, QStringLiteral("&Lock"), true));
    object->addSeparator();
    object->addAction(MakeAction(ObjectProperties, QStringLiteral("P&roperties...")));

    QMenu* format = submenu(mainMenu_, QStringLiteral("F&ormat"));
    format->addAction(MakeAction(FormatBold, QStringLiteral("&Bold\tCtrl+B"), true));
    format->addAction(MakeAction(FormatItalic, QStringLiteral("&Italic\tCtrl+I"), true));
    format->addAction(MakeAction(FormatUnderline, QStringLiteral("&Underline\tCtrl+U"), true));
    format->addSeparator();
    format->addAction(MakeAction(FormatTextColour, QStringLiteral("Text &colour...")));
    format->addAction(MakeAction(FormatBackColour, QStringLiteral("Bac&kground colour..."), true));
    format->addSeparator();
    format->addAction(MakeAction(FormatSuperscript, QStringLiteral("Su&perscript")));
    format->addAction(MakeAction(FormatSubscript, QStringLiteral("Subs&cript")));
    format->addAction(MakeAction(FormatNormalScript, QStringLiteral("&Normal script")));
    format->addSeparator();
    format->addAction(MakeAction(FormatFont, QStringLiteral("&Font...")));
    format->addSeparator();
    format->addAction(MakeAction(AlignLeft, QStringLiteral("&Left\tCtrl+L"), true));
    format->addAction(MakeAction(AlignCenter, QStringLiteral("C&enter\tCtrl+E"), true));
    format->addAction(MakeAction(AlignRight, QStringLiteral("&Right\tCtrl+R"), true));
    format->addSeparator();
    format->addAction(MakeAction(ParagraphProperties, QStringLiteral("&Paragraph...")));

    QMenu* playback = submenu(mainMenu_, QStringLiteral("&Playback"));
    playback->addAction(MakeAction(PlayObject, QStringLiteral("P&lay object\tCtrl+F5")));
    playback->addAction(MakeAction(PauseObject, QStringLiteral("Pa&use/resume object\tCtrl+F6")));
    playback->addAction(MakeAction(EndObject, QStringLiteral("&End object\tCtrl+F7")));
    playback->addAction(MakeAction(StopObject, QStringLiteral("&Stop object\tCtrl+F8")));
    playback->addSeparator();
    playback->addAction(MakeAction(PlayAll, QStringLiteral("&Play all objects\tF5")));
    playback->addAction(MakeAction(PauseAll, QStringLiteral("P&ause all objects\tF6")));
    playback->addAction(MakeAction(EndAll, QStringLiteral("E&nd all objects\tF7")));
    playback->addAction(MakeAction(StopAll, QStringLiteral("S&top all objects\tF8")));
    playback->addSeparator();
    playback->addAction(MakeAction(HdmiOutput, QStringLiteral("&HDMI output"), true));
    playback->addAction(MakeAction(Preview, QStringLiteral("Pre&view"), true));

    QMenu* scripts = submenu(mainMenu_, QStringLiteral("&Scripts"));
    scripts->addAction(MakeAction(ScriptPlay, QStringLiteral("P&lay")));
    scripts->addAction(MakeAction(ScriptStop, QStringLiteral("&Stop")));
    scripts->addSeparator();
    scripts->addAction(MakeAction(ScriptEditor, QStringLiteral("Script &editor...")));
    scripts->addAction(MakeAction(AutomationEditor, QStringLiteral("&Automation...")));
    // The sport command only where the settings ask for plug-ins.
    if (settings_.Get(Settings::PluginSupport) != 0) {
        scripts->addSeparator();
        scripts->addAction(MakeAction(PluginLaunch, QStringLiteral("S&port...")));
    }

    QMenu* settings = submenu(mainMenu_, QStringLiteral("Se&ttings"));
    settings->addAction(MakeAction(Preferences, QStringLiteral("&Preferences")));
    settings->addAction(MakeAction(SetupWizard, QStringLiteral("Run initial setup &wizard")));
    settings->addSeparator();
    QMenu* language = submenu(settings, QStringLiteral("&Language"));
    auto* languages = new QActionGroup(language);
    CTranslate& translate = CTranslate::Global();
    for (int i = 0; i <= translate.TranslationCount(); ++i) {
        QAction* action = MakeAction(LanguageFirst + unsigned(i), translate.GetLanguageName(i), true);
        action->setChecked(i == translate.CurrentLanguage());
        languages->addAction(action);
        language->addAction(action);
    }

    translate.PopupCounter = 0;
    TranslateWidgets::TranslateMenu(Commands::MainMenu, mainMenu_);
    for (QAction* top : mainMenu_->actions())
        if (top->menu()) menuBar()->addMenu(top->menu());
    UpdateTitle();
}

void CMainFrame::BuildToolBar() {
    toolBar_ = addToolBar(QStringLiteral("Main"));
    toolBar_->setObjectName(QStringLiteral("mainToolBar"));
    const int size = settings_.Get(Settings::LargeToolbar) ? 32 : 16;
    toolBar_->setIconSize(QSize(size, size));
    struct Button {
        unsigned id;
        QStyle::StandardPixmap icon;
    };
    using namespace Commands;
    const Button buttons[] = {
        {FileNew, QStyle::SP_FileIcon},          {FileOpen, QStyle::SP_DialogOpenButton},
        {FileSave, QStyle::SP_DialogSaveButton}, {0, {}},
        {EditUndo, QStyle::SP_ArrowBack},        {EditRedo, QStyle::SP_ArrowForward},
        {0, {}},                                 {AddSimpleObject, QStyle::SP_FileDialogNewFolder},
        {EditClear, QStyle::SP_TrashIcon},       {0, {}},
        {PlayAll, QStyle::SP_MediaPlay},         {PauseAll, QStyle::SP_MediaPause},
        {StopAll, QStyle::SP_MediaStop},         {HdmiOutput, QStyle::SP_ComputerIcon},
        {Preview, QStyle::SP_DesktopIcon},
    };
    for (const Button& button : buttons) {
        if (button.id == 0) {
            toolBar_->addSeparator();
            continue;
        }
        QAction* action = Action(button.id);
        action->setIcon(style()->standardIcon(button.icon));
        toolBar_->addAction(action);
    }
}

void CMainFrame::BuildFormatBar() {
    using namespace Commands;
    formatBar_ = new CFormatBar(this);
    const int size = settings_.Get(Settings::LargeToolbar) ? 32 : 16;
    formatBar_->setIconSize(QSize(size, size));
    addToolBar(formatBar_);
    formatBar_->AddFontControls();
    formatBar_->AddSeparatorItem();
    for (unsigned id : {FormatBold, FormatItalic, FormatUnderline, FormatTextColour, 0u, AlignLeft, AlignCenter,
                        AlignRight}) {
        if (id == 0) formatBar_->AddSeparatorItem();
        else formatBar_->AddCommand(id, Action(id));
    }
    formatBar_->facePicked = [this](const QString& face) {
        if (CInPlaceEditor* editor = view_ ? view_->Editor() : nullptr)
            if (const auto change = InPlaceText::Face(face)) editor->ApplyFormat(*change);
    };
    formatBar_->sizePicked = [this](const QString& points) {
        if (CInPlaceEditor* editor = view_ ? view_->Editor() : nullptr)
            if (const auto change = InPlaceText::Size(points, editor->Scale())) editor->ApplyFormat(*change);
    };
}

std::unique_ptr<QMenu> CMainFrame::MakeContextMenu(unsigned menuId) {
    using namespace Commands;
    UpdateCommandStates();
    std::vector<unsigned> items;
    switch (menuId) {
    case EditingMenu:
        items = {EditUndo,   EditRedo,       0,        EditCut,          EditCopy,        EditPaste,
                 0,          FormatBold,     FormatItalic, FormatUnderline, FormatTextColour, 0,
                 AlignLeft,  AlignCenter,    AlignRight, 0,              FormatFont,      ParagraphProperties};
        break;
    case ObjectMenu:
        items = {EditText, ObjectProperties, 0,         PlayObject, PauseObject, EndObject, StopObject, 0,
                 EditCut,  EditCopy,         EditPaste, EditClear,  Clone,       0,         MoveUp,     MoveDown,
                 Lock};
        break;
    default:
        items = {EditPaste, 0, AddSimpleObject, AddPictureObject, 0, PlayAll, StopAll};
        break;
    }
    auto menu = std::make_unique<QMenu>(this);
    menu->setProperty("menuId", menuId);
    for (unsigned id : items) {
        QAction* source = Action(id);
        if (id == 0 || !source) {
            menu->addSeparator();
            continue;
        }
        // Its own action: the context menu's translation must not rename the main menu's.
        QAction* item = menu->addAction(commandTexts_[id]);
        item->setProperty(TranslateWidgets::CommandIdProperty, id);
        item->setCheckable(source->isCheckable());
        item->setChecked(source->isChecked());
        item->setEnabled(source->isEnabled());
        item->setShortcut(source->shortcut());
        connect(item, &QAction::triggered, this, [this, id] { OnCommand(id); });
    }
    CTranslate::Global().PopupCounter = 0;
    TranslateWidgets::TranslateMenu(menuId, menu.get());
    return menu;
}

void CMainFrame::BuildPanes() {
    thumbnails_ = std::make_unique<CThumbnailsModel>();
    browser_ = std::make_unique<CPagesBrowserModel>(*doc_, settings_, thumbnails_.get(),
                                                    QCoreApplication::applicationFilePath());
    navigator_ = std::make_unique<CObjectNavigatorModel>(*doc_);

    outer_ = new QSplitter(Qt::Horizontal, this);
    outer_->setObjectName(QStringLiteral("outerSplitter"));
    left_ = new QSplitter(Qt::Vertical, outer_);
    left_->setObjectName(QStringLiteral("leftSplitter"));
    leftTop_ = new QStackedWidget(left_);
    browser_->SetRootFolder(PagesFolder(settings_));
    browserView_ = new CFileTreeView(*browser_, leftTop_);
    navigatorView_ = new CObjectsListView(*navigator_, settings_, leftTop_);
    navigatorView_->contextMenu = [this](int menuId, QPoint global) { ShowContextMenu(unsigned(menuId), global); };
    navigatorView_->playChanged = [this] { UpdateCommandStates(); };
    // Edit on a script with actions opens the script editor on it.
    browserView_->openScriptEditor = [this] { OpenScriptEditor(); };
    leftTop_->addWidget(browserView_);
    leftTop_->addWidget(navigatorView_);
    thumbnailView_ = new CThumbnailView(*thumbnails_, left_);
    left_->addWidget(leftTop_);
    left_->addWidget(thumbnailView_);
    left_->setStretchFactor(0, 1);
    const int thumbHeight = std::max(0, settings_.Get(Settings::ThumbHeight, kind_));
    left_->setSizes({std::max(100, height() - thumbHeight), thumbHeight});

    properties_ = new CPropertiesView(*doc_, *this, outer_);
    properties_->Rebuild(RemoteInUse());

    outer_->addWidget(left_);
    outer_->addWidget(middle_);
    outer_->addWidget(properties_);
    outer_->setStretchFactor(1, 1);
    const int paneWidth = std::max(0, settings_.Get(Settings::PaneWidth, kind_));
    const int propsWidth = std::max(0, settings_.Get(Settings::PropsWidth, kind_));
    outer_->setSizes({paneWidth, std::max(100, width() - paneWidth - propsWidth), propsWidth});
    setCentralWidget(outer_);
}

void CMainFrame::SwitchNavigatorPane() {
    const QList<int> sizes = left_->sizes();
    const int thumbRow = sizes.size() > 1 ? sizes[1] : 0;
    const NavigatorSwitch result = SwitchNavigator(navigatorShown_, thumbRow, settings_, kind_);
    navigatorShown_ = result.navigatorShown;
    leftTop_->setCurrentWidget(navigatorShown_ ? static_cast<QWidget*>(navigatorView_)
                                               : static_cast<QWidget*>(browserView_));
    // Collapsed while the navigator shows; back at its stored height (at least its
    // minimum) with the pages browser.
    const int total = std::max(0, sizes.value(0) + sizes.value(1));
    const int thumb = navigatorShown_ ? 0 : std::min(total, std::max(result.thumbIdealHeight, result.thumbMinimumHeight));
    thumbnailView_->setVisible(!navigatorShown_);
    left_->setSizes({total - thumb, thumb});
    if (navigatorShown_) navigatorView_->DocumentUpdated(UpdateGeneral);
    UpdateCommandStates();
}

bool CMainFrame::RemoteInUse() const { return settings_.Get(Settings::UseRemote) != 0; }

QString CMainFrame::ChooseFile(const QString& filter) {
    return ChooseSourceFile ? ChooseSourceFile(filter) : PropertiesFileDialog::Choose(this, filter);
}

int CMainFrame::Run(QDialog& dialog) { return RunDialog ? RunDialog(dialog) : dialog.exec(); }

void CMainFrame::OpenObjectProperties() {
    CDlgFrameProps dialog(*doc_, properties_->Model(), *this, nullptr, this);
    if (dialog.Open()) Run(dialog);
    properties_->Refresh();
}

void CMainFrame::OpenParagraphProperties() {
    CInPlaceEditor* editor = view_ ? view_->Editor() : nullptr;
    if (!editor) return;
    CDlgParaFmt dialog(InPlaceText::TwipsPerPixel, InPlaceText::TwipsPerPixel, nullptr, this);
    const CParagraphFormat current = InPlaceText::ParagraphOf(editor->textCursor());
    dialog.Fill(current);
    if (Run(dialog) != QDialog::Accepted || !dialog.Format()) return;
    QTextCursor cursor = editor->textCursor();
    InPlaceText::SetParagraph(cursor, *dialog.Format());
    editor->setTextCursor(cursor);
    editor->setFocus();
}

void CMainFrame::LaunchPlugin() {
    CMainDoc& doc = *doc_;
    if (kind_ != InstanceKind::Main || !doc.Page.OutputOn.load()) return;
    // A new page first, with the usual offer to save the old one.
    if (!view_->Shell().SaveModified([this] { return AskSavePath(); })) return;
    doc.NewPage();
    if (doc.Modified) return;
    QString path;
    if (ChoosePluginPath) {
        path = ChoosePluginPath();
    } else {
        const QString last = settings_.GetText(Settings::PluginLastFileName);
        const QString start = last.isEmpty() ? PagesFolder(settings_) : last;
        const QString filter = CTranslate::Global().LoadText(10226) + QStringLiteral(" (*.plugin)");
        path = QFileDialog::getOpenFileName(this, QString(), start, filter);
    }
    if (path.isEmpty() || !doc.PluginLaunch(path, settings_)) return;
    {
        CDlgPlugin panel(doc, *doc.Plugin, MakeKeypadTransport ? MakeKeypadTransport() : MakeHidXKTransport(), this);
        pluginPanel_ = &panel;
        Run(panel);
        pluginPanel_ = nullptr;
    }
    activateWindow();
    raise();
    doc.PluginClose();
    UpdateAllViews(UpdateGeneral, nullptr);
}

void CMainFrame::OpenScriptEditor() {
    CDlgScriptEditor dialog(*doc_, settings_, this);
    Run(dialog);
    UpdateCommandStates();
}

void CMainFrame::OpenAutomationEditor() {
    CDlgAutomationEditor dialog(*doc_, settings_, view_->Shell().GlobalHotkeys(), this);
    Run(dialog);
}

void CMainFrame::CanvasSettingsChanged() {
    view_->Canvas().ReloadSettings();
    view_->Relayout();
    preview_->Relayout();
    UpdateAllViews(UpdateGeneral, nullptr);
}

void CMainFrame::OpenPreferences() {
    CPreferencesModel::Hooks hooks;
    hooks.modeChanged = [this] { CanvasSettingsChanged(); };
    hooks.canvasChanged = [this] { CanvasSettingsChanged(); };
    hooks.remoteChanged = [this] {
        view_->Shell().RestartSwitcher();
        UpdateAllViews(UpdateGeneral, nullptr);
    };
    hooks.settingsWritten = [this] { browser_->ReloadSettings(); };
    CDlgPreferences dialog(*doc_, settings_, kind_, std::move(hooks), {}, this);
    Run(dialog);
}

void CMainFrame::RunSetupWizard() {
    if (!CSetupWizardModel::RenewDocument(*doc_, view_->Shell(), [this] { return AskSavePath(); })) return;
    CSetupWizardModel::Hooks hooks;
    hooks.modeChanged = [this] { CanvasSettingsChanged(); };
    hooks.settingsWritten = [this] { browser_->ReloadSettings(); };
    hooks.startOutput = [this] {
        if (!view_->Shell().OutputRunning()) view_->Shell().ToggleOutput();
    };
    CFirstSetupWizard wizard(*doc_, settings_, kind_, std::move(hooks), {}, this);
    Run(wizard);
    UpdateCommandStates();
}

void CMainFrame::ShowContextMenu(unsigned menuId, QPoint global) {
    std::unique_ptr<QMenu> menu = MakeContextMenu(menuId);
    if (ShowMenu) ShowMenu(*menu, global);
    else menu->exec(global);
}

void CMainFrame::BuildStatusBar() {
    scriptIcon_ = new QLabel(this);
    scriptIcon_->setObjectName(QStringLiteral("scriptStateIcon"));
    scriptText_ = new QLabel(this);
    scriptText_->setObjectName(QStringLiteral("scriptStatusText"));
    scriptText_->setMinimumWidth(220);
    objectText_ = new QLabel(this);
    objectText_->setObjectName(QStringLiteral("objectStatusText"));
    objectText_->setMinimumWidth(200);
    stateIcon_ = new QLabel(this);
    stateIcon_->setObjectName(QStringLiteral("applicationStateIcon"));
    statusBar()->addPermanentWidget(scriptIcon_);
    statusBar()->addPermanentWidget(scriptText_);
    statusBar()->addPermanentWidget(objectText_);
    statusBar()->addPermanentWidget(stateIcon_);
}

void CMainFrame::BuildHotkeys() {
    for (int k = 1; k <= 20; ++k) {
        const unsigned id = Shell::CommandForHotkey(k);
        const QString keys = QStringLiteral("%1+%2").arg(k <= 10 ? QStringLiteral("Ctrl") : QStringLiteral("Alt")).arg(
            k <= 10 ? k - 1 : k - 11);
        auto* action = new QAction(keys, this);
        action->setProperty(TranslateWidgets::CommandIdProperty, id);
        action->setShortcut(QKeySequence(keys, QKeySequence::PortableText));
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        addAction(action);
        hotkeys_[id] = action;
    }
}

QAction* CMainFrame::Action(unsigned commandId) const {
    if (auto it = actions_.find(commandId); it != actions_.end()) return it->second;
    if (auto it = hotkeys_.find(commandId); it != hotkeys_.end()) return it->second;
    return nullptr;
}

void CMainFrame::UpdateCommandStates() {
    using namespace Commands;
    CMainDoc& doc = *doc_;
    const bool selected = doc.Selected != nullptr;
    const bool output = doc.Page.OutputOn.load() != 0;
    auto enable = [this](unsigned id, bool on) {
        if (QAction* action = Action(id)) action->setEnabled(on);
    };
    auto check = [this](unsigned id, bool on) {
        if (QAction* action = Action(id)) action->setChecked(on);
    };
    if (CInPlaceEditor* editor = view_ ? view_->Editor() : nullptr) {
        // The edit commands act on the editor's text while it is open.
        const bool text = editor->textCursor().hasSelection();
        enable(EditUndo, editor->document()->isUndoAvailable());
        enable(EditRedo, editor->document()->isRedoAvailable());
        enable(EditCut, text);
        enable(EditCopy, text);
        enable(EditPaste, editor->canPaste());
        enable(EditClear, text);
    } else {
        enable(EditUndo, doc.Undo.CanUndo());
        enable(EditRedo, doc.Undo.CanRedo());
        enable(EditCut, selected);
        enable(EditCopy, selected);
        enable(EditPaste, doc.Clipboard != nullptr);
        enable(EditClear, selected);
    }
    enable(EditText, selected && view_ && !view_->Canvas().Editing() && doc.Selected->TextSource != SourceRtfFile);
    enable(Clone, selected);
    enable(MoveUp, selected && doc.SelectedNumber < doc.Page.LiveCount());
    enable(MoveDown, selected && doc.SelectedNumber > 1);
    enable(Lock, selected);
    enable(ObjectProperties, selected);
    check(Lock, selected && doc.Selected->Locked);
    for (unsigned id : {PlayObject, PauseObject, EndObject, StopObject}) enable(id, selected && output);
    for (unsigned id : {PlayAll, PauseAll, EndAll, StopAll}) enable(id, output);
    enable(HdmiOutput, kind_ == InstanceKind::Main);
    check(HdmiOutput, view_ && view_->Shell().OutputRunning() && !view_->Shell().PreviewRunning());
    enable(Preview, kind_ == InstanceKind::Main);
    check(Preview, view_ && view_->Shell().PreviewRunning());
    enable(ScriptPlay, doc.ScriptCanRun());
    enable(ScriptStop, doc.ScriptRunning());
    enable(PluginLaunch, output && !ModalDialogOpen());
    enable(ScriptEditor, !doc.ScriptRunning());
    enable(AutomationEditor, kind_ == InstanceKind::Main);
    enable(SetupWizard, kind_ == InstanceKind::Main && view_ && !view_->Shell().OutputRunning());
    if (view_) {
        enable(ZoomIn, view_->ZoomIndex() > 0);
        enable(ZoomOut, view_->ZoomIndex() < CCanvasModel::ZoomCount - 1);
        check(SnapToGrid, view_->SnapToGrid());
    }
    check(ObjectNavigator, navigatorShown_);
    UpdateFormatStates();
}

void CMainFrame::UpdateFormatStates() {
    using namespace Commands;
    CInPlaceEditor* editor = view_ ? view_->Editor() : nullptr;
    const InPlaceText::SelectionFormat format = editor ? editor->Format() : InPlaceText::SelectionFormat{};
    auto state = [this](unsigned id, bool on, bool checked) {
        if (QAction* action = Action(id)) {
            action->setEnabled(on);
            if (action->isCheckable()) action->setChecked(on && checked);
        }
    };
    const bool open = editor != nullptr;
    state(FormatBold, open, format.bold);
    state(FormatItalic, open, format.italic);
    state(FormatUnderline, open, format.underline);
    state(FormatTextColour, open, false);
    state(FormatBackColour, open && editor->textCursor().hasSelection(), format.background.isValid());
    for (unsigned id : {FormatSuperscript, FormatSubscript, FormatNormalScript, FormatFont, ParagraphProperties})
        state(id, open, false);
    // A crawl's alignment is fixed: left, or right when it runs in reverse.
    const bool single = open && editor->SingleLine();
    const InPlaceText::Alignment alignment = format.alignment;
    state(AlignLeft, open && !single, alignment == InPlaceText::Alignment::Left);
    state(AlignCenter, open && !single, alignment == InPlaceText::Alignment::Center);
    state(AlignRight, open && !single, alignment == InPlaceText::Alignment::Right);
    if (single) {
        if (QAction* left = Action(AlignLeft)) left->setChecked(alignment != InPlaceText::Alignment::Right);
        if (QAction* right = Action(AlignRight)) right->setChecked(alignment == InPlaceText::Alignment::Right);
    }
    if (formatBar_) formatBar_->Show(open ? &format : nullptr);
}

bool CMainFrame::FormatCommand(unsigned commandId) {
    using namespace Commands;
    CInPlaceEditor* editor = view_ ? view_->Editor() : nullptr;
    if (!editor) return false;
    const InPlaceText::SelectionFormat format = editor->Format();
    auto chooseColour = [this](const QColor& initial) {
        return ChooseColour ? ChooseColour(initial) : QColorDialog::getColor(initial, this);
    };
    auto collapseToEnd = [editor] {
        QTextCursor cursor = editor->textCursor();
        cursor.setPosition(cursor.selectionEnd());
        editor->setTextCursor(cursor);
    };
    QApplication::setOverrideCursor(Qt::WaitCursor);
    switch (commandId) {
    case FormatBold: editor->ApplyFormat(InPlaceText::ToggleBold(format)); break;
    case FormatItalic: editor->ApplyFormat(InPlaceText::ToggleItalic(format)); break;
    case FormatUnderline: editor->ApplyFormat(InPlaceText::ToggleUnderline(format)); break;
    case FormatTextColour: {
        QApplication::restoreOverrideCursor();
        const QColor colour = chooseColour(format.colour);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        if (colour.isValid()) editor->ApplyFormat(InPlaceText::Colour(colour));
        collapseToEnd();
        break;
    }
    case FormatBackColour: {
        if (!editor->textCursor().hasSelection()) break;
        if (format.background.isValid()) {
            editor->ApplyFormat(InPlaceText::Background(QColor()));
        } else {
            QApplication::restoreOverrideCursor();
            const QColor colour = chooseColour(Qt::black);
            QApplication::setOverrideCursor(Qt::WaitCursor);
            if (colour.isValid()) editor->ApplyFormat(InPlaceText::Background(colour));
        }
        collapseToEnd();
        break;
    }
    case FormatSuperscript: editor->ApplyFormat(InPlaceText::Script(format, 1)); break;
    case FormatSubscript: editor->ApplyFormat(InPlaceText::Script(format, -1)); break;
    case FormatNormalScript: editor->ApplyFormat(InPlaceText::Script(format, 0)); break;
    case FormatFont: {
        QApplication::restoreOverrideCursor();
        QFont initial(format.face.isEmpty() ? QStringLiteral("Arial") : format.face);
        initial.setPointSize(format.points > 0 ? format.points : 28);
        initial.setBold(format.bold);
        initial.setItalic(format.italic);
        initial.setUnderline(format.underline);
        bool ok = false;
        const QFont font = QFontDialog::getFont(&ok, initial, this, QString(), QFontDialog::ScalableFonts);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        if (!ok) break;
        QTextCharFormat change;
        if (const auto face = InPlaceText::Face(font.family())) change.merge(*face);
        if (const auto size = InPlaceText::Size(QString::number(font.pointSize()), editor->Scale()))
            change.merge(*size);
        change.setFontWeight(font.bold() ? QFont::Bold : QFont::Normal);
        change.setFontItalic(font.italic());
        change.setFontUnderline(font.underline());
        change.setFontStrikeOut(font.strikeOut());
        editor->ApplyFormat(change);
        break;
    }
    case AlignLeft: editor->Align(InPlaceText::Alignment::Left); break;
    case AlignCenter: editor->Align(InPlaceText::Alignment::Center); break;
    case AlignRight: editor->Align(InPlaceText::Alignment::Right); break;
    default: break;
    }
    QApplication::restoreOverrideCursor();
    editor->setFocus();
    return true;
}

void CMainFrame::UpdateTitle() {
    if (doc_) setWindowTitle(Shell::WindowTitle(kind_, doc_->Title));
}

void CMainFrame::SetApplicationState(int state) {
    appState_ = state;
    if (!stateIcon_) return;
    stateIcon_->setPixmap(Lamp(StateColour(state)));
    stateIcon_->setToolTip(Shell::ApplicationStateText(state));
}

QString CMainFrame::ScriptStatusText() const { return scriptText_ ? scriptText_->text() : QString(); }
QString CMainFrame::ApplicationStateText() const { return stateIcon_ ? stateIcon_->toolTip() : QString(); }

void CMainFrame::SelectLanguage(int index) {
    CTranslate::Global().SelectLanguage(index);
    settings_.Set(Settings::LanguageId, index);
    BuildMenus();
    // The toolbar's actions were the old menus': put the new ones in their places.
    removeToolBar(toolBar_);
    delete toolBar_;
    BuildToolBar();
    UpdateCommandStates();
    if (properties_) properties_->Rebuild(RemoteInUse());
    UpdateViews(UpdateLanguage);
}

// ---------------------------------------------------------------- commands

QString CMainFrame::AskSavePath() {
    QString path = ChooseSavePath ? ChooseSavePath()
                                  : QFileDialog::getSaveFileName(this, QString(), PagesFolder(settings_),
                                                                 QStringLiteral("Page files (*.corvane)"));
    if (!path.isEmpty() && !path.endsWith(QStringLiteral(".corvane"), Qt::CaseInsensitive))
        path += QStringLiteral(".corvane");
    return path;
}

bool CMainFrame::SaveAs() {
    const QString path = AskSavePath();
    return !path.isEmpty() && doc_->Save(path);
}

void CMainFrame::OnCommand(unsigned commandId) {
    using namespace Commands;
    CMainDoc& doc = *doc_;
    if (const int hotkey = Shell::HotkeyForCommand(commandId)) {
        doc.HotkeyCommand(hotkey);
        UpdateCommandStates();
        return;
    }
    if (commandId >= LanguageFirst && commandId <= LanguageLast) {
        SelectLanguage(int(commandId - LanguageFirst));
        return;
    }
    CEditorShell& shell = view_->Shell();
    if (CInPlaceEditor* editor = view_->Editor()) {
        // Undo, redo and the clipboard act on the editor's own text while it is open.
        bool handled = true;
        switch (commandId) {
        case EditUndo: editor->undo(); break;
        case EditRedo: editor->redo(); break;
        case EditCut: editor->cut(); break;
        case EditCopy: editor->copy(); break;
        case EditPaste: editor->paste(); break;
        case EditClear: editor->textCursor().removeSelectedText(); break;
        default: handled = false; break;
        }
        if (handled) {
            UpdateCommandStates();
            return;
        }
    }
    if (commandId >= FormatBold && commandId <= AlignRight) {
        FormatCommand(commandId);
        UpdateCommandStates();
        return;
    }
    auto play = [&doc](PlayCommand command, const CommandTarget& target) { doc.Command(command, target); };
    switch (commandId) {
    case FileNew:
        if (shell.SaveModified([this] { return AskSavePath(); })) doc.NewPage();
        break;
    case FileOpen: {
        if (!shell.SaveModified([this] { return AskSavePath(); })) break;
        const QString path = ChooseOpenPath ? ChooseOpenPath()
                                            : QFileDialog::getOpenFileName(this, QString(), PagesFolder(settings_),
                                                                           QStringLiteral("Page files (*.corvane)"));
        if (!path.isEmpty()) doc.Open(path);
        break;
    }
    case FileSave:
        if (doc.PathName.isEmpty()) SaveAs();
        else doc.Save(doc.PathName);
        break;
    case FileSaveAs: SaveAs(); break;
    case AppExit: close(); break;
    case EditUndo: doc.DoUndo(); break;
    case EditRedo: doc.DoRedo(); break;
    case EditCut: doc.Cut(); break;
    case EditCopy: doc.Copy(); break;
    case EditPaste: doc.Paste(); break;
    case EditClear: doc.Delete(); break;
    case Clone: doc.Clone(); break;
    case AddSimpleObject: doc.AddSimpleObject(); break;
    case AddPictureObject: doc.AddPictureObject(); break;
    case MoveUp: doc.MoveUp(); break;
    case MoveDown: doc.MoveDown(); break;
    case Lock: doc.Lock(); break;
    case PlayObject: play(PlayCommand::Play, CommandTarget::Selected()); break;
    case PauseObject: play(PlayCommand::PauseResume, CommandTarget::Selected()); break;
    case EndObject: play(PlayCommand::End, CommandTarget::Selected()); break;
    case StopObject: play(PlayCommand::Stop, CommandTarget::Selected()); break;
    case PlayAll: play(PlayCommand::Play, CommandTarget::Every()); break;
    case PauseAll: play(PlayCommand::PauseResume, CommandTarget::Every()); break;
    case EndAll: play(PlayCommand::End, CommandTarget::Every()); break;
    case StopAll: play(PlayCommand::Stop, CommandTarget::Every()); break;
    case HdmiOutput:
        if (kind_ == InstanceKind::Main) shell.ToggleOutput();
        break;
    case Preview:
        if (kind_ == InstanceKind::Main) shell.TogglePreview();
        break;
    case ScriptPlay:
        if (doc.Script.Count() > 0) {
            doc.ScriptStart();
        } else {
            const QString path = ChooseScriptPath ? ChooseScriptPath()
                                                  : QFileDialog::getOpenFileName(
                                                        this, QString(), PagesFolder(settings_),
                                                        CTranslate::Global().LoadText(10211) +
                                                            QStringLiteral(" (*.script)"));
            if (!path.isEmpty()) doc.ScriptLoad(path, true);
        }
        break;
    case ScriptStop: doc.ScriptStop(); break;
    case EditText: view_->Canvas().StartEdit(); break;
    case ObjectProperties: OpenObjectProperties(); break;
    case ParagraphProperties: OpenParagraphProperties(); break;
    case PluginLaunch: LaunchPlugin(); break;
    case ScriptEditor:
        if (!doc.ScriptRunning()) OpenScriptEditor();
        break;
    case AutomationEditor:
        if (kind_ == InstanceKind::Main) OpenAutomationEditor();
        break;
    case Preferences: OpenPreferences(); break;
    case SetupWizard:
        if (kind_ == InstanceKind::Main && !shell.OutputRunning()) RunSetupWizard();
        break;
    case ZoomIn: view_->SetZoom(view_->ZoomIndex() - 1); break;
    case ZoomOut: view_->SetZoom(view_->ZoomIndex() + 1); break;
    case SnapToGrid: view_->SetSnapToGrid(!view_->SnapToGrid()); break;
    case ObjectNavigator: SwitchNavigatorPane(); break;
    default: break;
    }
    UpdateTitle();
    UpdateCommandStates();
}

// ---------------------------------------------------------------- IDocumentHost

void CMainFrame::UpdateViews(int kind) { UpdateAllViews(kind, nullptr); }

void CMainFrame::UpdateAllViews(int kind, const CRect* rect) {
    UpdateTitle();
    if (view_) view_->DocumentUpdated(kind, rect);
    if (navigatorView_ && navigatorShown_) navigatorView_->DocumentUpdated(kind);
    // The status bar's rectangle and the property grid follow moves and edits.
    SelectionChanged(doc_->Selected);
    UpdateCommandStates();
}

const CPicture* CMainFrame::CanvasPicture() { return view_ ? &view_->Canvas().Composition() : nullptr; }

void CMainFrame::SelectionChanged(CFrame*) {
    if (objectText_ && view_) objectText_->setText(view_->Canvas().StatusText());
    if (properties_) properties_->SelectionChanged();
}

PlacementRule CMainFrame::Placement(int pageWidth, int pageHeight) const {
    if (!view_) return IDocumentHost::Placement(pageWidth, pageHeight);
    return view_->Canvas().Placement();
}

QString CMainFrame::ChooseImportFile(const QString& filter) {
    if (ChooseImportPath) return ChooseImportPath();
    return QFileDialog::getOpenFileName(this, QString(), PagesFolder(settings_), PropertiesFileDialog::QtFilter(filter));
}

void CMainFrame::ProgressOpen(int range) {
    progress_ = std::make_unique<CDlgProgress>(range, this);
    progress_->show();
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CMainFrame::ProgressSet(int position) {
    if (progress_) progress_->SetPosition(position);
}

bool CMainFrame::ProgressCancelled() { return progress_ && progress_->Cancelled(); }

void CMainFrame::ProgressClose() {
    if (!progress_) return;
    progress_.reset();
    QApplication::restoreOverrideCursor();
}

bool CMainFrame::ModalDialogOpen() { return QApplication::activeModalWidget() != nullptr; }

void CMainFrame::ScriptStatus(int state, const QString& name, int step, int count) {
    // Redrawn only when something shown changed.
    if (state == scriptState_ && name == scriptName_ && (state != 2 || (step == scriptStep_ && count == scriptCount_)))
        return;
    scriptState_ = state;
    scriptName_ = name;
    scriptStep_ = step;
    scriptCount_ = count;
    if (!scriptText_) return;
    scriptText_->setText(Shell::ScriptStatusText(state, name, step, count));
    if (state == 0) scriptIcon_->clear();
    else scriptIcon_->setPixmap(Lamp(state == 2 ? QColor(40, 170, 60) : QColor(150, 150, 150)));
    UpdateCommandStates();
}
