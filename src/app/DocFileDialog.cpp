#include "app/DocFileDialog.h"

#include <QFileInfo>
#include <QFileSystemModel>

CDocFileDialog::CDocFileDialog(QWidget* parent, Mode mode, const QString& start)
    : QFileDialog(parent, mode == Mode::Open ? QStringLiteral("Open") : QStringLiteral("Save As"),
                  start) {
    // The widget dialog: a native one would read the filter name's patterns.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(mode == Mode::Open ? AcceptOpen : AcceptSave);
    setFileMode(mode == Mode::Open ? ExistingFile : AnyFile);
    connect(this, &QFileDialog::filterSelected, this, &CDocFileDialog::ApplyFilter);
    QStringList filters{QString::fromLatin1(kFilterName)};
    if (mode == Mode::Open) filters << QStringLiteral("All Files (*)");
    setNameFilters(filters);
    ApplyFilter(filters.front());
    if (mode == Mode::SaveAs) ProposeName(start);
}

void CDocFileDialog::ProposeName(const QString& start) {
    // Setting the filter made Qt give the proposed name the suffix of the
    // filter's last pattern (".pkv"): the name keeps the document's own
    // extension, and a name typed without one gets ".tkv".
    const QFileInfo info(start);
    if (info.isDir()) return;
    setDefaultSuffix(QStringLiteral("tkv"));
    m_strProposed = info.fileName();
    selectFile(m_strProposed);
}

void CDocFileDialog::showEvent(QShowEvent* event) {
    QFileDialog::showEvent(event);
    // Showing chooses the filter again, and with it the wrong suffix.
    if (!m_strProposed.isEmpty()) selectFile(m_strProposed);
}

QFileSystemModel* CDocFileDialog::FileModel() const {
    return findChild<QFileSystemModel*>();
}

void CDocFileDialog::ApplyFilter(const QString& filter) {
    if (filter != QString::fromLatin1(kFilterName)) return;
    if (QFileSystemModel* model = FileModel())
        model->setNameFilters({QString::fromLatin1(kFilterPattern)});
}

QString CDocFileDialog::Prompt(QWidget* parent, Mode mode, const QString& start) {
    CDocFileDialog dialog(parent, mode, start);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}
