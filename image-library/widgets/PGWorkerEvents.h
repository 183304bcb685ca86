// The events a picture worker posts to the window it works for: a finished picture, and progress. Both carry
// the id of the job that made them, so the receiver can drop what an earlier job sends after it moved on.
#pragma once

#include "image-library/PGraphic.h"

#include <QCoreApplication>
#include <QEvent>
#include <cstdint>
#include <memory>

#if defined(__SANITIZE_THREAD__)
#define PG_TSAN_ANNOTATIONS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define PG_TSAN_ANNOTATIONS 1
#endif
#endif
#ifdef PG_TSAN_ANNOTATIONS
#include <sanitizer/tsan_interface.h>
#endif

using TPGJobId = uint64_t;

// Qt's event queue orders a posted event before its delivery with locks of its own that ThreadSanitizer
// cannot see. PostWorkerEvent and WorkerEventReceived state that order for it; in other builds they are a
// plain postEvent and nothing. A receiver calls WorkerEventReceived first thing in its event(), before it
// reads anything of an event that may come from a worker (Qt's own reads are not watched); the events'
// destructors call it too, for events that Qt deletes undelivered with their receiver.
inline void PostWorkerEvent(QObject* Receiver, QEvent* Event) {
#ifdef PG_TSAN_ANNOTATIONS
    __tsan_release(Event);
#endif
    QCoreApplication::postEvent(Receiver, Event);
}

inline void WorkerEventReceived([[maybe_unused]] QEvent* Event) {
#ifdef PG_TSAN_ANNOTATIONS
    __tsan_acquire(Event);
#endif
}

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
