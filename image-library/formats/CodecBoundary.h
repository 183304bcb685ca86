// The boundary between the library and the C codec libraries (libjpeg, libpng): how a codec error leaves a
// codec call, and the bracket of progress events that the codec formats put around their rows.
#pragma once

#include "framework/Exception.h"
#include "framework/Object.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGraphic.h"

#include <QString>
#include <csetjmp>
#include <exception>
#include <utility>

// A codec error leaves the codec by longjmp, never by a C++ exception: the codecs are C, and unwinding
// through their frames is not something their builds promise. The rule that makes longjmp sound is that no
// frame it skips holds an object with a destructor. So:
//  - each codec call runs in CodecStep, whose frame and whose Call frame hold nothing but references;
//  - hooks and callbacks the codec calls never throw: they do their C++ work in a function that catches
//    everything and has returned before they jump (CatchInHook), store the message in a TCodecFailure that
//    lives in the caller's frame, and then longjmp to the step's jump buffer;
//  - after a failed step the caller, an ordinary C++ frame, raises the format's exception, and a guard there
//    destroys the codec record on every path, also when our own code between steps throws.
struct TCodecFailure {
    QString Message;
    bool UserAbort = false; // the user cancelled at a warning
};

// Raises E, or E marked as the user's abort, with Prefix and the failure's message.
template <class E> [[noreturn]] void RaiseCodecFailure(const TCodecFailure& Failure, const QString& Prefix) {
    if (Failure.UserAbort)
        throw TUserAborted<E>(Prefix + Failure.Message);
    throw E(Prefix + Failure.Message);
}

// Runs Call, which makes one codec call, with Jump as the place a failing hook returns to. False: a hook
// ended the call and stored the reason in the call's TCodecFailure.
template <class TCall> [[nodiscard]] bool CodecStep(std::jmp_buf& Jump, TCall&& Call) noexcept {
    if (setjmp(Jump) != 0)
        return false;
    std::forward<TCall>(Call)();
    return true;
}

// Stores Message for the step that is about to be ended; never throws.
void SetCodecFailure(TCodecFailure& Failure, const QString& Message) noexcept;
void SetCodecFailure(TCodecFailure& Failure, const char* Message) noexcept;

// Stores the user's Cancel at a codec warning as the reason the step ends.
void SetUserAbort(TCodecFailure& Failure);

// Runs Work, C++ code inside a hook. An exception from it is caught and its message stored; false then, and
// the hook jumps once this has returned.
template <class TWork> [[nodiscard]] bool CatchInHook(TCodecFailure& Failure, TWork&& Work) noexcept {
    try {
        return std::forward<TWork>(Work)();
    } catch (const Exception& e) {
        SetCodecFailure(Failure, e.message());
    } catch (const std::exception& e) {
        SetCodecFailure(Failure, e.what());
    } catch (...) {
        SetCodecFailure(Failure, "Unknown error");
    }
    return false;
}

