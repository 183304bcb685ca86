// TPGImage: the picture viewer control. It owns one TPixelGraphic and shows it in the rectangle of its child
// paint box, which its layout sizes by stretch and zoom and places by centring inside a scrolling area.
// Controls placed on a viewer belong to its viewport(), so that they scroll with the picture.
#pragma once

#include "framework/Colors.h"
#include "framework/Controls.h"
#include "framework/SystemColors.h"
#include "image-library/PGraphic.h"
#include "image-library/widgets/PGWorkerEvents.h"
#include "image-library/widgets/PicBox.h"

#include <QAbstractScrollArea>
#include <QBrush>
#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <array>
#include <climits>
#include <memory>
#include <optional>
#include <vector>

class TCreatePaintPGThread;

class TPGImage : public QAbstractScrollArea, public TObject, private TMouseReceiver {
    Q_OBJECT

public:
    // What the left mouse button does on the picture.
    enum TActionMode {
        amMoveImage,
        amMoveResizeCreateSelection,
        amMoveSelection,
        amMoveSelectionMoveImage,
        amCreateSelection,
        amNone
    };
    Q_ENUM(TActionMode)
    // How the picture is fitted to the control; KAR keeps the aspect ratio.
    enum TStretch {
        sNeverKAR,
        sAlways,
        sAlwaysKAR,
        sShrink,
        sShrinkKAR,
        sEnlarge,
        sEnlargeKAR,
        sAlwaysLongerEdgeKAR,
        sShrinkLongerEdgeKAR,
        sEnlargeShrinkLongerEdgeKAR,
        sEnlargeLongerEdgeKAR,
        sZoomKAR
    };
    Q_ENUM(TStretch)
    enum TTiling { tNone, tRepeat, tMirrorHorizontal, tMirrorVertical, tMirror };
    Q_ENUM(TTiling)
    enum TBorderStyle { bsNone, bsSingle };
    Q_ENUM(TBorderStyle)

    using TPGINewAutoSizeEvent = std::function<void(TObject* Sender, int PGImageWidth, int PGImageHeight)>;
    // CursorHandle is a cursor the handler may replace.
    using TPGSetCursorEvent = std::function<void(TObject* Sender, QCursor& CursorHandle)>;

private:
    // The published properties, in the order forms know them.
    Q_PROPERTY(TActionMode ActionMode READ GetActionMode WRITE SetActionMode)
    Q_PROPERTY(bool Allow24BitStretch READ GetAllow24BitStretch WRITE SetAllow24BitStretch)
    Q_PROPERTY(bool AutoScroll READ GetAutoScroll WRITE SetAutoScroll)
    Q_PROPERTY(bool AutoSize READ GetAutoSize WRITE SetAutoSize)
    Q_PROPERTY(int AutoSizeMaxHeight READ GetAutoSizeMaxHeight WRITE SetAutoSizeMaxHeight)
    Q_PROPERTY(int AutoSizeMinHeight READ GetAutoSizeMinHeight WRITE SetAutoSizeMinHeight)
    Q_PROPERTY(int AutoSizeMaxWidth READ GetAutoSizeMaxWidth WRITE SetAutoSizeMaxWidth)
    Q_PROPERTY(int AutoSizeMinWidth READ GetAutoSizeMinWidth WRITE SetAutoSizeMinWidth)
    Q_PROPERTY(int BackGroundColor READ GetBackGroundColor WRITE SetBackGroundColor)
    Q_PROPERTY(TBorderStyle BorderStyle READ GetBorderStyle WRITE SetBorderStyle)
    Q_PROPERTY(bool Center READ GetCenter WRITE SetCenter)
    Q_PROPERTY(TColor Color READ GetColor WRITE SetColor)
    Q_PROPERTY(bool Ctl3D READ GetCtl3D WRITE SetCtl3D)
    Q_PROPERTY(bool Dither READ GetDither WRITE SetDither)
    Q_PROPERTY(uint DitherErrorLimit READ GetDitherErrorLimit WRITE SetDitherErrorLimitValue)
    Q_PROPERTY(bool DitherErrorLimitAuto READ GetDitherErrorLimitAuto WRITE SetDitherErrorLimitAuto)
    Q_PROPERTY(bool DitherErrorLimitSoft READ GetDitherErrorLimitSoft WRITE SetDitherErrorLimitSoft)
    Q_PROPERTY(QCursor DragCursor MEMBER DragCursor)
    Q_PROPERTY(TDragMode DragMode MEMBER DragMode)
    Q_PROPERTY(bool FlipHorizontal READ GetFlipHorizontal WRITE SetFlipHorizontal)
    Q_PROPERTY(bool FlipVertical READ GetFlipVertical WRITE SetFlipVertical)
    Q_PROPERTY(bool KeepOldPaintPixelGraphic MEMBER KeepOldPaintPixelGraphic)
    Q_PROPERTY(bool ParentShowHint READ GetParentShowHint WRITE SetParentShowHint)
    Q_PROPERTY(TPaletteIdent Palette8BitSys24BitGraphic READ GetPalette8BitSys24BitGraphic WRITE
                   SetPalette8BitSys24BitGraphic)
    Q_PROPERTY(TPaletteIdent Palette8BitSys8BitGraphic READ GetPalette8BitSys8BitGraphic WRITE
                   SetPalette8BitSys8BitGraphic)
    Q_PROPERTY(TColor PicBoxColor READ GetPicBoxColor WRITE SetPicBoxColor)
    Q_PROPERTY(QCursor PicBoxCursor READ GetPicBoxCursor WRITE SetPicBoxCursor)
    Q_PROPERTY(QCursor PicBoxDragCursor READ GetPicBoxDragCursor WRITE SetPicBoxDragCursor)
    Q_PROPERTY(TDragMode PicBoxDragMode READ GetPicBoxDragMode WRITE SetPicBoxDragMode)
    Q_PROPERTY(TColor PicBoxFrameColor MEMBER PicBoxFrameColor)
    Q_PROPERTY(QString PicBoxHint READ GetPicBoxHint WRITE SetPicBoxHint)
    Q_PROPERTY(bool PicBoxParentColor READ GetPicBoxParentColor WRITE SetPicBoxParentColor)
    Q_PROPERTY(bool PicBoxParentShowHint READ GetPicBoxParentShowHint WRITE SetPicBoxParentShowHint)
    Q_PROPERTY(QMenu* PicBoxPopupMenu READ GetPicBoxPopupMenu WRITE SetPicBoxPopupMenu)
    Q_PROPERTY(bool PicBoxShowHint READ GetPicBoxShowHint WRITE SetPicBoxShowHint)
    Q_PROPERTY(int PicBoxTag READ GetPicBoxTag WRITE SetPicBoxTag)
    Q_PROPERTY(QMenu* PopupMenu READ GetPopupMenu WRITE SetPopupMenu)
    Q_PROPERTY(bool Progress5Clocks MEMBER Progress5Clocks)
    Q_PROPERTY(TColor ProgressClockBkColor MEMBER ProgressClockBkColor)
    Q_PROPERTY(TColor ProgressClockLineColor MEMBER ProgressClockLineColor)
    Q_PROPERTY(bool ProgressClockVisible MEMBER ProgressClockVisible)
    Q_PROPERTY(bool RGBWeighting READ GetRGBWeighting WRITE SetRGBWeighting)
    Q_PROPERTY(bool RearrangeAlways MEMBER RearrangeAlways)
    Q_PROPERTY(bool ReduceOnLoad MEMBER ReduceOnLoad)
    Q_PROPERTY(bool Selection READ GetSelection WRITE SetSelection)
    Q_PROPERTY(TColor SelectionColor1 READ GetSelectionColor1 WRITE SetSelectionColor1)
    Q_PROPERTY(TColor SelectionColor2 READ GetSelectionColor2 WRITE SetSelectionColor2)
    Q_PROPERTY(int SelectionLeft READ GetSelectionLeft WRITE SetSelectionLeft)
    Q_PROPERTY(int SelectionTop READ GetSelectionTop WRITE SetSelectionTop)
    Q_PROPERTY(int SelectionWidth READ GetSelectionWidth WRITE SetSelectionWidth)
    Q_PROPERTY(int SelectionHeight READ GetSelectionHeight WRITE SetSelectionHeight)
    Q_PROPERTY(bool ShowHint READ GetShowHint WRITE SetShowHint)
    Q_PROPERTY(bool ShowHourGlass MEMBER ShowHourGlass)
    Q_PROPERTY(TStretch Stretch READ GetStretch WRITE SetStretch)
    Q_PROPERTY(TStretchMode StretchMode READ GetStretchMode WRITE SetStretchMode)
    Q_PROPERTY(TTiling Tiling READ GetTiling WRITE SetTiling)
    Q_PROPERTY(bool UseThread READ GetUseThread WRITE SetUseThread)
    Q_PROPERTY(TPGWarningAction ReadWarningAction MEMBER ReadWarningAction)
    Q_PROPERTY(TPGWarningAction SaveColorResWarningAction MEMBER SaveColorResWarningAction)
    Q_PROPERTY(double ZoomFactor READ GetZoomFactorProperty WRITE SetZoomFactorProperty)
    Q_PROPERTY(QString FileName READ GetFileName WRITE SetFileName)

public:
    explicit TPGImage(QWidget* Parent = nullptr);
    ~TPGImage() override;

    // Pictures. The viewer owns the one it shows; SetPixelGraphic takes a picture over, AssignPixelGraphic
    // shows a copy. GetPixelGraphic hands out the picture for reading or for changes in place followed by its
    // Changed. It stops the display-copy worker only for that moment (the next paint may start it again), so
    // a writer calls it before each batch of writes, with no event processing inside the batch. The NoWait
    // variant is for reading only while a display copy may be in the making.
    void SetPixelGraphic(std::unique_ptr<TPixelGraphic> Picture);
    void AssignPixelGraphic(const TPixelGraphic* Picture);
    TPixelGraphic* GetPixelGraphic();
    TPixelGraphic* GetPixelGraphicNoWait() const { return PixelGraphic.get(); }
    std::unique_ptr<TPixelGraphic> GetPixelGraphicCopy();
    // Passes Picture's progress to this viewer's progress events and, WithOnChange, its changes to the
    // layout.
    void HookGraphicEvents(TPixelGraphic* Picture, bool WithOnChange);

    // Files. A failed load leaves the viewer empty with an empty FileName and passes the exception on.
    void LoadFromFile(const QString& AFileName) { LoadFromFileIndex(AFileName, 0); }
    // Index chooses the picture in files that hold several.
    void LoadFromFileIndex(const QString& AFileName, int Index);
    virtual void SaveToFile(const QString& AFileName);

    // Layout. PixelGraphicChanged takes the picture's size and lays out anew (auto size included); Arrange
    // sizes and places the paint box, with Force also when only its place or the scroll position is off.
    void PixelGraphicChanged(TObject* Sender);
    void Arrange(bool Force);
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    int GetBorderWidth() const;
    // The client area: the outer size less border and the scroll bars the layout chose.
    int ClientWidth() const;
    int ClientHeight() const;
    virtual void Invalidate();
    // The painter of the running paint of the viewer's surface, null outside a paint.
    QPainter* GetCanvas() const { return Canvas; }
    TPicBox* GetPicBox() const { return PicBox; }
    long double GetEffectiveZoom() const { return EffectiveZoom; }

    // The selection in picture pixels. The mouse keeps it at least one pixel wide and high; programs may
    // store any values, which nothing clamps to the picture. GetSelectionRect has right and bottom exclusive,
    // held to the 32-bit range.
    void SetSelectionBounds(int ALeft, int ATop, int AWidth, int AHeight);
    TRect GetSelectionRect() const;
    void SetSelectionRect(const TRect& Rect);
    // Edges in 64 bits: a stored selection may reach past the 32-bit range.
    struct TEdges {
        int64_t Left, Top, Right, Bottom;
    };
    // The selection on the paint box.
    TEdges GetSelectionPicBoxRect() const;
    // 0 idle, 1 moving the picture, 2 moving the selection, 3 creating one, 4..11 dragging a handle.
    uint8_t GetDragState() const { return DragState; }
    const QTimer& GetFrameTimer() const { return FrameTimer; }
    const QTimer& GetScrollTimer() const { return ScrollTimer; }
    // The two timers' handlers: the frame's animation step and the auto-scroll of a selection drag.
    void SelectionTimer();
    void DragScrollTimer();

    // The display copy. PreparePaintPixelGraphic decides whether the copy rather than the picture is to be
    // painted (the copy may still be on its way) and starts the worker when a copy is needed and none is
    // present or coming. GetPaintPixelGraphic is the copy held now (null when none); PaintCopyInFlight says
    // that a job's copy is still to be handled.
    bool PreparePaintPixelGraphic();
    const TPixelGraphic* GetPaintPixelGraphic() const { return PaintPixelGraphic.get(); }
    bool PaintCopyInFlight() const { return PaintJobInFlight; }
    // The current worker object, for reading its job parameters.
    const TCreatePaintPGThread* GetPaintThread() const { return PaintThread.get(); }
    int GetProgressStage() const { return ProgressStage; }
    int GetProgressPercent() const { return ProgressPercent; }
    // The colours of what is painted: empty for no picture and for tables the system palette holds.
    QVector<QRgb> GetPalette();
    // New pictures (the caller owns them) mirrored left-right, top-bottom, or both; empty for an empty
    // source. Painting mirrors through reversed rectangles instead and does not need them.
    static std::unique_ptr<TPixelGraphic> FlipPixelGraphicHorizontal(const TPixelGraphic& Picture);
    static std::unique_ptr<TPixelGraphic> FlipPixelGraphicVertical(const TPixelGraphic& Picture);
    static std::unique_ptr<TPixelGraphic> FlipPixelGraphicBoth(const TPixelGraphic& Picture);

    // Picture pixels to paint-box pixels and back (products in 64 bits; 0 for an empty side).
    int PictureToPicBoxX(int X) const;
    int PictureToPicBoxY(int Y) const;
    int PicBoxToPictureX(int X) const;
    int PicBoxToPictureY(int Y) const;
    TPoint PicBoxToPicture(TPoint P) const;

    // Property access.
    TActionMode GetActionMode() const { return ActionMode; }
    void SetActionMode(TActionMode Value);
    bool GetAllow24BitStretch() const { return Allow24BitStretch; }
    void SetAllow24BitStretch(bool Value);
    bool GetAutoScroll() const { return AutoScroll; }
    void SetAutoScroll(bool Value);
    bool GetAutoSize() const { return AutoSize; }
    void SetAutoSize(bool Value);
    int GetAutoSizeMaxHeight() const { return AutoSizeMaxHeight; }
    void SetAutoSizeMaxHeight(int Value);
    int GetAutoSizeMinHeight() const { return AutoSizeMinHeight; }
    void SetAutoSizeMinHeight(int Value);
    int GetAutoSizeMaxWidth() const { return AutoSizeMaxWidth; }
    void SetAutoSizeMaxWidth(int Value);
    int GetAutoSizeMinWidth() const { return AutoSizeMinWidth; }
    void SetAutoSizeMinWidth(int Value);
    int GetBackGroundColor() const { return BackGroundColor; }
    void SetBackGroundColor(int Value);
    TBorderStyle GetBorderStyle() const { return BorderStyle; }
    void SetBorderStyle(TBorderStyle Value);
    bool GetCenter() const { return Center; }
    void SetCenter(bool Value);
    TColor GetColor() const { return Color; }
    void SetColor(TColor Value);
    bool GetCtl3D() const { return Ctl3D; }
    void SetCtl3D(bool Value);
    bool GetDither() const { return Dither; }
    void SetDither(bool Value);
    uint8_t GetDitherErrorLimit() const { return DitherErrorLimit; }
    void SetDitherErrorLimit(uint8_t Value);
    bool GetDitherErrorLimitAuto() const { return DitherErrorLimitAuto; }
    void SetDitherErrorLimitAuto(bool Value);
    bool GetDitherErrorLimitSoft() const { return DitherErrorLimitSoft; }
    void SetDitherErrorLimitSoft(bool Value);
    bool GetFlipHorizontal() const { return FlipHorizontal; }
    void SetFlipHorizontal(bool Value);
    bool GetFlipVertical() const { return FlipVertical; }
    void SetFlipVertical(bool Value);
    bool GetParentShowHint() const { return ParentShowHint; }
    void SetParentShowHint(bool Value) { ParentShowHint = Value; }
    TPaletteIdent GetPalette8BitSys24BitGraphic() const { return Palette8BitSys24BitGraphic; }
    void SetPalette8BitSys24BitGraphic(TPaletteIdent Value);
    TPaletteIdent GetPalette8BitSys8BitGraphic() const { return Palette8BitSys8BitGraphic; }
    void SetPalette8BitSys8BitGraphic(TPaletteIdent Value);
    TColor GetPicBoxColor() const { return PicBox->GetColor(); }
    void SetPicBoxColor(TColor Value) { PicBox->SetColor(Value); }
    QCursor GetPicBoxCursor() const { return PicBox->Cursor; }
    void SetPicBoxCursor(const QCursor& Value);
    QCursor GetPicBoxDragCursor() const { return PicBox->DragCursor; }
    void SetPicBoxDragCursor(const QCursor& Value) { PicBox->DragCursor = Value; }
    TDragMode GetPicBoxDragMode() const { return PicBox->DragMode; }
    void SetPicBoxDragMode(TDragMode Value) { PicBox->DragMode = Value; }
    QString GetPicBoxHint() const { return PicBox->toolTip(); }
    void SetPicBoxHint(const QString& Value) { PicBox->setToolTip(Value); }
    bool GetPicBoxParentColor() const { return PicBox->GetParentColor(); }
    void SetPicBoxParentColor(bool Value) { PicBox->SetParentColor(Value); }
    bool GetPicBoxParentShowHint() const { return PicBox->GetParentShowHint(); }
    void SetPicBoxParentShowHint(bool Value) { PicBox->SetParentShowHint(Value); }
    QMenu* GetPicBoxPopupMenu() const { return PicBox->GetPopupMenu(); }
    void SetPicBoxPopupMenu(QMenu* Value) { PicBox->SetPopupMenu(Value); }
    bool GetPicBoxShowHint() const { return PicBox->GetShowHint(); }
    void SetPicBoxShowHint(bool Value) { PicBox->SetShowHint(Value); }
    int GetPicBoxTag() const { return PicBox->Tag; }
    void SetPicBoxTag(int Value) { PicBox->Tag = Value; }
    QMenu* GetPopupMenu() const { return PopupMenu; }
    void SetPopupMenu(QMenu* Value) { PopupMenu = Value; }
    bool GetRGBWeighting() const { return RGBWeighting; }
    void SetRGBWeighting(bool Value);
    bool GetSelection() const { return Selection; }
    void SetSelection(bool Value);
    TColor GetSelectionColor1() const { return SelectionColor1; }
    void SetSelectionColor1(TColor Value);
    TColor GetSelectionColor2() const { return SelectionColor2; }
    void SetSelectionColor2(TColor Value);
    int GetSelectionLeft() const { return SelectionLeft; }
    void SetSelectionLeft(int Value) {
        SetSelectionBounds(Value, SelectionTop, SelectionWidth, SelectionHeight);
    }
    int GetSelectionTop() const { return SelectionTop; }
    void SetSelectionTop(int Value) {
        SetSelectionBounds(SelectionLeft, Value, SelectionWidth, SelectionHeight);
    }
    int GetSelectionWidth() const { return SelectionWidth; }
    void SetSelectionWidth(int Value) {
        SetSelectionBounds(SelectionLeft, SelectionTop, Value, SelectionHeight);
    }
    int GetSelectionHeight() const { return SelectionHeight; }
    void SetSelectionHeight(int Value) {
        SetSelectionBounds(SelectionLeft, SelectionTop, SelectionWidth, Value);
    }
    bool GetShowHint() const;
    void SetShowHint(bool Value);
    TStretch GetStretch() const { return Stretch; }
    void SetStretch(TStretch Value);
    TStretchMode GetStretchMode() const { return StretchMode; }
    void SetStretchMode(TStretchMode Value);
    TTiling GetTiling() const { return Tiling; }
    void SetTiling(TTiling Value);
    bool GetUseThread() const { return UseThread; }
    void SetUseThread(bool Value);
    long double GetZoomFactor() const { return ZoomFactor; }
    void SetZoomFactor(long double Value);
    QString GetFileName() const { return FileName; }
    void SetFileName(const QString& Value) { LoadFromFile(Value); }

    // Paint-box events, held by the paint box.
    void SetPicBoxOnClick(TNotifyEvent Value) { PicBox->OnClick = std::move(Value); }
    void SetPicBoxOnDblClick(TNotifyEvent Value) { PicBox->OnDblClick = std::move(Value); }
    void SetPicBoxOnDragDrop(TDragDropEvent Value) { PicBox->OnDragDrop = std::move(Value); }
    void SetPicBoxOnDragOver(TDragOverEvent Value) { PicBox->OnDragOver = std::move(Value); }
    void SetPicBoxOnEndDrag(TEndDragEvent Value) { PicBox->OnEndDrag = std::move(Value); }
    void SetPicBoxOnMouseDown(TMouseEvent Value) { PicBox->UserMouseDown = std::move(Value); }
    void SetPicBoxOnMouseMove(TMouseMoveEvent Value) { PicBox->UserMouseMove = std::move(Value); }
    void SetPicBoxOnMouseUp(TMouseEvent Value) { PicBox->UserMouseUp = std::move(Value); }
    void SetPicBoxOnPaint(TNotifyEvent Value) { PicBox->UserPaint = std::move(Value); }
    void SetPicBoxOnStartDrag(TStartDragEvent Value) { PicBox->OnStartDrag = std::move(Value); }

    // The viewer's own events. Dragging between controls is stored, never started.
    TPGSetCursorEvent PicBoxOnSetCursor;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TDragDropEvent OnDragDrop;
    TDragOverEvent OnDragOver;
    TEndDragEvent OnEndDrag;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;
    TPGINewAutoSizeEvent OnNewAutoSize;
    TNotifyEvent OnPaint;
    TNotifyEvent OnPainting;
    TNotifyEvent OnPixelGraphicChange;
    TPGProgressEvent OnPixelGraphicProgress;
    TNotifyEvent OnPixelGraphicProgressEnd;
    TNotifyEvent OnPixelGraphicProgressStart;
    TNotifyEvent OnSelectionChange;
    TNotifyEvent OnSelectionMade;
    TPGSetCursorEvent OnSetCursor;
    TStartDragEvent OnStartDrag;
    TNotifyEvent OnZoomFactorChange;

protected:
    // Paints the margins and the picture in the paint-box rectangle on Canvas.
    virtual void PaintSurface();

    bool event(QEvent* Event) override;
    bool viewportEvent(QEvent* Event) override;
    void paintEvent(QPaintEvent* Event) override;
    void scrollContentsBy(int DX, int DY) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;

private:
    // Stops the worker that makes the display copy (Terminate, WaitFor), before the picture it reads is
    // changed or freed. A job whose worker had not posted yet ends with it.
    void StopPaintThread();
    void DropPaintPixelGraphic();
    // A new job id: results of the current job become stale and are dropped when they arrive.
    void CancelPaintJob();
    // The copy must be rebuilt; whatever is on its way is stale.
    void MarkPaintDirty();
    void StartPaintJob(int ScreenBits, bool SizeDiffers);
    // The handlers of the worker's events (also the inline worker's delivery).
    void PaintPixelGraphicReady(TPGJobId Job, std::unique_ptr<TPixelGraphic> Picture);
    void PaintProgress(TPGJobId Job, int Stage, int Percent);
    void DisplayChanged();
    // Painting pieces, on Canvas.
    void DrawTiles(TPixelGraphic& S, const QRect& Box);
    void DrawProgressClock();
    std::vector<QPoint> ProgressClockPositions() const;
    // Chooses the scroll bars from the paint box's extent and the outer size, and sets their ranges.
    void UpdateScrollBars();
    int HorizontalBarExtent() const;
    int VerticalBarExtent() const;
    void ApplyFrame();
    // Takes Picture as the shown picture: the common tail of SetPixelGraphic and AssignPixelGraphic.
    void TakePixelGraphic(std::unique_ptr<TPixelGraphic> Picture);
    double GetZoomFactorProperty() const { return double(ZoomFactor); }
    void SetZoomFactorProperty(double Value) { SetZoomFactor(Value); }
    void SetDitherErrorLimitValue(uint Value) { SetDitherErrorLimit(uint8_t(std::min(Value, 255u))); }

    // The selection and the mouse (PGImageSelection.cpp).
    void PicBoxMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    void PicBoxMouseMove(TShiftState Shift, int X, int Y);
    void PicBoxMouseUp();
    void PaintPicBox();
    void CreateSelectionBrushes();
    void DropSelectionBrushes();
    // The strips along the frame that a change of the selection repaints, in client coordinates; E is how
    // far the frame and its handles reach out.
    QRegion SelectionStrips(int E) const;
    // The frame's and the handles' pixels on the paint box.
    QRegion SelectionFramePixels() const;
    // Handle index 0..7 under paint-box point (X, Y) in the order of drag states 4..11, or -1.
    int HandleAt(int64_t X, int64_t Y) const;
    void UpdateCreatedSelection(int X, int Y);
    bool PictureLargerThanView() const;
    // Repaints Region of the viewport at once, or later when a paint is running (Qt refuses to nest them).
    void RepaintNow(const QRegion& Region);
    // Chooses the cursor for the last pointer position over the viewport or the paint box and sets it on
    // the widget under it.
    void RefreshCursor();
    void NotePointer(QPoint ClientPos);

    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void Click() override;
    void DblClick() override;

    TActionMode ActionMode = amMoveImage;
    bool Allow24BitStretch = false;
    bool AutoScroll = true;
    bool AutoSize = false;
    int AutoSizeMaxHeight = INT_MAX;
    int AutoSizeMinHeight = 0;
    int AutoSizeMaxWidth = INT_MAX;
    int AutoSizeMinWidth = 0;
    int BackGroundColor = 0;
    TBorderStyle BorderStyle = bsSingle;
    QPainter* Canvas = nullptr;
    bool Center = false;
    TColor Color = clBtnFace;
    bool Ctl3D = true;
    bool Dither = true;
    uint8_t DitherErrorLimit = 32;
    bool DitherErrorLimitAuto = true;
    bool DitherErrorLimitSoft = true;
    QCursor DragCursor{Qt::DragMoveCursor};
    TDragMode DragMode = dmManual;
    QString FileName;
    bool FlipHorizontal = false;
    bool FlipVertical = false;
    int PixelGraphicHeight = 0;
    int PixelGraphicWidth = 0;
    bool KeepOldPaintPixelGraphic = false;
    bool Arranging = false;
    std::unique_ptr<TPixelGraphic> PaintPixelGraphic;
    bool PaintPixelGraphicDirty = false;
    int PaintHeight = 0;
    int PaintWidth = 0;
    // The worker object, always present (a do-nothing one until the first job), and the job state: the id
    // of the current job, whether its result is still to come, whether it reported progress, and whether
    // its copy is to replace the picture. A failed job makes the viewer paint the picture itself until the
    // next dirtying.
    std::unique_ptr<TCreatePaintPGThread> PaintThread;
    TPGJobId PaintJob = 0;
    bool PaintJobInFlight = false;
    bool PaintJobReported = false;
    bool PaintJobReduces = false;
    bool PaintCopyFailed = false;
    // With ReduceOnLoad, the first copy after a picture was set or loaded replaces it.
    bool ReducePending = false;
    int ProgressStage = 1;
    int ProgressPercent = 0;
    // The rectangle the running paint covers, in client coordinates.
    QRect PaintClip;
    TPaletteIdent Palette8BitSys24BitGraphic = pOptimized252Sys16;
    TPaletteIdent Palette8BitSys8BitGraphic = pOptimized252Sys16;
    bool ParentShowHint = true;
    TPicBox* PicBox; // a Qt child of the viewport
    TColor PicBoxFrameColor = clBtnShadow;
    std::unique_ptr<TPixelGraphic> PixelGraphic;
    QPointer<QMenu> PopupMenu;
    bool Progress5Clocks = true;
    TColor ProgressClockBkColor = clBtnFace;
    TColor ProgressClockLineColor = clBtnShadow;
    bool ProgressClockVisible = true;
    bool RGBWeighting = true;
    TPGWarningAction ReadWarningAction = pgwaOKCancelBox;
    bool RearrangeAlways = false;
    bool ReduceOnLoad = false;
    bool Selection = false;
    TColor SelectionColor1 = 0xFFFFFF;
    TColor SelectionColor2 = 0x0000FF;
    int SelectionHeight = 1;
    int SelectionLeft = 0;
    int SelectionTop = 0;
    int SelectionWidth = 1;
    uint8_t SelectionPhase = 0;
    // The eight stripe patterns of the frame, shifted by one pixel each; made at the first frame drawing.
    std::array<std::optional<QBrush>, 8> SelectionBrushes;
    TPoint SelectionAnchor;
    uint8_t DragState = 0;
    TPoint DragStart;
    TPoint DragOffset;
    // Running = present: the frame's animation while Selection is True, the auto-scroll during drags of
    // states 2..11.
    QTimer FrameTimer;
    QTimer ScrollTimer;
    // The last pointer position seen over the viewport or the paint box, in client coordinates.
    std::optional<QPoint> Pointer;
    bool ShowHint = false;
    bool ShowHourGlass = true;
    TStretch Stretch = sNeverKAR;
    TStretchMode StretchMode = smFast;
    bool UseThread = true;
    TTiling Tiling = tNone;
    TPGWarningAction SaveColorResWarningAction = pgwaOKCancelBox;
    long double ZoomFactor = 1.0L;
    long double EffectiveZoom = 1.0L;
    // The scroll bars the last layout chose, which ClientWidth and ClientHeight allow for.
    bool HorzBarShown = false;
    bool VertBarShown = false;
    bool Clicked = false;
};

using TActionMode = TPGImage::TActionMode;
using TStretch = TPGImage::TStretch;
using TTiling = TPGImage::TTiling;
using TBorderStyle = TPGImage::TBorderStyle;
using enum TPGImage::TActionMode;
using enum TPGImage::TStretch;
using enum TPGImage::TTiling;
using enum TPGImage::TBorderStyle;
