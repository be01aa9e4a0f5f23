#include "app/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "platform/qt/DialogUnits.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("CAboutDlg");
    setWindowTitle(QStringLiteral("About TKV Extended Header Editor"));
    const DialogUnits du(*this);
    setFixedSize(du.X(250), du.Y(74));
    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap(":/res/app.png"));
    icon->setGeometry(du.Rect(11, 11, 20, 20));
    auto* name = new QLabel(QStringLiteral("Tessarin Header Editor"), this);
    name->setGeometry(du.Rect(35, 10, 84, 8));
    // The template's texts are replaced when the box opens.
    m_pVersion = new QLabel(this);
    m_pVersion->setObjectName("IDC_VERSION");
    m_pVersion->setGeometry(du.Rect(127, 10, 36, 8));
    m_pVersion->setText(QString::fromLatin1(kVersion));
    m_pBuild = new QLabel(this);
    m_pBuild->setObjectName("IDC_BUILD");
    m_pBuild->setGeometry(du.Rect(35, 23, 96, 10));
    m_pBuild->setText(QString::fromLatin1(kBuild));
    auto* notice =
        new QLabel(QStringLiteral("Edits sample headers, never the measured data."), this);
    notice->setGeometry(du.Rect(33, 35, 198, 8));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(du.Rect(193, 53, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
