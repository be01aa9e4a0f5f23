#pragma once
// The Open and Save As dialogs of sample files. The filter shows the document
// type's filter name, "TKV/PKV Files (*.tkv;*.pkv)", and matches its extension
// pattern, "*.?kv": Qt reads the patterns inside the parentheses of a filter
// name (separated by blanks, so "*.tkv;*.pkv" would match nothing), and the
// dialog's file model gets the pattern instead each time that filter is chosen.

#include <QFileDialog>

class QFileSystemModel;

class CDocFileDialog : public QFileDialog {
    Q_OBJECT
  public:
    static constexpr const char* kFilterName = "TKV/PKV Files (*.tkv;*.pkv)";
    static constexpr const char* kFilterPattern = "*.?kv";

    enum class Mode { Open, SaveAs };
    CDocFileDialog(QWidget* parent, Mode mode, const QString& start);

    // Runs the dialog; the chosen file, or "" when it was cancelled. For Save As,
    // `start` is the name proposed (with its folder), or a folder.
    static QString Prompt(QWidget* parent, Mode mode, const QString& start);
    QFileSystemModel* FileModel() const;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void ApplyFilter(const QString& filter);
    void ProposeName(const QString& start);

    QString m_strProposed;  // the name proposed by Save As
};
