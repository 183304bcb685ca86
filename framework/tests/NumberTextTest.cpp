// Reading and writing numbers: the accepted forms, the positions reported for bad text, the 32-bit integer
// forms, Str-style formatting, and independence from the locale.
#include "framework/NumberText.h"

#include <QLocale>
#include <QTemporaryDir>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <gtest/gtest.h>
#include <locale>
#include <random>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int BadPosition(const QString& text) {
    double value = 0;
    int position = 0;
    EXPECT_FALSE(ParseReal(text, value, position)) << text.toStdString();
    return position;
}

double Parsed(const QString& text) {
    double value = -999;
    int position = 0;
    EXPECT_TRUE(ParseReal(text, value, position)) << text.toStdString() << " fails at " << position;
    return value;
}

} // namespace

TEST(ParseReal, DecimalForms_GiveTheNearestDouble) {
    EXPECT_EQ(Parsed("12.5"), 12.5);
    EXPECT_EQ(Parsed("-0.5"), -0.5);
    EXPECT_EQ(Parsed("+.5"), 0.5);
    EXPECT_EQ(Parsed("5."), 5.0);
    EXPECT_EQ(Parsed("0.1"), 0.1);
    EXPECT_EQ(Parsed("2.5E-1"), 0.25);
    EXPECT_EQ(Parsed("000123.4500"), 123.45);
    EXPECT_EQ(Parsed("12345678901234567890123"), 12345678901234567890123.0);
    EXPECT_EQ(Parsed("0e99999"), 0.0);
    EXPECT_TRUE(std::isinf(Parsed("1e999")));
    EXPECT_EQ(Parsed("678.331e-19"), 678.331e-19);
    EXPECT_EQ(Parsed("-1e-400"), -0.0);
}

TEST(ParseReal, RandomTexts_MatchTheClassicLocaleReader) {
    std::mt19937_64 random(7);
    for (int i = 0; i < 20000; ++i) {
        const QString text = QString("%1.%2e%3")
                                 .arg(random() % 100000)
                                 .arg(random() % 1000000, 6, 10, QChar('0'))
                                 .arg(int(random() % 600) - 300);
        std::istringstream stream(text.toStdString());
        stream.imbue(std::locale::classic());
        double expected = 0;
        stream >> expected;
        ASSERT_EQ(Parsed(text), expected) << text.toStdString();
    }
}

TEST(ParseReal, BadText_ReportsTheFirstBadCharacterOneBased) {
    EXPECT_EQ(BadPosition(""), 1);
    EXPECT_EQ(BadPosition(" 1"), 1);
    EXPECT_EQ(BadPosition("inf"), 1);
    EXPECT_EQ(BadPosition("1,5"), 2);
    EXPECT_EQ(BadPosition("--1"), 2);
    EXPECT_EQ(BadPosition("."), 2);
    EXPECT_EQ(BadPosition("1e+"), 4);
    EXPECT_EQ(BadPosition("1.2.3"), 4);
    double value = 7.0;
    int position = 0;
    ASSERT_FALSE(ParseReal("7,5", value, position));
    EXPECT_EQ(value, 7.0);
}

TEST(ParseInteger, DecimalAndDollarHex_WithinThirtyTwoBits) {
    const std::pair<const char*, int32_t> good[] = {
        {"42", 42},
        {"-7", -7},
        {"+3", 3},
        {"$1F", 31},
        {"$ff", 255},
        {"-$10", -16},
        {"$FFFFFFFF", -1},
        {"$7FFFFFFF", INT32_MAX},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
    };
    for (const auto& [text, expected] : good) {
        int32_t value = 0;
        EXPECT_TRUE(ParseInteger(text, value)) << text;
        EXPECT_EQ(value, expected) << text;
    }
    for (const char* text :
         {"", "-", "$", "1.0", "0x10", " 1", "1 ", "12a", "2147483648", "-2147483649", "$100000000", "$G"}) {
        int32_t value = 99;
        EXPECT_FALSE(ParseInteger(text, value)) << text;
        EXPECT_EQ(value, 99) << text;
    }
}

TEST(FormatFixed, OneDecimalPaddedToTheWidth) {
    EXPECT_EQ(FormatFixed(1, 2, 1), "1.0");
    EXPECT_EQ(FormatFixed(12.5, 2, 1), "12.5");
    EXPECT_EQ(FormatFixed(-1.5, 5, 1), " -1.5");
    EXPECT_EQ(FormatFixed(3 * 0.1, 3, 1), "0.3");
    EXPECT_EQ(FormatFixed(0.25, 3, 1), "0.3"); // an exact half goes away from zero
    EXPECT_EQ(FormatFixed(0.15, 3, 1), "0.1"); // 0.15 is stored a little below the half
    EXPECT_EQ(FormatFixed(2.0 / 3, 1, 2), "0.67");
}

namespace {

// Runs localedef through posix_spawnp, whose child runs none of our code before the program: a child that
// shares our memory and runs intercepted calls (as QProcess's does) leaves ThreadSanitizer blind to this
// process's locks afterwards.
bool BuildLocale(const QString& Path) {
    QByteArray path = Path.toLocal8Bit();
    char program[] = "localedef", input[] = "-i", name[] = "ru_RU", charmap[] = "-f", utf8[] = "UTF-8";
    char* argv[] = {program, input, name, charmap, utf8, path.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Russian number conventions (decimal comma) in the C library and in Qt for one test. When the system
// has no Russian locale it is built with localedef into a temporary folder.
class RussianLocale {
public:
    RussianLocale() : PreviousC(std::setlocale(LC_ALL, nullptr)), PreviousLocPath(qgetenv("LOCPATH")) {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        if (!std::setlocale(LC_ALL, "ru_RU.UTF-8") && Folder.isValid() &&
            BuildLocale(Folder.filePath("ru_RU.UTF-8"))) {
            qputenv("LOCPATH", Folder.path().toLocal8Bit());
            std::setlocale(LC_ALL, "ru_RU.UTF-8");
        }
    }
    ~RussianLocale() {
        std::setlocale(LC_ALL, PreviousC.c_str());
        qputenv("LOCPATH", PreviousLocPath);
        QLocale::setDefault(PreviousQt);
    }
    bool DecimalComma() const { return std::string(std::localeconv()->decimal_point) == ","; }

private:
    std::string PreviousC;
    QByteArray PreviousLocPath;
    QLocale PreviousQt;
    QTemporaryDir Folder;
};

} // namespace

TEST(NumberText, RussianLocale_ChangesNothing) {
    const RussianLocale russian;
    if (!russian.DecimalComma())
        GTEST_SKIP() << "no Russian locale could be made (localedef and the locales package are needed)";
    EXPECT_EQ(Parsed("12.5"), 12.5);
    EXPECT_EQ(BadPosition("12,5"), 3);
    EXPECT_EQ(FormatFixed(12.5, 2, 1), "12.5");
    EXPECT_EQ(FormatFixed(1234567.0, 2, 1), "1234567.0");
}
