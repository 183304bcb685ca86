// TCreatePaintPGThread: the worker that makes a viewer's display copy: it resamples the picture, chooses
// a palette and converts, then hands the copy to the viewer (posted, or through OnReady when run inline).
#pragma once

#include "framework/Thread.h"
#include "image-library/widgets/PGWorkerEvents.h"

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>

class TCreatePaintPGThread : public TThread {
public:
    // With DoNothing, Execute returns at once: the object stands in as the current worker, or only carries
    // the parameters of work the viewer runs inline.
    explicit TCreatePaintPGThread(bool DoNothing);
    ~TCreatePaintPGThread() override;

    // The work: fills Target from Source, then delivers it. Runs on the worker thread, or inline on the
    // GUI thread. An exception is delivered as a failure (a null picture), except after Terminate, when
    // nothing is delivered.
    void MakePaintPixelGraphic();
    // Progress handler of the pictures the worker writes: reports Stage and Percent (Step * 100 / Max in 64
    // bits, 100 for Max 0) when the percent changed and the 50 ms bucket of the tick count moved on, and
    // sets Abort once the worker is terminated.
    void Progress(TObject* Sender, int Step, int Max, bool& Abort);
    // True once a picture or a failure was posted: the result is then in the receiver's event queue.
    bool Posted() const { return FPosted.load(); }

    // Parameters, set by the viewer before Resume and not touched by it while the worker runs.
    bool DoNothing;
    QObject* Window = nullptr; // receiver of the posted events; it outlives the worker
    TPGJobId Job = 0;          // carried by every event
    bool PreStretch = false;   // first stretch Source into Intermediate, a 24-bit picture of the box size
    bool OptimizedPalette = false;
    TPixelGraphic* Source = nullptr; // the viewer's picture, only read
    std::unique_ptr<TPixelGraphic> Target;
    std::unique_ptr<TPixelGraphic> Intermediate;
    int Stage = 1;
    int LastPercent = 0;
    uint32_t LastTick = 0;
    bool PostMessages = false;
    std::function<void(std::unique_ptr<TPixelGraphic>)> OnReady; // inline mode

protected:
    void Execute() override;

private:
    void Build();
    void Deliver(std::unique_ptr<TPixelGraphic> Picture);
    std::atomic<bool> FPosted{false};
};
