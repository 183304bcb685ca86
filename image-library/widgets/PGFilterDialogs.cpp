// The filter dialogs and their form: layout in code, value texts, and the two preview workers.
#include "image-library/widgets/PGFilterDialogs.h"

#include "framework/Controls.h"
#include "framework/Rounding.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/widgets/PGImage.h"
#include "image-library/widgets/PGWorkerEvents.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyleOptionSlider>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The copy worker's only message: the reduced copy is complete.
const QEvent::Type SourceReadyEvent = QEvent::Type(QEvent::registerEventType());

class TSourceReadyEvent : public QEvent {
public:
    TSourceReadyEvent() : QEvent(SourceReadyEvent) {}
    ~TSourceReadyEvent() override { WorkerEventReceived(this); }
};

// A track bar with the zero-width selection the platform's track bar shows: a small mark under the groove.
class TFilterTrackBar : public QSlider {
public:
    TFilterTrackBar(int SelPos, QWidget* Parent) : QSlider(Qt::Horizontal, Parent), SelPos(int16_t(SelPos)) {}

protected:
    void paintEvent(QPaintEvent* Event) override {
        QSlider::paintEvent(Event);
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect groove =
            style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
        const QRect handle =
            style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
        const int x = groove.x() + handle.width() / 2 +
                      QStyle::sliderPositionFromValue(minimum(), maximum(),
                                                      std::clamp(int(SelPos), minimum(), maximum()),
                                                      groove.width() - handle.width());
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Highlight));
        painter.drawLine(x - 2, groove.top() - 3, x + 2, groove.top() - 3);
        painter.drawLine(x, groove.top() - 3, x, groove.top() - 1);
    }

private:
    int SelPos;
};

QLabel* MakeLabel(QWidget* Parent, const QString& Text, Qt::Alignment Alignment) {
    auto* label = new QLabel(Text, Parent);
    label->setAlignment(Alignment | Qt::AlignTop);
    return label;
}

} // namespace

// ---- the dialog

TFilterDialog::~TFilterDialog() = default;

void TFilterDialog::PercentText(const TFilterTrack& Track, QString& Text) {
    const QString number = QString::number(Track.Position) + u'%';
    Text = Track.Position > 0 ? u'+' + number : Track.Position == 0 ? PGLangStr(82) + number : number;
}

QString TFilterDialog::ValueText(int N) {
    QString text;
    if (N == 1)
        ValueText1(text);
    else if (N == 2)
        ValueText2(text);
    else
        ValueText3(text);
    return text;
}

void TFilterDialog::ControlsChanged() {
    if (Form) {
        for (size_t i = 0; i < Tracks.size(); ++i)
            if (Tracks[i].InUse && Form->Tracks[i].TrackBar) {
                Tracks[i].Position = Form->Tracks[i].TrackBar->value();
                Form->Tracks[i].ValueLabel->setText(ValueText(int(i) + 1));
            }
        if (Form->CheckBox)
            CheckBoxOn = Form->CheckBox->isChecked();
        if (Form->RadioButton1) {
            Radio1On = Form->RadioButton1->isChecked();
            Radio2On = Form->RadioButton2->isChecked();
        }
    }
    TransferToFilter(*Filter);
    // The preview restarts on every change, besides whatever the caller wants to hear of it.
    if (Form && Preview)
        Form->RestartFilterTimer();
    if (OnChange)
        OnChange(this);
}

QSize PreviewSourceSize(int Width, int Height, int ClientWidth, int ClientHeight) {
    if (Width <= 0 || Height <= 0)
        return {0, 0};
    if (Width <= ClientWidth && Height <= ClientHeight)
        return {Width, Height};
    if (double(Width) / Height > double(ClientWidth) / ClientHeight)
        return {ClientWidth, int(Round(double(int64_t(Height) * ClientWidth) / Width))};
    return {int(Round(double(int64_t(Width) * ClientHeight) / Height)), ClientHeight};
}

TFilterDialogGeometry FilterDialogGeometry(const TFilterDialog& Dialog, const TFilterControlSizes& Sizes) {
    TFilterDialogGeometry g;
    const auto captionWidth = [&](const TFilterTrack& Track) {
        return std::max(Track.CaptionWidth, Sizes.Caption);
    };
    const auto valueWidth = [&](const TFilterTrack& Track) {
        return std::max(Track.ValueWidth, Sizes.Value);
    };
    const auto& t1 = Dialog.Tracks[0];
    const int m = t1.InUse ? 10 : 40, c1 = captionWidth(t1), v1 = valueWidth(t1);
    int cw = t1.InUse && Dialog.Preview ? m + c1 + 240 + v1 + 10 + 140 + m
             : t1.InUse                 ? m + c1 + 240 + v1 + m
                                        : 2 * m + 140;
    for (size_t n = 0; n < 3; ++n) {
        const auto& track = Dialog.Tracks[n];
        const int top = 10 + 50 * int(n), c = captionWidth(track);
        auto& tg = g.Tracks[n];
        if (track.InUse || (n == 2 && Dialog.RadioUsed))
            tg.CaptionLabel = QRect(m, top + 6, c, Sizes.Label);
        if (!track.InUse)
            continue;
        tg.Bar = QRect(m + c, top, 240, 32);
        tg.MinLabel = QRect(m + c, top + 32, 80, Sizes.Label);
        tg.MidLabel = QRect(m + c + 80, top + 32, 80, Sizes.Label);
        tg.MaxLabel = QRect(m + c + 160, top + 32, 80, Sizes.Label);
        tg.ValueLabel = QRect(m + c + 240, top + 6, valueWidth(track), Sizes.Label);
    }
    if (Dialog.Preview)
        g.Preview = QRect(cw - m - 140, 12, 140, 140);
    // The options sit below the bars and the preview: wide ones widen the dialog instead of moving them.
    if (Dialog.CheckBoxUsed) {
        g.CheckBox = QRect(m, 160, Sizes.CheckBoxWidth, Sizes.CheckBox);
        cw = std::max(cw, g.CheckBox.right() + 1 + m);
    }
    if (Dialog.RadioUsed) {
        const int top = Dialog.Tracks[2].InUse ? 160 : 115;
        g.Radio1 = QRect(m + c1 + 6, top, Sizes.Radio1Width, Sizes.Radio);
        g.Radio2 =
            QRect(std::max(m + c1 + 112, g.Radio1.right() + 1 + 6), top, Sizes.Radio2Width, Sizes.Radio);
        cw = std::max(cw, g.Radio2.right() + 1 + m);
    }
    if (!Dialog.OptionsCaption.isEmpty())
        g.OptionsLabel = QRect(m, 161, c1, Sizes.Label);
    // Each later control that is present pushes the line below itself.
    int bevel = 10;
    if (Dialog.Tracks[1].InUse)
        bevel = g.Tracks[1].MaxLabel.top() + g.Tracks[1].MaxLabel.height() + 10;
    if (Dialog.Preview)
        bevel = 160;
    if (Dialog.RadioUsed)
        bevel = g.Radio1.top() + g.Radio1.height() + 10;
    if (Dialog.CheckBoxUsed)
        bevel = g.CheckBox.top() + g.CheckBox.height() + 10;
    g.Bevel = QRect(5, bevel, cw - 10, 3);
    g.OK = QRect(cw / 2 - 95, bevel + 12, 85, 24);
    g.Cancel = QRect(cw / 2 + 10, bevel + 12, 85, 24);
    g.Client = QSize(cw, g.OK.top() + g.OK.height() + 10);
    return g;
}

bool TFilterDialog::ExecuteDialog() {
    SaveValues();
    SetCaptions();
    // Form is cleared on every way out, so nothing refers to the freed form afterwards.
    struct TFormReset {
        TFilterDialog& Dialog;
        ~TFormReset() { Dialog.Form = nullptr; }
    } reset{*this};
    auto form = std::make_unique<TFilterDialogForm>(*this);
    Form = form.get();
    if (Preview)
        form->StartPreview();
    const int r = form->exec();
    // Every worker ends before the caller gets its picture back and before any control goes.
    form->StopThreads();
    if (r != QDialog::Accepted) {
        RestoreValues();
        TransferToFilter(*Filter);
    }
    form.reset();
    return r == QDialog::Accepted;
}

bool TPreviewFilterDialog::Execute(TPixelGraphic* Picture) {
    Source = Picture;
    const bool result = ExecuteDialog();
    Source = nullptr;
    return result;
}

// ---- brightness, contrast and gamma

TBCGFilterDialog::TBCGFilterDialog() {
    Filter = CreateFilter();
    const QString zero = PGLangStr(82) + QStringLiteral("0%");
    Tracks[0] = {true, -100, 100, 10, 0, 55, {}, QStringLiteral("-100%"), zero, QStringLiteral("+100%"),
                 32,   0};
    Tracks[1] = {true,
                 -100,
                 100,
                 100,
                 0,
                 55,
                 {},
                 QStringLiteral("0.20"),
                 QStringLiteral("1.00"),
                 QStringLiteral("5.00"),
                 32,
                 0};
    Tracks[2] = Tracks[1];
    Tracks[2].Caption = PGLangStr(63);
    Preview = true;
    CheckBoxUsed = false;
    RadioUsed = true;
    Radio1Caption = PGLangStr(64);
    Radio1On = true;
    Radio2Caption = PGLangStr(65);
    Radio2On = false;
    TransferToFilter(*Filter);
}

long double TBCGFilterDialog::Factor(int Position) {
    return std::exp(std::log(5.0L) * 0.01L * Position);
}

long double TBCGFilterDialog::FactorOf(int Position) {
    return Round(Factor(Position) * 100) * 0.01L;
}

int TBCGFilterDialog::PositionOf(long double Value) {
    Value = std::clamp(Value, 0.2L, 5.0L);
    return std::clamp(int(Round(std::log(Value) * 100 / std::log(5.0L))), -100, 100);
}

void TBCGFilterDialog::FactorText(int Position, QString& Text) {
    // The general conversion of v + 0.001 without its last digit always shows two decimals; a decimal
    // point in every locale, like the fixed texts under the bar.
    Text = QString::number(double(FactorOf(Position)) + 0.001, 'g', 15);
    Text.chop(1);
}

void TBCGFilterDialog::SetBrightness(int Value) {
    Tracks[0].Position = std::clamp(Value, -100, 100);
}

void TBCGFilterDialog::SetUseY(bool Value) {
    Radio2On = Value;
    Radio1On = !Value;
}

void TBCGFilterDialog::SetCaptions() {
    Tracks[0].Caption = PGLangStr(66);
    Tracks[1].Caption = PGLangStr(67);
    OptionsCaption = PGLangStr(68);
    Caption = PGLangStr(69);
}

std::unique_ptr<TPGFilter> TBCGFilterDialog::CreateFilter() {
    return std::make_unique<TBCGFilter>();
}

void TBCGFilterDialog::TransferToFilter(TPGFilter& AFilter) {
    auto& f = static_cast<TBCGFilter&>(AFilter);
    f.Brightness = Tracks[0].Position;
    f.Contrast = Factor(Tracks[1].Position);
    f.Gamma = Factor(Tracks[2].Position);
    f.UseY = Radio2On;
}

void TBCGFilterDialog::SaveValues() {
    SavedBrightness = Tracks[0].Position;
    SavedContrastPosition = Tracks[1].Position;
    SavedGammaPosition = Tracks[2].Position;
    SavedUseY = Radio2On;
}

void TBCGFilterDialog::RestoreValues() {
    Tracks[0].Position = SavedBrightness;
    Tracks[1].Position = SavedContrastPosition;
    Tracks[2].Position = SavedGammaPosition;
    Radio2On = SavedUseY;
    Radio1On = !SavedUseY;
}

// ---- the negative

TNegativeFilterDialog::TNegativeFilterDialog() {
    Filter = CreateFilter();
    Preview = true;
}

void TNegativeFilterDialog::SetCaptions() {
    Caption = PGLangStr(62);
}

std::unique_ptr<TPGFilter> TNegativeFilterDialog::CreateFilter() {
    return std::make_unique<TNegativeFilter>();
}

// ---- the workers

void TCreateSrcPGThread::Execute() {
    if (DoNothing || Terminated())
        return;
    // The copy of a large picture stops within a row once the form closes.
    Target->SetOnProgress([this](TObject*, int, int, bool& Abort) { Abort = Terminated(); });
    Target->CopyFrom(*Source);
    if (!Terminated())
        PostWorkerEvent(Window, new TSourceReadyEvent);
}

void TCreateDestPGThread::Execute() {
    if (DoNothing)
        return;
    auto result = std::make_unique<TPixelGraphic>();
    result->ApplyFilter(*Filter, *Source);
    Filter.reset();
    if (!Terminated())
        PostWorkerEvent(Window, new TPGPictureReadyEvent(Job, std::move(result)));
}

// ---- the form

TFilterDialogForm::TFilterDialogForm(TFilterDialog& ADialog) : QDialog(DialogOwner()), Dialog(ADialog) {
    // The texts are measured in the font they are shown in, so it comes first.
    QFont font = PGDialogFont ? *PGDialogFont : this->font();
    font.setPointSize(8);
    setFont(font);
    setWindowTitle(Dialog.Caption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    // Which controls there are; where they go follows once their texts are measured.
    const TFilterDialogGeometry plan = FilterDialogGeometry(Dialog);
    const auto changed = [this] { Dialog.ControlsChanged(); };
    for (size_t n = 0; n < 3; ++n) {
        const TFilterTrack& track = Dialog.Tracks[n];
        auto& controls = Tracks[n];
        if (!plan.Tracks[n].CaptionLabel.isEmpty())
            controls.CaptionLabel = MakeLabel(this, track.Caption, Qt::AlignLeft);
        if (!track.InUse)
            continue;
        auto* bar = new TFilterTrackBar(track.SelPos, this);
        bar->setRange(track.Min, track.Max);
        bar->setTickPosition(QSlider::TicksBelow);
        bar->setTickInterval(track.Frequency);
        bar->setValue(track.Position);
        QObject::connect(bar, &QSlider::valueChanged, this, changed);
        controls.TrackBar = bar;
        controls.MinLabel = MakeLabel(this, track.MinText, Qt::AlignLeft);
        controls.MidLabel = MakeLabel(this, track.MidText, Qt::AlignHCenter);
        controls.MaxLabel = MakeLabel(this, track.MaxText, Qt::AlignRight);
        controls.ValueLabel = MakeLabel(this, Dialog.ValueText(int(n) + 1), Qt::AlignRight);
    }
    if (Dialog.Preview) {
        PreviewImage = new TPGImage(this);
        PreviewImage->SetPalette8BitSys24BitGraphic(Dialog.Palette8BitSys24BitGraphic);
        PreviewImage->SetPalette8BitSys8BitGraphic(Dialog.Palette8BitSys8BitGraphic);
        PreviewImage->setProperty("ProgressClockBkColor", QVariant::fromValue(Dialog.ProgressClockBkColor));
        PreviewImage->setProperty("ProgressClockLineColor",
                                  QVariant::fromValue(Dialog.ProgressClockLineColor));
        PreviewImage->setProperty("ProgressClockVisible", Dialog.ProgressClockVisible);
        PreviewImage->setProperty("KeepOldPaintPixelGraphic", true);
        PreviewImage->SetCenter(true);
    }
    if (Dialog.CheckBoxUsed) {
        CheckBox = new QCheckBox(Dialog.CheckBoxCaption, this);
        CheckBox->setChecked(Dialog.CheckBoxOn);
        QObject::connect(CheckBox, &QCheckBox::clicked, this, changed);
    }
    if (Dialog.RadioUsed) {
        RadioButton1 = new QRadioButton(Dialog.Radio1Caption, this);
        RadioButton2 = new QRadioButton(Dialog.Radio2Caption, this);
        RadioButton1->setChecked(Dialog.Radio1On);
        RadioButton2->setChecked(Dialog.Radio2On);
        QObject::connect(RadioButton1, &QRadioButton::clicked, this, changed);
        QObject::connect(RadioButton2, &QRadioButton::clicked, this, changed);
    }
    if (!plan.OptionsLabel.isEmpty())
        OptionsLabel = MakeLabel(this, Dialog.OptionsCaption, Qt::AlignLeft);
    Bevel = new QFrame(this);
    Bevel->setFrameShape(QFrame::HLine);
    Bevel->setFrameShadow(QFrame::Sunken);
    OKButton = new QPushButton(PGLangStr(42), this);
    OKButton->setDefault(true);
    QObject::connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    CancelButton = new QPushButton(PGLangStr(43), this);
    QObject::connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    // The layout is in pixels at 100 pixels per inch.
    const double scale = logicalDpiX() / 100.0;
    const TFilterDialogGeometry g = FilterDialogGeometry(Dialog, MeasureControls(scale));
    const auto place = [scale](QWidget* Control, const QRect& r) {
        if (Control)
            Control->setGeometry(int(Round(r.x() * scale)), int(Round(r.y() * scale)),
                                 int(Round(r.width() * scale)), int(Round(r.height() * scale)));
    };
    for (size_t n = 0; n < 3; ++n) {
        const auto& tg = g.Tracks[n];
        const auto& controls = Tracks[n];
        place(controls.CaptionLabel, tg.CaptionLabel);
        place(controls.TrackBar, tg.Bar);
        place(controls.MinLabel, tg.MinLabel);
        place(controls.MidLabel, tg.MidLabel);
        place(controls.MaxLabel, tg.MaxLabel);
        place(controls.ValueLabel, tg.ValueLabel);
    }
    place(PreviewImage, g.Preview);
    place(CheckBox, g.CheckBox);
    place(RadioButton1, g.Radio1);
    place(RadioButton2, g.Radio2);
    place(OptionsLabel, g.OptionsLabel);
    place(Bevel, g.Bevel);
    place(OKButton, g.OK);
    place(CancelButton, g.Cancel);
    setFixedSize(int(Round(g.Client.width() * scale)), int(Round(g.Client.height() * scale)));
}

TFilterControlSizes TFilterDialogForm::MeasureControls(double Scale) {
    // Pixels before the scaling that become at least Pixels after it.
    const auto unscaled = [Scale](int Pixels) { return int(std::ceil(Pixels / Scale)); };
    TFilterControlSizes sizes;
    std::vector<QLabel*> labels{OptionsLabel}, captions{OptionsLabel};
    for (const auto& controls : Tracks) {
        labels.insert(labels.end(), {controls.CaptionLabel, controls.MinLabel, controls.MidLabel,
                                     controls.MaxLabel, controls.ValueLabel});
        captions.push_back(controls.CaptionLabel);
    }
    for (QLabel* label : labels)
        if (label)
            sizes.Label = std::max(sizes.Label, unscaled(label->sizeHint().height()));
    for (QLabel* caption : captions)
        if (caption)
            sizes.Caption = std::max(sizes.Caption, unscaled(caption->sizeHint().width()));
    // A value label holds the widest text it will show: the one at either end of its bar or at the zero mark.
    for (size_t n = 0; n < 3; ++n) {
        TFilterTrack& track = Dialog.Tracks[n];
        QLabel* label = Tracks[n].ValueLabel;
        if (!label)
            continue;
        const int position = track.Position;
        for (int p : {track.Min, track.Max, std::clamp(0, track.Min, track.Max)}) {
            track.Position = p;
            label->setText(Dialog.ValueText(int(n) + 1));
            sizes.Value = std::max(sizes.Value, unscaled(label->sizeHint().width()));
        }
        track.Position = position;
        label->setText(Dialog.ValueText(int(n) + 1));
    }
    if (CheckBox) {
        sizes.CheckBox = std::max(sizes.CheckBox, unscaled(CheckBox->sizeHint().height()));
        sizes.CheckBoxWidth = std::max(sizes.CheckBoxWidth, unscaled(CheckBox->sizeHint().width()));
    }
    if (RadioButton1) {
        sizes.Radio = std::max({sizes.Radio, unscaled(RadioButton1->sizeHint().height()),
                                unscaled(RadioButton2->sizeHint().height())});
        sizes.Radio1Width = std::max(sizes.Radio1Width, unscaled(RadioButton1->sizeHint().width()));
        sizes.Radio2Width = std::max(sizes.Radio2Width, unscaled(RadioButton2->sizeHint().width()));
    }
    return sizes;
}

TFilterDialogForm::~TFilterDialogForm() {
    // Before any member or child goes: the workers read PreviewSource and post to this window.
    StopThreads();
}

void TFilterDialogForm::StartPreview() {
    Timer.setInterval(100);
    QObject::connect(&Timer, &QTimer::timeout, this, [this] { StartFilterThread(); });
    SourceReady = false;
    PreviewSource = std::make_unique<TPixelGraphic>();
    const bool haveSource = Dialog.Source != nullptr;
    if (haveSource) {
        const QSize size = PreviewSourceSize(Dialog.Source->GetWidth(), Dialog.Source->GetHeight(),
                                             PreviewImage->ClientWidth(), PreviewImage->ClientHeight());
        PreviewSource->SetFormat(size.width(), size.height(), 3);
    }
    SourceThread = std::make_unique<TCreateSrcPGThread>(!haveSource);
    SourceThread->Window = this;
    SourceThread->Source = Dialog.Source;
    SourceThread->Target = PreviewSource.get();
    SourceThread->Resume();
    FilterThread = CreateThread<TCreateDestPGThread>(false, true);
}

void TFilterDialogForm::RestartFilterTimer() {
    if (FilterThread)
        FilterThread->Terminate();
    Timer.stop();
    Timer.start();
}

void TFilterDialogForm::StartFilterThread() {
    Timer.stop();
    if (!SourceReady)
        return;
    FilterThread.reset(); // terminates and waits
    FilterThread = std::make_unique<TCreateDestPGThread>(false);
    FilterThread->Window = this;
    FilterThread->Job = ++FilterRuns;
    FilterThread->Source = PreviewSource.get();
    FilterThread->Filter = Dialog.CreateFilter();
    Dialog.TransferToFilter(*FilterThread->Filter);
    FilterThread->Resume();
}

void TFilterDialogForm::StopThreads() {
    Timer.stop();
    FilterThread.reset();
    SourceThread.reset();
    PreviewSource.reset();
}

bool TFilterDialogForm::event(QEvent* Event) {
    WorkerEventReceived(Event);
    if (Event->type() == SourceReadyEvent) {
        SourceReady = true;
        RestartFilterTimer();
        return true;
    }
    if (Event->type() == TPGPictureReadyEvent::EventType()) {
        auto& ready = static_cast<TPGPictureReadyEvent&>(*Event);
        if (ready.Picture && PreviewImage)
            PreviewImage->SetPixelGraphic(std::move(ready.Picture));
        return true;
    }
    return QDialog::event(Event);
}
