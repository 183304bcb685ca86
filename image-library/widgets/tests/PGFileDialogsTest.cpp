// The picture open and save dialogs: type lists, naming on save, the type change, and the preview panel
// with its worker, driven through a dialog shown without waiting.
#include "image-library/widgets/PGFileDialogs.h"

#include "framework/ScreenCaps.h"
#include "framework/TickCount.h"
#include "framework/testing/MessageBoxSpy.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/widgets/testing/WorkerReceiver.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct TStubReader : TFileFormatReader {
    TStubReader(const char* Ext, const char* Desc) {
        Extension = QString::fromLatin1(Ext);
        Description = QString::fromLatin1(Desc);
    }
    const char* ClassName() const override { return "TStubReader"; }
};
struct TStubWriter : TFileFormatWriter {
    TStubWriter(const char* Ext, const char* Desc, bool On) {
        Extension = QString::fromLatin1(Ext);
        Description = QString::fromLatin1(Desc);
        Enabled = On;
    }
    const char* ClassName() const override { return "TStubWriter"; }
};

// The registries as they are with every format of the library: the formats not yet built here stand in
// as stubs.
struct FullRegistries {
    FullRegistries() {
        const std::pair<const char*, const char*> readers[] = {
            {"pbm", "Portable Bitmap"},           {"pcx", "Paintbrush"},        {"pgm", "Portable Graymap"},
            {"png", "Portable Network Graphics"}, {"ppm", "Portable Pixelmap"}, {"tga", "Truevision Targa"}};
        for (auto [ext, desc] : readers) {
            const bool haveReader = std::any_of(FileFormatReaders().begin(), FileFormatReaders().end(),
                                                [&](auto& r) { return r->Extension == QLatin1String(ext); });
            if (!haveReader)
                Scoped.push_back(std::make_unique<TScopedFileFormatRegistration>(
                    std::make_unique<TStubReader>(ext, desc)));
            const bool haveWriter = std::any_of(FileFormatWriters().begin(), FileFormatWriters().end(),
                                                [&](auto& w) { return w->Extension == QLatin1String(ext); });
            if (!haveWriter)
                Scoped.push_back(std::make_unique<TScopedFileFormatRegistration>(
                    std::make_unique<TStubWriter>(ext, desc, QLatin1String(ext) != QLatin1String("pcx"))));
        }
    }
    std::vector<std::unique_ptr<TScopedFileFormatRegistration>> Scoped;
};

void SaveBmp(const QString& Path, int W, int H, uint8_t BitCountNum = 3) {
    TPixelGraphic p;
    p.SetFormat(W, H, BitCountNum);
    if (BitCountNum < 3)
        p.SetPaletteIdent(BitCountNum == 2 ? pGray256 : pSys16);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            p.SetPixelColor(x, y, RGB(uint8_t(x * 7), uint8_t(y * 5), uint8_t(x + y)));
    p.SaveToFile(Path);
}

QString Field(const TOpenDialog& D) {
    return D.Window()->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
}

void ChooseType(TOpenDialog& D, int Index) {
    auto* combo = D.Window()->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(combo, nullptr);
    combo->setCurrentIndex(Index - 1);
    // As a user's choice: the dialog's own handler first, then its filterSelected.
    emit combo->activated(Index - 1);
    emit combo->textActivated(combo->currentText());
}

void Screenshot(QWidget* W, const char* Name) {
    const QString dir = qEnvironmentVariable("LAB_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        W->grab().save(dir + u'/' + QLatin1String(Name) + QStringLiteral(".png"));
}

} // namespace

TEST(PGFileDialogFilters, FullRegistries_GiveTheDocumentedTexts) {
    const FullRegistries full;
    TPGOpenDialog open;
    QString text;
    open.BuildFilter(text);
    EXPECT_EQ(
        text.toStdString(),
        "Image files|*.bmp; *.dib; *.jif; *.jpeg; *.jpg; *.pbm; *.pcx; *.pgm; *.png; *.ppm; *.rle; *.tga; "
        "*.tif; *.tiff|BMP - Bitmap|*.bmp|DIB - Bitmap|*.dib|JIF - JPEG (JFIF compliant)|*.jif|JPEG - JPEG "
        "(JFIF compliant)|*.jpeg|JPG - JPEG (JFIF compliant)|*.jpg|PBM - Portable Bitmap|*.pbm|PCX - "
        "Paintbrush|*.pcx|PGM - Portable Graymap|*.pgm|PNG - Portable Network Graphics|*.png|PPM - Portable "
        "Pixelmap|*.ppm|RLE - Bitmap|*.rle|TGA - Truevision Targa|*.tga|TIF - Tagged Image File "
        "Format|*.tif|TIFF - Tagged Image File Format|*.tiff|All files|*.*");
    const int n = open.FilterFormatCount();
    EXPECT_EQ(n, 14);
    EXPECT_EQ(QtNameFilters(text).size(), n + 2);
    EXPECT_EQ(QtNameFilters(text).back(), QStringLiteral("All files (*)"));
    const std::pair<int, const char*> openExt[] = {{1, ""},      {2, "bmp"}, {5, "jpeg"},
                                                   {15, "tiff"}, {16, ""},   {0, ""}};
    for (auto [index, ext] : openExt) {
        QString e = QStringLiteral("junk");
        open.FilterExtension(index, e);
        EXPECT_EQ(e, QLatin1String(ext)) << index;
    }

    TPGSaveDialog save;
    save.BuildFilter(text);
    EXPECT_EQ(
        text.toStdString(),
        "BMP - Bitmap|*.bmp|JPG - JPEG (JFIF compliant)|*.jpg|PBM - Portable Bitmap|*.pbm|PGM - Portable "
        "Graymap|*.pgm|PNG - Portable Network Graphics|*.png|PPM - Portable Pixelmap|*.ppm|TGA - Truevision "
        "Targa|*.tga|TIF - Tagged Image File Format|*.tif|");
    EXPECT_EQ(save.FilterFormatCount(), 8);
    const std::pair<int, const char*> saveExt[] = {{1, "bmp"}, {5, "png"}, {8, "tif"}, {9, ""}, {0, ""}};
    for (auto [index, ext] : saveExt) {
        QString e;
        save.FilterExtension(index, e);
        EXPECT_EQ(e, QLatin1String(ext)) << index;
    }
    save.UseDefaultFilter = false;
    EXPECT_EQ(save.FilterFormatCount(), 0);
    save.FilterExtension(1, text);
    EXPECT_TRUE(text.isEmpty());
}

TEST(PGFileDialogFilters, QtNameFilters_AdaptEveryPair) {
    EXPECT_EQ(QtNameFilters(QStringLiteral("Image files|*.bmp; *.dib|BMP - Bitmap|*.bmp|All files|*.*")),
              (QStringList{QStringLiteral("Image files (*.bmp *.dib)"),
                           QStringLiteral("BMP - Bitmap (*.bmp)"), QStringLiteral("All files (*)")}));
    EXPECT_EQ(QtNameFilters(QStringLiteral("BMP - Bitmap|*.bmp|")),
              QStringList{QStringLiteral("BMP - Bitmap (*.bmp)")});
    EXPECT_TRUE(QtNameFilters(QString()).isEmpty());
}

// Save naming: the extension of the name preselects its type, and after the dialog a name without extension
// gets the chosen type's (a trailing dot is where it goes), but an empty name stays empty and no lone dot
// is ever added.
TEST(PGFileDialogSave, Naming) {
    const FullRegistries full;
    QTemporaryDir dir;
    struct Case {
        const char* Start;
        bool UseDefaultFilter;
        int Choose;        // 0: keep the preselected type
        const char* Typed; // nullptr: leave the field
        bool Accept;
        int Index;
        const char* Result; // relative to dir, "" for empty
    };
    const Case cases[] = {
        {"x.png", true, 0, nullptr, true, 5, "x.png"},  {"shot", true, 2, nullptr, true, 2, "shot.jpg"},
        {"", true, 0, nullptr, false, 1, ""},           {"", true, 3, "typed", true, 3, "typed.pbm"},
        {"plain", false, 0, nullptr, true, 1, "plain"}, {"", true, 5, "pic.", true, 5, "pic.png"},
    };
    for (const Case& c : cases) {
        TPGSaveDialog d;
        d.UseDefaultFilter = c.UseDefaultFilter;
        if (!c.UseDefaultFilter)
            d.Filter = QStringLiteral("Anything|*");
        d.InitialDir = dir.path();
        d.FileName = *c.Start ? dir.filePath(QLatin1String(c.Start)) : QString();
        d.Open();
        ASSERT_NE(d.Window(), nullptr);
        if (c.Choose)
            ChooseType(d, c.Choose);
        if (c.Typed)
            d.SetFileNameField(QLatin1String(c.Typed));
        if (c.Accept)
            static_cast<QDialog*>(d.Window())->accept();
        else
            d.Window()->reject();
        ASSERT_TRUE(d.Finished());
        EXPECT_EQ(d.Result(), c.Accept) << c.Start;
        EXPECT_EQ(d.FilterIndex, c.Index) << c.Start;
        EXPECT_EQ(d.FileName, *c.Result ? dir.filePath(QLatin1String(c.Result)) : QString())
            << c.Start << " -> " << d.FileName.toStdString();
    }
}

TEST(PGFileDialogSave, TypedName_ALongOneCostsNoWorkPerKeyAndBlanksOnlyAreNoName) {
    const FullRegistries full;
    QTemporaryDir dir;
    for (int i = 0; i < 5; ++i)
        SaveBmp(dir.filePath(QStringLiteral("p%1.bmp").arg(i)), 20, 10);
    TPGSaveDialog d;
    d.InitialDir = dir.path();
    const auto type = [&](const QString& Name) {
        d.Open();
        auto* field = d.Window()->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        // The folder listed first, so that no late listing moves the current entry while the name is typed.
        const auto* list = d.Window()->findChild<QListView*>(QStringLiteral("listView"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) == 5; }));
        const TPGJobId before = d.CurrentJob;
        // Key by key, as typed on a Russian keyboard (keyClicks takes Latin letters only).
        for (const QChar c : Name)
            QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
        // No key starts or stops a preview: what a key costs does not grow with the name.
        EXPECT_EQ(d.CurrentJob, before);
        EXPECT_EQ(Field(d), Name);
        QTest::keyClick(field, Qt::Key_Return);
    };
    const QString name = QString("Очень длинное имя файла изображения пробы ").repeated(4).left(139) + u'я';
    ASSERT_EQ(name.size(), 140);
    type(name);
    ASSERT_TRUE(d.Finished());
    EXPECT_TRUE(d.Result());
    EXPECT_EQ(d.FileName, dir.filePath(name + ".bmp"));

    type("   ");
    EXPECT_FALSE(d.Finished()) << "blanks only are no name";
    d.Window()->reject();
    EXPECT_FALSE(d.Result());
}

TEST(PGFileDialogSave, TypeChange_SwapsTheExtensionInTheNameField) {
    const FullRegistries full;
    QTemporaryDir dir, other;
    TPGSaveDialog d;
    d.InitialDir = dir.path();
    d.Open();
    struct Case {
        QString Typed;
        int Choose;
        QString Field;
    };
    const Case cases[] = {
        {QStringLiteral("bare"), 5, QStringLiteral("bare.png")},
        {QStringLiteral("bare.bmp"), 2, QStringLiteral("bare.jpg")},
        {other.filePath(QStringLiteral("far")), 8, other.filePath(QStringLiteral("far.tif"))},
        {dir.filePath(QStringLiteral("near.jpg")), 1, QStringLiteral("near.bmp")},
    };
    for (const Case& c : cases) {
        d.SetFileNameField(c.Typed);
        ChooseType(d, c.Choose);
        EXPECT_EQ(Field(d), c.Field) << c.Typed.toStdString();
    }
    ChooseType(d, 5);
    Screenshot(d.Window(), "save-dialog-type-change");
    // A folder in the field is left alone.
    d.SetFileNameField(other.path());
    ChooseType(d, 1);
    EXPECT_EQ(Field(d), other.path());
    d.Window()->reject();
}

TEST(PGFileDialogOptions, ShareAwareIsForcedAndOverwriteAsks) {
    {
        MessageBoxSpy spy;
        TPGOpenDialog d;
        EXPECT_TRUE(spy.Requests.empty());
        d.SetOptions(ofFileMustExist);
        ASSERT_EQ(spy.Requests.size(), 1u);
        EXPECT_EQ(
            spy.Requests[0].Text,
            QStringLiteral("TPGOpenDialog.Options and TPGSaveDialog.Options must include ofShareAware!"));
        EXPECT_EQ(d.GetOptions(), ofFileMustExist | ofShareAware);
    }
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("old.bmp"));
    SaveBmp(existing, 2, 2);
    for (TModalResult answer : {mrNo, mrYes}) {
        MessageBoxSpy spy(answer);
        TPGSaveDialog d;
        d.SetOptions(ofShareAware | ofOverwritePrompt);
        d.FileName = existing;
        d.Open();
        static_cast<QDialog*>(d.Window())->accept();
        EXPECT_EQ(spy.Requests.size(), 1u);
        EXPECT_EQ(d.Finished(), answer == mrYes);
        if (!d.Finished())
            d.Window()->reject();
    }
}

TEST(PGFileDialogOpen, UserTextsWithoutTypeNames_StillWork) {
    const uint8_t language = PGLanguage;
    PGLanguage = 5;
    PGLangStrEntries[24].UserText.clear();
    PGLangStrEntries[26].UserText.clear();
    QTemporaryDir dir;
    TPGOpenDialog d;
    d.InitialDir = dir.path();
    d.Open();
    EXPECT_TRUE(d.Filter.endsWith(QStringLiteral("|*.*")));
    SaveBmp(dir.filePath(QStringLiteral("a.bmp")), 4, 4);
    d.SetFileNameField(QStringLiteral("a.bmp"));
    static_cast<QDialog*>(d.Window())->accept();
    EXPECT_TRUE(d.Result());
    EXPECT_EQ(d.FileName, dir.filePath(QStringLiteral("a.bmp")));
    PGLanguage = language;
    ReleasePGUserTexts();
}

TEST(PGFileDialogOpen, NamesMatchWhateverTheirCase) {
    QTemporaryDir dir;
    SaveBmp(dir.filePath(QStringLiteral("PICTURE.BMP")), 3, 3);
    QFile(dir.filePath(QStringLiteral("notes.txt"))).open(QIODevice::WriteOnly);
    TPGOpenDialog d;
    d.InitialDir = dir.path();
    d.FilterIndex = 2; // BMP
    d.Open();
    auto* list = d.Window()->findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_NE(list, nullptr);
    const auto listed = [&] {
        QStringList names;
        const QModelIndex root = list->rootIndex();
        for (int r = 0; r < list->model()->rowCount(root); ++r)
            names << list->model()->index(r, 0, root).data().toString();
        return names;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed() == QStringList{QStringLiteral("PICTURE.BMP")}; }));
    d.Window()->reject();
}

TEST(PGFileDialogOpen, Titles_AreQtsOwnUnlessTheProgramGivesOne) {
    TPGOpenDialog open;
    open.Open();
    EXPECT_EQ(open.Window()->windowTitle(), QFileDialog::tr("Open"));
    open.Window()->reject();
    TPGSaveDialog save;
    save.Open();
    EXPECT_EQ(save.Window()->windowTitle(), QFileDialog::tr("Save As"));
    save.Window()->reject();
    save.Title = QStringLiteral("Экспорт");
    save.Open();
    EXPECT_EQ(save.Window()->windowTitle(), QStringLiteral("Экспорт"));
    save.Window()->reject();
}

// ---- the preview

TEST(PGFileDialogPreview, ReductionSize) {
    const struct {
        int W, H, BW, BH;
        QSize Expected;
    } cases[] = {{1000, 10, 180, 160, {180, 1}},  {10, 1000, 180, 160, {1, 160}},
                 {100, 50, 180, 160, {100, 50}},  {360, 160, 180, 160, {180, 80}},
                 {180, 320, 180, 160, {90, 160}}, {180, 160, 180, 160, {180, 160}}};
    for (const auto& c : cases)
        EXPECT_EQ(PreviewReductionSize(c.W, c.H, c.BW, c.BH), c.Expected) << c.W << "x" << c.H;
}

TEST(PGFileDialogPreview, Worker_ReducesThenMatchesTheScreen) {
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big.bmp")),
                  small = dir.filePath(QStringLiteral("small.bmp")),
                  gray = dir.filePath(QStringLiteral("gray.bmp"));
    SaveBmp(big, 400, 100);
    SaveBmp(small, 40, 30, 1);
    SaveBmp(gray, 40, 30, 2);
    struct Case {
        QString File;
        int Screen;
        QSize Size;
        uint8_t BitCountNum;
        TPaletteIdent Ident;
    };
    const Case cases[] = {
        {big, 24, {180, 45}, 3, pTrueColor}, {small, 24, {40, 30}, 1, pSys16},
        {big, 8, {180, 45}, 2, pUnknown},    {gray, 8, {40, 30}, 2, pUnknown},
        {big, 4, {180, 45}, 1, pSys16},      {gray, 4, {40, 30}, 1, pSys16},
    };
    for (const Case& c : cases) {
        TWorkerReceiver r;
        TCreateOpenSaveDialogPaintPGThread worker(false);
        worker.Window = &r;
        worker.FileName = c.File;
        worker.BoxWidth = 180;
        worker.BoxHeight = 160;
        worker.ScreenBits = c.Screen;
        worker.Resume();
        worker.WaitFor();
        QCoreApplication::sendPostedEvents(&r);
        ASSERT_TRUE(r.Picture) << c.File.toStdString() << " " << c.Screen;
        EXPECT_EQ(QSize(r.Picture->GetWidth(), r.Picture->GetHeight()), c.Size);
        EXPECT_EQ(r.Picture->GetBitCountNum(), c.BitCountNum) << c.Screen;
        if (c.Ident != pUnknown)
            EXPECT_EQ(r.Picture->GetPaletteIdent(), c.Ident) << c.Screen;
        else
            EXPECT_TRUE(r.Picture->GetColorCount() >= 16 && r.Picture->GetColorCount() <= 252); // optimised
    }
}

TEST(PGFileDialogPreview, Progress_IsThrottledOnTheTickCount) {
    uint32_t now = 1000;
    const TickSource previous = SetTickSource([&] { return now; });
    TWorkerReceiver r;
    TCreateOpenSaveDialogPaintPGThread worker(false);
    worker.Window = &r;
    worker.LastTick = now;
    bool abort = true;
    // Within one 100 ms interval only a new sixteenth is posted; a new interval posts any change.
    const struct {
        uint32_t Tick;
        int Step, Max;
        bool Posted;
    } steps[] = {{1000, 1, 100, false},
                 {1010, 17, 100, true},
                 {1020, 20, 100, false},
                 {1110, 21, 100, true},
                 {1120, 21, 100, false},
                 {1130, 50, 0, false},
                 {1300, 2147483647, 2147483647, true}};
    size_t expected = 0;
    for (const auto& s : steps) {
        now = s.Tick;
        worker.Progress(nullptr, s.Step, s.Max, abort);
        EXPECT_FALSE(abort);
        QCoreApplication::sendPostedEvents(&r);
        expected += s.Posted;
        EXPECT_EQ(r.Progress.size(), expected) << s.Tick;
    }
    EXPECT_EQ(r.Progress.back(), 100);
    worker.Terminate();
    worker.Progress(nullptr, 1, 2, abort);
    EXPECT_TRUE(abort);
    SetTickSource(previous);
}

namespace {

struct OpenDialogOnFolder {
    OpenDialogOnFolder() {
        d.InitialDir = dir.path();
        d.FilterIndex = FileFormatReaders().size() + 2; // all files
        d.Open();
    }
    ~OpenDialogOnFolder() {
        if (d.Window())
            d.Window()->reject();
    }
    QListView* List() const { return d.Window()->findChild<QListView*>(QStringLiteral("listView")); }
    int Listed() const { return List()->model()->rowCount(List()->rootIndex()); }
    // As a click on the name in the list: the current entry moves there.
    void Select(const QString& Name) {
        const QModelIndex root = List()->rootIndex();
        for (int r = 0; r < List()->model()->rowCount(root); ++r)
            if (List()->model()->index(r, 0, root).data().toString() == Name)
                List()->setCurrentIndex(List()->model()->index(r, 0, root));
    }
    QTemporaryDir dir;
    TPGOpenDialog d;
};

} // namespace

TEST(PGFileDialogPreview, Browsing_StartsOneLoadAfterThePause) {
    OpenDialogOnFolder f;
    for (int i = 0; i < 20; ++i)
        SaveBmp(f.dir.filePath(QStringLiteral("p%1.bmp").arg(i)), 20 + i, 10);
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.Listed() == 20; }));
    const TPGJobId before = f.d.CurrentJob;
    for (int i = 0; i < 20; ++i)
        f.Select(QStringLiteral("p%1.bmp").arg(i));
    // Each selection change stops the previous job; the one start after the pause begins the only load.
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.d.PreviewPicture != nullptr; }));
    EXPECT_EQ(f.d.PreviewPicture->GetWidth(), 39);
    EXPECT_EQ(f.d.CurrentJob - before, 20u + 1u);
    EXPECT_TRUE(f.d.InfoValid);
    EXPECT_EQ(f.d.InfoWidth, 39);
    Screenshot(f.d.Window(), "open-dialog-preview");

    // A late result of an earlier job is dropped, and freed by its event.
    auto stale = std::make_unique<TPixelGraphic>();
    stale->SetFormat(5, 5, 3);
    QCoreApplication::postEvent(f.d.ChildWindow, new TPGPictureReadyEvent(before, std::move(stale)));
    QCoreApplication::sendPostedEvents(f.d.ChildWindow);
    EXPECT_EQ(f.d.PreviewPicture->GetWidth(), 39);
}

TEST(PGFileDialogOpen, DetailColumnsShowTheSizeTypeAndDateOfAPictureWhole) {
    // Qt's dialogs remember the column widths of the last one closed; without them they start from Qt's own.
    QSettings(QSettings::UserScope, QStringLiteral("QtProject"))
        .remove(QStringLiteral("FileDialog/treeViewHeader"));
    OpenDialogOnFolder f;
    SaveBmp(f.dir.filePath(QStringLiteral("wide.bmp")), 300, 90);
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.Listed() == 1; }));
    const auto* view = f.d.Window()->findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(view, nullptr);
    const QModelIndex name = f.List()->model()->index(0, 0, f.List()->rootIndex());
    // The file system model fills in the type and date a moment after the name.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !name.siblingAtColumn(3).data().toString().isEmpty(); }));
    const QFontMetrics metrics(view->font());
    for (int column = 1; column <= 3; ++column)
        for (const QString& text : {name.siblingAtColumn(column).data().toString(),
                                    view->model()->headerData(column, Qt::Horizontal).toString()})
            // A cell keeps a few pixels of margin on either side.
            EXPECT_GE(view->header()->sectionSize(column), metrics.horizontalAdvance(text) + 8)
                << text.toStdString();
}

TEST(PGFileDialogPreview, UnknownMissingAndSpecialFiles_StartNoWorker) {
    OpenDialogOnFolder f;
    QFile text(f.dir.filePath(QStringLiteral("notes.txt")));
    text.open(QIODevice::WriteOnly);
    text.write("no picture here");
    text.close();
    const QString fifo = f.dir.filePath(QStringLiteral("pipe.bmp"));
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const auto* idle = f.d.PreviewThread.get();
    for (const char* name : {"notes.txt", "missing.bmp", "pipe.bmp"}) {
        f.d.SetFileNameField(QLatin1String(name));
        f.d.StartPreview();
        EXPECT_FALSE(f.d.InfoValid) << name;
        EXPECT_EQ(f.d.PreviewThread.get(), idle) << name;
        // The frame is painted, the info box stays empty.
        QImage info(f.d.InfoButton->size(), QImage::Format_RGB32);
        info.fill(Qt::white);
        QPainter painter(&info);
        f.d.DrawInfo(painter, info.rect());
        painter.end();
        EXPECT_EQ(info.pixel(0, 0), QColor(Qt::white).rgb());
        EXPECT_TRUE(
            std::all_of(reinterpret_cast<const QRgb*>(info.constBits()),
                        reinterpret_cast<const QRgb*>(info.constBits()) + info.width() * info.height(),
                        [](QRgb p) { return p == QColor(Qt::white).rgb(); }));
    }
}

TEST(PGFileDialogPreview, InfoLines_SplitTheBox) {
    TPGOpenDialog d;
    d.InfoValid = true;
    d.InfoDescription = QStringLiteral("Bitmap");
    d.InfoWidth = 10;
    d.InfoHeight = 20;
    d.InfoColors = QStringLiteral("16");
    d.InfoBitsPerPixel = 4;
    PGInfoLogFont.Height = 10;
    QImage info(120, 60, QImage::Format_RGB32);
    info.fill(Qt::white);
    QPainter painter(&info);
    d.DrawInfo(painter, info.rect());
    painter.end();
    ResetPGFonts();
    const auto inked = [&](int y) {
        for (int x = 0; x < info.width(); ++x)
            if (info.pixel(x, y) != QColor(Qt::white).rgb())
                return true;
        return false;
    };
    std::vector<int> starts;
    for (int y = 0; y < info.height(); ++y)
        if (inked(y) && (y == 0 || !inked(y - 1)))
            starts.push_back(y);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_LT(starts[0], 5);
    EXPECT_GE(starts[1], 30);
    EXPECT_LT(starts[1], 35);
}

TEST(PGFileDialogPreview, ClosingMidLoad_FreesEverything) {
    OpenDialogOnFolder f;
    SaveBmp(f.dir.filePath(QStringLiteral("large.bmp")), 2000, 1500);
    f.d.SetFileNameField(QStringLiteral("large.bmp"));
    f.d.StartPreview();
    EXPECT_TRUE(f.d.PreviewThread->Started());
    f.d.Window()->reject();
    EXPECT_TRUE(f.d.Finished());
    EXPECT_EQ(f.d.PreviewPicture, nullptr);
    EXPECT_EQ(f.d.ChildWindow, nullptr);
    // Whatever the worker queued goes with the panel, unseen.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    EXPECT_EQ(f.d.PreviewPicture, nullptr);
}
