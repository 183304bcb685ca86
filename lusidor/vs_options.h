// TVs_optionsFrame: the camera window of camera mode. It takes one picture or a series into the video
// window, in normal or accumulation mode, and sets the camera flags that the main window reads.
#pragma once

#include "framework/Colors.h"
#include "framework/Timer.h"
#include "ui_vs_options.h"

#include <QPointer>
#include <QWidget>

class TForm1;

// True while "Пуск" or "Цикл" runs; the main window then keeps mode changes and picture commands off.
extern bool CameraBusy;
// Set by "Стоп" and at program exit; ends a running "Цикл".
extern bool CameraStop;

class TVs_optionsFrame : public QWidget, public Ui::TVs_optionsFrame {
    Q_OBJECT
public:
    // Colours of the elapsed-time panel's text: running, and the accumulation's end.
    static constexpr TColor ElapsedColor = clBlack;
    static constexpr TColor ElapsedDoneColor = 0x00FFFF;
    static inline const QString CameraFaultText =
        QStringLiteral("Видеокамера или видеоконтроллер неисправны либо отсутствуют.");

    // Created hidden; it becomes Form1's camera window and takes its frames into Form1's video window.
    explicit TVs_optionsFrame(TForm1* Form1);
    ~TVs_optionsFrame() override;

    void SingleGrab();
    void Accumulate();
    void GrabCycle();
    // Sets the controls from the camera settings.
    void SyncControls();

    void Button1Click();
    void Button2Click();
    void SpeedButton1Click();
    void CheckBox1MouseUp();
    void CheckBox2MouseUp();
    void CheckBox3MouseUp();
    void CheckBox4MouseUp();
    void SpinButton1UpClick();
    void SpinButton1DownClick();
    void Timer1Timer();

    TColor Panel2FontColor() const;

    TTimer Timer1; // the accumulation clock
    int TickTarget = 0;
    int TickCounter = 0;
    int DisplayCounter = 0;

protected:
    // FormCloseQuery: the user cannot close this window; the program hides it.
    void closeEvent(QCloseEvent* Event) override;

private:
    class TOperation;

    void SetPanel2(const QString& Caption, TColor Color);
    void TakeModeFromBoxes();
    void RestoreControls();
    void StartCamera();
    void RunAccumulation();
    enum class TLostFrame { Report, Skip };
    bool GrabIntoVideo(TLostFrame LostFrame);
    void ReportCameraFault();

    QPointer<TForm1> Form1;
    bool FaultReported = false; // one error box per command
};
