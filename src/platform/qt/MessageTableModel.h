#pragma once
// A MessageTable as a read-only item model, for the tables that questions show
// (the preview of a folder save) and for the plate sheet's preview pane.

#include <QAbstractTableModel>

#include "platform/UserMessages.h"

class MessageTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit MessageTableModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    void SetTable(MessageTable table);
    const MessageTable& Table() const { return m_table; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    MessageTable m_table;
};
