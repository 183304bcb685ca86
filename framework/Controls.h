// What the system's controls share on top of Qt's widgets: mouse buttons and shift states in the system's
// terms, the mouse and drag event types, the delivery of Qt's mouse events to them, hints that follow the
// parent, the hourglass, and where the programs' windows and dialogs open and what they stay above.
#pragma once

#include "framework/Object.h"

#include <QObject>
#include <QRect>
#include <Qt>
#include <functional>

class QEvent;
class QInputEvent;
class QMouseEvent;
class QSize;
class QWidget;

namespace ControlTypes {
Q_NAMESPACE
// Dragging between controls is stored for the forms but never started: no form of the system uses it.
enum TDragMode { dmManual, dmAutomatic };
Q_ENUM_NS(TDragMode)
} // namespace ControlTypes
using ControlTypes::TDragMode;
using enum ControlTypes::TDragMode;

enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32 };
using TShiftState = unsigned;

TMouseButton MouseButtonOf(const QMouseEvent& Event);
// Keys held and buttons down.
TShiftState ShiftStateOf(const QInputEvent& Event);

enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };

using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TDragDropEvent = std::function<void(TObject* Sender, TObject* Source, int X, int Y)>;
using TDragOverEvent =
    std::function<void(TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept)>;
using TEndDragEvent = std::function<void(TObject* Sender, TObject* Target, int X, int Y)>;
using TStartDragEvent = std::function<void(TObject* Sender, TObject*& DragObject)>;

// The mouse calls of a control in the system's order. Coordinates are the control's client pixels.
class TMouseReceiver {
public:
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) = 0;
    virtual void MouseMove(TShiftState Shift, int X, int Y) = 0;
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) = 0;
    virtual void Click() = 0;
    virtual void DblClick() = 0;

protected:
    ~TMouseReceiver() = default;
};

// Delivers a Qt mouse event to Receiver. A left press and release over the control is a click, reported
// before the release; the second press of a double click is reported as a press followed by DblClick, and
// its release is no click. Clicked carries the press between the calls. Returns whether Event was a mouse
// event.
bool DeliverMouseEvent(QEvent* Event, const QSize& ClientSize, bool& Clicked, TMouseReceiver& Receiver);

// The ShowHint a control with ParentShowHint takes: that of the nearest ancestor with a "ShowHint"
// property; a widget of plain Qt shows hints.
bool ParentShowHintOf(const QWidget* Control);

// The first step of a form's destructor, while every member is still there: Qt hides a window only in its
// base destructor, after the members are gone, and hiding moves the focus, which runs the handlers of the
// edit losing it. The form is hidden now, and its controls' signals to it are cut, so that no handler runs
// against a form half destroyed.
void ReleaseForm(QWidget& Form);

// The hourglass over the whole application while it lives, also when an exception ends the scope.
class TWaitCursor {
public:
    explicit TWaitCursor(bool Show = true);
    ~TWaitCursor();
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;

private:
    bool Shown;
};

// The window type of the programs' floating windows (camera window, entry form, chart, export,
// picture window), each made with the program's main window as its parent. The window manager keeps such a
// window above its main window, but neither above the program's dialogs and boxes (see DialogOwner) nor
// above other programs, as a window staying on top of everything would be.
inline constexpr Qt::WindowType FloatingWindow = Qt::Tool;
// The flags of a window with neither border nor border icons, the splash: as a splash screen, the only kind
// of borderless window the window manager also offers no minimising for.
inline constexpr Qt::WindowFlags SplashWindow = Qt::SplashScreen | Qt::FramelessWindowHint;

// The parent of every dialog and message box the program opens: the modal dialog open now, else the
// program's main window (its shown QMainWindow), else none. Such a dialog opens above the floating windows,
// and while it runs modally they take no input. The main window outlives every dialog, which a floating
// window that closes by itself (the splash) would not.
// When a modal dialog or box closes, the window the user worked in before it (the one that took the last
// click or key, or was activated after it) is active again, with its focus where it was or where that
// window's activation handler puts it; this holds in every program by itself.
QWidget* DialogOwner();

// The flags a window other than a main window is shown with: neither a minimise nor a maximise button, so
// that no dialog, box or floating window can be put where a desktop without a task bar loses it. Only the
// main windows and the windows inside their work areas can be minimised. A window that opens maximised has
// the maximise button, with which it is restored. Every window gets them by itself as it is shown, and on
// X11 is announced to the window manager as a toolbar first, for managers that look only at that.
Qt::WindowFlags KeptWindowFlags(Qt::WindowFlags Flags, Qt::WindowStates State);

// The width a window needs for the window manager to show its whole title: the title in the bold face title
// bars use, beside room for the bar's icon and buttons. A title bar cuts a longer title short
// ("Предуп...ждение"), which is as much a clipped caption as a cut label.
int TitleBarWidth(const QWidget& Window);
// Window made at least as wide as its title needs; a window with a layout calls it once its layout is set.
void KeepTitleWhole(QWidget& Window);

// A window placed at the centre of its screen's free area, as windows that open centred are.
void CenterOnScreen(QWidget& Window);
// A floating window with no place of its own opens inside Area, a part of the main window's client area
// below its menu bar (in screen coordinates), at the first of its corners top right, top left, bottom right
// and bottom left that covers the least of Spare, the window the user works in (none by default): away from
// the pictures and columns the user starts at. A window placed before, by the program or by the user, keeps
// its place.
void PlaceInside(QWidget& Window, const QRect& Area, const QRect& Spare = QRect());
void PlaceInside(QWidget& Window, const QWidget& Area, const QRect& Spare = QRect());
// Widget's rectangle in screen coordinates.
QRect ScreenRect(const QWidget& Widget);
