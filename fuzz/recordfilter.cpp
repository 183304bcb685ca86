// Opens arbitrary bytes as the records viewer's table with its query filter on, as the query window runs it:
// the first bytes are the query, the rest the table file. The filtered records are browsed both ways,
// reading every field, and must be the same records either way.
// Input: field (1 byte, 0 infection, 1 supplier, 2 patient), flags (1 byte: case, date from, date to, time
// from, time to, from the lowest bit), date from, date to, time from, time to (4 bytes each, little-endian),
// the query text's length n (1 byte) and n bytes of UTF-8, then the table file.
// Seeds: make-bindata-seeds.py. Five minutes under ASan and UBSan (build-fuzz as in .ci/run):
//     build-fuzz/fuzz/fuzz_recordfilter -max_total_time=300 -timeout=10 <empty work dir>
//     fuzz/corpus/recordfilter
#include "velmora/RecordFilter.h"
#include "binary-dataset/bindata.h"
#include "framework/StreamIO.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t QueryHeaderSize = 19;

// One table file per fuzzing process, removed when it ends.
struct TFuzzTable {
    const QString Path = QDir::temp().filePath(QStringLiteral("fuzz_recordfilter_%1.dat").arg(getpid()));
    ~TFuzzTable() { QFile::remove(Path); }
};

TRecordQuery QueryOf(const uint8_t* Bytes) {
    TRecordQuery q;
    q.Field = Bytes[0] % 3;
    q.CaseSensitive = Bytes[1] & 1;
    q.DateFromOn = Bytes[1] & 2;
    q.DateToOn = Bytes[1] & 4;
    q.TimeFromOn = Bytes[1] & 8;
    q.TimeToOn = Bytes[1] & 16;
    q.DateFrom = int32_t(GetLE32(Bytes + 2));
    q.DateTo = int32_t(GetLE32(Bytes + 6));
    q.TimeFrom = int32_t(GetLE32(Bytes + 10));
    q.TimeTo = int32_t(GetLE32(Bytes + 14));
    return q;
}

// The record numbers the filter lets through, each record's fields read as the grid shows them.
std::vector<int> Browse(TDataSet& Data, bool Forward) {
    std::vector<int> records;
    for (Forward ? Data.First() : Data.Last(); !(Forward ? Data.Eof() : Data.Bof());
         Forward ? Data.Next() : Data.Prior()) {
        records.push_back(Data.GetRecNo());
        for (int i = 0; i < Data.FieldCount(); ++i)
            (void)Data.Fields(i).AsString();
    }
    if (!Forward)
        std::reverse(records.begin(), records.end());
    return records;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static const TFuzzTable table;
    if (size < QueryHeaderSize || size < QueryHeaderSize + bytes[QueryHeaderSize - 1])
        return 0;
    const size_t textLength = bytes[QueryHeaderSize - 1];
    TRecordFilter filter;
    filter.Query = QueryOf(bytes);
    filter.Query.QueryText =
        QString::fromUtf8(reinterpret_cast<const char*>(bytes + QueryHeaderSize), qsizetype(textLength))
            .trimmed();
    {
        QFile file(table.Path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(bytes + QueryHeaderSize + textLength),
                   qint64(size - QueryHeaderSize - textLength));
    }
    TBinaryDataSet data;
    data.SetReadOnly(true);
    data.SetTableName(table.Path);
    data.SetFiltered(true);
    data.OnFilterRecord = [&](TDataSet* DataSet, bool& Accept) { Accept = filter.Accept(*DataSet); };
    data.BeforeOpen = [&](TDataSet*) { filter.Unbind(); };
    try {
        data.Open();
        if (Browse(data, true) != Browse(data, false))
            std::abort();
        data.Refresh();
        (void)Browse(data, true);
    } catch (const Exception&) {
        // A damaged table, or one without the query's fields, is refused; crashing, hanging or leaking is
        // not.
    }
    return 0;
}
