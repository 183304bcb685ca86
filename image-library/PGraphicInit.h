// Start-up and shutdown of the image library: what must exist before any picture is made, and its release.
#pragma once

// Nested calls: only the first PGraphicInit starts the library, and only the PGraphicDone that matches it
// stops the library. A PGraphicDone without a start does nothing, so it cannot keep the next start from
// running. A start-up that raises leaves the library stopped, ready for another try.
void PGraphicInit();
void PGraphicDone();

// The steps themselves. PGraphicInitialization undoes what it built before it lets an exception pass.
void PGraphicInitialization();
void PGraphicFinalization();

// Starts the library for its lifetime. Programs declare it right after their QApplication, so shutdown
// releases the cursors while the application still exists.
class TPGraphicScope {
public:
    TPGraphicScope() { PGraphicInit(); }
    ~TPGraphicScope() { PGraphicDone(); }
    TPGraphicScope(const TPGraphicScope&) = delete;
    TPGraphicScope& operator=(const TPGraphicScope&) = delete;
};
