// Day numbers and milliseconds of the framework's time stamp, and their QDate/QTime equivalents.
#include "framework/TimeStamp.h"

#include <algorithm>
#include <cmath>

namespace {

// QDate's Julian day of 0001-01-01 is day number 1.
const qint64 JulianDayOfDayZero = QDate(1, 1, 1).toJulianDay() - 1;

} // namespace

int32_t DateToDayNumber(QDate date) {
    if (!date.isValid())
        return 0;
    const qint64 day = date.toJulianDay() - JulianDayOfDayZero;
    return day >= 1 && day <= MaxDayNumber ? int32_t(day) : 0;
}

QDate DayNumberToDate(int32_t day) {
    if (day < 1 || day > MaxDayNumber)
        return {};
    return QDate::fromJulianDay(JulianDayOfDayZero + day);
}

int32_t TimeToMSecs(QTime time) {
    return time.isValid() ? time.msecsSinceStartOfDay() : 0;
}

QTime MSecsToTime(int32_t msecs) {
    if (msecs < 0 || msecs >= MSecsPerDay)
        return {};
    return QTime::fromMSecsSinceStartOfDay(msecs);
}

double DateTimeToMSecs(const QDateTime& dateTime) {
    const int32_t day = DateToDayNumber(dateTime.date());
    if (day == 0 || !dateTime.time().isValid())
        return 0;
    return double(day) * MSecsPerDay + TimeToMSecs(dateTime.time());
}

QDateTime MSecsToDateTime(double msecs) {
    if (!std::isfinite(msecs) || msecs < MSecsPerDay || msecs >= (double(MaxDayNumber) + 1) * MSecsPerDay)
        return {};
    const double day = std::floor(msecs / MSecsPerDay);
    const QDate date = DayNumberToDate(int32_t(day));
    // Rounded within the day: the last half millisecond must not round up to a time of day that is none.
    const int64_t ms = std::min<int64_t>(std::llrint(msecs - day * MSecsPerDay), MSecsPerDay - 1);
    const QTime time = MSecsToTime(int32_t(ms));
    return time.isValid() ? QDateTime(date, time, Qt::UTC) : QDateTime();
}
