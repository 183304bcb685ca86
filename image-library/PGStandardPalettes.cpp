// The standard colour tables (gray ramps, the 16 system colours, the two colour cubes and the fixed
// 252-colour table whose first 16 entries are the system colours) and the tables that speed up lookups in
// them.
#include "image-library/PGStandardPalettes.h"

#include "framework/Rounding.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

constexpr TColor Gray(int v) {
    return RGB(uint8_t(v), uint8_t(v), uint8_t(v));
}

// Written as $RRGGBB, the way the table is usually read; converted to $00BBGGRR below.
constexpr std::array<uint32_t, 252> Special252Hex = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0, 0x808080, 0xFF0000,
    0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF, 0x000040, 0x0000C0, 0x004000, 0x004040,
    0x004080, 0x0040C0, 0x0040FF, 0x008040, 0x0080C0, 0x0080FF, 0x00C000, 0x00C040, 0x00C080, 0x00C0C0,
    0x00C0FF, 0x00FF40, 0x00FF80, 0x00FFC0, 0x400000, 0x400040, 0x400080, 0x4000C0, 0x4000FF, 0x404000,
    0x404040, 0x404080, 0x4040C0, 0x4040FF, 0x408000, 0x408040, 0x408080, 0x4080C0, 0x4080FF, 0x40C000,
    0x40C040, 0x40C080, 0x40C0C0, 0x40C0FF, 0x40FF00, 0x40FF40, 0x40FF80, 0x40FFC0, 0x40FFFF, 0x800040,
    0x8000C0, 0x8000FF, 0x804000, 0x804040, 0x804080, 0x8040C0, 0x8040FF, 0x808040, 0x8080C0, 0x8080FF,
    0x80C000, 0x80C040, 0x80C080, 0x80C0C0, 0x80C0FF, 0x80FF00, 0x80FF40, 0x80FF80, 0x80FFC0, 0x80FFFF,
    0xC00000, 0xC00040, 0xC00080, 0xC000C0, 0xC000FF, 0xC04000, 0xC04040, 0xC04080, 0xC040C0, 0xC040FF,
    0xC08000, 0xC08040, 0xC08080, 0xC080C0, 0xC080FF, 0xC0C000, 0xC0C040, 0xC0C080, 0xC0C0FF, 0xC0FF00,
    0xC0FF40, 0xC0FF80, 0xC0FFC0, 0xC0FFFF, 0xFF0040, 0xFF0080, 0xFF00C0, 0xFF4000, 0xFF4040, 0xFF4080,
    0xFF40C0, 0xFF40FF, 0xFF8000, 0xFF8040, 0xFF8080, 0xFF80C0, 0xFF80FF, 0xFFC000, 0xFFC040, 0xFFC080,
    0xFFC0C0, 0xFFC0FF, 0xFFFF40, 0xFFFF80, 0xFFFFC0, 0x202020, 0x606060, 0xA0A0A0, 0xE0E0E0, 0xFFE0FF,
    0xE0E0FF, 0xE0FFFF, 0xE0FFE0, 0xFFFFE0, 0xFFE0E0, 0xFFC0E0, 0xE0C0FF, 0xC0E0FF, 0xC0FFE0, 0xE0FFC0,
    0xFFE0C0, 0xE0C0E0, 0xC0C0E0, 0xC0E0E0, 0xC0E0C0, 0xE0E0C0, 0xE0C0C0, 0xFFA0C0, 0xFFA0E0, 0xFFA0FF,
    0xE0A0FF, 0xC0A0FF, 0xA0A0FF, 0xA0C0FF, 0xA0E0FF, 0xA0FFFF, 0xA0FFE0, 0xA0FFC0, 0xA0FFA0, 0xC0FFA0,
    0xE0FFA0, 0xFFFFA0, 0xFFE0A0, 0xFFC0A0, 0xFFA0A0, 0xE0A0C0, 0xE0A0E0, 0xC0A0E0, 0xA0A0E0, 0xA0C0E0,
    0xA0E0E0, 0xA0E0C0, 0xA0E0A0, 0xC0E0A0, 0xE0E0A0, 0xE0C0A0, 0xE0A0A0, 0xFF80A0, 0xFF80E0, 0xE080FF,
    0xA080FF, 0x80A0FF, 0x80E0FF, 0x80FFE0, 0x80FFA0, 0xA0FF80, 0xE0FF80, 0xFFE080, 0xFFA080, 0xC0A0C0,
    0xA0A0C0, 0xA0C0C0, 0xA0C0A0, 0xC0C0A0, 0xC0A0A0, 0xE080A0, 0xE080C0, 0xE080E0, 0xC080E0, 0xA080E0,
    0x8080E0, 0x80A0E0, 0x80C0E0, 0x80E0E0, 0x80E0C0, 0x80E0A0, 0x80E080, 0xA0E080, 0xC0E080, 0xE0E080,
    0xE0C080, 0xE0A080, 0xE08080, 0xFF6080, 0xFF60A0, 0xFF60C0, 0xFF60E0, 0xFF60FF, 0xE060FF, 0xC060FF,
    0xA060FF, 0x8060FF, 0x6060FF, 0x6080FF, 0x60A0FF, 0x60C0FF, 0x60E0FF, 0x60FFFF, 0x60FFE0, 0x60FFC0,
    0x60FFA0, 0x60FF80, 0x60FF60, 0x80FF60, 0xA0FF60, 0xC0FF60, 0xE0FF60, 0xFFFF60, 0xFFE060, 0xFFC060,
    0xFFA060, 0xFF8060, 0xFF6060, 0xC080A0, 0xA080C0, 0x80A0C0, 0x80C0A0, 0xA0C080, 0xC0A080, 0xE06080,
    0xE060A0, 0xE060C0,
};

std::vector<TColor> GrayRamp(int count, int (*level)(int)) {
    std::vector<TColor> t(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        t[size_t(i)] = Gray(level(i));
    return t;
}

std::vector<TColor> Cube(int levels, int (*level)(int)) {
    std::vector<TColor> t;
    for (int r = 0; r < levels; ++r)
        for (int g = 0; g < levels; ++g)
            for (int b = 0; b < levels; ++b)
                t.push_back(RGB(uint8_t(level(r)), uint8_t(level(g)), uint8_t(level(b))));
    return t;
}

struct StandardTables {
    std::array<std::vector<TColor>, pSpecial252 + 1> Tables;

    StandardTables() {
        Tables[pBlackWhite] = {clBlack, clWhite};
        Tables[pSysGray4] = {Gray(0), Gray(128), Gray(192), Gray(255)};
        Tables[pGray4] = GrayRamp(4, [](int i) { return i * 255 / 3; });
        Tables[pGray16] = GrayRamp(16, [](int i) { return i * 255 / 15; });
        Tables[pGray236] =
            GrayRamp(236, [](int i) { return int(Round((255.0L * i - 4.0L / 47.0L) / 235.0L)); });
        Tables[pGray256] = GrayRamp(256, [](int i) { return i; });
        Tables[pSpecial125] = Cube(5, [](int i) { return (i * 255 + 3) >> 2; });
        Tables[pSpecial216] = Cube(6, [](int i) { return (i * 255 + 4) / 5; });
        for (uint32_t hex : Special252Hex)
            Tables[pSpecial252].push_back(RGB(uint8_t(hex >> 16), uint8_t(hex >> 8), uint8_t(hex)));
        Tables[pSys16].assign(Tables[pSpecial252].begin(), Tables[pSpecial252].begin() + 16);
    }
};

// pSys16 candidates by quarter cell (R div 64) * 16 + (G div 64) * 4 + B div 64. The first three columns are
// the classic table; in fifteen cells they miss the nearest entry for some colours, and the fourth column
// adds the entry that is nearer there (elsewhere it repeats the third, which never replaces a result).
constexpr uint8_t Sys16CandidateTable[64][4] = {
    {0, 0, 0, 0},     {4, 4, 4, 4},    {4, 4, 4, 4},    {12, 12, 12, 12}, // red 0, green 0
    {2, 2, 2, 2},     {6, 6, 6, 6},    {6, 6, 6, 6},    {6, 12, 12, 12},  // red 0, green 1
    {2, 2, 2, 2},     {6, 6, 6, 6},    {6, 6, 6, 6},    {6, 14, 14, 14},  // red 0, green 2
    {10, 10, 10, 10}, {6, 10, 10, 10}, {6, 14, 14, 14}, {14, 14, 14, 14}, // red 0, green 3
    {1, 1, 1, 1},     {5, 5, 5, 5},    {5, 5, 5, 5},    {5, 12, 12, 12},  // red 1, green 0
    {3, 3, 3, 3},     {8, 8, 8, 8},    {8, 8, 8, 8},    {8, 12, 12, 7},   // red 1, green 1
    {3, 3, 3, 3},     {8, 8, 8, 8},    {8, 8, 8, 7},    {7, 8, 14, 14},   // red 1, green 2
    {3, 10, 10, 10},  {8, 10, 10, 7},  {7, 8, 14, 14},  {7, 14, 14, 8},   // red 1, green 3
    {1, 1, 1, 1},     {5, 5, 5, 5},    {5, 5, 5, 5},    {5, 13, 13, 13},  // red 2, green 0
    {3, 3, 3, 3},     {8, 8, 8, 8},    {8, 8, 8, 7},    {7, 8, 13, 13},   // red 2, green 1
    {3, 3, 3, 3},     {8, 8, 8, 7},    {7, 8, 8, 8},    {7, 7, 7, 8},     // red 2, green 2
    {3, 11, 11, 11},  {7, 8, 11, 11},  {7, 7, 7, 8},    {7, 7, 7, 15},    // red 2, green 3
    {9, 9, 9, 9},     {5, 9, 9, 9},    {5, 13, 13, 13}, {13, 13, 13, 13}, // red 3, green 0
    {3, 9, 9, 9},     {8, 9, 9, 7},    {7, 8, 13, 13},  {7, 13, 13, 8},   // red 3, green 1
    {3, 11, 11, 11},  {7, 8, 11, 11},  {7, 7, 7, 8},    {7, 7, 7, 15},    // red 3, green 2
    {11, 11, 11, 11}, {7, 11, 11, 8},  {7, 7, 7, 15},   {7, 15, 15, 15},  // red 3, green 3
};

const StandardTables& Tables() {
    static const StandardTables tables; // built once, thread-safely, on first use
    return tables;
}

// Cell of a component in the coarse pSpecial252 grid, and the component range that the cell covers.
constexpr int GridCells = 9;
constexpr int GridLow(int cell) {
    return std::max(0, 32 * cell - 16);
}
constexpr int GridHigh(int cell) {
    return std::min(255, 32 * cell + 15);
}
// The fine grid that lookups use: cells of 4 values, each inside one coarse cell (whose bounds are
// multiples of 16), so that its candidates are found among the coarse cell's few; most fine cells keep one.
constexpr int FineStep = 4;
constexpr int FineCells = 256 / FineStep;
constexpr int FineCell(int v) {
    return v / FineStep;
}

// Candidates per fine grid cell, packed: cell c lists Entries[Start[c] .. Start[c + 1]).
struct Special252Grid {
    std::vector<uint8_t> Entries;
    std::vector<uint32_t> Start;
    std::vector<uint8_t> Single; // the one candidate of a cell, or NoSingle
    static constexpr uint8_t NoSingle = 255;

    Special252Grid() : Start(FineCells * FineCells * FineCells + 1), Single(Start.size() - 1, NoSingle) {
        const std::span<const TColor> table = StandardPalette(pSpecial252);
        std::vector<uint8_t> all(table.size());
        for (size_t e = 0; e < all.size(); ++e)
            all[e] = uint8_t(e);
        std::vector<std::vector<uint8_t>> coarse(GridCells * GridCells * GridCells);
        for (int r = 0; r < GridCells; ++r)
            for (int g = 0; g < GridCells; ++g)
                for (int b = 0; b < GridCells; ++b)
                    coarse[size_t((r * GridCells + g) * GridCells + b)] =
                        Survivors(table, all, {GridLow(r), GridLow(g), GridLow(b)},
                                  {GridHigh(r), GridHigh(g), GridHigh(b)});
        auto coarseCell = [](int fine) { return (FineStep * fine + 16) / 32; };
        for (int r = 0; r < FineCells; ++r)
            for (int g = 0; g < FineCells; ++g)
                for (int b = 0; b < FineCells; ++b) {
                    const std::vector<uint8_t>& pool = coarse[size_t(
                        (coarseCell(r) * GridCells + coarseCell(g)) * GridCells + coarseCell(b))];
                    const std::vector<uint8_t> kept =
                        Survivors(table, pool, {FineStep * r, FineStep * g, FineStep * b},
                                  {FineStep * r + FineStep - 1, FineStep * g + FineStep - 1,
                                   FineStep * b + FineStep - 1});
                    const size_t cell = size_t((r * FineCells + g) * FineCells + b);
                    Entries.insert(Entries.end(), kept.begin(), kept.end());
                    Start[cell + 1] = uint32_t(Entries.size());
                    if (kept.size() == 1)
                        Single[cell] = kept[0];
                }
    }

    using Corner = std::array<int, 3>;

    static Corner Components(TColor c) { return {GetRValue(c), GetGValue(c), GetBValue(c)}; }

    // The entries of pool (ascending) that no other entry of pool beats everywhere in the box [lo, hi]. An
    // entry is beaten when another is strictly nearer at every point, or at least as near with a lower index
    // (which wins ties). Pool holds every entry that can be the nearest in the box.
    static std::vector<uint8_t> Survivors(std::span<const TColor> table, const std::vector<uint8_t>& pool,
                                          const Corner& lo, const Corner& hi) {
        // Entries whose nearest point of the box lies beyond the farthest point of some entry cannot win.
        int64_t reach = INT64_MAX;
        std::vector<int64_t> nearest(pool.size());
        for (size_t n = 0; n < pool.size(); ++n) {
            const Corner x = Components(table[pool[n]]);
            int64_t in = 0, out = 0;
            for (int a = 0; a < 3; ++a) {
                const int d = x[a] < lo[a] ? lo[a] - x[a] : x[a] > hi[a] ? x[a] - hi[a] : 0;
                const int far = std::max(std::abs(x[a] - lo[a]), std::abs(x[a] - hi[a]));
                in += d * d;
                out += far * far;
            }
            nearest[n] = in;
            reach = std::min(reach, out);
        }
        std::vector<uint8_t> candidates;
        for (size_t n = 0; n < pool.size(); ++n)
            if (nearest[n] <= reach)
                candidates.push_back(pool[n]);
        std::vector<uint8_t> kept;
        for (uint8_t e : candidates)
            if (std::none_of(candidates.begin(), candidates.end(),
                             [&](uint8_t f) { return f != e && Beats(table[f], f < e, table[e], lo, hi); }))
                kept.push_back(e);
        return kept;
    }

    // |x - e|^2 - |x - f|^2 is linear in x, so its least value over the box is at one corner.
    static bool Beats(TColor f, bool lowerIndex, TColor e, const Corner& lo, const Corner& hi) {
        const Corner cf = Components(f), ce = Components(e);
        int64_t least = 0;
        for (int a = 0; a < 3; ++a) {
            const int step = cf[a] - ce[a];
            const int x = step >= 0 ? lo[a] : hi[a];
            least += 2 * int64_t(x) * step + ce[a] * ce[a] - cf[a] * cf[a];
        }
        return least > 0 || (least == 0 && lowerIndex);
    }
};

} // namespace

std::span<const TColor> StandardPalette(TPaletteIdent Kind) {
    if (Kind < pBlackWhite || Kind > pSpecial252)
        return {};
    return Tables().Tables[Kind];
}

std::span<const uint8_t> Sys16Candidates(TColor Color) {
    return Sys16CandidateTable[GetRValue(Color) / 64 * 16 + GetGValue(Color) / 64 * 4 +
                               GetBValue(Color) / 64];
}

const std::array<uint8_t, 766>& Gray236ByIntensity() {
    static const std::array<uint8_t, 766> lookup = [] {
        const std::span<const TColor> grays = StandardPalette(pGray236);
        std::array<uint8_t, 766> t{};
        size_t k = 0;
        // Distances compare as |3 x gray - I|, exactly; grays ascend, so the nearest only moves up with I.
        auto distance = [&](size_t i, int intensity) {
            return std::abs(3 * GetRValue(grays[i]) - intensity);
        };
        for (int intensity = 0; intensity < 766; ++intensity) {
            while (k + 1 < grays.size() && distance(k + 1, intensity) < distance(k, intensity))
                ++k;
            t[size_t(intensity)] = uint8_t(k);
        }
        return t;
    }();
    return lookup;
}

namespace {

const Special252Grid& TheSpecial252Grid() {
    static const Special252Grid grid;
    return grid;
}

} // namespace

const uint8_t* Special252SingleCandidates() {
    return TheSpecial252Grid().Single.data();
}

int Special252Nearest(TColor Color) {
    const Special252Grid& grid = TheSpecial252Grid();
    const size_t cell =
        size_t((FineCell(GetRValue(Color)) * FineCells + FineCell(GetGValue(Color))) * FineCells +
               FineCell(GetBValue(Color)));
    if (grid.Single[cell] != Special252Grid::NoSingle) // most cells
        return grid.Single[cell];
    const uint32_t first = grid.Start[cell], end = grid.Start[cell + 1];
    int best = grid.Entries[first];
    const std::span<const TColor> table = StandardPalette(pSpecial252);
    auto distance = [&](int e) {
        const TColor c = table[size_t(e)];
        const int dr = GetRValue(c) - GetRValue(Color), dg = GetGValue(c) - GetGValue(Color),
                  db = GetBValue(c) - GetBValue(Color);
        return dr * dr + dg * dg + db * db;
    };
    int bestDistance = distance(best);
    for (uint32_t n = first + 1; n < end; ++n) {
        const int d = distance(grid.Entries[n]);
        if (d < bestDistance) {
            bestDistance = d;
            best = grid.Entries[n];
        }
    }
    return best;
}
