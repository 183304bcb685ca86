// The message store of the codec boundary.
#include "image-library/formats/CodecBoundary.h"

#include "image-library/PGLangStr.h"

void SetCodecFailure(TCodecFailure& Failure, const QString& Message) noexcept {
    Failure.Message = Message; // shares the text, allocates nothing
}

void SetCodecFailure(TCodecFailure& Failure, const char* Message) noexcept {
    try {
        Failure.Message = QString::fromUtf8(Message);
    } catch (...) {
        Failure.Message.clear(); // out of memory: the step still fails, only without its text
    }
}

void SetUserAbort(TCodecFailure& Failure) {
    SetCodecFailure(Failure, PGLangStr(29));
    Failure.UserAbort = true;
}
