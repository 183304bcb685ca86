// The choice of board by LUSIDOR_BOARD. Only the simulated board and refused values are opened here: a
// test never reaches the ports of the machine it runs on.
#include "lusidor/BoardPorts.h"

#include "lusidor/SimulatedBoard.h"

#include <gtest/gtest.h>

namespace {

// Sets LUSIDOR_BOARD for one test and restores what was there.
class BoardSetting {
public:
    explicit BoardSetting(const char* value) : Had(qEnvironmentVariableIsSet(Name)), Previous(qgetenv(Name)) {
        qputenv(Name, value);
    }
    ~BoardSetting() {
        if (Had)
            qputenv(Name, Previous);
        else
            qunsetenv(Name);
    }

private:
    static constexpr const char* Name = "LUSIDOR_BOARD";
    bool Had;
    QByteArray Previous;
};

} // namespace

TEST(BoardPorts, OpenBoardPorts_SimOpensTheSimulationAnUnknownValueAnEmptyBus) {
    {
        const BoardSetting sim("sim");
        const TOpenedPorts opened = OpenBoardPorts(0x320);
        EXPECT_TRUE(opened.Error.isEmpty());
        EXPECT_NE(dynamic_cast<SimulatedBoard*>(opened.Ports.get()), nullptr);
    }
    const BoardSetting bogus("card");
    const TOpenedPorts opened = OpenBoardPorts(0x300);
    EXPECT_TRUE(opened.Error.contains("LUSIDOR_BOARD=card"));
    EXPECT_EQ(dynamic_cast<SimulatedBoard*>(opened.Ports.get()), nullptr);
    EXPECT_EQ(opened.Ports->In(0x301), 0xFF);
}
