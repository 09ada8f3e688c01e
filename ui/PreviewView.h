// The preview pane: a child window, centred on a button-shadow background at the
// page's shape, that the render engine draws into while the preview is on.
//
// Threads: the user-interface thread (the render thread draws into the window
// through its own context; it never touches this widget).
#pragma once

#include <QWidget>
#include <functional>

class QWindow;

class CPreView : public QWidget {
    Q_OBJECT
public:
    // modeIndex: the page's video mode, asked at each layout (it changes with the page).
    CPreView(std::function<int()> modeIndex, QWidget* parent = nullptr);
    ~CPreView() override;

    // The window for a preview engine, shown and placed; it stays while the pane lives.
    QWindow* Window();
    // The preview ended: the pane shows its background alone.
    void Release();
    bool WindowShown() const;
    // Where the window is in the pane.
    QRect ChildRect() const;
    // Places the window again (after the pane or the mode changed).
    void Relayout();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::function<int()> modeIndex_;
    QWindow* window_ = nullptr;      // owned by container_
    QWidget* container_ = nullptr;
};
