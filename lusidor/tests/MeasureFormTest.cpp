// The measurement through the main window and the picture window's mouse, the entry form's additions and
// controls, and the road of one measurement on the simulated board: grab, save, open, click, add.
#include "MeasureFormFixture.h"
#include "SimulatedBoard.h"
#include "framework/TimeStamp.h"
#include "framework/testing/ModalDialogs.h"
#include "image-library/PGraphic.h"
#include "image-library/widgets/PGImage.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QTest>
#include <QTreeWidget>
#include <functional>

namespace {

// With LAB_SCREENSHOT_DIR set, the widgets side by side, top-aligned, as one picture in that folder.
void Screenshot(std::initializer_list<QWidget*> Widgets, const QString& Name) {
    const QString folder = qEnvironmentVariable("LAB_SCREENSHOT_DIR");
    if (folder.isEmpty())
        return;
    std::vector<QPixmap> shots;
    QSize size(0, 0);
    for (QWidget* widget : Widgets) {
        shots.push_back(widget->grab());
        size = QSize(size.width() + shots.back().width() + 8, std::max(size.height(), shots.back().height()));
    }
    QImage sheet(size, QImage::Format_RGB32);
    sheet.fill(Qt::darkGray);
    QPainter painter(&sheet);
    int x = 0;
    for (const QPixmap& shot : shots) {
        painter.drawPixmap(x, 0, shot);
        x += shot.width() + 8;
    }
    painter.end();
    sheet.save(folder + "/" + Name + ".png");
}

bool SamePixels(const TPixelGraphic& A, const TPixelGraphic& B) {
    for (int y = 0; y < A.GetHeight(); ++y)
        for (int x = 0; x < A.GetWidth(); ++x)
            if (A.GetPixelColor(x, y) != B.GetPixelColor(x, y))
                return false;
    return A.GetWidth() == B.GetWidth() && A.GetHeight() == B.GetHeight();
}

} // namespace

TEST_F(MeasureFormTest, SimulatedFrame_GrabbedSavedOpenedMeasuredAndAdded) {
    Start(TForm1::ImageProcessingMode, "[System]\nBasePort=300\n[Videocamera]\naru=0\naddframe=0\n"
                                       "[PATH]\nImages=IMAGES\\\n[Desktop]\nMode=0\n");
    SetBoardPorts(std::make_unique<SimulatedBoard>(0x300, [this] { return Clock.Now; }));
    InitBoard(Form->SettingsPath);
    TPixelGraphic frame;
    frame.SetFormat(VideoWidth, VideoHeight, 2);
    frame.SetPaletteIdent(pGray256);
    ASSERT_TRUE(GrabFrame());
    ASSERT_TRUE(ReadFrame(&frame));
    Form->SetMode(TForm1::SpecialMode);
    TPict* pict = Open(frame, "frame.bmp");
    ASSERT_TRUE(pict && pict->Form);
    EXPECT_TRUE(Entry->isVisible());
    const std::unique_ptr<TPixelGraphic> picture = pict->Form->PGImage1->GetPixelGraphicCopy();
    ASSERT_EQ(picture->GetBitCountNum(), 3);

    // The disc's centre: a flat profile puts the threshold at the disc's own level, so only the clicked
    // pixel is measured, as the program always did.
    Click(pict, {128, 96});
    EXPECT_EQ(Form->Measurement.Threshold, 200);
    EXPECT_EQ(Form->Measurement.MeasuredValue, 200);
    EXPECT_EQ(Entry->ValueEdit->text(), "200");

    // Near the top of the large disc: the profile's rise sets 84 and the whole disc is summed.
    Click(pict, {128, 60});
    EXPECT_EQ(Form->Measurement.Threshold, 84);
    EXPECT_EQ(Entry->SpinEdit1->value(), 84);
    EXPECT_EQ(Form->Measurement.MeasuredValue, 1'005'000);
    EXPECT_EQ(Entry->ValueEdit->text(), "1005000");
    EXPECT_EQ(Form->Panel7->text(), "200");
    EXPECT_TRUE(pict->Form->Measured);
    const TRect region = Form->Measurement.RegionRect;
    EXPECT_EQ(region, Rect(89, 57, 168, 136));
    EXPECT_EQ(pict->Form->PGImage1->GetSelectionRect(), region);
    EXPECT_TRUE(pict->Form->PGImage1->GetSelection());
    TPixelGraphic& marked = Shown(pict);
    // The outline is white, the inside and the background keep their levels; the first click's mark went.
    for (const auto& [x, y] : {std::pair{128, 56}, {88, 96}, {168, 96}, {128, 136}})
        EXPECT_EQ(marked.GetPixelColor(x, y), clWhite) << x << "," << y;
    EXPECT_EQ(marked.GetPixelColor(128, 96), RGB(200, 200, 200));
    EXPECT_EQ(marked.GetPixelColor(128, 55), picture->GetPixelColor(128, 55));
    int white = 0;
    for (int y = 0; y < marked.GetHeight(); ++y)
        for (int x = 0; x < marked.GetWidth(); ++x)
            white += marked.GetPixelColor(x, y) == clWhite;
    EXPECT_LT(white, 5025 / 10);
    EXPECT_EQ(Entry->focusWidget(), Entry->ProbaEdit);

    Entry->ProbaEdit->setText("E1");
    Entry->InfectBox->setEditText("Грипп");
    Entry->PostavBox->setEditText("Лаб-1");
    Entry->BolnEdit->setText("Иванов И.И.");
    Entry->PrimEdit->setText("контроль");
    Screenshot({Form.get(), Entry.get()}, "measured-disc-and-entry-form");
    Entry->Button1->click();
    ASSERT_EQ(pict->InfectionCount(), 1);
    TProbe* probe = pict->InfectionsAt(0)->ProbesAt(0);
    EXPECT_EQ(pict->InfectionsAt(0)->Standard, probe);
    EXPECT_EQ(probe->Value, 1'005'000);
    EXPECT_EQ(probe->Rect, region);
    EXPECT_EQ(probe->Luminosity, 200);
    EXPECT_EQ(probe->Threshold, 84);
    EXPECT_EQ(Form->TreeView1->currentItem(), probe->Node);
    EXPECT_EQ(Properties(), QStringList({"Иванов И.И.", "200", "Лаб-1", "контроль", "1005000", ""}));

    // A click inside the stored rectangle selects that probe and measures nothing.
    Form->TreeView1->setCurrentItem(pict->Node);
    const std::unique_ptr<TPixelGraphic> before = pict->Form->PGImage1->GetPixelGraphicCopy();
    Click(pict, {100, 100});
    EXPECT_EQ(Form->TreeView1->currentItem(), probe->Node);
    EXPECT_EQ(Form->Measurement.MeasuredValue, 1'005'000);
    EXPECT_TRUE(SamePixels(Shown(pict), *before));
}

TEST_F(MeasureFormTest, RegionMeasurement_EdgeCasesChangeNothingOrStartClean) {
    TForm1& form = Start();
    // Dark: the profile at a top edge gives 0, the box shows its least 1, and regions of level 1 grow whole
    // with 0.
    auto dark = std::make_unique<TPixelGraphic>();
    dark->SetFormat(40, 60, 3);
    const auto fill = [&](int Left, int Top, int Right, int Bottom) {
        for (int y = Top; y < Bottom; ++y)
            for (int x = Left; x < Right; ++x)
                dark->SetPixelColor(x, y, RGB(1, 1, 1));
    };
    fill(10, 20, 30, 40);
    fill(32, 45, 38, 56);
    TPict* pict = Open(*dark, "dark.bmp");
    ASSERT_TRUE(pict);
    Click(pict, {15, 20});
    EXPECT_EQ(form.Measurement.Threshold, 0);
    EXPECT_EQ(Entry->SpinEdit1->value(), 1);
    EXPECT_EQ(form.Measurement.MeasuredValue, 20 * 20);
    EXPECT_EQ(Shown(pict).GetPixelColor(15, 20), clWhite);
    Add("D1");
    EXPECT_EQ(pict->InfectionsAt(0)->ProbesAt(0)->Threshold, 1) << "the threshold the form shows";
    Boxes.Requests.clear();

    // A second click first restores the unmarked picture: the first outline goes.
    Click(pict, {34, 45});
    EXPECT_EQ(form.Measurement.Threshold, 0);
    EXPECT_EQ(form.Measurement.MeasuredValue, 6 * 11);
    EXPECT_EQ(Shown(pict).GetPixelColor(15, 20), RGB(1, 1, 1));
    EXPECT_EQ(Shown(pict).GetPixelColor(34, 45), clWhite);
    EXPECT_TRUE(SamePixels(*pict->Form->KeptGraphic, *dark));

    // A press that rounds to one past the picture (column 7 at zoom 2.5 on 3 x 3) measures nothing.
    auto small = Grey({"555", "555", "555"});
    TPict* corner = Open(*small, "small.bmp");
    ASSERT_TRUE(corner);
    corner->Form->PGImage1->SetZoomFactor(2.5);
    form.Measurement.MeasuredValue = -1;
    Click(corner, {7, 7});
    EXPECT_EQ(PictMouse.PressX, 3);
    EXPECT_FALSE(corner->Form->Measured);
    EXPECT_EQ(form.Measurement.MeasuredValue, -1);
    EXPECT_TRUE(SamePixels(Shown(corner), *small));
    form.PGImage1PicBoxOnMouseDown(Qt::LeftButton, 3, 1);
    form.PGImage1PicBoxOnMouseDown(Qt::LeftButton, 1, -1);
    EXPECT_EQ(form.Measurement.MeasuredValue, -1);

    // An exception inside a measurement leaves no committed, dirty mask: the next one starts from zeros.
    auto two = Grey({"000000", "055000", "000000", "000550", "000000"});
    TPict* blobs = Open(*two, "two.bmp");
    ASSERT_TRUE(blobs);
    TPGImage& image = *blobs->Form->PGImage1;
    form.Measurement.Threshold = 30;
    image.OnSelectionChange = [](TObject*) { throw Exception("selection refused"); };
    EXPECT_THROW(form.PGImage1PicBoxOnMouseDown(Qt::LeftButton, 1, 1), Exception);
    image.OnSelectionChange = nullptr;
    form.PGImage1PicBoxOnMouseDown(Qt::LeftButton, 3, 3);
    EXPECT_EQ(form.Measurement.MeasuredValue, 2 * 50);
    EXPECT_TRUE(blobs->Form->Measured);

    // Only the left button in the special mode measures.
    form.Measurement.MeasuredValue = -1;
    form.PGImage1PicBoxOnMouseDown(Qt::RightButton, 1, 1);
    form.SetMode(TForm1::ImageProcessingMode);
    form.PGImage1PicBoxOnMouseDown(Qt::LeftButton, 1, 1);
    EXPECT_EQ(form.Measurement.MeasuredValue, -1);
    EXPECT_TRUE(Boxes.Requests.empty()) << BoxTexts().join("\n").toStdString();
}

TEST_F(MeasureFormTest, RegionMeasurement_InTheWindowThatWasClickedNotTheActiveOne) {
    TForm1& form = Start();
    auto faint = Grey({"00000", "04400", "04400", "00000"});
    auto bright = Grey({"00000", "00990", "00990", "00000"});
    TPict* clicked = Open(*bright, "bright.bmp");
    TPict* other = Open(*faint, "faint.bmp");
    ASSERT_TRUE(clicked && other);
    // The entry form, where the measurement leaves the focus, is the active window at the press.
    for (TPict* active : {clicked, other}) {
        form.MdiArea->setActiveSubWindow(active->Form->SubWindow());
        ASSERT_EQ(form.ActiveChild(), active->Form.data());
        Entry->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Entry.get()));
        Click(clicked, {2, 1});
        EXPECT_EQ(form.Measurement.MeasuredValue, 4 * 90);
        EXPECT_TRUE(clicked->Form->Measured);
        EXPECT_FALSE(other->Form->Measured);
        EXPECT_TRUE(SamePixels(Shown(other), *faint));
        EXPECT_EQ(form.ActiveChild(), clicked->Form.data()) << "the clicked window is the one to add to";
    }
}

TEST_F(MeasureFormTest, RegionMeasurement_PicturesPastTheMaskAreRefusedUnchanged) {
    TForm1& form = Start();
    const struct {
        int Width, Height;
        bool Fits;
    } cases[] = {{4'000'001, 1, false}, {2000, 2001, false}, {70'000, 50, true}};
    for (const auto& c : cases) {
        TPictForm* window = AddPicture();
        auto picture = std::make_unique<TPixelGraphic>();
        picture->SetFormat(c.Width, c.Height, 3);
        window->PGImage1->SetPixelGraphic(std::move(picture));
        Boxes.Requests.clear();
        form.PGImage1PicBoxOnMouseDown(Qt::LeftButton, c.Width - 2, c.Height / 2);
        if (c.Fits) {
            EXPECT_TRUE(Boxes.Requests.empty());
            EXPECT_TRUE(window->Measured);
        } else {
            EXPECT_EQ(BoxTexts(),
                      QStringList({"Предупреждение: Изображение слишком велико для измерения области."}));
            EXPECT_EQ(Boxes.Requests[0].Type, mtWarning);
            EXPECT_FALSE(window->Measured);
            EXPECT_EQ(window->KeptGraphic, nullptr);
            EXPECT_FALSE(window->PGImage1->GetSelection());
        }
        window->parentWidget()->close();
    }
    // Without the reservation nothing can be measured.
    AddPicture();
    form.MaskReservation.reset();
    Boxes.Requests.clear();
    form.PGImage1PicBoxOnMouseDown(Qt::LeftButton, 5, 5);
    EXPECT_EQ(Boxes.Requests.size(), 1u);
}

TEST_F(MeasureFormTest, DragAndMove_SumTheInclusiveSelectionAndShowTheStatus) {
    TForm1& form = Start();
    auto p = Grey({"123456", "234567", "345678", "456789"});
    TPict* pict = Open(*p);
    ASSERT_TRUE(pict);
    QWidget* box = pict->Form->PGImage1->GetPicBox();
    QTest::mouseMove(box, {3, 2});
    EXPECT_EQ(form.Panel4->text(), "X=3");
    EXPECT_EQ(form.Panel5->text(), "Y=2");
    EXPECT_EQ(form.Panel6->text(), QString::fromUtf8("\xD0\xA1=60")); // Cyrillic С

    QTest::mousePress(box, Qt::LeftButton, {}, {1, 1});
    PictMouse.JustActivated = false;
    QTest::mouseMove(box, {3, 2});
    QTest::mouseRelease(box, Qt::LeftButton, {}, {3, 2});
    const TRect r = pict->Form->PGImage1->GetSelectionRect();
    ASSERT_GT(r.Width(), 0);
    // The scan includes Right and Bottom, one column and one row past the selection; pixel (x, y) is
    // 10 (x + y + 1).
    int64_t sum = 0;
    for (int y = r.Top; y <= r.Bottom; ++y)
        for (int x = r.Left; x <= r.Right; ++x)
            sum += x < 6 && y < 4 ? 10 * (x + y + 1) : 0;
    ASSERT_GT(sum, 0);
    EXPECT_EQ(form.Measurement.MeasuredValue, sum);
    EXPECT_EQ(Entry->ValueEdit->text(), QString::number(sum));
    EXPECT_FALSE(pict->Form->Measured);
}

TEST_F(MeasureFormTest, AfterAClickOrADragTheEntryFormIsActiveSoThatTheUserTypesTheNameAndEnterAddsIt) {
    Start();
    auto p = Grey({"111111", "191111", "111111", "111191"});
    TPict* pict = Open(*p);
    ASSERT_TRUE(pict);
    Entry->InfectBox->setEditText("Грипп");
    QWidget* box = pict->Form->PGImage1->GetPicBox();
    const std::pair<QString, std::function<void()>> measurements[] = {
        {"S1",
         [&] {
             Click(pict, {1, 1});
         }},
        {"S2",
         [&] {
             QTest::mousePress(box, Qt::LeftButton, {}, {3, 2});
             PictMouse.JustActivated = false;
             QTest::mouseMove(box, {5, 3});
             QTest::mouseRelease(box, Qt::LeftButton, {}, {5, 3});
         }},
    };
    for (const auto& [name, measure] : measurements) {
        // The user works in the picture window.
        Form->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == Form.get(); }));
        measure();
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == Entry.get(); }))
            << name.toStdString();
        ASSERT_EQ(QApplication::focusWidget(), Entry->ProbaEdit) << name.toStdString();
        // The name of the sample measured before is selected: typing replaces it.
        QTest::keyClicks(QApplication::focusWidget(), name);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    }
    ASSERT_EQ(pict->InfectionCount(), 1);
    TInfection* flu = pict->InfectionsAt(0);
    ASSERT_EQ(flu->ProbeCount(), 2);
    EXPECT_EQ(flu->ProbesAt(0)->Name, "S1");
    EXPECT_EQ(flu->ProbesAt(1)->Name, "S2");
}

TEST_F(MeasureFormTest, EntryForm_WarnsInOrderAndAddsStandardsAndSamples) {
    TForm1& form = Start();
    const auto probes = [](TInfection* infection) {
        QStringList names;
        for (int i = 0; infection && i < infection->ProbeCount(); ++i)
            names << infection->ProbesAt(i)->Name + infection->ProbesAt(i)->Reaction;
        return names;
    };
    // No window at all, then the video window: nothing to add to.
    Add("S1");
    TPictForm* video = AddPicture();
    video->Tag = TPictForm::VideoTag;
    video->PGImage1->SetSelection(true);
    Add("S1");
    video->parentWidget()->close();
    auto p = Grey({"1111", "1991", "1991", "1111"});
    TPict* pict = Open(*p);
    ASSERT_TRUE(pict);
    Add("S1");
    EXPECT_EQ(BoxTexts(), QStringList(3, "Предупреждение: Выделите область"));

    TPGImage& image = *pict->Form->PGImage1;
    image.SetSelectionRect(Rect(1, 1, 3, 3));
    image.SetSelection(true);
    form.SumRect(image.GetSelectionRect());
    Boxes.Requests.clear();
    Add("S1", "  ");
    Add("   ");
    form.Panel7->clear();
    Add("S1");
    EXPECT_EQ(BoxTexts(),
              QStringList({"Предупреждение: Введите имя инфекции", "Предупреждение: Введите имя пробы",
                           "Ошибка: '' is not a valid integer value"}));
    EXPECT_EQ(pict->InfectionCount(), 0);

    form.SelectionHistogram(image.GetSelectionRect());
    EXPECT_EQ(form.Panel7->text(), "10");
    Boxes.Requests.clear();
    Entry->PostavBox->setEditText(" Лаб-1 ");
    Entry->BolnEdit->setText("Иванов И.И.");
    Entry->PrimEdit->setText("повтор");
    Entry->SpinEdit1->setValue(42);
    bool addingSeen = false;
    QObject::connect(form.TreeView1, &QTreeWidget::currentItemChanged, Entry.get(),
                     [&] { addingSeen = addingSeen || Entry->Adding; });
    Add(" E1 ", " Грипп ");
    EXPECT_TRUE(addingSeen);
    EXPECT_FALSE(Entry->Adding);
    ASSERT_EQ(pict->InfectionCount(), 1);
    TInfection* flu = pict->InfectionsAt(0);
    EXPECT_EQ(flu->Name, "Грипп");
    TProbe* e1 = flu->ProbesAt(0);
    EXPECT_EQ(flu->Standard, e1);
    EXPECT_EQ(e1->Rect, Rect(1, 1, 3, 3));
    EXPECT_EQ(e1->Supplier, " Лаб-1 ");
    EXPECT_EQ(e1->Patient, "Иванов И.И.");
    EXPECT_EQ(e1->Note, "повтор");
    EXPECT_EQ(e1->Threshold, 42);
    EXPECT_EQ(e1->Luminosity, 10);
    EXPECT_EQ(e1->Value, 4 * 90 + 5 * 10);
    const double stamp = DateTimeToMSecs(QDateTime(QDate(2026, 12, 9), QTime(23, 59, 59, 999)));
    EXPECT_EQ(e1->Date, stamp);
    EXPECT_EQ(e1->Time, stamp);
    EXPECT_EQ(Properties(),
              QStringList({"Иванов И.И.", "10", " Лаб-1 ", "повтор", QString::number(e1->Value), ""}));
    // The infection was not listed: the question came, and No left the list alone.
    EXPECT_EQ(BoxTexts(), QStringList({"Вопрос: Такой инфекции нет в списке. Добавить ее в список?"}));
    EXPECT_EQ(Entry->InfectBox->count(), 0);

    // Samples of an infection with a standard get "?"; Cyrillic Е is a sample; a duplicate is refused.
    Boxes.Answer = mrYes;
    Add("S1");
    Add(QString::fromUtf8("\xD0\x95") + "2");
    Add("S1");
    EXPECT_EQ(Boxes.Requests.back().Text, DuplicateProbeNameText);
    EXPECT_EQ(Entry->InfectBox->count(), 1);
    // A second standard takes over; once the standard is gone, samples get no "?".
    Add("E3");
    EXPECT_EQ(flu->Standard, flu->ProbesAt(3));
    flu->Delete(flu->ProbesAt(3));
    flu->Delete(flu->ProbesAt(0));
    Add("S4");
    EXPECT_EQ(probes(flu), QStringList({"S1?", QString::fromUtf8("\xD0\x95") + "2?", "S4"}));
    // The same name under another infection is accepted.
    Add("S1", "Корь");
    EXPECT_EQ(pict->InfectionCount(), 2);
    // A picture node empties the property list; no selected node leaves it.
    form.TreeView1->setCurrentItem(pict->Node);
    form.ShowProbeProperties(form.TreeView1->currentItem());
    EXPECT_EQ(Properties(), QStringList(6, ""));
}

// Also when the click on "Добавить" comes from the main window, after a right click in the picture: the
// window system activates the entry form only after the click has opened its box.
TEST_F(MeasureFormTest, EntryForm_IsActiveAgainAfterItsBoxesAndTakesTheKeysTypedInTheProbeName) {
    TForm1& form = Start();
    auto p = Grey({"1111", "1991", "1991", "1111"});
    TPict* pict = Open(*p);
    ASSERT_TRUE(pict);
    TPGImage& viewer = *pict->Form->PGImage1;
    form.SelectionHistogram(Rect(1, 1, 3, 3));
    // The boxes the user sees, closed from inside their loops.
    const TMessageBoxHandler spy = SetMessageBoxHandler({});
    const struct {
        // The main window active and a right click in the picture, which drops the selection.
        bool FromPicture;
        QString Infection;
        QString Box;
    } cases[] = {{true, "Грипп", "Выделите область"},
                 {false, "", "Введите имя инфекции"},
                 {false, "Грипп", "Такой инфекции нет в списке. Добавить ее в список?"},
                 {false, "Грипп", DuplicateProbeNameText}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.Box.toStdString());
        viewer.SetSelectionRect(Rect(1, 1, 3, 3));
        viewer.SetSelection(true);
        QWidget* working = test.FromPicture ? static_cast<QWidget*>(&form) : Entry.get();
        working->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == working; }));
        if (test.FromPicture)
            QTest::mouseClick(viewer.GetPicBox(), Qt::RightButton, {}, QPoint(2, 2));
        Entry->ProbaEdit->setText("S1");
        Entry->InfectBox->setEditText(test.Infection);
        QString shown;
        WhileDialogRuns([&] { ClickThroughWindow(Entry->Button1); },
                        [&](QWidget* Modal) {
                            auto* box = qobject_cast<QMessageBox*>(Modal);
                            shown = box ? box->text() : QString();
                            // The box takes the activation while it is open.
                            EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == box; }));
                        });
        EXPECT_EQ(shown, test.Box);
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == Entry.get(); }));
        EXPECT_EQ(QApplication::focusWidget(), Entry->ProbaEdit);
        QTest::keyClicks(QApplication::focusWidget(), "7");
        EXPECT_EQ(Entry->ProbaEdit->text(), "S17");
    }
    SetMessageBoxHandler(spy);
}

TEST_F(MeasureFormTest, EntryForm_ControlsLimitTypingOnlyAndRefuseToClose) {
    Start();
    TForm2& entry = *Entry;
    EXPECT_EQ(entry.windowTitle(), "Ввод нового эталона/пробы");
    EXPECT_EQ(entry.size(), QSize(401, 82));
    EXPECT_FALSE(entry.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(entry.windowType(), Qt::Tool);
    EXPECT_EQ(entry.parentWidget(), Form.get());
    EXPECT_FALSE(entry.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(entry.SpinEdit1->value(), 30);
    EXPECT_TRUE(entry.Button1->isDefault());

    entry.show();
    EXPECT_FALSE(entry.close());
    EXPECT_TRUE(entry.isVisible());
    QTest::keyClick(&entry, Qt::Key_Escape);
    EXPECT_TRUE(entry.isVisible());

    const struct {
        QLineEdit* Edit;
        int Limit;
    } limits[] = {{entry.ProbaEdit, 4},
                  {entry.InfectBox->lineEdit(), 10},
                  {entry.PostavBox->lineEdit(), 8},
                  {entry.BolnEdit, 20}};
    for (const auto& l : limits) {
        const QString whole(l.Limit + 3, u'ж');
        l.Edit->setText(whole);
        EXPECT_EQ(l.Edit->text(), whole);
        QTest::keyClick(l.Edit, Qt::Key_End);
        QTest::keyClicks(l.Edit, "x");
        EXPECT_EQ(l.Edit->text(), whole);
        QTest::keyClick(l.Edit, Qt::Key_Backspace);
        EXPECT_EQ(l.Edit->text(), whole.chopped(1)) << "a long text may still be shortened";
        l.Edit->clear();
        QTest::keyClicks(l.Edit, QString(l.Limit + 2, u'w'));
        EXPECT_EQ(l.Edit->text(), QString(l.Limit, u'w'));
    }
    entry.ValueEdit->setText("1005000");
    EXPECT_EQ(entry.ValueEdit->text(), "1005000");
    EXPECT_TRUE(entry.ValueEdit->isReadOnly());

    // The threshold box takes no typing, steps with the arrows between 1 and 255 and writes Threshold.
    QSpinBox& spin = *entry.SpinEdit1;
    QTest::keyClicks(&spin, "7");
    EXPECT_EQ(spin.value(), 30);
    QTest::keyClick(&spin, Qt::Key_Up);
    EXPECT_EQ(spin.value(), 31);
    EXPECT_EQ(Form->Measurement.Threshold, 31);
    spin.setValue(255);
    QTest::keyClick(&spin, Qt::Key_Up);
    EXPECT_EQ(spin.value(), 255);
    spin.setValue(1);
    QTest::keyClick(&spin, Qt::Key_Down);
    EXPECT_EQ(spin.value(), 1);
    EXPECT_EQ(Form->Measurement.Threshold, 1);

    // The infection question: asked only for names not listed; Yes appends without touching the text.
    entry.InfectBox->setEditText("typed");
    Boxes.Answer = mrNo;
    entry.OfferInfection("Грипп");
    EXPECT_EQ(entry.InfectBox->count(), 0);
    Boxes.Answer = mrYes;
    entry.OfferInfection("Грипп");
    entry.OfferInfection("Грипп");
    entry.OfferInfection("грипп");
    EXPECT_EQ(Boxes.Requests.size(), 3u);
    EXPECT_EQ(entry.InfectBox->count(), 2);
    EXPECT_EQ(entry.InfectBox->currentText(), "typed");
}
