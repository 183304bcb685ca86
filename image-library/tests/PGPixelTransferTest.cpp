#include "image-library/PGPixelTransfer.h"
#include "framework/Thread.h"
#include "image-library/PGraphic.h"
#include "image-library/testing/ProgressLog.h"

#include <gtest/gtest.h>
#include <thread>

// The reader's table, values beyond the colour table included, is checked through every operation by the
// geometric tests' plain reference; here the writer's bracket, scan order and events on their own.
TEST(TargetWriter, WritesInTheTargetsFormatWithEventsAbortAndFailure) {
    struct Case {
        uint8_t BitCountNum;
        bool Dither;
        int AbortAt, ThrowAt;
        std::string Events;
        std::vector<int> RowsWritten;
    };
    const Case cases[] = {
        {3, true, -1, -1, "Sp0/3p1/3p3/3EC", {0, 1, 3}}, // row 2 is skipped: no event
        {2, true, 1, -1, "Sp0/3p1/3EC", {0, 1}},
        {2, false, 0, -1, "Sp0/3EC", {0}},
        {2, true, -1, 1, "Sp0/3p1/3", {0, 1}}, // the handler fails: no end event, no change
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.BitCountNum) << " bits, dither " << c.Dither << ", abort "
                                        << c.AbortAt << ", throw " << c.ThrowAt);
        TPixelGraphic target;
        target.SetFormat(5, 4, c.BitCountNum);
        if (c.BitCountNum != 3)
            target.SetPaletteIdent(pGray256);
        target.SetDither(c.Dither);
        TProgressLog log(target);
        log.AbortAt = c.AbortAt;
        log.ThrowAt = c.ThrowAt;
        std::vector<std::pair<int, int>> order;
        try {
            TPGTargetWriter writer(target);
            EXPECT_EQ(writer.Dithering(), c.BitCountNum != 3 && c.Dither);
            EXPECT_EQ(target.GetErrorLimitTable().empty(), !writer.Dithering());
            writer.RunRows(0, 3, [&](int y) {
                if (y == 2)
                    return false;
                writer.BeginRow(y);
                ForEachInScanOrder(y, 1, 3, [&](int x) {
                    order.emplace_back(y, x);
                    writer.Write(x, RGB(uint8_t(40 * x + y), uint8_t(40 * x + y), uint8_t(40 * x + y)));
                });
                return true;
            });
            writer.Finish();
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(log.Text, c.Events);
        EXPECT_TRUE(target.GetErrorLimitTable().empty()) << "diffusion buffers are freed";
        std::vector<std::pair<int, int>> serpentine;
        for (int y : c.RowsWritten)
            for (int x : y % 2 ? std::vector{3, 2, 1} : std::vector{1, 2, 3})
                serpentine.emplace_back(y, x);
        EXPECT_EQ(order, serpentine);
        // Gray 40x + y is an exact entry of the gray table: no error to carry, every format gives it back.
        for (int y : c.RowsWritten)
            for (int x = 1; x <= 3; ++x)
                EXPECT_EQ(GetGValue(target.GetPixelColor(x, y)), 40 * x + y) << x << "," << y;
        EXPECT_EQ(target.GetPixelColor(0, 0), clBlack) << "columns outside the run stay";
    }
}

// Rows shared among threads: the events are those of RunRows, fired on the calling thread in row order; an
// abort leaves the rows after it as they were, with a handler or without one; results do not depend on the
// number of threads.
TEST(TargetWriter, RowsInParallelFireTheEventsOfOneThreadInOrder) {
    struct Case {
        int Threads;
        bool Handler;
        int AbortAt, ThrowAt;
        std::string Events; // for rows 0 .. 39, row 2 not counting as a step
    };
    // "S" and the events of rows 0 .. Last.
    auto events = [](int Last) {
        std::string text = "S";
        for (int y = 0; y <= Last; ++y)
            if (y != 2)
                text.append("p").append(std::to_string(y)).append("/39");
        return text;
    };
    const std::string all = events(39);
    const Case cases[] = {
        {1, true, -1, -1, all + "EC"}, {3, true, -1, -1, all + "EC"}, {3, false, -1, -1, "SEC"},
        {3, true, 30, -1, ""},         {1, true, 30, -1, ""},         {3, true, -1, 25, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.Threads << " threads, abort " << c.AbortAt << ", throw " << c.ThrowAt);
        TWorkerPool::Instance().SetThreadCount(c.Threads);
        TPixelGraphic target;
        target.SetFormat(7, 40, 3);
        for (int y = 0; y < 40; ++y)
            target.SetPixelColor(6, y, RGB(1, 2, uint8_t(y))); // the earlier pixels each row reads
        TProgressLog log(target);
        log.AbortAt = c.AbortAt;
        log.ThrowAt = c.ThrowAt;
        if (!c.Handler)
            target.SetOnProgress(nullptr);
        const std::thread::id caller = std::this_thread::get_id();
        target.SetOnProgressStart([&](TObject*) {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            log.Text += "S";
        });
        try {
            TPGTargetWriter writer(target);
            writer.RunRowsInParallel(0, 39, [&] {
                return [&](int y, uint8_t* row) {
                    if (y == 2)
                        return false;
                    for (int x = 0; x < 6; ++x)
                        SetRawValue(row, x, 3, GetRawValue(row, 6, 3) + uint32_t(x));
                    return true;
                };
            });
            writer.Finish();
        } catch (const std::runtime_error&) {
            EXPECT_GE(c.ThrowAt, 0);
        }
        const int lastWritten = c.AbortAt >= 0 ? c.AbortAt : c.ThrowAt >= 0 ? c.ThrowAt : 39;
        if (c.AbortAt >= 0)
            EXPECT_EQ(log.Text, events(c.AbortAt).append("EC"));
        else if (c.ThrowAt >= 0)
            EXPECT_EQ(log.Text, events(c.ThrowAt));
        else
            EXPECT_EQ(log.Text, c.Events);
        for (int y = 0; y < 40; ++y)
            EXPECT_EQ(target.GetPixelColor(5, y),
                      y <= lastWritten && y != 2 ? RGB(6, 2, uint8_t(y)) : clBlack)
                << "row " << y;
    }
    TWorkerPool::Instance().SetThreadCount(0);
}
