// The frame-grabber board driver. The order and number of port accesses are the board's protocol: the
// configuration bits and the control byte have no clock of their own but the writes that carry them.
#include "lusidor/vs_drv.h"

#include "framework/IniFiles.h"
#include "framework/NumberText.h"
#include "framework/TickCount.h"
#include "image-library/PGraphic.h"
#include "lusidor/BoardPorts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

uint16_t BasePort = 0;
TBoardPortMap PortMap;
TCameraSettings CameraSettings;

namespace {

std::unique_ptr<PortAccess> Ports;
TBoardErrorHandler ErrorHandler;

const QString BasePortError =
    QStringLiteral("Ошибка в файле \"Lusidor.ini\".\rЗначение \"BasePort\" должно быть 300 или 320.");
const QString NframeError =
    QStringLiteral("Ошибка в файле \"Lusidor.ini\".\rЗначение \"Nframe\", символ номер ");
const QString ZoomError = QStringLiteral("Ошибка в файле \"Lusidor.ini\".\rЗначение \"zoom\", символ номер ");

void ReportError(const QString& text, bool terminate) {
    if (ErrorHandler) {
        ErrorHandler(text, terminate);
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(QString(text).replace(u'\r', u'\n')));
}

// A real key of [Videocamera]; a bad one is reported with the position of its first bad character and
// read as 1.0. A zoom must also be finite and above 0: one that is not is refused as a whole, at position 1.
double ReadRealSetting(const TIniFile& ini, const QString& key, const QString& message, bool mustBePositive) {
    double value = 1.0;
    int position = 1;
    const bool parsed = ParseReal(ini.ReadString("Videocamera", key, "1"), value, position);
    if (parsed && (!mustBePositive || (std::isfinite(value) && value > 0)))
        return value;
    ReportError(message + QString::number(parsed ? 1 : position), false);
    return 1.0;
}

// A 0/1 key of [Videocamera]; any other number means the default 1.
int32_t ReadFlagSetting(const TIniFile& ini, const QString& key) {
    const int32_t value = ini.ReadInteger("Videocamera", key, 1);
    return value == 0 || value == 1 ? value : 1;
}

// Polls the sync bit until it shows `level`; a time-out found in the same pass wins over the level.
bool WaitSyncLevel(uint8_t level) {
    const uint32_t start = GetTickCount();
    for (;;) {
        const bool timeout = uint32_t(GetTickCount() - start) > SyncTimeoutMs;
        const uint8_t status = PortIn(PortMap.Status);
        if (timeout)
            return false;
        if ((status & SyncMask) == level)
            return true;
    }
}

bool IsVideoPicture(TPixelGraphic* picture) {
    return picture && picture->GetBitCountNum() == 2 && picture->GetWidth() == VideoWidth &&
           picture->GetHeight() == VideoHeight && picture->GetRowBytes() == FrameSize && picture->GetBits();
}

} // namespace

// Resources of a static library are registered only on request; this must stand outside any namespace.
static void RegisterBitstreamResource() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(bitstream);
        return true;
    }();
    (void)registered;
}

TBoardErrorHandler SetBoardErrorHandler(TBoardErrorHandler handler) {
    std::swap(ErrorHandler, handler);
    return handler;
}

std::unique_ptr<PortAccess> SetBoardPorts(std::unique_ptr<PortAccess> ports) {
    std::swap(Ports, ports);
    return ports;
}

void PortOut(uint16_t port, uint8_t value) {
    if (Ports)
        Ports->Out(port, value);
}

uint8_t PortIn(uint16_t port) {
    return Ports ? Ports->In(port) : uint8_t(0xFF);
}

void DelayMs(uint16_t ms) {
    const uint32_t start = GetTickCount();
    while (uint32_t(GetTickCount() - start) <= ms) {
    }
}

bool SetUpPortMap(const QString& basePortText) {
    // The text is compared, never converted: "0x300" or "768" name the same number and are still refused.
    uint16_t base;
    if (basePortText == u"300")
        base = 0x300;
    else if (basePortText == u"320")
        base = 0x320;
    else
        return false;
    BasePort = base;
    using namespace BoardPort;
    PortMap = {uint16_t(base + PixelData),  uint16_t(base + Status),     uint16_t(base + ReadStart),
               uint16_t(base + RowAdvance), uint16_t(base + StartFrame), uint16_t(base + SerialControl),
               uint16_t(base + LutAddress), uint16_t(base + LutData),    uint16_t(base + ControlRegister),
               uint16_t(base + ResetLow),   uint16_t(base + ResetHigh),  uint16_t(base + ConfigData)};
    return true;
}

std::unique_ptr<QFile> OpenConfigurationStream(const QString& path) {
    RegisterBitstreamResource();
    auto stream = std::make_unique<QFile>(path);
    if (!stream->open(QIODevice::ReadOnly))
        throw EBoardError(QString("Конфигурация платы видеоввода \"SPE_1\" не найдена (%1).").arg(path));
    if (stream->size() != BitstreamSize)
        throw EBoardError(QString("Конфигурация платы видеоввода \"SPE_1\" имеет длину %1 байт вместо %2.")
                              .arg(stream->size())
                              .arg(BitstreamSize));
    return stream;
}

void LoadConfiguration(QIODevice& stream) {
    for (qint64 i = 0; i < BitstreamSize; ++i) {
        char byte;
        if (!stream.seek(i) || !stream.getChar(&byte))
            throw EBoardError("Конфигурация платы видеоввода \"SPE_1\" не читается.");
        // Least significant bit first; the upper bits of each write are don't-care.
        uint8_t c = uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit, c >>= 1)
            PortOut(PortMap.ConfigData, c);
    }
    // Eight trailing 1-bits end the configuration.
    for (uint8_t c = 0xFF; c != 0; c >>= 1)
        PortOut(PortMap.ConfigData, c);
}

void LoadIdentityLut() {
    PortOut(PortMap.LutAddress, 0);
    for (int i = 0; i < 256; ++i)
        PortOut(PortMap.LutData, uint8_t(i));
}

void WriteControlRegister() {
    PortOut(PortMap.LutAddress, 0);
    PortOut(PortMap.ControlRegister, ControlRegisterValue);
}

void SendControlByte(uint8_t accumulate, uint8_t b, uint8_t agc, uint8_t gammaOff, uint8_t mode) {
    const uint8_t v = uint8_t((accumulate & 1) << 1 | (b & 1) << 2 | (agc & 1) << 3 | (gammaOff & 1) << 4 |
                              (mode & 7) << 5);
    const uint8_t finalLevel = (mode & 7) == 7 || accumulate == 1 ? 0 : 1;
    // Bit 0 of each write is the data bit, sampled by the camera on the rising edge of bit 1.
    for (int k = 0; k < 8; ++k) {
        const uint8_t w = uint8_t(v >> k);
        PortOut(PortMap.SerialControl, w & 0xFD);
        PortOut(PortMap.SerialControl, w | 0x02);
    }
    PortOut(PortMap.SerialControl, finalLevel);
}

bool WaitFrameSync() {
    return WaitSyncLevel(0) && WaitSyncLevel(SyncMask);
}

bool GrabFrame() {
    if (!WaitFrameSync())
        return false;
    PortOut(PortMap.StartFrame, 1);
    if (!WaitFrameSync())
        return false; // StartFrame stays armed, as the board has always been left after a lost sync
    PortOut(PortMap.StartFrame, 0);
    return true;
}

void ConfigureBoard() {
    const std::unique_ptr<QFile> stream = OpenConfigurationStream();
    PortOut(PortMap.ResetHigh, 0);
    DelayMs(1);
    PortOut(PortMap.ResetLow, 0);
    DelayMs(2);
    LoadConfiguration(*stream);
    LoadIdentityLut();
    WriteControlRegister();
    SendControlByte(0, 1, CameraSettings.aru, CameraSettings.gamma, 7);
}

void InitBoard(const QString& settingsPath) {
    bool portsValid;
    {
        const TIniFile ini(settingsPath);
        ini.ReadString("System", "PLMnamefile", "vs56_512.spe"); // named in the file, never used
        portsValid = SetUpPortMap(ini.ReadString("System", "BasePort", "356"));
        if (!portsValid)
            ReportError(BasePortError, true);
        // The camera keys are read even then, so that the settings written at exit are the ones read.
        CameraSettings.nframe = std::clamp(ReadRealSetting(ini, "nframe", NframeError, false), 0.5, 600.0);
        CameraSettings.aru = uint8_t(ReadFlagSetting(ini, "aru"));
        CameraSettings.gamma = uint8_t(ReadFlagSetting(ini, "gamma"));
        CameraSettings.addframe = ReadFlagSetting(ini, "addframe");
        CameraSettings.zoom = ReadRealSetting(ini, "zoom", ZoomError, true);
    }
    if (!portsValid)
        return;
    if (!Ports) {
        TOpenedPorts opened = OpenBoardPorts(BasePort);
        if (!opened.Error.isEmpty())
            ReportError(opened.Error, false);
        Ports = std::move(opened.Ports);
    }
    ConfigureBoard();
}

bool ReadFrame(TPixelGraphic* picture) {
    // Checked before every frame: the picture may have been changed while messages were processed.
    if (!IsVideoPicture(picture))
        return false;
    uint8_t* bits = picture->GetBits();
    PortOut(PortMap.ReadStart, 0);
    for (int row = 0; row < FrameSize; ++row) {
        // Rows are stored bottom-up, so the first row read lands in the last stored row.
        uint8_t* line = bits + ptrdiff_t(FrameSize - 1 - row) * FrameSize;
        for (int col = 0; col < FrameSize; ++col)
            line[col] = PortIn(PortMap.PixelData);
        PortOut(PortMap.RowAdvance, 0);
    }
    return true;
}
