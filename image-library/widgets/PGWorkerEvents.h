// The events a picture worker posts to the window it works for: a finished picture, and progress. Both carry
// the id of the job that made them, so the receiver can drop what an earlier job sends after it moved on.
#pragma once

#include "framework/WorkerEvents.h"
#include "image-library/PGraphic.h"

#include <QCoreApplication>
#include <QEvent>
#include <cstdint>
#include <memory>

using TPGJobId = uint64_t;

// A finished picture. The event owns it until the receiver takes it; an event that is dropped, or deleted
// with its receiver, frees it. A null picture reports that the job failed.
class TPGPictureReadyEvent : public QEvent {
public:
    static QEvent::Type EventType() {
        static const auto type = QEvent::Type(QEvent::registerEventType());
        return type;
    }
    TPGPictureReadyEvent(TPGJobId Job, std::unique_ptr<TPixelGraphic> Picture)
        : QEvent(EventType()), Job(Job), Picture(std::move(Picture)) {}
    ~TPGPictureReadyEvent() override { WorkerEventReceived(this); }

    const TPGJobId Job;
    std::unique_ptr<TPixelGraphic> Picture;
};

// Progress of a job: Stage counts the job's steps from 1, Percent is 0 .. 100 within the stage.
class TPGJobProgressEvent : public QEvent {
public:
    static QEvent::Type EventType() {
        static const auto type = QEvent::Type(QEvent::registerEventType());
        return type;
    }
    TPGJobProgressEvent(TPGJobId Job, int Stage, int Percent)
        : QEvent(EventType()), Job(Job), Stage(Stage), Percent(Percent) {}

    const TPGJobId Job;
    const int Stage;
    const int Percent;
};
