// The viewer control: picture ownership, files, layout and scrolling.
#include "image-library/widgets/PGImage.h"

#include "framework/ErrorBox.h"
#include "framework/Rounding.h"
#include "framework/ScreenCaps.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGLangStr.h"
#include "image-library/widgets/PGControls.h"
#include "image-library/widgets/PGPaintThread.h"

#include <QContextMenuEvent>
#include <QEnterEvent>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <exception>

namespace {

// The largest widget side Qt allows; paint-box sizes from extreme zooms are held to it.
int ClampWidgetSide(int64_t Side) {
    return int(std::clamp<int64_t>(Side, 0, QWIDGETSIZE_MAX));
}

// X * Num div Den in 64 bits; 0 when Den <= 0.
int ScaleCoordinate(int X, int Num, int Den) {
    return Den <= 0 ? 0 : int(int64_t(X) * Num / Den);
}

} // namespace

TPGImage::TPGImage(QWidget* Parent) : QAbstractScrollArea(Parent) {
    // The viewer paints every pixel of the viewport itself: margins and picture.
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // Mouse moves over the margins reach OnMouseMove with no button down, as over the paint box.
    viewport()->setMouseTracking(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ApplyFrame();
    PicBox = new TPicBox(this);
    PicBox->installEventFilter(this);
    PicBox->ControlMouseDown = [this](TObject*, TMouseButton Button, TShiftState Shift, int X, int Y) {
        PicBoxMouseDown(Button, Shift, X, Y);
    };
    PicBox->ControlMouseMove = [this](TObject*, TShiftState Shift, int X, int Y) {
        PicBoxMouseMove(Shift, X, Y);
    };
    PicBox->ControlMouseUp = [this](TObject*, TMouseButton, TShiftState, int, int) { PicBoxMouseUp(); };
    PicBox->ControlPaint = [this](TObject*) { PaintPicBox(); };
    FrameTimer.setInterval(50);
    ScrollTimer.setInterval(50);
    connect(&FrameTimer, &QTimer::timeout, this, [this] { CallGuarded([this] { SelectionTimer(); }); });
    connect(&ScrollTimer, &QTimer::timeout, this, [this] { CallGuarded([this] { DragScrollTimer(); }); });
    resize(100, 100);
    connect(&TScreenCaps::Instance(), &TScreenCaps::DisplayChanged, this, &TPGImage::DisplayChanged);
    // Stopping the worker always has a thread to stop.
    PaintThread = CreateThread<TCreatePaintPGThread>(false, true);
}

TPGImage::~TPGImage() {
    // Results still queued are freed with their events when the QObject part goes.
    StopPaintThread();
}

// ---- the display-copy job

void TPGImage::StopPaintThread() {
    PaintThread->Stop();
    if (!PaintThread->Posted())
        PaintJobInFlight = false;
}

void TPGImage::CancelPaintJob() {
    ++PaintJob;
    PaintJobInFlight = false;
    PaintJobReported = false;
}

void TPGImage::MarkPaintDirty() {
    PaintPixelGraphicDirty = true;
    PaintCopyFailed = false;
    CancelPaintJob();
}

void TPGImage::DisplayChanged() {
    MarkPaintDirty();
    Invalidate();
}

// ---- pictures

void TPGImage::DropPaintPixelGraphic() {
    // Kept while a new copy is made in the background, so the old one stays on screen until then.
    if (!(KeepOldPaintPixelGraphic && UseThread))
        PaintPixelGraphic.reset();
    MarkPaintDirty();
}

void TPGImage::TakePixelGraphic(std::unique_ptr<TPixelGraphic> Picture) {
    StopPaintThread();
    PixelGraphic.reset();
    DropPaintPixelGraphic();
    HookGraphicEvents(Picture.get(), true);
    PixelGraphic = std::move(Picture);
    ReducePending = true;
    PixelGraphicChanged(this);
}

void TPGImage::SetPixelGraphic(std::unique_ptr<TPixelGraphic> Picture) {
    if (Picture && Picture == PixelGraphic) {
        // Handing back the picture already shown: it must not be freed, only laid out again.
        (void)Picture.release();
        PixelGraphicChanged(this);
        return;
    }
    TakePixelGraphic(std::move(Picture));
}

void TPGImage::AssignPixelGraphic(const TPixelGraphic* Picture) {
    // Copy before anything is freed: Picture may be the viewer's own.
    std::unique_ptr<TPixelGraphic> copy;
    if (Picture) {
        copy = std::make_unique<TPixelGraphic>();
        copy->Assign(Picture);
    }
    TakePixelGraphic(std::move(copy));
}

TPixelGraphic* TPGImage::GetPixelGraphic() {
    StopPaintThread();
    return PixelGraphic.get();
}

std::unique_ptr<TPixelGraphic> TPGImage::GetPixelGraphicCopy() {
    StopPaintThread();
    auto copy = std::make_unique<TPixelGraphic>();
    copy->Assign(PixelGraphic.get());
    return copy;
}

void TPGImage::HookGraphicEvents(TPixelGraphic* Picture, bool WithOnChange) {
    if (!Picture)
        return;
    if (WithOnChange)
        Picture->SetOnChange([this](TObject* Sender) { PixelGraphicChanged(Sender); });
    // The picture stays the sender, so a handler can tell which picture reports.
    Picture->SetOnProgressStart([this](TObject* Sender) {
        if (OnPixelGraphicProgressStart)
            OnPixelGraphicProgressStart(Sender);
    });
    Picture->SetOnProgress([this](TObject* Sender, int Step, int Max, bool& Abort) {
        if (OnPixelGraphicProgress)
            OnPixelGraphicProgress(Sender, Step, Max, Abort);
    });
    Picture->SetOnProgressEnd([this](TObject* Sender) {
        if (OnPixelGraphicProgressEnd)
            OnPixelGraphicProgressEnd(Sender);
    });
}

// ---- files

void TPGImage::LoadFromFileIndex(const QString& AFileName, int Index) {
    // The stored name, not the property: assigning the property loads.
    FileName.clear();
    std::exception_ptr failure;
    {
        const TWaitCursor hourGlass(ShowHourGlass);
        try {
            StopPaintThread();
            PixelGraphic.reset();
            DropPaintPixelGraphic();
            ReducePending = true;
            if (!QFileInfo(AFileName).fileName().isEmpty()) {
                auto picture = std::make_unique<TPixelGraphic>();
                picture->SetReadWarningAction(ReadWarningAction);
                picture->SetBackGroundColor(TColor(BackGroundColor));
                // Progress only while loading: a half-loaded picture must not be laid out.
                HookGraphicEvents(picture.get(), false);
                picture->LoadFromFileIndex(AFileName, Index);
                HookGraphicEvents(picture.get(), true);
                PixelGraphic = std::move(picture);
            }
            FileName = AFileName;
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // Also after a failure: the viewer shows that it is empty now.
    PixelGraphicChanged(this);
    if (failure)
        std::rethrow_exception(failure);
}

void TPGImage::SaveToFile(const QString& AFileName) {
    if (!PixelGraphic)
        throw EPGEmpty(PGLangStr(16, QStringLiteral("PixelGraphic")));
    PixelGraphic->SetSaveColorResWarningAction(SaveColorResWarningAction);
    PixelGraphic->SaveToFile(AFileName);
    // The stored name only: the property would load the file just written.
    FileName = AFileName;
}

// ---- layout

int TPGImage::GetBorderWidth() const {
    if (BorderStyle != bsSingle)
        return 0;
    return Ctl3D ? 2 : 1;
}

void TPGImage::ApplyFrame() {
    if (BorderStyle != bsSingle) {
        setFrameStyle(QFrame::NoFrame);
    } else if (Ctl3D) {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setLineWidth(2);
    } else {
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(1);
    }
}

int TPGImage::HorizontalBarExtent() const {
    return horizontalScrollBar()->sizeHint().height();
}

int TPGImage::VerticalBarExtent() const {
    return verticalScrollBar()->sizeHint().width();
}

int TPGImage::ClientWidth() const {
    return std::max(0, width() - 2 * GetBorderWidth() - (VertBarShown ? VerticalBarExtent() : 0));
}

int TPGImage::ClientHeight() const {
    return std::max(0, height() - 2 * GetBorderWidth() - (HorzBarShown ? HorizontalBarExtent() : 0));
}

void TPGImage::UpdateScrollBars() {
    QScrollBar* hbar = horizontalScrollBar();
    QScrollBar* vbar = verticalScrollBar();
    // The paint box's extent in scrolled-content coordinates.
    const QRect box = PicBox->geometry();
    const int64_t right = int64_t(box.x()) + hbar->value() + box.width();
    const int64_t bottom = int64_t(box.y()) + vbar->value() + box.height();
    const int aw = width() - 2 * GetBorderWidth();
    const int ah = height() - 2 * GetBorderWidth();
    bool horz = false;
    bool vert = false;
    // Two passes: a bar that only the other bar's room made necessary is caught in the second.
    for (int pass = 0; AutoScroll && pass < 2; ++pass) {
        horz = right > aw - (vert ? VerticalBarExtent() : 0);
        vert = bottom > ah - (horz ? HorizontalBarExtent() : 0);
    }
    HorzBarShown = horz;
    VertBarShown = vert;
    setHorizontalScrollBarPolicy(horz ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(vert ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    hbar->setPageStep(std::max(1, ClientWidth()));
    vbar->setPageStep(std::max(1, ClientHeight()));
    hbar->setRange(0, horz ? int(std::max<int64_t>(0, right - ClientWidth())) : 0);
    vbar->setRange(0, vert ? int(std::max<int64_t>(0, bottom - ClientHeight())) : 0);
}

void TPGImage::scrollContentsBy(int DX, int DY) {
    // Moves the paint box with the pixels, so its geometry stays in client coordinates. A hidden widget does
    // not scroll, so its children are moved by hand.
    if (viewport()->isVisible()) {
        viewport()->scroll(DX, DY);
    } else {
        for (QObject* child : viewport()->children())
            if (auto* control = qobject_cast<QWidget*>(child))
                control->move(control->pos() + QPoint(DX, DY));
    }
    // The picture moved under a resting pointer.
    RefreshCursor();
}

void TPGImage::PixelGraphicChanged(TObject*) {
    StopPaintThread();
    PixelGraphicWidth = PixelGraphic ? PixelGraphic->GetWidth() : 0;
    PixelGraphicHeight = PixelGraphic ? PixelGraphic->GetHeight() : 0;
    int64_t w = int64_t(PixelGraphicWidth) + 2 * GetBorderWidth();
    int64_t h = int64_t(PixelGraphicHeight) + 2 * GetBorderWidth();
    bool horzAdded = false;
    bool vertAdded = false;
    for (int pass = 0; pass < 2; ++pass) {
        if (w > AutoSizeMaxWidth && !horzAdded) {
            h += HorizontalBarExtent();
            horzAdded = true;
        }
        if (h > AutoSizeMaxHeight && !vertAdded) {
            w += VerticalBarExtent();
            vertAdded = true;
        }
    }
    // Held to what a widget can be, so the size asked for is one the viewer can take.
    const int newWidth =
        ClampWidgetSide(std::max<int64_t>(std::min<int64_t>(w, AutoSizeMaxWidth), AutoSizeMinWidth));
    const int newHeight =
        ClampWidgetSide(std::max<int64_t>(std::min<int64_t>(h, AutoSizeMaxHeight), AutoSizeMinHeight));
    if (OnNewAutoSize)
        OnNewAutoSize(this, newWidth, newHeight);
    MarkPaintDirty();
    if (AutoSize && (newWidth != width() || newHeight != height()))
        SetBounds(x(), y(), newWidth, newHeight);
    else
        Arrange(false);
    if (OnPixelGraphicChange)
        OnPixelGraphicChange(this);
}

void TPGImage::Arrange(bool Force) {
    const QSize outer = size();
    const int pw = PixelGraphicWidth;
    const int ph = PixelGraphicHeight;
    const int aw = outer.width() - 2 * GetBorderWidth();
    const int ah = outer.height() - 2 * GetBorderWidth();
    const int sh = HorizontalBarExtent();
    const int sv = VerticalBarExtent();
    int64_t w = pw;
    int64_t h = ph;
    long double z = 1.0L;

    if (pw > 0 && ph > 0 && aw > 0 && ah > 0) {
        const long double a = (long double)aw / ah;
        const long double p = (long double)pw / ph;
        const auto fit = [&] {
            if (a < p) {
                w = aw;
                h = Trunc(w / p);
                z = (long double)w / pw;
            } else {
                h = ah;
                w = Trunc(h * p);
                z = (long double)h / ph;
            }
        };
        // Fits, then, when that leaves more than a scroll bar of room, fills the relatively shorter side
        // and lets the picture scroll along the other.
        const auto fitLongerEdge = [&] {
            fit();
            if (aw - sv > w || ah - sh > h) {
                if (a > p) {
                    w = aw - sv;
                    h = Trunc(w / p);
                    z = (long double)w / pw;
                } else {
                    h = ah - sh;
                    w = Trunc(h * p);
                    z = (long double)h / ph;
                }
            }
        };
        const bool shrinkLongerEdge = (pw > aw && ph > ah - sh) || (pw > aw - sv && ph > ah);
        switch (Stretch) {
        case sNeverKAR:
            break;
        case sAlways:
            w = aw;
            h = ah;
            z = -1.0L;
            break;
        case sAlwaysKAR:
            fit();
            break;
        case sShrink:
            if (pw > aw) {
                w = aw;
                z = -1.0L;
            }
            if (ph > ah) {
                h = ah;
                z = -1.0L;
            }
            break;
        case sShrinkKAR:
            if (pw > aw || ph > ah)
                fit();
            break;
        case sEnlarge: {
            const int availH = pw > aw ? ah - sh : ah;
            const int availW = ph > ah ? aw - sv : aw;
            if (availW > pw) {
                w = availW;
                z = -1.0L;
            }
            if (ph < availH) {
                h = availH;
                z = -1.0L;
            }
            break;
        }
        case sEnlargeKAR:
            if (pw < aw && ph < ah)
                fit();
            break;
        case sAlwaysLongerEdgeKAR:
            fitLongerEdge();
            break;
        case sShrinkLongerEdgeKAR:
            if (shrinkLongerEdge)
                fitLongerEdge();
            break;
        case sEnlargeShrinkLongerEdgeKAR:
            if (pw < aw && ph < ah)
                fit();
            else if (shrinkLongerEdge)
                fitLongerEdge();
            break;
        case sEnlargeLongerEdgeKAR:
            if (pw < aw || ph < ah)
                fitLongerEdge();
            break;
        case sZoomKAR:
            // A zoom that is not a positive number shows the picture at its own size.
            if (std::isfinite(ZoomFactor) && ZoomFactor > 0)
                z = ZoomFactor;
            w = Round(pw * z);
            h = Round(ph * z);
            break;
        }
    }
    w = ClampWidgetSide(w);
    h = ClampWidgetSide(h);

    if (z != EffectiveZoom) {
        EffectiveZoom = z;
        if (OnZoomFactorChange) {
            OnZoomFactorChange(this);
            // The handler resized the viewer, which has laid out for the new size already.
            if (size() != outer)
                return;
        }
    }

    int x = 0;
    int y = 0;
    bool horz = false;
    bool vert = false;
    if (Center) {
        int64_t availH = ah;
        int64_t availW = aw;
        for (int pass = 0; pass < 2; ++pass) {
            if (availW < w && !horz) {
                availH -= sh;
                horz = true;
            }
            if (h > availH && !vert) {
                availW -= sv;
                vert = true;
            }
        }
        if (availH > h)
            y = int((availH - h) / 2);
        if (availW > w)
            x = int((availW - w) / 2);
    }

    QScrollBar* hbar = horizontalScrollBar();
    QScrollBar* vbar = verticalScrollBar();
    const QRect box = PicBox->geometry();
    bool move = box.width() != w || box.height() != h;
    if (!move && (Force || RearrangeAlways)) {
        if (box.topLeft() != QPoint(x, y))
            move = true;
        else if (Center)
            move = (horz && hbar->value() != (w - ClientWidth()) / 2) ||
                   (vert && vbar->value() != (h - ClientHeight()) / 2);
        else
            move = hbar->value() != 0 || vbar->value() != 0;
    }
    if (move) {
        Arranging = true;
        const auto arranged = qScopeGuard([this] { Arranging = false; });
        hbar->setValue(0);
        vbar->setValue(0);
        PicBox->setGeometry(x, y, int(w), int(h));
        UpdateScrollBars();
        // A centred picture larger than the view opens scrolled to its middle.
        if (Center && horz)
            hbar->setValue(int((w - ClientWidth()) / 2));
        if (Center && vert)
            vbar->setValue(int((h - ClientHeight()) / 2));
    } else {
        UpdateScrollBars();
    }
    Invalidate();
}

void TPGImage::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    PicBox->setGeometry(0, 0, 0, 0);
    setGeometry(ALeft, ATop, AWidth, AHeight);
    Arrange(true);
}

void TPGImage::Invalidate() {
    viewport()->update();
    PicBox->update();
    InvalidateTransparentChildren(*viewport());
}

// ---- coordinates

int TPGImage::PictureToPicBoxX(int X) const {
    return ScaleCoordinate(X, PicBox->width(), PixelGraphicWidth);
}

int TPGImage::PictureToPicBoxY(int Y) const {
    return ScaleCoordinate(Y, PicBox->height(), PixelGraphicHeight);
}

int TPGImage::PicBoxToPictureX(int X) const {
    return ScaleCoordinate(X, PixelGraphicWidth, PicBox->width());
}

int TPGImage::PicBoxToPictureY(int Y) const {
    return ScaleCoordinate(Y, PixelGraphicHeight, PicBox->height());
}

TPoint TPGImage::PicBoxToPicture(TPoint P) const {
    return {PicBoxToPictureX(P.X), PicBoxToPictureY(P.Y)};
}

// ---- painting and events

bool TPGImage::event(QEvent* Event) {
    WorkerEventReceived(Event); // before the first read of any event, which may come from a worker
    if (Event->type() == TPGPictureReadyEvent::EventType()) {
        auto* ready = static_cast<TPGPictureReadyEvent*>(Event);
        PaintPixelGraphicReady(ready->Job, std::move(ready->Picture));
        return true;
    }
    if (Event->type() == TPGJobProgressEvent::EventType()) {
        const auto* progress = static_cast<TPGJobProgressEvent*>(Event);
        PaintProgress(progress->Job, progress->Stage, progress->Percent);
        return true;
    }
    if (Event->type() == QEvent::ToolTip && !GetShowHint())
        return true;
    const bool result = QAbstractScrollArea::event(Event);
    if (Event->type() == QEvent::Resize)
        CallGuarded([this] { Arrange(true); });
    return result;
}

bool TPGImage::viewportEvent(QEvent* Event) {
    bool delivered = true; // only mouse handlers can raise
    CallGuarded([&] { delivered = DeliverMouseEvent(Event, viewport()->size(), Clicked, *this); });
    CallGuarded([&] {
        switch (Event->type()) {
        case QEvent::Enter:
            NotePointer(static_cast<QEnterEvent*>(Event)->position().toPoint());
            break;
        case QEvent::MouseMove:
            NotePointer(static_cast<QMouseEvent*>(Event)->position().toPoint());
            break;
        case QEvent::Leave:
            Pointer.reset();
            break;
        default:
            break;
        }
    });
    return delivered || QAbstractScrollArea::viewportEvent(Event);
}

bool TPGImage::eventFilter(QObject* Watched, QEvent* Event) {
    // The paint box's moves reach PicBoxMouseMove; entering it is seen here.
    if (Watched == PicBox && Event->type() == QEvent::Enter)
        CallGuarded([&] {
            NotePointer(PicBox->mapToParent(static_cast<QEnterEvent*>(Event)->position().toPoint()));
        });
    return QAbstractScrollArea::eventFilter(Watched, Event);
}

void TPGImage::contextMenuEvent(QContextMenuEvent* Event) {
    if (PopupMenu)
        PopupMenu->popup(Event->globalPos());
    else
        Event->ignore();
}

bool TPGImage::GetShowHint() const {
    return ParentShowHint ? ParentShowHintOf(this) : ShowHint;
}

void TPGImage::SetShowHint(bool Value) {
    ShowHint = Value;
    ParentShowHint = false;
}

void TPGImage::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseDown)
        OnMouseDown(this, Button, Shift, X, Y);
}

void TPGImage::MouseMove(TShiftState Shift, int X, int Y) {
    if (OnMouseMove)
        OnMouseMove(this, Shift, X, Y);
}

void TPGImage::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseUp)
        OnMouseUp(this, Button, Shift, X, Y);
}

void TPGImage::Click() {
    if (OnClick)
        OnClick(this);
}

void TPGImage::DblClick() {
    if (OnDblClick)
        OnDblClick(this);
}

// ---- property setters

namespace {

// Stores Value in Field and says whether it changed. Display options re-lay out only on a change, since each
// re-layout throws the display copy away.
template <class T> bool StoreChanged(T& Field, T Value) {
    if (Field == Value)
        return false;
    Field = Value;
    return true;
}

} // namespace

void TPGImage::SetActionMode(TActionMode Value) {
    if (StoreChanged(ActionMode, Value))
        Invalidate();
}

void TPGImage::SetAllow24BitStretch(bool Value) {
    if (StoreChanged(Allow24BitStretch, Value))
        PixelGraphicChanged(this);
}

void TPGImage::SetDither(bool Value) {
    if (StoreChanged(Dither, Value))
        PixelGraphicChanged(this);
}

void TPGImage::SetRGBWeighting(bool Value) {
    if (StoreChanged(RGBWeighting, Value))
        PixelGraphicChanged(this);
}

void TPGImage::SetStretchMode(TStretchMode Value) {
    if (StoreChanged(StretchMode, Value))
        PixelGraphicChanged(this);
}

void TPGImage::SetPalette8BitSys24BitGraphic(TPaletteIdent Value) {
    if (StoreChanged(Palette8BitSys24BitGraphic, std::clamp(Value, pBlackWhite, pOptimized252Sys16)))
        PixelGraphicChanged(this);
}

void TPGImage::SetPalette8BitSys8BitGraphic(TPaletteIdent Value) {
    if (StoreChanged(Palette8BitSys8BitGraphic, std::clamp(Value, pBlackWhite, pSource)))
        PixelGraphicChanged(this);
}

// The dither limits matter only while dithering, the auto-size limits only while auto-sizing.
void TPGImage::SetDitherErrorLimit(uint8_t Value) {
    if (StoreChanged(DitherErrorLimit, Value) && Dither)
        PixelGraphicChanged(this);
}

void TPGImage::SetDitherErrorLimitAuto(bool Value) {
    if (StoreChanged(DitherErrorLimitAuto, Value) && Dither)
        PixelGraphicChanged(this);
}

void TPGImage::SetDitherErrorLimitSoft(bool Value) {
    if (StoreChanged(DitherErrorLimitSoft, Value) && Dither)
        PixelGraphicChanged(this);
}

void TPGImage::SetAutoSizeMaxHeight(int Value) {
    if (StoreChanged(AutoSizeMaxHeight, Value) && AutoSize)
        PixelGraphicChanged(this);
}

void TPGImage::SetAutoSizeMinHeight(int Value) {
    if (StoreChanged(AutoSizeMinHeight, Value) && AutoSize)
        PixelGraphicChanged(this);
}

void TPGImage::SetAutoSizeMaxWidth(int Value) {
    if (StoreChanged(AutoSizeMaxWidth, Value) && AutoSize)
        PixelGraphicChanged(this);
}

void TPGImage::SetAutoSizeMinWidth(int Value) {
    if (StoreChanged(AutoSizeMinWidth, Value) && AutoSize)
        PixelGraphicChanged(this);
}

void TPGImage::SetAutoSize(bool Value) {
    // Always lays out, so assigning the same value sizes the viewer to the picture again.
    AutoSize = Value;
    PixelGraphicChanged(this);
}

void TPGImage::SetAutoScroll(bool Value) {
    AutoScroll = Value;
    UpdateScrollBars();
}

void TPGImage::SetBackGroundColor(int Value) {
    BackGroundColor = std::clamp(Value, 0, 0xFFFFFF);
}

void TPGImage::SetBorderStyle(TBorderStyle Value) {
    BorderStyle = Value;
    ApplyFrame();
    Arrange(true);
}

void TPGImage::SetCtl3D(bool Value) {
    Ctl3D = Value;
    ApplyFrame();
    Arrange(true);
}

void TPGImage::SetCenter(bool Value) {
    if (StoreChanged(Center, Value))
        Arrange(true);
}

void TPGImage::SetStretch(TStretch Value) {
    if (StoreChanged(Stretch, Value))
        Arrange(true);
}

void TPGImage::SetZoomFactor(long double Value) {
    if (StoreChanged(ZoomFactor, Value))
        Arrange(true);
}

void TPGImage::SetColor(TColor Value) {
    Color = Value;
    Invalidate();
}

void TPGImage::SetFlipHorizontal(bool Value) {
    if (StoreChanged(FlipHorizontal, Value))
        Invalidate();
}

void TPGImage::SetFlipVertical(bool Value) {
    if (StoreChanged(FlipVertical, Value))
        Invalidate();
}

void TPGImage::SetTiling(TTiling Value) {
    if (StoreChanged(Tiling, Value))
        Invalidate();
}

void TPGImage::SetUseThread(bool Value) {
    if (Value == UseThread)
        return;
    StopPaintThread();
    MarkPaintDirty();
    UseThread = Value;
    Invalidate();
}
