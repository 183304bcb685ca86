// Drawing onto a picture through a shadow image, the flush that brings the drawing into the pixels, and the
// list of canvases that hold a shadow.
#include "image-library/PGCanvas.h"

#include "image-library/PGraphic.h"

#include <QPainter>
#include <QScopeGuard>
#include <algorithm>
#include <cstring>

constinit TPGCanvasList PGCanvasList;

const uint8_t* TPGCanvas::Section() const {
    return Picture ? Picture->Bits.get() : nullptr;
}

void TPGCanvas::LoadShadow() {
    Shadow = Picture->WrapPixels().mirrored(false, true).convertToFormat(QImage::Format_RGB32);
    Written = Shadow.copy();
}

void TPGCanvas::CreateHandle() {
    if (!Picture || HandleAllocated())
        return;
    FreePGCanvasesOf(Section());
    if (!Picture->Bits)
        return;
    LoadShadow();
    PGCanvasList.Add(this);
}

void TPGCanvas::Draw(const std::function<void(QPainter&)>& Paint) {
    if (!Picture)
        return;
    // Earlier drawing reaches the pixels first, so the shadow starts from what they show now, including
    // pixels written directly since.
    Picture->FlushPending();
    if (HandleAllocated())
        LoadShadow();
    else
        CreateHandle();
    QImage nothing(1, 1, QImage::Format_RGB32); // a picture without pixels takes drawing and keeps none
    {
        QPainter painter(HandleAllocated() ? &Shadow : &nothing);
        ActivePainter = &painter;
        const auto inactive = qScopeGuard([this] { ActivePainter = nullptr; });
        Paint(painter);
    }
    Picture->GdiFlushPending = true;
    if (OnChange)
        OnChange(this);
}

void TPGCanvas::Flush() {
    if (!HandleAllocated())
        return;
    TPixelGraphic& p = *Picture;
    p.GdiFlushPending = false; // what this writes is all that was pending
    const bool trueColor = p.BitCountNum == 3;
    if (Shadow.size() != QSize(p.Width, p.Height) || (!trueColor && p.ColorTable.empty()))
        return;
    const size_t rowBytes = size_t(Shadow.width()) * sizeof(QRgb);
    for (int y = 0; y < Shadow.height(); ++y) {
        const QRgb* drawn = reinterpret_cast<const QRgb*>(Shadow.constScanLine(y));
        QRgb* written = reinterpret_cast<QRgb*>(Written.scanLine(y));
        if (std::memcmp(drawn, written, rowBytes) == 0)
            continue;
        for (int x = 0; x < Shadow.width(); ++x) {
            if (drawn[x] == written[x])
                continue;
            written[x] = drawn[x];
            const TColor c = QRgbToColor(drawn[x]);
            p.SetPixelValue(x, y, trueColor ? c : uint32_t(p.ColorToIndex(c)));
        }
    }
}

void TPGCanvas::FreeHandle() {
    if (!HandleAllocated())
        return;
    if (ActivePainter)
        ActivePainter->end(); // the picture is changing under a drawing: it must not paint into freed memory
    Flush();
    Shadow = QImage();
    Written = QImage();
    PGCanvasList.Remove(this);
}

void TPGCanvasList::Add(TPGCanvas* Canvas) {
    const std::lock_guard guard(Lock);
    Canvases.push_back(Canvas);
}

void TPGCanvasList::Remove(TPGCanvas* Canvas) {
    const std::lock_guard guard(Lock);
    std::erase(Canvases, Canvas);
}

std::vector<TPGCanvas*> TPGCanvasList::Items() const {
    const std::lock_guard guard(Lock);
    return Canvases;
}

void FreeAllPGCanvases() {
    for (auto items = PGCanvasList.Items(); !items.empty(); items = PGCanvasList.Items())
        items.front()->FreeHandle();
}

void FreePGCanvasesOf(const uint8_t* Section) {
    const std::vector<TPGCanvas*> items = PGCanvasList.Items();
    for (auto c = items.rbegin(); c != items.rend(); ++c)
        if ((*c)->GetPicture() && (*c)->Section() == Section)
            (*c)->FreeHandle();
}
