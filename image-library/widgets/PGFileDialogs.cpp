// The picture open and save dialogs: type lists from the registries, the preview panel and its worker.
#include "image-library/widgets/PGFileDialogs.h"

#include "framework/MessageBox.h"
#include "framework/Rounding.h"
#include "framework/ScreenCaps.h"
#include "framework/TickCount.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGQuantize.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/widgets/PGProgressClock.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <cmath>
#include <numbers>

namespace {

// The panel's own event: start the preview after the selection pause.
const QEvent::Type StartPreviewEvent = QEvent::Type(QEvent::registerEventType());

// The child area beside the dialog's own controls: it receives the worker's events and holds the two
// owner-drawn boxes.
class TPreviewPanel : public QWidget {
public:
    explicit TPreviewPanel(TPGOpenDialog& Owner) : Owner(Owner) {}

protected:
    bool event(QEvent* Event) override {
        WorkerEventReceived(Event);
        if (Event->type() == TPGPictureReadyEvent::EventType()) {
            Owner.PictureReady(static_cast<TPGPictureReadyEvent&>(*Event));
            return true;
        }
        if (Event->type() == TPGJobProgressEvent::EventType()) {
            Owner.ProgressReported(static_cast<TPGJobProgressEvent&>(*Event));
            return true;
        }
        if (Event->type() == StartPreviewEvent) {
            Owner.StartPreview();
            return true;
        }
        return QWidget::event(Event);
    }

private:
    TPGOpenDialog& Owner;
};

// An owner-drawn box: the dialog paints it.
class TDrawnBox : public QWidget {
public:
    using TDraw = void (TPGOpenDialog::*)(QPainter&, const QRect&);
    TDrawnBox(TPGOpenDialog& Owner, TDraw Draw, QWidget* Parent)
        : QWidget(Parent), Owner(Owner), Draw(Draw) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        (Owner.*Draw)(painter, rect());
    }

private:
    TPGOpenDialog& Owner;
    TDraw Draw;
};

// Lines as the platform draws them: each segment without its end point, which the next one starts at.
void Polyline(QPainter& Painter, TColor Color, std::initializer_list<QPoint> Points) {
    Painter.setPen(ColorToQColor(Color));
    const QPoint* previous = nullptr;
    for (const QPoint& p : Points) {
        if (previous) {
            const QPoint d(p.x() > previous->x()   ? 1
                           : p.x() < previous->x() ? -1
                                                   : 0,
                           p.y() > previous->y()   ? 1
                           : p.y() < previous->y() ? -1
                                                   : 0);
            if (p != *previous)
                Painter.drawLine(*previous, p - d);
        }
        previous = &p;
    }
}

// A multiple selection comes back as quoted names: the first one is used.
QString FirstSelectedPath(QString Path) {
    const qsizetype split = Path.indexOf(QStringLiteral("\" \""));
    if (split >= 0) {
        Path.truncate(split);
        const qsizetype quote = Path.indexOf(u'"');
        if (quote >= 0)
            Path.remove(quote, 1);
    }
    return Path;
}

template <class Registry> std::vector<const TFileFormatReaderWriter*> EnabledEntries(const Registry& List) {
    std::vector<const TFileFormatReaderWriter*> result;
    for (const auto& entry : List)
        if (entry->Enabled)
            result.push_back(entry.get());
    return result;
}

QString TypeEntry(const TFileFormatReaderWriter& Format) {
    return Format.Extension.toUpper() + QStringLiteral(" - ") + Format.Description + QStringLiteral("|*.") +
           Format.Extension.toLower() + u'|';
}

} // namespace

QSize PreviewReductionSize(int Width, int Height, int BoxWidth, int BoxHeight) {
    if (Width <= BoxWidth && Height <= BoxHeight)
        return {Width, Height};
    const double a = double(Width) / Height;
    if (double(BoxWidth) / BoxHeight < a)
        return {BoxWidth, std::min(std::max(int(double(BoxWidth) / a), 1), Height)};
    return {std::min(std::max(int(double(BoxHeight) * a), 1), Width), BoxHeight};
}

// ---- the worker

void TCreateOpenSaveDialogPaintPGThread::Progress(TObject*, int Step, int Max, bool& Abort) {
    if (Max > 0) {
        const int percent = int(int64_t(Step) * 100 / Max);
        const uint32_t tick = GetTickCount();
        if (percent != LastPercent && (tick / 100 != LastTick / 100 || percent / 16 != LastSixteenth)) {
            LastPercent = percent;
            LastSixteenth = percent / 16;
            LastTick = tick;
            PostWorkerEvent(Window, new TPGJobProgressEvent(Job, Stage * 16 + SubStage, percent));
        }
    }
    Abort = Terminated();
}

std::unique_ptr<TPixelGraphic>
TCreateOpenSaveDialogPaintPGThread::Converted(std::unique_ptr<TPixelGraphic> P) {
    const auto progress = [this](TObject* Sender, int Step, int Max, bool& Abort) {
        Progress(Sender, Step, Max, Abort);
    };
    // Each step copies into a new picture of the wanted size and format; the reduction comes first so that
    // the colour work sees only the small picture.
    const auto step = [&](int W, int H, uint8_t BitCountNum, auto&& PrepareTarget) {
        auto q = std::make_unique<TPixelGraphic>();
        ++Stage;
        q->SetOnProgress(progress);
        q->SetStretchMode(StretchMode);
        q->SetFormat(W, H, BitCountNum);
        PrepareTarget(*q);
        q->CopyFrom(*P);
        P = std::move(q);
    };
    if (P->GetWidth() > BoxWidth || P->GetHeight() > BoxHeight) {
        const QSize size = PreviewReductionSize(P->GetWidth(), P->GetHeight(), BoxWidth, BoxHeight);
        step(size.width(), size.height(), 3, [](TPixelGraphic&) {});
    }
    if (Terminated())
        return P;
    if (ScreenBits < 8) {
        step(P->GetWidth(), P->GetHeight(), 1, [](TPixelGraphic& Q) { Q.SetPaletteIdent(pSys16); });
    } else if (ScreenBits == 8) {
        const bool trueColor = P->GetBitCountNum() == 3;
        step(P->GetWidth(), P->GetHeight(), 2, [&](TPixelGraphic& Q) {
            if ((trueColor && Palette8BitSys24BitGraphic == pOptimized252Sys16) ||
                (!trueColor && Palette8BitSys8BitGraphic == pOptimized252Sys16))
                BuildOptimizedPalette(Q, *P, 252, true);
            else if (!trueColor && Palette8BitSys8BitGraphic == pSource)
                Q.CopyPalette(P.get());
            else
                Q.SetPaletteIdent(trueColor ? Palette8BitSys24BitGraphic : Palette8BitSys8BitGraphic);
        });
    }
    return P;
}

void TCreateOpenSaveDialogPaintPGThread::Execute() {
    if (DoNothing)
        return;
    Stage = 1;
    SubStage = 0;
    LastPercent = 0;
    LastSixteenth = 0;
    LastTick = GetTickCount();
    if (!QFileInfo(FileName).isFile())
        return;
    auto p = std::make_unique<TPixelGraphic>();
    p->SetOnProgress(
        [this](TObject* Sender, int Step, int Max, bool& Abort) { Progress(Sender, Step, Max, Abort); });
    p->SetReadWarningAction(pgwaIgnore);
    p->SetFastLoad(true);
    try {
        p->LoadFromFile(FileName);
        if (!Terminated())
            p = Converted(std::move(p));
    } catch (...) {
        return; // a file that fails to load leaves the preview empty
    }
    if (!Terminated())
        PostWorkerEvent(Window, new TPGPictureReadyEvent(Job, std::move(p)));
}

// ---- the open dialog

TPGOpenDialog::TPGOpenDialog()
    : PreviewThread(CreateThread<TCreateOpenSaveDialogPaintPGThread>(false, true)) {
    SetOptions(ofHideReadOnly | ofShareAware);
    Timer.setInterval(150);
    Timer.setSingleShot(false);
    QObject::connect(&Timer, &QTimer::timeout, [this] { PreviewTimer(); });
    BuildFilter(Filter);
}

TPGOpenDialog::~TPGOpenDialog() {
    Timer.stop();
    StopPreviewThread();
    PreviewPicture.reset();
}

void TPGOpenDialog::StopPreviewThread() {
    // Whatever an earlier job still has queued is dropped on arrival.
    ++CurrentJob;
    if (PreviewThread)
        PreviewThread->Stop();
    ClockStage = 0;
}

void TPGOpenDialog::SetOptions(TOpenOptions Value) {
    if (!(Value & ofShareAware)) {
        MessageBox(
            QStringLiteral("TPGOpenDialog.Options and TPGSaveDialog.Options must include ofShareAware!"),
            QString(), mtWarning);
        Value |= ofShareAware;
    }
    TOpenDialog::SetOptions(Value);
}

std::vector<const TFileFormatReaderWriter*> TPGOpenDialog::FormatList() const {
    return EnabledEntries(FileFormatReaders());
}

void TPGOpenDialog::FilterExtension(int N, QString& Ext) const {
    Ext.clear();
    if (!UseDefaultFilter)
        return;
    const auto list = FormatList();
    const int first = IsSaveDialog ? 1 : 2;
    if (N >= first && N - first < int(list.size()))
        Ext = list[size_t(N - first)]->Extension.toLower();
}

int TPGOpenDialog::FilterFormatCount() const {
    return UseDefaultFilter ? int(FormatList().size()) : 0;
}

void TPGOpenDialog::BuildFilter(QString& AFilter) const {
    const auto list = EnabledEntries(FileFormatReaders());
    AFilter.clear();
    if (!list.empty()) {
        QStringList patterns;
        for (const auto* format : list)
            patterns << QStringLiteral("*.") + format->Extension.toLower();
        AFilter = PGLangStr(25) + u'|' + patterns.join(QStringLiteral("; ")) + u'|';
        for (const auto* format : list)
            AFilter += TypeEntry(*format);
    }
    AFilter += PGLangStr(26) + QStringLiteral("|*.*");
}

void TPGOpenDialog::Preparing() {
    InfoValid = false;
    if (UseDefaultFilter)
        BuildFilter(Filter);
}

void TPGOpenDialog::DialogCreated(QFileDialog& Dialog) {
    DialogWindow = &Dialog;
    auto* panel = new TPreviewPanel(*this);
    ChildWindow = panel;
    // Sizes in dialog units of the dialog's font: a quarter of the average character width across, an
    // eighth of the character height down. The panel stands where the platform's child area began at 192.
    const QFontMetrics metrics(Dialog.font());
    const auto dx = [&](int u) { return u * metrics.averageCharWidth() / 4; };
    const auto dy = [&](int u) { return u * metrics.height() / 8; };
    panel->setFixedSize(dx(288 - 192), dy(144));
    PreviewButton = new TDrawnBox(*this, &TPGOpenDialog::DrawPreview, panel);
    PreviewButton->setGeometry(dx(0), dy(20), dx(92), dy(85));
    InfoButton = new TDrawnBox(*this, &TPGOpenDialog::DrawInfo, panel);
    InfoButton->setGeometry(dx(1), dy(110), dx(92), dy(33));
    if (auto* grid = qobject_cast<QGridLayout*>(Dialog.layout()))
        grid->addWidget(panel, 0, grid->columnCount(), grid->rowCount(), 1, Qt::AlignTop);
    else
        Dialog.layout()->addWidget(panel);
}

void TPGOpenDialog::DialogShown(QFileDialog& Dialog) {
    const QRect screen = (Dialog.screen() ? Dialog.screen() : QGuiApplication::primaryScreen())->geometry();
    const QRect frame = Dialog.frameGeometry();
    Dialog.move(screen.x() + (screen.width() - frame.width()) / 2,
                screen.y() + (screen.height() - frame.height()) / 3);
}

void TPGOpenDialog::DialogFinishing() {
    Timer.stop();
    StopPreviewThread();
    PreviewPicture.reset();
    PreviewButton = InfoButton = ChildWindow = nullptr;
    DialogWindow = nullptr;
}

void TPGOpenDialog::SelectionChanged(const QString&) {
    Timer.stop();
    StopPreviewThread();
    PreviewPicture.reset();
    InfoValid = false;
    if (PreviewButton)
        PreviewButton->update();
    if (InfoButton)
        InfoButton->update();
    Timer.start();
}

void TPGOpenDialog::PreviewTimer() {
    if (ChildWindow)
        QCoreApplication::postEvent(ChildWindow, new QEvent(StartPreviewEvent));
    Timer.stop();
}

void TPGOpenDialog::StartPreview() {
    PreviewPicture.reset();
    StopPreviewThread();
    const QString path = FirstSelectedPath(CurrentFilePath());
    // Only regular files: opening a pipe or a device would block until someone writes to it.
    TFileFormatInfo info;
    InfoValid = QFileInfo(path).isFile() && GetFileFormatInfo(path, 0, info);
    InfoDescription = info.Description;
    InfoSubformat = info.Subformat;
    InfoExtra = info.Extra;
    InfoWidth = info.Width;
    InfoHeight = info.Height;
    InfoColors = info.Colors;
    InfoBitsPerPixel = info.BitsPerPixel;
    InfoPictureCount = info.PictureCount;
    if (InfoButton)
        InfoButton->update();
    if (PreviewButton)
        PreviewButton->update();
    if (!InfoValid || !ChildWindow || !PreviewButton)
        return;
    PreviewThread = std::make_unique<TCreateOpenSaveDialogPaintPGThread>(false);
    PreviewThread->Job = CurrentJob;
    PreviewThread->FileName = path;
    PreviewThread->Window = ChildWindow;
    PreviewThread->BoxWidth = PreviewButton->width() - 4;
    PreviewThread->BoxHeight = PreviewButton->height() - 4;
    PreviewThread->StretchMode = StretchMode;
    PreviewThread->Palette8BitSys24BitGraphic = Palette8BitSys24BitGraphic;
    PreviewThread->Palette8BitSys8BitGraphic = Palette8BitSys8BitGraphic;
    PreviewThread->ScreenBits = ScreenBitsPerPixel();
    PreviewThread->Resume();
}

void TPGOpenDialog::PictureReady(TPGPictureReadyEvent& Event) {
    if (Event.Job != CurrentJob)
        return; // a late result of an earlier file: the event frees it
    ClockStage = 0;
    PreviewPicture = std::move(Event.Picture);
    if (PreviewButton)
        PreviewButton->update();
}

void TPGOpenDialog::ProgressReported(const TPGJobProgressEvent& Event) {
    if (Event.Job != CurrentJob || !ProgressClockVisible)
        return;
    ClockStage = Event.Stage / 16;
    ClockPercent = Event.Percent;
    if (PreviewButton)
        PreviewButton->update();
}

void TPGOpenDialog::DrawPreview(QPainter& Painter, const QRect& Client) {
    const int L = Client.left(), T = Client.top(), R = L + Client.width(), B = T + Client.height();
    Painter.fillRect(QRect(L + 2, T + 2, R - 1 - (L + 2), B - 1 - (T + 2)), ColorToQColor(clBtnFace));
    Polyline(Painter, clBtnShadow, {{L, B - 2}, {L, T}, {R - 1, T}});
    Polyline(Painter, clBlack, {{L + 1, B - 3}, {L + 1, T + 1}, {R - 2, T + 1}});
    Polyline(Painter, clWhite, {{L, B - 1}, {R - 1, B - 1}, {R - 1, T - 1}});
    Polyline(Painter, clBtnFace, {{L + 1, B - 2}, {R - 2, B - 2}, {R - 2, T}});
    if (PreviewPicture && PreviewPicture->GetWidth() > 0 && PreviewPicture->GetHeight() > 0) {
        const int w = PreviewPicture->GetWidth(), h = PreviewPicture->GetHeight();
        const int W = R - L - 4, H = B - T - 4;
        int dw = w, dh = h;
        if (w > W || h > H) {
            const double a = double(w) / h;
            if (double(W) / H >= a) {
                dw = int(H * a);
                dh = H;
            } else {
                dw = W;
                dh = int(W / a);
            }
        }
        const int x = (L + R - dw) / 2, y = (T + B - dh) / 2;
        PreviewPicture->DrawTo(Painter, TRect{x, y, x + dw, y + dh});
    }
    if (ClockStage > 0 && ProgressClockVisible) {
        const QPoint at((L + R) / 2 - 8, (T + B) / 2 - 8);
        Painter.fillRect(QRect(at, QSize(ProgressClockSize, ProgressClockSize)), ColorToQColor(clBtnFace));
        DrawProgressClock(Painter, at, ClockStage, ClockPercent, ProgressClockBkColor,
                          ProgressClockLineColor);
    }
}

void TPGOpenDialog::DrawInfo(QPainter& Painter, const QRect& Client) {
    if (!ShowInfo || !InfoValid)
        return;
    QString size = QString::number(InfoWidth) + u'x' + QString::number(InfoHeight) + u'x' + InfoColors +
                   u' ' + QString::number(InfoBitsPerPixel) + u' ' + PGLangStr(24);
    if (InfoPictureCount > 1)
        size += QStringLiteral(", ") + QString::number(InfoPictureCount);
    QStringList lines;
    for (const QString* text : {&InfoDescription, &InfoSubformat, &InfoExtra})
        if (!text->isEmpty())
            lines << *text;
    lines << size;
    Painter.setFont(PGInfoLogFont.ToQFont());
    const QFontMetrics metrics(Painter.font());
    for (int i = 0; i < lines.size(); ++i)
        Painter.drawText(0, Client.height() * i / int(lines.size()) + metrics.ascent(), lines[i]);
}

void TPGOpenDialog::TypeChanged(int Index) {
    if (!IsSaveDialog || (GetOptions() & ofAllowMultiSelect))
        return;
    QString path = CurrentFilePath();
    const QString folder = CurrentFolderPath();
    if (path.isEmpty() || QFileInfo(path).isDir())
        return;
    QString ext;
    FilterExtension(Index, ext);
    // The name part's extension, if any, is swapped; a name without one gets it appended.
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot > slash)
        path.truncate(dot);
    if (!ext.isEmpty())
        path += u'.' + ext;
    const QFileInfo result(path);
    if (QDir::cleanPath(result.absolutePath()) == QDir::cleanPath(folder))
        path = result.fileName();
    SetFileNameField(path);
}

// ---- the save dialog

TPGSaveDialog::TPGSaveDialog() {
    IsSaveDialog = true;
    BuildFilter(Filter);
}

std::vector<const TFileFormatReaderWriter*> TPGSaveDialog::FormatList() const {
    return EnabledEntries(FileFormatWriters());
}

void TPGSaveDialog::BuildFilter(QString& AFilter) const {
    AFilter.clear();
    for (const auto* format : EnabledEntries(FileFormatWriters()))
        AFilter += TypeEntry(*format);
}

void TPGSaveDialog::Preparing() {
    TPGOpenDialog::Preparing();
    if (!UseDefaultFilter)
        return;
    const QString ext = FileFormatExtension(FileName);
    if (ext.isEmpty())
        return;
    for (int i = 1; i <= FilterFormatCount(); ++i) {
        QString candidate;
        FilterExtension(i, candidate);
        if (candidate == ext) {
            FilterIndex = i;
            break;
        }
    }
}

bool TPGSaveDialog::Completed(bool Accepted) {
    // A name without extension gets the chosen type's, whatever the result; but an empty name stays empty
    // and a type without extension adds no lone dot. A name ending in a dot has an empty extension, which
    // is replaced: "pic." becomes "pic.png".
    if (UseDefaultFilter && !FileName.isEmpty() && FileFormatExtension(FileName).isEmpty()) {
        QString ext;
        FilterExtension(FilterIndex, ext);
        if (!ext.isEmpty()) {
            if (FileName.endsWith(u'.'))
                FileName.chop(1);
            FileName += u'.' + ext;
        }
    }
    return Accepted;
}
