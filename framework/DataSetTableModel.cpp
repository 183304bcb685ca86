// The table model over a dataset: the row list, cell access through peeks, and the dataset's events.
#include "framework/DataSetTableModel.h"

#include <algorithm>
#include <exception>

TDataSetTableModel::TDataSetTableModel(TDataSet& DataSet, QVector<TGridColumn> Columns, QObject* parent)
    : QAbstractTableModel(parent), TDataLink(DataSet), FColumns(std::move(Columns)) {
    Rebuild();
}

int TDataSetTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(Rows.size());
}

int TDataSetTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(FColumns.size());
}

QVariant TDataSetTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    TField* field = ColumnField(index.column());
    if (!field)
        return {};
    if (role == Qt::TextAlignmentRole) {
        static constexpr TFieldType numbers[] = {ftSmallint, ftInteger, ftWord, ftFloat, ftCurrency};
        const bool number =
            std::find(std::begin(numbers), std::end(numbers), field->DataType()) != std::end(numbers);
        return int(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const TDataSet::TRecordPeek peek(*DataSet(), Rows[size_t(index.row())]);
    if (!peek.Error().isEmpty() && !ReadFailurePending) {
        // Cells are read while they are painted: one report for all of a paint's cells, after the paint.
        ReadFailurePending = true;
        auto* self = const_cast<TDataSetTableModel*>(this);
        QMetaObject::invokeMethod(
            self,
            [self, error = peek.Error()] {
                self->ReadFailurePending = false;
                emit self->readFailed(error);
            },
            Qt::QueuedConnection);
    }
    if (!peek.Found())
        return {};
    return role == Qt::DisplayRole ? QVariant(field->AsString()) : field->AsVariant();
}

QVariant TDataSetTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < FColumns.size())
        return FColumns[section].Title;
    // The row titles are the grid's indicator: a mark at the current row, nothing elsewhere.
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return section == FCurrentRow ? QStringLiteral("\u25B8") : QString();
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TDataSetTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (!index.isValid())
        return result;
    const TField* field = ColumnField(index.column());
    if (field && !FColumns[index.column()].ReadOnly && !field->ReadOnly() && DataSet()->CanModify())
        result |= Qt::ItemIsEditable;
    return result;
}

int TDataSetTableModel::MaxTextLength(int Column) const {
    const TField* field = Column >= 0 && Column < FColumns.size() ? ColumnField(Column) : nullptr;
    return field && field->DataType() == ftString ? field->Size() : 0;
}

bool TDataSetTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable) || !SetCurrentRow(index.row()))
        return false;
    try {
        DataSet()->Edit();
        ColumnField(index.column())->SetAsVariant(value);
        DataSet()->Post();
        return true;
    } catch (const Exception& error) {
        DataSet()->Cancel();
        return Report(error);
    }
}

bool TDataSetTableModel::removeRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || row < 0 || count < 1 || size_t(row) + size_t(count) > Rows.size())
        return false;
    // From the last row up, so that the rows still to go keep their numbers.
    for (int i = row + count - 1; i >= row; --i) {
        if (!SetCurrentRow(i))
            return false;
        try {
            DataSet()->Delete();
        } catch (const Exception& error) {
            return Report(error);
        }
    }
    return true;
}

bool TDataSetTableModel::SetCurrentRow(int Row) {
    if (!DataSet() || Row < 0 || size_t(Row) >= Rows.size())
        return false;
    if (Rows[size_t(Row)] == DataSet()->GetBookmark())
        return true;
    try {
        DataSet()->GotoBookmark(Rows[size_t(Row)]);
        return true;
    } catch (const Exception& error) {
        return Report(error);
    }
}

void TDataSetTableModel::ReRead() {
    if (!DataSet())
        return;
    const TBookmark current = DataSet()->GetBookmark();
    // The close, the open and the return to the record are one change for the links: a data source that
    // loads something per current record loads once, for the record that ends up current.
    DataSet()->DisableControls();
    try {
        DataSet()->Reopen();
        if (current != NoBookmark && DataSet()->BookmarkValid(current))
            DataSet()->GotoBookmark(current);
    } catch (...) {
        // The grid still hears of the change: of the rows as they were when the dataset could not be
        // reopened, of an empty table when it closed.
        DataSet()->EnableControls();
        throw;
    }
    DataSet()->EnableControls();
}

void TDataSetTableModel::DataEvent(TDataEvent Event, TBookmark Info) {
    switch (Event) {
    case deDataSetChange:
        Rebuild();
        break;
    case deDataSetScroll:
        FollowCurrent();
        break;
    case deRecordChange:
        if (FCurrentRow >= 0)
            emit dataChanged(index(FCurrentRow, 0), index(FCurrentRow, columnCount() - 1));
        FollowCurrent();
        break;
    case deRecordAppended:
        if (DataSet()->BookmarkValid(Info)) {
            const auto at = std::lower_bound(Rows.begin(), Rows.end(), Info);
            const int row = int(at - Rows.begin());
            beginInsertRows({}, row, row);
            Rows.insert(at, Info);
            endInsertRows();
        }
        break;
    case deRecordDeleted:
        if (const int row = RowOf(Info); row >= 0) {
            beginRemoveRows({}, row, row);
            Rows.erase(Rows.begin() + row);
            endRemoveRows();
        }
        break;
    }
}

void TDataSetTableModel::Rebuild() {
    beginResetModel();
    std::exception_ptr failure;
    try {
        Rows = DataSet() && DataSet()->Active() ? DataSet()->VisibleBookmarks() : std::vector<TBookmark>();
    } catch (...) {
        // A filter that raises: the reset still completes, showing no row that could not be vouched for.
        Rows.clear();
        failure = std::current_exception();
    }
    endResetModel();
    FCurrentRow = -1;
    FollowCurrent();
    if (failure)
        std::rethrow_exception(failure);
}

void TDataSetTableModel::FollowCurrent() {
    const int row = DataSet() ? RowOf(DataSet()->GetBookmark()) : -1;
    if (row == FCurrentRow)
        return;
    const int previous = FCurrentRow;
    FCurrentRow = row;
    for (const int changed : {previous, row})
        if (changed >= 0 && changed < rowCount())
            emit headerDataChanged(Qt::Vertical, changed, changed);
    emit currentRowChanged(row);
}

int TDataSetTableModel::RowOf(TBookmark Bookmark) const {
    const auto at = std::lower_bound(Rows.begin(), Rows.end(), Bookmark);
    return at != Rows.end() && *at == Bookmark ? int(at - Rows.begin()) : -1;
}

TField* TDataSetTableModel::ColumnField(int Column) const {
    return DataSet() && DataSet()->Active() ? DataSet()->FindField(FColumns[Column].FieldName) : nullptr;
}

bool TDataSetTableModel::Report(const Exception& error) {
    emit errorOccurred(error.message());
    return false;
}
