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
    m_version = new QLabel(this);
    m_version->setObjectName("IDC_VERSION");
    m_version->setGeometry(du.Rect(127, 10, 36, 8));
    m_version->setText(QString::fromLatin1(kVersion));
    m_build = new QLabel(this);
    m_build->setObjectName("IDC_BUILD");
    m_build->setGeometry(du.Rect(35, 23, 96, 10));
    m_build->setText(QString::fromLatin1(kBuild));
    auto* notice =
        new QLabel(QStringLiteral("Edits sample headers, never the measured data."), this);
    notice->setGeometry(du.Rect(33, 35, 198, 8));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(du.Rect(193, 53, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
