// The navigator model and the picture window in a temporary program folder: names and ownership, the
// lifetimes of records and windows, opening files of the image folder, sizing and captions, the mouse,
// Undo, following the navigator and the load progress.
#include "MainTestFixture.h"
#include "framework/ErrorBox.h"
#include "image-library/PGraphic.h"
#include "image-library/widgets/PGImage.h"

#include <QImage>
#include <QLineEdit>
#include <QMdiArea>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>
#include <cmath>
#include <functional>
#include <limits>

namespace {

class PicFormTest : public NavigatorTest {
protected:
    static QStringList NodeTexts(const QTreeWidget& Tree) {
        QStringList texts;
        for (QTreeWidgetItemIterator it(const_cast<QTreeWidget*>(&Tree)); *it; ++it)
            texts << QString(static_cast<TNodeItem*>(*it)->Level(), u'-') + (*it)->text(0);
        return texts;
    }

    QStringList BoxTexts() const {
        QStringList texts;
        for (const TMessageBoxRequest& request : Boxes.Requests)
            texts << request.Caption + ": " + request.Text;
        return texts;
    }

    static QWidget* PicBox(TPictForm* Window) { return Window->PGImage1->GetPicBox(); }
};

// Every pixel of Picture against the file as Qt's own reader sees it.
void ExpectColoursOfFile(const TPixelGraphic& Picture, const QString& Path) {
    const QImage oracle(Path);
    ASSERT_FALSE(oracle.isNull()) << Path.toStdString();
    ASSERT_EQ(Picture.GetWidth(), oracle.width());
    ASSERT_EQ(Picture.GetHeight(), oracle.height());
    for (int y = 0; y < oracle.height(); ++y)
        for (int x = 0; x < oracle.width(); ++x)
            ASSERT_EQ(Picture.GetPixelColor(x, y), QRgbToColor(oracle.pixel(x, y)))
                << Path.toStdString() << " at " << x << "," << y;
}

bool SamePixels(const TPixelGraphic& A, const TPixelGraphic& B) {
    if (A.GetWidth() != B.GetWidth() || A.GetHeight() != B.GetHeight() ||
        A.GetBitCountNum() != B.GetBitCountNum())
        return false;
    for (int y = 0; y < A.GetHeight(); ++y)
        for (int x = 0; x < A.GetWidth(); ++x)
            if (A.GetPixelColor(x, y) != B.GetPixelColor(x, y))
                return false;
    return true;
}

} // namespace

TEST_F(PicFormTest, PictureCoordinates_DivideByTheZoomRoundHalvesToEvenAndTakeABadZoomAsOne) {
    TPGImage image;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double Zoom;
        int X, Y;
        TPoint Expected;
    } cases[] = {{1, 5, 9, {5, 9}},
                 {2.5, 7, 5, {3, 2}},
                 {2, 5, 7, {2, 4}},
                 {2, -5, -3, {-2, -2}},
                 {0.5, 3, 4, {6, 8}},
                 {0, 4, 6, {4, 6}},
                 {-2, 4, 6, {4, 6}},
                 {nan, 4, 6, {4, 6}},
                 {inf, 4, 6, {4, 6}},
                 {1e-300, 1, -1, {INT32_MAX, INT32_MIN}},
                 {4, INT32_MAX, 0, {536870912, 0}}};
    for (const auto& c : cases) {
        image.SetZoomFactor(c.Zoom);
        EXPECT_EQ(PictureCoordinates(image, c.X, c.Y), c.Expected) << c.Zoom << " " << c.X << "," << c.Y;
    }
}

TEST_F(PicFormTest, Model_NamesAreExactStandardsBeginWithLatinEAndFindOrAddKeepsWhatExists) {
    for (const auto& [name, standard] : std::initializer_list<std::pair<QString, bool>>{
             {"E1", true}, {"e1", false}, {"Е1", false}, {"", false}, {"1E", false}, {"Eх", true}})
        EXPECT_EQ(TProbe::IsStandardName(name), standard) << name.toStdString();

    Start();
    TPict* pict = Open("a.bmp");
    ASSERT_TRUE(pict);
    EXPECT_EQ(Form->Base->FindOrAddPict("a.bmp"), pict);
    EXPECT_EQ(Form->Base->IndexOf("A.bmp"), -1);
    TInfection* flu = pict->FindOrAddInfection("Грипп");
    EXPECT_EQ(pict->FindOrAddInfection("Грипп"), flu);
    TInfection* other = pict->FindOrAddInfection("грипп");
    EXPECT_NE(other, flu);
    EXPECT_EQ(pict->IndexOfInfection("грипп"), 1);

    TProbe* upper = flu->FindOrAddProbe("E1");
    EXPECT_EQ(Form->TreeView1->currentItem(), upper->Node);
    EXPECT_EQ(NodeData(upper->Node), upper);
    TProbe* lower = flu->FindOrAddProbe("e1");
    EXPECT_NE(upper, lower);
    EXPECT_EQ(flu->FindOrAddProbe("e1"), lower);
    EXPECT_EQ(flu->ProbeCount(), 2);
    EXPECT_EQ(flu->IndexOfProbe("Е1"), -1);

    EXPECT_EQ(flu->AddStandard("E1"), upper);
    EXPECT_EQ(flu->Standard, upper);
    TProbe* second = flu->AddStandard("E2");
    EXPECT_EQ(flu->Standard, second);
    EXPECT_EQ(flu->ProbeCount(), 3);
    flu->Delete(upper);
    EXPECT_EQ(flu->Standard, second);
    flu->Delete(second);
    EXPECT_EQ(flu->Standard, nullptr);

    flu->SetName("Корь");
    lower->SetName("e2");
    EXPECT_EQ(NodeTexts(*Form->TreeView1), QStringList({"a.bmp", "-Корь", "--e2", "-грипп"}));
    EXPECT_TRUE(Boxes.Requests.empty()) << BoxTexts().join("\n").toStdString();
}

TEST_F(PicFormTest, Model_DeletingRemovesExactlyItsItemsAndClosesThePicturesWindow) {
    Start();
    TPict* a = Open("a.bmp");
    TPict* b = Open("b.bmp");
    ASSERT_TRUE(a && b);
    for (TPict* pict : {a, b})
        for (const QString infection : {"X", "Y"}) {
            TInfection* i = pict->FindOrAddInfection(infection);
            i->FindOrAddProbe("E1");
            i->FindOrAddProbe("s1");
        }
    QList<QTreeWidgetItem*> told;
    Form->Base->OnNodeDestroyed = [&](QTreeWidgetItem* node) { told << node; };

    TProbe* probe = a->InfectionsAt(0)->ProbesAt(0);
    QTreeWidgetItem* probeNode = probe->Node;
    a->InfectionsAt(0)->Delete(probe);
    EXPECT_EQ(told, QList<QTreeWidgetItem*>({probeNode}));
    EXPECT_EQ(NodeTexts(*Form->TreeView1), QStringList({"a.bmp", "-X", "--s1", "-Y", "--E1", "--s1", "b.bmp",
                                                        "-X", "--E1", "--s1", "-Y", "--E1", "--s1"}));

    told.clear();
    a->Delete(a->InfectionsAt(1));
    EXPECT_EQ(told.size(), 3);
    EXPECT_EQ(a->InfectionCount(), 1);
    EXPECT_EQ(NodeTexts(*Form->TreeView1).mid(0, 4), QStringList({"a.bmp", "-X", "--s1", "b.bmp"}));

    told.clear();
    QPointer<TPictForm> window = b->Form;
    QTreeWidgetItem* pictNode = b->Node;
    Form->Base->Delete(b);
    EXPECT_EQ(told.size(), 7);
    EXPECT_EQ(told.back(), pictNode); // the picture's node goes last, after everything under it
    Settle();
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(Form->Base->Count(), 1);
    EXPECT_EQ(Form->Base->Items(0), a);
    EXPECT_EQ(NodeTexts(*Form->TreeView1), QStringList({"a.bmp", "-X", "--s1"}));
    EXPECT_EQ(Windows().size(), 1);
    Form->Base->OnNodeDestroyed = nullptr;
}

TEST_F(PicFormTest, Lifetimes_RecordsAndWindowsOutliveEachOtherSafely) {
    Start();
    // A record destroyed while the user's close of its window is still pending.
    TPict* a = Open("a.bmp");
    QPointer<TPictForm> first = a->Form;
    first->SubWindow()->close();
    Form->Base->Delete(a);
    Settle();
    EXPECT_TRUE(first.isNull());

    // A window closed by the user: the record stays without one, and Reopen gives it a new one.
    TPict* b = Open("b.bmp");
    b->Form->SubWindow()->close();
    Settle();
    EXPECT_TRUE(b->Form.isNull());
    EXPECT_EQ(Form->Base->Count(), 1);
    b->Reopen();
    ASSERT_TRUE(b->Form);
    EXPECT_EQ(b->Form->Pict, b);
    EXPECT_TRUE(b->Form->updatesEnabled());
    EXPECT_EQ(b->Form->PGImage1->GetPixelGraphicNoWait()->GetWidth(), 7);

    // The model freed, and the main window with it, while windows are open.
    Open("c.bmp");
    Form.reset();
    Settle();
    EXPECT_TRUE(Boxes.Requests.empty()) << BoxTexts().join("\n").toStdString();
}

TEST_F(PicFormTest, Opening_AnyDepthBecomes24BitPictureSizedAndCaptioned) {
    Start();
    const struct {
        QString Name;
        uint8_t BitCountNum;
        int Width, Height;
    } cases[] = {{"a.bmp", 0, 9, 5}, {"b.bmp", 1, 7, 6}, {"c.bmp", 2, 17, 16}, {"d.bmp", 3, 160, 120}};
    for (const auto& c : cases) {
        TPict* pict = Open(c.Name, c.BitCountNum, c.Width, c.Height);
        ASSERT_TRUE(pict) << c.Name.toStdString();
        TPictForm* window = pict->Form;
        ASSERT_TRUE(window);
        EXPECT_EQ(window->Pict, pict);
        EXPECT_EQ(pict->FileName, c.Name);
        EXPECT_EQ(Form->TreeView1->currentItem(), pict->Node);
        EXPECT_TRUE(window->updatesEnabled());
        const TPixelGraphic* picture = window->PGImage1->GetPixelGraphicNoWait();
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->GetBitCountNum(), 3);
        ExpectColoursOfFile(*picture, Images() + c.Name);
        ASSERT_TRUE(window->KeptGraphic);
        EXPECT_TRUE(SamePixels(*window->KeptGraphic, *picture));
        EXPECT_EQ(window->windowTitle(), c.Name + " [ 100.0% ]");
        EXPECT_EQ(window->SubWindow()->windowTitle(), c.Name + " [ 100.0% ]");
    }
    // The larger picture is not held up by the window's least size: its client is exactly the picture.
    TPictForm* large = Form->Base->Items(3)->Form;
    QCoreApplication::processEvents();
    EXPECT_EQ(large->size(), QSize(160, 120));
    EXPECT_EQ(large->PGImage1->size(), QSize(160, 120));
    EXPECT_FALSE(large->PGImage1->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(large->PGImage1->verticalScrollBar()->isVisible());
    EXPECT_EQ(Windows().size(), 4);
    EXPECT_TRUE(Boxes.Requests.empty()) << BoxTexts().join("\n").toStdString();
}

TEST_F(PicFormTest, Opening_OnlyFromTheImageFolderBySpellingOfTheSameFolder) {
    Start();
    QDir(Folder()).mkpath("other");
    QDir(Folder()).mkpath("IMAGES/sub");
    ASSERT_TRUE(QFile::link(Images(), Folder() + "link"));
    WritePicture(Images() + "a.bmp", 3);
    WritePicture(Folder() + "other/b.bmp", 3);
    WritePicture(Images() + "sub/c.bmp", 3);
    const QString outside =
        "Информация: Папка в которой находится файл %1 не является рабочей папкой программы.";
    const struct {
        QString Path;
        bool Accepted;
    } cases[] = {{Folder() + "other/b.bmp", false},  {Images() + "sub/c.bmp", false},
                 {Folder() + "images/a.bmp", false}, {Folder() + "link/a.bmp", true},
                 {Images() + "sub/../a.bmp", true},  {Folder() + "/IMAGES//a.bmp", true}};
    for (const auto& c : cases) {
        Boxes.Requests.clear();
        Boxes.Answer = mrNo;
        Form->OpenImageFile(c.Path);
        if (c.Accepted) {
            EXPECT_EQ(Form->Base->IndexOf("a.bmp"), 0) << c.Path.toStdString();
            EXPECT_TRUE(Boxes.Requests.empty() || Boxes.Requests[0].Caption == "Предупреждение");
        } else {
            EXPECT_EQ(BoxTexts(), QStringList({outside.arg(c.Path)}));
            EXPECT_EQ(Boxes.Requests[0].Type, mtInformation);
        }
    }
    EXPECT_EQ(Form->Base->Count(), 1);
}

TEST_F(PicFormTest, Opening_UnknownOrDamagedFilesLeaveNothingBehind) {
    TForm1& form = Start(TForm1::SpecialMode);
    QWidget entry;
    form.EntryForm = &entry;
    Store("IMAGES/notes.bmp", "just some words, no picture at all");
    form.OpenImageFile(Images() + "notes.bmp");
    EXPECT_EQ(BoxTexts(), QStringList({"Ошибка: Неизвестный формат файла."}));
    EXPECT_EQ(Boxes.Requests[0].Type, mtError);

    // Whole headers pass the format check; the colour table cut short fails the load.
    WritePicture(Images() + "cut.bmp", 2, 40, 40);
    QFile cut(Images() + "cut.bmp");
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite));
    cut.resize(100);
    cut.close();
    Boxes.Requests.clear();
    form.OpenImageFile(Images() + "cut.bmp");
    ASSERT_EQ(Boxes.Requests.size(), 1u);
    EXPECT_EQ(Boxes.Requests[0].Caption, "Ошибка");
    EXPECT_FALSE(Boxes.Requests[0].Text.isEmpty());
    Settle();
    EXPECT_EQ(form.Base->Count(), 0);
    EXPECT_EQ(form.TreeView1->topLevelItemCount(), 0);
    EXPECT_TRUE(Windows().isEmpty());
    EXPECT_FALSE(entry.isVisible());
    EXPECT_FALSE(StartupFailed());
}

TEST_F(PicFormTest, Opening_TwiceAsksAndYesFocusesOrReopens) {
    TForm1& form = Start(TForm1::SpecialMode);
    QWidget entry;
    form.EntryForm = &entry;
    TPict* a = Open("a.bmp");
    TPict* b = Open("b.bmp");
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(entry.isVisible());
    EXPECT_EQ(form.ActiveChild(), b->Form);

    Boxes.Answer = mrNo;
    form.OpenImageFile(Images() + "a.bmp");
    EXPECT_EQ(BoxTexts(),
              QStringList({"Предупреждение: Изображение a.bmp уже добавлено в БД. Сделать его текущим?"}));
    EXPECT_EQ(Boxes.Requests[0].Buttons, unsigned(mbYes | mbNo));
    EXPECT_EQ(form.ActiveChild(), b->Form);
    EXPECT_EQ(form.Base->Count(), 2);

    Boxes.Answer = mrYes;
    form.OpenImageFile(Images() + "a.bmp");
    EXPECT_EQ(form.ActiveChild(), a->Form);
    EXPECT_EQ(Windows().size(), 2);

    // Without its window, Yes reopens it; the entry form went with the last window and comes back.
    for (QMdiSubWindow* window : Windows())
        window->close();
    Settle();
    EXPECT_FALSE(entry.isVisible());
    form.OpenImageFile(Images() + "a.bmp");
    ASSERT_TRUE(a->Form);
    EXPECT_EQ(a->Form->PGImage1->GetPixelGraphicNoWait()->GetWidth(), 7);
    EXPECT_TRUE(entry.isVisible());
    EXPECT_EQ(form.Base->Count(), 2);
    EXPECT_EQ(Boxes.Requests.size(), 3u);

    // A reopen whose file has gone keeps the record with an empty window, where nothing crashes.
    ASSERT_TRUE(b->Form.isNull());
    QFile::remove(Images() + "b.bmp");
    Boxes.Requests.clear();
    form.OpenImageFile(Images() + "b.bmp");
    ASSERT_EQ(Boxes.Requests.size(), 2u);
    EXPECT_EQ(Boxes.Requests[1].Caption, "Ошибка");
    ASSERT_TRUE(b->Form);
    TPictForm* empty = b->Form;
    EXPECT_TRUE(empty->updatesEnabled());
    EXPECT_EQ(empty->KeptGraphic, nullptr);
    empty->PGImage1->SetZoomFactor(2);
    empty->Undo();
    empty->PreparePicture();
    QTest::mousePress(PicBox(empty), Qt::LeftButton, {}, {1, 1});
    QTest::mouseMove(PicBox(empty), {3, 3});
    QTest::mouseRelease(PicBox(empty), Qt::LeftButton, {}, {3, 3});
    QTest::mouseClick(PicBox(empty), Qt::RightButton, {}, {1, 1});
    EXPECT_EQ(form.Base->IndexOf("b.bmp"), 1);
}

TEST_F(PicFormTest, Opening_ThroughTheOpenDialog) {
    TForm1& form = Start();
    WritePicture(Images() + "a.bmp", 2);
    QTimer::singleShot(0, [&] {
        QFileDialog* dialog = form.PGOpenDialog1.Window();
        ASSERT_TRUE(dialog);
        EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(Images()).canonicalPath());
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_TRUE(name);
        QTest::keyClicks(name, "a.bmp");
        QTest::keyClick(name, Qt::Key_Return);
    });
    form.OpenImage();
    ASSERT_EQ(form.Base->Count(), 1);
    EXPECT_EQ(form.Base->Items(0)->FileName, "a.bmp");
    EXPECT_TRUE(Boxes.Requests.empty()) << BoxTexts().join("\n").toStdString();
}

TEST_F(PicFormTest, Zoom_SizesTheClientAndRewritesOnlyTheZoomPartOfTheCaption) {
    TForm1& form = Start();
    const struct {
        QString Name;
        int Mode;
        double Zoom;
        QString Caption;
        QSize Client;
    } cases[] = {{"a.bmp", 0, 0.5, "a.bmp [50.0%]", {80, 60}},
                 {"a[1].bmp", 2, 1.5, "a[1].bmp [150.0%]", {240, 180}},
                 {"%1%2.bmp", 1, 0.25, "%1%2.bmp [25.0%]", {40, 30}}};
    for (const auto& c : cases) {
        TPict* pict = Open(c.Name, 3, 160, 120);
        ASSERT_TRUE(pict) << c.Name.toStdString();
        EXPECT_EQ(pict->Form->windowTitle(), c.Name + " [ 100.0% ]");
        EXPECT_EQ(pict->Node->text(0), c.Name);
        // The mode is set directly: camera mode would hide and disable the picture windows.
        form.Mode = c.Mode;
        CameraSettings.zoom = 1;
        pict->Form->PGImage1->SetZoomFactor(c.Zoom);
        QCoreApplication::processEvents();
        EXPECT_EQ(pict->Form->windowTitle(), c.Caption);
        EXPECT_EQ(pict->Form->size(), c.Client) << c.Name.toStdString();
        EXPECT_EQ(CameraSettings.zoom, c.Mode == 1 ? c.Zoom : 1.0);
    }
    // A second change keeps the name too.
    TPictForm* window = form.Base->Items(1)->Form;
    window->PGImage1->SetZoomFactor(2);
    EXPECT_EQ(window->windowTitle(), "a[1].bmp [200.0%]");
    // The video window keeps its fixed size, which follows the zoom, and the camera zoom with it.
    form.Mode = TForm1::ImageProcessingMode;
    form.SetMode(TForm1::CameraMode);
    TPictForm* video = form.VideoWindow();
    ASSERT_TRUE(video);
    video->PGImage1->SetZoomFactor(0.5);
    EXPECT_EQ(video->windowTitle(), "Видео [50.0%]");
    EXPECT_EQ(video->size(), QSize(256, 256));
    EXPECT_EQ(video->SubWindow()->minimumSize(), video->SubWindow()->maximumSize());
    EXPECT_EQ(CameraSettings.zoom, 0.5);
    form.SetMode(TForm1::ImageProcessingMode);
    // A minimised window keeps its size.
    window->SubWindow()->showMinimized();
    const QSize minimised = window->SubWindow()->size();
    window->PGImage1->SetZoomFactor(3);
    EXPECT_EQ(window->SubWindow()->size(), minimised);
}

TEST_F(PicFormTest, WorkArea_OpensWindowsInSightAndScrollsToEveryPartOfThem) {
    TForm1& form = Start();
    QMdiArea& area = *form.MdiArea;
    const QRect visible = area.viewport()->rect();
    // The window's frame, title included, in the visible area's terms.
    const auto frame = [](TPict* Pict) { return Pict->Form->SubWindow()->geometry(); };
    TPict* first = Open("a.bmp", 3, 480, 360);
    ASSERT_TRUE(first);
    EXPECT_TRUE(visible.contains(frame(first)));
    // Three zooms make the window larger than the area: it scrolls to the window's far corner.
    for (int zoom = 0; zoom < 3; ++zoom)
        form.N20Click();
    QCoreApplication::processEvents();
    ASSERT_FALSE(visible.contains(frame(first)));
    area.horizontalScrollBar()->setValue(area.horizontalScrollBar()->maximum());
    area.verticalScrollBar()->setValue(area.verticalScrollBar()->maximum());
    QCoreApplication::processEvents();
    EXPECT_LE(frame(first).right(), area.viewport()->rect().right());
    EXPECT_LE(frame(first).bottom(), area.viewport()->rect().bottom());
    // Opened while the area is scrolled, a window still opens in sight, a large one with its title.
    TPict* second = Open("b.bmp", 3, 160, 120);
    ASSERT_TRUE(second);
    EXPECT_TRUE(area.viewport()->rect().contains(frame(second)));
    TPict* large = Open("c.bmp", 3, 2100, 2000);
    ASSERT_TRUE(large);
    EXPECT_TRUE(area.viewport()->rect().contains(frame(large).topLeft()));
    EXPECT_EQ(frame(large).size(), large->Form->size().grownBy(large->Form->SubWindow()->contentsMargins()));
    area.horizontalScrollBar()->setValue(area.horizontalScrollBar()->maximum());
    area.verticalScrollBar()->setValue(area.verticalScrollBar()->maximum());
    QCoreApplication::processEvents();
    EXPECT_LE(frame(large).right(), area.viewport()->rect().right());
    EXPECT_LE(frame(large).bottom(), area.viewport()->rect().bottom());
}

// A window the navigator or a command brings up comes into view, wherever the work area was scrolled: whole
// when it fits, else as much of it as fits from its title bar and left edge.
TEST_F(PicFormTest, WorkArea_AWindowBroughtUpComesIntoView) {
    TForm1& form = Start();
    QMdiArea& area = *form.MdiArea;
    TPict* small = Open("a.bmp", 3, 160, 120);
    TPict* large = Open("c.bmp", 3, 2100, 2000);
    ASSERT_TRUE(small && large);
    TProbe* probe = small->FindOrAddInfection("X")->FindOrAddProbe("s1");
    const auto frame = [](TPict* Pict) { return Pict->Form->SubWindow()->geometry(); };
    const auto windowItem = [&](const QString& Name) {
        emit form.N26->aboutToShow();
        for (QAction* item : form.N26->actions())
            if (item->text().endsWith(Name + " [ 100.0% ]"))
                return item;
        return static_cast<QAction*>(nullptr);
    };
    Boxes.Answer = mrYes;
    const struct {
        const char* Way;
        TPict* Chosen;
        bool ScrolledAway; // the area scrolled to its far corner, else to its origin
        std::function<void()> Choose;
    } cases[] = {
        {"navigator, picture", small, true, [&] { form.TreeView1->setCurrentItem(small->Node); }},
        {"navigator, probe", small, true, [&] { form.TreeView1->setCurrentItem(probe->Node); }},
        {"navigator, large picture", large, true, [&] { form.TreeView1->setCurrentItem(large->Node); }},
        {"navigator, large picture partly in view", large, false,
         [&] { form.TreeView1->setCurrentItem(large->Node); }},
        {"next window", small, true, [&] { form.N44Click(); }},
        {"previous window", small, true, [&] { form.N45Click(); }},
        {"window menu", small, true, [&] { windowItem("a.bmp")->trigger(); }},
        {"opened again", small, true, [&] { form.OpenImageFile(Images() + "a.bmp"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Way);
        TPict* other = c.Chosen == small ? large : small;
        area.setActiveSubWindow(other->Form->SubWindow());
        for (QScrollBar* bar : {area.horizontalScrollBar(), area.verticalScrollBar()})
            bar->setValue(c.ScrolledAway ? bar->maximum() : bar->minimum());
        QCoreApplication::processEvents();
        const QRect visible = area.viewport()->rect();
        ASSERT_NE(visible.contains(frame(c.Chosen).topLeft()), c.ScrolledAway);
        c.Choose();
        QCoreApplication::processEvents();
        EXPECT_EQ(form.ActiveChild(), c.Chosen->Form.data());
        // A window larger than the area fills it from its top left corner.
        if (c.Chosen == small)
            EXPECT_TRUE(visible.contains(frame(c.Chosen)));
        else
            EXPECT_EQ(frame(c.Chosen).topLeft(), visible.topLeft());
    }
}

TEST_F(PicFormTest, Mouse_PressMoveAndReleaseMakeAClickOrADrag) {
    TForm1& form = Start();
    TPict* a = Open("a.bmp", 3, 40, 30);
    TPict* b = Open("b.bmp", 3, 40, 30);
    ASSERT_TRUE(a && b);
    TPictForm* window = b->Form;
    window->PGImage1->SetZoomFactor(2.5);
    QCoreApplication::processEvents();

    // A left press keeps the picture point; a move with the button held makes it a drag.
    QTest::mousePress(PicBox(window), Qt::LeftButton, {}, {7, 5});
    EXPECT_TRUE(PictMouse.Pressed);
    EXPECT_EQ(PictMouse.PressX, 3);
    EXPECT_EQ(PictMouse.PressY, 2);
    PictMouse.JustActivated = false;
    QTest::mouseMove(PicBox(window), {20, 15});
    EXPECT_TRUE(PictMouse.Dragged);
    QTest::mouseRelease(PicBox(window), Qt::LeftButton, {}, {20, 15});
    EXPECT_FALSE(PictMouse.Pressed);
    EXPECT_FALSE(PictMouse.Dragged);

    // In mode 0 a drag over a measured picture takes the marks away first; a click leaves them.
    const auto mark = [&] {
        window->PGImage1->GetPixelGraphic()->SetPixelColor(1, 1, RGB(255, 255, 255));
        window->Measured = true;
    };
    for (const bool drag : {false, true}) {
        mark();
        QTest::mousePress(PicBox(window), Qt::LeftButton, {}, {10, 10});
        if (drag)
            QTest::mouseMove(PicBox(window), {30, 30});
        QTest::mouseRelease(PicBox(window), Qt::LeftButton, {}, {drag ? 30 : 10, drag ? 30 : 10});
        EXPECT_EQ(window->Measured, !drag);
        EXPECT_EQ(SamePixels(*window->PGImage1->GetPixelGraphicNoWait(), *window->KeptGraphic), drag);
        window->Undo();
    }

    // In mode 2 a drag measures the selection after the same Undo.
    form.Mode = TForm1::SpecialMode;
    mark();
    QTest::mousePress(PicBox(window), Qt::LeftButton, {}, {10, 10});
    QTest::mouseMove(PicBox(window), {30, 30});
    QTest::mouseRelease(PicBox(window), Qt::LeftButton, {}, {30, 30});
    EXPECT_FALSE(window->Measured);
    EXPECT_TRUE(SamePixels(*window->PGImage1->GetPixelGraphicNoWait(), *window->KeptGraphic));

    // The first move after activating a window by a click into it is no drag.
    form.Mode = TForm1::ImageProcessingMode;
    TPictForm* other = a->Form;
    ASSERT_NE(form.ActiveChild(), other);
    QTest::mousePress(PicBox(other), Qt::LeftButton, {}, {5, 5});
    ASSERT_EQ(form.ActiveChild(), other);
    QTest::mouseMove(PicBox(other), {9, 9});
    EXPECT_FALSE(PictMouse.Dragged);
    QTest::mouseMove(PicBox(other), {12, 12});
    EXPECT_TRUE(PictMouse.Dragged);
    QTest::mouseRelease(PicBox(other), Qt::LeftButton, {}, {12, 12});
}

TEST_F(PicFormTest, RightClickAndUndo_RestoreTheKeptPicture) {
    TForm1& form = Start();
    TPict* a = Open("a.bmp", 3, 40, 30);
    TPictForm* window = a->Form;
    window->PGImage1->SetSelectionRect({2, 2, 20, 20});
    window->PGImage1->SetSelection(true);
    window->PGImage1->GetPixelGraphic()->SetPixelColor(3, 3, RGB(255, 255, 255));
    window->Measured = true;
    QTest::mouseClick(PicBox(window), Qt::RightButton, {}, {5, 5});
    EXPECT_FALSE(window->Measured);
    EXPECT_FALSE(window->PGImage1->GetSelection());
    EXPECT_TRUE(SamePixels(*window->PGImage1->GetPixelGraphicNoWait(), *window->KeptGraphic));

    // An image command's change: PreparePicture keeps the picture first, Undo brings it back.
    window->PreparePicture();
    window->PGImage1->GetPixelGraphic()->SetPixelColor(0, 0, RGB(1, 2, 3));
    window->Modified = true;
    form.UpdateMenuItems();
    EXPECT_TRUE(form.N31->isEnabled());
    window->Undo();
    EXPECT_FALSE(window->Modified);
    EXPECT_FALSE(form.N31->isEnabled());
    ExpectColoursOfFile(*window->PGImage1->GetPixelGraphicNoWait(), Images() + "a.bmp");

    // PreparePicture on a measured picture takes the marks away instead.
    window->PGImage1->GetPixelGraphic()->SetPixelColor(0, 0, RGB(9, 9, 9));
    window->Measured = true;
    window->PreparePicture();
    EXPECT_FALSE(window->Measured);
    ExpectColoursOfFile(*window->PGImage1->GetPixelGraphicNoWait(), Images() + "a.bmp");
}

TEST_F(PicFormTest, FormActivate_SelectsItsOwnNodeUnlessTheSelectionIsOnItsPicture) {
    TForm1& form = Start();
    TPict* a = Open("a.bmp");
    TPict* b = Open("b.bmp");
    TProbe* probe = a->FindOrAddInfection("X")->FindOrAddProbe("s1");
    TInfection* infection = a->InfectionsAt(0);
    TProbe* otherProbe = b->FindOrAddInfection("Y")->FindOrAddProbe("s2");
    const struct {
        QTreeWidgetItem* Selected;
        QTreeWidgetItem* Expected;
    } cases[] = {{a->Node, a->Node}, {infection->Node, infection->Node}, {probe->Node, probe->Node},
                 {b->Node, a->Node}, {otherProbe->Node, a->Node},        {nullptr, a->Node}};
    for (const auto& c : cases) {
        form.TreeView1->setCurrentItem(c.Selected);
        if (!c.Selected)
            form.TreeView1->clearSelection();
        a->Form->FormActivate();
        EXPECT_TRUE(PictMouse.JustActivated);
        const QList<QTreeWidgetItem*> selected = form.TreeView1->selectedItems();
        ASSERT_EQ(selected.size(), 1);
        EXPECT_EQ(selected[0], c.Expected);
    }
    // Activating the window through the area does the same.
    form.MdiArea->setActiveSubWindow(a->Form->SubWindow());
    form.TreeView1->setCurrentItem(infection->Node);
    form.MdiArea->setActiveSubWindow(b->Form->SubWindow());
    EXPECT_EQ(form.TreeView1->currentItem(), b->Node);
    // A click moves the tree's current node before its selection: the window the click brings up keeps the
    // clicked node, and the property list shows its probe.
    probe->SetPatient("Иванов");
    form.TreeView1->expandAll();
    QTest::mouseClick(form.TreeView1->viewport(), Qt::LeftButton, {},
                      form.TreeView1->visualItemRect(probe->Node).center());
    EXPECT_EQ(form.ActiveChild(), a->Form.data());
    EXPECT_EQ(form.TreeView1->currentItem(), probe->Node);
    EXPECT_EQ(form.TreeView1->selectedItems(), QList<QTreeWidgetItem*>{probe->Node});
    EXPECT_EQ(form.ListView1->topLevelItem(0)->text(1), "Иванов");
}

TEST_F(PicFormTest, Closing_ClearsThePanelsAndTheLastWindowHidesTheEntryForm) {
    TForm1& form = Start(TForm1::SpecialMode);
    QWidget entry, chart;
    form.EntryForm = &entry;
    form.ChartWindow = &chart;
    TPict* a = Open("a.bmp");
    TPict* b = Open("b.bmp");
    EXPECT_TRUE(entry.isVisible());
    chart.show();
    for (QLabel* panel : {form.Panel4, form.Panel5, form.Panel6, form.Panel7})
        panel->setText("1");
    EXPECT_TRUE(chart.isVisible());
    a->Form->SubWindow()->close();
    EXPECT_TRUE(chart.isVisible());
    Settle();
    for (QLabel* panel : {form.Panel4, form.Panel5, form.Panel6, form.Panel7})
        EXPECT_TRUE(panel->text().isEmpty());
    EXPECT_TRUE(entry.isVisible());
    EXPECT_TRUE(chart.isVisible());
    EXPECT_TRUE(a->Form.isNull());
    b->Form->SubWindow()->close();
    Settle();
    EXPECT_FALSE(entry.isVisible());
    EXPECT_FALSE(chart.isVisible());
    EXPECT_EQ(form.Base->Count(), 2);
}

TEST_F(PicFormTest, Progress_StepsByFiveWhenBehindAndEndsAtZero) {
    TForm1& form = Start();
    TPict* a = Open("a.bmp");
    TPictForm* window = a->Form;
    QProgressBar* bar = form.ProgressBar1;
    const struct {
        int Step, Max, Expected;
    } steps[] = {{1, 100, 0},   {5, 100, 5},   {9, 100, 5},
                 {30, 100, 10}, {50, 200, 15}, {2147483647, 2147483647, 20},
                 {1, 0, 25},    {7, -3, 30},   {100, 100, 35}};
    window->PGImage1PixelGraphicProgress(50, 100);
    EXPECT_EQ(bar->value(), 0); // only while ShowProgress
    window->ShowProgress = true;
    for (const auto& s : steps) {
        window->PGImage1PixelGraphicProgress(s.Step, s.Max);
        EXPECT_EQ(bar->value(), s.Expected) << s.Step << "/" << s.Max;
    }
    window->PGImage1PixelGraphicProgressEnd();
    EXPECT_EQ(bar->value(), 0);
    // A real load drives it through the viewer's events, a step per event at most.
    WritePicture(Images() + "big.bmp", 3, 300, 200);
    int highest = 0;
    QObject::connect(bar, &QProgressBar::valueChanged,
                     [&](int value) { highest = std::max(highest, value); });
    window->LoadImageFile(Images() + "big.bmp");
    EXPECT_GT(highest, 0);
    EXPECT_EQ(highest % TPictForm::ProgressBarStep, 0);
    EXPECT_EQ(bar->value(), 0);
}

// Not a check but a picture to look at: run with LUSIDOR_SHOTS=<folder> under a real display server.
TEST_F(PicFormTest, Screenshot_NavigatorWithThreePicturesAndTwoWindows) {
    const QString shots = qEnvironmentVariable("LUSIDOR_SHOTS");
    if (shots.isEmpty())
        GTEST_SKIP() << "set LUSIDOR_SHOTS to a folder to take the screenshot";
    TForm1& form = Start();
    form.resize(1100, 720);
    // Grey discs on a soft gradient, as the camera shows samples.
    const auto scene = [&](const QString& name, int discs) {
        TPixelGraphic picture;
        picture.SetFormat(480, 360, 3);
        for (int y = 0; y < 360; ++y)
            for (int x = 0; x < 480; ++x) {
                uint8_t v = uint8_t(30 + x / 12 + y / 15);
                for (int d = 0; d < discs; ++d) {
                    const int cx = 90 + d * 135, cy = 120 + (d % 2) * 120;
                    if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < 2025)
                        v = uint8_t(150 + d * 30);
                }
                picture.SetPixelColor(x, y, RGB(v, v, v));
            }
        picture.SaveToFile(Images() + name);
        form.OpenImageFile(Images() + name);
        return form.Base->Items(form.Base->IndexOf(name));
    };
    TPict* first = scene("sample1.bmp", 3);
    TPict* second = scene("sample2.bmp", 2);
    TPict* third = scene("sample3.bmp", 1);
    const auto fill = [](TPict* pict, const QString& infection, const QStringList& probes) {
        TInfection* i = pict->FindOrAddInfection(infection);
        for (const QString& name : probes)
            if (TProbe::IsStandardName(name))
                i->AddStandard(name);
            else
                i->FindOrAddProbe(name)->SetReaction(i->Standard ? "?" : "");
    };
    fill(first, "Грипп", {"E1", "s1", "s2"});
    fill(first, "Корь", {"E2", "s3"});
    fill(second, "Грипп", {"E1", "s4"});
    fill(third, "Краснуха", {"s5"});
    form.TreeView1->expandAll();
    first->Form->SubWindow()->close();
    Settle();
    second->Form->SubWindow()->move(0, 0);
    third->Form->SubWindow()->move(500, 30);
    third->Form->PGImage1->SetZoomFactor(0.5);
    form.TreeView1->setCurrentItem(third->Node);
    QTest::qWait(200);
    QDir().mkpath(shots);
    ASSERT_TRUE(form.grab().save(shots + "/navigator.png"));
}
