// The framework's time stamp as stored in table files: a day number with 0001-01-01 as day 1 and the
// milliseconds since midnight. Conversions never pass through a time zone: a date and a time of day are
// taken as they read.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cstdint>

constexpr int32_t MSecsPerDay = 86'400'000;
constexpr int32_t MaxDayNumber = 3'652'059; // 9999-12-31, the last day the framework's dates reach

// 0 for an invalid date or one outside 0001-01-01 .. 9999-12-31.
int32_t DateToDayNumber(QDate date);
// An invalid date for a day number outside 1 .. MaxDayNumber (0 is the unset date of a fresh record).
QDate DayNumberToDate(int32_t day);

// 0 for an invalid time.
int32_t TimeToMSecs(QTime time);
// An invalid time outside 0 .. MSecsPerDay - 1.
QTime MSecsToTime(int32_t msecs);

// A date and time as one number of milliseconds since day 0, the form a date-time slot keeps as a double.
// 0 for an invalid date-time; an invalid QDateTime for anything that is not a whole valid day and time.
double DateTimeToMSecs(const QDateTime& dateTime);
QDateTime MSecsToDateTime(double msecs);
