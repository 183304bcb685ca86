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

// The Part's six situations: which path runs shows in the events, and the result equals the plain run's.
TEST(ApplyFilter, TakesTheTablePathOrThePixelPathAsTheFormatsAllow) {
    constexpr int InPlace = -1, Empty = -1;
    struct Case {
        const char* Name;
        int SourceBits, TargetBits;
        size_t Filter; // index into FilterKinds
        std::string Events;
        int ResultBits;
    };
    const Case cases[] = {
        {"8 bits in place: the table only", 2, InPlace, 0, "C", 2},
        {"24 bits in place: a progress event per row", 3, InPlace, 0, "Sp0/2p1/2p2/2EC", 3},
        {"8 into 4 bits: pixel path", 2, 1, 1, "CSp0/2p1/2p2/2EC", 1},
        {"4 into 8 bits: a 4-bit copy with its table filtered", 1, 2, 2, "CCC", 1}, // SetFormat, Assign, done
        {"not a colour filter in place: text 23", 3, InPlace, 3, "", 3},
        {"empty source: only the format change", Empty, 2, 0, "C", 2},
    };
    std::mt19937 rng(3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::unique_ptr<TPixelGraphic> source = c.SourceBits == Empty
                                                    ? std::make_unique<TPixelGraphic>()
                                                    : RandomPicture(rng, 6, 3, uint8_t(c.SourceBits));
        std::unique_ptr<TPixelGraphic> distinct =
            c.TargetBits == InPlace ? nullptr : RandomTarget(rng, 2, 2, uint8_t(c.TargetBits), true);
        TPixelGraphic& target = distinct ? *distinct : *source;
        // The plain run works on copies, from a source that stays as it was.
        TPixelGraphic expected, original;
        expected.Assign(&target);
        original.Assign(source.get());
        const std::unique_ptr<TPGFilter> filter = FilterKinds[c.Filter].Make();
        const std::unique_ptr<TPGFilter> reference = FilterKinds[c.Filter].Make();
        const bool refused = !filter->IsColorFilter() && !distinct;
        if (!refused)
            ReferenceApplyFilter(expected, *reference, original);

        TProgressLog log(target);
        try {
            target.ApplyFilter(*filter, *source);
            EXPECT_FALSE(refused);
        } catch (const EPGFilter& e) {
            EXPECT_TRUE(refused);
            EXPECT_EQ(e.message(), PGLangStr(23));
        }
        EXPECT_EQ(log.Text, c.Events);
        EXPECT_EQ(target.GetBitCountNum(), c.ResultBits);
        EXPECT_EQ(Content(target), Content(expected));
        EXPECT_EQ(filter->GetSource(), nullptr);
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
    // A colour filter may also work in place: the result is that of a distinct target of the same format.
    for (const TFilterKind& kind : FilterKinds)
        for (uint8_t bits : {uint8_t(2), uint8_t(3)}) {
            const std::unique_ptr<TPGFilter> filter = kind.Make(), reference = kind.Make();
            if (!filter->IsColorFilter())
                continue;
            SCOPED_TRACE(testing::Message() << kind.Name << " in place on " << int(bits));
            const std::unique_ptr<TPixelGraphic> p = RandomPicture(rng, 13, 7, bits);
            const std::unique_ptr<TPixelGraphic> r = RandomTarget(rng, 1, 1, bits, true);
            ReferenceApplyFilter(*r, *reference, *p);
            p->ApplyFilter(*filter, *p);
            EXPECT_EQ(Content(*p), Content(*r));
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
