// The main window in a temporary program folder: start-up from the settings file, the three modes with
// the simulated bus, the menu rule, the settings written at exit and the end of the program.
#include "MainTestFixture.h"
#include "framework/ErrorBox.h"
#include "framework/testing/FileSizeLimit.h"
#include "image-library/PGLangStr.h"
#include "image-library/testing/ChildCost.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <optional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// A window that refuses every close, as the camera window and the entry form refuse the user's.
class RefusingWindow : public QWidget {
protected:
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

// Raises the driver's error at the first configuration write, as a broken board start-up would.
class FailingPort : public RecordingPort {
public:
    void Out(uint16_t port, uint8_t value) override {
        if (port == PortMap.ConfigData)
            throw EBoardError("configuration refused");
        RecordingPort::Out(port, value);
    }
};

} // namespace

TEST_F(MainFormTest, MissingSettings_ShowTheErrorAndEndBeforeTheLoopWritingNothing) {
    Form = std::make_unique<TForm1>(Folder());
    ASSERT_EQ(Boxes.Requests.size(), 1u);
    EXPECT_EQ(Boxes.Requests[0].Text,
              "Файл \"" + Folder() + "Lusidor.ini\" не найден в директории \"" + Folder() + "\".");
    EXPECT_EQ(Boxes.Requests[0].Caption, "Ошибка");
    EXPECT_EQ(Boxes.Requests[0].Type, mtError);
    EXPECT_TRUE(StartupFailed());
    Form.reset();
    EXPECT_TRUE(QDir(Dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

// A settings file that is no regular file is named in the error box at once, before anything waits on it;
// the program starts with the defaults and leaves it alone at exit, as it does a file it cannot read. Each
// start runs in a child process, so that a FIFO's hang or /dev/zero's endless bytes fail the test instead
// of stopping the suite.
TEST_F(MainFormTest, SettingsThatAreNoRegularFile_AreRefusedAtOnceAndTheProgramGoesOnWithTheDefaults) {
    const QString path = Folder() + "Lusidor.ini";
    const struct {
        const char* Kind;
        std::function<bool()> Make;
    } cases[] = {
        {"FIFO", [&] { return mkfifo(QFile::encodeName(path).constData(), 0600) == 0; }},
        {"link to /dev/zero", [&] { return QFile::link("/dev/zero", path); }},
        {"folder", [&] { return QDir().mkdir(path); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Kind);
        ASSERT_TRUE(c.Make());
        const std::optional<TChildCost> run = RunInChild(
            [&] {
                TForm1 form(Folder());
                const QString started = QString("%1 %2 ").arg(form.Mode).arg(form.ImageFolder);
                form.close();
                QStringList boxes;
                for (const TMessageBoxRequest& box : Boxes.Requests)
                    boxes << box.Caption + ": " + box.Text;
                return (started + boxes.join(" | ")).toStdString();
            },
            256, 10);
        if (!run)
            GTEST_SKIP() << "no child processes measured here (/proc/self/clear_refs)";
        EXPECT_TRUE(run->Finished) << "the start hung";
        EXPECT_EQ(run->Outcome,
                  ("0 " + Folder() + "IMAGES/ Ошибка: Cannot open file \"" + path +
                   "\". Not a regular file | Ошибка: Unable to read " + path + ", so it is not rewritten")
                      .toStdString());
        EXPECT_FALSE(QFileInfo(path).isFile());
        EXPECT_EQ(QDir(Folder()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System),
                  QStringList("Lusidor.ini"));
        if (!QFile::remove(path))
            QDir().rmdir(path);
    }
}

TEST_F(MainFormTest, Start_ReadsModeAndImageFolderAndFirstActivationSetsTheMode) {
    const struct {
        QByteArray Mode, Images;
        int ExpectedMode;
        QString ExpectedFolder;
    } cases[] = {{"0", "IMAGES\\", 0, "IMAGES/"},
                 {"1", "pics", 1, "pics/"},
                 {"2", "a\\b\\", 2, "a/b/"},
                 {"7", "IMAGES\\", 0, "IMAGES/"},
                 {"x", "IMAGES\\", 0, "IMAGES/"}};
    for (const auto& c : cases) {
        TForm1& form =
            Make("[System]\nBasePort=300\n[PATH]\nImages=" + c.Images + "\n[Desktop]\nMode=" + c.Mode + "\n");
        EXPECT_EQ(form.Mode, c.ExpectedMode) << c.Mode.data();
        EXPECT_EQ(form.ImageFolder, Folder() + c.ExpectedFolder);
        EXPECT_TRUE(form.windowTitle() == "Lusidor");
        // The program's own icon, not Qt's, which its dialogs and boxes take too.
        const QImage icon =
            QImage(":/icons/Lusidor.png").convertToFormat(QImage::Format_ARGB32_Premultiplied);
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(QApplication::windowIcon()
                      .pixmap(icon.size())
                      .toImage()
                      .convertToFormat(QImage::Format_ARGB32_Premultiplied),
                  icon);
        form.show();
        QTest::qWait(0);
        QCoreApplication::processEvents();
        EXPECT_TRUE(form.FirstActivationDone);
        EXPECT_EQ(form.HelpFolder, Folder() + "help/");
        EXPECT_TRUE(form.windowTitle().startsWith("Lusidor - "));
        EXPECT_EQ(form.VideoWindow() != nullptr, c.ExpectedMode == 1);
        EXPECT_FALSE(form.MaskReservationFailed);
        Form.reset();
    }
    EXPECT_TRUE(Boxes.Requests.empty());
}

TEST(MainUnit, Start_GivesTheProgramsTextsAndEnglishErrorsUnderTheUserLanguage) {
    MainUnitStart();
    EXPECT_EQ(PGLanguage, 5);
    const std::pair<int, QString> texts[] = {
        {42, "OK"},
        {43, "Отмена"},
        {63, "Гамма"},
        {66, "Яркость"},
        {69, "Яркость/Контрастность/Гамма"},
        {6, "Unknown file format"},
        {23, "Cannot apply this filter to a source that is identical to the target"},
        {25, "Image files"},
        {24, ""},
        {26, ""},
        {44, ""}};
    for (const auto& [index, text] : texts)
        EXPECT_EQ(PGLangStr(uint8_t(index)), text) << index;
    for (int index : {1, 17, 27, 41})
        EXPECT_EQ(PGLangStrEntries[size_t(index)].UserText,
                  QString::fromUtf8(PGLangStrEntries[size_t(index)].Texts[0]));
    ReleasePGUserTexts();
    PGLanguage = 0;
}

TEST_F(MainFormTest, Exit_DeletesATemporaryFileOf149BytesOnly) {
    for (const int size : {149, 150}) {
        Make();
        Store("base.tmp", QByteArray(size, 'x'));
        Form.reset();
        EXPECT_EQ(QFile::exists(Folder() + "base.tmp"), size == 150) << size;
    }
}

TEST_F(MainFormTest, ClosingTheMainWindow_EndsTheProgramThoughAToolWindowRefuses) {
    TForm1& form = Make();
    RefusingWindow tool;
    tool.show();
    form.show();
    EXPECT_EQ(InLoop([&] { form.close(); }), 0);
    EXPECT_TRUE(tool.isVisible());
}

TEST_F(MainFormTest, CameraMode_ConfiguresOnceAndOpensTheVideoWindowAtTheZoom) {
    const struct {
        QByteArray Zoom;
        QString Caption;
        QSize Client;
    } cases[] = {{"1", "Видео [ 100.0% ]", {511, 512}}, {"1.5", "Видео [ 150.0% ]", {766, 768}}};
    for (const auto& c : cases) {
        Port->Accesses.clear();
        TForm1& form = Make(standardSettings + "[Videocamera]\r\nzoom=" + c.Zoom + "\r\n");
        form.SetMode(1);
        form.SetMode(0);
        form.SetMode(1);
        EXPECT_EQ(Port->WritesTo(PortMap.ConfigData).size(), 30840u);
        TPictForm* video = form.VideoWindow();
        ASSERT_TRUE(video);
        EXPECT_EQ(Windows().size(), 1);
        EXPECT_EQ(video->Tag, TPictForm::VideoTag);
        const TPixelGraphic* picture = video->PGImage1->GetPixelGraphic();
        EXPECT_EQ(picture->GetWidth(), 511);
        EXPECT_EQ(picture->GetHeight(), 512);
        EXPECT_EQ(picture->GetBitCountNum(), 2);
        EXPECT_EQ(picture->GetPaletteIdent(), pGray256);
        EXPECT_EQ(video->windowTitle(), c.Caption);
        EXPECT_EQ(video->size(), c.Client);
        EXPECT_EQ(video->parentWidget()->pos(), QPoint(0, 0));
        EXPECT_EQ(video->parentWidget()->minimumSize(), video->parentWidget()->maximumSize());
        EXPECT_FALSE(video->parentWidget()->windowFlags() & Qt::WindowCloseButtonHint);
        EXPECT_EQ(form.windowTitle(), "Lusidor - Видеокамера");
    }
    EXPECT_TRUE(Boxes.Requests.empty());
}

TEST_F(MainFormTest, CameraMode_PutsPicturesAwayAndShowsTheCameraWindowAfterTheSplash) {
    TForm1& form = Make();
    form.show();
    TPictForm* first = AddPicture();
    TPictForm* second = AddPicture();
    second->PGImage1->SetSelection(true);
    QWidget splash, camera, entry;
    splash.show();
    entry.show();
    form.SplashWindow = &splash;
    form.CameraWindow = &camera;
    form.EntryForm = &entry;
    form.SetMode(1);
    for (TPictForm* picture : {first, second}) {
        EXPECT_TRUE(picture->parentWidget()->isMinimized());
        EXPECT_FALSE(picture->parentWidget()->isEnabled());
        EXPECT_FALSE(picture->PGImage1->GetSelection());
    }
    EXPECT_TRUE(form.Panel1->isHidden());
    EXPECT_FALSE(camera.isVisible());
    EXPECT_FALSE(entry.isVisible());
    form.Timer1Timer();
    EXPECT_FALSE(splash.isVisible());
    form.SplashClosed();
    EXPECT_TRUE(camera.isVisible());
}

TEST_F(MainFormTest, LeavingCameraMode_ClosesTheVideoWindowWhereverItIs) {
    for (const int target : {0, 2})
        for (const bool videoActive : {true, false}) {
            TForm1& form = Make();
            form.show();
            TPictForm* picture = AddPicture();
            QWidget camera, entry;
            form.CameraWindow = &camera;
            form.EntryForm = &entry;
            form.SetMode(1);
            if (!videoActive)
                form.MdiArea->setActiveSubWindow(static_cast<QMdiSubWindow*>(picture->parentWidget()));
            form.SetMode(target);
            ASSERT_EQ(Windows().size(), 1) << target << videoActive;
            EXPECT_EQ(Windows()[0]->widget(), picture);
            EXPECT_FALSE(picture->parentWidget()->isMinimized());
            EXPECT_TRUE(picture->parentWidget()->isEnabled());
            EXPECT_FALSE(form.Panel1->isHidden());
            EXPECT_FALSE(camera.isVisible());
            EXPECT_EQ(entry.isVisible(), target == 2);
            Form.reset();
        }
    TForm1& form = Make();
    QWidget entry;
    form.EntryForm = &entry;
    form.SetMode(2);
    EXPECT_FALSE(entry.isVisible());
    EXPECT_EQ(form.windowTitle(), "Lusidor - Спецрежим");
}

TEST_F(MainFormTest, BoardFailures_WrongPortEndsTheProgramAndABoardErrorLetsTheModeGoOn) {
    TForm1& form = Make("[System]\r\nBasePort=356\r\n");
    EXPECT_EQ(InLoop([&] { form.SetMode(1); }), 1);
    ASSERT_EQ(Boxes.Requests.size(), 1u);
    EXPECT_EQ(Boxes.Requests[0].Caption, "Ошибка");
    EXPECT_EQ(form.VideoWindow(), nullptr);
    Form.reset();
    EXPECT_EQ(Stored(), "[System]\r\nBasePort=356\r\n");

    Boxes.Requests.clear();
    SetBoardPorts(std::make_unique<FailingPort>());
    TForm1& next = Make();
    EXPECT_EQ(InLoop([&] { next.SetMode(1); }), -1);
    ASSERT_EQ(Boxes.Requests.size(), 1u);
    EXPECT_EQ(Boxes.Requests[0].Text, "configuration refused");
    EXPECT_NE(next.VideoWindow(), nullptr);
}

TEST_F(MainFormTest, UpdateMenuItems_FollowsModeChildrenBusyModifiedAndSelection) {
    const struct {
        int Mode;
        bool Picture, Busy, Modified, Selected;
    } cases[] = {{0, false, false, false, false}, {0, true, false, true, true},
                 {0, true, false, false, false},  {1, false, false, false, false},
                 {1, false, true, false, false},  {2, true, false, true, false},
                 {2, false, false, false, false}};
    for (const auto& c : cases) {
        TForm1& form = Make();
        form.show();
        TPictForm* picture = c.Picture ? AddPicture() : nullptr;
        if (picture)
            picture->Modified = c.Modified;
        form.SetMode(c.Mode);
        if (picture && c.Mode != 1) {
            form.MdiArea->setActiveSubWindow(static_cast<QMdiSubWindow*>(picture->parentWidget()));
            picture->PGImage1->SetSelection(c.Selected);
        }
        CameraBusy = c.Busy;
        form.UpdateMenuItems();
        const bool children = !Windows().isEmpty();
        const bool camera = c.Mode == 1;
        // An item of a disabled menu is disabled too, so that its shortcut does nothing.
        const std::pair<QAction*, bool> rules[] = {{form.N7, children && !c.Busy && c.Mode != 2},
                                                   {form.N24, children && !c.Busy && c.Mode != 2},
                                                   {form.N13, !c.Busy},
                                                   {form.N14, !c.Busy},
                                                   {form.N6, !c.Busy},
                                                   {form.N30->menuAction(), children},
                                                   {form.N2, !camera},
                                                   {form.N3, children && !camera},
                                                   {form.N25, children && !camera},
                                                   {form.N36, children},
                                                   {form.N29, children},
                                                   {form.N33->menuAction(), children},
                                                   {form.N26->menuAction(), children && !camera},
                                                   {form.N47, children && !camera},
                                                   {form.N11, children && c.Mode == 0},
                                                   {form.N16->menuAction(), children && c.Mode == 0},
                                                   {form.N58, c.Mode == 0 && children},
                                                   {form.N31, children && c.Modified},
                                                   {form.N32, children && c.Selected},
                                                   {form.N34, children}};
        for (const auto& [item, enabled] : rules)
            EXPECT_EQ(item->isEnabled(), enabled) << item->objectName().toStdString() << " mode " << c.Mode
                                                  << " picture " << c.Picture << " busy " << c.Busy;
        EXPECT_EQ(form.N13->isChecked(), c.Mode == 1);
        EXPECT_EQ(form.N14->isChecked(), c.Mode == 0);
        EXPECT_EQ(form.N6->isChecked(), c.Mode == 2);
        CameraBusy = false;
        Form.reset();
    }
}

TEST_F(MainFormTest, Exit_WritesModeAndOnlyTheCameraKeysReadInThisRun) {
    const QByteArray kept = "; mine\r\n[DeskTop]\r\nMode=0\r\n[Videocamera]\r\nnframe=2.50\r\naru = 0\r\n";
    const struct {
        QByteArray Settings;
        bool Camera;
        QByteArray Expected;
    } cases[] = {
        {"[System]\r\nBasePort=300\r\n", true,
         "[System]\r\nBasePort=300\r\n[DeskTop]\r\nMode=1\r\n[Videocamera]\r\ngamma=1\r\naru=1\r\nnframe=1."
         "0\r\naddframe=1\r\n"},
        {kept, false, "; mine\r\n[DeskTop]\r\nMode=2\r\n[Videocamera]\r\nnframe=2.50\r\naru = 0\r\n"},
        {"[Desktop]\nMode=1\n[System]\nBasePort=320\n", true,
         "[Desktop]\nMode=1\n[System]\nBasePort=320\n[Videocamera]\ngamma=1\naru=1\nnframe=1.0\naddframe="
         "1\n"}};
    for (const auto& c : cases) {
        TForm1& form = Make(c.Settings);
        form.SetMode(c.Camera ? 1 : 2);
        form.close();
        EXPECT_EQ(Stored(), c.Expected);
        EXPECT_TRUE(CameraStop);
        Form.reset();
    }
    EXPECT_TRUE(Boxes.Requests.empty());
}

TEST_F(MainFormTest, Exit_AFailedWriteShowsTheErrorAndTheExitGoesOn) {
    const QByteArray settings = standardSettings + QByteArray(200, ';');
    const QString lockName = Folder() + "Lusidor.ini.lock";
    // A write cut short as on a full disk, and a folder where the lock goes.
    for (const bool fullDisk : {true, false}) {
        TForm1& form = Make(settings);
        Boxes.Requests.clear();
        {
            std::optional<FileSizeLimit> limit;
            if (fullDisk)
                limit.emplace(64);
            else
                QDir().mkdir(lockName);
            EXPECT_EQ(InLoop([&] { form.close(); }), 0);
        }
        QDir().rmdir(lockName);
        ASSERT_EQ(Boxes.Requests.size(), 1u);
        EXPECT_EQ(Boxes.Requests[0].Caption, "Ошибка");
        EXPECT_EQ(Stored(), settings);
        Form.reset();
    }
}

TEST_F(MainFormTest, EndToEnd_CameraAtFirstActivationThenSpecialModeThenClose) {
    TForm1& form = Make("[System]\r\nBasePort=300\r\n[Desktop]\r\nMode=1\r\n");
    form.show();
    QTest::qWait(0);
    QCoreApplication::processEvents();
    ASSERT_NE(form.VideoWindow(), nullptr);
    form.SetMode(2);
    EXPECT_EQ(form.VideoWindow(), nullptr);
    form.close();
    EXPECT_EQ(Stored(),
              "[System]\r\nBasePort=300\r\n[Desktop]\r\nMode=2\r\n[Videocamera]\r\ngamma=1\r\naru=1\r\n"
              "nframe=1.0\r\naddframe=1\r\n");
}

TEST_F(MainFormTest, NoWindow_EditAndSaveShortcutsDoNothing) {
    TForm1& form = Make();
    form.show();
    form.SetMode(0);
    for (QAction* item : {form.N31, form.N32, form.N34, form.N3}) {
        int fired = 0;
        QObject::connect(item, &QAction::triggered, [&] { ++fired; });
        QTest::keySequence(&form, item->shortcut());
        EXPECT_EQ(fired, 0) << item->objectName().toStdString();
    }
}

// The status line shows the hint of the control under the pointer, or the main window's own where that
// control has none: the navigator's resize hint belongs to the splitter's handle, not to the picture area.
TEST_F(MainFormTest, StatusLine_ShowsTheHintOfTheControlUnderThePointer) {
    TForm1& form = Make();
    form.resize(900, 600);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.statusTip(), QStringLiteral("Для справки нажмите F1"));
    EXPECT_TRUE(form.Splitter1->statusTip().isEmpty());
    const struct {
        QWidget* Widget;
        const char* Hint;
    } path[] = {{form.MdiArea->viewport(), "Для справки нажмите F1"},
                {form.Splitter1->handle(1), "Изменение размера навигатора"},
                {form.MdiArea->viewport(), "Для справки нажмите F1"},
                {form.TreeView1->viewport(), "Навигатор"},
                {form.Panel4, "Текущая координата по X"},
                {form.Panel3, "Для справки нажмите F1"},
                {form.Splitter1->handle(1), "Изменение размера навигатора"},
                {form.Panel6, "Значение светимости в точке X, Y"}};
    for (const auto& step : path) {
        QTest::mouseMove(step.Widget, step.Widget->rect().center());
        QCoreApplication::processEvents();
        EXPECT_EQ(form.Panel3->text().toStdString(), step.Hint) << step.Widget->objectName().toStdString();
    }
}
