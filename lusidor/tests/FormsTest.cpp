// The small windows of the program: the splash, the rotate dialog, the probe properties, the line-profile
// chart and its export, each driven through the main window of a temporary program folder.
#include "ChartUnit.h"
#include "EntrP.h"
#include "ExportUnit.h"
#include "ImageM.h"
#include "MainTestFixture.h"
#include "Measurement.h"
#include "PRotate.h"
#include "PageSetup.h"
#include "Prop.h"
#include "framework/Controls.h"
#include "framework/QtTranslation.h"
#include "framework/testing/CaptionFit.h"
#include "framework/testing/FileSizeLimit.h"
#include "framework/testing/ModalDialogs.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGSettings.h"

#include <QApplication>
#include <QBuffer>
#include <QImageReader>
#include <QLineSeries>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QTest>
#include <QTranslator>
#include <QValueAxis>
#include <cmath>
#include <random>

namespace {

// Width and height from a JPEG's start-of-frame segment, read without any decoder; empty when none.
std::optional<QSize> JpegFrameSize(const QByteArray& Data) {
    if (!Data.startsWith("\xFF\xD8"))
        return {};
    for (qsizetype at = 2; at + 9 < Data.size();) {
        if (uchar(Data[at]) != 0xFF)
            return {};
        const uchar marker = uchar(Data[at + 1]);
        const int length = uchar(Data[at + 2]) << 8 | uchar(Data[at + 3]);
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame)
            return QSize(uchar(Data[at + 7]) << 8 | uchar(Data[at + 8]),
                         uchar(Data[at + 5]) << 8 | uchar(Data[at + 6]));
        at += 2 + length;
    }
    return {};
}

// Every pixel's colour, row by row.
std::vector<TColor> Colors(const TPixelGraphic& Picture) {
    std::vector<TColor> colors;
    for (int y = 0; y < Picture.GetHeight(); ++y)
        for (int x = 0; x < Picture.GetWidth(); ++x)
            colors.push_back(Picture.GetPixelColor(x, y));
    return colors;
}

// Picture turned a quarter counter-clockwise on the screen, pixel by pixel: its top right corner becomes
// the top left one.
std::vector<TColor> TurnedLeftColors(const TPixelGraphic& Picture) {
    std::vector<TColor> colors;
    const int w = Picture.GetWidth(), h = Picture.GetHeight();
    for (int y = 0; y < w; ++y)
        for (int x = 0; x < h; ++x)
            colors.push_back(Picture.GetPixelColor(w - 1 - y, x));
    return colors;
}

std::unique_ptr<TPixelGraphic> RandomGrey(int Width, int Height, unsigned Seed) {
    std::mt19937 rng(Seed);
    auto picture = std::make_unique<TPixelGraphic>();
    picture->SetFormat(Width, Height, 3);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const TColor v = rng() & 0xFF;
            picture->SetPixelColor(x, y, v * 0x010101);
        }
    return picture;
}

int PdfPageCount(const QByteArray& Pdf) {
    return int(QString::fromLatin1(Pdf).count(QRegularExpression("/Type\\s*/Page(?![a-zA-Z])")));
}

class FormsTest : public MainFormTest {
protected:
    // The main window with one picture window of a W x H random grey picture shown at its own size.
    TPictForm& PictureWindow(int Width = 40, int Height = 30) {
        Make();
        TPictForm* window = AddPicture();
        window->PGImage1->SetPixelGraphic(RandomGrey(Width, Height, 7));
        window->KeepPicture();
        return *window;
    }
    // The model with picture "a.bmp" of the image folder, its infection "Грипп"
    // and the probes p1 and p2.
    TProbe& ModelProbe() {
        Make();
        QDir().mkpath(Form->ImageFolder);
        RandomGrey(40, 30, 3)->SaveToFile(Form->ImageFolder + "a.bmp");
        TPict* pict = Form->Base->FindOrAddPict("a.bmp");
        TInfection* infection = pict->FindOrAddInfection("Грипп");
        infection->FindOrAddProbe("p2");
        return *infection->FindOrAddProbe("p1");
    }
    QStringList PropertyValues() const {
        QStringList values;
        for (int row = 0; row < Form->ListView1->topLevelItemCount(); ++row)
            values << Form->ListView1->topLevelItem(row)->text(1);
        return values;
    }
    TFormChart& OpenChart() {
        Form->N11Click();
        return *qobject_cast<TFormChart*>(Form->ChartWindow.data());
    }
};

} // namespace

// ---- Floating windows and the program's dialogs ----

TEST_F(FormsTest, FloatingWindows_StayAboveTheMainWindowOnlyAndTheProgramsDialogsOpenAboveAndBlockThem) {
    PictureWindow();
    // The start-up splash comes before the main window.
    QWidget splashOwner;
    const QPointer<TForm3> splash = new TForm3(&splashOwner);
    splash->MainForm = Form.get();
    Form->SplashWindow = splash.data();
    Form->resize(1000, 700);
    Form->show();
    // The first activation sets the mode now, not while the about window shows (a splash screen's show
    // delivers what is pending).
    QCoreApplication::processEvents();
    TVs_optionsFrame camera(Form.get());
    TForm2 entry(*Form);
    TFormExport exporter(*Form);
    camera.show();
    entry.show();
    exporter.show();
    TFormChart& chart = OpenChart();
    Form->N62Click();
    const std::pair<const char*, QWidget*> floating[] = {
        {"camera", &camera}, {"entry", &entry},  {"export", &exporter},
        {"chart", &chart},   {"splash", splash}, {"about", Form->SplashWindow}};
    for (const auto& [name, window] : floating) {
        ASSERT_NE(window, nullptr) << name;
        EXPECT_EQ(window->windowType(),
                  window == splash || window == Form->SplashWindow ? Qt::SplashScreen : Qt::Tool)
            << name;
        EXPECT_FALSE(window->windowFlags() & Qt::WindowStaysOnTopHint) << name;
        // Minimised, a floating window would be lost on a desktop without a task bar.
        EXPECT_FALSE(window->windowHandle()->flags() & Qt::WindowMinMaxButtonsHint) << name;
        EXPECT_EQ(window->windowHandle()->transientParent(), Form->windowHandle()) << name;
        EXPECT_TRUE(window->isVisible()) << name;
    }
    // The chart opens over the workspace's top right, away from the pictures at its top left and clear of
    // the menu bar.
    const QRect workspace(Form->MdiArea->mapToGlobal(QPoint(0, 0)), Form->MdiArea->size());
    EXPECT_EQ(chart.frameGeometry().topRight(), workspace.topRight());
    EXPECT_GE(chart.frameGeometry().top(),
              Form->menuBar()->mapToGlobal(QPoint(0, Form->menuBar()->height())).y());
    // Opened again while the active picture lies there, it takes the corner that leaves the picture free.
    chart.close();
    QMdiSubWindow& picture = *Form->ActiveChild()->SubWindow();
    picture.move(Form->MdiArea->viewport()->width() - picture.width(), 0);
    TFormChart& moved = OpenChart();
    EXPECT_EQ(moved.frameGeometry().topLeft(), workspace.topLeft());
    EXPECT_FALSE(moved.frameGeometry().intersects(ScreenRect(picture)));

    // "Сохранить как...", "Открыть...", "Повернуть...", the brightness dialog and the print dialog.
    const std::pair<const char*, void (TForm1::*)()> commands[] = {{"N36", &TForm1::N36Click},
                                                                   {"open", &TForm1::OpenImage},
                                                                   {"N58", &TForm1::N58Click},
                                                                   {"N24", &TForm1::N24Click},
                                                                   {"N15", &TForm1::N15Click}};
    for (const auto& [name, command] : commands)
        WhileDialogRuns([this, command = command] { (Form.get()->*command)(); },
                        [&, name = name](QWidget* modal) {
                            ASSERT_NE(modal, nullptr) << name;
                            EXPECT_EQ(modal->windowHandle()->transientParent(), Form->windowHandle()) << name;
                            EXPECT_FALSE(modal->windowHandle()->flags() & Qt::WindowMinMaxButtonsHint)
                                << name;
                            // The click meant for the dialog that once toggled "АРУ" beneath it.
                            ClickThroughWindow(camera.CheckBox4);
                            ClickThroughWindow(moved.SpeedButton2);
                        });
    EXPECT_FALSE(camera.CheckBox4->isChecked());
    EXPECT_FALSE(moved.SpeedButton2->isChecked());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// ---- Splash ----

TEST_F(FormsTest, Splash_TheStoredPictureIsA400x262JpegAndTheWindowFitsItInsideItsBevel) {
    TForm3 splash;
    QFile resource(TForm3::PictureResource);
    ASSERT_TRUE(resource.open(QIODevice::ReadOnly));
    EXPECT_EQ(JpegFrameSize(resource.readAll()), QSize(400, 262));
    EXPECT_TRUE(splash.isVisible());
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(splash.size(), QSize(404, 266));
    const TPixelGraphic* picture = splash.PGImage1->GetPixelGraphic();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(QSize(picture->GetWidth(), picture->GetHeight()), QSize(400, 262));
    EXPECT_FALSE(splash.PGImage1->GetUseThread());
}

TEST_F(FormsTest, Splash_AnUnreadablePictureLeavesTheWindowEmptyAndSaysNothing) {
    Store("broken.jpg", "\xFF\xD8\xFF\xE0 not a picture");
    for (const QString& path : {Folder() + "broken.jpg", Folder() + "missing.jpg"}) {
        TForm3 splash(nullptr, path);
        EXPECT_TRUE(splash.isVisible());
        const TPixelGraphic* picture = splash.PGImage1->GetPixelGraphic();
        EXPECT_TRUE(!picture || picture->GetEmpty()) << path.toStdString();
    }
    EXPECT_TRUE(Boxes.Requests.empty());
}

TEST_F(FormsTest, Splash_AClickOrTheTimerClosesItAndInCameraModeTheCameraWindowFollows) {
    TForm1& form = Make();
    QWidget camera;
    form.CameraWindow = &camera;
    form.Mode = TForm1::CameraMode;
    for (const bool byClick : {true, false}) {
        camera.hide();
        QPointer<TForm3> splash = new TForm3(&form);
        splash->MainForm = &form;
        form.SplashWindow = splash.data();
        if (byClick)
            QTest::mouseClick(splash->PGImage1->GetPicBox(), Qt::LeftButton, {}, QPoint(10, 10));
        else
            form.Timer1Timer();
        EXPECT_TRUE(!splash || !splash->isVisible());
        EXPECT_TRUE(form.SplashWindow.isNull());
        EXPECT_TRUE(camera.isVisible());
    }
}

TEST_F(FormsTest, Splash_ClosingAnOlderAboutWindowKeepsTheNewerOneRemembered) {
    TForm1& form = Make();
    form.N62Click();
    const QPointer<QWidget> first = form.SplashWindow;
    form.N62Click();
    const QPointer<QWidget> second = form.SplashWindow;
    ASSERT_TRUE(first && second && first != second);
    first->close();
    EXPECT_EQ(form.SplashWindow, second);
    second->close();
    EXPECT_TRUE(form.SplashWindow.isNull());
}

// ---- Rotate ----

TEST_F(FormsTest, Rotate_PreviewAt90ThenOkTurningLeft_TurnsThePictureFromBeforeAndUndoBringsItBack) {
    TPictForm& window = PictureWindow(768, 512);
    const std::vector<TColor> before = Colors(*window.PGImage1->GetPixelGraphic());
    TRotateForm dialog(window);
    dialog.RadioButton2->setChecked(true);
    dialog.Button3Click();
    const TPixelGraphic* preview = window.PGImage1->GetPixelGraphic();
    EXPECT_EQ(QSize(preview->GetWidth(), preview->GetHeight()), QSize(512, 768));
    EXPECT_EQ(preview->GetInterpolate(), 0);
    dialog.RadioButton4->setChecked(true);
    EXPECT_EQ(dialog.Angle(), -90);
    dialog.Button1Click();

    const TPixelGraphic* turned = window.PGImage1->GetPixelGraphic();
    EXPECT_EQ(turned->GetInterpolate(), 1);
    ASSERT_EQ(QSize(turned->GetWidth(), turned->GetHeight()), QSize(512, 768));
    EXPECT_EQ(Colors(*turned), TurnedLeftColors(*window.KeptGraphic));
    EXPECT_EQ(Colors(*window.KeptGraphic), before);
    EXPECT_TRUE(window.Modified);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    window.Undo();
    EXPECT_EQ(Colors(*window.PGImage1->GetPixelGraphic()), before);
}

TEST_F(FormsTest, Rotate_CancelEscAndTheCloseButton_BringThePictureBackAndLeaveTheWindowAlone) {
    // A measured window too: its outline, Measured and Modified come back as they were.
    for (const bool measured : {false, true}) {
        TPictForm& window = PictureWindow(60, 40);
        if (measured) {
            TPixelGraphic* shown = window.PGImage1->GetPixelGraphic();
            for (int x = 5; x < 20; ++x)
                shown->SetPixelColor(x, 5, 0xFFFFFF);
            window.Measured = true;
        }
        const std::vector<TColor> before = Colors(*window.PGImage1->GetPixelGraphic());
        window.Modified = true;
        const TPixelGraphic* kept = window.KeptGraphic.get();
        const std::vector<TColor> keptColors = Colors(*kept);
        const std::function<void(TRotateForm&)> ways[] = {
            [](TRotateForm& d) { d.Button2Click(); },
            [](TRotateForm& d) { QTest::keyClick(&d, Qt::Key_Escape); }, [](TRotateForm& d) { d.close(); }};
        for (const auto& end : ways) {
            TRotateForm dialog(window);
            dialog.show();
            dialog.RxSpinEdit1->setValue(30);
            dialog.Button3Click();
            EXPECT_NE(window.PGImage1->GetPixelGraphic()->GetWidth(), 60);
            end(dialog);
            EXPECT_FALSE(dialog.isVisible());
            EXPECT_EQ(dialog.result(), QDialog::Rejected);
            EXPECT_EQ(Colors(*window.PGImage1->GetPixelGraphic()), before) << measured;
            EXPECT_TRUE(window.Modified) << measured;
            EXPECT_EQ(window.Measured, measured);
            EXPECT_EQ(window.KeptGraphic.get(), kept);
            EXPECT_EQ(Colors(*window.KeptGraphic), keptColors);
        }
        Form->UpdateMenuItems();
        EXPECT_TRUE(Form->N31->isEnabled()) << "\"Сохранить\" stays on for the changed picture";
        window.parentWidget()->close();
    }
}

TEST_F(FormsTest, Rotate_TheAngleFollowsChoiceAndDirectionTakesADecimalCommaAndAnEmptiedFieldReadsZero) {
    TPictForm& window = PictureWindow();
    // A user whose locale writes a decimal comma.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const auto restore = qScopeGuard([&] { QLocale::setDefault(previous); });
    TRotateForm dialog(window);
    EXPECT_EQ(dialog.RxSpinEdit1->value(), 1.0);
    EXPECT_EQ(dialog.RxSpinEdit1->singleStep(), 0.5);
    EXPECT_EQ(dialog.RxSpinEdit1->maximum(), 360.0);
    const struct {
        QRadioButton* Choice;
        bool Left;
        double Field;
        long double Expected;
    } cases[] = {{dialog.RadioButton1, false, 12.5, 12.5}, {dialog.RadioButton1, true, 12.5, -12.5},
                 {dialog.RadioButton2, false, 7, 90},      {dialog.RadioButton2, true, 7, -90},
                 {dialog.RadioButton3, false, 7, 180},     {dialog.RadioButton3, true, 7, -180}};
    for (const auto& c : cases) {
        c.Choice->setChecked(true);
        (c.Left ? dialog.RadioButton4 : dialog.RadioButton5)->setChecked(true);
        dialog.RxSpinEdit1->setValue(c.Field);
        EXPECT_EQ(dialog.Angle(), c.Expected);
    }
    // The field writes and reads a decimal point all the same.
    dialog.RxSpinEdit1->setValue(2.5);
    EXPECT_EQ(dialog.RxSpinEdit1->text(), "2.5");

    dialog.RadioButton1->setChecked(true);
    dialog.RadioButton5->setChecked(true);
    dialog.show();
    dialog.RxSpinEdit1->setFocus();
    dialog.RxSpinEdit1->selectAll();
    QTest::keyClick(dialog.RxSpinEdit1, Qt::Key_Backspace);
    EXPECT_EQ(dialog.RxSpinEdit1->text(), "0.0");
    EXPECT_EQ(dialog.Angle(), 0);
    // The angle typed next replaces the zero rather than being written in front of it.
    QTest::keyClicks(dialog.RxSpinEdit1, "45");
    EXPECT_EQ(dialog.Angle(), 45);
    // A decimal comma, as a Russian keyboard gives it, is the point: "30,5" turns by 30.5 degrees, not 305.
    dialog.RxSpinEdit1->selectAll();
    QTest::keyClicks(dialog.RxSpinEdit1, "30,5");
    EXPECT_EQ(dialog.RxSpinEdit1->text(), "30.5");
    EXPECT_EQ(dialog.Angle(), 30.5L);
    QTest::mouseClick(dialog.Button3, Qt::LeftButton);
    TPixelGraphic turned;
    turned.SetInterpolate(0);
    turned.Rotate(true, *dialog.Unrotated, 30.5L);
    EXPECT_EQ(Colors(*window.PGImage1->GetPixelGraphic()), Colors(turned));
}

TEST_F(FormsTest, Rotate_AFailedTurnOnOkLeavesTheWindowAloneAndCancelStillBringsThePictureBack) {
    TPictForm& window = PictureWindow(40, 30);
    const std::vector<TColor> before = Colors(*window.PGImage1->GetPixelGraphic());
    const TPixelGraphic* kept = window.KeptGraphic.get();
    // Room for the picture itself but not for its turned bounds.
    const int64_t memory = PGMaxPixelMemory;
    PGMaxPixelMemory = 40 * 30 * 3 + 400;
    const auto restore = qScopeGuard([memory] { PGMaxPixelMemory = memory; });
    TRotateForm dialog(window);
    dialog.RxSpinEdit1->setValue(45);
    EXPECT_THROW(dialog.Button1Click(), Exception);
    EXPECT_EQ(window.KeptGraphic.get(), kept);
    EXPECT_FALSE(window.Modified);
    dialog.Button2Click();
    EXPECT_EQ(Colors(*window.PGImage1->GetPixelGraphic()), before);
}

TEST_F(FormsTest, Rotate_AMeasuredPictureTurnsWithoutItsOutlineAndUndoGivesTheCleanPicture) {
    TPictForm& window = PictureWindow(50, 30);
    const std::vector<TColor> clean = Colors(*window.KeptGraphic);
    TPixelGraphic* shown = window.PGImage1->GetPixelGraphic();
    for (int x = 5; x < 20; ++x)
        shown->SetPixelColor(x, 5, 0xFFFFFF);
    window.Measured = true;

    TRotateForm dialog(window);
    dialog.RadioButton3->setChecked(true);
    dialog.Button1Click();
    EXPECT_FALSE(window.Measured);
    EXPECT_EQ(Colors(*window.KeptGraphic), clean);
    const std::vector<TColor> turned = Colors(*window.PGImage1->GetPixelGraphic());
    EXPECT_EQ(std::vector<TColor>(turned.rbegin(), turned.rend()), clean);
    window.Undo();
    EXPECT_EQ(Colors(*window.PGImage1->GetPixelGraphic()), clean);
}

TEST_F(FormsTest, Rotate_N58_TheProgressBarFollowsThePictureOnlyWhileTheDialogIsOpen) {
    TPictForm& window = PictureWindow();
    bool progressDuringDialog = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TRotateForm*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        progressDuringDialog = window.ShowProgress;
        dialog->RadioButton2->setChecked(true);
        dialog->Button1->click();
    });
    Form->N58Click();
    EXPECT_TRUE(progressDuringDialog);
    EXPECT_FALSE(window.ShowProgress);
    EXPECT_EQ(window.PGImage1->GetPixelGraphic()->GetWidth(), 30);
    EXPECT_TRUE(Form->N31->isEnabled());
}

// ---- Probe properties ----

TEST_F(FormsTest, Properties_OkStoresTheTrimmedFieldsAndRefreshesThePropertyList) {
    TProbe& probe = ModelProbe();
    Form->TreeView1->setCurrentItem(probe.Node);
    probe.SetSupplier("old");
    TPropForm dialog(probe, *Form);
    EXPECT_EQ(dialog.windowTitle(), "Свойства: p1");
    EXPECT_EQ(dialog.ComboBox1->currentText(), "old");
    EXPECT_EQ(dialog.ComboBox1->count(), 0);
    dialog.ComboBox1->setEditText("  Завод ");
    dialog.Edit3->setText(" Иванов ");
    dialog.Edit4->setText("прим ");
    dialog.Edit2->setText(" ? ");
    dialog.Button3Click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(probe.Supplier, "Завод");
    EXPECT_EQ(probe.Patient, "Иванов");
    EXPECT_EQ(probe.Note, "прим");
    EXPECT_EQ(probe.Reaction, "?");
    EXPECT_EQ(PropertyValues(), (QStringList{"Иванов", "0", "Завод", "прим", "0", "?"}));
}

TEST_F(FormsTest, Properties_NameRules_OtherCaseAndEmptyAreAcceptedADuplicateKeepsTheDialogOpen) {
    TProbe& probe = ModelProbe();
    const struct {
        QString Typed, ExpectedName;
        bool Accepted;
    } cases[] = {{" P1 ", "P1", true}, {"p2", "P1", false}, {"  ", "", true}, {"p2 ", "", false}};
    for (const auto& c : cases) {
        Boxes.Requests.clear();
        TPropForm dialog(probe, *Form);
        dialog.Edit3->setText("patient");
        dialog.Edit1->setText(c.Typed);
        dialog.Button3Click();
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.Accepted) << c.Typed.toStdString();
        EXPECT_EQ(probe.Name, c.ExpectedName);
        EXPECT_EQ(probe.Node->text(0), c.ExpectedName);
        if (c.Accepted) {
            EXPECT_TRUE(Boxes.Requests.empty());
            EXPECT_EQ(probe.Patient, "patient");
            probe.SetPatient("");
        } else {
            ASSERT_EQ(Boxes.Requests.size(), 1u);
            EXPECT_EQ(Boxes.Requests[0].Text, DuplicateProbeNameText);
            EXPECT_EQ(Boxes.Requests[0].Caption, "Предупреждение");
            EXPECT_EQ(Boxes.Requests[0].Type, mtWarning);
            EXPECT_EQ(probe.Patient, "");
        }
    }
}

TEST_F(FormsTest, Properties_N56EditsTheContextProbe_CancelStoresNothingAndOkShowsWhatItStored) {
    TProbe& probe = ModelProbe();
    TProbe& selected = *probe.Infection->ProbesAt(probe.Infection->IndexOfProbe("p2"));
    selected.SetPatient("other");
    // A right press names the context node without selecting it.
    Form->TreeView1->setCurrentItem(selected.Node);
    for (const bool ok : {false, true}) {
        Form->ContextNode = probe.Node;
        QString title;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<TPropForm*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            title = dialog->windowTitle();
            dialog->Edit1->setText("new");
            dialog->Edit3->setText("patient");
            (ok ? dialog->Button3 : dialog->Button2)->click();
        });
        Form->N56Click();
        EXPECT_EQ(title, "Свойства: p1");
        EXPECT_EQ(probe.Name, ok ? "new" : "p1");
        EXPECT_EQ(probe.Patient, ok ? "patient" : "");
        EXPECT_EQ(selected.Patient, "other");
        EXPECT_EQ(PropertyValues()[0], ok ? "patient" : "other")
            << "the list shows the probe the command changed";
        EXPECT_EQ(Form->TreeView1->currentItem(), selected.Node);
    }
}

// ---- Line-profile chart ----

namespace {

// The labels of Axis, as "%d" writes them, are whole numbers each written once: two to eleven of them.
void ExpectWholeLabels(const QValueAxis& Axis) {
    ASSERT_EQ(Axis.labelFormat(), "%d");
    ASSERT_EQ(Axis.tickType(), QValueAxis::TicksDynamic);
    const double step = Axis.tickInterval();
    EXPECT_EQ(step, std::floor(step));
    EXPECT_GE(step, 1);
    std::vector<double> labels;
    for (double at = std::ceil((Axis.min() - Axis.tickAnchor()) / step) * step + Axis.tickAnchor();
         at <= Axis.max(); at += step)
        labels.push_back(at);
    EXPECT_GE(labels.size(), 2u) << Axis.min() << ".." << Axis.max();
    EXPECT_LE(labels.size(), 11u) << Axis.min() << ".." << Axis.max();
}

} // namespace

TEST_F(FormsTest, Chart_EachButtonGivesTheLinesPointsAndTheAxisTitleTheTitleIsTheFileName) {
    TProbe& probe = ModelProbe();
    TPictForm& window = *probe.Infection->Pict->Form;
    Form->MdiArea->setActiveSubWindow(window.SubWindow());
    window.PGImage1->SetSelectionRect({3, 4, 23, 19});
    window.PGImage1->SetSelection(true);
    TFormChart& chart = OpenChart();
    EXPECT_EQ(chart.DownButton(), 1);
    EXPECT_EQ(chart.size(), QSize(454, 304));
    ExpectWholeLabels(*chart.BottomAxis);
    // Button 1 is down already: a click on it would release it, so it comes last.
    for (const int line : {2, 3, 4, 5, 6, 1}) {
        chart.SpeedButtons[size_t(line - 1)]->click();
        EXPECT_EQ(chart.DownButton(), line);
        QList<QPointF> expected;
        for (const TProfilePoint& p :
             ProfileLinePoints(*window.PGImage1->GetPixelGraphic(), window.PGImage1->GetSelectionRect(),
                               TProfileLine(line)))
            expected.append(QPointF(p.X, p.Value));
        EXPECT_EQ(chart.Series1->points(), expected) << line;
        EXPECT_FALSE(expected.isEmpty());
        EXPECT_EQ(chart.BottomAxis->titleText(), line <= 4 ? "X" : "Y");
        EXPECT_EQ(chart.BottomAxis->min(), expected.front().x());
        EXPECT_EQ(chart.BottomAxis->max(), expected.back().x());
        ExpectWholeLabels(*chart.BottomAxis);
        EXPECT_EQ(chart.Chart->title(), "a.bmp");
    }
    chart.SpeedButton2->click();
    chart.SpeedButton2->click(); // releasing the down button leaves all up
    EXPECT_EQ(chart.DownButton(), 0);
    EXPECT_EQ(chart.BottomAxis->titleText(), "Y");
    EXPECT_TRUE(chart.Series1->points().isEmpty());
    EXPECT_EQ(chart.LeftAxis->min(), -2);
    EXPECT_EQ(chart.LeftAxis->max(), 256);
    EXPECT_FALSE(chart.Series2->isVisible());
}

TEST_F(FormsTest, Chart_ARightClickEmptiesTheSeriesAndAfterClosingN11MakesANewWindow) {
    TPictForm& window = PictureWindow();
    window.PGImage1->SetSelectionRect({2, 2, 12, 12});
    window.PGImage1->SetSelection(true);
    TFormChart& chart = OpenChart();
    chart.ShowPoints({{2, 10}, {3, 11}});
    window.PGImage1PicBoxOnMouseDown(mbRight, 5, 5);
    EXPECT_EQ(chart.Series1->count(), 0);

    Form->N11Click();
    EXPECT_EQ(Form->ChartWindow.data(), &chart);
    const QPointer<TFormChart> closed = &chart;
    chart.close();
    EXPECT_TRUE(Form->ChartWindow.isNull());
    Form->N11Click();
    EXPECT_TRUE(Form->ChartWindow);
    EXPECT_NE(Form->ChartWindow.data(), closed.data());
}

// ---- Export ----

class ExportTest : public FormsTest {
protected:
    // A chart of twelve points, and the export window.
    TFormExport& ExportWithChart() {
        Make();
        QList<QPointF> points;
        for (int x = 2; x < 14; ++x)
            points.append(QPointF(x, (x * 37) % 256));
        OpenChart().ShowPoints(points);
        Export = std::make_unique<TFormExport>(*Form);
        return *Export;
    }
    TFormChart& Chart() const { return *qobject_cast<TFormChart*>(Form->ChartWindow.data()); }
    void TearDown() override {
        Export.reset();
        FormsTest::TearDown();
    }
    std::unique_ptr<TFormExport> Export;
};

TEST_F(ExportTest, TheBmpHasTheChartViewsSizeAndTheTextLinesAreTheSeriesPoints) {
    TFormExport& exporter = ExportWithChart();
    EXPECT_EQ(Form->ExportWindow.data(), &exporter);
    EXPECT_FALSE(exporter.isVisible());
    // Centred on the screen, give or take the pixels its layout adds to the size when first shown.
    exporter.show();
    const QPoint offCentre = exporter.geometry().center() - exporter.screen()->availableGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 8);
    exporter.hide();
    ASSERT_TRUE(exporter.ExportToFile(Folder() + "chart.bmp"));
    QImageReader reader(Folder() + "chart.bmp");
    EXPECT_EQ(reader.format(), "bmp");
    const QImage image = reader.read();
    EXPECT_EQ(image.size(), Chart().Chart1->size());
    EXPECT_EQ(image.pixel(1, 1), qRgb(255, 255, 255));

    exporter.RadioButton2->setChecked(true);
    ASSERT_TRUE(exporter.ExportToFile(Folder() + "chart.txt"));
    QStringList expected{"X\tСветимость"};
    for (const QPointF& p : Chart().Series1->points())
        expected << QString::number(p.x()) + '\t' + QString::number(p.y());
    const QString text = QString::fromUtf8(Stored("chart.txt"));
    EXPECT_EQ(text, expected.join('\n') + '\n');
    EXPECT_EQ(expected.size(), 13);
    EXPECT_TRUE(Boxes.Requests.empty());
}

TEST_F(ExportTest, ReplacingAFileAsksAndNoKeepsItByteForByteAFailedWriteReportsTheError) {
    TFormExport& exporter = ExportWithChart();
    exporter.RadioButton2->setChecked(true);
    Store("chart.txt", "old content");
    Boxes.Answer = mrNo;
    EXPECT_FALSE(exporter.ExportToFile(Folder() + "chart.txt"));
    ASSERT_EQ(Boxes.Requests.size(), 1u);
    EXPECT_EQ(Boxes.Requests[0].Buttons, unsigned(mbYes | mbNo));
    EXPECT_EQ(Stored("chart.txt"), "old content");
    Boxes.Answer = mrYes;
    EXPECT_TRUE(exporter.ExportToFile(Folder() + "chart.txt"));
    EXPECT_TRUE(Stored("chart.txt").startsWith("X\t"));
    const QByteArray exported = Stored("chart.txt");
    // A write cut short, as on a full disk: the error is shown and the file stays as it was.
    {
        const FileSizeLimit limit(8);
        EXPECT_FALSE(exporter.ExportToFile(Folder() + "chart.txt"));
    }
    EXPECT_EQ(Stored("chart.txt"), exported);

    // A name that is a folder cannot be written: the error is shown and the folder stays.
    Boxes.Requests.clear();
    QDir(Folder()).mkdir("taken");
    EXPECT_FALSE(exporter.ExportToFile(Folder() + "taken"));
    ASSERT_EQ(Boxes.Requests.size(), 2u);
    EXPECT_EQ(Boxes.Requests[1].Caption, "Ошибка");
    EXPECT_TRUE(QFileInfo(Folder() + "taken").isDir());
}

TEST_F(ExportTest, PrintingToAPdfFileGivesOnePage_AndWithoutAChartBothButtonsDoNothing) {
    TFormExport& exporter = ExportWithChart();
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(Folder() + "chart.pdf");
    exporter.PrintChart(printer);
    EXPECT_EQ(PdfPageCount(Stored("chart.pdf")), 1);

    Chart().close();
    exporter.Button1Click();
    exporter.Button2Click();
    EXPECT_FALSE(exporter.ExportToFile(Folder() + "none.bmp"));
    EXPECT_FALSE(QFile::exists(Folder() + "none.bmp"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(ExportTest, ItsDialogsOpenAboveTheExportAndChartWindowsWhichTakeNoClicksWhileTheyRun) {
    TFormExport& exporter = ExportWithChart();
    Form->show();
    exporter.show();
    QToolButton* line = Chart().SpeedButton2;
    const std::pair<const char*, QAbstractButton*> commands[] = {{"В файл", exporter.Button2},
                                                                 {"На принтер", exporter.Button1}};
    for (const auto& [name, button] : commands)
        WhileDialogRuns([button = button] { button->click(); },
                        [&, name = name](QWidget* modal) {
                            ASSERT_NE(modal, nullptr) << name;
                            // Above the main window or above the export window, which is above it.
                            const QWindow* owner = modal->windowHandle()->transientParent();
                            EXPECT_TRUE(owner == Form->windowHandle() || owner == exporter.windowHandle())
                                << name;
                            ClickThroughWindow(exporter.Button3);
                            ClickThroughWindow(line);
                        });
    EXPECT_TRUE(exporter.isVisible());
    EXPECT_FALSE(line->isChecked());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// ---- Every window ----

// Every caption of the program's windows and dialogs whole in its own font, under the program's texts with
// Qt's standard dialogs in Russian, and the status panels holding their widest texts.
TEST_F(FormsTest, EveryWindowAndDialogShowsItsCaptionsWhole) {
    MainUnitStart();
    QTranslator* russian = InstallQtTranslation();
    const auto restore = qScopeGuard([russian] {
        ReleasePGUserTexts();
        PGLanguage = 0;
        if (russian)
            QCoreApplication::removeTranslator(russian);
        delete russian;
    });
    TProbe& probe = ModelProbe();
    TForm1& form = *Form;
    form.resize(1024, 720);
    TPictForm& picture = *AddPicture();
    // The library's dialogs as the program runs them.
    QTimer::singleShot(0, [&] {
        ExpectCaptionsFit(*form.BCGFilterDialog1.Form, "brightness/contrast/gamma");
        form.BCGFilterDialog1.Form->reject();
    });
    form.N24Click();
    for (TPGOpenDialog* dialog : {&form.PGOpenDialog1, static_cast<TPGOpenDialog*>(&form.PGSaveDialog1)}) {
        dialog->Open();
        ExpectCaptionsFit(*dialog->Window(), dialog->IsSaveDialog ? "save" : "open");
        dialog->Window()->reject();
    }

    QString widestHint;
    const QFontMetrics metrics = form.Panel3->fontMetrics();
    for (const QAction* item : form.findChildren<QAction*>())
        if (metrics.horizontalAdvance(item->statusTip()) > metrics.horizontalAdvance(widestHint))
            widestHint = item->statusTip();
    form.Panel3->setText(widestHint);
    form.Panel4->setText("X=65535");
    form.Panel5->setText("Y=65535");
    form.Panel6->setText("С=255");
    form.Panel7->setText("255");
    TForm2 entry(form);
    TVs_optionsFrame camera(&form);
    TFormExport exportWindow(form);
    TFormChart& chart = OpenChart();
    TForm3 splash;
    TRotateForm rotate(picture);
    TPropForm properties(probe, form);
    QPrinter printer;
    QPrintDialog print(&printer, &form);
    TPageSetupForm pageSetup(printer, &form);
    const std::pair<const char*, QWidget*> windows[] = {
        {"main", &form},       {"entry form", &entry}, {"camera", &camera},       {"export", &exportWindow},
        {"chart", &chart},     {"splash", &splash},    {"rotate", &rotate},       {"properties", &properties},
        {"picture", &picture}, {"print", &print},      {"page setup", &pageSetup}};
    for (const auto& [name, window] : windows)
        ExpectCaptionsFit(*window, name);
}
