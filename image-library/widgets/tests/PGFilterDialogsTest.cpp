// The filter dialogs: values and texts, the layout, Cancel, and the preview workers, with ExecuteDialog
// answered from a single-shot timer.
#include "image-library/widgets/PGFilterDialogs.h"

#include "framework/testing/CaptionFit.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGraphic.h"
#include "image-library/widgets/PGImage.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <gtest/gtest.h>

namespace {

std::unique_ptr<TPixelGraphic> Photo(int W, int H) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(W, H, 3);
    if (int64_t(W) * H <= 1 << 20)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                p->SetPixelColor(x, y, RGB(uint8_t(x * 3), uint8_t(y * 2), uint8_t(x ^ y)));
    return p;
}

// Runs the dialog with Act doing the user's part once the form is up.
template <class Act> bool RunDialog(TPreviewFilterDialog& D, TPixelGraphic* Picture, Act act) {
    QTimer::singleShot(0, [&] {
        ASSERT_NE(D.Form, nullptr);
        act(*D.Form);
        // A failed assertion leaves the lambda early: the dialog still closes.
        if (D.Form && D.Form->isVisible())
            D.Form->reject();
    });
    return D.Execute(Picture);
}

void Screenshot(QWidget* W, const char* Name) {
    const QString dir = qEnvironmentVariable("LAB_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        W->grab().save(dir + u'/' + QLatin1String(Name) + QStringLiteral(".png"));
}

} // namespace

TEST(BCGFilterDialog, ValuesPositionsAndTexts) {
    TBCGFilterDialog d;
    const struct {
        long double Set;
        int Position;
        const char* Text;
    } factors[] = {
        {10, 100, "5.00"}, {0.1L, -100, "0.20"}, {1, 0, "1.00"}, {5, 100, "5.00"}, {2.24L, 50, "2.24"}};
    for (const auto& f : factors) {
        d.SetContrast(f.Set);
        d.SetGamma(f.Set);
        EXPECT_EQ(d.Tracks[1].Position, f.Position);
        EXPECT_EQ(d.Tracks[2].Position, f.Position);
        EXPECT_EQ(d.ValueText(2), QLatin1String(f.Text));
        EXPECT_EQ(d.ValueText(3), QLatin1String(f.Text));
        EXPECT_NEAR(double(d.GetContrast()), QByteArray(f.Text).toDouble(), 1e-12);
    }
    // The filter gets the unrounded factor.
    d.Tracks[1].Position = 50;
    d.TransferToFilter(*d.Filter);
    EXPECT_NEAR(double(d.GetFilter().Contrast), std::sqrt(5.0), 1e-15);
    EXPECT_NE(double(d.GetFilter().Contrast), 2.24);

    const struct {
        int Set, Stored;
        QString Text;
    } brightness[] = {{0, 0, PGLangStr(82) + QStringLiteral("0%")},
                      {25, 25, QStringLiteral("+25%")},
                      {-40, -40, QStringLiteral("-40%")},
                      {300, 100, QStringLiteral("+100%")},
                      {-300, -100, QStringLiteral("-100%")}};
    for (const auto& b : brightness) {
        d.SetBrightness(b.Set);
        EXPECT_EQ(d.GetBrightness(), b.Stored);
        EXPECT_EQ(d.ValueText(1), b.Text);
    }
    d.SetUseY(true);
    EXPECT_TRUE(d.Radio2On);
    EXPECT_FALSE(d.Radio1On);
}

TEST(FilterDialogLayout, NegativeAndPreviewCopySizes) {
    TNegativeFilterDialog d;
    const TFilterDialogGeometry g = FilterDialogGeometry(d);
    EXPECT_EQ(g.Client, QSize(220, 206));
    EXPECT_EQ(g.Preview, QRect(40, 12, 140, 140));
    EXPECT_EQ(g.Bevel, QRect(5, 160, 210, 3));
    EXPECT_EQ(g.OK, QRect(15, 172, 85, 24));
    EXPECT_EQ(g.Cancel, QRect(120, 172, 85, 24));
    for (const auto& t : g.Tracks)
        EXPECT_TRUE(t.Bar.isEmpty() && t.CaptionLabel.isEmpty());

    TBCGFilterDialog bcg;
    bcg.SetCaptions();
    const TFilterDialogGeometry b = FilterDialogGeometry(bcg);
    EXPECT_EQ(b.Client.width(), 10 + 55 + 240 + 32 + 10 + 140 + 10);
    EXPECT_EQ(b.Tracks[2].Bar, QRect(65, 110, 240, 32));
    EXPECT_EQ(b.Tracks[1].MaxLabel, QRect(225, 92, 80, 13));
    EXPECT_EQ(b.Radio1, QRect(71, 160, 100, 17));
    EXPECT_EQ(b.Radio2.topLeft(), QPoint(177, 160));
    EXPECT_EQ(b.OptionsLabel, QRect(10, 161, 55, 13));
    EXPECT_EQ(b.Bevel.top(), 187);
    EXPECT_EQ(b.Client.height(), 187 + 12 + 24 + 10);
    // Texts wider than the set widths widen their column, and the bars and the dialog move with it; a
    // radio button wider than its place pushes the second one and the dialog's edge.
    TFilterControlSizes wide;
    wide.Caption = 70;
    wide.Value = 40;
    wide.Label = 14;
    const TFilterDialogGeometry w = FilterDialogGeometry(bcg, wide);
    EXPECT_EQ(w.Client.width(), 10 + 70 + 240 + 40 + 10 + 140 + 10);
    for (const auto& t : w.Tracks)
        EXPECT_EQ(t.Bar.left(), 80);
    EXPECT_EQ(w.Tracks[0].ValueLabel, QRect(320, 16, 40, 14));
    EXPECT_EQ(w.OptionsLabel, QRect(10, 161, 70, 14));
    EXPECT_EQ(w.Preview.left(), 370);
    wide.Radio1Width = 500;
    const TFilterDialogGeometry r = FilterDialogGeometry(bcg, wide);
    EXPECT_EQ(r.Radio2.left(), 86 + 500 + 6);
    EXPECT_EQ(r.Client.width(), r.Radio2.right() + 1 + 10);
    EXPECT_EQ(r.Preview.left(), 370);

    const struct {
        int W, H;
        QSize Expected;
    } sizes[] = {{0, 0, {0, 0}},       {100, 0, {0, 0}},      {50, 30, {50, 30}},
                 {1000, 10, {136, 1}}, {280, 560, {68, 136}}, {8000, 8000, {136, 136}}};
    for (const auto& s : sizes)
        EXPECT_EQ(PreviewSourceSize(s.W, s.H, 136, 136), s.Expected) << s.W << "x" << s.H;
}

TEST(BCGFilterDialog, CancelRestoresAndOKKeeps) {
    for (bool ok : {false, true}) {
        TBCGFilterDialog d;
        d.SetBrightness(10);
        d.SetContrast(2);
        d.TransferToFilter(*d.Filter);
        int changes = 0;
        d.OnChange = [&](TObject* Sender) {
            EXPECT_EQ(Sender, &d);
            ++changes;
        };
        const auto picture = Photo(60, 40);
        const bool result = RunDialog(d, picture.get(), [&](TFilterDialogForm& form) {
            form.Tracks[0].TrackBar->setValue(-30);
            form.Tracks[2].TrackBar->setValue(50);
            form.RadioButton2->click();
            EXPECT_EQ(form.Tracks[2].ValueLabel->text(), QStringLiteral("2.24"));
            EXPECT_EQ(d.GetFilter().Brightness, -30);
            if (ok)
                QTest::mouseClick(form.OKButton, Qt::LeftButton);
            else
                QTest::keyClick(&form, Qt::Key_Escape);
        });
        EXPECT_EQ(result, ok);
        EXPECT_EQ(changes, 3);
        EXPECT_EQ(d.Form, nullptr);
        EXPECT_EQ(d.GetBrightness(), ok ? -30 : 10);
        EXPECT_EQ(d.Tracks[2].Position, ok ? 50 : 0);
        EXPECT_EQ(d.GetUseY(), ok);
        EXPECT_EQ(d.GetFilter().Brightness, ok ? -30 : 10);
        EXPECT_EQ(d.GetFilter().UseY, ok);
        EXPECT_NEAR(double(d.GetFilter().Contrast), 2.0, 0.02);
        EXPECT_NEAR(double(d.GetFilter().Gamma), ok ? std::sqrt(5.0) : 1.0, 1e-12);
    }
}

TEST(FilterDialogForm, UserTextWithoutOptionsCaption_CreatesNoLabel) {
    const uint8_t language = PGLanguage;
    PGLanguage = 5;
    PGLangStrEntries[68].UserText.clear();
    TBCGFilterDialog d;
    bool labelled = true;
    RunDialog(d, nullptr, [&](TFilterDialogForm& form) {
        labelled = form.OptionsLabel != nullptr;
        form.reject();
    });
    EXPECT_FALSE(labelled);
    PGLanguage = language;
    ReleasePGUserTexts();
}

// Every caption, option and value text whole in the dialog's font, in each of the library's languages and
// with the track bars at both ends and in the middle; the dialog grows to make room.
TEST(FilterDialogForm, EveryCaptionFitsInEveryLanguageAndAtEveryValue) {
    const uint8_t language = PGLanguage;
    for (uint8_t l = 0; l < 5; ++l) {
        PGLanguage = l;
        TBCGFilterDialog bcg;
        TNegativeFilterDialog negative;
        for (TPreviewFilterDialog* d :
             {static_cast<TPreviewFilterDialog*>(&bcg), static_cast<TPreviewFilterDialog*>(&negative)})
            RunDialog(*d, nullptr, [&](TFilterDialogForm& form) {
                for (int end : {0, 1, 2}) {
                    for (size_t n = 0; n < 3; ++n)
                        if (QSlider* bar = form.Tracks[n].TrackBar)
                            bar->setValue(end == 0 ? bar->minimum() : end == 1 ? bar->maximum() : 0);
                    for (const std::string& fault : ClippedCaptions(form))
                        ADD_FAILURE() << "language " << int(l) << ": " << fault;
                }
            });
    }
    PGLanguage = language;
}

// The preview: one filter run per pause, whose picture is ApplyFilter's on the reduced copy.
TEST(FilterDialogPreview, DraggingStartsOneRunAndShowsTheFilteredCopy) {
    TBCGFilterDialog d;
    const auto picture = Photo(300, 200);
    std::unique_ptr<TPixelGraphic> shown, reference;
    uint64_t runsAfterDrag = 0;
    RunDialog(d, picture.get(), [&](TFilterDialogForm& form) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return form.FilterRuns == 1u; }));
        ASSERT_TRUE(QTest::qWaitFor([&] { return form.PreviewImage->GetPixelGraphicNoWait() != nullptr; }));
        for (int p = 1; p <= 50; ++p)
            form.Tracks[1].TrackBar->setValue(p);
        ASSERT_TRUE(QTest::qWaitFor([&] { return form.FilterRuns == 2u; }));
        QTest::qWait(300);
        runsAfterDrag = form.FilterRuns;
        // The reduced copy, made again here, through the same filter.
        const QSize size =
            PreviewSourceSize(300, 200, form.PreviewImage->ClientWidth(), form.PreviewImage->ClientHeight());
        TPixelGraphic copy;
        copy.SetFormat(size.width(), size.height(), 3);
        copy.CopyFrom(*picture);
        reference = std::make_unique<TPixelGraphic>();
        const auto filter = d.CreateFilter();
        d.TransferToFilter(*filter);
        reference->ApplyFilter(*filter, copy);
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return form.PreviewImage->GetPixelGraphicNoWait() &&
                   form.PreviewImage->GetPixelGraphicNoWait()->GetPixelColor(0, 0) ==
                       reference->GetPixelColor(0, 0);
        }));
        shown = form.PreviewImage->GetPixelGraphicCopy();
        Screenshot(&form, "bcg-filter-dialog");
        form.accept();
    });
    EXPECT_EQ(runsAfterDrag, 2u);
    ASSERT_TRUE(shown && reference);
    ASSERT_EQ(shown->GetWidth(), reference->GetWidth());
    ASSERT_EQ(shown->GetHeight(), reference->GetHeight());
    for (int y = 0; y < shown->GetHeight(); ++y)
        for (int x = 0; x < shown->GetWidth(); ++x)
            ASSERT_EQ(shown->GetPixelColor(x, y), reference->GetPixelColor(x, y)) << x << "," << y;
}

TEST(FilterDialogPreview, NegativeShowsItsPreviewAndRunsWithoutPicture) {
    TNegativeFilterDialog d;
    const auto picture = Photo(120, 90);
    RunDialog(d, picture.get(), [&](TFilterDialogForm& form) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return form.PreviewImage->GetPixelGraphicNoWait() != nullptr; }));
        EXPECT_EQ(form.PreviewImage->GetPixelGraphicNoWait()->GetPixelColor(0, 0), RGB(255, 255, 255));
        Screenshot(&form, "negative-filter-dialog");
        form.reject();
    });
    RunDialog(d, nullptr, [&](TFilterDialogForm& form) {
        EXPECT_EQ(form.PreviewSource->GetWidth(), 0);
        QTest::qWait(150);
        EXPECT_FALSE(form.SourceReady);
        EXPECT_EQ(form.PreviewImage->GetPixelGraphicNoWait(), nullptr);
        form.reject();
    });
}

// Closing while the worker still copies a large picture ends the dialog without a preview: the worker is
// stopped rather than waited for (its copy stops within a row, as the geometry tests count in
// AbortAndFailureEndCleanly) and hands nothing over.
TEST(FilterDialogPreview, ClosingDuringTheCopyOfALargePicture_StopsTheWorker) {
    TBCGFilterDialog d;
    const auto picture = Photo(8000, 8000);
    RunDialog(d, picture.get(), [&](TFilterDialogForm& form) {
        EXPECT_FALSE(form.SourceReady);
        form.reject();
    });
    EXPECT_EQ(d.Form, nullptr);
}
