// Hostile files at the library's real pixel limit: each is loaded, and described, in a child process. It may
// cost no more memory than its data can fill (the picture's rows it holds, the codec's whole-image buffer)
// plus a small fixed amount, and take no more of the file than its picture needs: what is read is counted,
// never timed (bench_hostile_files times it).
#include "image-library/PGExceptions.h"
#include "image-library/PGFileFormats.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/testing/ChildCost.h"
#include "image-library/testing/CountingDevice.h"
#include "image-library/testing/HostileFiles.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace {

constexpr long long MB = 1 << 20;

// What one load gave, as a line to compare.
std::string LoadOutcome(const std::function<void()>& Work, const TPixelGraphic& Picture) {
    try {
        Work();
    } catch (const Exception& e) {
        return e.className() + std::string(" ") + e.message().toStdString();
    }
    return "loaded " + std::to_string(Picture.GetWidth()) + " x " + std::to_string(Picture.GetHeight());
}

// The outcome, then a line of the reads issued and the bytes they took.
std::string WithReads(const std::string& Outcome, const TCountingDevice& Device) {
    return Outcome + "\n" + std::to_string(Device.Reads) + " " + std::to_string(Device.BytesRead);
}

TEST(HostileFiles, CostNoMoreThanTheirPictures) {
    if (ChildCostSanitizer() == TSanitizer::Thread)
        GTEST_SKIP() << "ThreadSanitizer's shadow memory hides what a load costs";
    ASSERT_EQ(PGMaxPixelMemory, 1 << 30) << "the library's own limit";
    for (const THostileFile& f : HostileFiles()) {
        SCOPED_TRACE(f.Name);
        // The address space holds the whole picture, untouched pages too; AddressSanitizer shadows every
        // byte it hands out with an eighth of a byte, written when it hands it out.
        const int bits[] = {1, 4, 8, 24};
        const long long pictureMB = (int64_t(bits[f.BitCountNum]) * f.Width + 31) / 32 * 4 * f.Height / MB;
        const long long shadowMB =
            ChildCostSanitizer() == TSanitizer::Address ? (pictureMB + f.FilledMB) / 8 : 0;
        const long long allowedMB = f.FilledMB + shadowMB + 32;

        const auto load = [&] {
            TCountingDevice in(f.File, f.Size);
            TPixelGraphic picture;
            picture.SetReadWarningAction(pgwaIgnore);
            return WithReads(
                LoadOutcome([&] { picture.LoadFromStreamExt(in, QString::fromLatin1(f.Ext)); }, picture), in);
        };
        const auto describe = [&] {
            TCountingDevice in(f.File, f.Size);
            TFileFormatInfo info;
            return WithReads(std::to_string(GetStreamFileFormatInfo(in, QString::fromLatin1(f.Ext), 0, info)),
                             in);
        };
        const std::pair<std::string, std::function<std::string()>> runs[] = {{"loading", load},
                                                                             {"describing", describe}};
        for (const auto& [what, work] : runs) {
            SCOPED_TRACE(what);
            const std::optional<TChildCost> cost = RunInChild(work, pictureMB + allowedMB + 64);
            if (!cost)
                GTEST_SKIP() << "no child process measurements here (/proc/self/clear_refs)";
            ASSERT_TRUE(cost->Finished) << "killed: out of memory or out of time";
            const size_t line = cost->Outcome.rfind('\n');
            ASSERT_NE(line, std::string::npos) << cost->Outcome;
            const std::string outcome = cost->Outcome.substr(0, line);
            long long reads = 0, bytes = 0;
            ASSERT_EQ(std::sscanf(cost->Outcome.c_str() + line + 1, "%lld %lld", &reads, &bytes), 2);
            if (what == "loading") {
                EXPECT_EQ(outcome.substr(0, f.Outcome.size()), f.Outcome);
            }
            EXPECT_LE(cost->PeakGrowthMB, allowedMB) << outcome;
            EXPECT_LE(bytes, f.ReadKB * 1024) << outcome;
            // The device's own buffer takes 16 KiB a read: more reads than that are reads of a few bytes.
            EXPECT_LE(reads, f.ReadKB / 16 + 8) << outcome;
        }
    }
}

} // namespace
