// TPicBox: the paint box inside the viewer. It marks where the picture lies (the viewer draws the picture
// underneath it) and passes mouse and paint events first or last to the viewer, around the user's handlers.
#pragma once

#include "framework/Colors.h"
#include "framework/Controls.h"
#include "image-library/PGTypes.h"

#include <QCursor>
#include <QPointer>
#include <QWidget>

class QMenu;
class TPGImage;

class TPicBox : public QWidget, public TObject, private TMouseReceiver {
    Q_OBJECT

public:
    // A child of Owner's viewport, so it scrolls with it; only Owner's Arrange places it.
    explicit TPicBox(TPGImage* Owner);

    // The eight forwarding fields, a user and a viewer handler per event. Down, move and paint call the
    // viewer first, so the user sees the viewer's new state; up calls the user first, before the viewer
    // ends its drag.
    TMouseEvent UserMouseDown;
    TMouseEvent ControlMouseDown;
    TMouseMoveEvent UserMouseMove;
    TMouseMoveEvent ControlMouseMove;
    TMouseEvent UserMouseUp;
    TMouseEvent ControlMouseUp;
    TNotifyEvent UserPaint;
    TNotifyEvent ControlPaint;

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TDragDropEvent OnDragDrop;
    TDragOverEvent OnDragOver;
    TEndDragEvent OnEndDrag;
    TStartDragEvent OnStartDrag;

    // The box's own cursor; the viewer shows others over it while it works with the selection.
    QCursor Cursor;
    QCursor DragCursor;
    TDragMode DragMode = dmManual;
    int Tag = 0;

    // With ParentColor (the default) the box has the viewer's Color; setting a colour ends that.
    TColor GetColor() const;
    void SetColor(TColor Value);
    bool GetParentColor() const { return ParentColor; }
    void SetParentColor(bool Value) { ParentColor = Value; }
    // The hint is the tool tip; ShowHint decides whether it shows, taken from the viewer with ParentShowHint.
    bool GetShowHint() const;
    void SetShowHint(bool Value);
    bool GetParentShowHint() const { return ParentShowHint; }
    void SetParentShowHint(bool Value) { ParentShowHint = Value; }
    QMenu* GetPopupMenu() const { return PopupMenu; }
    void SetPopupMenu(QMenu* Value) { PopupMenu = Value; }
    // The painter of the running paint, null outside a paint.
    QPainter* GetCanvas() const { return Canvas; }

protected:
    bool event(QEvent* Event) override;
    void paintEvent(QPaintEvent* Event) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;

private:
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void Click() override;
    void DblClick() override;

    TPGImage* Owner;
    TColor Color = 0;
    bool ParentColor = true;
    bool ShowHint = false;
    bool ParentShowHint = true;
    bool Clicked = false;
    QPointer<QMenu> PopupMenu;
    QPainter* Canvas = nullptr;
};
