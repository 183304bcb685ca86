// The main window: start-up from the settings file, the working modes, the menu rule and the exit.
#include "Main.h"

#include "PicForm.h"
#include "framework/ErrorBox.h"
#include "framework/IniFiles.h"
#include "framework/NumberText.h"
#include "framework/Rounding.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "vs_options.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QIcon>
#include <QMdiSubWindow>
#include <QPainter>
#include <QScrollBar>
#include <QStatusTipEvent>
#include <algorithm>
#include <array>

namespace {

const std::array<QString, 3> ModeNames = {"Обработка изображений", "Видеокамера", "Спецрежим"};

// The icon of a property row: a disc in the row's own colour, so the rows stay apart at a glance.
QIcon PropertyIcon(int Row) {
    static const std::array<QColor, 6> colors = {Qt::darkBlue, Qt::darkYellow, Qt::darkGreen,
                                                 Qt::darkGray, Qt::darkRed,    Qt::darkMagenta};
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(colors[size_t(Row)]);
    painter.setPen(Qt::black);
    painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    return QIcon(pixmap);
}

// A size of the video window: Round(zoom x pixels) in 64 bits, kept to what a widget can be.
int ZoomedSize(double Zoom, int Pixels) {
    const double size = Zoom * Pixels;
    if (!(size < double(QWIDGETSIZE_MAX)))
        return QWIDGETSIZE_MAX;
    return int(std::clamp<int64_t>(Round(size), 1, QWIDGETSIZE_MAX));
}

} // namespace

void MainUnitStart() {
    const std::array<std::pair<int, const char*>, 8> texts = {{{42, "OK"},
                                                               {43, "Отмена"},
                                                               {63, "Гамма"},
                                                               {64, "RGB"},
                                                               {65, "Интенсивность"},
                                                               {66, "Яркость"},
                                                               {67, "Контраст"},
                                                               {69, "Яркость/Контрастность/Гамма"}}};
    for (const auto& [index, text] : texts)
        PGLangStrEntries[size_t(index)].UserText = QString::fromUtf8(text);
    // The library's error messages would otherwise be empty under the program's own language.
    for (int index = 1; index <= 41; ++index)
        if (index < 24 || index > 26)
            PGLangStrEntries[size_t(index)].UserText =
                QString::fromUtf8(PGLangStrEntries[size_t(index)].Texts[0]);
    PGLanguage = 5;
}

// Resources of a static library are registered only on request; this must stand outside any namespace.
static void RegisterIconResource() {
    Q_INIT_RESOURCE(lusidor_icon);
}

TForm1::TForm1(const QString& ProgramFolder, QWidget* parent)
    : QMainWindow(parent), ProgramFolder(ProgramFolder), SettingsPath(ProgramFolder + "Lusidor.ini") {
    setupUi(this);
    // Every window of the program shows its icon, its dialogs and message boxes included.
    RegisterIconResource();
    QApplication::setWindowIcon(QIcon(":/icons/Lusidor.png"));
    // The form gives the splitter its hint, but only the handle between the picture area and the navigator
    // resizes anything; on the splitter itself it would cover the whole picture area.
    Splitter1->handle(1)->setStatusTip(Splitter1->statusTip());
    Splitter1->setStatusTip(QString());
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({800, 220});
    Splitter2->setSizes({400, 160});
    ListView1->setIconSize(QSize(16, 16));
    for (int row = 0; row < ListView1->topLevelItemCount(); ++row)
        ListView1->topLevelItem(row)->setIcon(0, PropertyIcon(row));
    ListView1->resizeColumnToContents(0);
    Timer1.setInterval(4000);
    connect(&Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    BindFormCommands();
    connect(N1, &QMenu::aboutToShow, this, &TForm1::N1Click);
    connect(N12, &QMenu::aboutToShow, this, &TForm1::N12Click);
    connect(N59, &QMenu::aboutToShow, this, &TForm1::N59Click);
    BindCommands();
    connect(MdiArea, &QMdiArea::subWindowActivated, this, &TForm1::UpdateMenuItems);
    connect(MdiArea, &QMdiArea::subWindowActivated, this, [](QMdiSubWindow* Window) {
        if (auto* form = Window ? qobject_cast<TPictForm*>(Window->widget()) : nullptr)
            CallGuarded([form] { form->FormActivate(); });
    });
    connect(qApp, &QApplication::focusChanged, this, &TForm1::UpdateMenuItems);
    PreviousBoardErrorHandler =
        SetBoardErrorHandler([this](const QString& text, bool terminate) { ShowError(text, terminate); });
    CallGuarded([this] { FormCreate(); });
}

TForm1::~TForm1() {
    // Focus and activation move while the components go; this window must no longer hear of it.
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(MdiArea, nullptr, this, nullptr);
    SetBoardErrorHandler(PreviousBoardErrorHandler);
    CallGuarded([this] { FormDestroy(); });
}

void TForm1::FormCreate() {
    Timer1.start();
    MenuUpdateOn = true;
    PGJPEGQuality = 100;
    PGJPEGDCTMethod = 0;
    if (!QFile::exists(SettingsPath)) {
        ShowError("Файл \"" + SettingsPath + "\" не найден в директории \"" + ProgramFolder + "\".", true);
        return;
    }
    const TIniFile ini(SettingsPath);
    // A settings file there but not readable (a FIFO, a device, a folder, no right to read it) is named at
    // once; the program goes on with the defaults and leaves the file alone at exit.
    if (!ini.GetReadError().isEmpty())
        ShowError(ini.GetReadError(), false);
    QString images = ini.ReadString("PATH", "Images", "IMAGES\\").replace(u'\\', u'/');
    if (!images.endsWith(u'/'))
        images += u'/';
    ImageFolder = ProgramFolder + images;
    PGOpenDialog1.InitialDir = ImageFolder;
    const QString dataBase = ini.ReadString("DataBase", "Folder", "").replace(u'\\', u'/');
    DataBaseFolder = dataBase.isEmpty()
                         ? ProgramFolder
                         : QDir::cleanPath(QDir(ProgramFolder).absoluteFilePath(dataBase)) + u'/';
    Base = std::make_unique<TBase>(BinaryDataSet1, *TreeView1, *MdiArea);
    Base->ImageFolder = ImageFolder;
    Base->OnNodeDestroyed = [this](QTreeWidgetItem* Node) { NodeDestroyed(Node); };
    Mode = ini.ReadInteger("Desktop", "Mode", ImageProcessingMode);
    if (Mode < ImageProcessingMode || Mode > SpecialMode)
        Mode = ImageProcessingMode;
    MaskReservation = std::make_unique<TAddressReservation>(MaskReservationSize);
    MaskReservationFailed = MaskReservation->Failed();
}

void TForm1::FormActivate() {
    HelpFolder = ProgramFolder + "help/";
    if (FirstActivationDone)
        return;
    FirstActivationDone = true;
    SetMode(Mode);
}

void TForm1::FormClose() {
    MenuUpdateOn = false;
    CameraStop = true;
    if (TVs_optionsFrame* camera = CameraControls())
        camera->Timer1.SetEnabled(false);
    TIniFile ini(SettingsPath);
    CallGuarded([&] {
        ini.WriteInteger("DeskTop", "Mode", Mode);
        // Keys never read in this run keep what the file holds.
        if (BoardConfigured) {
            ini.WriteInteger("Videocamera", "gamma", CameraSettings.gamma);
            ini.WriteInteger("Videocamera", "aru", CameraSettings.aru);
            ini.WriteString("Videocamera", "nframe", FormatFixed(CameraSettings.nframe, 2, 1));
            ini.WriteInteger("Videocamera", "addframe", CameraSettings.addframe);
        }
    });
    // The model's nodes live in the navigator tree, which must still be there.
    Base.reset();
}

void TForm1::FormDestroy() {
    Base.reset();
    MaskReservation.reset();
    QFile temporary(ProgramFolder + "base.tmp");
    if (temporary.exists() && temporary.size() == 149)
        temporary.remove();
}

bool TForm1::event(QEvent* Event) {
    if (Event->type() == QEvent::StatusTip) {
        // Leaving a control with a hint clears it; over a control without one the window's own hint shows,
        // as long as the pointer is still over the window.
        const QString tip = static_cast<QStatusTipEvent*>(Event)->tip();
        AppEvents1Hint(tip.isEmpty() && underMouse() ? statusTip() : tip);
        return true;
    }
    return QMainWindow::event(Event);
}

void TForm1::showEvent(QShowEvent* Event) {
    QMainWindow::showEvent(Event);
    // The start-up splash came before this window; from now on it floats above it as the other windows do.
    if (SplashWindow && SplashWindow->parentWidget() != this) {
        SplashWindow->setParent(this, SplashWindow->windowFlags());
        SplashWindow->show();
    }
    // Without a window manager no activation ever comes: the first pass of the event loop stands in.
    if (!ActivationQueued) {
        ActivationQueued = true;
        QTimer::singleShot(0, this, [this] { CallGuarded([this] { FormActivate(); }); });
    }
}

void TForm1::changeEvent(QEvent* Event) {
    QMainWindow::changeEvent(Event);
    if (Event->type() == QEvent::ActivationChange && isActiveWindow()) {
        // A window manager that took this window on after the splash stacks it above the splash; the splash
        // goes back above it, where it stays until a click on this window closes it.
        if (SplashWindow)
            SplashWindow->raise();
        CallGuarded([this] { FormActivate(); });
    }
}

void TForm1::closeEvent(QCloseEvent* Event) {
    FormClose();
    Event->accept();
    // quit() would ask every window to close, and the camera window's refusal would cancel it.
    QCoreApplication::exit(0);
}

void TForm1::mousePressEvent(QMouseEvent* Event) {
    CloseSplash();
    QMainWindow::mousePressEvent(Event);
}

void TForm1::AppEvents1Hint(const QString& Hint) {
    Panel3->setText(Hint);
}

void TForm1::CloseSplash() {
    if (SplashWindow)
        SplashWindow->close();
}

void TForm1::Timer1Timer() {
    CloseSplash();
    Timer1.stop();
}

void TForm1::N1Click() {
    CloseSplash();
}

void TForm1::N12Click() {
    CloseSplash();
}

void TForm1::N59Click() {
    CloseSplash();
}

void TForm1::SplashClosed() {
    if (Mode == CameraMode && CameraWindow)
        CameraWindow->show();
}

void TForm1::ShowError(const QString& Text, bool Terminate) {
    ::ShowError(Text, Terminate);
    if (Terminate)
        EndRequested = true;
}

QString TForm1::FormatReal(int Width, int Decimals, double Value) {
    return FormatFixed(Value, Width, Decimals);
}

QList<QMdiSubWindow*> TForm1::MdiChildren() const {
    QList<QMdiSubWindow*> children = MdiArea->subWindowList(QMdiArea::StackingOrder);
    std::reverse(children.begin(), children.end());
    return children;
}

TPictForm* TForm1::ActiveChild() const {
    QMdiSubWindow* active = MdiArea->currentSubWindow();
    return active ? qobject_cast<TPictForm*>(active->widget()) : nullptr;
}

void TForm1::ShowChild(QMdiSubWindow* Window) {
    if (!Window)
        return;
    MdiArea->setActiveSubWindow(Window);
    // How far the window must move along one axis: its far edge in, then its near edge, which wins.
    const auto shift = [](int Begin, int End, int VisibleBegin, int VisibleEnd) {
        const int inFar = std::min(0, VisibleEnd - End);
        return Begin + inFar < VisibleBegin ? VisibleBegin - Begin : inFar;
    };
    const QRect frame = Window->geometry();
    const QRect visible = MdiArea->viewport()->rect();
    // The area scrolls by moving its windows, the other way than its scroll bars' values.
    QScrollBar* across = MdiArea->horizontalScrollBar();
    QScrollBar* down = MdiArea->verticalScrollBar();
    across->setValue(across->value() - shift(frame.left(), frame.right(), visible.left(), visible.right()));
    down->setValue(down->value() - shift(frame.top(), frame.bottom(), visible.top(), visible.bottom()));
}

TVs_optionsFrame* TForm1::CameraControls() const {
    return qobject_cast<TVs_optionsFrame*>(CameraWindow.data());
}

TPictForm* TForm1::VideoWindow() const {
    for (QMdiSubWindow* child : MdiArea->subWindowList()) {
        auto* form = qobject_cast<TPictForm*>(child->widget());
        if (form && form->Tag == TPictForm::VideoTag)
            return form;
    }
    return nullptr;
}

void TForm1::CurrentGraphic() {
    TPictForm* active = ActiveChild();
    CurrentPicture = active ? active->PGImage1->GetPixelGraphic() : nullptr;
}

void TForm1::SelectionOffEverywhere() {
    for (QMdiSubWindow* child : MdiChildren())
        if (auto* form = qobject_cast<TPictForm*>(child->widget()))
            form->PGImage1->SetSelection(false);
}

void TForm1::LeaveCameraMode() {
    if (TPictForm* video = VideoWindow())
        video->parentWidget()->close();
    const QList<QMdiSubWindow*> children = MdiChildren();
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
        (*child)->showNormal();
        (*child)->setEnabled(true);
    }
    Panel1->show();
}

void TForm1::OpenVideoWindow() {
    const double zoom = CameraSettings.zoom;
    auto* form = new TPictForm;
    auto picture = std::make_unique<TPixelGraphic>();
    picture->SetFormat(VideoWidth, VideoHeight, 2);
    picture->SetPaletteIdent(pGray256);
    form->PGImage1->SetPixelGraphic(std::move(picture));
    form->Tag = TPictForm::VideoTag;
    form->PGImage1->SetAutoScroll(false);
    form->PGImage1->SetZoomFactor(zoom);
    form->setWindowTitle("Видео [ " + FormatReal(3, 1, zoom * 100) + "% ]");
    form->setFixedSize(ZoomedSize(zoom, VideoWidth), ZoomedSize(zoom, VideoHeight));
    QMdiSubWindow* window =
        MdiArea->addSubWindow(form, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->move(0, 0);
    window->show();
    window->adjustSize();
    window->setFixedSize(window->size());
    MdiArea->setActiveSubWindow(window);
}

void TForm1::SetMode(int Index) {
    if (Index < ImageProcessingMode || Index > SpecialMode) {
        setWindowTitle("Lusidor");
        UpdateMenuItems();
        return;
    }
    setWindowTitle("Lusidor - " + ModeNames[size_t(Index)]);
    const bool leavingCamera = Mode == CameraMode || VideoWindow();
    switch (Index) {
    case ImageProcessingMode:
        Mode = ImageProcessingMode;
        if (leavingCamera)
            LeaveCameraMode();
        SelectionOffEverywhere();
        if (EntryForm)
            EntryForm->hide();
        if (CameraWindow)
            CameraWindow->hide();
        break;
    case CameraMode: {
        Mode = CameraMode;
        if (!BoardConfigured) {
            BoardConfigured = true;
            try {
                InitBoard(SettingsPath);
            } catch (const EBoardError& e) {
                ShowError(e.message(), false);
            }
            if (TVs_optionsFrame* camera = CameraControls())
                camera->SyncControls();
            if (EndRequested)
                return;
        }
        const QList<QMdiSubWindow*> children = MdiChildren();
        for (auto child = children.rbegin(); child != children.rend(); ++child) {
            (*child)->showMinimized();
            if (auto* form = qobject_cast<TPictForm*>((*child)->widget()))
                form->PGImage1->SetSelection(false);
            (*child)->setEnabled(false);
        }
        Panel1->hide();
        OpenVideoWindow();
        if (CameraWindow && !SplashWindow)
            CameraWindow->show();
        if (EntryForm)
            EntryForm->hide();
        if (ChartWindow)
            ChartWindow->close();
        break;
    }
    case SpecialMode:
        Mode = SpecialMode;
        if (leavingCamera)
            LeaveCameraMode();
        if (!MdiArea->subWindowList().isEmpty()) {
            SelectionOffEverywhere();
            if (EntryForm)
                EntryForm->show();
        }
        if (CameraWindow)
            CameraWindow->hide();
        if (ChartWindow)
            ChartWindow->close();
        break;
    }
    UpdateMenuItems();
}

void TForm1::SetItemEnabled(QAction* Item, bool Enabled) {
    ItemEnabled[Item] = Enabled;
}

void TForm1::ApplyMenuStates(QMenu* Menu, bool ParentEnabled) {
    for (QAction* item : Menu->actions()) {
        const auto own = ItemEnabled.find(item);
        const bool enabled = ParentEnabled && (own == ItemEnabled.end() || own->second);
        item->setEnabled(enabled);
        if (item->menu())
            ApplyMenuStates(item->menu(), enabled);
    }
}

void TForm1::UpdateMenuItems() {
    if (!MenuUpdateOn)
        return;
    const bool children = !MdiArea->subWindowList().isEmpty();
    const bool camera = Mode == CameraMode;
    SetItemEnabled(N7, !CameraBusy && Mode != SpecialMode);
    SetItemEnabled(N24, !CameraBusy && Mode != SpecialMode);
    // Modes 0 and 2 would close the video window that a running grab writes into.
    for (QAction* modeItem : {N13, N14, N6})
        SetItemEnabled(modeItem, !CameraBusy);
    N13->setChecked(camera);
    N14->setChecked(Mode == ImageProcessingMode);
    N6->setChecked(Mode == SpecialMode);
    SetItemEnabled(N30->menuAction(), children);
    SetItemEnabled(N2, !camera);
    SetItemEnabled(N25, children && !camera);
    SetItemEnabled(N3, children && !camera);
    for (QAction* item : {N36, N15, N29, N33->menuAction(), N37->menuAction()})
        SetItemEnabled(item, children);
    for (QAction* item : {N26->menuAction(), N8->menuAction(), N47, N48, N51})
        SetItemEnabled(item, children && !camera);
    SetItemEnabled(N11, children && Mode == ImageProcessingMode);
    SetItemEnabled(N16->menuAction(), Mode == ImageProcessingMode);
    if (TPictForm* active = ActiveChild()) {
        SetItemEnabled(N31, active->Modified);
        SetItemEnabled(N32, active->PGImage1->GetSelection());
    }
    for (QAction* menu : MainMenu1->actions()) {
        const auto own = ItemEnabled.find(menu);
        const bool enabled = own == ItemEnabled.end() || own->second;
        menu->setEnabled(enabled);
        ApplyMenuStates(menu->menu(), enabled);
    }
}
