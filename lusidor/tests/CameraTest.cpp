// The camera window in the program, on the simulated board and one fake clock that drives the board, the
// sync time-outs and the accumulation timer: timing, control bytes, frames, the mode pair, a dead board,
// and the guards against windows that go away while a command runs.
#include "MainTestFixture.h"
#include "SceneOracle.h"
#include "framework/NumberText.h"
#include "lusidor/SimulatedBoard.h"

#include <QCloseEvent>
#include <QDir>
#include <QTest>
#include <QWindow>
#include <QtTest/qtestspontaneevent.h>

namespace {

// The simulated board behind a tap that notes, in order and with the fake clock's time, what the camera
// protocol did: each control byte as "ctl(accumulate,b,agc,gammaOff,mode)", each strobe level, each
// completed sync wait (a high status read after a low one) and each read-out.
class TappedBoard : public PortAccess {
public:
    explicit TappedBoard(const FakeClock& clock)
        : Board(0x300, [&clock] { return clock.Now; }), Clock(clock) {}

    uint8_t In(uint16_t port) override {
        const uint8_t value = Board.In(port);
        if (port == PortMap.Status) {
            const bool high = value & SyncMask;
            if (high && StatusLow)
                Note("sync");
            StatusLow = !high;
        }
        return value;
    }
    void Out(uint16_t port, uint8_t value) override {
        Board.Out(port, value);
        if (port == PortMap.StartFrame)
            Note(value ? "start=1" : "start=0");
        else if (port == PortMap.ReadStart)
            Note("read");
        else if (port == PortMap.SerialControl)
            TakeSerialLevel(value);
    }

    SimulatedBoard Board;
    QStringList Events;
    std::vector<uint32_t> Times;
    std::function<void(const QString&)> OnEvent;

private:
    void Note(const QString& event) {
        Events << event;
        Times.push_back(Clock.Now);
        if (OnEvent)
            OnEvent(event);
    }
    void TakeSerialLevel(uint8_t value) {
        // The camera takes the data bit on each rising edge of the clock bit, least significant first.
        if (!(SerialLevel & 0x02) && (value & 0x02)) {
            Shift = uint8_t(Shift | (value & 1) << Bits);
            if (++Bits == 8) {
                Note(QString("ctl(%1,%2,%3,%4,%5)")
                         .arg(Shift >> 1 & 1)
                         .arg(Shift >> 2 & 1)
                         .arg(Shift >> 3 & 1)
                         .arg(Shift >> 4 & 1)
                         .arg(Shift >> 5));
                Shift = 0;
                Bits = 0;
            }
        }
        SerialLevel = value;
    }

    const FakeClock& Clock;
    bool StatusLow = false;
    uint8_t SerialLevel = 0;
    uint8_t Shift = 0;
    int Bits = 0;
};

struct TPanelState {
    QString Caption;
    TColor Color;
    bool TimerOn;
};

class CameraTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        auto tap = std::make_unique<TappedBoard>(Clock);
        Tap = tap.get();
        SetBoardPorts(std::move(tap));
    }
    void TearDown() override {
        Timers.clear();
        Camera.reset();
        Form.reset();
        EXPECT_TRUE(Tap->Board.Violations().isEmpty()) << Tap->Board.Violations().join("\n").toStdString();
        EXPECT_FALSE(CameraBusy);
        MainFormTest::TearDown();
    }

    // The program as it starts in camera mode with these [Videocamera] keys: the main window, the camera
    // window in its place, and the first activation entering mode 1.
    void Start(const QByteArray& videocamera) {
        Timers.clear();
        Camera.reset();
        Make("[System]\r\nBasePort=300\r\n[Videocamera]\r\n" + videocamera + "[Desktop]\r\nMode=1\r\n");
        Camera = std::make_unique<TVs_optionsFrame>(Form.get());
        Form->show();
        QTest::qWait(0);
        QCoreApplication::processEvents();
        ASSERT_NE(Form->VideoWindow(), nullptr);
        ASSERT_TRUE(Camera->isVisible());
        Tap->Events.clear();
        Tap->Times.clear();
    }
    TPixelGraphic& Video() { return *Form->VideoWindow()->PGImage1->GetPixelGraphic(); }
    // A click near the left edge, where a check box has its indicator: a box takes clicks on its indicator
    // and caption only, and a layout may make it wider than both.
    static void Click(QWidget* control) {
        QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(6, control->height() / 2));
    }

    // Runs Action once from the message processing of a running command, Ms ticks from now.
    void After(int Ms, std::function<void()> Action) {
        auto timer = std::make_unique<TTimer>();
        timer->SetInterval(Ms);
        timer->OnTimer = [Action](TObject* sender) {
            static_cast<TTimer*>(sender)->SetEnabled(false);
            Action();
        };
        timer->SetEnabled(true);
        Timers.push_back(std::move(timer));
    }
    // Runs Action at every pass of message processing.
    void EveryPass(std::function<void()> Action) {
        auto timer = std::make_unique<TTimer>();
        timer->SetInterval(1);
        timer->OnTimer = [Action](TObject*) { Action(); };
        timer->SetEnabled(true);
        Timers.push_back(std::move(timer));
    }
    // The accumulation's exposure as the board saw it: from the control byte that set accumulation to the
    // one that cleared it.
    uint32_t Exposure() const {
        const qsizetype start = Tap->Events.indexOf("ctl(1,1,0,1,7)");
        const qsizetype end = Tap->Events.indexOf("ctl(0,1,0,1,7)", start);
        EXPECT_GE(start, 0);
        EXPECT_GT(end, start);
        return start >= 0 && end > start ? Tap->Times[size_t(end)] - Tap->Times[size_t(start)] : 0;
    }
    // The controls as "Стоп" leaves them, with no command running.
    void ExpectIdle(const char* where) {
        EXPECT_FALSE(CameraBusy) << where;
        EXPECT_FALSE(Camera->Timer1.Enabled()) << where;
        for (QWidget* control : std::initializer_list<QWidget*>{Camera->Button1, Camera->Button2,
                                                                Camera->CheckBox1, Camera->CheckBox2})
            EXPECT_TRUE(control->isEnabled()) << where << " " << control->objectName().toStdString();
        EXPECT_FALSE(Camera->SpeedButton1->isEnabled()) << where;
        EXPECT_EQ(Camera->Panel2->text(), "0.0") << where;
        EXPECT_EQ(Camera->Panel2FontColor(), clBlack) << where;
        EXPECT_EQ(Camera->CheckBox3->isEnabled(), Camera->CheckBox1->isChecked()) << where;
        EXPECT_EQ(Camera->Edit1->isEnabled(), Camera->CheckBox2->isChecked()) << where;
    }
    void SetExposure(double seconds) {
        CameraSettings.nframe = seconds;
        Camera->SyncControls();
    }

    TappedBoard* Tap = nullptr;
    std::unique_ptr<TVs_optionsFrame> Camera;
    std::vector<std::unique_ptr<TTimer>> Timers;
};

const QStringList GrabEvents = {"sync", "start=1", "sync", "start=0", "read"};

} // namespace

TEST_F(CameraTest, Window_HasItsComponentsAndRefusesOnlyTheUsersClose) {
    Start("aru=1\r\ngamma=0\r\naddframe=1\r\nnframe=2.5\r\n");
    EXPECT_EQ(Camera->windowTitle(), "Управление видеокамерой");
    EXPECT_FALSE(Camera->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(Camera->windowType(), Qt::Tool);
    EXPECT_EQ(Camera->windowHandle()->transientParent(), Form->windowHandle());
    EXPECT_FALSE(Camera->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint));
    EXPECT_EQ(Form->CameraWindow, Camera.get());
    const std::pair<QAbstractButton*, QString> captions[] = {{Camera->CheckBox1, "Обычный режим"},
                                                             {Camera->CheckBox2, "Накопление  (сек):"},
                                                             {Camera->CheckBox3, "Гамма-коррекция"},
                                                             {Camera->CheckBox4, "АРУ"},
                                                             {Camera->Button1, "Пуск"},
                                                             {Camera->Button2, "Цикл"},
                                                             {Camera->SpeedButton1, "Стоп"}};
    for (const auto& [control, caption] : captions)
        EXPECT_EQ(control->text(), caption);
    EXPECT_TRUE(Camera->Edit1->isReadOnly());
    EXPECT_FALSE(Camera->SpeedButton1->isEnabled());
    EXPECT_EQ(Camera->Timer1.Interval(), 100);
    // SetMode(1) synchronised the controls with the keys InitBoard read.
    EXPECT_FALSE(Camera->CheckBox1->isChecked());
    EXPECT_TRUE(Camera->CheckBox2->isChecked());
    EXPECT_TRUE(Camera->CheckBox3->isChecked());
    EXPECT_TRUE(Camera->CheckBox4->isChecked());
    EXPECT_EQ(Camera->Edit1->text(), "2.5");
    ExpectIdle("start");

    QCloseEvent byUser;
    QSpontaneKeyEvent::setSpontaneous(&byUser);
    QCoreApplication::sendEvent(Camera.get(), &byUser);
    EXPECT_TRUE(Camera->isVisible());
    Camera->close();
    EXPECT_FALSE(Camera->isVisible());
}

TEST_F(CameraTest, Accumulation_TimerEventsPanelAndEndFollowTheExposure) {
    const struct {
        double Seconds;
        int Events;
        std::vector<std::pair<int, QString>> FirstCaptions; // event number and the caption it shows
        int CaptionChanges;
    } cases[] = {{0.5, 4, {{4, "0.5"}}, 1},
                 {1.0, 9, {{4, "0.5"}, {9, "1.0"}}, 2},
                 {600, 5999, {{4, "0.5"}, {9, "1.0"}, {14, "1.5"}}, 1200}};
    Start("aru=0\r\naddframe=1\r\n");
    std::vector<TPanelState> log;
    const auto timer1Timer = Camera->Timer1.OnTimer;
    Camera->Timer1.OnTimer = [&](TObject* sender) {
        timer1Timer(sender);
        log.push_back({Camera->Panel2->text(), Camera->Panel2FontColor(), Camera->Timer1.Enabled()});
    };
    for (const auto& c : cases) {
        log.clear();
        Tap->Events.clear();
        SetExposure(c.Seconds);
        Click(Camera->Button1);
        ASSERT_EQ(int(log.size()), c.Events) << c.Seconds;
        EXPECT_EQ(Camera->TickTarget, c.Events + 1);
        std::vector<std::pair<int, QString>> changes;
        QString shown = "0.0";
        for (size_t i = 0; i < log.size(); ++i) {
            if (log[i].Caption != shown)
                changes.emplace_back(int(i) + 1, shown = log[i].Caption);
            const bool last = i + 1 == log.size();
            EXPECT_EQ(log[i].Color, last ? TVs_optionsFrame::ElapsedDoneColor : clBlack) << i;
            EXPECT_EQ(log[i].TimerOn, !last) << i;
        }
        EXPECT_EQ(int(changes.size()), c.CaptionChanges) << c.Seconds;
        changes.resize(std::min(changes.size(), c.FirstCaptions.size()));
        EXPECT_EQ(changes, c.FirstCaptions) << c.Seconds;
        EXPECT_EQ(log.back().Caption, FormatFixed(c.Seconds, 3, 1));
        EXPECT_EQ(Tap->Events.count("read"), 1);
        ExpectIdle("after Пуск");
    }
    EXPECT_EQ(TVs_optionsFrame::ElapsedDoneColor, RGB(255, 255, 0));
    EXPECT_TRUE(Boxes.Requests.empty());
}

TEST_F(CameraTest, Exposure_SpinButtonStopsAtItsLimits) {
    Start("addframe=1\r\n");
    SetExposure(599.5);
    for (const char* expected : {"600.0", "600.0"}) {
        Click(Camera->SpinButton1->UpButton());
        EXPECT_EQ(Camera->Edit1->text(), expected);
    }
    EXPECT_EQ(CameraSettings.nframe, 600);
    SetExposure(1.0);
    for (const char* expected : {"0.5", "0.5"}) {
        Click(Camera->SpinButton1->DownButton());
        EXPECT_EQ(Camera->Edit1->text(), expected);
    }
    EXPECT_EQ(CameraSettings.nframe, 0.5);
}

TEST_F(CameraTest, ControlBytes_FollowTheProtocolForBothCommands) {
    Start("aru=0\r\ngamma=0\r\naddframe=1\r\nnframe=0.5\r\n");
    Click(Camera->Button1);
    const QStringList accumulation = {"sync",           "ctl(0,1,0,0,7)", "sync",           "sync",
                                      "ctl(1,1,0,1,7)", "sync",           "ctl(0,1,0,1,7)", "start=1",
                                      "sync",           "start=0",        "sync",           "ctl(0,1,0,1,7)"};
    EXPECT_EQ(Tap->Events, accumulation + GrabEvents);

    // "Цикл" takes the camera flags from the boxes and grabs normal frames until "Стоп".
    CameraSettings.addframe = 0;
    Camera->SyncControls();
    Camera->CheckBox4->setChecked(true);
    Tap->Events.clear();
    After(300, [this] { Click(Camera->SpeedButton1); });
    Click(Camera->Button2);
    ASSERT_GE(Tap->Events.size(), 3 + 2 * GrabEvents.size());
    EXPECT_EQ(Tap->Events.mid(0, 3), (QStringList{"sync", "ctl(0,1,1,0,7)", "sync"}));
    EXPECT_EQ((Tap->Events.size() - 3) % GrabEvents.size(), 0);
    for (qsizetype at = 3; at + GrabEvents.size() <= Tap->Events.size(); at += GrabEvents.size())
        EXPECT_EQ(Tap->Events.mid(at, GrabEvents.size()), GrabEvents) << at;
    EXPECT_EQ(CameraSettings.aru, 1);
    ExpectIdle("after Цикл");
    EXPECT_TRUE(Boxes.Requests.empty());
}

TEST_F(CameraTest, EndToEnd_FrameWithTheDiscSumsThenTheWindowsSettingsWrittenAtClose) {
    const struct {
        QByteArray Aru;
        uint32_t Gain, Threshold;
    } cases[] = {{"0", 1, 9}, {"1", 2, 20}};
    for (const auto& c : cases) {
        Start("aru=" + c.Aru + "\r\naddframe=0\r\n");
        const int before = Tap->Board.CapturedFrames();
        Click(Camera->Button1);
        EXPECT_EQ(Tap->Events, (QStringList{"sync", "ctl(0,1," + c.Aru + ",1,7)", "sync"} + GrabEvents));
        const TPixelGraphic& video = Video();
        for (const TSceneDisc& disc : SceneDiscs)
            EXPECT_EQ(DiscSum(video, disc, c.Threshold), disc.Pixels * std::min(255u, disc.Level * c.Gain))
                << disc.Cx;
        EXPECT_EQ(video.GetPixelValue(7, 9), SceneBackground(7, 9) * c.Gain);
        EXPECT_EQ(MarkerLeft(video), 16 + 24 * (before % 20));
        ExpectIdle("after Пуск");
    }
    // The settings as the window changed them reach the file at close.
    Click(Camera->CheckBox3);
    Click(Camera->CheckBox4);
    Click(Camera->CheckBox2);
    Click(Camera->SpinButton1->UpButton());
    Form->close();
    EXPECT_EQ(Stored(),
              QByteArray("[System]\r\nBasePort=300\r\n[Videocamera]\r\naru=0\r\naddframe=1\r\ngamma=0\r\n"
                         "nframe=1.5\r\n[Desktop]\r\nMode=1\r\n"));
    EXPECT_TRUE(Boxes.Requests.empty());
}

TEST_F(CameraTest, Frames_AccumulatedBrighterByTheExposureAndStopsEndThemAsDocumented) {
    const auto expectExposed = [this](uint32_t exposure) {
        const TPixelGraphic& video = Video();
        for (const auto& [x, y] : {std::pair{0, 0}, {1, 0}, {2, 0}, {3, 0}, {300, 250}, {160, 352}}) {
            const uint32_t level = x == 300 ? 12 : x == 160 ? 60 : SceneBackground(x, y);
            EXPECT_EQ(video.GetPixelValue(x, y), std::min<uint32_t>(255, level * exposure / 40)) << x;
        }
    };
    // A whole accumulation of 0.5 s: four timer events, then at most two sync waits before it ends.
    Start("aru=0\r\naddframe=1\r\nnframe=0.5\r\n");
    Click(Camera->Button1);
    const uint32_t full = Exposure();
    EXPECT_GE(full, 400u);
    EXPECT_LE(full, 400u + 2 * 40 + 4);
    expectExposed(full);

    // "Стоп" during "Пуск" ends the exposure early and the frame is still read.
    SetExposure(10);
    Tap->Events.clear();
    Tap->Times.clear();
    After(300, [this] { Click(Camera->SpeedButton1); });
    Click(Camera->Button1);
    const uint32_t stopped = Exposure();
    EXPECT_LT(stopped, 400u);
    EXPECT_EQ(Tap->Events.mid(Tap->Events.size() - GrabEvents.size()), GrabEvents);
    expectExposed(stopped);
    ExpectIdle("after Стоп in Пуск");

    // "Стоп" while "Цикл" accumulates: the end sequence runs, no frame is read.
    SetExposure(1);
    Tap->Events.clear();
    After(300, [this] { Click(Camera->SpeedButton1); });
    Click(Camera->Button2);
    EXPECT_TRUE(Tap->Events.contains("ctl(0,1,0,1,7)"));
    EXPECT_FALSE(Tap->Events.contains("read"));
    ExpectIdle("after Стоп in Цикл");

    // Normal "Цикл": the marker moves 24 columns with each frame.
    CameraSettings.addframe = 0;
    Camera->SyncControls();
    std::vector<int> markers;
    EveryPass([&] {
        markers.push_back(MarkerLeft(Video()));
        if (markers.size() == 5)
            Click(Camera->SpeedButton1);
    });
    const int before = Tap->Board.CapturedFrames();
    Click(Camera->Button2);
    ASSERT_EQ(markers.size(), 5u);
    for (size_t i = 0; i < markers.size(); ++i)
        EXPECT_EQ(markers[i], 16 + 24 * ((before + int(i)) % 20)) << i;
    ExpectIdle("after Цикл");
    EXPECT_TRUE(Boxes.Requests.empty());
}

TEST_F(CameraTest, ModePair_MouseAndKeyboardKeepModeBoxesAndControlsInStep) {
    Start("aru=0\r\naddframe=0\r\n");
    QCheckBox* normal = Camera->CheckBox1;
    QCheckBox* accumulation = Camera->CheckBox2;
    const struct {
        const char* Name;
        std::function<void()> Action;
        int Addframe;
    } steps[] = {
        {"mouse on the checked normal box", [&] { Click(normal); }, 1},
        {"space on the checked accumulation box", [&] { QTest::keyClick(accumulation, Qt::Key_Space); }, 0},
        {"space on the checked normal box", [&] { QTest::keyClick(normal, Qt::Key_Space); }, 1},
        {"mouse on the unchecked normal box", [&] { Click(normal); }, 0},
        {"mouse on the unchecked accumulation box", [&] { Click(accumulation); }, 1},
        {"release outside the box",
         [&] {
             QTest::mousePress(normal, Qt::LeftButton, {}, QPoint(4, 4));
             QTest::mouseRelease(normal, Qt::LeftButton, {}, QPoint(-20, -20));
         },
         1},
        {"SyncControls in normal mode",
         [&] {
             CameraSettings.addframe = 0;
             Camera->SyncControls();
         },
         0},
        {"SyncControls in accumulation mode",
         [&] {
             CameraSettings.addframe = 1;
             Camera->SyncControls();
         },
         1},
    };
    for (const auto& step : steps) {
        step.Action();
        EXPECT_EQ(CameraSettings.addframe, step.Addframe) << step.Name;
        EXPECT_EQ(accumulation->isChecked(), step.Addframe == 1) << step.Name;
        EXPECT_NE(normal->isChecked(), accumulation->isChecked()) << step.Name;
        for (QWidget* option : {Camera->CheckBox3, Camera->CheckBox4})
            EXPECT_EQ(option->isEnabled(), step.Addframe == 0) << step.Name;
        for (QWidget* exposure : std::initializer_list<QWidget*>{Camera->Edit1, Camera->SpinButton1})
            EXPECT_EQ(exposure->isEnabled(), step.Addframe == 1) << step.Name;
    }
    // Gamma and gain control follow their boxes, by mouse and by keyboard.
    Click(normal);
    Camera->CheckBox3->setChecked(false);
    Camera->CheckBox4->setChecked(false);
    Click(Camera->CheckBox3);
    QTest::keyClick(Camera->CheckBox4, Qt::Key_Space);
    EXPECT_EQ(CameraSettings.gamma, 0);
    EXPECT_EQ(CameraSettings.aru, 1);
    QTest::keyClick(Camera->CheckBox3, Qt::Key_Space);
    Click(Camera->CheckBox4);
    EXPECT_EQ(CameraSettings.gamma, 1);
    EXPECT_EQ(CameraSettings.aru, 0);
}

TEST_F(CameraTest, DeadBoard_OneBoxPerCommandAndThePictureUnchanged) {
    Start("aru=0\r\naddframe=0\r\n");
    Video().GetBits()[1000] = 77;
    const QByteArray before(reinterpret_cast<const char*>(Video().GetBits()), 512 * 512);
    const auto videoUnchanged = [&] {
        return QByteArray(reinterpret_cast<const char*>(Video().GetBits()), 512 * 512) == before;
    };
    // A frame lost in the middle of "Цикл" gives no box: the next frame follows, and only "Пуск" would leave
    // the old picture passing for the new one.
    const struct {
        const char* Name;
        bool LoseSyncAfterCheck;
        bool Cycle;
        size_t Boxes;
    } cases[] = {{"Пуск, sync stuck high", false, false, 1},
                 {"Цикл, sync stuck high", false, true, 1},
                 {"Пуск, sync lost after the check", true, false, 1},
                 {"Цикл, sync lost after the check", true, true, 0}};
    for (const auto& c : cases) {
        Boxes.Requests.clear();
        Tap->Board.SetSync(c.LoseSyncAfterCheck ? SyncSignal::SquareWave : SyncSignal::StuckHigh);
        Tap->OnEvent = [&](const QString& event) {
            if (event.startsWith("ctl"))
                Tap->Board.SetSync(SyncSignal::StuckHigh);
        };
        if (c.Cycle)
            After(1000, [this] { Click(Camera->SpeedButton1); });
        Click(c.Cycle ? Camera->Button2 : Camera->Button1);
        ASSERT_EQ(Boxes.Requests.size(), c.Boxes) << c.Name;
        for (const auto& box : Boxes.Requests) {
            EXPECT_EQ(box.Text, TVs_optionsFrame::CameraFaultText);
            EXPECT_EQ(box.Caption, "Ошибка");
        }
        EXPECT_TRUE(videoUnchanged()) << c.Name;
        ExpectIdle(c.Name);
    }
    Tap->OnEvent = nullptr;
    Tap->Board.SetSync(SyncSignal::SquareWave);
}

TEST_F(CameraTest, QueuedStopAndCycle_DuringAnAccumulation_StartNoSecondOperation) {
    Start("aru=1\r\naddframe=1\r\nnframe=2\r\n");
    After(300, [this] {
        QMetaObject::invokeMethod(Camera->SpeedButton1, &QAbstractButton::click, Qt::QueuedConnection);
        QMetaObject::invokeMethod(Camera->Button2, &QAbstractButton::click, Qt::QueuedConnection);
    });
    Click(Camera->Button1);
    // The start of "Пуск" and the three of its exposure; a second command would have sent another.
    EXPECT_EQ(Tap->Events.filter("ctl").size(), 4);
    EXPECT_EQ(Tap->Events.count("read"), 1);
    EXPECT_EQ(Tap->Events.mid(Tap->Events.size() - GrabEvents.size()), GrabEvents);
    QCoreApplication::processEvents();
    EXPECT_EQ(Tap->Events.count("read"), 1);
    ExpectIdle("after the queued clicks");
}

TEST_F(CameraTest, Guards_VideoWindowGoneDuringACommand_EndsItAsStopDoes) {
    const struct {
        const char* Name;
        QByteArray Keys;
        bool Cycle;
        bool ModeSwitch; // else the video window is destroyed
    } cases[] = {{"Цикл, mode switch", "addframe=0\r\n", true, true},
                 {"Цикл, window destroyed", "addframe=0\r\n", true, false},
                 {"Цикл accumulating, mode switch", "addframe=1\r\nnframe=1\r\n", true, true},
                 {"Цикл accumulating, window destroyed", "addframe=1\r\nnframe=1\r\n", true, false},
                 {"Пуск accumulating, mode switch", "addframe=1\r\nnframe=1\r\n", false, true},
                 {"Пуск accumulating, window destroyed", "addframe=1\r\nnframe=1\r\n", false, false}};
    for (const auto& c : cases) {
        Start("aru=0\r\n" + c.Keys);
        qsizetype eventsAtAction = -1;
        After(300, [&] {
            eventsAtAction = Tap->Events.size();
            if (c.ModeSwitch)
                Form->SetMode(0);
            else
                delete Form->VideoWindow()->parentWidget();
        });
        Click(c.Cycle ? Camera->Button2 : Camera->Button1);
        ASSERT_GE(eventsAtAction, 0) << c.Name;
        const QStringList after = Tap->Events.mid(eventsAtAction);
        EXPECT_FALSE(after.contains("read")) << c.Name;
        if (c.Keys.startsWith("addframe=1")) { // the exposure was ended all the same
            EXPECT_EQ(after.last(), "ctl(0,1,0,1,7)") << c.Name;
        }
        ExpectIdle(c.Name);
        EXPECT_TRUE(Form->N13->isEnabled()) << c.Name;
    }
    EXPECT_TRUE(Boxes.Requests.empty());
}

TEST_F(CameraTest, ClosingTheMainWindowDuringCycle_EndsTheLoopAndWritesTheSettings) {
    Start("aru=0\r\naddframe=0\r\n");
    Click(Camera->CheckBox4);
    After(300, [this] { Form->close(); });
    Click(Camera->Button2);
    EXPECT_TRUE(CameraStop);
    EXPECT_FALSE(Camera->Timer1.Enabled());
    EXPECT_EQ(Stored(),
              QByteArray("[System]\r\nBasePort=300\r\n[Videocamera]\r\naru=1\r\naddframe=0\r\ngamma=1\r\n"
                         "nframe=1.0\r\n[Desktop]\r\nMode=1\r\n"));
}

TEST_F(CameraTest, UndoDuringCycle_TheNextFrameLandsInTheNewPicture) {
    Start("aru=0\r\naddframe=0\r\n");
    TPictForm* video = Form->VideoWindow();
    const TPixelGraphic* replaced = nullptr;
    int capturesAtUndo = 0;
    int passes = 0;
    EveryPass([&] {
        if (++passes == 1) {
            video->KeepPicture();
            const TPixelGraphic* old = &Video();
            video->Undo();
            replaced = &Video();
            EXPECT_NE(replaced, old);
            capturesAtUndo = Tap->Board.CapturedFrames();
            return;
        }
        EXPECT_EQ(&Video(), replaced);
        EXPECT_EQ(MarkerLeft(Video()), 16 + 24 * (capturesAtUndo % 20));
        Click(Camera->SpeedButton1);
    });
    Click(Camera->Button2);
    EXPECT_EQ(passes, 2);
    ExpectIdle("after Цикл");
}

// Not a check but pictures to look at: run with LUSIDOR_SHOTS=<folder> under a real display server.
TEST_F(CameraTest, Screenshot_CameraWindowInBothModesAndTheMainWindowWithAFrame) {
    const QString shots = qEnvironmentVariable("LUSIDOR_SHOTS");
    if (shots.isEmpty())
        GTEST_SKIP() << "set LUSIDOR_SHOTS to a folder to take the screenshots";
    QDir().mkpath(shots);
    Start("aru=0\r\ngamma=0\r\naddframe=0\r\nnframe=1.5\r\n");
    Form->resize(1100, 760);
    QCoreApplication::processEvents();
    Click(Camera->Button1);
    QCoreApplication::processEvents();
    EXPECT_TRUE(Form->grab().save(shots + "/main-camera-mode.png"));
    EXPECT_TRUE(Camera->grab().save(shots + "/camera-normal.png"));
    Click(Camera->CheckBox2);
    EXPECT_TRUE(Camera->grab().save(shots + "/camera-accumulation.png"));
    const auto timer1Timer = Camera->Timer1.OnTimer;
    Camera->Timer1.OnTimer = [&](TObject* sender) {
        timer1Timer(sender);
        if (!Camera->Timer1.Enabled()) {
            EXPECT_TRUE(Camera->grab().save(shots + "/camera-accumulation-end.png"));
        }
    };
    Click(Camera->Button1);
}
