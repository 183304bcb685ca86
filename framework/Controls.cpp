// Mouse conversion and delivery, hint inheritance and the hourglass.
#include "framework/Controls.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QVariant>
#include <QWidget>

TMouseButton MouseButtonOf(const QMouseEvent& Event) {
    switch (Event.button()) {
    case Qt::RightButton:
        return mbRight;
    case Qt::MiddleButton:
        return mbMiddle;
    default:
        return mbLeft;
    }
}

TShiftState ShiftStateOf(const QInputEvent& Event) {
    TShiftState shift = 0;
    const Qt::KeyboardModifiers keys = Event.modifiers();
    if (keys & Qt::ShiftModifier)
        shift |= ssShift;
    if (keys & Qt::AltModifier)
        shift |= ssAlt;
    if (keys & Qt::ControlModifier)
        shift |= ssCtrl;
    if (Event.isPointerEvent()) {
        const auto& mouse = static_cast<const QSinglePointEvent&>(Event);
        if (mouse.buttons() & Qt::LeftButton)
            shift |= ssLeft;
        if (mouse.buttons() & Qt::RightButton)
            shift |= ssRight;
        if (mouse.buttons() & Qt::MiddleButton)
            shift |= ssMiddle;
    }
    return shift;
}

bool DeliverMouseEvent(QEvent* Event, const QSize& ClientSize, bool& Clicked, TMouseReceiver& Receiver) {
    switch (Event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
        break;
    default:
        return false;
    }
    const auto& mouse = static_cast<const QMouseEvent&>(*Event);
    const QPoint p = mouse.position().toPoint();
    const TShiftState shift = ShiftStateOf(mouse);
    switch (Event->type()) {
    case QEvent::MouseButtonPress:
        Clicked = mouse.button() == Qt::LeftButton;
        Receiver.MouseDown(MouseButtonOf(mouse), shift, p.x(), p.y());
        break;
    case QEvent::MouseButtonDblClick:
        // Qt has reported the second press already.
        Clicked = false;
        if (mouse.button() == Qt::LeftButton)
            Receiver.DblClick();
        break;
    case QEvent::MouseMove:
        Receiver.MouseMove(shift, p.x(), p.y());
        break;
    default:
        if (mouse.button() == Qt::LeftButton && Clicked) {
            Clicked = false;
            if (QRect(QPoint(0, 0), ClientSize).contains(p))
                Receiver.Click();
        }
        Receiver.MouseUp(MouseButtonOf(mouse), shift, p.x(), p.y());
        break;
    }
    return true;
}

bool ParentShowHintOf(const QWidget* Control) {
    for (const QWidget* w = Control->parentWidget(); w; w = w->parentWidget()) {
        const QVariant showHint = w->property("ShowHint");
        if (showHint.isValid())
            return showHint.toBool();
    }
    return true;
}

void ReleaseForm(QWidget& Form) {
    Form.hide();
    for (QObject* control : Form.findChildren<QObject*>())
        control->disconnect(&Form);
}

TWaitCursor::TWaitCursor(bool Show) : Shown(Show) {
    if (Shown)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

TWaitCursor::~TWaitCursor() {
    if (Shown)
        QGuiApplication::restoreOverrideCursor();
}

void CenterOnScreen(QWidget& Window) {
    if (const QScreen* screen = Window.screen())
        Window.move(screen->availableGeometry().center() - Window.rect().center());
}
