#pragma once
// The About box: the program's name, version and build.

#include <QDialog>

class QLabel;

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr const char* kVersion = "3.1";
    static constexpr const char* kBuild = "(Build 3.1.0204.0400)";

    explicit CAboutDlg(QWidget* parent = nullptr);
    QLabel* Version() const { return m_pVersion; }
    QLabel* Build() const { return m_pBuild; }

  private:
    QLabel* m_pVersion;
    QLabel* m_pBuild;
};
