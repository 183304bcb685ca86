// Test support: a window stand-in that keeps what a background worker posts to it.
#pragma once

#include "image-library/PGraphic.h"
#include "image-library/widgets/PGWorkerEvents.h"

#include <QEvent>
#include <QObject>
#include <memory>
#include <vector>

// Takes the posted picture, as a dialog's panel does, and records the posted progress percentages.
class TWorkerReceiver : public QObject {
public:
    bool event(QEvent* E) override {
        WorkerEventReceived(E);
        if (E->type() == TPGPictureReadyEvent::EventType()) {
            Picture = std::move(static_cast<TPGPictureReadyEvent*>(E)->Picture);
            return true;
        }
        if (E->type() == TPGJobProgressEvent::EventType()) {
            Progress.push_back(static_cast<TPGJobProgressEvent*>(E)->Percent);
            return true;
        }
        return QObject::event(E);
    }
    std::unique_ptr<TPixelGraphic> Picture;
    std::vector<int> Progress;
};
