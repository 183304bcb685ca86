#include "velmora/RecordFilter.h"

#include <gtest/gtest.h>

namespace {

int32_t Ms(int h, int m, int s = 0, int ms = 0) {
    return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

struct TCase {
    const char* What;
    TRecordQuery Query;
    QString Text;
    int32_t Date;
    int32_t Time;
    bool Accepted;
};

TRecordQuery Text(const QString& text, bool caseSensitive = false) {
    TRecordQuery q;
    q.QueryText = text;
    q.CaseSensitive = caseSensitive;
    return q;
}

TRecordQuery Dates(int32_t from, int32_t to) {
    TRecordQuery q;
    q.DateFrom = from;
    q.DateTo = to;
    q.DateFromOn = q.DateToOn = true;
    return q;
}

TRecordQuery Times(int32_t from, int32_t to, bool fromOn = true, bool toOn = true) {
    TRecordQuery q;
    q.TimeFrom = from;
    q.TimeTo = to;
    q.TimeFromOn = fromOn;
    q.TimeToOn = toOn;
    return q;
}

} // namespace

TEST(RecordFilter, Accepts_TextPrefixCaseAndBounds) {
    TRecordQuery off = Dates(100, 50);
    off.DateFromOn = off.DateToOn = false;
    const TCase cases[] = {
        {"empty text, no bounds", Text(""), "", 0, 0, true},
        {"latin, case ignored", Text("ab"), "ABC", 0, 0, true},
        {"latin, case kept", Text("ab", true), "ABC", 0, 0, false},
        {"latin, same case kept", Text("AB", true), "ABC", 0, 0, true},
        {"cyrillic, case ignored", Text("грип"), "Грипп А", 0, 0, true},
        {"cyrillic ё, case ignored", Text("ёж"), "ЁЖИК", 0, 0, true},
        {"cyrillic, case kept", Text("грип", true), "Грипп", 0, 0, false},
        {"longer than the field", Text("Грипп А2"), "Грипп А", 0, 0, false},
        {"not a prefix", Text("рипп"), "Грипп", 0, 0, false},
        {"bounds off", off, "x", 7, 0, true},
        {"lower date inclusive", Dates(10, 20), "", 10, Ms(0, 0), true},
        {"upper date inclusive, any time", Dates(10, 20), "", 20, Ms(23, 59, 59, 999), true},
        {"before the dates", Dates(10, 20), "", 9, 0, false},
        {"after the dates", Dates(10, 20), "", 21, 0, false},
        {"lower time inclusive", Times(Ms(10, 30), Ms(11, 0)), "", 0, Ms(10, 30), true},
        {"before the lower minute", Times(Ms(10, 30), Ms(11, 0)), "", 0, Ms(10, 29, 59, 999), false},
        {"seconds in the upper minute", Times(0, Ms(23, 59), false), "", 0, Ms(23, 59, 30), true},
        {"last millisecond of the day", Times(0, Ms(23, 59), false), "", 0, Ms(23, 59, 59, 999), true},
        {"after the upper minute", Times(0, Ms(10, 15), false), "", 0, Ms(10, 16), false},
        {"crossed range 10:30 to 10:15, early", Times(Ms(10, 30), Ms(10, 15)), "", 0, Ms(10, 20), false},
        {"crossed range 10:30 to 10:15, late", Times(Ms(10, 30), Ms(10, 15)), "", 0, Ms(10, 40), false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(c.Query.Accepts(c.Text, c.Date, c.Time), c.Accepted) << c.What;
}
