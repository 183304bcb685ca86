// The simulated board driven by the real driver: configuration accepted only bit for bit, frames of the
// documented scene arriving top row first, gain and accumulation, the sync options, and the protocol log.
#include "lusidor/SimulatedBoard.h"

#include "BoardTestFixture.h"
#include "SceneOracle.h"
#include "image-library/PGraphic.h"

namespace {

class SimulatedBoardTest : public BoardTestFixture {
protected:
    void SetUp() override {
        BoardTestFixture::SetUp();
        Board = Install(std::make_unique<SimulatedBoard>(0x300, [this] { return Clock.Now; }));
        Video.SetFormat(511, 512, 2);
    }
    void TearDown() override {
        EXPECT_TRUE(Reports.empty()) << Reports.front().Text.toStdString();
        BoardTestFixture::TearDown();
    }

    void Init(const QByteArray& videocamera) {
        InitBoard(WriteSettings("[System]\nBasePort=300\n[Videocamera]\n" + videocamera));
    }
    void Grab() {
        ASSERT_TRUE(GrabFrame());
        ASSERT_TRUE(ReadFrame(&Video));
    }
    void Reset() {
        PortOut(PortMap.ResetHigh, 0);
        DelayMs(1);
        PortOut(PortMap.ResetLow, 0);
        DelayMs(2);
    }
    SimulatedBoard* Board = nullptr;
    TPixelGraphic Video;
};

} // namespace

TEST_F(SimulatedBoardTest, InitBoard_LeavesItConfiguredWithAnEmptyLog) {
    Init("aru=1\ngamma=1\n");
    EXPECT_TRUE(Board->IsConfigured());
    EXPECT_EQ(Board->LastControlByte(), 0xFC);
    Grab();
    EXPECT_EQ(Board->CapturedFrames(), 1);
    EXPECT_TRUE(Board->Violations().isEmpty()) << Board->Violations().join("\n").toStdString();
}

TEST_F(SimulatedBoardTest, WrongBitOrderOrMissingTrailer_LeavesItUnconfiguredAndGrabsFail) {
    const QByteArray bitstream = OpenConfigurationStream()->readAll();
    Reset();
    for (const char byte : bitstream)
        for (int k = 7; k >= 0; --k) // most significant bit first
            PortOut(PortMap.ConfigData, uint8_t(uint8_t(byte) >> k));
    for (int k = 0; k < 8; ++k)
        PortOut(PortMap.ConfigData, 1);
    EXPECT_FALSE(Board->IsConfigured());
    EXPECT_FALSE(GrabFrame());

    Reset();
    for (const char byte : bitstream)
        for (int k = 0; k < 8; ++k)
            PortOut(PortMap.ConfigData, uint8_t(uint8_t(byte) >> k));
    LoadIdentityLut(); // no trailer
    EXPECT_FALSE(Board->IsConfigured());
    EXPECT_FALSE(GrabFrame());
    EXPECT_TRUE(Board->Violations().isEmpty()) << Board->Violations().join("\n").toStdString();
}

TEST_F(SimulatedBoardTest, Frame_ArrivesTopRowFirstWithTheDocumentedDiscSums) {
    Init("aru=0\n");
    Grab();
    for (const TSceneDisc& disc : SceneDiscs)
        EXPECT_EQ(DiscSum(Video, disc, 9), disc.Sum) << disc.Cx;
    for (const auto& [x, y] : {std::pair{0, 0}, {510, 0}, {0, 511}, {510, 511}, {250, 40}})
        EXPECT_EQ(Video.GetPixelValue(x, y), SceneBackground(x, y)) << x << "," << y;
    for (int y : {0, 1, 2, 3, 300})
        EXPECT_EQ(Video.GetScanLine(y)[511], SceneBackground(511, y)) << y;
    EXPECT_TRUE(Board->Violations().isEmpty()) << Board->Violations().join("\n").toStdString();
}

TEST_F(SimulatedBoardTest, Marker_MovesBetweenFrames) {
    Init("aru=0\n");
    Grab();
    EXPECT_EQ(MarkerLeft(Video), 16);
    Grab();
    EXPECT_EQ(MarkerLeft(Video), 40);
}

TEST_F(SimulatedBoardTest, Brightness_FollowsGainLookupTableAndAccumulation) {
    Init("aru=1\n");
    Grab();
    EXPECT_EQ(Video.GetPixelValue(300, 250), 24u); // gain control on doubles
    EXPECT_EQ(Video.GetPixelValue(128, 96), 255u);

    SendControlByte(1, 1, 0, 1, 7); // 400 ms accumulation with the gain control off
    Clock.Now += 400;
    SendControlByte(0, 1, 0, 1, 7);
    PortOut(PortMap.StartFrame, 1);
    WaitFrameSync();
    PortOut(PortMap.StartFrame, 0);
    Grab();
    EXPECT_EQ(Video.GetPixelValue(300, 250), 120u);
    EXPECT_EQ(Video.GetPixelValue(20, 30), SceneBackground(20, 30) * 10);
    Grab();
    EXPECT_EQ(Video.GetPixelValue(300, 250), 12u); // the third capture is a normal frame again

    PortOut(PortMap.LutAddress, 0);
    for (int i = 0; i < 256; ++i)
        PortOut(PortMap.LutData, uint8_t(255 - i));
    Grab();
    EXPECT_EQ(Video.GetPixelValue(300, 250), 255u - 12);
    EXPECT_TRUE(Board->Violations().isEmpty()) << Board->Violations().join("\n").toStdString();
}

TEST_F(SimulatedBoardTest, SyncOptions_SquareWaveFindsAnEdgeStuckLevelsTimeOut) {
    Init("");
    const uint32_t start = Clock.Now;
    EXPECT_TRUE(WaitFrameSync());
    EXPECT_LE(Clock.Now - start, 45u);
    Board->SetSync(SyncSignal::StuckHigh);
    EXPECT_FALSE(WaitFrameSync());
    Board->SetSync(SyncSignal::StuckLow);
    EXPECT_FALSE(GrabFrame());
    EXPECT_EQ(Board->CapturedFrames(), 0);
}

TEST_F(SimulatedBoardTest, ProtocolBreaches_AreLoggedOneByOne) {
    Init("");
    const auto readRow = [](int reads) {
        PortOut(PortMap.ReadStart, 0);
        for (int i = 0; i < reads; ++i)
            PortIn(PortMap.PixelData);
    };
    const std::pair<const char*, std::function<void()>> breaches[] = {
        {"foreign port", [] { PortIn(0x305); }},
        {"write to an input", [] { PortOut(PortMap.Status, 0); }},
        {"read of an output", [] { PortIn(PortMap.StartFrame); }},
        {"pixel before ReadStart", [] { PortIn(PortMap.PixelData); }},
        {"row advanced early",
         [&] {
             readRow(1);
             PortOut(PortMap.RowAdvance, 0);
         }},
        {"513 reads in a row", [&] { readRow(513); }},
        {"control register value", [] { PortOut(PortMap.ControlRegister, 0x5D); }},
        {"reset steps reversed", [] { PortOut(PortMap.ResetLow, 0); }},
        {"reset too short",
         [] {
             PortOut(PortMap.ResetHigh, 0);
             PortOut(PortMap.ResetLow, 0);
         }},
    };
    for (const auto& [name, breach] : breaches) {
        const qsizetype before = Board->Violations().size();
        breach();
        EXPECT_EQ(Board->Violations().size(), before + 1) << name;
    }
}
