// The navigator tree's behaviour: the context node taken at every press, the in-place editing that goes
// through the model, and the level icons.
#pragma once

#include <QIcon>
#include <QPointer>
#include <QStyledItemDelegate>
#include <array>

class QTreeWidgetItem;
class TForm1;

// The icon index of a navigator node: its level (0 picture, 1 infection, 2 probe), or 3 for a standard.
int NodeImageIndex(const QTreeWidgetItem* Node);

// Lives as the delegate of the main window's TreeView1 and watches its viewport.
class TNavigatorTree : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TNavigatorTree(TForm1& Form);

    // ImageList2: the picture, the infection, the sample and the standard.
    const std::array<QIcon, 4>& Icons() const { return ImageList2; }

    QWidget* createEditor(QWidget* Parent, const QStyleOptionViewItem& Option,
                          const QModelIndex& Index) const override;
    // The edited text goes to the form's rename rule, never straight into the node: the node's text is the
    // model's name, which only the model sets.
    void setModelData(QWidget* Editor, QAbstractItemModel* Model, const QModelIndex& Index) const override;
    void destroyEditor(QWidget* Editor, const QModelIndex& Index) const override;
    // Closes an open editor without taking its text.
    void CancelEditing();

protected:
    void initStyleOption(QStyleOptionViewItem* Option, const QModelIndex& Index) const override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    QTreeWidgetItem* Node(const QModelIndex& Index) const;

    TForm1& Form;
    std::array<QIcon, 4> ImageList2;
    mutable QPointer<QWidget> Editor; // the open editor, if any
};
