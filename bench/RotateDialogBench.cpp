// The rotate dialog's OK path on a 12-megapixel 24-bit picture, beside TPixelGraphic::Rotate alone: the
// dialog adds the copy it keeps for Undo, so the gap should be about one picture copy.
#include "PRotate.h"
#include "PicForm.h"
#include "bench/ToolTiming.h"
#include "image-library/PGraphic.h"
#include "image-library/PGraphicInit.h"

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

constexpr int Width = 4000;
constexpr int Height = 3000;
constexpr long double Angle = 30;

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const TPGraphicScope library;
    TPixelGraphic photo;
    MakePhoto(photo, Width, Height);

    std::printf("4000 x 3000, 24 bits, turned %.0f degrees\n", double(Angle));
    // Into a new picture, as the dialog's copy is: the fresh pages cost more than the bytes.
    const double copying = Milliseconds([&] {
        TPixelGraphic copy;
        copy.Assign(&photo);
    });
    // A new target each time, as the window's picture is new to the size it turns to.
    const double alone = Milliseconds([&] {
        TPixelGraphic turned;
        turned.Rotate(true, photo, Angle);
    });

    TPictForm window;
    double dialog = 1e300;
    for (int run = 0; run < 3; ++run) {
        window.PGImage1->AssignPixelGraphic(&photo);
        const auto start = std::chrono::steady_clock::now();
        TRotateForm form(window);
        form.RxSpinEdit1->setValue(double(Angle));
        form.Button1Click();
        dialog = std::min(
            dialog,
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("%-44s %9.1f ms\n", "one picture copy (Assign to a new picture)", copying);
    Report("Rotate 30 by the dialog's OK", dialog, "TPixelGraphic::Rotate alone", alone, 2);
    std::printf("%-44s %9.1f ms   (one copy: %.1f ms)\n", "gap", dialog - alone, copying);
    return 0;
}
