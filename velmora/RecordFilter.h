// The query window's record filter: the query as "Выполнить" captured it, and its test of one record.
#pragma once

#include "framework/DataSet.h"

#include <QString>
#include <cstdint>

struct TRecordQuery {
    int Field = 0; // 0 infection, 1 supplier, 2 patient
    bool CaseSensitive = false;
    QString QueryText;                // trimmed
    int32_t DateFrom = 0, DateTo = 0; // day numbers of the framework's time stamp
    int32_t TimeFrom = 0, TimeTo = 0; // milliseconds since midnight of the bounds' minutes
    bool DateFromOn = false, DateToOn = false, TimeFromOn = false, TimeToOn = false;

    // The field's text begins with QueryText (letters of any alphabet compared without case unless
    // CaseSensitive), and the date and time lie within the bounds that are on. Date bounds take in their
    // whole day and the upper time bound its whole minute.
    bool Accepts(const QString& Text, int32_t Date, int32_t Time) const;
};

// Tests the records a dataset reads against a query. Its fields are looked up by name on the first record
// after each open; a table without them raises from there.
class TRecordFilter {
public:
    TRecordQuery Query;

    // Forget the fields of the last open: the dataset makes new ones.
    void Unbind() { TextField = DateField = TimeField = nullptr; }
    bool Accept(TDataSet& DataSet);

private:
    TField* TextField = nullptr;
    TField* DateField = nullptr;
    TField* TimeField = nullptr;
};
