#include "image-library/widgets/PGPaintThread.h"

#include "PaintTestSupport.h"
#include "framework/testing/FakeClock.h"
#include "image-library/PGStandardPalettes.h"
#include "image-library/testing/Oracles.h"

#include <QCoreApplication>
#include <thread>
#include <vector>

namespace {

// Records the worker events that reach it, and takes the pictures.
class TEventLog : public QObject {
public:
    struct TReport {
        TPGJobId Job;
        int Stage;
        int Percent;
    };
    std::vector<TReport> Reports;
    std::vector<std::unique_ptr<TPixelGraphic>> Pictures;

    void customEvent(QEvent* e) override {
        WorkerEventReceived(e);
        if (e->type() == TPGJobProgressEvent::EventType()) {
            const auto* p = static_cast<TPGJobProgressEvent*>(e);
            Reports.push_back({p->Job, p->Stage, p->Percent});
        } else if (e->type() == TPGPictureReadyEvent::EventType()) {
            Pictures.push_back(std::move(static_cast<TPGPictureReadyEvent*>(e)->Picture));
        }
    }
    bool eventFilter(QObject*, QEvent* e) override {
        WorkerEventReceived(e); // before anything of the event is read
        if (e->type() == TPGJobProgressEvent::EventType()) {
            const auto* p = static_cast<TPGJobProgressEvent*>(e);
            Reports.push_back({p->Job, p->Stage, p->Percent});
        }
        return false;
    }
};

std::unique_ptr<TPixelGraphic> PhotoPicture(int w, int h) {
    auto p = std::make_unique<TPixelGraphic>();
    PictureFromPnm(GeneratedPhoto(w, h), *p);
    return p;
}

struct CopyCase {
    const char* name;
    int screenBits;
    std::function<std::unique_ptr<TPixelGraphic>()> picture;
    std::function<void(TPGImage&)> setUp;
    bool copy;
    int copyBitCountNum;
};

} // namespace

TEST(TCreatePaintPGThread, ProgressReportsChangedPercentsOncePerBucketAndAbortsWhenTerminated) {
    FakeClock clock(1000, 0);
    TEventLog log;
    TCreatePaintPGThread worker(true);
    worker.Window = &log;
    worker.Job = 7;
    worker.PostMessages = true;
    worker.LastTick = 1000;
    worker.Stage = 2;
    bool abort = true;
    const auto progress = [&](int step, int max, uint32_t now) {
        clock.Now = now;
        worker.Progress(nullptr, step, max, abort);
        QCoreApplication::processEvents();
    };
    progress(10, 100, 1010);                      // same 50 ms bucket: held back
    progress(10, 100, 1050);                      // new bucket, new percent
    progress(11, 100, 1060);                      // same bucket again
    progress(10, 100, 1200);                      // new bucket, but the percent did not change
    progress(2'000'000'000, 2'000'000'000, 1250); // 64-bit product
    progress(0, 0, 1300);                         // Max 0: 100 percent, unchanged
    EXPECT_FALSE(abort);
    ASSERT_EQ(log.Reports.size(), 2u);
    EXPECT_EQ(log.Reports[0].Percent, 10);
    EXPECT_EQ(log.Reports[1].Percent, 100);
    EXPECT_EQ(log.Reports[1].Stage, 2);
    EXPECT_EQ(log.Reports[1].Job, 7u);

    TCreatePaintPGThread inlineWorker(true);
    inlineWorker.Terminate();
    inlineWorker.LastTick = 0;
    clock.Now = 5000;
    inlineWorker.Progress(nullptr, 0, 0, abort);
    EXPECT_EQ(inlineWorker.LastPercent, 100) << "Max 0 gives 100";
    EXPECT_TRUE(abort) << "Abort follows Terminated";
    QCoreApplication::processEvents();
    EXPECT_EQ(log.Reports.size(), 2u) << "inline mode reports nothing";
}

TEST(TCreatePaintPGThread, AStoppedWorkerPostsNothingAndFreesItsTarget) {
    TEventLog log;
    auto source = SolidPicture(64, 64, RGB(10, 20, 30));
    TCreatePaintPGThread worker(false);
    worker.Window = &log;
    worker.PostMessages = true;
    worker.Source = source.get();
    worker.Target = std::make_unique<TPixelGraphic>();
    worker.Target->SetFormat(64, 64, 3);
    worker.Terminate();
    worker.Resume();
    worker.WaitFor();
    QCoreApplication::processEvents();
    EXPECT_FALSE(worker.Posted());
    EXPECT_EQ(worker.Target, nullptr);
    EXPECT_TRUE(log.Pictures.empty());

    // Unstopped, the same worker posts one finished copy with no hook left into the worker.
    TCreatePaintPGThread finishing(false);
    finishing.Window = &log;
    finishing.PostMessages = true;
    finishing.Job = 3;
    finishing.Source = source.get();
    finishing.Target = std::make_unique<TPixelGraphic>();
    finishing.Target->SetFormat(64, 64, 3);
    finishing.Target->SetOnProgress([](TObject*, int, int, bool&) {});
    finishing.Resume();
    finishing.WaitFor();
    QCoreApplication::processEvents();
    ASSERT_EQ(log.Pictures.size(), 1u);
    ASSERT_NE(log.Pictures[0], nullptr);
    EXPECT_FALSE(log.Pictures[0]->GetOnProgress());
    EXPECT_EQ(log.Pictures[0]->GetPixelColor(5, 5), RGB(10, 20, 30));
}

TEST(PGImageDisplayCopy, TheScreenAndTheOptionsDecideWhetherACopyIsMade) {
    const std::vector<CopyCase> cases = {
        {"24 bits on a 24-bit screen, smFast",
         24,
         [] { return SolidPicture(40, 30, RGB(1, 2, 3)); },
         {},
         false,
         0},
        {"8 bits with the configured table on an 8-bit screen", 8,
         [] {
             auto p = std::make_unique<TPixelGraphic>();
             p->SetFormat(40, 30, 2);
             p->SetPaletteIdent(pGray256);
             return p;
         },
         [](TPGImage& v) { v.SetPalette8BitSys8BitGraphic(pGray256); }, false, 0},
        {"pSys16 on a 4-bit screen",
         4,
         [] {
             auto p = std::make_unique<TPixelGraphic>();
             p->SetFormat(40, 30, 1);
             p->SetPaletteIdent(pSys16);
             return p;
         },
         {},
         false,
         0},
        {"24 bits on a 4-bit screen", 4, [] { return SolidPicture(40, 30, RGB(1, 2, 3)); }, {}, true, 1},
        {"smPrecise stretched on a 24-bit screen", 24, [] { return SolidPicture(40, 30, RGB(1, 2, 3)); },
         [](TPGImage& v) {
             v.SetStretch(sAlways);
             v.SetStretchMode(smPrecise);
         },
         true, 3},
    };
    for (const CopyCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScreenBitsScope screen(c.screenBits);
        TPGImage image;
        image.SetBorderStyle(bsNone);
        image.SetBounds(0, 0, 120, 90);
        ShowViewer(image);
        if (c.setUp)
            c.setUp(image);
        image.SetPixelGraphic(c.picture());
        SettledGrab(image);
        ASSERT_EQ(image.GetPaintPixelGraphic() != nullptr, c.copy);
        if (c.copy) {
            EXPECT_EQ(image.GetPaintPixelGraphic()->GetBitCountNum(), c.copyBitCountNum);
        }
    }
}

TEST(PGImageDisplayCopy, AColourfulPictureOnAn8BitScreenGetsAnOptimizedTableInTwoStages) {
    ScreenBitsScope screen(8);
    // Every read of the tick count moves 50 ms on: each new percent is reported.
    FakeClock clock(1000, 50);
    TPGImage image;
    TEventLog log;
    image.installEventFilter(&log);
    image.SetBorderStyle(bsNone);
    image.SetBounds(0, 0, 160, 120);
    ShowViewer(image);
    image.SetPixelGraphic(PhotoPicture(160, 120));
    SettledGrab(image);
    const TPixelGraphic* copy = image.GetPaintPixelGraphic();
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->GetColorCount(), 252);
    const auto system = StandardPalette(pSys16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(copy->IndexToColor(uint32_t(236 + i)), system[size_t(i)]) << "entry " << 236 + i;

    ASSERT_FALSE(log.Reports.empty());
    int stage = 1;
    bool sawPalette = false, sawConversion = false;
    for (const auto& r : log.Reports) {
        ASSERT_GE(r.Stage, stage) << "stages only move on";
        ASSERT_LE(r.Stage, 2);
        stage = r.Stage;
        (r.Stage == 1 ? sawPalette : sawConversion) = true;
    }
    EXPECT_TRUE(sawPalette);
    EXPECT_TRUE(sawConversion);
}

TEST(PGImageDisplayCopy, SmPreciseRebuildsAfterAResizeAndFallsBackWhenTheBoxIsTooLarge) {
    ScreenBitsScope screen(24);
    TPGImage image;
    image.SetBorderStyle(bsNone);
    image.SetBounds(0, 0, 100, 80);
    ShowViewer(image);
    image.SetStretch(sAlways);
    image.SetStretchMode(smPrecise);
    image.SetPixelGraphic(SolidPicture(30, 20, RGB(200, 100, 50)));
    SettledGrab(image);
    ASSERT_NE(image.GetPaintPixelGraphic(), nullptr);
    EXPECT_EQ(image.GetPaintPixelGraphic()->GetWidth(), 100);
    image.SetBounds(0, 0, 140, 90);
    ShowViewer(image);
    const QImage shot = SettledGrab(image);
    ASSERT_NE(image.GetPaintPixelGraphic(), nullptr);
    EXPECT_EQ(image.GetPaintPixelGraphic()->GetWidth(), 140);
    EXPECT_EQ(image.GetPaintPixelGraphic()->GetHeight(), 90);
    EXPECT_EQ(shot.pixel(139, 89), qRgb(200, 100, 50));

    // A zoom whose box cannot be held in memory: the copy keeps the picture's size, not 1 x 1.
    image.SetStretch(sZoomKAR);
    image.SetZoomFactor(3000);
    SettledGrab(image);
    ASSERT_NE(image.GetPaintPixelGraphic(), nullptr);
    EXPECT_EQ(image.GetPaintPixelGraphic()->GetWidth(), 30);
    EXPECT_EQ(image.GetPaintPixelGraphic()->GetHeight(), 20);
}

TEST(PGImageDisplayCopy, AStaleCopyIsNeverShownNorMadeThePicture) {
    for (const bool reduceOnLoad : {false, true}) {
        SCOPED_TRACE(reduceOnLoad ? "ReduceOnLoad" : "copy");
        ScreenBitsScope screen(4);
        TPGImage image;
        image.setProperty("ReduceOnLoad", reduceOnLoad);
        image.SetBorderStyle(bsNone);
        image.SetBounds(0, 0, 60, 60);
        ShowViewer(image);
        image.SetPixelGraphic(SolidPicture(60, 60, RGB(255, 0, 0)));
        (void)image.grab(); // starts job A
        ASSERT_TRUE(image.PaintCopyInFlight());
        // Job A has posted its copy, which waits in the queue while the picture is replaced.
        while (!image.GetPaintThread()->Posted())
            std::this_thread::yield();
        auto blue = SolidPicture(60, 60, RGB(0, 0, 255));
        const TPixelGraphic* replacement = blue.get();
        image.SetPixelGraphic(std::move(blue));
        EXPECT_FALSE(image.PaintCopyInFlight());
        QApplication::processEvents();
        EXPECT_EQ(image.GetPaintPixelGraphic(), nullptr) << "A's copy is dropped";
        EXPECT_EQ(image.GetPixelGraphicNoWait(), replacement);
        const QImage shot = SettledGrab(image);
        EXPECT_EQ(shot.pixel(30, 30), qRgb(0, 0, 255));
    }
}

TEST(PGImageDisplayCopy, AFailedJobLeavesThePicturePaintedUntilTheNextChange) {
    ScreenBitsScope screen(24);
    TPGImage image;
    image.SetBorderStyle(bsNone);
    image.SetBounds(0, 0, 80, 80);
    ShowViewer(image);
    image.SetStretch(sAlways);
    image.SetStretchMode(smPrecise);
    auto trap = std::make_unique<TWorkerTrapPicture>(true);
    trap->SetFormat(40, 40, 3);
    trap->SetPixelColor(20, 20, RGB(0, 255, 0));
    image.SetPixelGraphic(std::move(trap));
    QImage shot = SettledGrab(image);
    EXPECT_EQ(image.GetPaintPixelGraphic(), nullptr);
    EXPECT_EQ(shot.pixel(41, 41), qRgb(0, 255, 0)) << "the picture itself, not the empty frame";
    (void)image.grab();
    EXPECT_FALSE(image.PaintCopyInFlight()) << "no restart until the picture changes";
    image.SetDither(false); // re-layout: another attempt
    (void)image.grab();
    EXPECT_TRUE(image.PaintCopyInFlight());
    SettledGrab(image);
}

TEST(PGImageDisplayCopy, ReduceOnLoadReplacesThePictureAtItsOwnSizeOnce) {
    ScreenBitsScope screen(8);
    TPGImage image;
    image.SetBorderStyle(bsNone);
    image.SetBounds(0, 0, 200, 150);
    ShowViewer(image);
    image.setProperty("ReduceOnLoad", true);
    image.SetStretch(sAlways);
    image.SetStretchMode(smPrecise);
    auto picture = SolidPicture(40, 30, RGB(255, 0, 0));
    const TPixelGraphic* original = picture.get();
    image.SetPixelGraphic(std::move(picture));
    const QImage shot = SettledGrab(image);
    const TPixelGraphic* reduced = image.GetPixelGraphicNoWait();
    ASSERT_NE(reduced, original);
    EXPECT_EQ(reduced->GetBitCountNum(), 2);
    EXPECT_EQ(reduced->GetWidth(), 40);
    EXPECT_EQ(reduced->GetHeight(), 30);
    EXPECT_TRUE(NearColor(shot.pixel(100, 75), RGB(255, 0, 0))) << "painted, not the empty frame";
    SettledGrab(image);
    EXPECT_EQ(image.GetPixelGraphicNoWait(), reduced) << "only the first copy replaces the picture";

    // Inline, the same.
    image.SetUseThread(false);
    image.SetPixelGraphic(SolidPicture(40, 30, RGB(0, 0, 255)));
    const QImage inlineShot = image.grab().toImage();
    EXPECT_EQ(image.GetPixelGraphicNoWait()->GetBitCountNum(), 2);
    EXPECT_TRUE(NearColor(inlineShot.pixel(100, 75), RGB(0, 0, 255)));
}

// A leak shows only to LeakSanitizer, at the process's end: elsewhere the test below could not fail.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool LeaksAreChecked = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool LeaksAreChecked = true;
#else
constexpr bool LeaksAreChecked = false;
#endif
#else
constexpr bool LeaksAreChecked = false;
#endif

TEST(PGImageDisplayCopy, DestroyingAViewerWithAJobRunningOrACopyQueuedLeaksNothing) {
    if (!LeaksAreChecked)
        GTEST_SKIP() << "only a build with AddressSanitizer (LAB_SANITIZE=ON) sees a leak";
    ScreenBitsScope screen(8);
    for (const bool waitForPost : {false, true}) {
        auto image = std::make_unique<TPGImage>();
        image->SetBounds(0, 0, 300, 300);
        ShowViewer(*image);
        image->SetPixelGraphic(PhotoPicture(300, 300));
        (void)image->grab();
        if (waitForPost)
            while (!image->GetPaintThread()->Posted())
                std::this_thread::yield();
        image.reset();
        QApplication::processEvents();
    }
}
