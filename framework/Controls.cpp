// Mouse conversion and delivery, hint inheritance, the hourglass, and the placing of windows and dialogs.
#include "framework/Controls.h"

#include <QApplication>
#include <QGridLayout>
#include <QMainWindow>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <QVariant>
#include <QWidget>
#include <QWindow>
#include <algorithm>

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

int TitleBarWidth(const QWidget& Window) {
    QFont font = Window.font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    // An icon, three buttons and the gaps between them take about nine lines' height (measured under
    // openbox, whose title font is also set wider than the program's).
    return metrics.horizontalAdvance(Window.windowTitle()) + 9 * metrics.height();
}

void KeepTitleWhole(QWidget& Window) {
    const int width = TitleBarWidth(Window);
    Window.setMinimumWidth(std::max(Window.minimumWidth(), width));
    // A layout that sizes its window itself (a fixed-size one, a message box's) ignores that minimum: a
    // spacer as wide as the title widens the layout instead.
    QLayout* layout = Window.layout();
    if (!layout)
        return;
    const QMargins margins = layout->contentsMargins();
    auto* spacer = new QSpacerItem(width - margins.left() - margins.right(), 0);
    if (auto* grid = qobject_cast<QGridLayout*>(layout))
        grid->addItem(spacer, grid->rowCount(), 0, 1, grid->columnCount());
    else if (auto* column = qobject_cast<QVBoxLayout*>(layout))
        column->addSpacerItem(spacer);
    else
        delete spacer;
}

void CenterOnScreen(QWidget& Window) {
    if (const QScreen* screen = Window.screen())
        Window.move(screen->availableGeometry().center() - Window.rect().center());
}

QWidget* DialogOwner() {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(window) && window->isVisible())
            return window;
    return nullptr;
}

void PlaceInside(QWidget& Window, const QWidget& Area) {
    if (Window.testAttribute(Qt::WA_Moved))
        return;
    const QRect area(Area.mapToGlobal(QPoint(0, 0)), Area.size());
    // move() places the frame; its width is known once the window has been shown.
    const QMargins frame = Window.windowHandle() ? Window.windowHandle()->frameMargins() : QMargins();
    const QSize size = Window.size().grownBy(frame);
    // A window wider or taller than the area keeps its left and top edges inside it.
    Window.move(std::max(area.left(), area.right() + 1 - size.width()), area.top());
}
