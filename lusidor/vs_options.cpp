// The camera window: the grab commands, the accumulation clock and the controls' states.
#include "vs_options.h"

#include "Main.h"
#include "PicForm.h"
#include "framework/Controls.h"
#include "framework/ErrorBox.h"
#include "framework/NumberText.h"
#include "framework/ProcessMessages.h"
#include "framework/Rounding.h"
#include "image-library/PGraphic.h"
#include "vs_drv.h"

#include <QCloseEvent>

bool CameraBusy = false;
bool CameraStop = false;

namespace {

constexpr int Timer1Interval = 100;
// The panel shows the elapsed time every this many timer events.
constexpr int DisplayEvents = 5;
constexpr double MinExposure = 0.5;
constexpr double MaxExposure = 600;
constexpr double ExposureStep = 0.5;

QString ExposureText() {
    return FormatFixed(CameraSettings.nframe, 2, 1);
}

} // namespace

// A running "Пуск" or "Цикл": the busy flag and the menus while it lasts, and on every way out, also by
// an exception, the controls as "Стоп" leaves them.
class TVs_optionsFrame::TOperation {
public:
    explicit TOperation(TVs_optionsFrame& Frame) : Frame(Frame) {
        CameraBusy = true;
        Frame.FaultReported = false;
        if (Frame.Form1)
            Frame.Form1->UpdateMenuItems();
    }
    ~TOperation() {
        CallGuarded([this] {
            Frame.Timer1.SetEnabled(false);
            Frame.RestoreControls();
            Frame.SpeedButton1->setEnabled(false);
            CameraBusy = false;
            if (Frame.Form1)
                Frame.Form1->UpdateMenuItems();
        });
    }
    TOperation(const TOperation&) = delete;
    TOperation& operator=(const TOperation&) = delete;

private:
    TVs_optionsFrame& Frame;
};

TVs_optionsFrame::TVs_optionsFrame(TForm1* Form1)
    : QWidget(Form1, FloatingWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint), Form1(Form1) {
    setupUi(this);
    Timer1.SetInterval(Timer1Interval);
    Timer1.OnTimer = [this](TObject*) { Timer1Timer(); };
    const auto guarded = [this](void (TVs_optionsFrame::*Handler)()) {
        return [this, Handler] { CallGuarded([&] { (this->*Handler)(); }); };
    };
    connect(Button1, &QPushButton::clicked, this, guarded(&TVs_optionsFrame::Button1Click));
    connect(Button2, &QPushButton::clicked, this, guarded(&TVs_optionsFrame::Button2Click));
    connect(SpeedButton1, &QToolButton::clicked, this, guarded(&TVs_optionsFrame::SpeedButton1Click));
    // The mode handlers follow the toggle: clicked comes after it, for the mouse and the keyboard alike,
    // and never for a release outside the box.
    connect(CheckBox1, &QCheckBox::clicked, this, guarded(&TVs_optionsFrame::CheckBox1MouseUp));
    connect(CheckBox2, &QCheckBox::clicked, this, guarded(&TVs_optionsFrame::CheckBox2MouseUp));
    connect(CheckBox3, &QCheckBox::clicked, this, guarded(&TVs_optionsFrame::CheckBox3MouseUp));
    connect(CheckBox4, &QCheckBox::clicked, this, guarded(&TVs_optionsFrame::CheckBox4MouseUp));
    connect(SpinButton1, &TSpinButton::UpClick, this, guarded(&TVs_optionsFrame::SpinButton1UpClick));
    connect(SpinButton1, &TSpinButton::DownClick, this, guarded(&TVs_optionsFrame::SpinButton1DownClick));
    SetPanel2("0.0", ElapsedColor);
    // The arrows stand beside the exposure they change, as high as it.
    SpinButton1->setFixedHeight(Edit1->sizeHint().height());
    KeepTitleWhole(*this);
    adjustSize();
    CenterOnScreen(*this);
    if (Form1)
        Form1->CameraWindow = this;
}

TVs_optionsFrame::~TVs_optionsFrame() = default;

void TVs_optionsFrame::closeEvent(QCloseEvent* Event) {
    if (Event->spontaneous())
        Event->ignore();
    else
        Event->accept();
}

TColor TVs_optionsFrame::Panel2FontColor() const {
    return QRgbToColor(Panel2->palette().color(QPalette::WindowText).rgb());
}

void TVs_optionsFrame::SetPanel2(const QString& Caption, TColor Color) {
    QPalette palette = Panel2->palette();
    palette.setColor(QPalette::WindowText, QColor::fromRgb(ColorToQRgb(Color)));
    Panel2->setPalette(palette);
    Panel2->setText(Caption);
}

// The mode pair decides the mode and which controls apply to it; every path that changes the boxes ends
// here, so the settings and the controls cannot get out of step.
void TVs_optionsFrame::TakeModeFromBoxes() {
    CameraSettings.addframe = CheckBox2->isChecked() ? 1 : 0;
    CheckBox3->setEnabled(CheckBox1->isChecked());
    CheckBox4->setEnabled(CheckBox1->isChecked());
    Edit1->setEnabled(CheckBox2->isChecked());
    SpinButton1->setEnabled(CheckBox2->isChecked());
}

void TVs_optionsFrame::SyncControls() {
    CheckBox1->setChecked(CameraSettings.addframe == 0);
    CheckBox2->setChecked(CameraSettings.addframe == 1);
    CheckBox3->setChecked(CameraSettings.gamma == 0);
    CheckBox4->setChecked(CameraSettings.aru == 1);
    Edit1->setText(ExposureText());
    TakeModeFromBoxes();
}

void TVs_optionsFrame::CheckBox1MouseUp() {
    CheckBox2->setChecked(!CheckBox1->isChecked());
    TakeModeFromBoxes();
}

void TVs_optionsFrame::CheckBox2MouseUp() {
    CheckBox1->setChecked(!CheckBox2->isChecked());
    TakeModeFromBoxes();
}

void TVs_optionsFrame::CheckBox3MouseUp() {
    CameraSettings.gamma = CheckBox3->isChecked() ? 0 : 1;
}

void TVs_optionsFrame::CheckBox4MouseUp() {
    CameraSettings.aru = CheckBox4->isChecked() ? 1 : 0;
}

void TVs_optionsFrame::SpinButton1UpClick() {
    CameraSettings.nframe = std::min(CameraSettings.nframe + ExposureStep, MaxExposure);
    Edit1->setText(ExposureText());
}

void TVs_optionsFrame::SpinButton1DownClick() {
    CameraSettings.nframe = std::max(CameraSettings.nframe - ExposureStep, MinExposure);
    Edit1->setText(ExposureText());
}

void TVs_optionsFrame::RestoreControls() {
    CheckBox1->setEnabled(true);
    CheckBox2->setEnabled(true);
    TakeModeFromBoxes();
    Button1->setEnabled(true);
    Button2->setEnabled(true);
    SetPanel2("0.0", ElapsedColor);
}

void TVs_optionsFrame::SpeedButton1Click() {
    CameraStop = true;
    Timer1.SetEnabled(false);
    RestoreControls();
}

void TVs_optionsFrame::Timer1Timer() {
    ++TickCounter;
    ++DisplayCounter;
    if (DisplayCounter >= DisplayEvents) {
        SetPanel2(FormatFixed(TickCounter * 0.1, 3, 1), Panel2FontColor());
        DisplayCounter = 0;
    }
    if (TickCounter >= TickTarget) {
        SetPanel2(Panel2->text(), ElapsedDoneColor);
        Timer1.SetEnabled(false);
    }
}

void TVs_optionsFrame::ReportCameraFault() {
    if (FaultReported)
        return;
    FaultReported = true;
    ShowError(CameraFaultText, false);
}

// One frame into the video window, fetched anew: while messages were processed the window may have
// closed or Undo may have replaced its picture. GetPixelGraphic also stops the viewer's display copy,
// which would otherwise read the picture while the board writes it. False when there is no video window.
// A lost frame is reported only where the old picture would pass for the new one; "Цикл" takes the next.
bool TVs_optionsFrame::GrabIntoVideo(TLostFrame LostFrame) {
    TPictForm* video = Form1 ? Form1->VideoWindow() : nullptr;
    if (!video || video->parentWidget()->isHidden())
        return false;
    TPixelGraphic* picture = video->PGImage1->GetPixelGraphic();
    if (!picture)
        return false;
    if (GrabFrame())
        ReadFrame(picture);
    else if (LostFrame == TLostFrame::Report)
        ReportCameraFault();
    picture->Changed();
    return true;
}

void TVs_optionsFrame::SingleGrab() {
    GrabIntoVideo(TLostFrame::Report);
}

// The exposure and its end sequence, which returns the camera to normal frames also when the video window
// has gone meanwhile.
void TVs_optionsFrame::RunAccumulation() {
    WaitFrameSync();
    SendControlByte(1, 1, 0, 1, 7);
    TickTarget = int(Round(CameraSettings.nframe * 1000 / Timer1.Interval()));
    TickCounter = 1;
    DisplayCounter = 1;
    Timer1.SetEnabled(true);
    do
        ProcessMessages(TIdleWait::UntilNextEvent);
    while (Timer1.Enabled());
    WaitFrameSync();
    SendControlByte(0, 1, 0, 1, 7);
    PortOut(PortMap.StartFrame, 1);
    WaitFrameSync();
    PortOut(PortMap.StartFrame, 0);
    WaitFrameSync();
    SendControlByte(0, 1, CameraSettings.aru, 1, 7);
}

void TVs_optionsFrame::Accumulate() {
    RunAccumulation();
    GrabIntoVideo(TLostFrame::Report);
    SetPanel2("0.0", ElapsedColor);
}

void TVs_optionsFrame::GrabCycle() {
    CameraStop = false;
    do {
        if (CameraSettings.addframe == 0) {
            if (!GrabIntoVideo(TLostFrame::Skip))
                break;
            ProcessMessages();
        } else {
            RunAccumulation();
            if (!CameraStop) {
                if (!GrabIntoVideo(TLostFrame::Skip))
                    break;
                ProcessMessages();
                SetPanel2("0.0", ElapsedColor);
            }
        }
    } while (!CameraStop);
}

// The sync check and the control byte with which both commands begin.
void TVs_optionsFrame::StartCamera() {
    if (!WaitFrameSync())
        ReportCameraFault();
    SendControlByte(0, 1, CameraSettings.aru, CameraSettings.gamma, 7);
    WaitFrameSync();
}

void TVs_optionsFrame::Button1Click() {
    // A click queued behind "Стоп" must not start a second operation inside the running one.
    if (CameraBusy)
        return;
    const TOperation operation(*this);
    StartCamera();
    Edit1->setEnabled(false);
    SpinButton1->setEnabled(false);
    if (CheckBox1->isChecked())
        SingleGrab();
    if (CheckBox2->isChecked()) {
        for (QWidget* control : std::initializer_list<QWidget*>{Button1, Button2, CheckBox1, CheckBox2})
            control->setEnabled(false);
        SpeedButton1->setEnabled(true);
        Accumulate();
    }
}

void TVs_optionsFrame::Button2Click() {
    if (CameraBusy)
        return;
    const TOperation operation(*this);
    SpeedButton1->setEnabled(true);
    CameraSettings.gamma = CheckBox3->isChecked() ? 0 : 1;
    CameraSettings.aru = CheckBox4->isChecked() ? 1 : 0;
    StartCamera();
    for (QWidget* control : std::initializer_list<QWidget*>{CheckBox1, CheckBox2, CheckBox3, CheckBox4, Edit1,
                                                            SpinButton1, Button1, Button2})
        control->setEnabled(false);
    GrabCycle();
}
