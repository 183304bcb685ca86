// The filter dialogs: up to three track bars, options and a live preview of the filter on a reduced copy of
// the picture, built in code; the brightness-contrast-gamma and the negative dialog.
#pragma once

#include "framework/Object.h"
#include "framework/SystemColors.h"
#include "framework/Thread.h"
#include "image-library/PGFilters.h"
#include "image-library/PGTypes.h"

#include <QDialog>
#include <QRect>
#include <QSize>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class TFilterDialogForm;
class TPGImage;
class TPixelGraphic;

struct TFilterTrack {
    bool InUse = false;
    int Min = 0, Max = 0;
    int Frequency = 0;
    int SelPos = 0; // shown as a zero-width selection; only its low 16 bits count
    int CaptionWidth = 0;
    QString Caption;
    QString MinText, MidText, MaxText;
    int ValueWidth = 0;
    int Position = 0;
};

class TFilterDialog : public TObject {
public:
    TFilterDialog() = default;
    ~TFilterDialog() override;
    TFilterDialog(const TFilterDialog&) = delete;
    TFilterDialog& operator=(const TFilterDialog&) = delete;

    std::unique_ptr<TPGFilter> Filter; // made by the descendant's constructor through CreateFilter
    TFilterDialogForm* Form = nullptr; // during ExecuteDialog
    std::array<TFilterTrack, 3> Tracks;
    QString OptionsCaption;
    QString Caption;
    bool Preview = false;
    bool CheckBoxUsed = false, CheckBoxOn = false;
    QString CheckBoxCaption;
    bool RadioUsed = false, Radio1On = false;
    QString Radio1Caption;
    bool Radio2On = false;
    QString Radio2Caption;
    TPixelGraphic* Source = nullptr;
    std::function<void(TObject* Sender)> OnChange;
    TColor ProgressClockBkColor = clBtnFace;
    TColor ProgressClockLineColor = clBtnShadow;
    bool ProgressClockVisible = false;
    TPaletteIdent Palette8BitSys24BitGraphic = pOptimized252Sys16;
    TPaletteIdent Palette8BitSys8BitGraphic = pOptimized252Sys16;

    // Builds the form, runs it modally and returns whether it closed with OK. Every worker has ended when
    // it returns.
    bool ExecuteDialog();
    // The change handler of every control: the dialog and its Filter follow the controls.
    void ControlsChanged();

    virtual void SetCaptions() {}
    virtual std::unique_ptr<TPGFilter> CreateFilter() = 0;
    virtual void TransferToFilter(TPGFilter& AFilter) = 0;
    virtual void ValueText1(QString& Text) { PercentText(Tracks[0], Text); }
    virtual void ValueText2(QString& Text) { PercentText(Tracks[1], Text); }
    virtual void ValueText3(QString& Text) { PercentText(Tracks[2], Text); }
    virtual void SaveValues() = 0;
    virtual void RestoreValues() = 0;

    QString ValueText(int N);

protected:
    static void PercentText(const TFilterTrack& Track, QString& Text);
};

// What the layout leaves to the controls and their texts, in pixels before the scaling: the heights, and
// the least widths of the caption column (every caption left of a bar and the options label), of the value
// labels, the check box and the radio buttons. A track's own CaptionWidth and ValueWidth are kept where its
// texts fit in them; the dialog grows where they do not.
struct TFilterControlSizes {
    int Label = 13;
    int CheckBox = 17;
    int Radio = 17;
    int Caption = 0;
    int Value = 0;
    int CheckBoxWidth = 140;
    int Radio1Width = 100, Radio2Width = 100;
};

// Where ExecuteDialog puts the controls, in pixels before the scaling; an empty rectangle is a control
// that is not created.
struct TFilterDialogGeometry {
    struct TTrackGeometry {
        QRect Bar, CaptionLabel, MinLabel, MidLabel, MaxLabel, ValueLabel;
    };
    QSize Client;
    std::array<TTrackGeometry, 3> Tracks;
    QRect Preview, CheckBox, Radio1, Radio2, OptionsLabel, Bevel, OK, Cancel;
};
TFilterDialogGeometry FilterDialogGeometry(const TFilterDialog& Dialog,
                                           const TFilterControlSizes& Sizes = {});

// The size of the reduced copy of a Width x Height source for a ClientWidth x ClientHeight preview.
QSize PreviewSourceSize(int Width, int Height, int ClientWidth, int ClientHeight);

class TPreviewFilterDialog : public TFilterDialog {
public:
    // Source := Picture (may be nullptr: the preview stays empty), then ExecuteDialog. The picture is only
    // read, and only until Execute returns.
    bool Execute(TPixelGraphic* Picture);
};

class TBCGFilterDialog : public TPreviewFilterDialog {
public:
    TBCGFilterDialog();

    int SavedBrightness = 0;
    int SavedContrastPosition = 0;
    int SavedGammaPosition = 0;
    bool SavedUseY = false;

    int GetBrightness() const { return Tracks[0].Position; }
    void SetBrightness(int Value);
    long double GetContrast() const { return FactorOf(Tracks[1].Position); }
    void SetContrast(long double Value) { Tracks[1].Position = PositionOf(Value); }
    long double GetGamma() const { return FactorOf(Tracks[2].Position); }
    void SetGamma(long double Value) { Tracks[2].Position = PositionOf(Value); }
    bool GetUseY() const { return Radio2On; }
    void SetUseY(bool Value);
    TBCGFilter& GetFilter() const { return static_cast<TBCGFilter&>(*Filter); }

    void SetCaptions() override;
    std::unique_ptr<TPGFilter> CreateFilter() override;
    void TransferToFilter(TPGFilter& AFilter) override;
    void ValueText2(QString& Text) override { FactorText(Tracks[1].Position, Text); }
    void ValueText3(QString& Text) override { FactorText(Tracks[2].Position, Text); }
    void SaveValues() override;
    void RestoreValues() override;

    // 5 to the power Position / 100, unrounded: what the filter gets.
    static long double Factor(int Position);
    // The factor rounded to two decimals: what the properties read.
    static long double FactorOf(int Position);
    static int PositionOf(long double Value);
    static void FactorText(int Position, QString& Text);
};

class TNegativeFilterDialog : public TPreviewFilterDialog {
public:
    TNegativeFilterDialog();
    TNegativeFilter& GetFilter() const { return static_cast<TNegativeFilter&>(*Filter); }

    void SetCaptions() override;
    std::unique_ptr<TPGFilter> CreateFilter() override;
    void TransferToFilter(TPGFilter&) override {}
    void SaveValues() override {}
    void RestoreValues() override {}
};

// Makes the reduced copy of the source once per run.
class TCreateSrcPGThread : public TThread {
public:
    explicit TCreateSrcPGThread(bool DoNothing) : DoNothing(DoNothing) {}
    ~TCreateSrcPGThread() override { Stop(); }

    const bool DoNothing;
    QObject* Window = nullptr;
    TPixelGraphic* Source = nullptr;
    TPixelGraphic* Target = nullptr;

protected:
    void Execute() override;
};

// Applies its own filter to the reduced copy and posts the result.
class TCreateDestPGThread : public TThread {
public:
    explicit TCreateDestPGThread(bool DoNothing) : DoNothing(DoNothing) {}
    ~TCreateDestPGThread() override { Stop(); }

    const bool DoNothing;
    QObject* Window = nullptr;
    uint64_t Job = 0;
    TPixelGraphic* Source = nullptr;
    std::unique_ptr<TPGFilter> Filter;

protected:
    void Execute() override;
};

class TFilterDialogForm : public QDialog {
public:
    explicit TFilterDialogForm(TFilterDialog& Dialog);
    ~TFilterDialogForm() override;

    struct TTrackControls {
        QSlider* TrackBar = nullptr;
        QLabel *CaptionLabel = nullptr, *MinLabel = nullptr, *MidLabel = nullptr, *MaxLabel = nullptr,
               *ValueLabel = nullptr;
    };
    std::array<TTrackControls, 3> Tracks;
    QLabel* OptionsLabel = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QCheckBox* CheckBox = nullptr;
    TPGImage* PreviewImage = nullptr;
    QFrame* Bevel = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;
    TFilterDialog& Dialog;
    std::unique_ptr<TPixelGraphic> PreviewSource;
    std::unique_ptr<TCreateSrcPGThread> SourceThread;
    std::unique_ptr<TCreateDestPGThread> FilterThread;
    bool SourceReady = false;
    QTimer Timer;
    uint64_t FilterRuns = 0; // filter workers started, for tests and benchmarks

    // The preview's part of the run: the copy worker, the timer and the first do-nothing filter worker.
    void StartPreview();
    void RestartFilterTimer();
    void StartFilterThread();
    // Stops and joins both workers, then frees the reduced copy. Idempotent.
    void StopThreads();

protected:
    bool event(QEvent* Event) override;

private:
    // The room the controls' texts need in the form's font, in pixels before the scaling.
    TFilterControlSizes MeasureControls(double Scale);
};
