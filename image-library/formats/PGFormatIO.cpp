// Buffered reading, checked stream operations and the progress bracket of the simple picture formats.
#include "image-library/formats/PGFormatIO.h"

#include "framework/StreamIO.h"
#include "image-library/PGraphic.h"

#include <algorithm>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

namespace {

void SwapRedBluePlain(const uint8_t* In, uint8_t* Out, int64_t From, int64_t Bytes) {
    for (int64_t i = From; i < Bytes; i += 3) {
        const uint8_t first = In[i];
        Out[i] = In[i + 2];
        Out[i + 1] = In[i + 1];
        Out[i + 2] = first;
    }
}

#if defined(__x86_64__)
// 16 pixels a step through byte shuffles, which the x86-64 baseline lacks: the processor is asked once
// whether it has them. Each 16-byte part of the output takes its bytes from the parts of the input they
// lie in, one shuffle each, a mask byte of -1 leaving the place to the other parts. All three parts are
// read before any is written, so In may be Out.
__attribute__((target("ssse3"))) void SwapRedBlueShuffled(const uint8_t* In, uint8_t* Out, int64_t Bytes) {
    __m128i masks[3][3];
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 3; ++j) {
            alignas(16) int8_t m[16];
            for (int t = 0; t < 16; ++t) {
                const int n = 16 * k + t, from = n - n % 3 + 2 - n % 3;
                m[t] = from / 16 == j ? int8_t(from % 16) : int8_t(-1);
            }
            masks[k][j] = _mm_load_si128(reinterpret_cast<const __m128i*>(m));
        }
    int64_t i = 0;
    for (; i + 48 <= Bytes; i += 48) {
        const __m128i parts[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(In + i)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(In + i + 16)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(In + i + 32))};
        const __m128i out0 =
            _mm_or_si128(_mm_shuffle_epi8(parts[0], masks[0][0]), _mm_shuffle_epi8(parts[1], masks[0][1]));
        const __m128i out1 = _mm_or_si128(
            _mm_or_si128(_mm_shuffle_epi8(parts[0], masks[1][0]), _mm_shuffle_epi8(parts[1], masks[1][1])),
            _mm_shuffle_epi8(parts[2], masks[1][2]));
        const __m128i out2 =
            _mm_or_si128(_mm_shuffle_epi8(parts[1], masks[2][1]), _mm_shuffle_epi8(parts[2], masks[2][2]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + i), out0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + i + 16), out1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + i + 32), out2);
    }
    SwapRedBluePlain(In, Out, i, Bytes);
}

// 16 pixels a step: each 16-byte part of the output takes its bytes from the three planes through one
// shuffle each, a mask byte of -1 leaving the place to the other planes.
__attribute__((target("ssse3"))) void InterleaveShuffled(const uint8_t* Red, const uint8_t* Green,
                                                         const uint8_t* Blue, uint8_t* Out, int64_t Pixels) {
    // Output byte j of part k is plane (j + 16k) mod 3 (blue, green, red) at pixel (j + 16k) div 3.
    __m128i masks[3][3];
    for (int k = 0; k < 3; ++k)
        for (int plane = 0; plane < 3; ++plane) {
            alignas(16) int8_t m[16];
            for (int j = 0; j < 16; ++j)
                m[j] = (j + 16 * k) % 3 == plane ? int8_t((j + 16 * k) / 3) : int8_t(-1);
            masks[k][plane] = _mm_load_si128(reinterpret_cast<const __m128i*>(m));
        }
    int64_t x = 0;
    for (; x + 16 <= Pixels; x += 16) {
        const __m128i planes[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(Blue + x)),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(Green + x)),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(Red + x))};
        for (int k = 0; k < 3; ++k)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + 3 * x + 16 * k),
                             _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(planes[0], masks[k][0]),
                                                       _mm_shuffle_epi8(planes[1], masks[k][1])),
                                          _mm_shuffle_epi8(planes[2], masks[k][2])));
    }
    for (; x < Pixels; ++x) {
        Out[3 * x] = Blue[x];
        Out[3 * x + 1] = Green[x];
        Out[3 * x + 2] = Red[x];
    }
}

const bool HasByteShuffle = __builtin_cpu_supports("ssse3");
#endif

} // namespace

void CopySwappingRedBlue(const uint8_t* In, uint8_t* Out, int64_t Pixels) {
#if defined(__x86_64__)
    if (HasByteShuffle)
        return SwapRedBlueShuffled(In, Out, 3 * Pixels);
#endif
    SwapRedBluePlain(In, Out, 0, 3 * Pixels);
}

void CopyPlanesToBGR(const uint8_t* Red, const uint8_t* Green, const uint8_t* Blue, uint8_t* Out,
                     int64_t Pixels) {
#if defined(__x86_64__)
    if (HasByteShuffle)
        return InterleaveShuffled(Red, Green, Blue, Out, Pixels);
#endif
    for (int64_t x = 0; x < Pixels; ++x) {
        Out[3 * x] = Blue[x];
        Out[3 * x + 1] = Green[x];
        Out[3 * x + 2] = Red[x];
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
