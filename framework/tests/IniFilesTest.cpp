// The settings file: case-blind lookup with the first match winning, writes that change only the value's
// bytes or append, robustness against odd text, and failures that leave the file alone.
#include "framework/IniFiles.h"
#include "framework/testing/FakeClock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

class IniFileTest : public ::testing::Test {
protected:
    QString Path(const QString& name = "Lusidor.ini") const { return Folder.filePath(name); }

    void Store(const QByteArray& content) {
        QFile file(Path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QByteArray Stored() const {
        QFile file(Path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir Folder;
};

const QByteArray settings = "; Lusidor settings\r\n"
                            "[System]\r\n"
                            "PLMnamefile=vs56_512.spe\r\n"
                            "BasePort = 300\r\n"
                            "\r\n"
                            "[VideoCamera]\r\n"
                            "  NFrame =  2.5   \r\n"
                            "aru=1\n"
                            "; gamma=0\r\n"
                            "gamma=1\r\n"
                            "\r\n"
                            "[PATH]\r\n"
                            "Images=IMAGES\\\r\n"
                            "\r\n"
                            "[Desktop]\r\n"
                            "Mode=0";

// Bytes of the heap in use (zero under a sanitizer that keeps its own heap).
qint64 HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

} // namespace

TEST_F(IniFileTest, Read_IgnoresCaseTrimsValuesAndSkipsComments) {
    Store(settings);
    const TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString("system", "BASEPORT", "356"), "300");
    EXPECT_EQ(ini.ReadString("Videocamera", "nframe", "1"), "2.5");
    EXPECT_EQ(ini.ReadString("Videocamera", "gamma", "?"), "1");
    EXPECT_EQ(ini.ReadString("PATH", "Images", "?"), "IMAGES\\");
    EXPECT_EQ(ini.ReadInteger("DESKTOP", "mode", 5), 0);
    EXPECT_EQ(ini.ReadString("Videocamera", "zoom", "1"), "1");
    EXPECT_EQ(ini.ReadString("Nowhere", "Mode", "d"), "d");
}

TEST_F(IniFileTest, Write_ChangesOnlyTheValuesAndAppendsWhatIsMissing) {
    Store(settings);
    TIniFile ini(Path());
    ini.WriteString("Videocamera", "nframe", "1.0");
    ini.WriteInteger("videocamera", "ARU", 0);
    ini.WriteInteger("Videocamera", "addframe", 1);
    ini.WriteInteger("DeskTop", "Mode", 2);
    ini.WriteString("Extra", "Key", "v");
    EXPECT_EQ(Stored(), "; Lusidor settings\r\n"
                        "[System]\r\n"
                        "PLMnamefile=vs56_512.spe\r\n"
                        "BasePort = 300\r\n"
                        "\r\n"
                        "[VideoCamera]\r\n"
                        "  NFrame =  1.0   \r\n"
                        "aru=0\n"
                        "; gamma=0\r\n"
                        "gamma=1\r\n"
                        "addframe=1\r\n"
                        "\r\n"
                        "[PATH]\r\n"
                        "Images=IMAGES\\\r\n"
                        "\r\n"
                        "[Desktop]\r\n"
                        "Mode=2\r\n"
                        "[Extra]\r\n"
                        "Key=v\r\n");
    EXPECT_EQ(TIniFile(Path()).ReadInteger("Desktop", "Mode", 0), 2);
}

TEST_F(IniFileTest, FirstMatchWins_ForSectionsAndKeys) {
    Store("orphan=1\n[A]\nk=1\nK=2\n[a]\nk=3\nx=4\n");
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString("a", "k", "d"), "1");
    EXPECT_EQ(ini.ReadString("A", "x", "d"), "d");
    EXPECT_EQ(ini.ReadString("A", "orphan", "d"), "d");
    ini.WriteString("a", "K", "9");
    ini.WriteString("a", "x", "5");
    EXPECT_EQ(Stored(), "orphan=1\n[A]\nk=9\nK=2\nx=5\n[a]\nk=3\nx=4\n");
}

TEST_F(IniFileTest, ReadInteger_DecimalOrDollarHexElseTheDefault) {
    Store("[S]\na= -12 \nb=$1F\nc=0x10\ne=\n");
    const TIniFile ini(Path());
    EXPECT_EQ(ini.ReadInteger("S", "a", 7), -12);
    EXPECT_EQ(ini.ReadInteger("S", "b", 7), 31);
    EXPECT_EQ(ini.ReadInteger("S", "c", 7), 7);
    EXPECT_EQ(ini.ReadInteger("S", "e", 7), 7);
    EXPECT_EQ(ini.ReadString("S", "e", "d"), "");
}

TEST_F(IniFileTest, MissingFile_ReadsDefaultsAndIsCreatedByTheFirstWrite) {
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString("PATH", "Images", "IMAGES\\"), "IMAGES\\");
    ini.WriteInteger("DeskTop", "Mode", 1);
    EXPECT_EQ(Stored(), "[DeskTop]\r\nMode=1\r\n");
}

TEST_F(IniFileTest, OddText_IsReadWithoutHarmAndKeptOnWrite) {
    QByteArray odd = "\xEF\xBB\xBF[System]\rBasePort=320\r[x";
    odd += '\0';
    odd += "y\r[broken\rk=\xFF\xFE\r" + QByteArray(1 << 20, '=') +
           "\r[ Padded ] trailing\rv = w\rt=C:\\ \xE3\ru= \xEF\xBB\xBF era]";
    Store(odd);
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString("System", "BasePort", "356"), "320");
    EXPECT_EQ(ini.ReadString("padded", "V", "d"), "w");
    EXPECT_EQ(ini.ReadString("padded", "t", "d"),
              QStringLiteral("C:\\ ") + QChar(QChar::ReplacementCharacter));
    // A byte-order mark inside the file belongs to its value, which reads and writes back as it stands.
    const QString marked = ini.ReadString("padded", "u", "d");
    EXPECT_EQ(marked, QChar(0xFEFF) + QStringLiteral(" era]"));
    ini.WriteString("padded", "u", marked);
    EXPECT_EQ(Stored(), odd);
    ini.WriteString("System", "PLMnamefile", "a");
    // Neither unclosed bracket starts a section, so [System] runs on to "[ Padded ]".
    QByteArray expected = odd;
    expected.insert(odd.indexOf("[ Padded ]"), "PLMnamefile=a\r");
    EXPECT_EQ(Stored(), expected);
}

TEST_F(IniFileTest, Failures_RaiseAndLeaveTheFileAlone) {
    TIniFile unreadable(Folder.path()); // a folder cannot be read as a file
    EXPECT_EQ(unreadable.GetReadError(),
              "Cannot open file \"" + QDir::toNativeSeparators(Folder.path()) + "\". Not a regular file");
    EXPECT_EQ(unreadable.ReadString("S", "k", "d"), "d");
    EXPECT_THROW(unreadable.WriteString("S", "k", "v"), EIniFileException);

    TIniFile nowhere(Folder.filePath("no/such/folder/Lusidor.ini"));
    EXPECT_THROW(nowhere.WriteString("S", "k", "v"), EIniFileException);

    Store(settings);
    TIniFile ini(Path());
    EXPECT_THROW(ini.WriteString("S", "k", "two\nlines"), EIniFileException);
    EXPECT_THROW(ini.WriteString("S\r", "k", "v"), EIniFileException);
    for (const auto& [section, key] : std::vector<std::pair<QString, QString>>{{"S", "a=b"},
                                                                               {"S", ";k"},
                                                                               {"S", "[k"},
                                                                               {"S", " k"},
                                                                               {"S", "k "},
                                                                               {"S", ""},
                                                                               {"S]", "k"},
                                                                               {" S", "k"},
                                                                               {"", "k"}})
        EXPECT_THROW(ini.WriteString(section, key, "v"), EIniFileException)
            << section.toStdString() << "/" << key.toStdString();
    EXPECT_EQ(Stored(), settings);
}

TEST_F(IniFileTest, TwoHandles_KeepEachOthersWrites) {
    Store(settings);
    TIniFile first(Path());
    TIniFile second(Path());
    first.WriteInteger("Desktop", "Mode", 2);
    second.WriteString("Videocamera", "nframe", "1.0");
    second.WriteString("New", "key", "x");
    first.WriteInteger("Videocamera", "aru", 0);
    const TIniFile reread(Path());
    EXPECT_EQ(reread.ReadInteger("Desktop", "Mode", -1), 2);
    EXPECT_EQ(reread.ReadString("Videocamera", "nframe", ""), "1.0");
    EXPECT_EQ(reread.ReadString("New", "key", ""), "x");
    EXPECT_EQ(reread.ReadInteger("Videocamera", "aru", -1), 0);
    EXPECT_EQ(first.ReadString("New", "key", ""), "x"); // a write also refreshes the handle's own copy
    EXPECT_FALSE(QFile::exists(Path() + ".lock"));
}

TEST_F(IniFileTest, LargeFile_AHandleHoldsLittleMoreThanItsBytesThroughReadsAndWrites) {
    const QByteArray large = QByteArray(1'000'000, '\n') + settings;
    Store(large);
    const qint64 before = HeapInUse();
    const auto heldBytes = [&] { return HeapInUse() - before; };
    TIniFile ini(Path());
    EXPECT_LT(heldBytes(), 2 * large.size());
    EXPECT_EQ(ini.ReadInteger("Desktop", "Mode", -1), 0);
    ini.WriteInteger("DeskTop", "Mode", 1);
    ini.WriteInteger("Videocamera", "addframe", 1);
    EXPECT_LT(heldBytes(), 2 * large.size());
    QByteArray expected = large;
    expected.replace("Mode=0", "Mode=1").replace("gamma=1\r\n", "gamma=1\r\naddframe=1\n");
    EXPECT_EQ(Stored(), expected);
}

TEST_F(IniFileTest, Lock_ALeftOverOneIsTakenAtOnceAndOneThatCannotBeHadFailsInTime) {
    Store(settings);
    const QString lockName = Path() + ".lock";
    FakeClock clock(1000, 1); // one tick per reading: the wait is counted in polls, never in real time
    TIniFile ini(Path());
    // Lock files of programs that died while writing, in whatever state they were left.
    for (const QByteArray& leftOver : {QByteArray(), QByteArray("12345\nLusidor\nelsewhere\n")}) {
        QFile file(lockName);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(leftOver);
        file.close();
        const uint32_t before = clock.Now;
        ini.WriteInteger("Desktop", "Mode", 1);
        EXPECT_LT(clock.Now - before, 10u) << leftOver.constData();
        EXPECT_FALSE(QFile::exists(lockName));
    }
    const QByteArray written = Stored();

    const auto failure = [&](const QString& expected) {
        const uint32_t before = clock.Now;
        try {
            ini.WriteInteger("Desktop", "Mode", 2);
            ADD_FAILURE() << "written without the lock";
        } catch (const EIniFileException& e) {
            EXPECT_TRUE(e.message().startsWith("Unable to lock " + Path() + " for writing: " + lockName))
                << e.what();
            EXPECT_TRUE(e.message().endsWith(expected)) << e.what();
        }
        return clock.Now - before;
    };
    // Held by a writer that never lets go (the system's lock conflicts between two opens of one process).
    const int holder = ::open(QFile::encodeName(lockName).constData(), O_RDWR | O_CREAT, 0666);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const uint32_t waited = failure(" has been held by another program for 5 seconds");
    EXPECT_GE(waited, TIniFile::LockWaitMs);
    EXPECT_LT(waited, TIniFile::LockWaitMs + 100);
    ::close(holder);
    QFile::remove(lockName);
    // A folder in the lock's place fails at once.
    ASSERT_TRUE(QDir().mkdir(lockName));
    EXPECT_LT(failure(": Is a directory"), 10u);
    EXPECT_EQ(Stored(), written);
}
