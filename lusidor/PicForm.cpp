// The navigator model with its tree nodes, and the picture window: loading, Undo, sizing to the picture
// and the zoom, following the navigator, the load progress and the mouse that drives the measurements.
#include "PicForm.h"

#include "EntrP.h"
#include "Main.h"
#include "framework/ErrorBox.h"
#include "framework/NumberText.h"
#include "framework/Rounding.h"
#include "image-library/PGraphic.h"
#include "vs_drv.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>
#include <limits>

TPictMouseState PictMouse;

namespace {

// The item type that marks our nodes, so that a node of any other kind is never taken for one.
constexpr int NodeItemType = QTreeWidgetItem::UserType + 1;

// Removes Item from List and hands it over, so that the caller destroys it once it is out of the list.
template <class T> std::unique_ptr<T> TakeOut(std::vector<std::unique_ptr<T>>& List, T* Item) {
    const auto found =
        std::find_if(List.begin(), List.end(), [Item](const auto& p) { return p.get() == Item; });
    if (found == List.end())
        return nullptr;
    std::unique_ptr<T> owned = std::move(*found);
    List.erase(found);
    return owned;
}

// Destroys every object of List, the last first.
template <class T> void DestroyAll(std::vector<std::unique_ptr<T>>& List) {
    while (!List.empty()) {
        std::unique_ptr<T> last = std::move(List.back());
        List.pop_back();
    }
}

// The first object whose Field equals Name exactly (case and all), or -1.
template <class T>
int IndexByName(const std::vector<std::unique_ptr<T>>& List, QString T::*Field, const QString& Name) {
    for (size_t i = 0; i < List.size(); ++i)
        if ((*List[i]).*Field == Name)
            return int(i);
    return -1;
}

// The first object of List named Name, else a new one of that name with Owner, appended to List.
template <class T, class TOwner>
T* FindOrAddByName(std::vector<std::unique_ptr<T>>& List, QString T::*Field, const QString& Name,
                   TOwner* Owner) {
    const int index = IndexByName(List, Field, Name);
    if (index >= 0)
        return List[size_t(index)].get();
    List.push_back(std::make_unique<T>(Name, Owner));
    return List.back().get();
}

// The zoom the viewer works with: one that is not a finite number above 0 shows the picture at its size.
long double UsableZoom(long double Zoom) {
    return std::isfinite(Zoom) && Zoom > 0 ? Zoom : 1.0L;
}

int32_t ToInt32(long double Value) {
    if (!(Value > std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    if (!(Value < std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return int32_t(Round(Value));
}

int WidgetSide(int64_t Pixels) {
    return int(std::clamp<int64_t>(Pixels, 1, QWIDGETSIZE_MAX));
}

Qt::MouseButton QtButton(TMouseButton Button) {
    switch (Button) {
    case mbLeft:
        return Qt::LeftButton;
    case mbRight:
        return Qt::RightButton;
    case mbMiddle:
        break;
    }
    return Qt::MiddleButton;
}

} // namespace

TPict* PictOfNode(const QTreeWidgetItem* Node) {
    TObject* data = NodeData(Node);
    if (auto* pict = dynamic_cast<TPict*>(data))
        return pict;
    if (auto* infection = dynamic_cast<TInfection*>(data))
        return infection->Pict;
    if (auto* probe = dynamic_cast<TProbe*>(data))
        return probe->Infection->Pict;
    return nullptr;
}

// ---- Tree nodes

TNodeItem::TNodeItem(TObject* Data, const QString& Text)
    : QTreeWidgetItem({Text}, NodeItemType), Data(Data) {}

int TNodeItem::Level() const {
    int level = 0;
    for (const QTreeWidgetItem* up = parent(); up; up = up->parent())
        ++level;
    return level;
}

TObject* NodeData(const QTreeWidgetItem* Node) {
    return Node && Node->type() == NodeItemType ? static_cast<const TNodeItem*>(Node)->Data : nullptr;
}

// ---- TBase

TBase::TBase(TBinaryDataSet& DataSet, QTreeWidget& Nodes, QMdiArea& Windows)
    : DataSet(DataSet), Nodes(Nodes), Windows(Windows) {}

TBase::~TBase() {
    DestroyAll(Picts);
}

int TBase::IndexOf(const QString& FileName) const {
    return IndexByName(Picts, &TPict::FileName, FileName);
}

TPict* TBase::FindOrAddPict(const QString& FileName) {
    return FindOrAddByName(Picts, &TPict::FileName, FileName, this);
}

void TBase::Delete(TPict* Pict) {
    TakeOut(Picts, Pict).reset();
}

void TBase::DeleteNode(TNodeItem*& Node) {
    if (!Node)
        return;
    if (OnNodeDestroyed)
        OnNodeDestroyed(Node);
    delete std::exchange(Node, nullptr);
}

// ---- TPict

TPict::TPict(const QString& FileName, TBase* Base) : FileName(FileName), Base(Base) {
    Node = new TNodeItem(this, FileName);
    Base->Nodes.addTopLevelItem(Node);
    Base->Nodes.setCurrentItem(Node);
    try {
        OpenWindow();
        ShowUnlocking();
    } catch (...) {
        // No destructor runs for a record that was never made: take back the window and the node here.
        CloseWindow(true);
        Base->DeleteNode(Node);
        throw;
    }
}

TPict::~TPict() {
    DestroyAll(Infections);
    Base->DeleteNode(Node);
    CloseWindow(false);
}

void TPict::OpenWindow() {
    Form = TPictForm::CreateChild(Base->Windows);
    Form->Pict = this;
}

void TPict::ShowUnlocking() {
    const auto unlock = qScopeGuard([form = Form] {
        if (form)
            form->setUpdatesEnabled(true);
    });
    Show(FileName);
}

void TPict::CloseWindow(bool Now) {
    TPictForm* form = Form;
    if (!form)
        return;
    Form = nullptr;
    form->Pict = nullptr;
    QWidget* window = form->SubWindow();
    if (!window)
        window = form;
    if (Now)
        delete window;
    else
        window->close();
}

void TPict::Show(const QString& FileName) {
    if (!Form)
        return;
    Form->LoadImageFile(Base->ImageFolder + FileName);
    if (const TPixelGraphic* picture = Form->PGImage1->GetPixelGraphicNoWait())
        Form->SetClientSize(picture->GetWidth(), picture->GetHeight());
    const long double zoom = Form->PGImage1->GetZoomFactor();
    Form->setWindowTitle(FileName + " [ " + FormatFixed(double(zoom * 100), 3, 1) + "% ]");
}

void TPict::Reopen() {
    if (!Form)
        OpenWindow();
    ShowUnlocking();
}

int TPict::IndexOfInfection(const QString& Name) const {
    return IndexByName(Infections, &TInfection::Name, Name);
}

TInfection* TPict::FindOrAddInfection(const QString& Name) {
    return FindOrAddByName(Infections, &TInfection::Name, Name, this);
}

void TPict::Delete(TInfection* Infection) {
    TakeOut(Infections, Infection).reset();
}

// ---- TInfection

TInfection::TInfection(const QString& Name, TPict* Pict) : Pict(Pict), Name(Name) {
    Node = new TNodeItem(this, Name);
    Pict->Node->addChild(Node);
}

TInfection::~TInfection() {
    DestroyAll(Probes);
    Pict->Base->DeleteNode(Node);
}

void TInfection::SetName(const QString& Value) {
    Name = Value;
    Node->setText(0, Value);
}

int TInfection::IndexOfProbe(const QString& Name) const {
    return IndexByName(Probes, &TProbe::Name, Name);
}

TProbe* TInfection::FindOrAddProbe(const QString& Name) {
    return FindOrAddByName(Probes, &TProbe::Name, Name, this);
}

TProbe* TInfection::AddStandard(const QString& Name) {
    Standard = FindOrAddProbe(Name);
    return Standard;
}

void TInfection::Delete(TProbe* Probe) {
    if (Standard == Probe)
        Standard = nullptr;
    TakeOut(Probes, Probe).reset();
}

// ---- TProbe

TProbe::TProbe(const QString& Name, TInfection* Infection) : Infection(Infection), Name(Name) {
    Node = new TNodeItem(this, Name);
    Infection->Node->addChild(Node);
    // The node knows its probe already: selecting it runs the navigator's change handler at once.
    Infection->Pict->Base->Nodes.setCurrentItem(Node);
}

TProbe::~TProbe() {
    Infection->Pict->Base->DeleteNode(Node);
}

bool TProbe::IsStandardName(const QString& Name) {
    return Name.startsWith(u'E');
}

void TProbe::SetName(const QString& Value) {
    Name = Value;
    Node->setText(0, Value);
}

// ---- Picture coordinates

TPoint PictureCoordinates(const TPGImage& Image, int X, int Y) {
    const long double zoom = UsableZoom(Image.GetZoomFactor());
    return {ToInt32(X / zoom), ToInt32(Y / zoom)};
}

// ---- TPictForm

TPictForm::TPictForm(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    PGImage1->SetBorderStyle(bsNone);
    PGImage1->SetActionMode(amMoveResizeCreateSelection);
    PGImage1->SetAllow24BitStretch(true);
    PGImage1->SetDither(false);
    PGImage1->SetPalette8BitSys24BitGraphic(pGray256);
    PGImage1->SetPalette8BitSys8BitGraphic(pGray256);
    PGImage1->SetStretch(sZoomKAR);
    PGImage1->setProperty("ReduceOnLoad", true);
    PGImage1->setProperty("ProgressClockVisible", false);
    PGImage1->setProperty("ShowHourGlass", false);
    PGImage1->SetSelectionColor2(0x000000);
    PGImage1->OnZoomFactorChange = [this](TObject*) { PGImage1ZoomFactorChange(); };
    PGImage1->OnPixelGraphicProgress = [this](TObject*, int Step, int Max, bool&) {
        PGImage1PixelGraphicProgress(Step, Max);
    };
    PGImage1->OnPixelGraphicProgressEnd = [this](TObject*) { PGImage1PixelGraphicProgressEnd(); };
    PGImage1->SetPicBoxOnMouseDown([this](TObject*, TMouseButton Button, TShiftState, int X, int Y) {
        PGImage1PicBoxOnMouseDown(Button, X, Y);
    });
    PGImage1->SetPicBoxOnMouseMove(
        [this](TObject*, TShiftState Shift, int X, int Y) { PGImage1PicBoxOnMouseMove(Shift, X, Y); });
    PGImage1->SetPicBoxOnMouseUp([this](TObject*, TMouseButton Button, TShiftState, int X, int Y) {
        PGImage1PicBoxOnMouseUp(Button, X, Y);
    });
}

TPictForm::~TPictForm() {
    CallGuarded([this] { FormDestroy(); });
}

TPictForm* TPictForm::CreateChild(QMdiArea& Area) {
    auto* form = new TPictForm;
    QMdiSubWindow* window = Area.addSubWindow(form);
    window->setAttribute(Qt::WA_DeleteOnClose);
    form->FormCreate();
    window->show();
    return form;
}

TForm1* TPictForm::MainForm() const {
    // Null also while the main window is being torn down: its windows then go without a word to it.
    return qobject_cast<TForm1*>(window());
}

QMdiSubWindow* TPictForm::SubWindow() const {
    return qobject_cast<QMdiSubWindow*>(parentWidget());
}

bool TPictForm::OnlyChild(const QMdiArea& Area) const {
    // The own window by its plain pointer: while it is being destroyed it is no QMdiSubWindow any more.
    const QWidget* own = parentWidget();
    // Qt may still list windows that were closed and wait for their deletion: only shown ones count.
    const QList<QMdiSubWindow*> windows = Area.subWindowList();
    return std::none_of(windows.begin(), windows.end(),
                        [own](const QMdiSubWindow* window) { return window != own && !window->isHidden(); });
}

bool TPictForm::HasPicture() const {
    const TPixelGraphic* picture = PGImage1->GetPixelGraphicNoWait();
    return picture && !picture->GetEmpty();
}

void TPictForm::FormCreate() {
    // The picture record unlocks once the picture is in.
    setUpdatesEnabled(false);
    ShowProgress = false;
    TForm1* main = MainForm();
    if (main && OnlyChild(*main->MdiArea) && main->Mode == TForm1::SpecialMode && main->EntryForm)
        main->EntryForm->show();
}

void TPictForm::closeEvent(QCloseEvent* Event) {
    FormClose();
    Event->accept();
}

void TPictForm::FormClose() {
    if (TForm1* main = MainForm())
        for (QLabel* panel : {main->Panel4, main->Panel5, main->Panel6, main->Panel7})
            panel->clear();
}

void TPictForm::FormDestroy() {
    TForm1* main = MainForm();
    if (main && OnlyChild(*main->MdiArea)) {
        if (main->Mode == TForm1::SpecialMode && main->EntryForm)
            main->EntryForm->hide();
        if (main->ChartWindow)
            main->ChartWindow->close();
    }
    if (Tag != VideoTag && Pict)
        Pict->Form = nullptr;
}

void TPictForm::FormActivate() {
    PictMouse.JustActivated = true;
    TForm1* main = MainForm();
    if (!Pict || !main)
        return;
    // The current node, not the selection: a click in the navigator moves the current node first and brings
    // this window up before the tree selects the clicked node.
    if (PictOfNode(main->TreeView1->currentItem()) != Pict)
        main->TreeView1->setCurrentItem(Pict->Node);
}

void TPictForm::SaveScroll() {
    ScrollX = PGImage1->horizontalScrollBar()->value();
    ScrollY = PGImage1->verticalScrollBar()->value();
}

void TPictForm::RestoreScroll() {
    PGImage1->horizontalScrollBar()->setValue(ScrollX);
    PGImage1->verticalScrollBar()->setValue(ScrollY);
}

void TPictForm::Undo() {
    // A window whose picture never loaded has nothing to go back to.
    if (!KeptGraphic)
        return;
    Modified = false;
    SaveScroll();
    PGImage1->AssignPixelGraphic(KeptGraphic.get());
    RestoreScroll();
    if (TForm1* main = MainForm())
        main->UpdateMenuItems();
}

void TPictForm::KeepPicture() {
    KeptGraphic = HasPicture() ? PGImage1->GetPixelGraphicCopy() : nullptr;
}

void TPictForm::LoadImageFile(const QString& FileName) {
    try {
        PGImage1->LoadFromFile(FileName);
        TPixelGraphic* loaded = PGImage1->GetPixelGraphic();
        // Measurements and image commands work on 24-bit pictures only.
        if (loaded && !loaded->GetEmpty() && loaded->GetBitCountNum() != 3) {
            auto trueColor = std::make_unique<TPixelGraphic>();
            trueColor->SetFormat(loaded->GetWidth(), loaded->GetHeight(), 3);
            trueColor->SetPaletteIdent(pTrueColor);
            trueColor->CopyRect(0, 0, loaded->GetWidth(), loaded->GetHeight(), 0, 0, *loaded);
            PGImage1->SetPixelGraphic(std::move(trueColor));
        }
    } catch (...) {
        // A failed reload took the picture away: the one kept before stays, and Undo offers it back.
        if (KeptGraphic) {
            Modified = true;
            if (TForm1* main = MainForm())
                main->UpdateMenuItems();
        }
        throw;
    }
    KeepPicture();
}

void TPictForm::DropMeasurement() {
    Measured = false;
    Undo();
}

void TPictForm::PreparePicture() {
    if (Measured)
        DropMeasurement();
    else
        KeepPicture();
}

void TPictForm::SetClientSize(int64_t Width, int64_t Height) {
    QMdiSubWindow* window = SubWindow();
    if (!window || window->isMinimized() || window->isMaximized())
        return;
    const QSize client(WidgetSide(Width), WidgetSide(Height));
    // The frame around the client (border and title bar) is what the window's style gives it.
    const QMargins frame = window->contentsMargins();
    const QSize outer = client.grownBy(frame);
    // The video window keeps a fixed size, which must move with it.
    if (window->minimumSize() == window->maximumSize()) {
        setFixedSize(client);
        window->setFixedSize(outer);
    } else {
        window->resize(outer);
    }
}

void TPictForm::PGImage1ZoomFactorChange() {
    const long double zoom = UsableZoom(PGImage1->GetZoomFactor());
    TForm1* main = MainForm();
    if (main && main->Mode == TForm1::CameraMode)
        CameraSettings.zoom = double(zoom);
    if (HasPicture()) {
        const TPixelGraphic* picture = PGImage1->GetPixelGraphicNoWait();
        SetClientSize(Round(picture->GetWidth() * zoom), Round(picture->GetHeight() * zoom));
    }
    // Only the zoom part goes: a file name may hold a "[" of its own.
    QString caption = windowTitle();
    const qsizetype zoomPart = caption.lastIndexOf(u'[');
    if (zoomPart >= 0)
        caption.truncate(zoomPart);
    setWindowTitle(caption + "[" + FormatFixed(double(zoom * 100), 3, 1) + "%]");
}

void TPictForm::PGImage1PixelGraphicProgress(int Step, int Max) {
    TForm1* main = MainForm();
    if (!ShowProgress || !main)
        return;
    const int64_t percent = Max <= 0 ? 100 : int64_t(Step) * 100 / Max;
    QProgressBar* bar = main->ProgressBar1;
    if (percent - bar->value() >= ProgressBarStep)
        bar->setValue(std::min(bar->value() + ProgressBarStep, bar->maximum()));
}

void TPictForm::PGImage1PixelGraphicProgressEnd() {
    TForm1* main = MainForm();
    if (ShowProgress && main)
        main->ProgressBar1->setValue(0);
}

void TPictForm::PGImage1PicBoxOnMouseDown(TMouseButton Button, int X, int Y) {
    if (!HasPicture())
        return;
    if (Button == mbLeft) {
        // The window pressed is the one the measurement, the line profile and "Добавить" work on, also
        // when the entry form or another window held the activation and the press itself activated none.
        if (TForm1* main = MainForm(); main && SubWindow())
            main->MdiArea->setActiveSubWindow(SubWindow());
        const TPoint at = PictureCoordinates(*PGImage1, X, Y);
        PictMouse.PressX = at.X;
        PictMouse.PressY = at.Y;
        PictMouse.Pressed = true;
    } else if (Button == mbRight) {
        if (Measured)
            DropMeasurement();
        PGImage1->SetSelection(false);
        if (TForm1* main = MainForm())
            main->ClearChart();
    }
}

void TPictForm::PGImage1PicBoxOnMouseMove(TShiftState Shift, int X, int Y) {
    TForm1* main = MainForm();
    if (main && HasPicture()) {
        const TPoint at = PictureCoordinates(*PGImage1, X, Y);
        // Reading without waiting: stopping the display worker on every move would stall the painting.
        main->StatusCoordinates(at.X, at.Y, PGImage1->GetPixelGraphicNoWait()->GetPixelColor(at.X, at.Y));
    }
    if (!PictMouse.JustActivated && PictMouse.Pressed && (Shift & ssLeft))
        PictMouse.Dragged = true;
    PictMouse.JustActivated = false;
}

void TPictForm::PGImage1PicBoxOnMouseUp(TMouseButton Button, int X, int Y) {
    TForm1* main = MainForm();
    const auto released = qScopeGuard([main] {
        PictMouse.Pressed = false;
        PictMouse.Dragged = false;
        if (main)
            main->UpdateMenuItems();
    });
    if (!main || !HasPicture() || !PictMouse.Pressed)
        return;
    if (main->Mode == TForm1::SpecialMode) {
        if (!PictMouse.Dragged) {
            main->AutoThreshold(X, Y);
            main->PGImage1PicBoxOnMouseDown(QtButton(Button), PictMouse.PressX, PictMouse.PressY);
        } else {
            if (Measured)
                DropMeasurement();
            const TRect selection = PGImage1->GetSelectionRect();
            main->SelectionHistogram(selection);
            main->SumRect(selection);
        }
        if (auto* entry = qobject_cast<TForm2*>(main->EntryForm.data()))
            entry->TakeProbeName();
    } else if (main->Mode == TForm1::ImageProcessingMode && PictMouse.Dragged) {
        if (Measured)
            DropMeasurement();
        main->LineProfile();
    }
}
