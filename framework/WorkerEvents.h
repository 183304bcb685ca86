// Events that worker threads post to the GUI thread, stated to ThreadSanitizer. Qt's event queue orders a
// posted event before its delivery with locks of its own that the sanitizer cannot see.
#pragma once

#include <QCoreApplication>
#include <QEvent>

#if defined(__SANITIZE_THREAD__)
#define LAB_TSAN_ANNOTATIONS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define LAB_TSAN_ANNOTATIONS 1
#endif
#endif
#ifdef LAB_TSAN_ANNOTATIONS
#include <sanitizer/tsan_interface.h>
#endif

// PostWorkerEvent and WorkerEventReceived state the queue's order; in other builds they are a plain postEvent
// and nothing. Whatever reads an event that may come from a worker calls WorkerEventReceived first: a
// receiver's event(), and the application's event filters, which see every event before its receiver does
// (Qt's own reads are not watched). The events' destructors call it too, for events that Qt deletes
// undelivered with their receiver.
inline void PostWorkerEvent(QObject* Receiver, QEvent* Event) {
#ifdef LAB_TSAN_ANNOTATIONS
    __tsan_release(Event);
#endif
    QCoreApplication::postEvent(Receiver, Event);
}

inline void WorkerEventReceived([[maybe_unused]] QEvent* Event) {
#ifdef LAB_TSAN_ANNOTATIONS
    __tsan_acquire(Event);
#endif
}
