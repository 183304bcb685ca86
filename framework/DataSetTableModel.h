// The grids' view of a dataset: a Qt table model whose rows are the records the dataset shows (live and
// accepted by its filter) and whose columns are listed fields.
#pragma once

#include "framework/DataSet.h"

#include <QAbstractTableModel>
#include <QVector>

struct TGridColumn {
    QString FieldName;
    QString Title;
    int Width = -1; // pixels; -1 leaves the grid's default
    bool ReadOnly = false;
};

// Rows follow the dataset whatever changes it: an edit posted through a cell, a deletion through a row or
// through the dataset, an append, a refresh. The dataset's current record and CurrentRow stay together.
// Errors never escape into Qt: a refused edit or deletion is reported through errorOccurred.
class TDataSetTableModel : public QAbstractTableModel, private TDataLink {
    Q_OBJECT

public:
    TDataSetTableModel(TDataSet& DataSet, QVector<TGridColumn> Columns, QObject* parent = nullptr);

    const QVector<TGridColumn>& Columns() const { return FColumns; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // The characters a cell of the column can hold: its string field's size, or 0 when it has no such limit.
    int MaxTextLength(int Column) const;
    // Edits the row's record and posts it at once.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    // Deletes the rows' records.
    bool removeRows(int row, int count, const QModelIndex& parent = {}) override;

    // The row of the dataset's current record; -1 when it has none or none shown.
    int CurrentRow() const { return FCurrentRow; }
    // Makes the row's record the current one; false (with errorOccurred) when it cannot be reached.
    bool SetCurrentRow(int Row);
    // Closes and opens the dataset again, so that the table is read anew, and goes back to the record that
    // was current if it still exists. Raises what opening raises; a dataset that knows beforehand that it
    // will not open keeps its rows.
    void ReRead();

signals:
    void currentRowChanged(int row);
    void errorOccurred(const QString& message);
    // A cell's record could not be read (its storage held by another program, a read error); the cell shows
    // nothing. Each cell of a paint may say so, after the paint.
    void readFailed(const QString& message);

private:
    void DataEvent(TDataEvent Event, TBookmark Info) override;
    void Rebuild();
    void FollowCurrent();
    int RowOf(TBookmark Bookmark) const;
    TField* ColumnField(int Column) const;
    bool Report(const Exception& error);

    QVector<TGridColumn> FColumns;
    std::vector<TBookmark> Rows; // in browse order, which is bookmark order
    int FCurrentRow = -1;
    mutable bool ReadFailurePending = false; // a readFailed is on its way
};
