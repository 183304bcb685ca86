// Controls that paint over pictures: a label, radio button, check box, group box, panel and bevel that fill
// no background of their own (while Transparent), so whatever their parent draws shows through them.
#pragma once

#include "framework/Colors.h"
#include "framework/SystemColors.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

namespace PGControlTypes {
Q_NAMESPACE
enum TPanelBevel { bvNone, bvLowered, bvRaised };
Q_ENUM_NS(TPanelBevel)
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
Q_ENUM_NS(TAlignment)
enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
Q_ENUM_NS(TBevelShape)
enum TBevelStyle { bsLowered, bsRaised };
Q_ENUM_NS(TBevelStyle)
} // namespace PGControlTypes
using PGControlTypes::TAlignment;
using PGControlTypes::TBevelShape;
using PGControlTypes::TBevelStyle;
using PGControlTypes::TPanelBevel;
using enum PGControlTypes::TAlignment;
using enum PGControlTypes::TBevelShape;
using enum PGControlTypes::TBevelStyle;
using enum PGControlTypes::TPanelBevel;

// What the six controls share. Qt paints a child after its parent into the same backing store, so a control
// without background shows the parent; invalidating it must repaint the parent beneath it too.
class TPGControl {
public:
    virtual ~TPGControl() = default;
    // Repaints the control's rectangle on its parent (the whole parent when that is itself a transparent
    // control of this kind), then the control.
    virtual void Invalidate() = 0;
    // Invalidates first, so the area the control leaves is repainted.
    virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) = 0;
    virtual bool IsTransparent() const = 0;
    // True only while this control's Invalidate invalidates its parent: the parent, invalidating its
    // transparent children, must not come back up.
    bool InvalidatingParent = false;
};

// A label or the four windowed controls' Transparent; True for a bevel; False for any other control.
bool IsTransparentPGControl(const QObject* Control);
// Invalidates every direct child of Parent for which IsTransparentPGControl holds, in child order, without
// letting them invalidate Parent back.
void InvalidateTransparentChildren(QWidget& Parent);

// The common part of the five controls with a Transparent property and a Color that fills them without it.
template <class Base> class TPGControlOf : public Base, public TPGControl {
public:
    explicit TPGControlOf(QWidget* Parent) : Base(Parent) {
        // Buttons fill with the button role; all of these fill with Color, kept in the window role.
        this->setBackgroundRole(QPalette::Window);
        this->setAutoFillBackground(false);
    }
    void Invalidate() override;
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override {
        Invalidate();
        this->setGeometry(ALeft, ATop, AWidth, AHeight);
    }
    bool IsTransparent() const override { return Transparent; }
    bool GetTransparent() const { return Transparent; }
    void SetTransparent(bool Value) {
        if (Value == Transparent)
            return;
        Transparent = Value;
        this->setAutoFillBackground(!Transparent);
        Invalidate();
    }
    TColor GetColor() const { return Color; }
    void SetColor(TColor Value) {
        Color = Value;
        QPalette palette = this->palette();
        palette.setColor(QPalette::Window, ColorToQColor(Color));
        this->setPalette(palette);
        this->update();
    }

protected:
    // Group boxes and panels invalidate their transparent children after themselves.
    virtual bool InvalidatesChildren() const { return false; }

private:
    bool Transparent = true;
    TColor Color = clBtnFace;
};

class TPGLabel : public TPGControlOf<QLabel> {
    Q_OBJECT
    Q_PROPERTY(bool Transparent READ GetTransparent WRITE SetTransparent)
    Q_PROPERTY(TColor Color READ GetColor WRITE SetColor)
public:
    explicit TPGLabel(QWidget* Parent = nullptr) : TPGControlOf(Parent) {}
};

class TPGRadioButton : public TPGControlOf<QRadioButton> {
    Q_OBJECT
    Q_PROPERTY(bool Transparent READ GetTransparent WRITE SetTransparent)
    Q_PROPERTY(TColor Color READ GetColor WRITE SetColor)
public:
    explicit TPGRadioButton(QWidget* Parent = nullptr) : TPGControlOf(Parent) {}
};

class TPGCheckBox : public TPGControlOf<QCheckBox> {
    Q_OBJECT
    Q_PROPERTY(bool Transparent READ GetTransparent WRITE SetTransparent)
    Q_PROPERTY(TColor Color READ GetColor WRITE SetColor)
public:
    explicit TPGCheckBox(QWidget* Parent = nullptr) : TPGControlOf(Parent) {}
};

// The caption is the title; the frame is drawn by PaintGroupBox, starting half a text line down.
class TPGGroupBox : public TPGControlOf<QGroupBox> {
    Q_OBJECT
    Q_PROPERTY(bool Transparent READ GetTransparent WRITE SetTransparent)
    Q_PROPERTY(TColor Color READ GetColor WRITE SetColor)
    Q_PROPERTY(bool Ctl3D MEMBER Ctl3D)
public:
    explicit TPGGroupBox(QWidget* Parent = nullptr) : TPGControlOf(Parent) {}
    // Without Transparent the control is filled in Color first and the caption has Color behind it.
    static void PaintGroupBox(QPainter& Canvas, const QWidget& Control, const QString& Text, bool Ctl3D,
                              TColor Color, bool Transparent);
    bool Ctl3D = true;

protected:
    bool InvalidatesChildren() const override { return true; }
    void paintEvent(QPaintEvent* Event) override;
};

// A panel: outer bevel, a border of BorderWidth in Color, inner bevel, each bevel BevelWidth wide, and the
// caption placed by Alignment. Transparent, it paints only the caption and the border area.
class TPGPanel : public TPGControlOf<QFrame> {
    Q_OBJECT
    Q_PROPERTY(bool Transparent READ GetTransparent WRITE SetTransparent)
    Q_PROPERTY(TColor Color READ GetColor WRITE SetColor)
    Q_PROPERTY(QString Caption MEMBER Caption)
    Q_PROPERTY(TAlignment Alignment MEMBER Alignment)
    Q_PROPERTY(TPanelBevel BevelInner MEMBER BevelInner)
    Q_PROPERTY(TPanelBevel BevelOuter MEMBER BevelOuter)
    Q_PROPERTY(int BevelWidth MEMBER BevelWidth)
    Q_PROPERTY(int BorderWidth MEMBER BorderWidth)
public:
    explicit TPGPanel(QWidget* Parent = nullptr) : TPGControlOf(Parent) {}
    QString Caption;
    TAlignment Alignment = taCenter;
    TPanelBevel BevelInner = bvNone;
    TPanelBevel BevelOuter = bvRaised;
    int BevelWidth = 1;
    int BorderWidth = 0;

protected:
    bool InvalidatesChildren() const override { return true; }
    void paintEvent(QPaintEvent* Event) override;

private:
    // The bevels and the border from the outside in; returns what lies inside them.
    QRect PaintBorders(QPainter& Canvas) const;
    void PaintCaption(QPainter& Canvas, const QRect& Row) const;
};

// A bevelled box, frame or line; it never fills anything and always counts as transparent.
class TPGBevel : public QWidget, public TPGControl {
    Q_OBJECT
    Q_PROPERTY(TBevelShape Shape MEMBER Shape)
    Q_PROPERTY(TBevelStyle Style MEMBER Style)
public:
    explicit TPGBevel(QWidget* Parent = nullptr) : QWidget(Parent) {}
    void Invalidate() override;
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    bool IsTransparent() const override { return true; }
    TBevelShape Shape = bsBox;
    TBevelStyle Style = bsLowered;

protected:
    void paintEvent(QPaintEvent* Event) override;
};

// Steps 1 and 2 of every control's Invalidate: the parent beneath, then the control itself.
void InvalidatePGControl(QWidget& Control, TPGControl& State);

template <class Base> void TPGControlOf<Base>::Invalidate() {
    InvalidatePGControl(*this, *this);
    if (InvalidatesChildren())
        InvalidateTransparentChildren(*this);
}
