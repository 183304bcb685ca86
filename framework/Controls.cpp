// Mouse conversion and delivery, hint inheritance, the hourglass, and the placing of windows and dialogs.
#include "framework/Controls.h"

#include "framework/WorkerEvents.h"

#include <QApplication>
#include <QGridLayout>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>
#include <QVariant>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <vector>

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

void PlaceInside(QWidget& Window, const QRect& Area, const QRect& Spare) {
    if (Window.testAttribute(Qt::WA_Moved))
        return;
    // move() places the frame. Until the window system has framed the window, its frame is taken to be as
    // wide as that of the window holding the area.
    const QWindow* framed = Window.windowHandle() && Window.isVisible() ? Window.windowHandle() : nullptr;
    if (!framed)
        framed = Window.parentWidget() ? Window.parentWidget()->window()->windowHandle() : nullptr;
    const QMargins frame = framed ? framed->frameMargins() : QMargins();
    const QSize size = Window.size().grownBy(frame);
    // A window wider or taller than the area keeps its left and top edges inside it.
    const int right = std::max(Area.left(), Area.right() + 1 - size.width());
    const int bottom = std::max(Area.top(), Area.bottom() + 1 - size.height());
    const QPoint corners[] = {
        {right, Area.top()}, {Area.left(), Area.top()}, {right, bottom}, {Area.left(), bottom}};
    const auto covered = [&](QPoint Corner) {
        const QRect common = QRect(Corner, size).intersected(Spare);
        return qint64(common.width()) * common.height();
    };
    Window.move(*std::min_element(std::begin(corners), std::end(corners),
                                  [&](QPoint A, QPoint B) { return covered(A) < covered(B); }));
}

void PlaceInside(QWidget& Window, const QWidget& Area, const QRect& Spare) {
    PlaceInside(Window, ScreenRect(Area), Spare);
}

QRect ScreenRect(const QWidget& Widget) {
    return QRect(Widget.mapToGlobal(QPoint(0, 0)), Widget.size());
}

namespace {

// Watches every window of the application: a modal dialog or box that opens notes the window the user works
// in and its focus, and gives both back when it closes. Without this the window system activates the box's
// owner, the main window, and the keys the user types next go nowhere.
class TActivationKeeper : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        WorkerEventReceived(Event);
        switch (Event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::KeyPress:
            if (auto* widget = qobject_cast<QWidget*>(Watched))
                Working = widget->window();
            return false;
        case QEvent::WindowActivate:
            // Sent to every window that counts as active, a floating window's owner too: the one the window
            // system activated is the application's.
            Working = QApplication::activeWindow();
            return false;
        case QEvent::Show:
        case QEvent::Hide:
            break;
        default:
            return false;
        }
        auto* window = qobject_cast<QWidget*>(Watched);
        if (!window || !window->isWindow() || !window->isModal())
            return false;
        if (Event->type() == QEvent::Show) {
            QWidget* user = WorkingWindow();
            if (user != window)
                Opened.push_back({window, user, user ? user->focusWidget() : nullptr});
            return false;
        }
        const auto found = std::find_if(Opened.rbegin(), Opened.rend(),
                                        [window](const TOpened& o) { return o.Dialog == window; });
        if (found == Opened.rend())
            return false;
        const TOpened opened = *found;
        Opened.erase(std::next(found).base());
        std::erase_if(Opened, [](const TOpened& o) { return !o.Dialog; });
        Restore(opened);
        return false;
    }

private:
    struct TOpened {
        QPointer<QWidget> Dialog;
        QPointer<QWidget> Active; // the window the user worked in when the dialog opened
        QPointer<QWidget> Focus;  // its focus widget then
    };

    // The window that took the last press or key, or that the window system activated after it. A click
    // into a window that is not active (the entry form, after a click into a picture) activates it only
    // once the window system's answer comes, which may be after the click has opened its box: the window
    // active then is the one the user has just left. A menu's popup has gone by the time its command runs,
    // and the window active then is the menu's own.
    QWidget* WorkingWindow() const {
        if (Working && Working->isVisible())
            return Working;
        return QApplication::activeWindow();
    }

    static void Restore(const TOpened& Opened) {
        QWidget* active = Opened.Active;
        if (!active || !active->isVisible() || !active->isEnabled())
            return;
        // The focus goes back first; the activation then runs the window's own activation handler, which
        // may put the focus elsewhere, as the entry form puts it on the probe's name.
        if (Opened.Focus && Opened.Focus->window() == active && Opened.Focus->isVisible())
            Opened.Focus->setFocus(Qt::ActiveWindowFocusReason);
        active->activateWindow();
    }

    std::vector<TOpened> Opened; // the dialogs open now, innermost last
    QPointer<QWidget> Working;
};

// A window of a kind the window manager frames and gives buttons: a window, a dialog or a tool window.
bool FramedWindow(Qt::WindowFlags Flags) {
    const auto type = Qt::WindowType(int(Flags & Qt::WindowType_Mask));
    return type == Qt::Window || type == Qt::Dialog || type == Qt::Tool;
}

// Takes the minimise and maximise buttons from every window as it is shown (see KeptWindowFlags).
class TBorderIconRule : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        WorkerEventReceived(Event);
        if (Event->type() != QEvent::Show)
            return false;
        auto* window = qobject_cast<QWidget*>(Watched);
        if (!window || !window->isWindow() || qobject_cast<QMainWindow*>(window) ||
            !FramedWindow(window->windowFlags()))
            return false;
        // Shown but not yet mapped: the window system learns all this before it shows the window.
        const Qt::WindowFlags flags = KeptWindowFlags(window->windowFlags(), window->windowState());
        if (flags != window->windowFlags()) {
            window->overrideWindowFlags(flags);
            if (QWindow* handle = window->windowHandle())
                handle->setFlags(flags);
        }
        // Some window managers (openbox) offer minimising for every kind of window but toolbars and menus,
        // whatever the window's flags ask. Announced first as a toolbar, and then as what it is, the window
        // is offered neither minimising nor maximising there either; a maximised one would lose its state.
        // Only X11 knows the attribute.
        if (!(window->windowState() & Qt::WindowMaximized))
            window->setAttribute(Qt::WA_X11NetWmWindowTypeToolBar);
        return false;
    }
};

void InstallWindowRules() {
    QCoreApplication* application = QCoreApplication::instance();
    application->installEventFilter(new TActivationKeeper(application));
    application->installEventFilter(new TBorderIconRule(application));
}

} // namespace

Qt::WindowFlags KeptWindowFlags(Qt::WindowFlags Flags, Qt::WindowStates State) {
    if (!FramedWindow(Flags))
        return Flags;
    // Without the customising hint the window system gives a window every button; with it, only those named.
    if (!(Flags & Qt::CustomizeWindowHint))
        Flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint;
    Flags &= ~Qt::WindowMinMaxButtonsHint;
    // A window that opens maximised has the button that gives it its restored size and back.
    if (State & Qt::WindowMaximized)
        Flags |= Qt::WindowMaximizeButtonHint;
    return Flags;
}

// Every program and test application gets these rules as soon as its application exists.
Q_COREAPP_STARTUP_FUNCTION(InstallWindowRules)
