// The commands of the main window's menus: files, editing, the picture operations, zoom, the MDI windows and
// help. Every command runs guarded: an exception ends in the error box, never in Qt's event loop.
#include "HelpWindow.h"
#include "Main.h"
#include "NavigatorTree.h"
#include "PageSetup.h"
#include "PicForm.h"
#include "framework/ErrorBox.h"
#include "framework/MessageBox.h"
#include "image-library/PGClipboard.h"
#include "image-library/PGFileFormats.h"
#include "image-library/PGraphic.h"

#include <QFileInfo>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPrintDialog>
#include <QShortcut>
#include <algorithm>
#include <array>

namespace {

// The help topic of each working mode.
const std::array<QString, 3> HelpTopics = {"Prepare_Images", "Input_Images", "Special_Mode"};

const QString SaveFilter = "BMP - Bitmap|*.bmp|JPG - JPEG (JFIF compliant)|*.jpg|PBM - Portable Bitmap|*.pbm|"
                           "PGM - Portable Graymap|*.pgm|PNG - Portable Network Graphics|*.png|"
                           "PPM - Portable Pixelmap|*.ppm|TGA - Truevision Targa|*.tga|"
                           "TIF - Tagged Image File Format|*.tif|";

constexpr long double ZoomInStep = 1.4L;
constexpr long double ZoomOutStep = 5.0L / 7.0L;
constexpr long double ZoomInLimit = 7;

// The extension of the FilterIndex-th (1-based) type of a "description|*.ext|..." filter.
QString FilterExtension(const QString& Filter, int FilterIndex) {
    const QStringList parts = Filter.split(u'|');
    const qsizetype pattern = 2 * qsizetype(FilterIndex) - 1;
    if (FilterIndex < 1 || pattern >= parts.size())
        return {};
    return parts[pattern].section(u'.', 1);
}

int FilterIndexOf(const QString& Filter, const QString& Ext) {
    for (int index = 1; !FilterExtension(Filter, index).isEmpty(); ++index)
        if (FilterExtension(Filter, index).compare(Ext, Qt::CaseInsensitive) == 0)
            return index;
    return 1;
}

// Right and bottom exclusive; empty when the rectangles do not meet.
TRect Intersection(const TRect& A, const TRect& B) {
    const TRect r = {std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
                     std::min(A.Bottom, B.Bottom)};
    return r.Width() > 0 && r.Height() > 0 ? r : TRect{};
}

} // namespace

void TForm1::BindCommands() {
    using THandler = void (TForm1::*)();
    const std::pair<QAction*, THandler> commands[] = {
        {N2, &TForm1::N2Click},   {N3, &TForm1::N3Click},   {N36, &TForm1::N36Click},
        {N29, &TForm1::N29Click}, {N15, &TForm1::N15Click}, {N5, &TForm1::N5Click},
        {N13, &TForm1::N13Click}, {N14, &TForm1::N14Click}, {N6, &TForm1::N6Click},
        {N31, &TForm1::N31Click}, {N32, &TForm1::N32Click}, {N34, &TForm1::N34Click},
        {N25, &TForm1::N25Click}, {N7, &TForm1::N7Click},   {N24, &TForm1::N24Click},
        {N18, &TForm1::N18Click}, {N17, &TForm1::N17Click}, {N20, &TForm1::N20Click},
        {N21, &TForm1::N21Click}, {N22, &TForm1::N22Click}, {N47, &TForm1::N47Click},
        {N48, &TForm1::N48Click}, {N51, &TForm1::N51Click}, {N23, &TForm1::N23Click},
        {N27, &TForm1::N27Click}, {N38, &TForm1::N38Click}, {N41, &TForm1::N41Click},
        {N46, &TForm1::N46Click}, {N40, &TForm1::N40Click}, {N42, &TForm1::N42Click},
        {N44, &TForm1::N44Click}, {N45, &TForm1::N45Click}, {N60, &TForm1::N60Click},
        {N53, &TForm1::N53Click}, {N52, &TForm1::N52Click}, {N35, &TForm1::N35Click},
        {N9, &TForm1::N9Click}};
    for (const auto& [item, handler] : commands)
        connect(item, &QAction::triggered, this,
                [this, handler = handler] { CallGuarded([&] { (this->*handler)(); }); });
    connect(N26, &QMenu::aboutToShow, this, [this] { CallGuarded([this] { N26Popup(); }); });
    // The status line promises help on F1; it asks for the same topic as the menu.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { CallGuarded([this] { N60Click(); }); });

    // The form gives the menus' hints to the menus; the status line hears only their items.
    for (QMenu* menu : MainMenu1->findChildren<QMenu*>())
        menu->menuAction()->setStatusTip(menu->statusTip());

    PGSaveDialog1.UseDefaultFilter = false;
    PGSaveDialog1.Filter = SaveFilter;
    new TNavigatorTree(*this);
}

TPictForm* TForm1::PictureWindow() const {
    TPictForm* active = ActiveChild();
    return active && active->HasPicture() ? active : nullptr;
}

// ---- file

void TForm1::N2Click() {
    OpenImage();
}

void TForm1::N3Click() {
    SavePicture(true);
}

void TForm1::N36Click() {
    SavePicture(false);
}

void TForm1::SavePicture(bool ProposeName) {
    TPictForm* window = PictureWindow();
    if (!window)
        return;
    PGSaveDialog1.InitialDir = ImageFolder;
    PGSaveDialog1.FileName = ProposeName ? QFileInfo(window->PGImage1->GetFileName()).fileName() : QString();
    if (!PGSaveDialog1.FileName.isEmpty())
        PGSaveDialog1.FilterIndex = FilterIndexOf(SaveFilter, FileFormatExtension(PGSaveDialog1.FileName));
    if (!PGSaveDialog1.Execute())
        return;
    QString name = PGSaveDialog1.FileName;
    if (name.isEmpty())
        return;
    // A bare name takes the chosen type's extension, and the question is asked about the file really written.
    if (FileFormatExtension(name).isEmpty())
        name += u'.' + FilterExtension(SaveFilter, PGSaveDialog1.FilterIndex);
    if (QFileInfo::exists(name) &&
        MessageBox("Файл " + QFileInfo(name).fileName() + " уже существует. Заменить его?", "Вопрос",
                   mtConfirmation, mbYes | mbNo) != mrYes)
        return;
    // The measurement's marks are not part of the picture: a measured window saves its unmarked copy.
    if (window->Measured && window->KeptGraphic)
        window->KeptGraphic->SaveToFile(name);
    else
        window->PGImage1->SaveToFile(name);
}

void TForm1::N29Click() {
    // Our own dialog: Qt's page setup dialog refuses printers that are not the platform's, PDF output
    // among them, where the print command works.
    TPageSetupForm dialog(Printer, this);
    dialog.exec();
}

void TForm1::N15Click() {
    TPictForm* window = PictureWindow();
    if (!window)
        return;
    QPrintDialog dialog(&Printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    TPixelGraphic& picture = *window->PGImage1->GetPixelGraphic();
    QPainter painter;
    if (!painter.begin(&Printer)) {
        ShowError("Не удалось начать печать.", false);
        return;
    }
    // The whole picture on one page: as large as the printable area allows, aspect kept, centred.
    const QRect area = painter.viewport();
    const QSize size =
        QSize(picture.GetWidth(), picture.GetHeight()).scaled(area.size(), Qt::KeepAspectRatio);
    const QPoint origin =
        area.topLeft() + QPoint((area.width() - size.width()) / 2, (area.height() - size.height()) / 2);
    picture.DrawTo(painter, Bounds(origin.x(), origin.y(), size.width(), size.height()));
    if (!painter.end())
        ShowError("Не удалось напечатать изображение.", false);
}

void TForm1::N5Click() {
    close();
}

// ---- modes

void TForm1::N13Click() {
    if (Mode != CameraMode)
        SetMode(CameraMode);
}

void TForm1::N14Click() {
    SetMode(ImageProcessingMode);
}

void TForm1::N6Click() {
    SetMode(SpecialMode);
}

// ---- editing

void TForm1::N31Click() {
    // Also on a window whose reload failed: its kept picture comes back.
    if (TPictForm* window = ActiveChild())
        window->Undo();
}

void TForm1::N32Click() {
    TPictForm* window = PictureWindow();
    if (!window || !window->PGImage1->GetSelection())
        return;
    TPixelGraphic& picture = *window->PGImage1->GetPixelGraphic();
    const TRect part = Intersection(window->PGImage1->GetSelectionRect(),
                                    Rect(0, 0, picture.GetWidth(), picture.GetHeight()));
    if (part.Width() <= 0)
        return;
    TPixelGraphic copy;
    copy.SetFormat(part.Width(), part.Height(), picture.GetBitCountNum());
    copy.CopyPalette(&picture);
    copy.CopyRect(0, 0, part.Width(), part.Height(), part.Left, part.Top, picture);
    CopyPictureToClipboard(copy);
}

void TForm1::N34Click() {
    TPictForm* window = PictureWindow();
    if (!window)
        return;
    const TPixelGraphic& picture = *window->PGImage1->GetPixelGraphicNoWait();
    // One pixel of border stays unselected on every side.
    window->PGImage1->SetSelectionBounds(1, 1, picture.GetWidth() - 2, picture.GetHeight() - 2);
    window->PGImage1->SetSelection(true);
    UpdateMenuItems();
}

// ---- picture operations

// The picture commands that filter in place keep the view where it was.
void TForm1::FilterInPlace(TPictForm& Window, TPGFilter& Filter) {
    Window.PreparePicture();
    Window.SaveScroll();
    TPixelGraphic& picture = *Window.PGImage1->GetPixelGraphic();
    picture.ApplyFilter(Filter, picture);
    Window.RestoreScroll();
    Window.Modified = true;
    UpdateMenuItems();
}

void TForm1::N7Click() {
    if (TPictForm* window = PictureWindow())
        FilterInPlace(*window, NegativeFilterDialog1.GetFilter());
}

void TForm1::N24Click() {
    TPictForm* window = PictureWindow();
    if (window && BCGFilterDialog1.Execute(window->PGImage1->GetPixelGraphic()))
        FilterInPlace(*window, BCGFilterDialog1.GetFilter());
}

// A mirror repaints the picture itself, so the menu is brought up to date before it.
void TForm1::Mirror(void (TPixelGraphic::*Operation)()) {
    TPictForm* window = PictureWindow();
    if (!window)
        return;
    window->PreparePicture();
    window->Modified = true;
    UpdateMenuItems();
    (window->PGImage1->GetPixelGraphic()->*Operation)();
}

// The captions are the other way round: "Вертикально" exchanges left and right.
void TForm1::N18Click() {
    Mirror(&TPixelGraphic::MirrorHorizontal);
}

void TForm1::N17Click() {
    Mirror(&TPixelGraphic::MirrorVertical);
}

// ---- zoom

void TForm1::N20Click() {
    if (TPictForm* window = PictureWindow())
        if (window->PGImage1->GetZoomFactor() < ZoomInLimit)
            window->PGImage1->SetZoomFactor(window->PGImage1->GetZoomFactor() * ZoomInStep);
}

void TForm1::N21Click() {
    if (TPictForm* window = PictureWindow())
        window->PGImage1->SetZoomFactor(window->PGImage1->GetZoomFactor() * ZoomOutStep);
}

void TForm1::N22Click() {
    if (TPictForm* window = PictureWindow())
        window->PGImage1->SetZoomFactor(1);
}

template <class F> void TForm1::ZoomEvery(F&& Zoom) {
    for (QMdiSubWindow* child : MdiChildren()) {
        auto* form = qobject_cast<TPictForm*>(child->widget());
        if (form && form->HasPicture())
            form->PGImage1->SetZoomFactor(Zoom(form->PGImage1->GetZoomFactor()));
    }
}

void TForm1::N47Click() {
    ZoomEvery([](long double Zoom) { return Zoom * ZoomInStep; });
}

void TForm1::N48Click() {
    ZoomEvery([](long double Zoom) { return Zoom * ZoomOutStep; });
}

void TForm1::N51Click() {
    ZoomEvery([](long double) { return 1.0L; });
}

// ---- windows

void TForm1::N23Click() {
    MdiArea->cascadeSubWindows();
}

// Qt's own tiling makes a grid; these give every shown window an equal column (Horizontal) or row.
void TForm1::TileEqually(Qt::Orientation Direction) {
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* child : MdiChildren())
        if (child->isVisible() && !child->isMinimized())
            windows.append(child);
    if (windows.isEmpty())
        return;
    const QRect area = MdiArea->viewport()->rect();
    const int count = int(windows.size());
    const int width = Direction == Qt::Horizontal ? area.width() / count : area.width();
    const int height = Direction == Qt::Horizontal ? area.height() : area.height() / count;
    for (int index = 0; index < count; ++index) {
        QMdiSubWindow* window = windows[index];
        if (window->isMaximized())
            window->showNormal();
        const QPoint place =
            Direction == Qt::Horizontal ? QPoint(index * width, 0) : QPoint(0, index * height);
        window->setGeometry(QRect(place, QSize(width, height)));
    }
}

void TForm1::N27Click() {
    TileEqually(Qt::Horizontal);
}

void TForm1::N38Click() {
    TileEqually(Qt::Vertical);
}

// The minimised windows in a line along the bottom, a new line above when one is full.
void TForm1::N41Click() {
    const QRect area = MdiArea->viewport()->rect();
    int x = 0;
    int bottom = area.height();
    for (QMdiSubWindow* child : MdiChildren()) {
        if (!child->isMinimized())
            continue;
        const QSize size = child->size();
        if (x > 0 && x + size.width() > area.width()) {
            x = 0;
            bottom -= size.height();
        }
        child->move(x, bottom - size.height());
        x += size.width();
    }
}

void TForm1::N46Click() {
    const QList<QMdiSubWindow*> children = MdiChildren();
    for (qsizetype index = children.size() - 1; index >= 1; --index)
        children[index]->showMinimized();
    // A window that Qt minimises becomes the active one; the first stays the user's.
    if (!children.isEmpty())
        MdiArea->setActiveSubWindow(children[0]);
}

void TForm1::N40Click() {
    const QList<QMdiSubWindow*> children = MdiChildren();
    for (auto child = children.rbegin(); child != children.rend(); ++child)
        (*child)->showMinimized();
}

void TForm1::N42Click() {
    for (QMdiSubWindow* child : MdiChildren())
        child->showNormal();
}

void TForm1::N44Click() {
    MdiArea->activateNextSubWindow();
    ShowChild(MdiArea->activeSubWindow());
}

void TForm1::N45Click() {
    MdiArea->activatePreviousSubWindow();
    ShowChild(MdiArea->activeSubWindow());
}

// The window menu lists the windows after its commands, the active one checked; choosing one brings it up.
void TForm1::N26Popup() {
    qDeleteAll(WindowListItems);
    WindowListItems.clear();
    const QList<QMdiSubWindow*> windows = MdiArea->subWindowList(QMdiArea::CreationOrder);
    if (windows.isEmpty())
        return;
    WindowListItems.append(N26->addSeparator());
    int number = 0;
    for (QMdiSubWindow* window : windows) {
        QAction* item = N26->addAction(QString("&%1 %2").arg(++number).arg(window->windowTitle()));
        item->setCheckable(true);
        item->setChecked(window == MdiArea->activeSubWindow());
        connect(item, &QAction::triggered, this, [this, window = QPointer<QMdiSubWindow>(window)] {
            if (!window)
                return;
            if (window->isMinimized())
                window->showNormal();
            ShowChild(window);
        });
        WindowListItems.append(item);
    }
}

// ---- help

void TForm1::N60Click() {
    ShowHelp(this, HelpFolder, HelpTopics[size_t(std::clamp(Mode, 0, 2))]);
}
