// TRecordGrid: the records grid over a TDataSetTableModel, as the data-aware grid of the forms behaves:
// an indicator marking the current row, the dataset's current record and the grid's current row kept
// together, editing by F2 or typing in editors that take no more characters than the field holds, and an
// optional Ctrl+Del that asks before it deletes. Records it cannot read are reported once for each thing
// the user does, not for every repaint.
#pragma once

#include "framework/DataSetTableModel.h"

#include <QMenu>
#include <QPointer>
#include <QTableView>

class TRecordGrid : public QTableView {
    Q_OBJECT

public:
    explicit TRecordGrid(QWidget* parent = nullptr);

    // Shows Model with its columns' widths and titles; errors of the model go to the error box.
    void SetDataModel(TDataSetTableModel* Model);
    TDataSetTableModel* DataModel() const { return Model; }
    // Ctrl+Del asks "Удалить запись?" and deletes the current row's record.
    void SetConfirmDelete(bool Value) { ConfirmDelete = Value; }
    // Opens on a right click, after the row under the mouse became current.
    void SetPopupMenu(QMenu* Menu) { PopupMenu = Menu; }
    // The field name of the current column; empty when there is none.
    QString SelectedFieldName() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    void FollowModel(int Row);

    QPointer<TDataSetTableModel> Model; // the forms destroy their models before the grid
    bool ConfirmDelete = false;
    QPointer<QMenu> PopupMenu;
    bool Following = false; // the grid follows the dataset: no move back into it
    // A record that cannot be read is reported only once the user did something since the last report: the
    // repaints that closing the box causes meet the same trouble again.
    bool ReadFailureReportable = true;
};
