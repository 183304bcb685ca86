#include "framework/TimeStamp.h"

#include <QTimeZone>
#include <gtest/gtest.h>

// Day numbers as Python's date.toordinal() gives them, which also counts 0001-01-01 as day 1.
TEST(TimeStamp, DayNumbers_FirstJanuaryOfYearOneIsDayOne) {
    EXPECT_EQ(DateToDayNumber(QDate(1, 1, 1)), 1);
    EXPECT_EQ(DateToDayNumber(QDate(1899, 12, 30)), 693594);
    EXPECT_EQ(DateToDayNumber(QDate(2024, 3, 15)), 738960);
    EXPECT_EQ(DateToDayNumber(QDate(9999, 12, 31)), 3652059);
    EXPECT_EQ(DateToDayNumber(QDate(10000, 1, 1)), 0);
    EXPECT_EQ(DateToDayNumber(QDate(0, 12, 31)), 0) << "Qt has no year 0: this is 1 BC";
    EXPECT_EQ(DateToDayNumber(QDate()), 0);
    EXPECT_EQ(DayNumberToDate(738960), QDate(2024, 3, 15));
    EXPECT_FALSE(DayNumberToDate(0).isValid()) << "the unset date of a fresh record";
    EXPECT_FALSE(DayNumberToDate(-5).isValid());
    EXPECT_FALSE(DayNumberToDate(3652060).isValid());
}

TEST(TimeStamp, Times_MillisecondsSinceMidnight) {
    EXPECT_EQ(TimeToMSecs(QTime(13, 45, 30, 250)), 49530250);
    EXPECT_EQ(MSecsToTime(49530250), QTime(13, 45, 30, 250));
    EXPECT_EQ(MSecsToTime(0), QTime(0, 0));
    EXPECT_FALSE(MSecsToTime(MSecsPerDay).isValid());
    EXPECT_FALSE(MSecsToTime(-1).isValid());
}

TEST(TimeStamp, DateTimes_TakeDateAndTimeAsWrittenWhateverTheZone) {
    const QDateTime moscow(QDate(2024, 3, 15), QTime(12, 0), QTimeZone(3 * 3600));
    EXPECT_EQ(DateTimeToMSecs(moscow), 738960.0 * MSecsPerDay + 12 * 3600 * 1000);
    EXPECT_EQ(MSecsToDateTime(738960.0 * MSecsPerDay + 12 * 3600 * 1000),
              QDateTime(QDate(2024, 3, 15), QTime(12, 0), Qt::UTC));
    EXPECT_EQ(MSecsToDateTime(double(MSecsPerDay)), QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC));
    EXPECT_EQ(MSecsToDateTime(738960.0 * MSecsPerDay + 86399999.5),
              QDateTime(QDate(2024, 3, 15), QTime(23, 59, 59, 999), Qt::UTC))
        << "the last half millisecond stays in its day";
    for (double bad : {0.0, -1.0, 1e300, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_FALSE(MSecsToDateTime(bad).isValid()) << bad;
    EXPECT_EQ(DateTimeToMSecs(QDateTime()), 0);
}
