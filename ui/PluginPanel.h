// The sport plug-in's control panel ("Sport Control Center"), laid out at run time
// from the definition's ui section: static, text, variable, button and page
// elements as drawn labels (buttons and pages clickable, flashing or lit in their
// colours), selectors as drop-down lists; F1 to F12 and the keypad's keys trigger
// elements. What an element does is CPluginControl's; the page commands go to the
// document through CPluginPageHost's queue. The data editor edits the plug-in's
// texts, tables and images.
//
// Threads: the user-interface thread (the keypad's reports arrive through its
// event queue).
#pragma once

#include "app/PluginPages.h"
#include "plugin/PluginControl.h"
#include "remote/XKController.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

class QComboBox;
class QTreeWidget;

// One static-kind element.
class CPluginUIStatic : public QLabel {
    Q_OBJECT
public:
    CPluginUIStatic(const CPluginUITemplateElement& element, int elementIndex, QWidget* parent);

    const CPluginUITemplateElement& Element() const { return element_; }
    int ElementIndex() const { return index_; }
    bool Clickable() const { return clickable_; }
    bool Active() const { return active_; }
    // Active: the active colour from now (a button's flash, a page on air).
    void SetActive(bool active);
    // Milliseconds since it became active (0 when inactive).
    qint64 ActiveFor() const { return active_ ? since_.elapsed() : 0; }
    // The colour the background shows now (invalid when transparent).
    QColor Background() const;

    std::function<void(int elementIndex)> clicked;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    const CPluginUITemplateElement& element_;
    const int index_;
    const bool clickable_;
    const bool transparent_;
    bool active_ = false;
    QElapsedTimer since_;
};

class CDlgPlugin : public QDialog, public CPluginPageHost {
    Q_OBJECT
public:
    static constexpr unsigned DialogId = 1176;
    static constexpr int FirstStaticId = 2001;
    static constexpr int FirstSelectorId = 2101;
    static constexpr int MaxControls = 100;  // of each kind

    // keypad: the keypad's transport (null: no keypad). The plug-in and the
    // document outlive the panel.
    CDlgPlugin(CMainDoc& document, CPlugin& plugin, std::unique_ptr<IXKTransport> keypad, QWidget* parent = nullptr);
    ~CDlgPlugin() override;

    CPluginControl& Control() { return control_; }
    // The document's status report for a page (the tick's poll).
    void OnPlaybackStatus(int pageIndex, int playing);
    // The controls by element index (null for another kind).
    CPluginUIStatic* Static(int elementIndex) const;
    QComboBox* Selector(int elementIndex) const;

    // The data editor's dialogs; tests answer instead. Text: the new text, or
    // nothing when cancelled. File: a path, empty when cancelled.
    std::function<std::optional<QString>(const CPluginData& item)> editText;
    std::function<QString(const CPluginData& item, const QString& filter)> chooseFile;
    // Runs the data editor (tests look at it); exec otherwise.
    std::function<void(QDialog& editor)> runDataEditor;

    // IPluginHost (the page commands are CPluginPageHost's).
    void ButtonPressed(int elementIndex) override;
    void RunDataEditor() override;
    void RefreshVariables(const QString& id) override;
    void RefreshElements() override;
    void SetElementActive(int elementIndex, bool active) override;
    void SetKeyLight(int key, int state) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Build();
    void Tick();

    CMainDoc& document_;
    CPlugin& plugin_;
    CPluginControl control_;
    std::map<int, CPluginUIStatic*> statics_;   // by element index; children of the panel
    std::map<int, QComboBox*> selectors_;       // by element index
    bool filling_ = false;                      // set while RefreshElements fills the selectors
    QTimer timer_;
    std::unique_ptr<CXKController> keypad_;
};

// The data editor: one row per data item with its type, name, value and whether
// it is usable; a double click edits the row.
class CDlgPluginDataEditor : public QDialog {
    Q_OBJECT
public:
    static constexpr unsigned DialogId = 1174;
    static constexpr int ControlList = 1079;

    CDlgPluginDataEditor(CDlgPlugin& panel, CPlugin& plugin);
    QTreeWidget& List() const { return *list_; }
    // Edits the row as a double click does.
    void EditRow(int row);

private:
    void Fill();

    CDlgPlugin& panel_;
    CPlugin& plugin_;
    QTreeWidget* list_ = nullptr;
};
