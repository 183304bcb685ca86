// The main window's commands: the menu table, the picture operations, zoom, the MDI windows, saving,
// printing, copying, help, and the navigator's menu, renaming, deletion and selection.
#include "EntrP.h"
#include "HelpWindow.h"
#include "MainTestFixture.h"
#include "NavigatorTree.h"
#include "PageSetup.h"
#include "SimulatedBoard.h"
#include "framework/Controls.h"
#include "image-library/PGFilters.h"
#include "vs_options.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPrintDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QSlider>
#include <QTest>
#include <unistd.h>

namespace {

// Answers the next modal window of type W (or shown top-level one) from inside its own event loop. It looks a
// bounded number of times and fails the test when the window never comes.
template <class W, class F> void WhenModal(F Answer) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, Answer] {
        W* window = qobject_cast<W*>(QApplication::activeModalWidget());
        for (QWidget* top : QApplication::topLevelWidgets())
            if (!window && top->isVisible())
                window = qobject_cast<W*>(top);
        if (window) {
            timer->stop();
            timer->deleteLater();
            Answer(*window);
        } else if (++*tries > 500) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no modal " << W::staticMetaObject.className();
        }
    });
    timer->start(10);
}

// A picture whose pixel values tell their place: red = x, green = y, blue = 100.
std::unique_ptr<TPixelGraphic> Pattern(int Width, int Height) {
    auto picture = std::make_unique<TPixelGraphic>();
    picture->SetFormat(Width, Height, 3);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            picture->SetPixelColor(x, y, TColor(x & 255) | TColor(y & 255) << 8 | 100u << 16);
    return picture;
}

std::vector<TColor> Pixels(const TPixelGraphic& Picture) {
    std::vector<TColor> pixels;
    for (int y = 0; y < Picture.GetHeight(); ++y)
        for (int x = 0; x < Picture.GetWidth(); ++x)
            pixels.push_back(Picture.GetPixelColor(x, y));
    return pixels;
}

class CommandsTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        Make();
        Form->resize(1000, 700);
        Form->show();
        QCoreApplication::processEvents();
        QDir(Folder()).mkpath("IMAGES");
    }
    // A picture window showing Picture, made the active one.
    TPictForm* Window(std::unique_ptr<TPixelGraphic> Picture, const QString& Title = "a.bmp") {
        TPictForm* form = AddPicture();
        form->PGImage1->SetPixelGraphic(std::move(Picture));
        form->KeepPicture();
        form->setWindowTitle(Title);
        return form;
    }
    TPixelGraphic& Shown(TPictForm* Form_) { return *Form_->PGImage1->GetPixelGraphic(); }
    QString Image(const QString& Name) const { return Folder() + "IMAGES/" + Name; }
    // Runs Command with the save dialog answered by Name (a full path).
    void SaveAs(QAction* Command, const QString& Name, QString* Proposed = nullptr) {
        WhenModal<QFileDialog>([Name, Proposed](QFileDialog& Dialog) {
            if (Proposed)
                *Proposed = Dialog.findChild<QLineEdit*>("fileNameEdit")->text();
            // As the user does it: the folder, then the name typed into the name field.
            Dialog.setDirectory(QFileInfo(Name).path());
            Dialog.findChild<QLineEdit*>("fileNameEdit")->setText(QFileInfo(Name).fileName());
            static_cast<QDialog&>(Dialog).accept();
            if (Dialog.isVisible()) {
                ADD_FAILURE() << "the dialog kept " << Name.toStdString();
                Dialog.reject();
            }
        });
        Command->trigger();
    }
};

} // namespace

TEST_F(CommandsTest, MenuTable_CaptionsShortcutsAndHintsAsTheFormHasThem) {
    const struct {
        QAction* Item;
        const char* Caption;
        const char* Shortcut;
        const char* Hint;
    } items[] = {
        {Form->N1->menuAction(), "&Файл", "", ""},
        {Form->N2, "&Открыть...", "Ctrl+O", "Открыть файл с изображением"},
        {Form->N3, "&Сохранить...", "Ctrl+S", ""},
        {Form->N36, "Сохранить &как...", "", ""},
        {Form->N29, "Параметры страницы...", "", ""},
        {Form->N15, "&Печать...", "", "Печать текущего изображения"},
        {Form->N5, "В&ыход", "", "Выход из программы"},
        {Form->N12->menuAction(), "&Режим", "", "Выбор режима работы"},
        {Form->N13, "&Работа с видеокамерой", "", "Выберите этот режим чтобы получить изображение"},
        {Form->N14, "&Обработка изображений", "", "Выберите этот режим, чтобы отредактировать изображение"},
        {Form->N6, "&Спецрежим", "", "Выберите этот режим для проведения измерений"},
        {Form->N30->menuAction(), "&Правка", "", ""},
        {Form->N31, "&Отменить", "Ctrl+Z", ""},
        {Form->N32, "&Копировать", "Ctrl+C", ""},
        {Form->N34, "&Выделить все", "Ctrl+A", ""},
        {Form->N33->menuAction(), "&Изображение", "", ""},
        {Form->N25, "&Обновить", "", ""},
        {Form->N7, "&Негатив", "", ""},
        {Form->N24, "&Яркость/Контраст...", "", ""},
        {Form->N16->menuAction(), "&Повернуть", "", ""},
        {Form->N58, "На у&гол...", "", ""},
        {Form->N18, "&Вертикально", "", ""},
        {Form->N17, "&Горизонтально", "", ""},
        {Form->N11, "&Линейный профиль...", "", ""},
        {Form->N37->menuAction(), "&Масштаб", "", ""},
        {Form->N20, "&Увеличить", "", ""},
        {Form->N47, "У&величить все", "", ""},
        {Form->N21, "У&меньшить", "", ""},
        {Form->N48, "Ум&еньшить все", "", ""},
        {Form->N22, "&Реальный размер", "", ""},
        {Form->N51, "Ре&альный размер все", "", ""},
        {Form->N26->menuAction(), "&Окн\x6f", "", ""}, // the last letter is the Latin o
        {Form->N23, "&Каскадом", "", ""},
        {Form->N27, "&Слева направо", "", ""},
        {Form->N38, "С&верху вниз", "", ""},
        {Form->N41, "&Упорядочить", "", ""},
        {Form->N46, "Свернуть &неактивные", "", ""},
        {Form->N40, "Св&ернуть все", "", ""},
        {Form->N42, "&Показать все", "", ""},
        {Form->N44, "&Следующее", "", ""},
        {Form->N45, "П&редыдущее", "", ""},
        {Form->N8->menuAction(), "&База Данных", "", "Работа с базой данных"},
        {Form->N9, "Добавить в общую БД", "", "Добавление введенной информации в общую базу данных"},
        {Form->N59->menuAction(), "&?", "", "Помощь"},
        {Form->N60, "&Вызов справки", "", ""},
        {Form->N62, "&О программе...", "", ""},
        {Form->N53, "&Обновить", "", ""},
        {Form->N52, "&Удалить", "", ""},
        {Form->N35, "&Переименовать", "", ""},
        {Form->N56, "&Свойства...", "", ""},
    };
    for (const auto& item : items) {
        EXPECT_EQ(item.Item->text(), QString::fromUtf8(item.Caption));
        EXPECT_EQ(item.Item->shortcut().toString(), item.Shortcut) << item.Caption;
        EXPECT_EQ(item.Item->statusTip(), QString::fromUtf8(item.Hint)) << item.Caption;
    }
    // Each menu's items in order, "-" for a separator.
    const auto layout = [](QMenu* Menu) {
        QStringList names;
        for (QAction* item : Menu->actions())
            names << (item->isSeparator() ? "-"
                      : item->menu()      ? item->menu()->objectName()
                                          : item->objectName());
        return names.join(' ');
    };
    EXPECT_EQ(layout(Form->N1), "N2 - N3 N36 - N29 N15 - N5");
    EXPECT_EQ(layout(Form->N12), "N13 N14 N6");
    EXPECT_EQ(layout(Form->N30), "N31 - N32 N34");
    EXPECT_EQ(layout(Form->N33), "N25 - N7 N24 - N16 N11");
    EXPECT_EQ(layout(Form->N16), "N58 - N18 N17");
    EXPECT_EQ(layout(Form->N37), "N20 N21 N22 - N47 N48 N51");
    EXPECT_EQ(layout(Form->N26), "N23 N27 N38 N41 - N46 N40 N42 - N44 N45");
    EXPECT_EQ(layout(Form->N8), "N9");
    EXPECT_EQ(layout(Form->N59), "N60 - N62");
    EXPECT_EQ(layout(Form->PopupMenu1), "N53 - N52 N35 - N56");
    EXPECT_FALSE(Form->N29->isEnabled());
}

TEST_F(CommandsTest, Zoom_StepsLimitsAndEveryWindow) {
    TPictForm* first = Window(Pattern(8, 6));
    TPictForm* second = Window(Pattern(8, 6));
    TPGImage& image = *second->PGImage1;
    image.SetZoomFactor(5);
    Form->N20->trigger();
    EXPECT_DOUBLE_EQ(double(image.GetZoomFactor()), 7.0);
    Form->N20->trigger();
    EXPECT_DOUBLE_EQ(double(image.GetZoomFactor()), 7.0);
    Form->N47->trigger();
    EXPECT_DOUBLE_EQ(double(image.GetZoomFactor()), 9.8);
    EXPECT_DOUBLE_EQ(double(first->PGImage1->GetZoomFactor()), 1.4);
    Form->N22->trigger();
    EXPECT_EQ(image.GetZoomFactor(), 1);
    const double expected[] = {5.0 / 7, 25.0 / 49, 125.0 / 343};
    for (double zoom : expected) {
        Form->N21->trigger();
        EXPECT_NEAR(double(image.GetZoomFactor()), zoom, 1e-15);
    }
    Form->N48->trigger();
    EXPECT_NEAR(double(first->PGImage1->GetZoomFactor()), 1.0, 1e-15);
    Form->N51->trigger();
    EXPECT_EQ(first->PGImage1->GetZoomFactor(), 1);
    EXPECT_EQ(image.GetZoomFactor(), 1);
}

TEST_F(CommandsTest, SelectAll_LeavesAOnePixelBorder) {
    TPictForm* window = Window(Pattern(511, 512));
    Form->N34->trigger();
    EXPECT_TRUE(window->PGImage1->GetSelection());
    EXPECT_EQ(window->PGImage1->GetSelectionRect(), Bounds(1, 1, 509, 510));
    EXPECT_TRUE(Form->N32->isEnabled());
}

TEST_F(CommandsTest, PictureCommands_OnAWindowWithoutPictureDoNothing) {
    TPictForm* window = AddPicture();
    window->PGImage1->SetPixelGraphic(nullptr);
    window->setWindowTitle("empty");
    for (QAction* command : {Form->N7, Form->N17, Form->N18, Form->N34, Form->N20, Form->N21, Form->N22,
                             Form->N47, Form->N3, Form->N36, Form->N15, Form->N32, Form->N24})
        command->trigger();
    EXPECT_EQ(window->PGImage1->GetZoomFactor(), 1);
    EXPECT_FALSE(window->Modified);
    EXPECT_FALSE(window->PGImage1->GetSelection());
    EXPECT_TRUE(Boxes.Requests.empty());
}

TEST_F(CommandsTest, Negative_OnAMeasuredWindowDropsTheMarksAndUndoGivesTheOriginal) {
    TPictForm* window = Window(Pattern(6, 4));
    const std::vector<TColor> original = Pixels(Shown(window));
    // The measurement's white outline on the shown picture only.
    Shown(window).SetPixelColor(2, 2, 0xFFFFFF);
    Shown(window).Changed();
    window->Measured = true;
    Form->N7->trigger();
    EXPECT_FALSE(window->Measured);
    EXPECT_TRUE(window->Modified);
    EXPECT_TRUE(Form->N31->isEnabled());
    std::vector<TColor> inverted;
    for (TColor color : original)
        inverted.push_back(~color & 0xFFFFFF);
    EXPECT_EQ(Pixels(Shown(window)), inverted);
    Form->N31->trigger();
    EXPECT_EQ(Pixels(Shown(window)), original);
    EXPECT_FALSE(window->Modified);
}

TEST_F(CommandsTest, BrightnessContrast_CancelKeepsEverythingAndOkAppliesWithTheDialogKeepingItsValues) {
    TPictForm* window = Window(Pattern(6, 4));
    const std::vector<TColor> original = Pixels(Shown(window));
    WhenModal<QDialog>([](QDialog& Dialog) { Dialog.reject(); });
    Form->N24->trigger();
    EXPECT_EQ(Pixels(Shown(window)), original);
    EXPECT_FALSE(window->Modified);
    EXPECT_EQ(Pixels(*window->KeptGraphic), original);

    // The first track is the brightness; the dialog keeps what the user set for the next time.
    WhenModal<QDialog>([](QDialog& Dialog) {
        Dialog.findChildren<QSlider*>().at(0)->setValue(40);
        Dialog.accept();
    });
    Form->N24->trigger();
    EXPECT_TRUE(window->Modified);
    EXPECT_EQ(Form->BCGFilterDialog1.GetBrightness(), 40);
    EXPECT_GT(Shown(window).GetPixelColor(0, 0) & 0xFF, original[0] & 0xFF);
    EXPECT_EQ(Pixels(*window->KeptGraphic), original);
    int shownBrightness = 0;
    WhenModal<QDialog>([&](QDialog& Dialog) {
        shownBrightness = Dialog.findChildren<QSlider*>().at(0)->value();
        Dialog.reject();
    });
    Form->N24->trigger();
    EXPECT_EQ(shownBrightness, 40);
}

TEST_F(CommandsTest, Mirrors_CaptionsCrossed) {
    // (a, b, c) across and down: "Вертикально" exchanges left and right, "Горизонтально" top and bottom.
    const TColor a = 0x0000FF, b = 0x00FF00, c = 0xFF0000;
    const struct {
        int Width, Height;
        QAction* Command;
        std::vector<TColor> Expected;
    } cases[] = {{3, 1, Form->N18, {c, b, a}},
                 {3, 1, Form->N17, {a, b, c}},
                 {1, 3, Form->N18, {a, b, c}},
                 {1, 3, Form->N17, {c, b, a}}};
    for (const auto& test : cases) {
        auto picture = std::make_unique<TPixelGraphic>();
        picture->SetFormat(test.Width, test.Height, 3);
        const TColor colors[] = {a, b, c};
        for (int i = 0; i < 3; ++i)
            picture->SetPixelColor(test.Width == 3 ? i : 0, test.Height == 3 ? i : 0, colors[i]);
        TPictForm* window = Window(std::move(picture));
        test.Command->trigger();
        EXPECT_EQ(Pixels(Shown(window)), test.Expected) << test.Command->objectName().toStdString();
        EXPECT_TRUE(window->Modified);
        Form->N31->trigger();
        EXPECT_EQ(Pixels(Shown(window)), (std::vector<TColor>{a, b, c}));
    }
}

TEST_F(CommandsTest, Windows_TilingMinimisingCyclingAndTheWindowList) {
    TPictForm* windows[] = {Window(Pattern(40, 30), "one"), Window(Pattern(40, 30), "two"),
                            Window(Pattern(40, 30), "three")};
    const QSize area = Form->MdiArea->viewport()->size();
    Form->N27->trigger();
    std::set<int> lefts;
    for (QMdiSubWindow* child : Windows()) {
        EXPECT_EQ(child->width(), area.width() / 3);
        EXPECT_EQ(child->height(), area.height());
        lefts.insert(child->x());
    }
    EXPECT_EQ(lefts, (std::set<int>{0, area.width() / 3, 2 * (area.width() / 3)}));
    Form->N38->trigger();
    for (QMdiSubWindow* child : Windows()) {
        EXPECT_EQ(child->width(), area.width());
        EXPECT_EQ(child->height(), area.height() / 3);
    }

    // The window list: one entry per window, the active one checked; choosing one activates it.
    Form->MdiArea->setActiveSubWindow(windows[1]->SubWindow());
    emit Form->N26->aboutToShow();
    std::vector<QAction*> entries;
    for (QAction* item : Form->N26->actions())
        if (item->isCheckable())
            entries.push_back(item);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0]->text(), "&1 one");
    EXPECT_TRUE(entries[1]->isChecked());
    EXPECT_FALSE(entries[0]->isChecked());
    entries[2]->trigger();
    EXPECT_EQ(Form->ActiveChild(), windows[2]);
    emit Form->N26->aboutToShow();
    EXPECT_EQ(Form->N26->actions().size(), 11 + 1 + 3); // rebuilt, not added again

    // Next and previous cycle through all three.
    std::vector<TPictForm*> visited;
    for (int step = 0; step < 3; ++step) {
        Form->N44->trigger();
        visited.push_back(Form->ActiveChild());
    }
    EXPECT_EQ(visited.back(), windows[2]);
    EXPECT_EQ(std::set<TPictForm*>(visited.begin(), visited.end()).size(), 3u);
    Form->N44->trigger();
    Form->N45->trigger();
    EXPECT_EQ(Form->ActiveChild(), windows[2]);

    Form->N46->trigger();
    EXPECT_EQ(Form->ActiveChild(), windows[2]);
    EXPECT_FALSE(windows[2]->SubWindow()->isMinimized());
    EXPECT_TRUE(windows[0]->SubWindow()->isMinimized() && windows[1]->SubWindow()->isMinimized());
    Form->N41->trigger();
    for (TPictForm* window : {windows[0], windows[1]})
        EXPECT_EQ(window->SubWindow()->geometry().bottom(), area.height() - 1);
    Form->N40->trigger();
    for (TPictForm* window : windows)
        EXPECT_TRUE(window->SubWindow()->isMinimized());
    Form->N42->trigger();
    for (TPictForm* window : windows)
        EXPECT_FALSE(window->SubWindow()->isMinimized());
    Form->N23->trigger();
    EXPECT_NE(windows[0]->SubWindow()->pos(), windows[1]->SubWindow()->pos());
}

TEST_F(CommandsTest, Save_ProposesTheNameAsksBeforeReplacingAndSavesTheUnmarkedPicture) {
    TPictForm* window = Window(Pattern(5, 3));
    window->PGImage1->SaveToFile(Image("a.bmp"));
    const QByteArray first = [&] {
        QFile file(Image("a.bmp"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    // A marked picture: the marks must not reach the file.
    Shown(window).SetPixelColor(0, 0, 0xFFFFFF);
    window->Measured = true;

    QString proposed;
    Boxes.Answer = mrNo;
    SaveAs(Form->N3, Image("a.bmp"), &proposed);
    EXPECT_EQ(proposed, "a.bmp");
    ASSERT_EQ(Boxes.Requests.size(), 1u);
    EXPECT_EQ(Boxes.Requests[0].Text, "Файл a.bmp уже существует. Заменить его?");
    EXPECT_EQ(Boxes.Requests[0].Caption, "Вопрос");
    EXPECT_EQ(Boxes.Requests[0].Buttons, unsigned(mbYes | mbNo));
    EXPECT_EQ(Stored("IMAGES/a.bmp"), first);

    // A bare name takes the chosen type's extension; the marks stay out of the file.
    Boxes.Answer = mrYes;
    SaveAs(Form->N36, Image("b"));
    TPixelGraphic saved;
    saved.LoadFromFile(Image("b.bmp"));
    EXPECT_EQ(Pixels(saved), Pixels(*window->KeptGraphic));
    EXPECT_EQ(Boxes.Requests.size(), 1u);
}

TEST_F(CommandsTest, Save_AFailedWriteReportsTheErrorAndKeepsTheOldFile) {
    Window(Pattern(5, 3));
    QDir(Folder()).mkpath("locked");
    Store("locked/a.bmp", "old");
    Store("a.xyz", "old");
    // A type no writer knows.
    std::vector<QString> targets = {Folder() + "a.xyz"};
    // The superuser writes into read-only folders.
    if (geteuid() != 0) {
        QFile::setPermissions(Folder() + "locked", QFile::ReadOwner | QFile::ExeOwner);
        targets.push_back(Folder() + "locked/a.bmp");
    } else {
        std::cerr << "running as the superuser: the read-only folder case is left out\n";
    }
    Boxes.Answer = mrYes;
    for (const QString& target : targets) {
        Boxes.Requests.clear();
        SaveAs(Form->N36, target);
        EXPECT_EQ(Form->PGSaveDialog1.FileName, target);
        ASSERT_FALSE(Boxes.Requests.empty()) << target.toStdString();
        EXPECT_EQ(Boxes.Requests.back().Caption, "Ошибка");
        EXPECT_EQ(Boxes.Requests.back().Type, mtError);
    }
    QFile::setPermissions(Folder() + "locked", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(Stored("locked/a.bmp"), "old");
    EXPECT_EQ(Stored("a.xyz"), "old");
    EXPECT_EQ(QDir(Folder()).entryList(QDir::Files).size(), 2); // nothing new beside the settings and a.xyz
}

TEST_F(CommandsTest, Print_OnePdfPageAndPageSetupUsesTheSamePrinter) {
    Window(Pattern(40, 20));
    Form->Printer.setOutputFormat(QPrinter::PdfFormat);
    Form->Printer.setOutputFileName(Folder() + "print.pdf");
    WhenModal<QPrintDialog>([](QPrintDialog& Dialog) { Dialog.accept(); });
    Form->N15->trigger();
    const QByteArray pdf = Stored("print.pdf");
    ASSERT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_EQ(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r") + pdf.count("/Type /Page "), 1);

    // The page settings go to the printer the print command uses: A5 turned, 20.5 mm on the left.
    const QPageLayout before = Form->Printer.pageLayout();
    WhenModal<TPageSetupForm>([](TPageSetupForm& Dialog) {
        EXPECT_EQ(Dialog.windowTitle(), "Параметры страницы");
        // The papers named in Russian, as the rest of the program speaks.
        QStringList papers;
        for (int i = 0; i < Dialog.ComboBox1->count(); ++i)
            papers << Dialog.ComboBox1->itemText(i);
        EXPECT_EQ(papers.mid(0, 6),
                  QStringList({"A3 (297 × 420 мм)", "A4 (210 × 297 мм)", "A5 (148 × 210 мм)",
                               "B5 (176 × 250 мм)", "Letter (216 × 279 мм)", "Legal (216 × 356 мм)"}));
        Dialog.ComboBox1->setCurrentIndex(Dialog.ComboBox1->findText("A5 (148 × 210 мм)"));
        Dialog.RadioButton2->setChecked(true);
        Dialog.SpinEdit1->setValue(20);
        Dialog.Button2->click();
    });
    Form->N29->trigger();
    EXPECT_TRUE(Form->Printer.pageLayout().isEquivalentTo(before)) << "\"Отмена\" keeps the layout";
    WhenModal<TPageSetupForm>([](TPageSetupForm& Dialog) {
        Dialog.ComboBox1->setCurrentIndex(Dialog.ComboBox1->findText("A5 (148 × 210 мм)"));
        Dialog.RadioButton2->setChecked(true);
        // Millimetres typed with a decimal comma.
        Dialog.SpinEdit1->setFocus();
        Dialog.SpinEdit1->selectAll();
        QTest::keyClicks(Dialog.SpinEdit1, "20,5");
        Dialog.Button1->click();
    });
    Form->N29->trigger();
    const QPageLayout layout = Form->Printer.pageLayout();
    EXPECT_EQ(layout.pageSize().id(), QPageSize::A5);
    EXPECT_EQ(layout.orientation(), QPageLayout::Landscape);
    EXPECT_DOUBLE_EQ(layout.margins(QPageLayout::Millimeter).left(), 20.5);
    WhenModal<TPageSetupForm>([](TPageSetupForm& Dialog) {
        EXPECT_EQ(Dialog.ComboBox1->currentText(), "A5 (148 × 210 мм)")
            << "the dialog opens on the printer's layout";
        EXPECT_TRUE(Dialog.RadioButton2->isChecked());
        EXPECT_DOUBLE_EQ(Dialog.SpinEdit1->value(), 20.5);
        EXPECT_EQ(Dialog.SpinEdit1->text(), "20.5") << "millimetres keep their decimal point";
        Dialog.Button2->click();
    });
    Form->N29->trigger();

    WhenModal<QPrintDialog>([](QPrintDialog& Dialog) { Dialog.accept(); });
    Form->N15->trigger();
    const QRegularExpressionMatch box = QRegularExpression(R"(/MediaBox \[\s*0 0 ([0-9.]+) ([0-9.]+)\s*\])")
                                            .match(QString::fromLatin1(Stored("print.pdf")));
    ASSERT_TRUE(box.hasMatch());
    // A5 is 148 x 210 mm: turned, 595 x 420 points.
    EXPECT_NEAR(box.captured(1).toDouble(), 595.3, 1);
    EXPECT_NEAR(box.captured(2).toDouble(), 419.5, 1);
}

TEST_F(CommandsTest, Copy_PutsTheSelectionClippedToThePicture) {
    TPictForm* window = Window(Pattern(10, 8));
    window->PGImage1->SetSelectionBounds(6, 5, 10, 10);
    window->PGImage1->SetSelection(true);
    Form->UpdateMenuItems(); // as the mouse's release does after a selection
    QApplication::clipboard()->clear();
    Form->N32->trigger();
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(data && data->hasFormat("image/bmp"));
    QImage image;
    ASSERT_TRUE(image.loadFromData(data->data("image/bmp"), "BMP"));
    ASSERT_EQ(image.size(), QSize(4, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(image.pixel(x, y), qRgb(6 + x, 5 + y, 100));
}

TEST_F(CommandsTest, Help_EachModeAsksItsTopicByMenuAndF1) {
    std::vector<QString> topics;
    const THelpHandler previous =
        SetHelpHandler([&](QWidget* Owner, const QString& Folder_, const QString& Topic) {
            EXPECT_EQ(Owner, Form.get());
            EXPECT_EQ(Folder_, Folder() + "help/");
            topics.push_back(Topic);
        });
    Form->HelpFolder = Folder() + "help/";
    for (int mode : {0, 2}) {
        Form->Mode = mode;
        Form->N60->trigger();
        Form->findChild<QShortcut*>()->activated();
    }
    Form->Mode = 1;
    Form->N60->trigger();
    SetHelpHandler(previous);
    EXPECT_EQ(topics, (std::vector<QString>{"Prepare_Images", "Prepare_Images", "Special_Mode",
                                            "Special_Mode", "Input_Images"}));
    EXPECT_EQ(Form->findChild<QShortcut*>()->key(), QKeySequence(Qt::Key_F1));
}

TEST_F(CommandsTest, Help_ThePagesShowInOneWindowAndAMissingPageIsNamed) {
    ShowHelpPage(Form.get(), Folder() + "help/", "Prepare_Images");
    ASSERT_EQ(Boxes.Requests.size(), 1u);
    EXPECT_EQ(Boxes.Requests[0].Text, "Файл справки \"" + Folder() + "help/Prepare_Images.html\" не найден.");
    EXPECT_EQ(Boxes.Requests[0].Caption, "Ошибка");
    for (const char* topic : {"Prepare_Images", "Input_Images", "Special_Mode"}) {
        ShowHelpPage(Form.get(), LUSIDOR_HELP_FOLDER, topic);
        const auto windows = Form->findChildren<THelpWindow*>();
        ASSERT_EQ(windows.size(), 1);
        EXPECT_TRUE(windows[0]->isVisible());
        EXPECT_TRUE(windows[0]->source().path().endsWith(QString(topic) + ".html"));
        EXPECT_GT(windows[0]->toPlainText().size(), 100);
        // Inside the client area, clear of the menu bar.
        EXPECT_TRUE(ScreenRect(*Form->centralWidget()).contains(windows[0]->frameGeometry()));
    }
    EXPECT_EQ(Boxes.Requests.size(), 1u);
}

namespace {

// The navigator with one picture, an infection and a probe under it.
class TreeTest : public CommandsTest {
protected:
    void SetUp() override {
        CommandsTest::SetUp();
        Entry = std::make_unique<TForm2>(*Form);
        Form->EntryForm = Entry.get();
        Pattern(5, 3)->SaveToFile(Image("a.bmp"));
        Pict = Form->Base->FindOrAddPict("a.bmp");
        Infection = Pict->FindOrAddInfection("Грипп");
        Probe = Infection->FindOrAddProbe("P1");
        Form->TreeView1->expandAll();
        QCoreApplication::processEvents();
    }
    // A press of Button on Node, or on empty space below the nodes for none.
    void Press(QTreeWidgetItem* Node, Qt::MouseButton Button = Qt::RightButton) {
        QWidget* viewport = Form->TreeView1->viewport();
        const QPoint place = Node ? Form->TreeView1->visualItemRect(Node).center()
                                  : QPoint(viewport->width() / 2, viewport->height() - 3);
        QTest::mousePress(viewport, Button, {}, place);
        QTest::mouseRelease(viewport, Button, {}, place);
    }
    QStringList ShownItems() {
        Form->PopupMenu1Popup();
        QStringList names;
        for (QAction* item : Form->PopupMenu1->actions())
            if (item->isVisible())
                names << item->objectName();
        return names;
    }
    // Edits Node in place as the user does: the editor, the text, Enter.
    void Rename(QTreeWidgetItem* Node, const QString& Text) {
        Press(Node);
        Form->N35->trigger();
        auto* edit = qobject_cast<QLineEdit*>(Form->TreeView1->itemWidget(Node, 0));
        ASSERT_TRUE(edit) << "no editor for " << Node->text(0).toStdString();
        edit->setText(Text);
        QTest::keyClick(edit, Qt::Key_Return);
        QCoreApplication::processEvents(); // the delegate commits after the editor had the key
    }

    void TearDown() override {
        Entry.reset();
        CommandsTest::TearDown();
    }

    std::unique_ptr<TForm2> Entry;
    TPict* Pict = nullptr;
    TInfection* Infection = nullptr;
    TProbe* Probe = nullptr;
};

} // namespace

TEST_F(TreeTest, ContextMenu_ByTheLevelOfThePressedNodeAndRightAligned) {
    // The left and the right button select, with all a selection change does (in the special mode the
    // entry form takes a pressed probe); the middle one only takes the context node.
    Form->Mode = TForm1::SpecialMode;
    const struct {
        QTreeWidgetItem* Node;
        Qt::MouseButton Button;
        QStringList Items;
        QTreeWidgetItem* Selected;
    } cases[] = {{Pict->Node, Qt::RightButton, {"N53", "N54", "N52"}, Pict->Node},
                 {Infection->Node, Qt::LeftButton, {"N52", "N35"}, Infection->Node},
                 {Probe->Node, Qt::MiddleButton, {"N52", "N35", "N55", "N56"}, Infection->Node},
                 {Probe->Node, Qt::RightButton, {"N52", "N35", "N55", "N56"}, Probe->Node},
                 {nullptr, Qt::RightButton, {}, Probe->Node}};
    for (const auto& test : cases) {
        Entry->ProbaEdit->clear();
        Press(test.Node, test.Button);
        EXPECT_EQ(Form->ContextNode, test.Node);
        EXPECT_EQ(ShownItems(), test.Items);
        EXPECT_EQ(Form->TreeView1->currentItem(), test.Selected);
        EXPECT_EQ(Entry->ProbaEdit->text(),
                  test.Node == Probe->Node && test.Button == Qt::RightButton ? "P1" : "");
    }
    Press(Probe->Node);
    const QPoint pointer(700, 300);
    Form->ShowPopupMenu1(pointer);
    ASSERT_TRUE(Form->PopupMenu1->isVisible());
    EXPECT_EQ(Form->PopupMenu1->geometry().right() + 1, pointer.x());
    EXPECT_EQ(Form->PopupMenu1->geometry().top(), pointer.y());
    Form->PopupMenu1->hide();
}

TEST_F(TreeTest, Editing_OnlyInfectionsAndProbesAndTheEditorGoesThroughTheModel) {
    EXPECT_FALSE(Form->TreeView1Editing(Pict->Node));
    EXPECT_TRUE(Form->TreeView1Editing(Infection->Node));
    EXPECT_TRUE(Form->TreeView1Editing(Probe->Node));
    Press(Pict->Node);
    Form->N35->trigger();
    EXPECT_EQ(Form->TreeView1->itemWidget(Pict->Node, 0), nullptr);

    Infection->FindOrAddProbe("P2");
    const struct {
        QString Text;
        QString Name;
        size_t Warnings;
    } cases[] = {{"  ", "P1", 0}, {" P2 ", "P1", 1}, {" P1 ", "P1", 0}, {" E7 ", "E7", 0}, {"p1", "p1", 0}};
    for (const auto& test : cases) {
        Boxes.Requests.clear();
        Rename(Probe->Node, test.Text);
        EXPECT_EQ(Probe->Name, test.Name) << test.Text.toStdString();
        EXPECT_EQ(Probe->Node->text(0), test.Name);
        ASSERT_EQ(Boxes.Requests.size(), test.Warnings);
        if (test.Warnings) {
            EXPECT_EQ(Boxes.Requests[0].Text, "Такое имя пробы уже есть. Введите другое имя пробы");
            EXPECT_EQ(Boxes.Requests[0].Caption, "Предупреждение");
            EXPECT_EQ(Boxes.Requests[0].Type, mtWarning);
        }
    }
    Rename(Infection->Node, "   ");
    EXPECT_EQ(Infection->Name, "Грипп");
    EXPECT_EQ(Infection->Node->text(0), "Грипп");
}

TEST_F(TreeTest, InfectionRename_OffersOnlyAnUnlistedNameAndYesListsIt) {
    Entry->InfectBox->addItem("Корь");
    const struct {
        QString Text;
        TModalResult Answer;
        size_t Questions;
        int Listed;
    } cases[] = {{"Корь", mrYes, 0, 1},
                 {" Ветрянка ", mrNo, 1, 1},
                 {"Ветрянка", mrYes, 1, 2},
                 {"Ветрянка", mrYes, 0, 2}};
    for (const auto& test : cases) {
        Boxes.Requests.clear();
        Boxes.Answer = test.Answer;
        Rename(Infection->Node, test.Text);
        EXPECT_EQ(Infection->Name, test.Text.trimmed());
        EXPECT_EQ(Infection->Node->text(0), Infection->Name);
        ASSERT_EQ(Boxes.Requests.size(), test.Questions) << test.Text.toStdString();
        if (test.Questions) {
            EXPECT_EQ(Boxes.Requests[0].Text, "Такой инфекции нет в списке. Добавить ее в список?");
            EXPECT_EQ(Boxes.Requests[0].Caption, "Вопрос");
        }
        EXPECT_EQ(Entry->InfectBox->findText("Ветрянка") >= 0 ? 2 : 1, test.Listed);
    }
}

TEST_F(TreeTest, Change_FillsTheEntryFormThePanelAndTheSelectionButNotWhileAdding) {
    Form->SetMode(TForm1::SpecialMode);
    Probe->SetSupplier("Пост");
    Probe->SetPatient("Иванов");
    Probe->SetNote("прим");
    Probe->SetValue(1005000);
    Probe->SetLuminosity(77);
    Probe->SetReaction("?");
    Probe->SetRect(Rect(1, 1, 4, 3));
    const auto fields = [&] {
        return QStringList{
            Entry->ProbaEdit->text(), Entry->InfectBox->currentText(), Entry->PostavBox->currentText(),
            Entry->BolnEdit->text(),  Entry->PrimEdit->text(),         Entry->ValueEdit->text(),
            Form->Panel7->text()};
    };
    const auto properties = [&] {
        QStringList values;
        for (int row = 0; row < Form->ListView1->topLevelItemCount(); ++row)
            values << Form->ListView1->topLevelItem(row)->text(1);
        return values;
    };
    Form->TreeView1->setCurrentItem(Pict->Node);
    Entry->Adding = true;
    Form->TreeView1->setCurrentItem(Probe->Node);
    EXPECT_EQ(fields(), QStringList({"", "", "", "", "", "", ""}));
    EXPECT_FALSE(Pict->Form->PGImage1->GetSelection());
    EXPECT_EQ(properties(), QStringList({"Иванов", "77", "Пост", "прим", "1005000", "?"}));

    Entry->Adding = false;
    Form->TreeView1->setCurrentItem(Infection->Node);
    EXPECT_EQ(properties(), QStringList({"", "", "", "", "", ""}));
    Form->TreeView1->setCurrentItem(Probe->Node);
    EXPECT_EQ(fields(), QStringList({"P1", "Грипп", "Пост", "Иванов", "прим", "1005000", "77"}));
    EXPECT_TRUE(Pict->Form->PGImage1->GetSelection());
    EXPECT_EQ(Pict->Form->PGImage1->GetSelectionRect(), Rect(1, 1, 4, 3));
    EXPECT_EQ(Form->ActiveChild(), Pict->Form.data());
    // A picture's node turns its window's selection off.
    Form->TreeView1->setCurrentItem(Pict->Node);
    EXPECT_FALSE(Pict->Form->PGImage1->GetSelection());
}

TEST_F(TreeTest, Icons_LevelOrStandard) {
    EXPECT_EQ(NodeImageIndex(Pict->Node), 0);
    EXPECT_EQ(NodeImageIndex(Infection->Node), 1);
    const std::pair<QString, int> names[] = {{"E1", 3}, {"e1", 2}, {"Е1", 2}, {"1E", 2}};
    for (const auto& [name, index] : names) {
        Probe->SetName(name);
        EXPECT_EQ(NodeImageIndex(Probe->Node), index) << name.toStdString();
    }
    // A rename through the tree shows the new kind at once.
    Rename(Probe->Node, "E2");
    EXPECT_EQ(NodeImageIndex(Probe->Node), 3);
    const auto* delegate = qobject_cast<TNavigatorTree*>(Form->TreeView1->itemDelegate());
    ASSERT_TRUE(delegate);
    const auto& icons = delegate->Icons();
    for (size_t i = 0; i < icons.size(); ++i)
        for (size_t j = i + 1; j < icons.size(); ++j)
            EXPECT_NE(icons[i].pixmap(16, 16).toImage(), icons[j].pixmap(16, 16).toImage()) << i << " " << j;
}

TEST_F(TreeTest, Delete_AsksOnceCancelKeepsAndTheMenuForgetsTheNode) {
    Pattern(5, 3)->SaveToFile(Image("b.bmp"));
    TPict* other = Form->Base->FindOrAddPict("b.bmp");
    TInfection* otherInfection = other->FindOrAddInfection("Корь");
    const struct {
        QTreeWidgetItem* Node;
        QString Question;
    } cases[] = {{Probe->Node, "Удалить пробу из базы?"},
                 {Infection->Node, "Удалить инфекцию из базы?"},
                 {other->Node, "Закрыть изображение и удалить его из базы?"}};
    (void)otherInfection;
    for (const auto& test : cases) {
        const int nodes = [&] {
            int count = 0;
            for (QTreeWidgetItemIterator it(Form->TreeView1); *it; ++it)
                ++count;
            return count;
        }();
        Press(test.Node);
        for (TModalResult answer : {mrCancel, mrOk}) {
            Boxes.Requests.clear();
            Boxes.Answer = answer;
            Form->N52->trigger();
            ASSERT_EQ(Boxes.Requests.size(), 1u);
            EXPECT_EQ(Boxes.Requests[0].Text, test.Question);
            EXPECT_EQ(Boxes.Requests[0].Caption, "Вопрос");
            EXPECT_EQ(Boxes.Requests[0].Buttons, unsigned(mbOK | mbCancel));
            int count = 0;
            for (QTreeWidgetItemIterator it(Form->TreeView1); *it; ++it)
                ++count;
            if (answer == mrCancel)
                EXPECT_EQ(count, nodes);
            else
                EXPECT_LT(count, nodes);
        }
        // The menu opened from the keyboard now shows nothing and deletes nothing.
        EXPECT_EQ(Form->ContextNode, nullptr);
        EXPECT_TRUE(ShownItems().isEmpty());
        Boxes.Requests.clear();
        Form->N52->trigger();
        Form->N53->trigger();
        EXPECT_TRUE(Boxes.Requests.empty());
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(Form->Base->Count(), 1);
    EXPECT_EQ(Pict->InfectionCount(), 0);
    ASSERT_EQ(Windows().size(), 1);
    EXPECT_EQ(qobject_cast<TPictForm*>(Windows()[0]->widget()), Pict->Form.data());
}

TEST_F(TreeTest, Reload_ReadsTheFileAgainAndAMissingOneIsAnErrorBox) {
    Form->TreeView1->setCurrentItem(Probe->Node);
    Pattern(7, 4)->SaveToFile(Image("a.bmp"));
    Form->N25->trigger();
    ASSERT_TRUE(Pict->Form);
    EXPECT_EQ(Shown(Pict->Form).GetWidth(), 7);
    Pict->Form->SubWindow()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Pict->Form);
    Press(Pict->Node);
    Form->N53->trigger();
    ASSERT_TRUE(Pict->Form);
    EXPECT_EQ(Shown(Pict->Form).GetHeight(), 4);
    EXPECT_TRUE(Boxes.Requests.empty());

    QFile::remove(Image("a.bmp"));
    Form->N25->trigger();
    ASSERT_EQ(Boxes.Requests.size(), 1u);
    EXPECT_EQ(Boxes.Requests[0].Caption, "Ошибка");
    // The window that could not load holds no picture, and the picture commands leave it alone; Undo
    // brings back the picture it showed before.
    ASSERT_TRUE(Pict->Form);
    Form->MdiArea->setActiveSubWindow(Pict->Form->SubWindow());
    EXPECT_EQ(Form->PictureWindow(), nullptr);
    EXPECT_TRUE(Form->N31->isEnabled());
    Form->N31->trigger();
    ASSERT_EQ(Form->PictureWindow(), Pict->Form);
    EXPECT_EQ(Pixels(Shown(Pict->Form)), Pixels(*Pattern(7, 4)));
    EXPECT_FALSE(Form->N31->isEnabled());
}

// Pictures of the windows for a person to look at: run under a display server with LUSIDOR_SHOTS set to
// the folder that takes them.
TEST_F(TreeTest, Screenshots) {
    const QString shots = qEnvironmentVariable("LUSIDOR_SHOTS");
    if (shots.isEmpty())
        GTEST_SKIP() << "LUSIDOR_SHOTS names no folder";
    QDir().mkpath(shots);
    Infection->FindOrAddProbe("E1");
    for (const char* name : {"b.bmp", "c.bmp"}) {
        Pattern(160, 120)->SaveToFile(Image(name));
        Form->Base->FindOrAddPict(name);
    }
    Form->TreeView1->expandAll();
    const std::pair<QAction*, const char*> layouts[] = {
        {Form->N23, "cascade"}, {Form->N27, "side-by-side"}, {Form->N38, "one-above-the-other"}};
    for (const auto& [command, name] : layouts) {
        command->trigger();
        QTest::qWait(100);
        Form->grab().save(shots + "/windows-" + name + ".png");
    }
    const std::pair<QTreeWidgetItem*, const char*> levels[] = {
        {Pict->Node, "picture"}, {Infection->Node, "infection"}, {Probe->Node, "probe"}};
    for (const auto& [node, name] : levels) {
        Press(node);
        Form->ShowPopupMenu1(
            Form->TreeView1->viewport()->mapToGlobal(Form->TreeView1->visualItemRect(node).center()));
        QTest::qWait(100);
        Form->PopupMenu1->grab().save(shots + "/menu-" + name + ".png");
        Form->PopupMenu1->hide();
    }
    Form->grab().save(shots + "/navigator.png");
    ShowHelpPage(Form.get(), LUSIDOR_HELP_FOLDER, "Special_Mode");
    QTest::qWait(100);
    Form->findChild<THelpWindow*>()->grab().save(shots + "/help.png");
}

namespace {

// The program as a user meets it: the main window, the entry form and the camera window on the simulated
// board, with automatic gain and accumulation on in the settings.
class RoadTest : public CommandsTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        SetBoardPorts(std::make_unique<SimulatedBoard>(0x300, [this] { return Clock.Now; }));
        QDir(Folder()).mkpath("IMAGES");
        Make("[System]\r\nBasePort=300\r\n[Videocamera]\r\naru=1\r\naddframe=1\r\n[PATH]\r\nImages="
             "IMAGES\\\r\n"
             "[Desktop]\r\nMode=0\r\n");
        Entry = std::make_unique<TForm2>(*Form);
        Form->EntryForm = Entry.get();
        Camera = std::make_unique<TVs_optionsFrame>(Form.get());
        Form->resize(1000, 700);
        Form->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        Camera.reset();
        Entry.reset();
        CommandsTest::TearDown();
    }
    // A click on a check box's indicator, near its left edge.
    static void Tick(QCheckBox* Box) {
        QTest::mouseClick(Box, Qt::LeftButton, {}, QPoint(6, Box->height() / 2));
    }

    std::unique_ptr<TForm2> Entry;
    std::unique_ptr<TVs_optionsFrame> Camera;
};

} // namespace

TEST_F(RoadTest, FromTheCameraThroughTheImageFolderToAProbe) {
    // Camera mode, the normal (single frame) mode and automatic gain off, "Пуск".
    Form->N13->trigger();
    ASSERT_TRUE(Form->VideoWindow());
    ASSERT_TRUE(Camera->isVisible());
    Tick(Camera->CheckBox1);
    Tick(Camera->CheckBox4);
    ASSERT_EQ(CameraSettings.addframe, 0);
    ASSERT_EQ(CameraSettings.aru, 0);
    Camera->Button1->click();
    const TPixelGraphic& video = *Form->VideoWindow()->PGImage1->GetPixelGraphic();
    ASSERT_EQ(video.GetPixelValue(128, 96), 200u);

    // "Сохранить как..." is the one save command of camera mode; the grey frame reads back byte for byte.
    EXPECT_FALSE(Form->N3->isEnabled());
    ASSERT_TRUE(Form->N36->isEnabled());
    SaveAs(Form->N36, Image("frame.pgm"));
    QImage saved(Image("frame.pgm"));
    ASSERT_EQ(saved.size(), QSize(VideoWidth, VideoHeight));
    ASSERT_TRUE(saved.isGrayscale());
    int differences = 0;
    for (int y = 0; y < VideoHeight; ++y)
        for (int x = 0; x < VideoWidth; ++x)
            differences += uint32_t(qGray(saved.pixel(x, y))) != video.GetPixelValue(x, y);
    EXPECT_EQ(differences, 0);

    // Measurement mode, the frame opened from the image folder through the open dialog.
    Form->N6->trigger();
    EXPECT_FALSE(Form->VideoWindow());
    WhenModal<QFileDialog>([](QFileDialog& Dialog) {
        Dialog.findChild<QLineEdit*>("fileNameEdit")->setText("frame.pgm");
        static_cast<QDialog&>(Dialog).accept();
    });
    Form->N2->trigger();
    ASSERT_EQ(Form->Base->Count(), 1);
    TPict* pict = Form->Base->Items(0);
    ASSERT_TRUE(pict->Form);
    EXPECT_TRUE(Entry->isVisible());

    // A click near the top of the large disc sums the whole disc.
    QWidget* box = pict->Form->PGImage1->GetPicBox();
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(128, 60));
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(128, 60));
    EXPECT_EQ(Entry->ValueEdit->text(), "1005000");

    Entry->ProbaEdit->setText("П1");
    Entry->InfectBox->setEditText("Грипп");
    Entry->BolnEdit->setText("Петров");
    Entry->Button1->click();
    ASSERT_EQ(pict->InfectionCount(), 1);
    ASSERT_EQ(pict->InfectionsAt(0)->ProbeCount(), 1);
    TProbe* probe = pict->InfectionsAt(0)->ProbesAt(0);
    EXPECT_EQ(Form->TreeView1->currentItem(), probe->Node);
    EXPECT_EQ(probe->Node->text(0), "П1");
    EXPECT_EQ(probe->Node->parent()->text(0), "Грипп");
    EXPECT_EQ(Form->ListView1->topLevelItem(0)->text(1), "Петров");
    EXPECT_EQ(Form->ListView1->topLevelItem(4)->text(1), "1005000");

    // Back to image processing, then "Выход" ends the program's loop.
    Form->N14->trigger();
    EXPECT_EQ(Form->Mode, TForm1::ImageProcessingMode);
    EXPECT_FALSE(Entry->isVisible());
    EXPECT_EQ(InLoop([this] { Form->N5->trigger(); }), 0);
}
