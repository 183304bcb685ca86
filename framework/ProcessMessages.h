// ProcessMessages: how a long operation on the GUI thread lets window messages through, so that the user
// can stop it and its timers keep running.
#pragma once

// What to do when no message is pending.
enum class TIdleWait {
    Never,         // return at once: the caller has work of its own
    UntilNextEvent // sleep until something arrives; on a test clock, let that clock run to the next timer
};

// Delivers the pending window messages. While a test clock is installed (TickSourceInstalled) it also fires
// the timers whose time the tick count has passed, and never sleeps in real time.
void ProcessMessages(TIdleWait Wait = TIdleWait::Never);
