// Pieces the simple picture formats share: a byte reader over a 1024-byte buffer, checked skips and writes,
// the bytes a stream still holds, and the progress bracket every reader and writer fires.
#pragma once

#include <QIODevice>
#include <array>
#include <cstdint>
#include <limits>
#include <utility>

class TObject;
class TPixelGraphic;

// Raises the format's "Unexpected end of file"; never returns.
using TRaiseEndOfFile = void (*)();

// Reads a stream through a buffer of 1024 bytes; a refill that yields nothing raises the format's end of
// file.
class TBufferedInput {
public:
    TBufferedInput(QIODevice& Stream, TRaiseEndOfFile RaiseEndOfFile)
        : Stream(Stream), RaiseEnd(RaiseEndOfFile) {}

    uint8_t ReadByte() {
        if (Next == Filled && !Fill())
            RaiseEnd();
        return Buffer[Next++];
    }
    // Count bytes: the buffered ones first, then straight from the stream.
    void Read(uint8_t* Target, int64_t Count);
    // The buffered bytes not yet read, at least one: the buffer is refilled first when they are used up,
    // which raises the end of file when nothing comes. Decoders read them in place and hand back, through
    // Advance, where they stopped.
    std::pair<const uint8_t*, const uint8_t*> Window() {
        if (Next == Filled && !Fill())
            RaiseEnd();
        return {Buffer.data() + Next, Buffer.data() + Filled};
    }
    void Advance(const uint8_t* To) { Next = int(To - Buffer.data()); }
    // Whether no byte can come any more; nothing is consumed.
    bool AtEnd() { return Next == Filled && !Fill(); }
    // The bytes still to come, buffered ones included; unknown (the largest value) on a sequential device.
    int64_t Remaining() const;

private:
    // Refills the used-up buffer; false when the stream yields nothing more.
    bool Fill();

    QIODevice& Stream;
    TRaiseEndOfFile RaiseEnd;
    std::array<uint8_t, 1024> Buffer;
    int Next = 0;
    int Filled = 0;
};

// The bytes after the stream's position; the largest value when a sequential device cannot tell.
int64_t RemainingBytes(const QIODevice& Stream);
constexpr int64_t UnknownRemaining = std::numeric_limits<int64_t>::max();

// Exact read, skip and write that raise through RaiseEndOfFile or a write error of the caller's format.
void ReadOrRaise(QIODevice& Stream, void* Buffer, int64_t Count, TRaiseEndOfFile RaiseEndOfFile);
void SkipOrRaise(QIODevice& Stream, int64_t Count, TRaiseEndOfFile RaiseEndOfFile);
using TRaiseWriteFailed = void (*)();
void WriteOrRaise(QIODevice& Stream, const void* Buffer, int64_t Count, TRaiseWriteFailed RaiseWriteFailed);

// Copies Pixels three-byte pixels, exchanging the first and the third byte of each: red, green, blue to
// blue, green, red and back. In may be Out.
void CopySwappingRedBlue(const uint8_t* In, uint8_t* Out, int64_t Pixels);
// Pixels three-byte pixels blue, green, red from three planes of one byte per pixel.
void CopyPlanesToBGR(const uint8_t* Red, const uint8_t* Green, const uint8_t* Blue, uint8_t* Out,
                     int64_t Pixels);

// OnProgressStart at construction, OnProgress per step, and OnProgressEnd exactly once: through End on the
// normal path, from the destructor when an exception leaves the work.
class TProgressBracket {
public:
    TProgressBracket(TPixelGraphic& Picture, TObject* Sender);
    ~TProgressBracket();
    TProgressBracket(const TProgressBracket&) = delete;
    TProgressBracket& operator=(const TProgressBracket&) = delete;

    // True when the handler asks to stop.
    bool Step(int Step, int Max);
    void End();

private:
    TPixelGraphic& Picture;
    TObject* Sender;
    bool Ended = false;
};

// OnProgressStart, Work (which reports its steps through the bracket it is given), and OnProgressEnd on every
// path out of Work.
template <class F> void WithProgressBracket(TPixelGraphic& Picture, TObject* Sender, F&& Work) {
    TProgressBracket bracket(Picture, Sender);
    std::forward<F>(Work)(bracket);
    bracket.End();
}
