// Buffered reading, checked stream operations and the progress bracket of the simple picture formats.
#include "image-library/formats/PGFormatIO.h"

#include "framework/StreamIO.h"
#include "image-library/PGraphic.h"

#include <algorithm>
#include <cstring>

bool TBufferedInput::Fill() {
    const qint64 got = Stream.read(reinterpret_cast<char*>(Buffer.data()), qint64(Buffer.size()));
    Next = 0;
    Filled = got > 0 ? int(got) : 0;
    return Filled > 0;
}

void TBufferedInput::Read(uint8_t* Target, int64_t Count) {
    const int64_t buffered = std::min<int64_t>(Count, Filled - Next);
    if (buffered > 0) {
        std::memcpy(Target, Buffer.data() + Next, size_t(buffered));
        Next += int(buffered);
        Target += buffered;
        Count -= buffered;
    }
    if (Count > 0)
        ReadOrRaise(Stream, Target, Count, RaiseEnd);
}

int64_t TBufferedInput::Remaining() const {
    const int64_t rest = RemainingBytes(Stream);
    return rest == UnknownRemaining ? rest : rest + (Filled - Next);
}

int64_t RemainingBytes(const QIODevice& Stream) {
    if (Stream.isSequential())
        return UnknownRemaining;
    return std::max<int64_t>(0, Stream.size() - Stream.pos());
}

void ReadOrRaise(QIODevice& Stream, void* Buffer, int64_t Count, TRaiseEndOfFile RaiseEndOfFile) {
    if (!ReadExact(Stream, Buffer, Count))
        RaiseEndOfFile();
}

void SkipOrRaise(QIODevice& Stream, int64_t Count, TRaiseEndOfFile RaiseEndOfFile) {
    if (Count <= 0)
        return;
    if (!Stream.isSequential()) {
        // A seek past the end would succeed on a file and leave the failure to the next read.
        if (Count > RemainingBytes(Stream) || !Stream.seek(Stream.pos() + Count))
            RaiseEndOfFile();
        return;
    }
    if (Stream.skip(Count) != Count)
        RaiseEndOfFile();
}

void WriteOrRaise(QIODevice& Stream, const void* Buffer, int64_t Count, TRaiseWriteFailed RaiseWriteFailed) {
    if (!WriteExact(Stream, Buffer, Count))
        RaiseWriteFailed();
}

// The loop vectorizes only with byte shuffles, which the x86-64 baseline lacks: GCC makes a second copy for
// AVX2 processors, chosen at load time (clang would need the attribute on every declaration). Not under
// ThreadSanitizer: the instrumented chooser runs before the sanitizer's runtime is up and crashes.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("default", "avx2")))
#endif
void CopySwappingRedBlue(const uint8_t* In, uint8_t* Out, int64_t Pixels) {
    for (int64_t i = 0; i < 3 * Pixels; i += 3) {
        Out[i] = In[i + 2];
        Out[i + 1] = In[i + 1];
        Out[i + 2] = In[i];
    }
}

TProgressBracket::TProgressBracket(TPixelGraphic& Picture, TObject* Sender)
    : Picture(Picture), Sender(Sender) {
    if (Picture.GetOnProgressStart())
        Picture.GetOnProgressStart()(Sender);
}

TProgressBracket::~TProgressBracket() {
    if (Ended)
        return;
    // Already unwinding: the exception that ended the work is the one to report.
    try {
        End();
    } catch (...) {
    }
}

bool TProgressBracket::Step(int Step, int Max) {
    bool abort = false;
    if (Picture.GetOnProgress())
        Picture.GetOnProgress()(Sender, Step, Max, abort);
    return abort;
}

void TProgressBracket::End() {
    Ended = true;
    if (Picture.GetOnProgressEnd())
        Picture.GetOnProgressEnd()(Sender);
}
