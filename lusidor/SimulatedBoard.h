// The frame-grabber board in software: it answers the driver's port protocol as the card does, so tests,
// benchmarks and a machine without the card can run the acquisition, and it logs every protocol breach.
//
// The camera looks at a fixed scene. Light levels at the reference exposure (one frame period, 40 ms) with
// the gain control off, for column x and row y of a frame (row 0 is read first, column 511 is the last
// read of a row and falls into the picture's row padding):
//   background   6 + (x + y) mod 4
//   five discs of uniform level, each the pixels with (x - cx)^2 + (y - cy)^2 <= r^2:
//       cx   cy   r   level   pixels      sum
//      128   96  40    200     5025   1005000
//      384  160  20    120     1257    150840
//      160  352  30     60     2821    169260
//      400  380  10    240      317     76080
//      300  250   5     12       81       972
//   a 6 x 6 marker of level 250 in rows 480-485, its left column 16 + 24 * (n mod 20) in the n-th
//   captured frame (n from 0), so that it moves between frames.
// A captured pixel is min(255, level * gain * exposure / 40 ms) rounded down, with gain 2 while the
// control byte has automatic gain control on and 1 while off, and is read out through the lookup table.
// The exposure is 40 ms, except for the two captures after an accumulation ends (the strobe that ends it
// and the grab that reads it): they get the accumulation's length, from the control byte that set the
// accumulate bit to the one that cleared it. Gamma correction is not modelled.
//
// The sync bit is a 40 ms square wave (high for the first 20 ms of each period) once the logic is
// configured; an unconfigured board floats every read to 0xFF, so its sync never moves.
#pragma once

#include "framework/PortAccess.h"
#include "framework/TickCount.h"

#include <QByteArray>
#include <QStringList>
#include <array>
#include <functional>
#include <vector>

enum class SyncSignal { SquareWave, StuckHigh, StuckLow };

class SimulatedBoard : public PortAccess {
public:
    // `clock` gives the milliseconds the board lives by; tests pass one that reads their fake clock
    // without advancing it.
    explicit SimulatedBoard(uint16_t base, std::function<uint32_t()> clock = GetTickCount);

    uint8_t In(uint16_t port) override;
    void Out(uint16_t port, uint8_t value) override;

    void SetSync(SyncSignal signal) { Sync = signal; }
    bool IsConfigured() const { return Configured; }
    uint8_t LastControlByte() const { return ControlByte; }
    int CapturedFrames() const { return Captures; }
    const QStringList& Violations() const { return Log; }

private:
    uint64_t Now();
    void Violation(uint16_t port, const QString& what);
    void Reset();
    void TakeConfigurationBit(uint16_t port, uint8_t value);
    void TakeSerialLevel(uint8_t value);
    void ApplyControlByte(uint8_t byte);
    void TakeStartFrame(uint16_t port, uint8_t value);
    void TakeRowAdvance(uint16_t port);
    void Capture();
    uint8_t ReadPixel(uint16_t port);

    uint16_t Base;
    std::function<uint32_t()> Clock;
    uint32_t LastTick;
    uint64_t Elapsed; // the clock's milliseconds with its 32-bit wraps undone
    SyncSignal Sync = SyncSignal::SquareWave;
    QStringList Log;
    QByteArray Expected; // the bitstream the logic accepts
    std::vector<uint8_t> Scene;

    // Reset and configuration.
    bool ResetAsserted = false;
    bool AwaitingConfiguration = false;
    bool Configured = false;
    uint64_t ResetHighTime = 0;
    uint64_t ResetLowTime = 0;
    int ConfigBits = 0;
    bool TrailerIntact = true;
    QByteArray Rebuilt;

    // Registers behind LutAddress.
    bool AddressSelected = false;
    int LutIndex = 0;
    std::array<uint8_t, 256> Lut{};

    // Camera control byte.
    uint8_t SerialLevel = 0;
    uint8_t Shift = 0;
    int ShiftedBits = 0;
    uint8_t ControlByte = 0;
    bool Accumulating = false;
    uint64_t AccumulationStart = 0;
    uint64_t HeldExposure = 0;
    int HeldCaptures = 0;

    // Capture and read-out.
    bool Armed = false;
    uint64_t ArmTime = 0;
    int Captures = 0;
    std::vector<uint8_t> Frame;
    bool Reading = false;
    int Row = 0;
    int Col = 0;
};
