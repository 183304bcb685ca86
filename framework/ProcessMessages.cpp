// Message processing for the loops that run on the GUI thread.
#include "framework/ProcessMessages.h"

#include "framework/TickCount.h"
#include "framework/Timer.h"

#include <QCoreApplication>

void ProcessMessages(TIdleWait Wait) {
    if (!TickSourceInstalled()) {
        QCoreApplication::processEvents(Wait == TIdleWait::UntilNextEvent
                                            ? QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents
                                            : QEventLoop::AllEvents);
        return;
    }
    QCoreApplication::processEvents();
    if (FireDueTestTimers() == 0 && Wait == TIdleWait::UntilNextEvent && WaitForNextTestTimer())
        FireDueTestTimers();
}
