// The frame-grabber board driver: the port map taken from one base port, the board start-up with its
// logic configuration, the serial camera control byte, frame synchronisation, capture and read-out.
// Everything runs on the GUI thread and busy-waits on the tick count; nothing here shows a window.
#pragma once

#include "framework/Exception.h"
#include "framework/PortAccess.h"

#include <QFile>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class TPixelGraphic;

LAB_DECLARE_EXCEPTION(EBoardError, Exception);

// Offsets of the board's ports from its base port; every access is one byte.
namespace BoardPort {
constexpr uint16_t PixelData = 0x00;       // in: one pixel per read during read-out
constexpr uint16_t Status = 0x01;          // in: bit 1 is the frame sync signal
constexpr uint16_t ReadStart = 0x02;       // out: 0 before a frame is read out
constexpr uint16_t RowAdvance = 0x03;      // out: 0 after each row of 512 pixels
constexpr uint16_t StartFrame = 0x04;      // out: 1 arms the capture of the next frame, then 0
constexpr uint16_t SerialControl = 0x06;   // out: camera control byte, bit 0 data, bit 1 clock
constexpr uint16_t LutAddress = 0x10;      // out: register address for the next two ports
constexpr uint16_t LutData = 0x11;         // out: successive lookup-table entries from address 0
constexpr uint16_t ControlRegister = 0x12; // out: the board's control register
constexpr uint16_t ResetLow = 0x18;        // out: second reset step
constexpr uint16_t ResetHigh = 0x1A;       // out: first reset step
constexpr uint16_t ConfigData = 0x1C;      // out: one configuration bit per write, in bit 0
} // namespace BoardPort

constexpr uint8_t SyncMask = 0x02;
constexpr uint8_t ControlRegisterValue = 0x5C;
constexpr int FrameSize = 512;  // rows read per frame, and reads per row
constexpr int VideoWidth = 511; // the video picture; the 512th read of a row falls into its padding
constexpr int VideoHeight = 512;
constexpr uint32_t SyncTimeoutMs = 40;

// The logic configuration: resource "SPE_1" of type "SPE", exactly this long.
constexpr qint64 BitstreamSize = 3854;
inline const QString BitstreamResource = QStringLiteral(":/SPE/SPE_1");

struct TBoardPortMap {
    uint16_t PixelData = 0;
    uint16_t Status = 0;
    uint16_t ReadStart = 0;
    uint16_t RowAdvance = 0;
    uint16_t StartFrame = 0;
    uint16_t SerialControl = 0;
    uint16_t LutAddress = 0;
    uint16_t LutData = 0;
    uint16_t ControlRegister = 0;
    uint16_t ResetLow = 0;
    uint16_t ResetHigh = 0;
    uint16_t ConfigData = 0;
};

// The camera settings that InitBoard reads, the camera window changes and the program writes back at exit.
struct TCameraSettings {
    uint8_t aru = 1;      // automatic gain control on
    uint8_t gamma = 1;    // 1 = gamma correction off
    int32_t addframe = 1; // 1 = accumulation mode, 0 = normal mode
    double nframe = 1.0;  // accumulation seconds, 0.5..600
    double zoom = 1.0;    // zoom factor of the video window, finite and above 0
};

extern uint16_t BasePort;
extern TBoardPortMap PortMap;
extern TCameraSettings CameraSettings;

// Where the driver's error messages go: the program's error box, which ends the program when `terminate`
// is set. Until the program installs one, messages go to standard error.
using TBoardErrorHandler = std::function<void(const QString& text, bool terminate)>;
TBoardErrorHandler SetBoardErrorHandler(TBoardErrorHandler handler);

// Installs the ports the driver talks to and returns the previous ones. While none are installed the
// driver sees an empty bus, and InitBoard opens the ones LUSIDOR_BOARD names.
std::unique_ptr<PortAccess> SetBoardPorts(std::unique_ptr<PortAccess> ports);

void PortOut(uint16_t port, uint8_t value);
uint8_t PortIn(uint16_t port);

// Busy-waits until the tick count has moved on by more than `ms`.
void DelayMs(uint16_t ms);

// Sets BasePort and PortMap when `basePortText` is exactly "300" or "320"; otherwise leaves them and
// returns false.
bool SetUpPortMap(const QString& basePortText);

// The configuration resource, checked for its size; raises EBoardError when it is missing or wrong.
std::unique_ptr<QFile> OpenConfigurationStream(const QString& path = BitstreamResource);

void LoadConfiguration(QIODevice& stream);
void LoadIdentityLut();
void WriteControlRegister();
void SendControlByte(uint8_t accumulate, uint8_t b, uint8_t agc, uint8_t gammaOff, uint8_t mode);
bool WaitFrameSync();
bool GrabFrame();

// Reset, logic configuration, lookup table, control register and the first control byte, on the ports
// of PortMap. Raises EBoardError, before any port is written, when the configuration resource is bad.
void ConfigureBoard();

// Reads the board keys of the settings file at `settingsPath` and configures the board.
void InitBoard(const QString& settingsPath);

// Reads one frame into `picture`, first row read at the top. Refuses, touching no port, unless the
// picture is the video picture: 8 bits per pixel, 511 x 512, rows 512 bytes apart.
bool ReadFrame(TPixelGraphic* picture);
