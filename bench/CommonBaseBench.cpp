// "Добавить в общую БД" at a laboratory's scale: 1,000 probes of ten pictures added to a records table of
// 100,000 records, and the same probes offered again, timed beside one plain read of that table.
#include "bench/SummaryReporter.h"
#include "binary-dataset/CommonBase.h"
#include "framework/TimeStamp.h"
#include "lusidor/CommonBaseWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <map>
#include <unistd.h>

namespace {

constexpr int TableRecords = 100'000;
constexpr int AddedProbes = 1'000;
constexpr int Pictures = 10;

QTemporaryDir& Dir() {
    static QTemporaryDir dir;
    return dir;
}
QString Images() {
    return Dir().filePath("IMAGES") + "/";
}
QString Stored() {
    return Dir().filePath("stored") + "/";
}
QString Base() {
    return Dir().filePath("base") + "/";
}

// Probes First .. First + Count - 1, each of its own name and second, over the ten pictures.
std::vector<TProbeRecord> Probes(int First, int Count) {
    const QDateTime start(QDate(2026, 1, 5), QTime(8, 0), Qt::UTC);
    std::vector<TProbeRecord> records;
    for (int i = First; i < First + Count; ++i) {
        const double stamp = DateTimeToMSecs(start.addSecs(i));
        records.push_back({QStringLiteral("pic%1.bmp").arg(i % Pictures), i % 2 ? "Грипп" : "Корь",
                           QStringLiteral("S%1").arg(i), "Лаб-1", "Иванов И.И.", "", i % 3 ? "" : "?",
                           1'005'000 + i, uint8_t(i), 30, Rect(i % 500, i % 400, i % 500 + 40, i % 400 + 30),
                           stamp, stamp});
    }
    return records;
}

// The table of 100,000 records kept in "stored/" with its pictures, made once.
void MakeStoredTable() {
    static bool made = false;
    if (made)
        return;
    made = true;
    QDir().mkpath(Images());
    QDir().mkpath(Stored());
    for (int n = 0; n < Pictures; ++n) {
        QFile picture(Images() + QStringLiteral("pic%1.bmp").arg(n));
        if (picture.open(QIODevice::WriteOnly))
            picture.write(QByteArray(200'000, char('a' + n)));
    }
    TCommonBaseWriter writer(Stored(), Images());
    writer.Add(Probes(0, TableRecords));
}

// "base/" as "stored/" left it: the table of 100,000 records and the pictures beside it.
void RestoreBase() {
    QDir(Base()).removeRecursively();
    QDir().mkpath(Base() + PictureFolderName);
    QFile::copy(Stored() + TableFileName, Base() + TableFileName);
    for (int n = 0; n < Pictures; ++n) {
        const QString name = PictureFolderName + QStringLiteral("pic%1.bmp").arg(n);
        QFile::copy(Stored() + name, Base() + name);
    }
}

void PlainRead(benchmark::State& state) {
    MakeStoredTable();
    const QString path = Stored() + TableFileName;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    std::vector<char> bytes(size_t(QFile(path).size()), 1);
    for (auto _ : state)
        if (::read(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()) || lseek(fd, 0, SEEK_SET) != 0)
            state.SkipWithError("short read");
    ::close(fd);
}

void Add(benchmark::State& state, bool Again) {
    MakeStoredTable();
    const std::vector<TProbeRecord> records = Probes(Again ? 0 : TableRecords, AddedProbes);
    for (auto _ : state) {
        state.PauseTiming();
        RestoreBase();
        state.ResumeTiming();
        TCommonBaseWriter writer(Base(), Images());
        writer.Add(records);
        if (writer.Added + writer.AlreadyThere != AddedProbes)
            state.SkipWithError("probes refused");
    }
}

void AddNew(benchmark::State& state) {
    Add(state, false);
}
void AddAgain(benchmark::State& state) {
    Add(state, true);
}

} // namespace

BENCHMARK(PlainRead)->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(AddNew)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(AddAgain)->Iterations(5)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& ms = reporter.Milliseconds;
    if (!ms.count("PlainRead") || !ms.count("AddNew"))
        return 0; // a filter left out the figures the summary compares
    const double bound = ms.at("PlainRead");
    std::printf("\nA table of %d records; one plain read of it: %.1f ms\n", TableRecords, bound);
    const std::pair<const char*, const char*> rows[] = {{"AddNew", "1,000 new probes added"},
                                                        {"AddAgain", "1,000 probes already there"}};
    for (const auto& [key, label] : rows)
        if (ms.count(key))
            std::printf("  %-30s %10.1f ms  %7.1f x plain read\n", label, ms.at(key), ms.at(key) / bound);
    std::printf("Adding 1,000 probes %s well under a second (%.0f ms).\n",
                ms.at("AddNew") < 250 ? "stays" : "does NOT stay", ms.at("AddNew"));
    return 0;
}
