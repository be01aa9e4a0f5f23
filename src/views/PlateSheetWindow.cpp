#include "views/PlateSheetWindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QProgressDialog>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>
#include <memory>

#include "document/TKVEditorDoc.h"
#include "format/SheetTable.h"
#include "model/HeaderNode.h"
#include "platform/FileError.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/TextCodec.h"
#include "platform/qt/MessageTableModel.h"
#include "views/FolderProgress.h"

namespace {
QString Utf8(const std::string& s) {
    return QString::fromStdString(s);
}
std::string Lines(const std::vector<std::string>& lines, std::size_t most = 20) {
    std::string text;
    for (std::size_t k = 0; k < lines.size() && k < most; ++k) text += "\n" + lines[k];
    if (lines.size() > most) text += "\n... and " + std::to_string(lines.size() - most) + " more";
    return text;
}
}  // namespace

CPlateSheetWindow::CPlateSheetWindow(CTKVEditorDoc& doc, std::function<std::string()> currentPath,
                                     QWidget* parent)
    : QMainWindow(parent, Qt::Window), m_doc(doc), m_currentPath(std::move(currentPath)) {
    setObjectName("PlateSheet");
    setWindowTitle(QStringLiteral("Plate Sheet"));
    auto* bar = addToolBar(QStringLiteral("Plate Sheet"));
    bar->setObjectName("PlateSheetToolBar");
    bar->setMovable(false);
    auto add = [&](const char* name, const QString& text, auto slot) {
        QAction* a = bar->addAction(text);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    add("AddColumn", QStringLiteral("Add &Column..."), [this] { ChooseColumn(); });
    add("RemoveColumn", QStringLiteral("&Remove Column"), [this] { RemoveColumn(); });
    add("OpenSampleSheet", QStringLiteral("Open Sample &Sheet..."),
        [this] { ChooseSampleSheet(); });
    bar->addSeparator();
    m_pApply = add("Apply", QStringLiteral("&Apply"), [this] { Apply(); });
    add("UndoFolderSave", QStringLiteral("&Undo Last Folder Save"), [this] { Undo(); });

    auto* split = new QSplitter(Qt::Vertical, this);
    m_pTable = new QTableView(split);
    m_pTable->setObjectName("PlateSheetTable");
    m_pTable->setModel(&m_model);
    m_pTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pTable->verticalHeader()->setDefaultSectionSize(m_pTable->fontMetrics().height() + 6);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    auto* paste = new QAction(QStringLiteral("&Paste"), m_pTable);
    paste->setObjectName("Paste");
    paste->setShortcut(QKeySequence::Paste);
    paste->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(paste, &QAction::triggered, this, [this] { PasteClipboard(); });
    m_pTable->addAction(paste);

    auto* lower = new QWidget(split);
    auto* layout = new QVBoxLayout(lower);
    layout->setContentsMargins(0, 4, 0, 0);
    m_pPreviewLabel = new QLabel(lower);
    m_pPreviewLabel->setObjectName("PreviewLabel");
    layout->addWidget(m_pPreviewLabel);
    m_pPreview = new MessageTableModel(this);
    auto* preview = new QTableView(lower);
    preview->setObjectName("PreviewTable");
    preview->setModel(m_pPreview);
    preview->setSelectionBehavior(QAbstractItemView::SelectRows);
    preview->verticalHeader()->setDefaultSectionSize(preview->fontMetrics().height() + 6);
    preview->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(preview);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    setCentralWidget(split);

    connect(&m_model, &PlateSheetModel::ChangesChanged, this, [this] { UpdatePreview(); });
    connect(m_pTable->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] {
        // An edit the model refused: its reason, once the editor has closed.
        const std::string error = m_model.TakeLastError();
        if (!error.empty()) m_doc.Messages().Show(error);
    });
    resize(820, 560);
    Refresh();
}

void CPlateSheetWindow::Refresh() {
    const std::string path = m_doc.GetPathName();
    if (path.empty()) {
        setWindowTitle(QStringLiteral("Plate Sheet"));
        return;
    }
    setWindowTitle(QStringLiteral("Plate Sheet - ") + Utf8(FileSystem::FolderOf(path)));
    statusBar()->clearMessage();  // a summary of an earlier Apply no longer holds
    try {
        m_model.Load(path, m_model.Columns());
    } catch (const FileError& e) {
        m_doc.Messages().Show(e.what());
    }
    m_pTable->resizeColumnsToContents();
}

bool CPlateSheetWindow::AddColumn(const std::string& path) {
    SheetImport::Column column;
    column.path = path;
    const HeaderNode* entry = nullptr;
    HeaderTree::Walk(*m_doc.m_pRoot, [&](const HeaderNode& node, std::string_view at) {
        if (entry || node.isList || TextCodec::AnsiToUtf8(at) != path) return;
        entry = &node;
        column.narrow = std::string(at);  // the labels as stored
    });
    if (!entry) {
        m_doc.Messages().Show("The open file has no value at " + path + ".");
        return false;
    }
    for (const auto& c : m_model.Columns())
        if (c.path == path) return true;  // shown already
    column.type = entry->value.GetType();
    auto columns = m_model.Columns();
    columns.push_back(column);
    try {
        m_model.Load(m_doc.GetPathName(), std::move(columns));
    } catch (const FileError& e) {
        m_doc.Messages().Show(e.what());
        return false;
    }
    m_pTable->resizeColumnsToContents();
    return true;
}

void CPlateSheetWindow::ChooseColumn() {
    QStringList paths;
    const std::string current = m_currentPath ? m_currentPath() : std::string();
    HeaderTree::Walk(*m_doc.m_pRoot, [&](const HeaderNode& node, std::string_view at) {
        if (node.isList) return;
        const QString path = Utf8(TextCodec::AnsiToUtf8(at));
        if (TextCodec::AnsiToUtf8(at) == current)
            paths.prepend(path);  // the entry selected in the main window first
        else
            paths.append(path);
    });
    if (paths.isEmpty()) {
        m_doc.Messages().Show("The open file has no values to show as columns.");
        return;
    }
    bool ok = false;
    const QString chosen = QInputDialog::getItem(this, QStringLiteral("Add Column"),
                                                 QStringLiteral("Entry:"), paths, 0, false, &ok);
    if (ok) AddColumn(chosen.toStdString());
}

void CPlateSheetWindow::RemoveColumn() {
    const int column = m_pTable->currentIndex().column();
    if (column < 1) return;
    auto columns = m_model.Columns();
    columns.erase(columns.begin() + (column - 1));
    try {
        m_model.Load(m_doc.GetPathName(), std::move(columns));
    } catch (const FileError& e) {
        m_doc.Messages().Show(e.what());
    }
}

void CPlateSheetWindow::PasteClipboard() {
    const QModelIndex current = m_pTable->currentIndex();
    if (!current.isValid() || current.column() < 1) {
        m_doc.Messages().Show("Choose the cell where the values go first (a value column).");
        return;
    }
    // The block's top left is the selection's; a single value fills every cell selected.
    std::size_t row = static_cast<std::size_t>(current.row());
    std::size_t column = static_cast<std::size_t>(current.column() - 1);
    std::vector<std::pair<std::size_t, std::size_t>> selection;
    for (const QModelIndex& i : m_pTable->selectionModel()->selectedIndexes()) {
        if (i.column() < 1) continue;
        selection.push_back(
            {static_cast<std::size_t>(i.row()), static_cast<std::size_t>(i.column() - 1)});
        row = std::min(row, selection.back().first);
        column = std::min(column, selection.back().second);
    }
    if (selection.empty()) selection.push_back({row, column});
    const std::string text = QApplication::clipboard()->text().toStdString();
    const auto faults = m_model.Paste(text, row, column, selection);
    if (!faults.empty()) m_doc.Messages().Show("Nothing was pasted:" + Lines(faults));
}

bool CPlateSheetWindow::OpenSampleSheet(const std::string& path) {
    const std::string name = FileSystem::DisplayName(path);
    try {
        RandomAccessFile file(path, RandomAccessFile::Mode::Read);
        if (file.Length() > SheetImport::kMaxTextBytes) {
            m_doc.Messages().Show(name + ": larger than " +
                                  std::to_string(SheetImport::kMaxTextBytes >> 20) +
                                  " MB, more than a sample sheet may hold.");
            return false;
        }
        std::string text(static_cast<std::size_t>(file.Length()), '\0');
        if (file.Read(text.data(), text.size()) != text.size())
            throw FileError::FromErrno(path, EIO);
        const auto records = SheetTable::Read(text, SheetTable::SeparatorFor(path));
        const auto faults = m_model.LoadTable(m_doc.GetPathName(), records);
        m_pTable->resizeColumnsToContents();
        if (!faults.empty()) {
            std::vector<std::string> lines;
            for (const auto& f : faults) lines.push_back(f.Text(name));
            m_doc.Messages().Show("These rows and cells of the sample sheet were not taken:" +
                                  Lines(lines));
        }
        return true;
    } catch (const SheetTable::ParseError& e) {
        m_doc.Messages().Show(name + ": row " + std::to_string(e.Row()) + ", column " +
                              std::to_string(e.Column()) + ": " + e.what());
    } catch (const SheetImport::BadHeader& bad) {
        m_doc.Messages().Show(bad.fault.Text(name));
    } catch (const FileError& e) {
        m_doc.Messages().Show(e.what());
    }
    return false;
}

void CPlateSheetWindow::ChooseSampleSheet() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open Sample Sheet"), Utf8(FileSystem::FolderOf(m_doc.GetPathName())),
        QStringLiteral("Sample Sheets (*.csv *.tsv);;All Files (*)"));
    if (!path.isEmpty()) OpenSampleSheet(path.toStdString());
}

void CPlateSheetWindow::UpdatePreview() {
    const auto changes = m_model.Changes();
    m_pPreview->SetTable(FolderSheet::PreviewTable(m_model.Sheet().Preview(changes)));
    m_pPreviewLabel->setText(QStringLiteral("Preview: %1 %2")
                                 .arg(changes.size())
                                 .arg(changes.size() == 1 ? QStringLiteral("field change")
                                                          : QStringLiteral("field changes")));
    m_pApply->setEnabled(!changes.empty());
}

void CPlateSheetWindow::Apply() {
    const auto changes = m_model.Changes();
    if (changes.empty()) return;
    std::unique_ptr<QProgressDialog> progress;
    RewriteOptions options;
    options.undoWhat = "Plate Sheet Apply";
    const auto result = m_model.Sheet().Apply(
        changes, m_doc.Messages(), false,
        [&](std::size_t done, std::size_t total) {
            ShowFolderProgress(progress, this, done, total);
        },
        options);
    progress.reset();
    std::size_t written = 0, failed = 0;
    for (const auto& cell : result.cells)
        (cell.outcome == FolderSheet::CellOutcome::Written ? written : failed) += 1;
    const std::size_t files = result.report.Count(FolderEdit::Outcome::Updated);
    const QString summary = QStringLiteral("Plate sheet: %1 fields written in %2 files, %3 failed")
                                .arg(written)
                                .arg(files)
                                .arg(failed);
    std::vector<std::string> problems = result.report.notices;
    for (const auto& f : result.report.files)
        if (f.outcome == FolderEdit::Outcome::Failed)
            problems.push_back(FileSystem::DisplayName(f.path) + ": " + f.reason);
    m_model.AfterApply(changes, result);
    AfterWrite(result.report);
    statusBar()->showMessage(summary);
    if (auto* frame = qobject_cast<QMainWindow*>(parentWidget()))
        frame->statusBar()->showMessage(summary);
    if (failed > 0 || !problems.empty())
        m_doc.Messages().Show(summary.toStdString() + "." + Lines(problems) +
                              (failed ? "\nThe cells not written stay highlighted in red." : ""));
}

void CPlateSheetWindow::Undo() {
    m_doc.UndoLastFolderSave();  // asks, tells what it did and reads the open file again
    m_model.Reload();
}

void CPlateSheetWindow::AfterWrite(const FolderEdit::Report& report) {
    // When the open file was one of those written, the main window shows it as
    // it is now, unless it holds changes of its own (their Save then warns that
    // another program wrote the file).
    for (const auto& f : report.files)
        if (f.outcome == FolderEdit::Outcome::Updated &&
            FileSystem::SameFile(f.path, m_doc.GetPathName()) && !m_doc.IsModified())
            m_doc.Reload();
}
