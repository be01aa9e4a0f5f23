#pragma once
// Command routing: every command id is one action of the main frame; triggering
// it goes to the active pane first, then to the frame and the application. Before
// a menu opens, after each command and on the status bar's tick, each target's
// update handler decides whether a command is enabled (and checked).

class CCmdUI {
  public:
    explicit CCmdUI(int id) : m_nID(id) {}
    int ID() const { return m_nID; }
    void Enable(bool on = true) {
        m_bEnabled = on;
        m_bHandled = true;
    }
    void SetCheck(bool on = true) { m_bChecked = on; }
    bool IsEnabled() const { return m_bEnabled; }
    bool IsChecked() const { return m_bChecked; }
    bool Handled() const { return m_bHandled; }

  private:
    int m_nID;
    bool m_bEnabled = false;
    bool m_bChecked = false;
    bool m_bHandled = false;
};

class CommandTarget {
  public:
    virtual ~CommandTarget() = default;
    // Runs the command; false when this target does not handle it.
    virtual bool OnCommand(int id) = 0;
    // Fills in the command's state; false when this target does not handle it.
    virtual bool OnUpdateCommand(CCmdUI& ui) = 0;
};
