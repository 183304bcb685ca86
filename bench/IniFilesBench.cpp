// The settings file grown large: 10 MB of empty lines, then of key lines, in front of Lusidor's own keys,
// opened and read as Lusidor starts and written five times as it ends, timed beside one plain read of the
// file (the I/O bound). The summary also gives the memory one open handle holds per line of the file.
#include "bench/SummaryReporter.h"
#include "framework/IniFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <map>

namespace {

constexpr qsizetype FileBytes = 10'000'000;
const QByteArray lusidorKeys = "[System]\nBasePort=300\n[PATH]\nImages=IMAGES\\\n[Desktop]\nMode=0\n"
                               "[Videocamera]\nnframe=1.0\naru=1\ngamma=1\naddframe=1\n";

QTemporaryDir& Dir() {
    static QTemporaryDir dir;
    return dir;
}

QString PathOf(int kind) {
    return Dir().filePath(kind == 0 ? "Empty.ini" : "Keys.ini");
}

// Kind 0: empty lines; kind 1: a section of key lines.
void MakeFile(int kind) {
    QByteArray text;
    if (kind == 0)
        text = QByteArray(FileBytes, '\n');
    else
        for (text = "[Padding]\n"; text.size() < FileBytes;)
            text += "key" + QByteArray::number(text.size()) + "=value\n";
    QFile file(PathOf(kind));
    if (!file.exists() && file.open(QIODevice::WriteOnly))
        file.write(text + lusidorKeys);
}

void PlainRead(benchmark::State& state) {
    MakeFile(int(state.range(0)));
    for (auto _ : state) {
        QFile file(PathOf(int(state.range(0))));
        file.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(file.readAll());
    }
}

void StartReads(benchmark::State& state) {
    MakeFile(int(state.range(0)));
    for (auto _ : state) {
        const TIniFile ini(PathOf(int(state.range(0))));
        benchmark::DoNotOptimize(ini.ReadString("PATH", "Images", "IMAGES\\"));
        benchmark::DoNotOptimize(ini.ReadInteger("Desktop", "Mode", 0));
    }
}

void ExitWrites(benchmark::State& state) {
    MakeFile(int(state.range(0)));
    for (auto _ : state) {
        TIniFile ini(PathOf(int(state.range(0))));
        ini.WriteInteger("DeskTop", "Mode", 0);
        ini.WriteInteger("Videocamera", "gamma", 1);
        ini.WriteInteger("Videocamera", "aru", 1);
        ini.WriteString("Videocamera", "nframe", "1.0");
        ini.WriteInteger("Videocamera", "addframe", 1);
    }
}

size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

} // namespace

BENCHMARK(PlainRead)->Arg(0)->Arg(1)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(StartReads)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(ExitWrites)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& ms = reporter.Milliseconds;
    for (int kind : {0, 1}) {
        MakeFile(kind);
        const auto figure = [&](const std::string& name) {
            const auto found = ms.find(name + "/" + std::to_string(kind));
            return found == ms.end() ? -1.0 : found->second;
        };
        QFile file(PathOf(kind));
        file.open(QIODevice::ReadOnly);
        const QByteArray text = file.readAll();
        const qsizetype lines = text.count('\n');
        const size_t before = HeapInUse();
        const TIniFile ini(PathOf(kind));
        const double perLine = double(HeapInUse() - before) / double(lines);
        std::printf("\n%s: %lld bytes, %lld lines; plain read %.1f ms\n",
                    kind == 0 ? "empty lines" : "key lines", (long long)text.size(), (long long)lines,
                    figure("PlainRead"));
        std::printf(
            "  start-up reads %8.1f ms, five exit writes %8.1f ms, handle memory %.1f bytes per line\n",
            figure("StartReads"), figure("ExitWrites"), perLine);
    }
    return 0;
}
