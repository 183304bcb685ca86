#include "PaintTestSupport.h"

#include <QTemporaryDir>
#include <array>
#include <random>

namespace {

// Colours that every screen depth shows as themselves, or near them on an optimized 8-bit table.
constexpr std::array<TColor, 8> StressColors = {RGB(255, 0, 0),     RGB(0, 255, 0),   RGB(0, 0, 255),
                                                RGB(255, 255, 0),   RGB(0, 255, 255), RGB(255, 0, 255),
                                                RGB(255, 255, 255), RGB(0, 0, 0)};

std::unique_ptr<TPGImage> MakeViewer() {
    auto image = std::make_unique<TPGImage>();
    image->SetBorderStyle(bsNone);
    image->SetStretch(sAlways); // the centre always lies on the picture
    image->SetBounds(0, 0, 80, 60);
    ShowViewer(*image);
    return image;
}

} // namespace

TEST(PGImageStress, RandomPictureChangesNeverShowAStaleCopy) {
    ScreenBitsScope screen(8);
    QTemporaryDir dir;
    std::vector<QString> files;
    for (size_t i = 0; i < StressColors.size(); ++i) {
        files.push_back(dir.filePath(QStringLiteral("c%1.bmp").arg(i)));
        SolidPicture(9, 7, StressColors[i])->SaveToFile(files.back());
    }
    std::mt19937 random(20261209);
    const auto pick = [&](int n) { return int(random() % uint32_t(n)); };
    auto image = MakeViewer();
    bool shown = false; // a picture is set
    TColor current = 0;
    int checked = 0;
    for (int step = 0; step < 5000; ++step) {
        const TColor color = StressColors[size_t(pick(int(StressColors.size())))];
        const int w = 1 + pick(40), h = 1 + pick(40);
        switch (pick(12)) {
        case 0:
            image->SetPixelGraphic(SolidPicture(w, h, color));
            shown = true;
            current = color;
            break;
        case 1: {
            const auto picture = SolidPicture(w, h, color);
            image->AssignPixelGraphic(picture.get());
            shown = true;
            current = color;
            break;
        }
        case 2: {
            const int i = pick(int(files.size()));
            image->LoadFromFile(files[size_t(i)]);
            shown = true;
            current = StressColors[size_t(i)];
            break;
        }
        case 3:
            image->SetPixelGraphic(nullptr);
            shown = false;
            break;
        case 4:
            // A writer takes the picture before its batch of writes and reports them after it.
            if (TPixelGraphic* p = image->GetPixelGraphic()) {
                for (int y = 0; y < p->GetHeight(); ++y)
                    for (int x = 0; x < p->GetWidth(); ++x)
                        p->SetPixelColor(x, y, color);
                p->Changed();
                shown = true;
                current = color;
            }
            break;
        case 5:
            image->SetBounds(0, 0, 20 + pick(140), 20 + pick(100));
            break;
        case 6:
            image->SetUseThread(!image->GetUseThread());
            break;
        case 7:
            image->setProperty("KeepOldPaintPixelGraphic", pick(2) == 0);
            image->setProperty("ReduceOnLoad", pick(2) == 0);
            break;
        case 8:
            image->SetStretchMode(TStretchMode(pick(3)));
            image->SetDither(pick(2) == 0);
            break;
        case 9:
            TScreenCaps::Instance().SetBitsPerPixel(std::array{4, 8, 8, 24}[size_t(pick(4))]);
            break;
        case 10:
            if (pick(20) == 0) {
                // The new viewer shows the old one's picture: nothing of the old one may outlive it.
                auto picture = image->GetPixelGraphicCopy();
                image = MakeViewer();
                if (shown)
                    image->SetPixelGraphic(std::move(picture));
            }
            break;
        default:
            break;
        }
        QApplication::processEvents(QEventLoop::AllEvents, pick(4));
        if (image->PaintCopyInFlight() || !shown)
            continue;
        const QImage shot = image->grab().toImage();
        if (image->PaintCopyInFlight())
            continue; // this paint started a job and shows the empty frame meanwhile
        const QRgb centre = shot.pixel(image->ClientWidth() / 2, image->ClientHeight() / 2);
        ASSERT_TRUE(NearColor(centre, current))
            << "step " << step << ": shows " << std::hex << centre << " for " << current;
        ++checked;
    }
    EXPECT_GT(checked, 500);
    image.reset();
    QApplication::processEvents();
}
