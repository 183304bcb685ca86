// The picture open and save dialogs: file types from the format registries, and a panel beside the file
// list that previews the highlighted file, loaded by a worker, with a line or two on its format.
#pragma once

#include "framework/FileDialogs.h"
#include "framework/SystemColors.h"
#include "framework/Thread.h"
#include "image-library/PGFileFormats.h"
#include "image-library/PGTypes.h"
#include "image-library/widgets/PGWorkerEvents.h"

#include <QPointer>
#include <QSize>
#include <QTimer>
#include <memory>
#include <vector>

class QPainter;
class QWidget;
class TPixelGraphic;

// The size to which a Width x Height picture is reduced to fit a BoxWidth x BoxHeight box, never below one
// pixel; a picture that fits keeps its size.
QSize PreviewReductionSize(int Width, int Height, int BoxWidth, int BoxHeight);

// Loads one file and makes it ready for the preview box: reduced to the box, then in the screen's depth.
// Posts the picture (TPGPictureReadyEvent) and progress (TPGJobProgressEvent) to Window, both with Job.
class TCreateOpenSaveDialogPaintPGThread : public TThread {
public:
    explicit TCreateOpenSaveDialogPaintPGThread(bool DoNothing) : DoNothing(DoNothing) {}
    ~TCreateOpenSaveDialogPaintPGThread() override { Stop(); }

    const bool DoNothing;
    QObject* Window = nullptr;
    TPGJobId Job = 0;
    QString FileName;
    int Stage = 1;
    int SubStage = 0;
    int LastPercent = 0;
    int LastSixteenth = 0;
    uint32_t LastTick = 0;
    int BoxWidth = 0;
    int BoxHeight = 0;
    TStretchMode StretchMode = smPrecise;
    TPaletteIdent Palette8BitSys24BitGraphic = pOptimized252Sys16;
    TPaletteIdent Palette8BitSys8BitGraphic = pOptimized252Sys16;
    int ScreenBits = 24;

    // The progress event of every picture the worker makes: posts a change of the percentage when it falls
    // in a new 100 ms interval of the tick count or a new sixteenth, and aborts once terminated.
    void Progress(TObject* Sender, int Step, int Max, bool& Abort);

protected:
    void Execute() override;

private:
    std::unique_ptr<TPixelGraphic> Converted(std::unique_ptr<TPixelGraphic> P);
};

class TPGOpenDialog : public TOpenDialog {
public:
    TPGOpenDialog();
    ~TPGOpenDialog() override;

    void SetOptions(TOpenOptions Value) override;

    virtual void FilterExtension(int N, QString& Ext) const;
    virtual int FilterFormatCount() const;
    virtual void BuildFilter(QString& AFilter) const;
    // The registry's entries as the dialog lists them.
    virtual std::vector<const TFileFormatReaderWriter*> FormatList() const;

    QWidget* PreviewButton = nullptr;
    QWidget* InfoButton = nullptr;
    QFileDialog* DialogWindow = nullptr;
    QWidget* ChildWindow = nullptr;
    std::unique_ptr<TPixelGraphic> PreviewPicture;
    std::unique_ptr<TCreateOpenSaveDialogPaintPGThread> PreviewThread;
    TStretchMode StretchMode = smPrecise;
    bool IsSaveDialog = false;
    bool UseDefaultFilter = true;
    TColor ProgressClockBkColor = clBtnFace;
    TColor ProgressClockLineColor = clBtnShadow;
    bool ProgressClockVisible = true;
    TPaletteIdent Palette8BitSys24BitGraphic = pOptimized252Sys16;
    TPaletteIdent Palette8BitSys8BitGraphic = pOptimized252Sys16;
    QTimer Timer;
    bool InfoValid = false;
    QString InfoDescription, InfoSubformat, InfoExtra;
    int InfoWidth = 0, InfoHeight = 0;
    QString InfoColors;
    int InfoBitsPerPixel = 0, InfoPictureCount = 0;
    bool ShowInfo = true;

    // The job whose results the panel takes; every start and every stop moves it on.
    TPGJobId CurrentJob = 0;
    // The stage and percent the progress clock shows; stage 0 hides it.
    int ClockStage = 0;
    int ClockPercent = 0;

    void PreviewTimer();
    // The panel's events: a finished preview, progress, and the start after the pause.
    void PictureReady(TPGPictureReadyEvent& Event);
    void ProgressReported(const TPGJobProgressEvent& Event);
    void StartPreview();
    void DrawPreview(QPainter& Painter, const QRect& Client);
    void DrawInfo(QPainter& Painter, const QRect& Client);

protected:
    bool IsSave() const override { return IsSaveDialog; }
    void Preparing() override;
    void DialogCreated(QFileDialog& Dialog) override;
    void DialogShown(QFileDialog& Dialog) override;
    void SelectionChanged(const QString& Path) override;
    void TypeChanged(int Index) override;
    void DialogFinishing() override;

private:
    void StopPreviewThread();
};

class TPGSaveDialog : public TPGOpenDialog {
public:
    TPGSaveDialog();

    void BuildFilter(QString& AFilter) const override;
    std::vector<const TFileFormatReaderWriter*> FormatList() const override;

protected:
    void Preparing() override;
    bool Completed(bool Accepted) override;
};
