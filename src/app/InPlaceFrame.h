#pragma once
// The frame of an in-place activation: the in-place menu and tool bar, a resize
// bar, and a drop target that takes nothing (so that drops do not fall through to
// the container). The main frame hands it the splitter with both views and takes
// it back when the activation ends.

#include <QPointer>
#include <QWidget>

class CommandSet;
class QMenuBar;
class QSizeGrip;
class QToolBar;
class QVBoxLayout;

class CInPlaceFrame : public QWidget {
    Q_OBJECT
  public:
    explicit CInPlaceFrame(CommandSet& commands, QWidget* parent = nullptr);
    int OnCreate();
    // The container's frame gets the tool bar (here: the frame's own top).
    bool OnCreateControlBars(QWidget* pWndFrame);

    void SetClient(QWidget* client);
    QWidget* TakeClient();
    QWidget* Client() const { return m_pClient; }
    QMenuBar* MenuBar() const { return m_pMenuBar; }
    QToolBar* ToolBar() const { return m_wndToolBar; }
    QSizeGrip* ResizeBar() const { return m_wndResizeBar; }

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;

  private:
    CommandSet& m_commands;
    QToolBar* m_wndToolBar = nullptr;
    QSizeGrip* m_wndResizeBar = nullptr;
    QMenuBar* m_pMenuBar = nullptr;
    QVBoxLayout* m_pLayout = nullptr;
    QPointer<QWidget> m_pClient;
};
