// The viewer's display copy and painting: deciding on and starting the copy, taking its results, and
// painting margins, tiles, flips, the empty frame and the progress clock.
#include "framework/ErrorBox.h"
#include "framework/Rounding.h"
#include "framework/ScreenCaps.h"
#include "image-library/widgets/PGImage.h"
#include "image-library/widgets/PGPaintThread.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScopeGuard>
#include <cmath>
#include <numbers>

namespace {

// A picture of the given format, or of the fallback size when that cannot be made (memory, size).
void SetFormatOr(TPixelGraphic& Picture, int Width, int Height, int FallbackWidth, int FallbackHeight) {
    const uint8_t bits = Picture.GetBitCountNum();
    try {
        Picture.SetFormat(Width, Height, bits);
        return;
    } catch (...) {
    }
    try {
        Picture.SetFormat(FallbackWidth, FallbackHeight, bits);
        return;
    } catch (...) {
    }
    Picture.SetFormat(1, 1, bits);
}

// The system's Rectangle and Ellipse take exclusive right and bottom edges; Qt's outlines include them.
QRect OutlineRect(int Left, int Top, int Right, int Bottom) {
    return QRect(Left, Top, Right - Left - 1, Bottom - Top - 1);
}

constexpr int ClockSize = 15;

} // namespace

// ---- the display copy

bool TPGImage::PreparePaintPixelGraphic() {
    const int boxWidth = PicBox->width();
    const int boxHeight = PicBox->height();
    if (StretchMode != smFast && !ReduceOnLoad && (PaintWidth != boxWidth || PaintHeight != boxHeight) &&
        !PaintPixelGraphicDirty)
        MarkPaintDirty();
    const int depth = ScreenBitsPerPixel();
    bool need = false;
    bool sizeDiffers = false;
    if (PixelGraphic) {
        const int bits = PixelGraphic->GetBitCount();
        sizeDiffers =
            StretchMode != smFast && (boxWidth != PixelGraphicWidth || boxHeight != PixelGraphicHeight);
        need = (bits > depth && depth <= 8) || sizeDiffers;
        if (bits <= 8 && depth <= 8 && !need) {
            const TPaletteIdent ident = PixelGraphic->GetPaletteIdent();
            const bool screenHolds =
                depth == 4 ? ident == pSys16
                           : Palette8BitSys8BitGraphic == pSource || Palette8BitSys8BitGraphic == ident;
            need = !screenHolds && (!ReduceOnLoad || PaintPixelGraphicDirty);
        }
    }
    // The worker never touches a copy it handed over, so a stale one is freed without stopping it.
    if (PaintPixelGraphic && (!need || (PaintPixelGraphicDirty && !(KeepOldPaintPixelGraphic && UseThread))))
        PaintPixelGraphic.reset();
    if (!need || PaintCopyFailed)
        return false;
    if (!PaintPixelGraphicDirty && (PaintPixelGraphic || PaintJobInFlight))
        return true;
    StartPaintJob(depth, sizeDiffers);
    // An inline reduction has replaced the picture: decide again for the reduced one.
    if (!UseThread && PaintJobReduces && !PaintCopyFailed)
        return PreparePaintPixelGraphic();
    return true;
}

void TPGImage::StartPaintJob(int ScreenBits, bool SizeDiffers) {
    try {
        StopPaintThread();
        if (PaintPixelGraphic && !(KeepOldPaintPixelGraphic && UseThread))
            PaintPixelGraphic.reset();
        ProgressStage = 1;
        ProgressPercent = 0;
        CancelPaintJob();
        // The new worker replaces the old one only once it exists.
        PaintThread = UseThread ? CreateThread<TCreatePaintPGThread>(true, false)
                                : CreateThread<TCreatePaintPGThread>(false, true);
        TCreatePaintPGThread& worker = *PaintThread;
        const TPGJobId job = PaintJob;
        worker.Job = job;
        worker.PostMessages = UseThread;
        if (!UseThread)
            worker.OnReady = [this, job](std::unique_ptr<TPixelGraphic> Picture) {
                PaintPixelGraphicReady(job, std::move(Picture));
            };
        worker.Window = this;
        worker.Source = PixelGraphic.get();
        const auto progress = [&worker](TObject* Sender, int Step, int Max, bool& Abort) {
            worker.Progress(Sender, Step, Max, Abort);
        };
        const int boxWidth = PicBox->width();
        const int boxHeight = PicBox->height();
        // A reduction replaces the picture, so it keeps the picture's size whatever the stretch mode.
        const bool reduces = ReduceOnLoad && ReducePending;

        TPixelGraphic* intermediate = PixelGraphic.get();
        if (!reduces && Allow24BitStretch && SizeDiffers && ScreenBits == 8 &&
            Palette8BitSys24BitGraphic == pOptimized252Sys16) {
            worker.Intermediate = std::make_unique<TPixelGraphic>();
            SetFormatOr(*worker.Intermediate, boxWidth, boxHeight, 1, 1);
            worker.Intermediate->SetStretchMode(StretchMode);
            worker.Intermediate->SetOnProgress(progress);
            worker.PreStretch = true;
            intermediate = worker.Intermediate.get();
        }

        worker.Target = std::make_unique<TPixelGraphic>();
        TPixelGraphic& target = *worker.Target;
        target.SetOnProgress(progress);
        if (ScreenBits < 8) {
            target.SetBitCountNum(1);
            target.SetPaletteIdent(pSys16);
        } else if (ScreenBits > 8) {
            target.SetBitCountNum(3);
        } else {
            target.SetBitCountNum(2);
            const bool trueColor = intermediate->GetBitCountNum() == 3;
            const TPaletteIdent wanted = trueColor ? Palette8BitSys24BitGraphic : Palette8BitSys8BitGraphic;
            if (wanted < pOptimized252Sys16)
                target.SetPaletteIdent(wanted);
            else if (wanted == pOptimized252Sys16)
                worker.OptimizedPalette = true;
            else
                target.CopyPalette(intermediate);
        }

        if (reduces || StretchMode == smFast) {
            SetFormatOr(target, PixelGraphicWidth, PixelGraphicHeight, 1, 1);
            PaintWidth = PixelGraphicWidth;
            PaintHeight = PixelGraphicHeight;
        } else {
            // A box too large for memory (a large zoom) still gets a copy at the picture's own size.
            SetFormatOr(target, boxWidth, boxHeight, PixelGraphicWidth, PixelGraphicHeight);
            PaintWidth = boxWidth;
            PaintHeight = boxHeight;
        }
        target.SetStretchMode(StretchMode);
        target.SetDither(Dither);
        target.SetDitherErrorLimit(DitherErrorLimit);
        target.SetDitherErrorLimitAuto(DitherErrorLimitAuto);
        target.SetDitherErrorLimitSoft(DitherErrorLimitSoft);
        target.SetWeightedGray(RGBWeighting);

        // Canvas drawing still pending on the picture is written back here, on the GUI thread: the worker
        // only reads.
        (void)PixelGraphic->GetBits();
        PaintPixelGraphicDirty = false;
        PaintJobReduces = reduces;
        PaintJobInFlight = true;
        if (UseThread)
            worker.Resume();
        else
            worker.MakePaintPixelGraphic();
    } catch (...) {
        // A job that cannot be set up counts as failed: the picture is painted itself.
        PaintPixelGraphicDirty = false;
        PaintJobInFlight = false;
        PaintCopyFailed = true;
    }
}

void TPGImage::PaintPixelGraphicReady(TPGJobId Job, std::unique_ptr<TPixelGraphic> Picture) {
    if (Job != PaintJob || !PaintJobInFlight)
        return; // stale: the copy is freed here, never shown
    // The worker posts before it has quite finished; nothing it used is freed or replaced before it ends.
    PaintThread->WaitFor();
    PaintJobInFlight = false;
    PaintJobReported = false;
    if (!Picture) {
        PaintCopyFailed = true;
    } else if (PaintJobReduces) {
        ReducePending = false;
        PaintPixelGraphic.reset();
        HookGraphicEvents(Picture.get(), true);
        PixelGraphic = std::move(Picture);
    } else {
        PaintPixelGraphic = std::move(Picture);
    }
    Invalidate();
}

void TPGImage::PaintProgress(TPGJobId Job, int Stage, int Percent) {
    if (Job != PaintJob || !PaintJobInFlight)
        return;
    ProgressStage = Stage;
    ProgressPercent = Percent;
    PaintJobReported = true;
    // At once: only the clocks are painted again, over the empty frame or the old copy.
    QRegion clocks;
    if (ProgressClockVisible)
        for (const QPoint& p : ProgressClockPositions())
            clocks += QRect(p, QSize(ClockSize, ClockSize));
    if (clocks.isEmpty())
        return;
    if (Canvas)
        viewport()->update(clocks); // a repaint asked for inside a paint waits for the next one
    else
        viewport()->repaint(clocks);
}

QVector<QRgb> TPGImage::GetPalette() {
    TPixelGraphic* s = PreparePaintPixelGraphic() ? PaintPixelGraphic.get() : PixelGraphic.get();
    if (!s)
        return {};
    const TPaletteIdent ident = s->GetPaletteIdent();
    if (ident == pBlackWhite || ident == pSysGray4 || ident == pSys16)
        return {};
    return s->GetPalette();
}

// ---- painting

void TPGImage::paintEvent(QPaintEvent* Event) {
    QPainter painter(viewport());
    Canvas = &painter;
    PaintClip = Event->rect();
    const auto done = qScopeGuard([this] { Canvas = nullptr; });
    CallGuarded([this] { PaintSurface(); }, true);
}

void TPGImage::PaintSurface() {
    if (Arranging)
        return;
    if (OnPainting)
        OnPainting(this);
    const auto painted = qScopeGuard([this] {
        if (OnPaint)
            CallGuarded([this] { OnPaint(this); }, true);
    });
    // Taken after OnPainting, which may have replaced the picture.
    TPixelGraphic* s = PreparePaintPixelGraphic() ? PaintPixelGraphic.get() : PixelGraphic.get();
    const QRect box = PicBox->geometry();
    Canvas->setRenderHint(QPainter::Antialiasing, false);
    if (Tiling == tNone || !s || box.isEmpty()) {
        const QRegion margins = QRegion(0, 0, ClientWidth(), ClientHeight()) - box;
        for (const QRect& r : margins)
            Canvas->fillRect(r, ColorToQColor(Color));
    }
    if (s) {
        DrawTiles(*s, box);
        // A kept copy stays on screen while its successor is made; the clock then shows over it.
        if (s == PaintPixelGraphic.get() && PaintJobInFlight && PaintJobReported)
            DrawProgressClock();
    } else {
        Canvas->setPen(QPen(ColorToQColor(PicBoxFrameColor), 1));
        Canvas->setBrush(ColorToQColor(PicBox->GetColor()));
        if (!box.isEmpty())
            Canvas->drawRect(
                OutlineRect(box.left(), box.top(), box.left() + box.width(), box.top() + box.height()));
        DrawProgressClock();
    }
}

void TPGImage::DrawTiles(TPixelGraphic& S, const QRect& Box) {
    const int w = Box.width();
    const int h = Box.height();
    if (w <= 0 || h <= 0)
        return; // no tiles for a box without area
    const int64_t boxRight = int64_t(Box.x()) + w;
    const int64_t boxBottom = int64_t(Box.y()) + h;
    const int64_t clientRight = ClientWidth();
    const int64_t clientBottom = ClientHeight();
    int64_t r0 = 0, r1 = 0, c0 = 0, c1 = 0;
    if (Tiling != tNone) {
        // Division truncates toward zero: the first row reaching below y = 0, the last starting inside.
        if (Box.y() > 0)
            r0 = (1 - boxBottom) / h;
        if (clientBottom > boxBottom)
            r1 = (clientBottom - boxBottom + h - 1) / h;
        if (Box.x() > 0)
            c0 = (1 - boxRight) / w;
        if (clientRight > boxRight)
            c1 = (clientRight - boxRight + w - 1) / w;
    }
    const bool mirrorColumns = Tiling == tMirrorHorizontal || Tiling == tMirror;
    const bool mirrorRows = Tiling == tMirrorVertical || Tiling == tMirror;
    const int64_t clipLeft = PaintClip.x(), clipTop = PaintClip.y();
    const int64_t clipRight = clipLeft + PaintClip.width(), clipBottom = clipTop + PaintClip.height();
    bool drawn = false;
    for (int64_t r = r0; r <= r1; ++r)
        for (int64_t c = c0; c <= c1; ++c) {
            const int64_t left = Box.x() + c * w, top = Box.y() + r * h;
            const int64_t right = left + w, bottom = top + h;
            if (bottom < clipTop || right < clipLeft || top > clipBottom || left > clipRight)
                continue;
            // Odd indices, negative ones included, toggle the mirror of their axis.
            const bool mh = FlipHorizontal != (mirrorColumns && (c & 1) != 0);
            const bool mv = FlipVertical != (mirrorRows && (r & 1) != 0);
            // A reversed rectangle draws the picture mirrored along that axis, straight from S.
            const TRect rect{int(mh ? right : left), int(mv ? bottom : top), int(mh ? left : right),
                             int(mv ? top : bottom)};
            // The palette would be selected for the first draw only.
            S.SkipRealizePalette = drawn;
            drawn = true;
            S.Draw(*Canvas, rect);
        }
}

std::vector<QPoint> TPGImage::ProgressClockPositions() const {
    const QRect box = PicBox->geometry();
    const int left = box.x(), top = box.y(), w = box.width(), h = box.height();
    std::vector<QPoint> positions;
    if (w > 20 && h > 20)
        positions.emplace_back(left + w / 2 - 7, top + h / 2 - 7);
    if (Progress5Clocks && w > 100 && h > 100) {
        const int right = left + w, bottom = top + h;
        positions.emplace_back(left + 5, top + 5);
        positions.emplace_back(right - 20, top + 5);
        positions.emplace_back(left + 5, bottom - 20);
        positions.emplace_back(right - 20, bottom - 20);
    }
    return positions;
}

void TPGImage::DrawProgressClock() {
    if (!ProgressClockVisible)
        return;
    // Angle 0 points up and angles grow clockwise; the short hand moves a twelfth of a turn per stage.
    const long double longAngle = ProgressPercent * std::numbers::pi_v<long double> * 0.02L;
    const long double shortAngle =
        ((ProgressStage - 1) * 2 * std::numbers::pi_v<long double> + longAngle) / 12;
    Canvas->setRenderHint(QPainter::Antialiasing, false);
    Canvas->setPen(QPen(ColorToQColor(ProgressClockLineColor), 1));
    Canvas->setBrush(ColorToQColor(ProgressClockBkColor));
    for (const QPoint& p : ProgressClockPositions()) {
        const int x = p.x(), y = p.y();
        Canvas->drawEllipse(OutlineRect(x, y, x + ClockSize, y + ClockSize));
        const QPoint centre(x + 7, y + 7);
        Canvas->drawLine(centre, QPoint(x + 7 + int(Round(std::sin(shortAngle) * 6)),
                                        y + 7 - int(Round(std::cos(shortAngle) * 6))));
        Canvas->drawLine(centre, QPoint(x + 7 + int(Round(std::sin(longAngle) * 7)),
                                        y + 7 - int(Round(std::cos(longAngle) * 7))));
    }
}

// ---- mirrored pictures

namespace {

std::unique_ptr<TPixelGraphic> Flipped(const TPixelGraphic& Picture, bool Horizontal, bool Vertical) {
    auto result = std::make_unique<TPixelGraphic>();
    if (Picture.GetWidth() <= 0 || Picture.GetHeight() <= 0)
        return result;
    result->Assign(&Picture);
    if (Horizontal)
        result->MirrorHorizontal();
    if (Vertical)
        result->MirrorVertical();
    return result;
}

} // namespace

std::unique_ptr<TPixelGraphic> TPGImage::FlipPixelGraphicHorizontal(const TPixelGraphic& Picture) {
    return Flipped(Picture, true, false);
}

std::unique_ptr<TPixelGraphic> TPGImage::FlipPixelGraphicVertical(const TPixelGraphic& Picture) {
    return Flipped(Picture, false, true);
}

std::unique_ptr<TPixelGraphic> TPGImage::FlipPixelGraphicBoth(const TPixelGraphic& Picture) {
    return Flipped(Picture, true, true);
}
