// Velmora's windows over a table of 1,000,000 records of its 195-byte layout: the main window from
// construction to the grid's first paint, Ctrl+End and Page Down through the grid, and a query by
// infection, each printed beside the dataset's own open with scan and filtered scan of the same file.
#include "framework/TimeStamp.h"
#include "framework/Win1251.h"
#include "image-library/PGraphicInit.h"
#include "ui_Unit2.h"
#include "ui_Unit3.h"
#include "velmora/Unit2.h"
#include "velmora/Unit3.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int RecordCount = 1'000'000;
constexpr int RecordSize = 195;
constexpr int DataStart = 692;
const char* const Infections[] = {"Грипп", "Корь", "Краснуха", "Паротит"};

void PutLE32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(value >> (8 * i));
}

// The empty table as the program creates it, then the records written straight after it with the header's
// live count: far quicker than a million appends, and the same bytes.
void WriteTable(const QString& folder) {
    {
        TBinaryDataSet creator;
        creator.SetTableName(folder + TableFileName);
        AddRecordTableFields(creator.FieldDefs);
        creator.CreateTable();
    }
    QFile file(folder + TableFileName);
    if (!file.open(QIODevice::ReadWrite))
        std::exit(2);
    QByteArray header = file.read(DataStart);
    PutLE32(reinterpret_cast<uint8_t*>(header.data()) + 12, RecordCount);
    file.seek(0);
    file.write(header);
    QByteArray infections[4];
    for (int i = 0; i < 4; ++i)
        infections[i] = *EncodeWin1251(QString::fromUtf8(Infections[i]));
    const int32_t firstDay = DateToDayNumber(QDate(2020, 1, 1));
    constexpr int PerBlock = 10'000;
    std::vector<uint8_t> block(size_t(PerBlock) * RecordSize);
    for (int first = 0; first < RecordCount; first += PerBlock) {
        std::fill(block.begin(), block.end(), uint8_t(0));
        for (int i = first; i < first + PerBlock; ++i) {
            uint8_t* record = block.data() + size_t(i - first) * RecordSize;
            const QByteArray name = QByteArray::number(i) + ".bmp";
            std::memcpy(record + 4, name.constData(), size_t(name.size()));
            std::memcpy(record + 64, infections[i % 4].constData(), size_t(infections[i % 4].size()));
            PutLE32(record + 180, uint32_t(firstDay + i % 1500));
            PutLE32(record + 184, uint32_t((int64_t(i) * 7919) % MSecsPerDay));
        }
        file.write(reinterpret_cast<const char*>(block.data()), qint64(block.size()));
    }
}

double Ms(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

double OpenWithScan(const QString& folder, const char* infection) {
    QElapsedTimer timer;
    timer.start();
    TBinaryDataSet data;
    data.SetTableName(folder + TableFileName);
    const QString text = infection ? QString::fromUtf8(infection) : QString();
    if (infection) {
        data.OnFilterRecord = [&](TDataSet* set, bool& accept) {
            accept = set->FieldByName("INFECT").AsString().startsWith(text);
        };
        data.SetFiltered(true);
    }
    data.Open();
    int count = 0;
    for (data.First(); !data.Eof(); data.Next())
        ++count;
    const double ms = Ms(timer);
    std::printf("  dataset %-26s %8.1f ms (%d records)\n",
                infection ? "filtered scan:" : "open with scan:", ms, count);
    return ms;
}

// Runs Action, then paints the grid's viewport at once: the time to what the user sees.
double TimeToPaint(QAbstractItemView& grid, const std::function<void()>& Action) {
    QElapsedTimer timer;
    timer.start();
    Action();
    grid.viewport()->repaint();
    return Ms(timer);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const TPGraphicScope library;
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    WriteTable(folder);
    std::printf("Velmora over %d records of %d bytes\n", RecordCount, RecordSize);
    const double scan = OpenWithScan(folder, nullptr);
    const double filtered = OpenWithScan(folder, Infections[1]);

    {
        // Qt loads its style, fonts and platform pieces with the first window: not the records' cost.
        QTemporaryDir empty;
        TForm1 warmUp(empty.path() + u'/');
        warmUp.show();
        warmUp.Form().RxDBGrid1->viewport()->repaint();
    }
    QElapsedTimer timer;
    timer.start();
    TForm1 form(folder);
    QAbstractItemView& grid = *form.Form().RxDBGrid1;
    form.show();
    grid.viewport()->repaint();
    const double firstPaint = Ms(timer);
    std::printf("  TForm1 to first paint:        %8.1f ms  (reference: 3 x open with scan = %.1f ms) %s\n",
                firstPaint, 3 * scan, firstPaint <= 3 * scan ? "ok" : "SLOW");

    const double end = TimeToPaint(grid, [&] { QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier); });
    std::printf("  Ctrl+End to last row painted: %8.1f ms  (reference: 50 ms) %s, row %d of %d\n", end,
                end <= 50 ? "ok" : "SLOW", grid.currentIndex().row() + 1, grid.model()->rowCount());

    TimeToPaint(grid, [&] { QTest::keyClick(&grid, Qt::Key_Home, Qt::ControlModifier); });
    double slowest = 0, total = 0;
    for (int step = 0; step < 100; ++step) {
        const double ms = TimeToPaint(grid, [&] { QTest::keyClick(&grid, Qt::Key_PageDown); });
        slowest = std::max(slowest, ms);
        total += ms;
    }
    std::printf(
        "  100 Page Down steps:          %8.1f ms  (slowest %.1f ms, reference: 50 ms each) %s, row %d\n",
        total, slowest, slowest <= 50 ? "ok" : "SLOW", grid.currentIndex().row() + 1);

    TForm3 query(folder);
    query.show();
    query.Form().Edit1->setText(QString::fromUtf8(Infections[1]));
    const double byInfection = TimeToPaint(*query.Form().RxDBGrid1, [&] { query.Button1Click(); });
    std::printf("  query by infection:           %8.1f ms  (reference: filtered scan %.1f ms), %d rows\n",
                byInfection, filtered, query.Form().RxDBGrid1->model()->rowCount());
    return 0;
}
