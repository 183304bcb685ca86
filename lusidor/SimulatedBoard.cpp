// The simulated frame-grabber board: the protocol's state machine and the synthetic scene.
#include "lusidor/SimulatedBoard.h"

#include "lusidor/vs_drv.h"

#include <algorithm>

namespace {

constexpr uint64_t FramePeriodMs = 40;
constexpr int ConfigurationBits = int(BitstreamSize) * 8;
constexpr int TrailerBits = 8;
constexpr int MarkerSize = 6;
constexpr int MarkerTop = 480;
constexpr uint8_t MarkerLevel = 250;
// The card needs its reset held 1 ms and 2 ms of rest after it. A millisecond count has surely seen a
// whole millisecond pass only once it has moved on by two.
constexpr uint64_t ResetPulseTicks = 2;
constexpr uint64_t ResetRecoveryTicks = 3;

struct TDisc {
    int Cx, Cy, R;
    uint8_t Level;
};
constexpr TDisc Discs[] = {
    {128, 96, 40, 200}, {384, 160, 20, 120}, {160, 352, 30, 60}, {400, 380, 10, 240}, {300, 250, 5, 12},
};

std::vector<uint8_t> MakeScene() {
    std::vector<uint8_t> scene(size_t(FrameSize) * FrameSize);
    for (int y = 0; y < FrameSize; ++y)
        for (int x = 0; x < FrameSize; ++x)
            scene[size_t(y) * FrameSize + x] = uint8_t(6 + (x + y) % 4);
    for (const TDisc& d : Discs)
        for (int y = d.Cy - d.R; y <= d.Cy + d.R; ++y)
            for (int x = d.Cx - d.R; x <= d.Cx + d.R; ++x)
                if ((x - d.Cx) * (x - d.Cx) + (y - d.Cy) * (y - d.Cy) <= d.R * d.R)
                    scene[size_t(y) * FrameSize + x] = d.Level;
    return scene;
}

bool IsOutput(int offset) {
    using namespace BoardPort;
    for (const uint16_t output : {ReadStart, RowAdvance, StartFrame, SerialControl, LutAddress, LutData,
                                  ControlRegister, ResetLow, ResetHigh, ConfigData})
        if (offset == output)
            return true;
    return false;
}

// Rising edges of the square wave (at every multiple of the period) in the interval (from, to].
uint64_t RisingEdges(uint64_t from, uint64_t to) {
    return to / FramePeriodMs - from / FramePeriodMs;
}

} // namespace

SimulatedBoard::SimulatedBoard(uint16_t base, std::function<uint32_t()> clock)
    : Base(base), Clock(std::move(clock)), LastTick(Clock()), Elapsed(LastTick),
      Expected(OpenConfigurationStream()->readAll()), Scene(MakeScene()), Rebuilt(int(BitstreamSize), 0),
      Frame(Scene.size()) {}

uint64_t SimulatedBoard::Now() {
    const uint32_t tick = Clock();
    Elapsed += uint32_t(tick - LastTick);
    LastTick = tick;
    return Elapsed;
}

void SimulatedBoard::Violation(uint16_t port, const QString& what) {
    Log << QString("0x%1: %2").arg(port, 3, 16, QChar(u'0')).arg(what);
}

uint8_t SimulatedBoard::In(uint16_t port) {
    const int offset = port - Base;
    if (offset == BoardPort::Status) {
        if (!Configured || Sync == SyncSignal::StuckHigh)
            return 0xFF;
        if (Sync == SyncSignal::StuckLow)
            return 0;
        return Now() % FramePeriodMs < FramePeriodMs / 2 ? SyncMask : 0;
    }
    if (offset == BoardPort::PixelData)
        return ReadPixel(port);
    Violation(port, IsOutput(offset) ? "read from a port that is only written"
                                     : "read from a port the board does not have");
    return 0xFF;
}

uint8_t SimulatedBoard::ReadPixel(uint16_t port) {
    if (!Configured)
        return 0xFF;
    if (!Reading) {
        Violation(port, "pixel read outside a read-out (no ReadStart, or all 512 rows done)");
        return 0xFF;
    }
    if (Col == FrameSize) {
        Violation(port, QString("more than 512 reads in row %1").arg(Row));
        return 0xFF;
    }
    return Lut[Frame[size_t(Row) * FrameSize + Col++]];
}

void SimulatedBoard::Out(uint16_t port, uint8_t value) {
    const int offset = port - Base;
    using namespace BoardPort;
    if (offset == PixelData || offset == Status) {
        Violation(port, "write to a port that is only read");
        return;
    }
    if (!IsOutput(offset)) {
        Violation(port, "write to a port the board does not have");
        return;
    }
    // The strobes and the register address carry no data: anything but 0 on them is a driver fault.
    const bool strobe = offset == ReadStart || offset == RowAdvance || offset == ResetLow ||
                        offset == ResetHigh || offset == LutAddress;
    if (strobe && value != 0)
        Violation(port, QString("value 0x%1 where only 0 is written").arg(value, 2, 16, QChar(u'0')));
    switch (offset) {
    case ResetHigh:
        Reset();
        ResetAsserted = true;
        ResetHighTime = Now();
        return;
    case ResetLow:
        if (!ResetAsserted)
            Violation(port, "second reset step without the first");
        else if (Now() - ResetHighTime < ResetPulseTicks)
            Violation(port, "reset held for less than 1 ms");
        ResetAsserted = false;
        AwaitingConfiguration = true;
        ResetLowTime = Now();
        return;
    case ConfigData:
        TakeConfigurationBit(port, value);
        return;
    }
    if (!Configured)
        return; // without its logic the board ignores everything but reset and configuration
    switch (offset) {
    case ReadStart:
        Reading = true;
        Row = 0;
        Col = 0;
        return;
    case RowAdvance:
        TakeRowAdvance(port);
        return;
    case StartFrame:
        TakeStartFrame(port, value);
        return;
    case SerialControl:
        TakeSerialLevel(value);
        return;
    case LutAddress:
        AddressSelected = true;
        LutIndex = 0;
        return;
    case LutData:
        if (!AddressSelected)
            Violation(port, "lookup-table entry without an address");
        else if (LutIndex == int(Lut.size()))
            Violation(port, "more than 256 lookup-table entries");
        else
            Lut[size_t(LutIndex++)] = value;
        return;
    default: // ControlRegister
        if (!AddressSelected)
            Violation(port, "control register written without an address");
        else if (value != ControlRegisterValue)
            Violation(port, QString("control register 0x%1, not 0x5c").arg(value, 2, 16, QChar(u'0')));
        return;
    }
}

void SimulatedBoard::Reset() {
    Configured = false;
    AwaitingConfiguration = false;
    ConfigBits = 0;
    TrailerIntact = true;
    Rebuilt.fill(0);
    AddressSelected = false;
    LutIndex = 0;
    Lut.fill(0);
    SerialLevel = 0;
    Shift = 0;
    ShiftedBits = 0;
    Accumulating = false;
    HeldCaptures = 0;
    Armed = false;
    Reading = false;
}

void SimulatedBoard::TakeConfigurationBit(uint16_t port, uint8_t value) {
    if (!AwaitingConfiguration) {
        Violation(port, "configuration bit without a reset before it, or after the trailer");
        return;
    }
    if (ConfigBits == 0 && Now() - ResetLowTime < ResetRecoveryTicks)
        Violation(port, "configuration begun less than 2 ms after the reset");
    const int bit = value & 1;
    if (ConfigBits < ConfigurationBits)
        Rebuilt[ConfigBits / 8] = char(uint8_t(Rebuilt[ConfigBits / 8]) | bit << (ConfigBits % 8));
    else
        TrailerIntact = TrailerIntact && bit;
    if (++ConfigBits == ConfigurationBits + TrailerBits) {
        AwaitingConfiguration = false;
        Configured = TrailerIntact && Rebuilt == Expected;
    }
}

void SimulatedBoard::TakeSerialLevel(uint8_t value) {
    // The camera samples the data bit on each rising edge of the clock bit, least significant bit first.
    if (!(SerialLevel & 0x02) && (value & 0x02)) {
        Shift = uint8_t(Shift | (value & 1) << ShiftedBits);
        if (++ShiftedBits == 8) {
            ApplyControlByte(Shift);
            Shift = 0;
            ShiftedBits = 0;
        }
    }
    SerialLevel = value;
}

void SimulatedBoard::ApplyControlByte(uint8_t byte) {
    ControlByte = byte;
    const bool accumulate = byte & 0x02;
    if (accumulate && !Accumulating)
        AccumulationStart = Now();
    if (!accumulate && Accumulating) {
        HeldExposure = Now() - AccumulationStart;
        HeldCaptures = 2;
    }
    Accumulating = accumulate;
}

void SimulatedBoard::TakeStartFrame(uint16_t port, uint8_t value) {
    if (value == 1) {
        if (!Armed)
            ArmTime = Now();
        Armed = true;
    } else if (value == 0) {
        if (Armed && RisingEdges(ArmTime, Now()) > 0)
            Capture();
        Armed = false;
    } else {
        Violation(port, QString("value 0x%1 where only 0 or 1 is written").arg(value, 2, 16, QChar(u'0')));
    }
}

void SimulatedBoard::TakeRowAdvance(uint16_t port) {
    if (!Reading) {
        Violation(port, "row advance outside a read-out");
        return;
    }
    if (Col != FrameSize)
        Violation(port, QString("row %1 advanced after %2 of its 512 reads").arg(Row).arg(Col));
    Col = 0;
    Reading = ++Row < FrameSize;
}

void SimulatedBoard::Capture() {
    uint64_t exposure = FramePeriodMs;
    if (HeldCaptures > 0) {
        exposure = HeldExposure;
        --HeldCaptures;
    }
    const uint64_t gain = (ControlByte & 0x08) ? 2 : 1;
    std::array<uint8_t, 256> brightness;
    for (size_t level = 0; level < brightness.size(); ++level)
        brightness[level] = uint8_t(std::min<uint64_t>(255, level * gain * exposure / FramePeriodMs));
    std::transform(Scene.begin(), Scene.end(), Frame.begin(),
                   [&](uint8_t level) { return brightness[level]; });
    const int markerLeft = 16 + 24 * (Captures % 20);
    for (int y = MarkerTop; y < MarkerTop + MarkerSize; ++y)
        std::fill_n(Frame.begin() + ptrdiff_t(y) * FrameSize + markerLeft, MarkerSize,
                    brightness[MarkerLevel]);
    ++Captures;
}
