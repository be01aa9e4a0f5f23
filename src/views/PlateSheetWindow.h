#pragma once
// View, Plate Sheet: a window beside the main one with the sample files of the
// open file's folder as rows and chosen entry paths as columns. Cells take new
// values, typed, pasted from a spreadsheet or read from a sample sheet; the
// Preview pane lists every field the sheet would change; Apply writes them
// through the folder-wide edit's journalled batches (each file only its own
// values), and Undo Last Folder Save takes the newest folder save back.

#include <QMainWindow>
#include <functional>
#include <string>

#include "views/PlateSheetModel.h"

class CTKVEditorDoc;
class MessageTableModel;
class QAction;
class QLabel;
class QTableView;

class CPlateSheetWindow : public QMainWindow {
    Q_OBJECT
  public:
    // `currentPath`: the dotted path of the entry selected in the main window
    // (empty when none), offered first among the columns.
    CPlateSheetWindow(CTKVEditorDoc& doc, std::function<std::string()> currentPath,
                      QWidget* parent = nullptr);

    // Reads the open file's folder again (the document moved to another file,
    // or the files were written).
    void Refresh();
    // Adds the column of the open file's entry at `path` (dotted, UTF-8), typed
    // as that entry. False (and a message) when there is no such value.
    bool AddColumn(const std::string& path);
    // The commands, as the tool bar runs them.
    void ChooseColumn();
    void RemoveColumn();
    void PasteClipboard();
    bool OpenSampleSheet(const std::string& path);
    void ChooseSampleSheet();
    void Apply();
    void Undo();

    PlateSheetModel& Model() { return m_model; }
    MessageTableModel& Preview() { return *m_pPreview; }
    QTableView* Table() const { return m_pTable; }
    QLabel* PreviewLabel() const { return m_pPreviewLabel; }

  private:
    void UpdatePreview();
    // The main window follows what was written.
    void AfterWrite(const FolderEdit::Report& report);

    CTKVEditorDoc& m_doc;
    std::function<std::string()> m_currentPath;
    PlateSheetModel m_model;
    MessageTableModel* m_pPreview = nullptr;
    QTableView* m_pTable = nullptr;
    QLabel* m_pPreviewLabel = nullptr;
    QAction* m_pApply = nullptr;
};
