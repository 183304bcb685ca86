// Shared by the display-copy, painting and stress tests: screen depth scopes, viewers that settle their
// display copy, and pictures that fail or wait on the worker thread.
#pragma once

#include "framework/ScreenCaps.h"
#include "image-library/widgets/PGImage.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QThread>
#include <cstdlib>
#include <future>
#include <gtest/gtest.h>
#include <stdexcept>

// Sets the screen depth for a test and restores it.
class ScreenBitsScope {
public:
    explicit ScreenBitsScope(int Bits) : Previous(ScreenBitsPerPixel()) {
        TScreenCaps::Instance().SetBitsPerPixel(Bits);
    }
    ~ScreenBitsScope() { TScreenCaps::Instance().SetBitsPerPixel(Previous); }

private:
    int Previous;
};

// Shows a viewer and waits until it is on the (offscreen) screen, so its viewport has its final size.
inline void ShowViewer(TPGImage& image) {
    image.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&image));
}

inline bool OnWorkerThread() {
    return QThread::currentThread() != qApp->thread();
}

// A single-colour picture.
inline std::unique_ptr<TPixelGraphic> SolidPicture(int w, int h, TColor color, uint8_t bitCountNum = 3) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(w, h, bitCountNum);
    if (bitCountNum == 3) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                p->SetPixelColor(x, y, color);
    }
    return p;
}

// A 24-bit picture whose pixel (x, y) has red 11 x, green 7 y and blue x + y (modulo 256): every pixel
// differs from its neighbours.
inline std::unique_ptr<TPixelGraphic> PatternPicture(int w, int h) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(w, h, 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p->SetPixelColor(x, y, RGB(uint8_t(11 * x), uint8_t(7 * y), uint8_t(x + y)));
    return p;
}

// A picture whose reads on a worker thread fail, or wait until the test opens the gate: the copy job
// then raises, or stays in the making for as long as the test needs.
class TWorkerTrapPicture : public TPixelGraphic {
public:
    explicit TWorkerTrapPicture(bool Fail) : Fail(Fail), Gate(Opener.get_future().share()) {}
    ~TWorkerTrapPicture() override { Open(); }
    void Open() {
        if (!Opened.exchange(true))
            Opener.set_value();
    }
    bool GetEmpty() const override {
        if (OnWorkerThread()) {
            if (Fail)
                throw std::runtime_error("worker fault");
            Gate.wait();
        }
        return TPixelGraphic::GetEmpty();
    }

private:
    const bool Fail;
    std::atomic<bool> Opened{false};
    std::promise<void> Opener;
    std::shared_future<void> Gate;
};

// Whether a shown colour is the wanted one up to what an optimized 8-bit table does to it (its entries
// are cell centres of a 5-6-5 histogram).
inline bool NearColor(QRgb Shown, TColor Wanted) {
    const QRgb w = ColorToQRgb(Wanted);
    return std::abs(qRed(Shown) - qRed(w)) <= 8 && std::abs(qGreen(Shown) - qGreen(w)) <= 8 &&
           std::abs(qBlue(Shown) - qBlue(w)) <= 8;
}

// Paints until no display-copy job is in flight any more (a paint may start one, its result may start
// another); the deadline only turns a hang into a failure.
inline QImage SettledGrab(TPGImage& image) {
    QDeadlineTimer guard(60000);
    QImage shot = image.grab().toImage();
    while (image.PaintCopyInFlight() && !guard.hasExpired()) {
        while (image.PaintCopyInFlight() && !guard.hasExpired())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        shot = image.grab().toImage();
    }
    EXPECT_FALSE(guard.hasExpired()) << "the display copy never settled";
    return shot;
}
