// The one error box of both programs and the last stop for exceptions that reach an event handler, from
// which no exception may escape into Qt.
#pragma once

#include <QString>

// Shows Text with caption "Ошибка" and the error icon. With Terminate the program ends after the box: inside
// the event loop with exit code 1; before the loop is running StartupFailed() turns true for main to check.
void ShowError(const QString& Text, bool Terminate);
bool StartupFailed();

// Call inside a catch block: shows the exception being handled through ShowError, without ending.
void HandleException();
// The same for paint handlers, which must not open a box: the box comes after the current event.
void HandleExceptionQueued();

// Runs Action and hands any exception to HandleException (or, with Queued, HandleExceptionQueued).
template <class F> void CallGuarded(F&& Action, bool Queued = false) noexcept {
    try {
        Action();
    } catch (...) {
        Queued ? HandleExceptionQueued() : HandleException();
    }
}
