// The viewer's paint box: event forwarding in the order the viewer's selection handling relies on.
#include "image-library/widgets/PicBox.h"

#include "framework/ErrorBox.h"
#include "framework/SystemColors.h"
#include "image-library/widgets/PGImage.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QScopeGuard>

TPicBox::TPicBox(TPGImage* Owner) : QWidget(Owner->viewport()), Owner(Owner) {
    // No background of its own: the viewer paints the picture beneath it.
    setAutoFillBackground(false);
    setMouseTracking(true);
}

TColor TPicBox::GetColor() const {
    return ParentColor ? Owner->GetColor() : Color;
}

void TPicBox::SetColor(TColor Value) {
    Color = Value;
    ParentColor = false;
}

bool TPicBox::GetShowHint() const {
    return ParentShowHint ? ParentShowHintOf(this) : ShowHint;
}

void TPicBox::SetShowHint(bool Value) {
    ShowHint = Value;
    ParentShowHint = false;
}

bool TPicBox::event(QEvent* Event) {
    if (Event->type() == QEvent::ToolTip && !GetShowHint())
        return true;
    bool delivered = true; // only mouse handlers can raise
    CallGuarded([&] { delivered = DeliverMouseEvent(Event, size(), Clicked, *this); });
    return delivered || QWidget::event(Event);
}

void TPicBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setBrush(ColorToQColor(GetColor()));
    Canvas = &painter;
    const auto done = qScopeGuard([this] { Canvas = nullptr; });
    CallGuarded(
        [this] {
            if (ControlPaint)
                ControlPaint(this);
            if (UserPaint)
                UserPaint(this);
        },
        true);
}

void TPicBox::contextMenuEvent(QContextMenuEvent* Event) {
    if (!PopupMenu) {
        Event->ignore(); // the viewer's own menu, if any
        return;
    }
    PopupMenu->popup(Event->globalPos());
}

void TPicBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (ControlMouseDown)
        ControlMouseDown(this, Button, Shift, X, Y);
    if (UserMouseDown)
        UserMouseDown(this, Button, Shift, X, Y);
}

void TPicBox::MouseMove(TShiftState Shift, int X, int Y) {
    if (ControlMouseMove)
        ControlMouseMove(this, Shift, X, Y);
    if (UserMouseMove)
        UserMouseMove(this, Shift, X, Y);
}

void TPicBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (UserMouseUp)
        UserMouseUp(this, Button, Shift, X, Y);
    if (ControlMouseUp)
        ControlMouseUp(this, Button, Shift, X, Y);
}

void TPicBox::Click() {
    if (OnClick)
        OnClick(this);
}

void TPicBox::DblClick() {
    if (OnDblClick)
        OnDblClick(this);
}
