// The binary dataset on a table of 1,000,000 records of the records viewer's 195-byte layout, timed beside
// one plain read of the same file (the memory bound); the summary says whether open with scan stays within
// five times that bound.
#include "bench/SummaryReporter.h"
#include "binary-dataset/bindata.h"
#include "binary-dataset/tests/TableBytes.h"
#include "framework/Win1251.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <unistd.h>

namespace {

constexpr int RecordCount = 1'000'000;
constexpr int DeleteCount = 10'000;
constexpr int InfectOffset = 64; // of the records viewer's layout
const QString Infections[] = {"Грипп", "Корь", "Краснуха", "Паротит"};

QTemporaryDir& Dir() {
    static QTemporaryDir dir;
    return dir;
}

QString TablePath() {
    return Dir().filePath("MBase.dat");
}

void Open(TBinaryDataSet& data) {
    data.SetTableName(TablePath());
    data.Open();
}

int Scan(TBinaryDataSet& data) {
    int count = 0;
    for (data.First(); !data.Eof(); data.Next())
        ++count;
    return count;
}

void Create(benchmark::State& state) {
    for (auto _ : state) {
        QFile::remove(TablePath());
        TBinaryDataSet data;
        data.SetTableName(TablePath());
        AddRecordsViewerFields(data.FieldDefs);
        data.CreateTable();
        data.Open();
        TField& name = data.FieldByName("FNAME");
        TField& infect = data.FieldByName("INFECT");
        TField& value = data.FieldByName("VALUE");
        TField& date = data.FieldByName("DATES");
        for (int i = 0; i < RecordCount; ++i) {
            data.Append();
            name.SetAsString(QString::number(i) + ".bmp");
            infect.SetAsString(Infections[i % 4]);
            value.SetAsInteger(i % 30000);
            date.SetAsDate(QDate(2024, 1, 1).addDays(i % 365));
            data.Post();
        }
    }
}

void PlainRead(benchmark::State& state) {
    const int fd = ::open(QFile::encodeName(TablePath()).constData(), O_RDONLY);
    std::vector<char> bytes(size_t(QFile(TablePath()).size()), 1);
    for (auto _ : state)
        if (::read(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()) || lseek(fd, 0, SEEK_SET) != 0)
            state.SkipWithError("short read");
    ::close(fd);
}

void OpenWithScan(benchmark::State& state) {
    for (auto _ : state) {
        TBinaryDataSet data;
        Open(data);
        benchmark::DoNotOptimize(Scan(data));
    }
}

void FilteredScan(benchmark::State& state) {
    // The query window's kind of filter: a prefix of the infection, compared in the raw record.
    const QByteArray wanted = *EncodeWin1251(Infections[1]);
    TBinaryDataSet data;
    data.OnFilterRecord = [&](TDataSet*, bool& accept) {
        accept = std::memcmp(data.LastRecordBuffer() + InfectOffset, wanted.constData(),
                             size_t(wanted.size())) == 0;
    };
    data.SetFiltered(true);
    Open(data);
    for (auto _ : state)
        benchmark::DoNotOptimize(Scan(data));
}

void Deletes(benchmark::State& state) {
    TBinaryDataSet data;
    Open(data);
    for (auto _ : state)
        for (int i = 0; i < DeleteCount; ++i) {
            data.GotoBookmark(TBookmark(i) * (RecordCount / DeleteCount));
            data.Delete();
        }
}

void ReRead(benchmark::State& state) {
    TBinaryDataSet data;
    Open(data);
    for (auto _ : state) {
        data.Close();
        data.Open();
        benchmark::DoNotOptimize(Scan(data));
    }
}

} // namespace

BENCHMARK(Create)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainRead)->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenWithScan)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(FilteredScan)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(Deletes)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(ReRead)->Iterations(5)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& ms = reporter.Milliseconds;
    if (!ms.count("PlainRead") || !ms.count("OpenWithScan"))
        return 0; // a filter left out the figures the summary compares
    const double bound = ms.at("PlainRead");
    std::printf("\n%d records of 195 bytes; memory bound (one plain read of the file): %.1f ms\n",
                RecordCount, bound);
    const std::pair<const char*, const char*> rows[] = {{"Create", "create (1,000,000 appends)"},
                                                        {"OpenWithScan", "open with scan"},
                                                        {"FilteredScan", "filtered scan"},
                                                        {"Deletes", "10,000 deletes"},
                                                        {"ReRead", "re-read (close, open, scan)"}};
    for (const auto& [key, label] : rows)
        if (ms.count(key))
            std::printf("  %-30s %10.1f ms  %7.1f x bound\n", label, ms.at(key), ms.at(key) / bound);
    const double ratio = ms.at("OpenWithScan") / bound;
    std::printf("Open with scan is %s 5 times the memory bound (%.1f x).\n",
                ratio <= 5 ? "within" : "NOT within", ratio);
    return 0;
}
