#include "views/FolderProgress.h"

#include "res/Resource.h"

void ShowFolderProgress(std::unique_ptr<QProgressDialog>& dialog, QWidget* parent,
                        std::size_t done, std::size_t total) {
    if (!dialog) {
        dialog = std::make_unique<QProgressDialog>(
            QStringLiteral("Writing the samples of the folder..."), QString(), 0,
            static_cast<int>(total), parent);
        dialog->setWindowTitle(QString::fromLatin1(IDS_APP_TITLE));
        dialog->setWindowModality(Qt::WindowModal);
        dialog->setMinimumDuration(0);
        dialog->setAutoClose(false);
    }
    dialog->setLabelText(QStringLiteral("%1 of %2 files done").arg(done).arg(total));
    dialog->setValue(static_cast<int>(done));
}
