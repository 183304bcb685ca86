// The viewer's selection: its properties, the animated frame with its handles, the mouse state machine with
// auto-scroll, and the choice of the mouse cursor.
#include "framework/ErrorBox.h"
#include "image-library/PGCursors.h"
#include "image-library/widgets/PGImage.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace {

using TEdges = TPGImage::TEdges;

constexpr int HandleCount = 8;
// Drawn and invalidated rectangles stay within the paint box widened by this much: the frame and the
// handles reach at most 8 pixels out.
constexpr int PaintMargin = 9;

int Saturate(int64_t Value) {
    return int(std::clamp<int64_t>(Value, INT_MIN, INT_MAX));
}

bool Contains(const TEdges& R, int64_t X, int64_t Y) {
    return X >= R.Left && X < R.Right && Y >= R.Top && Y < R.Bottom;
}

// R clipped to Limit, as a Qt rectangle (empty when nothing is left).
QRect Clipped(const TEdges& R, const QRect& Limit) {
    const int64_t left = std::max<int64_t>(R.Left, Limit.left());
    const int64_t top = std::max<int64_t>(R.Top, Limit.top());
    const int64_t right = std::min<int64_t>(R.Right, int64_t(Limit.left()) + Limit.width());
    const int64_t bottom = std::min<int64_t>(R.Bottom, int64_t(Limit.top()) + Limit.height());
    if (right <= left || bottom <= top)
        return {};
    return QRect(int(left), int(top), int(right - left), int(bottom - top));
}

// The four one-pixel sides of the frame of R (edges exclusive), clipped to Limit.
QRegion FrameSides(const TEdges& R, const QRect& Limit) {
    QRegion sides;
    sides += Clipped({R.Left, R.Top, R.Right, R.Top + 1}, Limit);
    sides += Clipped({R.Left, R.Bottom - 1, R.Right, R.Bottom}, Limit);
    sides += Clipped({R.Left, R.Top, R.Left + 1, R.Bottom}, Limit);
    sides += Clipped({R.Right - 1, R.Top, R.Right, R.Bottom}, Limit);
    return sides;
}

// The handle rectangles around R, in the order of drag states 4..11: 5 x 5 pixels, 3 to 8 pixels out.
std::array<TEdges, HandleCount> HandleRects(const TEdges& R) {
    const int64_t mx = (R.Left + R.Right) / 2;
    const int64_t my = (R.Top + R.Bottom) / 2;
    return {{{R.Left - 8, R.Top - 8, R.Left - 3, R.Top - 3},
             {mx - 2, R.Top - 8, mx + 3, R.Top - 3},
             {R.Right + 3, R.Top - 8, R.Right + 8, R.Top - 3},
             {R.Left - 8, my - 2, R.Left - 3, my + 3},
             {R.Right + 3, my - 2, R.Right + 8, my + 3},
             {R.Left - 8, R.Bottom + 3, R.Left - 3, R.Bottom + 8},
             {mx - 2, R.Bottom + 3, mx + 3, R.Bottom + 8},
             {R.Right + 3, R.Bottom + 3, R.Right + 8, R.Bottom + 8}}};
}

constexpr Qt::CursorShape HandleCursors[HandleCount] = {
    Qt::SizeFDiagCursor, Qt::SizeVerCursor,   Qt::SizeBDiagCursor, Qt::SizeHorCursor,
    Qt::SizeHorCursor,   Qt::SizeBDiagCursor, Qt::SizeVerCursor,   Qt::SizeFDiagCursor};

// Which edges a handle drags, by handle index.
bool DragsLeft(int Handle) {
    return Handle == 0 || Handle == 3 || Handle == 5;
}
bool DragsRight(int Handle) {
    return Handle == 2 || Handle == 4 || Handle == 7;
}
bool DragsTop(int Handle) {
    return Handle <= 2;
}
bool DragsBottom(int Handle) {
    return Handle >= 5;
}

constexpr uint8_t DragMovePicture = 1;
constexpr uint8_t DragMoveSelection = 2;
constexpr uint8_t DragCreateSelection = 3;
constexpr uint8_t DragFirstHandle = 4;

// Whether a paint of Widget or of one of its ancestors is running: Qt refuses a repaint inside it.
bool InPaint(const QWidget* Widget) {
    for (; Widget; Widget = Widget->parentWidget())
        if (Widget->testAttribute(Qt::WA_WState_InPaintEvent))
            return true;
    return false;
}

} // namespace

// ---- properties

void TPGImage::SetSelection(bool Value) {
    if (Value == Selection)
        return;
    Selection = Value;
    if (Selection)
        FrameTimer.start();
    else
        FrameTimer.stop();
    PicBox->update();
    if (OnSelectionChange)
        OnSelectionChange(this);
    RefreshCursor();
}

void TPGImage::DropSelectionBrushes() {
    for (auto& brush : SelectionBrushes)
        brush.reset();
}

void TPGImage::SetSelectionColor1(TColor Value) {
    if (Value == SelectionColor1)
        return;
    SelectionColor1 = Value;
    DropSelectionBrushes();
}

void TPGImage::SetSelectionColor2(TColor Value) {
    if (Value == SelectionColor2)
        return;
    SelectionColor2 = Value;
    DropSelectionBrushes();
}

void TPGImage::SetPicBoxCursor(const QCursor& Value) {
    PicBox->Cursor = Value;
    PicBox->setCursor(Value);
    RefreshCursor();
}

TRect TPGImage::GetSelectionRect() const {
    return {SelectionLeft, SelectionTop, Saturate(int64_t(SelectionLeft) + SelectionWidth),
            Saturate(int64_t(SelectionTop) + SelectionHeight)};
}

void TPGImage::SetSelectionRect(const TRect& Rect) {
    SetSelectionBounds(Rect.Left, Rect.Top, Saturate(int64_t(Rect.Right) - Rect.Left),
                       Saturate(int64_t(Rect.Bottom) - Rect.Top));
}

TPGImage::TEdges TPGImage::GetSelectionPicBoxRect() const {
    // X * paint-box side div picture side, in 64 bits like the edges themselves.
    const auto map = [](int64_t X, int Num, int Den) { return Den <= 0 ? int64_t(0) : X * Num / Den; };
    const int w = PicBox->width();
    const int h = PicBox->height();
    return {map(SelectionLeft, w, PixelGraphicWidth), map(SelectionTop, h, PixelGraphicHeight),
            map(int64_t(SelectionLeft) + SelectionWidth, w, PixelGraphicWidth),
            map(int64_t(SelectionTop) + SelectionHeight, h, PixelGraphicHeight)};
}

QRegion TPGImage::SelectionStrips(int E) const {
    TEdges r = GetSelectionPicBoxRect();
    const QPoint at = PicBox->pos();
    r = {r.Left + at.x(), r.Top + at.y(), r.Right + at.x(), r.Bottom + at.y()};
    const QRect limit = PicBox->geometry().adjusted(-PaintMargin, -PaintMargin, PaintMargin, PaintMargin);
    QRegion strips;
    strips += Clipped({r.Left - E, r.Top - E, r.Left, r.Bottom + E}, limit);
    strips += Clipped({r.Left - E, r.Top - E, r.Right + E, r.Top}, limit);
    strips += Clipped({r.Right, r.Top - E, r.Right + E, r.Bottom + E}, limit);
    strips += Clipped({r.Left - E, r.Bottom, r.Right + E, r.Bottom + E}, limit);
    return strips;
}

void TPGImage::SetSelectionBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    if (ALeft == SelectionLeft && ATop == SelectionTop && AWidth == SelectionWidth &&
        AHeight == SelectionHeight)
        return;
    const int e = ActionMode == amMoveResizeCreateSelection ? 8 : 1;
    QRegion strips;
    if (Selection)
        strips += SelectionStrips(e);
    SelectionLeft = ALeft;
    SelectionTop = ATop;
    SelectionWidth = AWidth;
    SelectionHeight = AHeight;
    if (Selection) {
        strips += SelectionStrips(e);
        viewport()->update(strips);
    }
    if (OnSelectionChange)
        OnSelectionChange(this);
    // At once, so the frame follows the mouse without lag.
    if (Selection)
        RepaintNow(strips);
    RefreshCursor();
}

void TPGImage::RepaintNow(const QRegion& Region) {
    if (InPaint(viewport()) || InPaint(PicBox))
        viewport()->update(Region);
    else
        viewport()->repaint(Region);
}

// ---- the frame

void TPGImage::CreateSelectionBrushes() {
    const QRgb color1 = ColorToQColor(SelectionColor1).rgb();
    const QRgb color2 = ColorToQColor(SelectionColor2).rgb();
    for (int i = 0; i < HandleCount; ++i) {
        if (SelectionBrushes[i])
            continue;
        // Diagonal stripes four pixels wide, shifted by i.
        QImage pattern(8, 8, QImage::Format_RGB32);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                pattern.setPixel(x, y, (x + y + 8 - i) % 8 >= 4 ? color2 : color1);
        SelectionBrushes[i] = QBrush(pattern);
    }
}

QRegion TPGImage::SelectionFramePixels() const {
    const TEdges r = GetSelectionPicBoxRect();
    const QRect limit = PicBox->rect().adjusted(-PaintMargin, -PaintMargin, PaintMargin, PaintMargin);
    QRegion pixels = FrameSides({r.Left - 1, r.Top - 1, r.Right + 1, r.Bottom + 1}, limit);
    if (ActionMode == amMoveResizeCreateSelection)
        for (const TEdges& handle : HandleRects(r))
            pixels += FrameSides(handle, limit);
    return pixels;
}

void TPGImage::PaintPicBox() {
    if (!Selection)
        return;
    QPainter* canvas = PicBox->GetCanvas();
    const TEdges r = GetSelectionPicBoxRect();
    CreateSelectionBrushes();
    // The texture is anchored at the paint box's origin; this choice of brush anchors the stripes at the
    // selection's corner, which moves them along the frame as the phase advances.
    const int k = int(((SelectionPhase + r.Left + r.Top) % 8 + 8) % 8);
    const QBrush& brush = *SelectionBrushes[k];
    for (const QRect& side : SelectionFramePixels())
        canvas->fillRect(side, brush);
}

void TPGImage::SelectionTimer() {
    SelectionPhase = (SelectionPhase + 1) % 8;
    // Children on the viewer paint above the paint box, so the frame never covers them.
    PicBox->update(SelectionFramePixels());
}

// ---- the mouse

bool TPGImage::PictureLargerThanView() const {
    return (PicBox->width() > ClientWidth() && HorzBarShown) ||
           (PicBox->height() > ClientHeight() && VertBarShown);
}

int TPGImage::HandleAt(int64_t X, int64_t Y) const {
    const auto handles = HandleRects(GetSelectionPicBoxRect());
    for (int i = 0; i < HandleCount; ++i)
        if (Contains(handles[i], X, Y))
            return i;
    return -1;
}

void TPGImage::UpdateCreatedSelection(int X, int Y) {
    // The anchor pixel and the pointer pixel are both inside.
    const int64_t px = PicBoxToPictureX(X);
    const int64_t py = PicBoxToPictureY(Y);
    const int64_t ax = SelectionAnchor.X;
    const int64_t ay = SelectionAnchor.Y;
    SetSelectionBounds(int(std::min(px, ax)), int(std::min(py, ay)), Saturate(std::abs(px - ax) + 1),
                       Saturate(std::abs(py - ay) + 1));
}

void TPGImage::PicBoxMouseDown(TMouseButton Button, TShiftState, int X, int Y) {
    NotePointer(PicBox->mapToParent(QPoint(X, Y)));
    if (Button != mbLeft)
        return;
    const TPoint pp = PicBoxToPicture({X, Y});
    const bool movesSelection = ActionMode == amMoveResizeCreateSelection || ActionMode == amMoveSelection ||
                                ActionMode == amMoveSelectionMoveImage;
    const bool resizes = ActionMode == amMoveResizeCreateSelection && Selection;
    int handle = -1;
    // Qt's implicit grab of the paint box stands in for capturing the mouse.
    if (movesSelection && Selection && Contains(GetSelectionPicBoxRect(), X, Y)) {
        DragState = DragMoveSelection;
        DragStart = {X, Y};
        DragOffset = {Saturate(int64_t(pp.X) - SelectionLeft), Saturate(int64_t(pp.Y) - SelectionTop)};
    } else if ((ActionMode == amMoveImage || ActionMode == amMoveSelectionMoveImage) &&
               PictureLargerThanView()) {
        DragState = DragMovePicture;
        DragStart = {X, Y};
    } else if (resizes && (handle = HandleAt(X, Y)) >= 0) {
        DragState = uint8_t(DragFirstHandle + handle);
        DragStart = {X, Y};
        const int64_t px = PicBoxToPictureX(X);
        const int64_t py = PicBoxToPictureY(Y);
        DragOffset.X = Saturate(DragsLeft(handle)    ? px - SelectionLeft
                                : DragsRight(handle) ? px - SelectionWidth
                                                     : 0);
        DragOffset.Y = Saturate(DragsTop(handle)      ? py - SelectionTop
                                : DragsBottom(handle) ? py - SelectionHeight
                                                      : 0);
    } else if (ActionMode == amMoveResizeCreateSelection || ActionMode == amCreateSelection) {
        DragState = DragCreateSelection;
        SetSelection(true);
        SelectionAnchor = pp;
        UpdateCreatedSelection(X, Y);
    }
    if (DragState >= DragMoveSelection)
        ScrollTimer.start();
    RefreshCursor();
}

void TPGImage::PicBoxMouseMove(TShiftState Shift, int X, int Y) {
    NotePointer(PicBox->mapToParent(QPoint(X, Y)));
    // The release went elsewhere (a box opened during the drag took the mouse): end the drag now.
    if (DragState != 0 && !(Shift & ssLeft)) {
        PicBoxMouseUp();
        return;
    }
    const int64_t px = PicBoxToPictureX(X);
    const int64_t py = PicBoxToPictureY(Y);
    const int64_t left = SelectionLeft;
    const int64_t top = SelectionTop;
    const int64_t width = SelectionWidth;
    const int64_t height = SelectionHeight;
    if (DragState == DragCreateSelection) {
        UpdateCreatedSelection(X, Y);
    } else if (DragState >= DragFirstHandle) {
        // A side never becomes smaller than one pixel, and the opposite edge never moves.
        const int handle = DragState - DragFirstHandle;
        int64_t newLeft = left;
        int64_t newTop = top;
        int64_t newWidth = width;
        int64_t newHeight = height;
        if (DragsLeft(handle)) {
            newLeft = std::min(px - DragOffset.X, left + width - 1);
            newWidth = width + left - newLeft;
        } else if (DragsRight(handle)) {
            newWidth = std::max<int64_t>(px - DragOffset.X, 1);
        }
        if (DragsTop(handle)) {
            newTop = std::min(py - DragOffset.Y, top + height - 1);
            newHeight = height + top - newTop;
        } else if (DragsBottom(handle)) {
            newHeight = std::max<int64_t>(py - DragOffset.Y, 1);
        }
        SetSelectionBounds(Saturate(newLeft), Saturate(newTop), Saturate(newWidth), Saturate(newHeight));
    } else if (DragState == DragMovePicture) {
        QScrollBar* hbar = horizontalScrollBar();
        QScrollBar* vbar = verticalScrollBar();
        const int oldH = hbar->value();
        const int oldV = vbar->value();
        hbar->setValue(Saturate(int64_t(oldH) + DragStart.X - X));
        vbar->setValue(Saturate(int64_t(oldV) + DragStart.Y - Y));
        // The pointer's place on the moved paint box.
        DragStart = {X + hbar->value() - oldH, Y + vbar->value() - oldV};
        RepaintNow(viewport()->rect());
    } else if (DragState == DragMoveSelection) {
        // The selection may leave the picture partly but keeps a column and a row on it.
        const int64_t newLeft =
            std::min<int64_t>(std::max(px - DragOffset.X, 1 - width), PixelGraphicWidth - 1);
        const int64_t newTop =
            std::min<int64_t>(std::max(py - DragOffset.Y, 1 - height), PixelGraphicHeight - 1);
        SetSelectionBounds(Saturate(newLeft), Saturate(newTop), SelectionWidth, SelectionHeight);
    }
    RefreshCursor();
}

void TPGImage::PicBoxMouseUp() {
    if (DragState >= DragMoveSelection) {
        SetSelection(true);
        if (OnSelectionMade)
            OnSelectionMade(this);
    }
    ScrollTimer.stop();
    DragState = 0;
    RefreshCursor();
}

void TPGImage::DragScrollTimer() {
    // Only while the button is down: a release that went elsewhere must not leave the view scrolling.
    if (!(QGuiApplication::mouseButtons() & Qt::LeftButton) || !Pointer)
        return;
    const QPoint q = *Pointer;
    QScrollBar* hbar = horizontalScrollBar();
    QScrollBar* vbar = verticalScrollBar();
    if (q.x() < 0 && hbar->value() > 0)
        hbar->setValue(hbar->value() - 5);
    if (q.y() < 0 && vbar->value() > 0)
        vbar->setValue(vbar->value() - 5);
    if (q.x() >= ClientWidth() && hbar->value() < hbar->maximum())
        hbar->setValue(hbar->value() + 5);
    if (q.y() >= ClientHeight() && vbar->value() < vbar->maximum())
        vbar->setValue(vbar->value() + 5);
}

// ---- the cursor

void TPGImage::NotePointer(QPoint ClientPos) {
    Pointer = ClientPos;
    RefreshCursor();
}

void TPGImage::RefreshCursor() {
    // An override cursor (the hourglass, for one) is what Qt shows; no handler runs.
    if (!Pointer || QGuiApplication::overrideCursor())
        return;
    // During the grab the paint box has the mouse wherever it is.
    QWidget* under = DragState != 0 ? PicBox : viewport()->childAt(*Pointer);
    if (under && under != PicBox)
        return; // another control on the viewer shows its own cursor
    if (!under) {
        QCursor cursor = this->cursor();
        if (OnSetCursor)
            OnSetCursor(this, cursor);
        viewport()->setCursor(cursor);
        return;
    }
    const QPoint q = *Pointer - PicBox->pos();
    QCursor cursor = PicBox->Cursor;
    if ((ActionMode == amMoveImage || ActionMode == amMoveSelectionMoveImage) && PictureLargerThanView())
        cursor = PGCursor(DragState == DragMovePicture ? PGCursorMovingImage : PGCursorMoveImage);
    if (ActionMode == amMoveResizeCreateSelection || ActionMode == amCreateSelection)
        cursor = PGCursor(PGCursorCreateSelection);
    if ((ActionMode == amMoveResizeCreateSelection || ActionMode == amMoveSelection ||
         ActionMode == amMoveSelectionMoveImage) &&
        Selection && Contains(GetSelectionPicBoxRect(), q.x(), q.y()))
        cursor = PGCursor(PGCursorMoveSelection);
    if (ActionMode == amMoveResizeCreateSelection && Selection) {
        // Tested by groups: top and bottom, left and right, then the two diagonals.
        const auto handles = HandleRects(GetSelectionPicBoxRect());
        for (const int i : {1, 6, 3, 4, 0, 7, 2, 5})
            if (Contains(handles[i], q.x(), q.y())) {
                cursor = QCursor(HandleCursors[i]);
                break;
            }
    }
    if (PicBoxOnSetCursor)
        PicBoxOnSetCursor(this, cursor);
    PicBox->setCursor(cursor);
}
