#include "image-library/PGExceptions.h"
#include "image-library/PGFilters.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGraphic.h"
#include "image-library/testing/ProgressLog.h"
#include "image-library/testing/TestPictures.h"

#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace {

// Raw values of every pixel and the colour table: all that a filter run may change.
struct TContent {
    uint8_t BitCountNum;
    std::vector<uint32_t> Values;
    std::vector<TColor> Table;
    bool operator==(const TContent&) const = default;
};
TContent Content(const TPixelGraphic& p) {
    TContent c{p.GetBitCountNum(), {}, {}};
    for (int y = 0; y < p.GetHeight(); ++y)
        for (int x = 0; x < p.GetWidth(); ++x)
            c.Values.push_back(p.GetPixelValue(x, y));
    for (int i = 0; i < p.GetColorCount(); ++i)
        c.Table.push_back(p.IndexToColor(uint32_t(i)));
    return c;
}
void PrintTo(const TContent& c, std::ostream* os) {
    *os << int(c.BitCountNum) << " bits, " << c.Values.size() << " values, " << c.Table.size() << " colours";
}

// A filter that is not a colour filter: each pixel takes the colour of its right-hand neighbour, and it
// throws on the row named.
class TShiftFilter : public TPGFilter {
public:
    int ThrowOnRow = -1;
    TColor GetPixel(int X, int Y) override {
        if (Y == ThrowOnRow)
            throw std::runtime_error("filter failed");
        return SourceColor(std::min(X + 1, Source->GetWidth() - 1), Y);
    }
};

// The operation written plainly: the colour-table path as a copy with a filtered table, else GetPixel for
// every pixel in serpentine order, diffused or written as the nearest entry.
void ReferenceApplyFilter(TPixelGraphic& t, TPGFilter& filter, TPixelGraphic& s) {
    t.SetFormat(s.GetWidth(), s.GetHeight(), t.GetBitCountNum());
    if (t.GetWidth() <= 0 || t.GetHeight() <= 0)
        return;
    if (filter.IsColorFilter() && t.GetBitCountNum() != 3 && t.GetBitCountNum() >= s.GetBitCountNum()) {
        t.Assign(&s);
        filter.SetSource(&s);
        for (int i = 0; i < t.GetColorCount(); ++i)
            t.SetPaletteColor(i, filter.FilterColor(t.IndexToColor(uint32_t(i))));
        filter.EndFilter();
        return;
    }
    const bool dithering = t.GetBitCountNum() != 3 && t.GetDither();
    dithering ? t.BeginDither() : t.EndDither();
    filter.SetSource(&s);
    for (int y = 0; y < t.GetHeight(); ++y) {
        if (dithering)
            t.NextDitherRow();
        for (int k = 0; k < t.GetWidth(); ++k) {
            const int x = y % 2 == 0 ? k : t.GetWidth() - 1 - k;
            ReferenceWrite(t, dithering, x, y, filter.GetPixel(x, y));
        }
    }
    filter.EndFilter();
    t.EndDither();
}

struct TFilterKind {
    const char* Name;
    std::function<std::unique_ptr<TPGFilter>()> Make;
};
const TFilterKind FilterKinds[] = {
    {"negative", [] { return std::make_unique<TNegativeFilter>(); }},
    {"BCG channels",
     [] {
         auto f = std::make_unique<TBCGFilter>();
         f->Brightness = 12, f->Contrast = 1.4L, f->Gamma = 0.8L;
         return f;
     }},
    {"BCG luminance",
     [] {
         auto f = std::make_unique<TBCGFilter>();
         f->Brightness = -20, f->Contrast = 0.9L, f->Gamma = 1.7L, f->UseY = true;
         return f;
     }},
    {"shift (not a colour filter)", [] { return std::make_unique<TShiftFilter>(); }},
};

} // namespace

TEST(ApplyFilter, TakesTheTablePathOrThePixelPathAsTheFormatsAllow) {
    std::mt19937 rng(3);
    TNegativeFilter negative;

    // In place on 8 bits: the table is inverted, the pixel bytes stay, one change and no progress.
    {
        const std::unique_ptr<TPixelGraphic> p = RandomPicture(rng, 9, 5, 2);
        const TContent before = Content(*p);
        TProgressLog log(*p);
        p->ApplyFilter(negative, *p);
        EXPECT_EQ(log.Text, "C");
        EXPECT_EQ(Content(*p).Values, before.Values);
        for (size_t i = 0; i < before.Table.size(); ++i)
            EXPECT_EQ(Content(*p).Table[i], before.Table[i] ^ 0xFFFFFF);
        EXPECT_EQ(negative.GetSource(), nullptr);
    }
    // In place on 24 bits: pixel by pixel with one progress event per row.
    {
        const std::unique_ptr<TPixelGraphic> p = RandomPicture(rng, 4, 3, 3);
        const TContent before = Content(*p);
        TProgressLog log(*p);
        p->ApplyFilter(negative, *p);
        EXPECT_EQ(log.Text, "Sp0/2p1/2p2/2EC");
        for (size_t i = 0; i < before.Values.size(); ++i)
            EXPECT_EQ(Content(*p).Values[i], before.Values[i] ^ 0xFFFFFF);
    }
    // 8 bits into a distinct 4-bit target: pixel path, diffused into the target's own 16 colours.
    {
        const std::unique_ptr<TPixelGraphic> s = RandomPicture(rng, 6, 3, 2);
        const std::unique_ptr<TPixelGraphic> t = RandomTarget(rng, 2, 2, 1, true);
        TProgressLog log(*t);
        t->ApplyFilter(negative, *s);
        EXPECT_EQ(log.Text, "CSp0/2p1/2p2/2EC");
        EXPECT_EQ(t->GetBitCountNum(), 1);
        EXPECT_EQ(t->GetPaletteIdent(), pSys16);
        EXPECT_EQ(t->GetWidth(), 6);
    }
    // 4 bits into a distinct 8-bit target: the target becomes a 4-bit copy with a filtered table.
    {
        const std::unique_ptr<TPixelGraphic> s = RandomPicture(rng, 6, 3, 1);
        const std::unique_ptr<TPixelGraphic> t = RandomTarget(rng, 2, 2, 2, true);
        TProgressLog log(*t);
        t->ApplyFilter(negative, *s);
        EXPECT_EQ(log.Text.find_first_of("SpE"), std::string::npos) << log.Text;
        EXPECT_EQ(Content(*t).BitCountNum, 1);
        EXPECT_EQ(Content(*t).Values, Content(*s).Values);
        ASSERT_EQ(t->GetColorCount(), 15);
        EXPECT_EQ(t->IndexToColor(14), s->IndexToColor(14) ^ 0xFFFFFF);
    }
    // A filter that is not a colour filter cannot read the picture it writes.
    {
        const std::unique_ptr<TPixelGraphic> p = RandomPicture(rng, 5, 5, 3);
        const TContent before = Content(*p);
        TProgressLog log(*p);
        TShiftFilter shift;
        try {
            p->ApplyFilter(shift, *p);
            ADD_FAILURE() << "no exception";
        } catch (const EPGFilter& e) {
            EXPECT_EQ(e.message(), PGLangStr(23));
        }
        EXPECT_EQ(Content(*p), before);
        EXPECT_EQ(log.Text, "");
    }
    // An empty source empties the target; only the format change is announced.
    {
        TPixelGraphic empty;
        const std::unique_ptr<TPixelGraphic> t = RandomTarget(rng, 3, 3, 2, true);
        TProgressLog log(*t);
        t->ApplyFilter(negative, empty);
        EXPECT_EQ(log.Text, "C");
        EXPECT_TRUE(t->GetEmpty());
        EXPECT_EQ(t->GetWidth(), 0);
    }
}

TEST(ApplyFilter, EqualsThePlainPerPixelRunInEveryFormat) {
    std::mt19937 rng(17);
    for (const TFilterKind& kind : FilterKinds)
        for (uint8_t sourceBits = 0; sourceBits <= 3; ++sourceBits)
            for (uint8_t targetBits = 0; targetBits <= 3; ++targetBits)
                for (bool dither : {false, true}) {
                    SCOPED_TRACE(testing::Message() << kind.Name << ": " << int(sourceBits) << " -> "
                                                    << int(targetBits) << ", dither " << dither);
                    // Odd sizes leave partial bytes and padding in every format.
                    const std::unique_ptr<TPixelGraphic> s = RandomPicture(rng, 13, 7, sourceBits);
                    const std::unique_ptr<TPixelGraphic> t = RandomTarget(rng, 5, 4, targetBits, dither);
                    const std::unique_ptr<TPixelGraphic> r = RandomTarget(rng, 5, 4, targetBits, dither);
                    const std::unique_ptr<TPGFilter> filter = kind.Make(), reference = kind.Make();
                    t->ApplyFilter(*filter, *s);
                    ReferenceApplyFilter(*r, *reference, *s);
                    ASSERT_EQ(Content(*t), Content(*r));
                    EXPECT_EQ(filter->GetSource(), nullptr);
                    EXPECT_TRUE(t->GetErrorLimitTable().empty());
                }
    // A colour filter may also work in place on 24 bits: the result is that of a distinct target.
    for (const TFilterKind& kind : FilterKinds) {
        const std::unique_ptr<TPGFilter> filter = kind.Make(), reference = kind.Make();
        if (!filter->IsColorFilter())
            continue;
        SCOPED_TRACE(kind.Name);
        const std::unique_ptr<TPixelGraphic> p = RandomPicture(rng, 13, 7, 3);
        TPixelGraphic r;
        ReferenceApplyFilter(r, *reference, *p);
        p->ApplyFilter(*filter, *p);
        EXPECT_EQ(Content(*p), Content(r));
    }
}

TEST(ApplyFilter, ReadsSourcePixelsBeyondTheTableAsTheyAreDrawn) {
    // The same picture twice: once with a value beyond its two colours, once with entry 0 in its place,
    // which is how the beyond value is drawn.
    TPixelGraphic beyond, drawn;
    for (TPixelGraphic* p : {&beyond, &drawn}) {
        p->SetFormat(3, 2, 2);
        p->SetColorCount(2);
        p->SetPaletteColor(0, RGB(10, 20, 30));
        p->SetPaletteColor(1, RGB(200, 100, 0));
        p->SetPixelValue(1, 0, 1);
    }
    beyond.SetPixelValue(2, 1, 77);
    for (const TFilterKind& kind : FilterKinds)
        for (uint8_t targetBits : {uint8_t(0), uint8_t(3)}) {
            SCOPED_TRACE(testing::Message() << kind.Name << " into " << int(targetBits));
            std::mt19937 rng(1);
            const std::unique_ptr<TPixelGraphic> t = RandomTarget(rng, 1, 1, targetBits, true);
            const std::unique_ptr<TPixelGraphic> r = RandomTarget(rng, 1, 1, targetBits, true);
            const std::unique_ptr<TPGFilter> filter = kind.Make();
            t->ApplyFilter(*filter, beyond);
            r->ApplyFilter(*filter, drawn);
            EXPECT_EQ(Content(*t), Content(*r));
            filter->SetSource(&beyond);
            EXPECT_EQ(filter->GetPixel(2, 1), filter->GetPixel(0, 1)) << "GetPixel reads it as drawn too";
            filter->EndFilter();
        }
}

TEST(ApplyFilter, AbortKeepsFinishedRowsAndFailureCleansUp) {
    std::mt19937 rng(5);
    // In place on 24 bits: row 0 is inverted, the rest untouched; end and change still fire.
    {
        const std::unique_ptr<TPixelGraphic> p = RandomPicture(rng, 6, 4, 3);
        const TContent before = Content(*p);
        TProgressLog log(*p);
        log.AbortAt = 0;
        TNegativeFilter negative;
        p->ApplyFilter(negative, *p);
        EXPECT_EQ(log.Text, "Sp0/3EC");
        const TContent after = Content(*p);
        for (size_t i = 0; i < after.Values.size(); ++i)
            EXPECT_EQ(after.Values[i], i < 6 ? before.Values[i] ^ 0xFFFFFF : before.Values[i]) << i;
    }
    // 24 bits into an 8-bit diffused target: the buffers are freed after the abort.
    {
        const std::unique_ptr<TPixelGraphic> s = RandomPicture(rng, 6, 4, 3);
        const std::unique_ptr<TPixelGraphic> t = RandomTarget(rng, 6, 4, 2, true);
        TProgressLog log(*t);
        log.AbortAt = 0;
        TBCGFilter bcg;
        t->ApplyFilter(bcg, *s);
        EXPECT_EQ(log.Text, "CSp0/3EC"); // the first change is the target taking the source's size
        EXPECT_TRUE(t->GetErrorLimitTable().empty());
    }
    // A filter that fails on row 2: the exception passes after EndFilter and EndDither, no end, no change.
    {
        const std::unique_ptr<TPixelGraphic> s = RandomPicture(rng, 6, 4, 3);
        const std::unique_ptr<TPixelGraphic> t = RandomTarget(rng, 6, 4, 2, true);
        TProgressLog log(*t);
        TShiftFilter failing;
        failing.ThrowOnRow = 2;
        EXPECT_THROW(t->ApplyFilter(failing, *s), std::runtime_error);
        EXPECT_EQ(log.Text, "CSp0/3p1/3");
        EXPECT_EQ(failing.GetSource(), nullptr);
        EXPECT_TRUE(t->GetErrorLimitTable().empty());
    }
}

TEST(ApplyFilter, ThreadsWithFiltersOfTheirOwnMatchOneThread) {
    const auto work = [](int i) {
        std::mt19937 rng(uint32_t(100 + i));
        const std::unique_ptr<TPixelGraphic> s = RandomPicture(rng, 120, 80, 3);
        const std::unique_ptr<TPixelGraphic> t = RandomTarget(rng, 1, 1, 2, true);
        const std::unique_ptr<TPGFilter> filter = FilterKinds[i % 3].Make();
        t->ApplyFilter(*filter, *s);
        s->ApplyFilter(*filter, *s);
        return std::make_pair(Content(*t), Content(*s));
    };
    std::vector<std::pair<TContent, TContent>> alone, together(3);
    for (int i = 0; i < 3; ++i)
        alone.push_back(work(i));
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i)
        threads.emplace_back([&, i] { together[size_t(i)] = work(i); });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(together, alone);
}
