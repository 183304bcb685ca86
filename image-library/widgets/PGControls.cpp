// Invalidation through the parent and the painting Qt's widgets lack: the panel's bevels and border, the
// group box's frame and caption, and the bevel.
#include "image-library/widgets/PGControls.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScopeGuard>

namespace {

// The one-pixel rings of a bevel from the outside in, each shrinking R: the top row and the left column in
// Light, the right column and the bottom row (with the two corners they reach) in Dark.
void Frame3D(QPainter& Canvas, QRect& R, const QColor& Light, const QColor& Dark, int Width) {
    for (int i = 0; i < Width && R.width() > 0 && R.height() > 0; ++i) {
        Canvas.fillRect(QRect(R.left(), R.top(), R.width() - 1, 1), Light);
        Canvas.fillRect(QRect(R.left(), R.top(), 1, R.height() - 1), Light);
        Canvas.fillRect(QRect(R.right(), R.top(), 1, R.height()), Dark);
        Canvas.fillRect(QRect(R.left(), R.bottom(), R.width(), 1), Dark);
        R.adjust(1, 1, -1, -1);
    }
}

// Raised bevels are light at the top left, lowered ones dark there.
void BevelFrame(QPainter& Canvas, QRect& R, TPanelBevel Bevel, int Width) {
    if (Bevel == bvNone)
        return;
    const QColor light = ColorToQColor(clBtnHighlight);
    const QColor dark = ColorToQColor(clBtnShadow);
    if (Bevel == bvRaised)
        Frame3D(Canvas, R, light, dark, Width);
    else
        Frame3D(Canvas, R, dark, light, Width);
}

// FrameRect: the one-pixel outline of R, whose right and bottom edges are exclusive like the system's.
void FrameRect(QPainter& Canvas, int Left, int Top, int Right, int Bottom, const QColor& Color) {
    if (Right <= Left || Bottom <= Top)
        return;
    Canvas.fillRect(QRect(Left, Top, Right - Left, 1), Color);
    Canvas.fillRect(QRect(Left, Bottom - 1, Right - Left, 1), Color);
    Canvas.fillRect(QRect(Left, Top, 1, Bottom - Top), Color);
    Canvas.fillRect(QRect(Right - 1, Top, 1, Bottom - Top), Color);
}

} // namespace

bool IsTransparentPGControl(const QObject* Control) {
    const auto* control = dynamic_cast<const TPGControl*>(Control);
    return control && control->IsTransparent();
}

void InvalidateTransparentChildren(QWidget& Parent) {
    for (QObject* child : Parent.children()) {
        if (!IsTransparentPGControl(child))
            continue;
        // The parent is being invalidated already. A child that invalidated it back would have it invalidate
        // all its children again, each of which would do the same: with n children n! invalidations.
        auto* control = dynamic_cast<TPGControl*>(child);
        const bool invalidating = control->InvalidatingParent;
        control->InvalidatingParent = true;
        const auto reset = qScopeGuard([&] { control->InvalidatingParent = invalidating; });
        control->Invalidate();
    }
}

void InvalidatePGControl(QWidget& Control, TPGControl& State) {
    QWidget* parent = Control.parentWidget();
    if (!State.InvalidatingParent && parent) {
        if (IsTransparentPGControl(parent)) {
            State.InvalidatingParent = true;
            const auto reset = qScopeGuard([&] { State.InvalidatingParent = false; });
            dynamic_cast<TPGControl*>(parent)->Invalidate();
        } else {
            parent->update(Control.geometry());
        }
    }
    Control.update();
}

// ---- the group box

void TPGGroupBox::PaintGroupBox(QPainter& Canvas, const QWidget& Control, const QString& Text, bool Ctl3D,
                                TColor Color, bool Transparent) {
    Canvas.setFont(Control.font());
    const QFontMetrics metrics(Control.font());
    const int h = metrics.height();
    const int width = Control.width();
    const int height = Control.height();
    QRegion clip(Control.rect());
    if (!Text.isEmpty()) {
        const QRect r(8, 0, metrics.horizontalAdvance(Text), h);
        Canvas.setPen(Control.palette().color(QPalette::WindowText));
        Canvas.setBackgroundMode(Transparent ? Qt::TransparentMode : Qt::OpaqueMode);
        Canvas.setBackground(ColorToQColor(Color));
        Canvas.drawText(r, Qt::TextSingleLine, Text);
        // The frame does not cross the caption.
        clip -= r.adjusted(-1, 0, 1, 0);
        Canvas.setClipRegion(clip);
    }
    if (!Transparent)
        Canvas.fillRect(Control.rect(), ColorToQColor(Color));
    const int top = h / 2 - 1;
    if (Ctl3D) {
        FrameRect(Canvas, 1, top + 1, width, height, ColorToQColor(clBtnHighlight));
        FrameRect(Canvas, 0, top, width - 1, height - 1, ColorToQColor(clBtnShadow));
    } else {
        FrameRect(Canvas, 0, top, width, height, ColorToQColor(clWindowFrame));
    }
}

void TPGGroupBox::paintEvent(QPaintEvent*) {
    QPainter canvas(this);
    PaintGroupBox(canvas, *this, title(), Ctl3D, GetColor(), GetTransparent());
}

// ---- the panel

QRect TPGPanel::PaintBorders(QPainter& Canvas) const {
    QRect r = rect();
    BevelFrame(Canvas, r, BevelOuter, BevelWidth);
    const QColor color = ColorToQColor(GetColor());
    Frame3D(Canvas, r, color, color, BorderWidth);
    BevelFrame(Canvas, r, BevelInner, BevelWidth);
    return r;
}

void TPGPanel::PaintCaption(QPainter& Canvas, const QRect& Row) const {
    static constexpr Qt::Alignment alignments[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter};
    Canvas.setFont(font());
    Canvas.setPen(palette().color(QPalette::WindowText));
    // The caption's line, centred vertically in Row as the class library's panels do.
    const int h = QFontMetrics(font()).height();
    const int top = (Row.top() + Row.top() + Row.height() - h) / 2;
    Canvas.drawText(QRect(Row.left(), top, Row.width(), h),
                    int(alignments[Alignment] | Qt::AlignVCenter) | Qt::TextExpandTabs, Caption);
}

void TPGPanel::paintEvent(QPaintEvent*) {
    QPainter canvas(this);
    if (!GetTransparent()) {
        const QRect inside = PaintBorders(canvas);
        canvas.fillRect(inside, ColorToQColor(GetColor()));
        PaintCaption(canvas, inside);
        return;
    }
    // The caption first, over the whole width; then only the border area, leaving the inside to the parent.
    PaintCaption(canvas, rect());
    QRect inside = rect();
    const int bevels = (BevelInner != bvNone ? BevelWidth : 0) + (BevelOuter != bvNone ? BevelWidth : 0);
    inside.adjust(bevels + BorderWidth, bevels + BorderWidth, -bevels - BorderWidth, -bevels - BorderWidth);
    canvas.setClipRegion(QRegion(rect()) - inside);
    PaintBorders(canvas);
}

// ---- the bevel

void TPGBevel::Invalidate() {
    InvalidatePGControl(*this, *this);
}

void TPGBevel::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    Invalidate();
    setGeometry(ALeft, ATop, AWidth, AHeight);
}

void TPGBevel::paintEvent(QPaintEvent*) {
    QPainter canvas(this);
    // Lowered: dark at the top left and light at the bottom right; raised the other way round.
    QColor first = ColorToQColor(clBtnShadow);
    QColor second = ColorToQColor(clBtnHighlight);
    if (Style == bsRaised)
        std::swap(first, second);
    const int w = width();
    const int h = height();
    // A bevelled outline of the pixels (L..R, T..B), both ends included: top row and left column in the first
    // colour, right column and bottom row in the second.
    const auto bevelRect = [&](int L, int T, int R, int B, const QColor& TopLeft, const QColor& BottomRight) {
        canvas.fillRect(QRect(L, T, 1, B - T + 1), TopLeft);
        canvas.fillRect(QRect(L, T, R - L, 1), TopLeft);
        canvas.fillRect(QRect(R, T, 1, B - T), BottomRight);
        canvas.fillRect(QRect(L + 1, B, R - L, 1), BottomRight);
    };
    switch (Shape) {
    case bsBox:
        bevelRect(0, 0, w - 1, h - 1, first, second);
        break;
    case bsFrame:
        bevelRect(1, 1, w - 1, h - 1, second, second);
        bevelRect(0, 0, w - 2, h - 2, first, first);
        break;
    case bsTopLine:
        canvas.fillRect(QRect(0, 0, w, 1), first);
        canvas.fillRect(QRect(0, 1, w, 1), second);
        break;
    case bsBottomLine:
        canvas.fillRect(QRect(0, h - 2, w, 1), first);
        canvas.fillRect(QRect(0, h - 1, w, 1), second);
        break;
    case bsLeftLine:
        canvas.fillRect(QRect(0, 0, 1, h), first);
        canvas.fillRect(QRect(1, 0, 1, h), second);
        break;
    case bsRightLine:
        canvas.fillRect(QRect(w - 2, 0, 1, h), first);
        canvas.fillRect(QRect(w - 1, 0, 1, h), second);
        break;
    case bsSpacer:
        break;
    }
}
