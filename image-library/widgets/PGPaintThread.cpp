// The display-copy worker: resampling, palette and conversion on pictures of its own, and its reports.
#include "image-library/widgets/PGPaintThread.h"

#include "framework/TickCount.h"
#include "image-library/PGQuantize.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>

TCreatePaintPGThread::TCreatePaintPGThread(bool DoNothing) : DoNothing(DoNothing) {}

TCreatePaintPGThread::~TCreatePaintPGThread() {
    Stop();
}

void TCreatePaintPGThread::Execute() {
    if (!DoNothing)
        MakePaintPixelGraphic();
}

void TCreatePaintPGThread::MakePaintPixelGraphic() {
    LastPercent = 0;
    LastTick = GetTickCount();
    Stage = 1;
    std::unique_ptr<TPixelGraphic> result;
    try {
        if (Source && Target) {
            Build();
            result = std::move(Target);
        }
    } catch (...) {
        Target.reset();
    }
    Intermediate.reset();
    // A stopped worker frees its unfinished copy and says nothing; a null result reports the failure.
    if (!Terminated())
        Deliver(std::move(result));
}

void TCreatePaintPGThread::Build() {
    TPixelGraphic* from = Source;
    if (Terminated())
        return;
    if (PreStretch && Intermediate) {
        Intermediate->CopyFrom(*Source);
        from = Intermediate.get();
        ++Stage;
    }
    if (Terminated())
        return;
    if (OptimizedPalette) {
        BuildOptimizedPalette(*Target, *from, 252, true);
        ++Stage;
    }
    if (Terminated())
        return;
    if (OptimizedPalette && from->GetBitCountNum() == 2 && from->GetWidth() == Target->GetWidth() &&
        from->GetHeight() == Target->GetHeight()) {
        // Each entry of the source table is matched once; the pixels then only move through the map.
        const bool fast = Target->GetFastColorLookup();
        Target->SetFastColorLookup(false);
        std::array<uint8_t, 256> map{};
        for (size_t i = 0; i < map.size(); ++i) // values beyond the table too: they show their own colour
            map[i] = uint8_t(Target->ColorToIndex(from->PixelValueColor(uint32_t(i))));
        Target->SetFastColorLookup(fast);
        const int width = from->GetWidth();
        const int height = from->GetHeight();
        for (int y = 0; y < height; ++y) {
            const uint8_t* in = from->GetScanLine(y);
            uint8_t* out = Target->GetScanLine(y);
            for (int x = 0; x < width; ++x)
                out[x] = map[in[x]];
            bool abort = false;
            Progress(this, y, height - 1, abort);
            if (abort)
                break;
        }
    } else {
        Target->CopyFrom(*from);
    }
    ++Stage;
}

void TCreatePaintPGThread::Deliver(std::unique_ptr<TPixelGraphic> Picture) {
    if (Picture) {
        // The copy leaves this worker: nothing of it may call back into the worker afterwards.
        Picture->SetOnProgress(nullptr);
        Picture->SetOnProgressStart(nullptr);
        Picture->SetOnProgressEnd(nullptr);
    }
    if (PostMessages) {
        PostWorkerEvent(Window, new TPGPictureReadyEvent(Job, std::move(Picture)));
        FPosted.store(true);
    } else if (OnReady) {
        OnReady(std::move(Picture));
    }
}

void TCreatePaintPGThread::Progress(TObject*, int Step, int Max, bool& Abort) {
    const int percent = Max == 0 ? 100 : int(int64_t(Step) * 100 / Max);
    const uint32_t tick = GetTickCount();
    if (percent != LastPercent && tick / 50 != LastTick / 50) {
        LastPercent = percent;
        LastTick = tick;
        if (PostMessages)
            PostWorkerEvent(Window, new TPGJobProgressEvent(Job, Stage, percent));
    }
    Abort = Terminated();
}
