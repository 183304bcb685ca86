// The board driver against a recording port and a fake clock: the port map, the exact write sequences of
// the control byte, configuration, reset and capture, the time-outs, the settings it reads, and read-out.
#include "lusidor/vs_drv.h"

#include "BoardTestFixture.h"
#include "framework/testing/RecordingPort.h"
#include "image-library/PGraphic.h"

namespace {

class DriverTest : public BoardTestFixture {
protected:
    void SetUp() override {
        BoardTestFixture::SetUp();
        Port = Install(std::make_unique<RecordingPort>());
        Port->Clock = [this] { return Clock.Now; };
    }

    int ReadsOf(uint16_t port) const {
        int count = 0;
        for (const PortAccessRecord& a : Port->Accesses)
            count += !a.Write && a.Port == port;
        return count;
    }

    RecordingPort* Port = nullptr;
};

QByteArray Resource() {
    return OpenConfigurationStream()->readAll();
}

} // namespace

TEST_F(DriverTest, SetUpPortMap_300And320_MapEveryPort) {
    ASSERT_TRUE(SetUpPortMap("320"));
    EXPECT_EQ(BasePort, 0x320);
    const TBoardPortMap& m = PortMap;
    const std::vector<uint16_t> ports = {m.PixelData,       m.Status,        m.ReadStart,  m.RowAdvance,
                                         m.StartFrame,      m.SerialControl, m.LutAddress, m.LutData,
                                         m.ControlRegister, m.ResetLow,      m.ResetHigh,  m.ConfigData};
    EXPECT_EQ(ports, (std::vector<uint16_t>{0x320, 0x321, 0x322, 0x323, 0x324, 0x326, 0x330, 0x331, 0x332,
                                            0x338, 0x33A, 0x33C}));
    ASSERT_TRUE(SetUpPortMap("300"));
    EXPECT_EQ(BasePort, 0x300);
    EXPECT_EQ(PortMap.SerialControl, 0x306);
}

TEST_F(DriverTest, SetUpPortMap_AnyOtherText_IsRefusedAndKeepsTheMap) {
    for (const char* text : {"356", "0x300", "768", " 300", "300 ", "", "$300"}) {
        EXPECT_FALSE(SetUpPortMap(text)) << text;
        EXPECT_EQ(BasePort, 0x300) << text;
        EXPECT_EQ(PortMap.ConfigData, 0x31C) << text;
    }
}

TEST_F(DriverTest, InitBoard_BadBasePort_EndsTheProgramWithoutWritingAPort) {
    for (const QByteArray& line : {QByteArray("BasePort=356"), QByteArray("BasePort=0x300"),
                                   QByteArray("BasePort=768"), QByteArray("PLMnamefile=x.spe")}) {
        Reports.clear();
        InitBoard(WriteSettings("[System]\r\n" + line + "\r\n[Videocamera]\r\nnframe=2.5\r\n"));
        ASSERT_EQ(Reports.size(), 1u) << line.data();
        EXPECT_EQ(Reports[0].Text, QStringLiteral("Ошибка в файле \"Lusidor.ini\".\rЗначение \"BasePort\" "
                                                  "должно быть 300 или 320."));
        EXPECT_TRUE(Reports[0].Terminate);
        EXPECT_TRUE(Port->Accesses.empty()) << line.data();
        EXPECT_EQ(CameraSettings.nframe, 2.5); // still read, so that the exit writes back what was there
    }
}

TEST_F(DriverTest, SendControlByte_WritesEachBitWithAClockPulseThenTheFinalLevel) {
    SendControlByte(0, 1, 1, 0, 7);
    EXPECT_EQ(Port->WritesTo(0x306),
              (std::vector<uint8_t>{0xEC, 0xEE, 0x74, 0x76, 0x39, 0x3B, 0x1D, 0x1F, 0x0C, 0x0E, 0x05, 0x07,
                                    0x01, 0x03, 0x01, 0x03, 0x00}));
    Port->Accesses.clear();
    SendControlByte(1, 1, 0, 1, 7);
    EXPECT_EQ(Port->WritesTo(0x306),
              (std::vector<uint8_t>{0xF4, 0xF6, 0x79, 0x7B, 0x3D, 0x3F, 0x1C, 0x1E, 0x0D, 0x0F, 0x05, 0x07,
                                    0x01, 0x03, 0x01, 0x03, 0x00}));
    EXPECT_EQ(Port->WriteCount(), 17);
}

TEST_F(DriverTest, LoadConfiguration_ClocksEveryBitLeastSignificantFirstThenEightOnes) {
    const QByteArray resource = Resource();
    ASSERT_EQ(resource.size(), 3854);
    LoadConfiguration(*OpenConfigurationStream());
    const std::vector<uint8_t> writes = Port->WritesTo(0x31C);
    ASSERT_EQ(writes.size(), 30840u);
    EXPECT_EQ(Port->WriteCount(), 30840);
    for (int i = 0; i < 3854; ++i)
        for (int k = 0; k < 8; ++k)
            ASSERT_EQ(writes[size_t(8 * i + k)], uint8_t(resource[i]) >> k) << "byte " << i << " bit " << k;
    EXPECT_EQ(std::vector<uint8_t>(writes.end() - 8, writes.end()),
              (std::vector<uint8_t>{0xFF, 0x7F, 0x3F, 0x1F, 0x0F, 0x07, 0x03, 0x01}));
}

TEST_F(DriverTest, ConfigureBoard_ResetsWithItsDelaysThenLoadsTableRegisterAndControlByte) {
    ConfigureBoard();
    const auto& a = Port->Accesses;
    ASSERT_EQ(a.size(), 2u + 30840 + 257 + 2 + 17);
    EXPECT_TRUE(a[0].Write && a[0].Port == 0x31A && a[0].Value == 0);
    EXPECT_TRUE(a[1].Write && a[1].Port == 0x318 && a[1].Value == 0);
    EXPECT_GE(a[1].Tick - a[0].Tick, 2u);
    EXPECT_EQ(a[2].Port, 0x31C);
    EXPECT_GE(a[2].Tick - a[1].Tick, 3u);
    size_t i = 2 + 30840;
    EXPECT_TRUE(a[i].Port == 0x310 && a[i].Value == 0);
    for (int entry = 0; entry < 256; ++entry)
        ASSERT_TRUE(a[i + 1 + size_t(entry)].Port == 0x311 && a[i + 1 + size_t(entry)].Value == entry)
            << entry;
    i += 257;
    EXPECT_TRUE(a[i].Port == 0x310 && a[i].Value == 0);
    EXPECT_TRUE(a[i + 1].Port == 0x312 && a[i + 1].Value == 0x5C);
    EXPECT_EQ(a[i + 2].Value, 0xFC); // first half-bit of (0, 1, aru 1, gamma 1, 7)
}

TEST_F(DriverTest, DelayMs_WaitsUntilTheCountHasMovedOnByMore) {
    const uint32_t start = Clock.Now;
    DelayMs(1);
    EXPECT_EQ(Clock.Now - 1 - start, 2u); // the last tick read is two after the first
    Clock.Now = 0xFFFFFFFEu;              // and across the wrap of the 32-bit count
    DelayMs(5);
    EXPECT_EQ(Clock.Now, 5u);
}

TEST_F(DriverTest, WaitFrameSync_StuckBit_TimesOutJustAfterFortyTicks) {
    Port->Answer = [](uint16_t) { return uint8_t(0x02); };
    uint32_t start = Clock.Now;
    EXPECT_FALSE(WaitFrameSync());
    EXPECT_EQ(Clock.Now - 1 - start, 41u);
    EXPECT_EQ(ReadsOf(0x301), 41);

    Port->Accesses.clear();
    Port->Answer = [](uint16_t) { return uint8_t(0xFD); }; // every bit but the sync bit
    start = Clock.Now;
    EXPECT_FALSE(WaitFrameSync());
    EXPECT_EQ(Clock.Now - 1 - start, 2u + 41); // the first phase sees the low level at once
    EXPECT_EQ(ReadsOf(0x301), 1 + 41);

    Port->Answer = [this](uint16_t) { return uint8_t(Clock.Now % 40 < 20 ? 0x02 : 0x00); };
    Clock.Now = 0xFFFFFFF0u; // a sync that keeps coming is found across the wrap of the count
    EXPECT_TRUE(WaitFrameSync());
}

TEST_F(DriverTest, GrabFrame_StrobesStartFrameAroundTheSecondSync) {
    int phase = 0;
    std::vector<uint8_t> levels;
    Port->Answer = [&](uint16_t) { return levels[size_t(std::min<int>(phase++, int(levels.size()) - 1))]; };

    levels = {0x00, 0x02, 0x00, 0x02};
    EXPECT_TRUE(GrabFrame());
    EXPECT_EQ(Port->WritesTo(0x304), (std::vector<uint8_t>{1, 0}));

    Port->Accesses.clear();
    phase = 0;
    levels = {0x00, 0x02, 0x00}; // the second wait never sees the rising edge
    EXPECT_FALSE(GrabFrame());
    EXPECT_EQ(Port->WritesTo(0x304), (std::vector<uint8_t>{1}));

    Port->Accesses.clear();
    phase = 0;
    levels = {0x02};
    EXPECT_FALSE(GrabFrame());
    EXPECT_EQ(Port->WriteCount(), 0);
}

TEST_F(DriverTest, InitBoard_ReadsTheCameraKeys) {
    InitBoard(WriteSettings("[System]\nBasePort=320\n[VIDEOCAMERA]\nnframe=12.5\naru=0\ngamma=0\naddframe=0\n"
                            "zoom=0.75\n"));
    EXPECT_TRUE(Reports.empty());
    EXPECT_EQ(PortMap.ResetHigh, 0x33A);
    EXPECT_EQ(Port->Accesses.front().Port, 0x33A);
    EXPECT_EQ(CameraSettings.nframe, 12.5);
    EXPECT_EQ(CameraSettings.aru, 0);
    EXPECT_EQ(CameraSettings.gamma, 0);
    EXPECT_EQ(CameraSettings.addframe, 0);
    EXPECT_EQ(CameraSettings.zoom, 0.75);
    EXPECT_EQ(Port->WritesTo(0x326).front(), 0xE4); // (0, 1, aru 0, gamma 0, 7)
}

TEST_F(DriverTest, InitBoard_BadReals_ReportTheCharacterAndFallBackToOne) {
    InitBoard(WriteSettings("[System]\nBasePort=300\n[Videocamera]\nnframe=1,5\nzoom=2x\n"));
    ASSERT_EQ(Reports.size(), 2u);
    EXPECT_EQ(Reports[0].Text,
              QStringLiteral("Ошибка в файле \"Lusidor.ini\".\rЗначение \"Nframe\", символ номер 2"));
    EXPECT_EQ(Reports[1].Text,
              QStringLiteral("Ошибка в файле \"Lusidor.ini\".\rЗначение \"zoom\", символ номер 2"));
    EXPECT_FALSE(Reports[0].Terminate || Reports[1].Terminate);
    EXPECT_EQ(CameraSettings.nframe, 1.0);
    EXPECT_EQ(CameraSettings.zoom, 1.0);
    EXPECT_EQ(Port->WritesTo(0x31C).size(), 30840u); // start-up goes on
}

TEST_F(DriverTest, InitBoard_ValuesThatMakeNoSense_AreMended) {
    const std::pair<const char*, const char*> zooms[] = {{"0", "1"}, {"-2", "1"}, {"1e999", "1"}, {"", "1"}};
    for (const auto& [zoom, position] : zooms) {
        Reports.clear();
        InitBoard(WriteSettings(QByteArray("[System]\nBasePort=300\n[Videocamera]\nzoom=") + zoom));
        ASSERT_EQ(Reports.size(), 1u) << zoom;
        EXPECT_TRUE(Reports[0].Text.endsWith(QStringLiteral("\"zoom\", символ номер ") + position)) << zoom;
        EXPECT_EQ(CameraSettings.zoom, 1.0) << zoom;
    }
    const std::pair<const char*, double> nframes[] = {
        {"0.1", 0.5}, {"-3", 0.5}, {"1000", 600}, {"1e999", 600}};
    for (const auto& [nframe, expected] : nframes) {
        Reports.clear();
        InitBoard(WriteSettings(QByteArray("[System]\nBasePort=300\n[Videocamera]\nnframe=") + nframe +
                                "\naru=2\ngamma=-1\naddframe=$10\n"));
        EXPECT_TRUE(Reports.empty()) << nframe;
        EXPECT_EQ(CameraSettings.nframe, expected) << nframe;
        EXPECT_EQ(CameraSettings.aru, 1);
        EXPECT_EQ(CameraSettings.gamma, 1);
        EXPECT_EQ(CameraSettings.addframe, 1);
    }
}

TEST_F(DriverTest, ReadFrame_FirstRowReadIsTheTopRowAndColumn511FallsIntoThePadding) {
    // Read number i of the frame returns a value that names its row and column.
    int reads = 0;
    const auto value = [](int i) { return uint8_t(i / 512 * 3 + i % 512 * 5); };
    Port->Answer = [&](uint16_t) { return value(reads++); };
    TPixelGraphic picture;
    picture.SetFormat(511, 512, 2);
    ASSERT_TRUE(ReadFrame(&picture));

    for (const auto& [x, y] : {std::pair{0, 0}, {510, 0}, {0, 511}, {510, 511}, {17, 300}})
        EXPECT_EQ(picture.GetPixelValue(x, y), value(y * 512 + x)) << x << "," << y;
    for (int y : {0, 1, 255, 511})
        EXPECT_EQ(picture.GetScanLine(y)[511], value(y * 512 + 511)) << y;

    const auto& a = Port->Accesses;
    ASSERT_EQ(a.size(), 1u + 512 * 513);
    EXPECT_TRUE(a[0].Write && a[0].Port == 0x302 && a[0].Value == 0);
    for (size_t row = 0; row < 512; ++row) {
        const PortAccessRecord& advance = a[1 + row * 513 + 512];
        ASSERT_TRUE(advance.Write && advance.Port == 0x303 && advance.Value == 0) << row;
        ASSERT_TRUE(!a[1 + row * 513].Write && a[1 + row * 513].Port == 0x300) << row;
    }
}

TEST_F(DriverTest, ReadFrame_AnythingButTheVideoPicture_IsRefusedUntouched) {
    EXPECT_FALSE(ReadFrame(nullptr));
    const int formats[][3] = {{512, 512, 2}, {511, 511, 2}, {511, 513, 2},
                              {511, 512, 3}, {511, 512, 1}, {0, 0, 2}};
    for (const auto& [width, height, bitCountNum] : formats) {
        TPixelGraphic picture;
        picture.SetFormat(width, height, uint8_t(bitCountNum));
        EXPECT_FALSE(ReadFrame(&picture)) << width << "x" << height << " format " << bitCountNum;
        if (picture.GetBits()) {
            EXPECT_EQ(picture.GetBits()[0], 0);
        }
    }
    EXPECT_TRUE(Port->Accesses.empty());
}

TEST_F(DriverTest, OpenConfigurationStream_RefusesAnotherSize) {
    EXPECT_EQ(OpenConfigurationStream()->size(), 3854);
    QFile shorter(Folder.filePath("short.spe"));
    ASSERT_TRUE(shorter.open(QIODevice::WriteOnly));
    shorter.write(QByteArray(3853, 'x'));
    shorter.close();
    try {
        OpenConfigurationStream(shorter.fileName());
        FAIL() << "a 3853-byte configuration was accepted";
    } catch (const EBoardError& e) {
        EXPECT_TRUE(e.message().contains("3853")) << e.what();
    }
    EXPECT_THROW(OpenConfigurationStream(Folder.filePath("missing.spe")), EBoardError);
}
