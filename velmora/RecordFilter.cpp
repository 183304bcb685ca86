// The record filter of the query window.
#include "velmora/RecordFilter.h"

#include "framework/TimeStamp.h"

#include <algorithm>

namespace {

constexpr int32_t MSecsPerMinute = 60'000;
const char* const SearchFields[] = {"INFECT", "POSTAV", "BOLN"};

} // namespace

bool TRecordQuery::Accepts(const QString& Text, int32_t Date, int32_t Time) const {
    if (!Text.startsWith(QueryText, CaseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive))
        return false;
    if ((DateFromOn && Date < DateFrom) || (DateToOn && Date > DateTo))
        return false;
    // 64 bits: the end of the minute 23:59 is one past the last millisecond of the day.
    return !(TimeFromOn && Time < TimeFrom) &&
           !(TimeToOn && int64_t(Time) >= int64_t(TimeTo) + MSecsPerMinute);
}

bool TRecordFilter::Accept(TDataSet& DataSet) {
    if (!TextField) {
        // All three or none: a missing one raises before any is kept.
        TField& text = DataSet.FieldByName(QLatin1String(SearchFields[std::clamp(Query.Field, 0, 2)]));
        DateField = &DataSet.FieldByName(QStringLiteral("DATES"));
        TimeField = &DataSet.FieldByName(QStringLiteral("TIMES"));
        TextField = &text;
    }
    const bool dates = Query.DateFromOn || Query.DateToOn;
    const bool times = Query.TimeFromOn || Query.TimeToOn;
    return Query.Accepts(TextField->AsString(), dates ? DateToDayNumber(DateField->AsVariant().toDate()) : 0,
                         times ? TimeToMSecs(TimeField->AsVariant().toTime()) : 0);
}
