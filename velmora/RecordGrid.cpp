// The records grid: indicator header, current-row coupling with the dataset, deletion on Ctrl+Del.
#include "velmora/RecordGrid.h"

#include "framework/ErrorBox.h"
#include "framework/MessageBox.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <utility>

namespace {

// The grid's default column width, as the forms were laid out with.
constexpr int DefaultColumnWidth = 64;
constexpr int IndicatorWidth = 12;
constexpr int CellMargins = 8;
constexpr int TitleMargins = 14;

// Editors that take no more characters than their field holds, so that nothing typed is cut off unseen when
// the record is written.
class TFieldEditors : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        const auto* model = qobject_cast<const TDataSetTableModel*>(index.model());
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (model && line && model->MaxTextLength(index.column()) > 0)
            line->setMaxLength(model->MaxTextLength(index.column()));
        return editor;
    }
};

} // namespace

TRecordGrid::TRecordGrid(QWidget* parent) : QTableView(parent) {
    // The indicator: the narrow row header, whose only title is the model's mark of the current row.
    QHeaderView* indicator = verticalHeader();
    // Fixed sizes only: a grid over a million records must never measure its rows.
    indicator->setSectionResizeMode(QHeaderView::Fixed);
    indicator->setDefaultSectionSize(fontMetrics().height() + 4);
    indicator->setFixedWidth(IndicatorWidth);
    horizontalHeader()->setDefaultSectionSize(DefaultColumnWidth);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setSortIndicatorShown(false);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
    setItemDelegate(new TFieldEditors(this));
    for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()})
        connect(bar, &QAbstractSlider::actionTriggered, this, [this] { ReadFailureReportable = true; });
    // The selection stays as visible when the grid has no focus.
    QPalette colours = palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    setPalette(colours);
}

void TRecordGrid::SetDataModel(TDataSetTableModel* NewModel) {
    Model = NewModel;
    setModel(Model);
    // The widths were laid out for a font with digits 6 pixels wide and cells without padding: they grow
    // with the grid's font and its cell margins, and never cut a title.
    const QFontMetrics text = fontMetrics();
    const QFontMetrics title = horizontalHeader()->fontMetrics();
    const double scale = std::max(1.0, text.horizontalAdvance(u'0') / 6.0);
    const QVector<TGridColumn>& columns = Model->Columns();
    for (int i = 0; i < columns.size(); ++i) {
        const int width = columns[i].Width >= 0 ? columns[i].Width : DefaultColumnWidth;
        horizontalHeader()->resizeSection(i,
                                          std::max(qRound(width * scale) + CellMargins,
                                                   title.horizontalAdvance(columns[i].Title) + TitleMargins));
    }
    connect(Model, &TDataSetTableModel::currentRowChanged, this, &TRecordGrid::FollowModel);
    connect(Model, &TDataSetTableModel::errorOccurred, this, [this](const QString& message) {
        // The box is the one report of what the user did: the repaint after it may meet the same trouble.
        ReadFailureReportable = false;
        ShowError(message, false);
    });
    connect(Model, &TDataSetTableModel::readFailed, this, [this](const QString& message) {
        if (std::exchange(ReadFailureReportable, false))
            ShowError(message, false);
    });
    connect(Model, &QAbstractItemModel::modelReset, this, [this] { ReadFailureReportable = true; });
    FollowModel(Model->CurrentRow());
}

QString TRecordGrid::SelectedFieldName() const {
    const int column = currentIndex().column();
    return Model && column >= 0 ? Model->Columns()[column].FieldName : QString();
}

void TRecordGrid::FollowModel(int Row) {
    const QScopedValueRollback following(Following, true);
    if (Row < 0) {
        setCurrentIndex({});
        return;
    }
    setCurrentIndex(model()->index(Row, std::max(0, currentIndex().column())));
}

void TRecordGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    // The dataset moves first. A record that cannot be reached (its table held by another program) leaves
    // the dataset where it was, and the grid stays there with it: it never scrolls to rows it cannot show,
    // not even while the box says why.
    if (!Following && Model && current.isValid() && current.row() != previous.row() &&
        !Model->SetCurrentRow(current.row())) {
        // Once the view has done with the move, which may still select the cell it moved to.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (Model)
                    FollowModel(Model->CurrentRow());
            },
            Qt::QueuedConnection);
        return;
    }
    QTableView::currentChanged(current, previous);
}

void TRecordGrid::mousePressEvent(QMouseEvent* event) {
    ReadFailureReportable = true;
    QTableView::mousePressEvent(event);
}

void TRecordGrid::wheelEvent(QWheelEvent* event) {
    ReadFailureReportable = true;
    QTableView::wheelEvent(event);
}

void TRecordGrid::keyPressEvent(QKeyEvent* event) {
    ReadFailureReportable = true;
    if (ConfirmDelete && event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
        const int row = Model ? Model->CurrentRow() : -1;
        if (row >= 0 && MessageBox(QStringLiteral("Удалить запись?"), QStringLiteral("Вопрос"),
                                   mtConfirmation, mbYes | mbNo) == mrYes)
            Model->removeRows(row, 1);
        return;
    }
    QTableView::keyPressEvent(event);
}

void TRecordGrid::contextMenuEvent(QContextMenuEvent* event) {
    // The row under the mouse is the one the menu's commands act on. The event comes through the viewport,
    // in its coordinates.
    if (const QModelIndex index = indexAt(event->pos()); index.isValid())
        setCurrentIndex(index);
    if (PopupMenu)
        PopupMenu->exec(event->globalPos());
}
