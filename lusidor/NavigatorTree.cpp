// The navigator: its delegate and press watcher, and the main window's handlers of its events and of its
// context menu (select, rename, delete, reload).
#include "NavigatorTree.h"

#include "EntrP.h"
#include "Main.h"
#include "PicForm.h"
#include "framework/ErrorBox.h"
#include "framework/MessageBox.h"

#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

// The four node icons, drawn here: a framed picture, a dish of culture, a sample tube, a standard's tube.
QIcon DrawIcon(int Index) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    switch (Index) {
    case 0:
        painter.setBrush(QColor(150, 200, 240));
        painter.drawRect(QRectF(1.5, 2.5, 13, 11));
        painter.setBrush(QColor(60, 140, 60));
        painter.drawPolygon(
            QPolygonF({QPointF(2, 13), QPointF(6, 7), QPointF(9, 10), QPointF(11, 8), QPointF(14, 13)}));
        break;
    case 1:
        painter.setBrush(QColor(235, 225, 190));
        painter.drawEllipse(QRectF(1.5, 3.5, 13, 9));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(170, 40, 40));
        for (const QPointF& dot : {QPointF(5, 7), QPointF(9, 6), QPointF(11, 9), QPointF(7, 10)})
            painter.drawEllipse(dot, 1.2, 1.2);
        break;
    default: {
        const bool standard = Index == 3;
        QPainterPath tube;
        tube.moveTo(5.5, 1.5);
        tube.lineTo(5.5, 11.5);
        tube.arcTo(QRectF(5.5, 9.5, 5, 5), 180, 180);
        tube.lineTo(10.5, 1.5);
        painter.setBrush(Qt::white);
        painter.drawPath(tube);
        painter.setBrush(standard ? QColor(230, 180, 20) : QColor(60, 110, 220));
        painter.drawPath(tube.intersected(QPainterPath([] {
            QPainterPath lower;
            lower.addRect(QRectF(0, 7, 16, 9));
            return lower;
        }())));
        if (standard) {
            painter.setBrush(QColor(230, 180, 20));
            painter.drawEllipse(QPointF(13, 3), 2.2, 2.2);
        }
        break;
    }
    }
    return QIcon(pixmap);
}

int NodeLevel(const QTreeWidgetItem* Node) {
    const auto* item = dynamic_cast<const TNodeItem*>(Node);
    return item ? item->Level() : -1;
}

bool Confirmed(const QString& Question) {
    return MessageBox(Question, "Вопрос", mtConfirmation, mbOK | mbCancel) == mrOk;
}

} // namespace

// Read from the node alone: the tree also asks while a node is being deleted, when its model object is going.
// A probe node's text is its probe's name.
int NodeImageIndex(const QTreeWidgetItem* Node) {
    const int level = NodeLevel(Node);
    if (level == 2 && TProbe::IsStandardName(Node->text(0)))
        return 3;
    return std::max(level, 0);
}

TNavigatorTree::TNavigatorTree(TForm1& Form) : QStyledItemDelegate(Form.TreeView1), Form(Form) {
    for (int index = 0; index < int(ImageList2.size()); ++index)
        ImageList2[size_t(index)] = DrawIcon(index);
    QTreeWidget* tree = Form.TreeView1;
    tree->setItemDelegate(this);
    tree->setIconSize(QSize(16, 16));
    Viewport = tree->viewport();
    tree->viewport()->installEventFilter(this);
    // Whether a node may be edited is asked when the editor is made; the flag only lets Qt ask.
    connect(tree->model(), &QAbstractItemModel::rowsInserted, this,
            [tree](const QModelIndex& Parent, int First, int Last) {
                for (int row = First; row <= Last; ++row)
                    if (QTreeWidgetItem* item = tree->itemFromIndex(tree->model()->index(row, 0, Parent)))
                        item->setFlags(item->flags() | Qt::ItemIsEditable);
            });
    connect(tree, &QTreeWidget::customContextMenuRequested, this, [this, tree](const QPoint& Pos) {
        CallGuarded([&] { this->Form.ShowPopupMenu1(tree->viewport()->mapToGlobal(Pos)); });
    });
    connect(tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* Current) { CallGuarded([&] { this->Form.TreeView1Change(Current); }); });
}

QTreeWidgetItem* TNavigatorTree::Node(const QModelIndex& Index) const {
    return Form.TreeView1->itemFromIndex(Index);
}

// The delegate's own filter serves its editors; the viewport is watched only for presses.
bool TNavigatorTree::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched != Viewport)
        return QStyledItemDelegate::eventFilter(Watched, Event);
    if (Event->type() != QEvent::MouseButtonPress && Event->type() != QEvent::MouseButtonDblClick)
        return false;
    const auto* press = static_cast<QMouseEvent*>(Event);
    Form.ContextNode = Form.TreeView1->itemAt(press->position().toPoint());
    // The left and the right button select, so that the context menu acts on the node the user sees
    // highlighted, with its window and the entry form following as for any selection.
    return press->button() != Qt::LeftButton && press->button() != Qt::RightButton;
}

QWidget* TNavigatorTree::createEditor(QWidget* Parent, const QStyleOptionViewItem& Option,
                                      const QModelIndex& Index) const {
    if (!Form.TreeView1Editing(Node(Index)))
        return nullptr;
    Editor = QStyledItemDelegate::createEditor(Parent, Option, Index);
    return Editor;
}

void TNavigatorTree::destroyEditor(QWidget* Editor_, const QModelIndex& Index) const {
    if (Editor_ == Editor)
        Editor = nullptr;
    QStyledItemDelegate::destroyEditor(Editor_, Index);
}

void TNavigatorTree::CancelEditing() {
    if (Editor)
        emit closeEditor(Editor, NoHint);
}

void TNavigatorTree::setModelData(QWidget* Editor, QAbstractItemModel*, const QModelIndex& Index) const {
    const auto* edit = qobject_cast<QLineEdit*>(Editor);
    QTreeWidgetItem* node = Node(Index);
    if (edit && node)
        CallGuarded([&] { Form.TreeView1Edited(node, edit->text()); });
}

void TNavigatorTree::initStyleOption(QStyleOptionViewItem* Option, const QModelIndex& Index) const {
    QStyledItemDelegate::initStyleOption(Option, Index);
    if (QTreeWidgetItem* node = Node(Index)) {
        Option->icon = ImageList2[size_t(NodeImageIndex(node))];
        Option->features |= QStyleOptionViewItem::HasDecoration;
        Option->decorationSize = QSize(16, 16);
    }
}

// ---- the main window's navigator handlers

void TForm1::NodeDestroyed(QTreeWidgetItem* Node) {
    // An open editor would commit into the going node when the tree moves its current node away.
    if (auto* navigator = qobject_cast<TNavigatorTree*>(TreeView1->itemDelegate()))
        navigator->CancelEditing();
    for (QTreeWidgetItem* item = ContextNode; item; item = item->parent())
        if (item == Node) {
            ContextNode = nullptr;
            return;
        }
}

void TForm1::PopupMenu1Popup() {
    for (QAction* item : PopupMenu1->actions())
        item->setVisible(false);
    if (!ContextNode)
        return;
    QList<QAction*> shown;
    switch (NodeLevel(ContextNode)) {
    case 0:
        shown = {N53, N54, N52};
        break;
    case 1:
        shown = {N52, N35};
        break;
    case 2:
        shown = {N52, N35, N55, N56};
        break;
    }
    for (QAction* item : shown)
        item->setVisible(true);
}

void TForm1::ShowPopupMenu1(const QPoint& Pos) {
    PopupMenu1Popup();
    const QList<QAction*> items = PopupMenu1->actions();
    if (std::none_of(items.begin(), items.end(), [](QAction* item) { return item->isVisible(); }))
        return;
    // Right-aligned: the menu's right edge at the pointer.
    PopupMenu1->popup(Pos - QPoint(PopupMenu1->sizeHint().width(), 0));
}

void TForm1::N53Click() {
    if (TPict* pict = PictOfNode(ContextNode))
        pict->Reopen();
}

void TForm1::N25Click() {
    if (TPict* pict = PictOfNode(TreeView1->currentItem()))
        pict->Reopen();
}

void TForm1::N52Click() {
    TObject* data = NodeData(ContextNode);
    if (auto* pict = dynamic_cast<TPict*>(data)) {
        if (Confirmed("Закрыть изображение и удалить его из базы?"))
            Base->Delete(pict);
    } else if (auto* infection = dynamic_cast<TInfection*>(data)) {
        if (Confirmed("Удалить инфекцию из базы?"))
            infection->Pict->Delete(infection);
    } else if (auto* probe = dynamic_cast<TProbe*>(data)) {
        if (Confirmed("Удалить пробу из базы?"))
            probe->Infection->Delete(probe);
    }
}

void TForm1::N35Click() {
    if (ContextNode && TreeView1Editing(ContextNode))
        TreeView1->editItem(ContextNode);
}

bool TForm1::TreeView1Editing(const QTreeWidgetItem* Node) const {
    const int level = NodeLevel(Node);
    return level == 1 || level == 2;
}

void TForm1::TreeView1Edited(QTreeWidgetItem* Node, QString Text) {
    // The editor never writes the node: an empty or refused name leaves the node showing the model's name.
    Text = Text.trimmed();
    if (Text.isEmpty())
        return;
    TObject* data = NodeData(Node);
    if (auto* infection = dynamic_cast<TInfection*>(data)) {
        infection->SetName(Text);
        if (auto* entry = qobject_cast<TForm2*>(EntryForm))
            entry->OfferInfection(Text);
    } else if (auto* probe = dynamic_cast<TProbe*>(data)) {
        if (probe->Infection->IndexOfProbe(Text) == -1)
            probe->SetName(Text);
        else if (Text != probe->Name)
            MessageBox(DuplicateProbeNameText, "Предупреждение", mtWarning, mbOK);
    }
}

void TForm1::TreeView1Change(QTreeWidgetItem* Node) {
    if (Node) {
        TPict* pict = PictOfNode(Node);
        TPictForm* window = pict && Mode != CameraMode ? pict->Form.data() : nullptr;
        if (window) {
            ShowChild(window->SubWindow());
            if (NodeLevel(Node) < 2)
                window->PGImage1->SetSelection(false);
        }
        auto* probe = dynamic_cast<TProbe*>(NodeData(Node));
        auto* entry = qobject_cast<TForm2*>(EntryForm);
        if (probe && Mode == SpecialMode && entry && !entry->Adding) {
            entry->ProbaEdit->setText(probe->Name);
            entry->InfectBox->setCurrentText(probe->Infection->Name);
            entry->PostavBox->setCurrentText(probe->Supplier);
            entry->BolnEdit->setText(probe->Patient);
            entry->PrimEdit->setText(probe->Note);
            entry->ValueEdit->setText(QString::number(probe->Value));
            Panel7->setText(QString::number(probe->Luminosity));
            if (window) {
                window->PGImage1->SetSelectionRect(probe->Rect);
                window->PGImage1->SetSelection(true);
            }
        }
    }
    ShowProbeProperties(Node);
}
