// Opens arbitrary bytes as a table file and works it the way the records viewer does: browses every record
// both ways reading every field, edits, deletes, appends and re-reads.
#include "binary-dataset/bindata.h"

#include <QDir>
#include <QFile>
#include <unistd.h>

namespace {

// One table file per fuzzing process, removed when it ends.
struct TFuzzTable {
    const QString Path = QDir::temp().filePath(QStringLiteral("fuzz_bindata_%1.dat").arg(getpid()));
    ~TFuzzTable() { QFile::remove(Path); }
};

void ReadAllFields(const TDataSet& data) {
    for (int i = 0; i < data.FieldCount(); ++i)
        (void)data.Fields(i).AsString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static const TFuzzTable table;
    {
        QFile file(table.Path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(bytes), qint64(size));
    }
    TBinaryDataSet data;
    data.SetTableName(table.Path);
    try {
        data.Open();
        for (data.First(); !data.Eof(); data.Next())
            ReadAllFields(data);
        for (data.Last(); !data.Bof(); data.Prior())
            ReadAllFields(data);
        if (!data.IsEmpty()) {
            data.Edit();
            data.Fields(0).Clear();
            data.Post();
            data.Delete();
        }
        data.Append();
        data.Post();
        data.Refresh();
        ReadAllFields(data);
    } catch (const Exception&) {
        // Refusing a damaged file is the expected outcome; crashing, hanging or leaking is not.
    }
    return 0;
}
