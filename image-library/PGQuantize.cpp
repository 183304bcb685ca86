// The optimised colour table: one counting pass over the source, then a box cut of the 5-6-5 histogram of a
// 24-bit source or an octree over the used entries of a paletted one.
#include "image-library/PGQuantize.h"

#include "image-library/PGPixelTransfer.h"
#include "image-library/PGStandardPalettes.h"
#include "image-library/PGraphic.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace {

// ---- Box cut ----

// 32 red x 64 green x 32 blue cells; a counter stops at 65,535.
constexpr int HistogramCells = 32 * 64 * 32;
using THistogram = std::vector<uint16_t>;

constexpr int Cell(int r, int g, int b) {
    return r * 2048 + g * 32 + b;
}
int CellOf(TColor c) {
    return Cell(GetRValue(c) >> 3, GetGValue(c) >> 2, GetBValue(c) >> 3);
}
void AddToCell(THistogram& h, int cell, uint64_t count) {
    h[size_t(cell)] = uint16_t(std::min<uint64_t>(h[size_t(cell)] + count, 65535));
}

// Bounds in cell units, inclusive; axis 0 red, 1 green, 2 blue.
struct TBox {
    std::array<int, 3> Min{0, 0, 0};
    std::array<int, 3> Max{31, 63, 31};
    int64_t Weight = 0;
    int64_t Cells = 0;
};

// The weights of the axes' extents: a red or blue cell spans 8 levels, a green one 4, and green counts 3/2.
constexpr int AxisScale[3] = {16, 12, 16};

int64_t Extent(const TBox& b, int axis) {
    return int64_t(b.Max[size_t(axis)] - b.Min[size_t(axis)]) * AxisScale[axis];
}

// Visits the cells of a box, red outermost.
template <typename F> void ForEachCell(const TBox& b, F&& f) {
    for (int r = b.Min[0]; r <= b.Max[0]; ++r)
        for (int g = b.Min[1]; g <= b.Max[1]; ++g)
            for (int bl = b.Min[2]; bl <= b.Max[2]; ++bl)
                f(r, g, bl);
}

bool SliceEmpty(const THistogram& h, TBox slice, int axis, int at) {
    slice.Min[size_t(axis)] = slice.Max[size_t(axis)] = at;
    for (int r = slice.Min[0]; r <= slice.Max[0]; ++r)
        for (int g = slice.Min[1]; g <= slice.Max[1]; ++g)
            for (int b = slice.Min[2]; b <= slice.Max[2]; ++b)
                if (h[size_t(Cell(r, g, b))] != 0)
                    return false;
    return true;
}

// Moves each bound inward past empty slices: blue min, blue max, green min, green max, red min, red max.
void Shrink(const THistogram& h, TBox& b) {
    for (int axis : {2, 1, 0}) {
        const size_t a = size_t(axis);
        while (b.Min[a] < b.Max[a] && SliceEmpty(h, b, axis, b.Min[a]))
            ++b.Min[a];
        while (b.Max[a] > b.Min[a] && SliceEmpty(h, b, axis, b.Max[a]))
            --b.Max[a];
    }
    const int64_t R = Extent(b, 0), G = Extent(b, 1), B = Extent(b, 2);
    b.Weight = B * B + G * G + R * R;
    b.Cells = 1;
    for (size_t a = 0; a < 3; ++a)
        b.Cells *= b.Max[a] - b.Min[a] + 1;
}

// Few boxes yet: the most populous in cells; close to the goal: the widest. Only boxes with an extent.
int ChooseBox(const std::vector<TBox>& boxes, int target) {
    const bool byWeight = target < 2 * int(boxes.size());
    int chosen = -1;
    for (size_t i = 0; i < boxes.size(); ++i) {
        const TBox& b = boxes[i];
        if (b.Weight <= 0)
            continue;
        if (chosen < 0 ||
            (byWeight ? b.Weight > boxes[size_t(chosen)].Weight : b.Cells > boxes[size_t(chosen)].Cells))
            chosen = int(i);
    }
    return chosen;
}

std::vector<TColor> BoxCut(const THistogram& h, int target) {
    std::vector<TBox> boxes(1);
    boxes.reserve(size_t(target));
    Shrink(h, boxes[0]);
    while (int(boxes.size()) < target) {
        const int chosen = ChooseBox(boxes, target);
        if (chosen < 0)
            break;
        TBox& box = boxes[size_t(chosen)];
        const int64_t R = Extent(box, 0), G = Extent(box, 1), B = Extent(box, 2);
        const size_t axis = std::max(G, R) >= B ? (G < R ? 0 : 1) : 2;
        const int m = (box.Min[axis] + box.Max[axis]) / 2;
        TBox upper = box;
        upper.Min[axis] = m + 1;
        box.Max[axis] = m;
        Shrink(h, box);
        Shrink(h, upper);
        boxes.push_back(upper);
    }

    // Each entry is the count-weighted mean of its box's cell centres, rounded to nearest.
    std::vector<TColor> colors;
    for (const TBox& b : boxes) {
        int64_t n = 0, red = 0, green = 0, blue = 0;
        ForEachCell(b, [&](int r, int g, int bl) {
            const int64_t c = h[size_t(Cell(r, g, bl))];
            n += c;
            red += c * (r * 8 + 4);
            green += c * (g * 4 + 2);
            blue += c * (bl * 8 + 4);
        });
        n = std::max<int64_t>(n, 1); // a box always holds a counted cell; this only keeps the division safe
        colors.push_back(
            RGB(uint8_t((red + n / 2) / n), uint8_t((green + n / 2) / n), uint8_t((blue + n / 2) / n)));
    }
    return colors;
}

// ---- Octree ----

struct TNode {
    int Level = 0;
    bool Leaf = false;
    int64_t Count = 0;
    int64_t Red = 0, Green = 0, Blue = 0;
    int ChildCount = 0;
    std::array<std::unique_ptr<TNode>, 8> Children;
    // The node's place in its level's list of reducible nodes.
    TNode* Next = nullptr;
    TNode* Prev = nullptr;
    bool Listed = false;
};

class TOctree {
public:
    TOctree() : Root(NewNode(0)) {}

    int Leaves() const { return LeafCount; }

    // Adds a colour with a weight along its path down to a leaf or the depth limit.
    void Add(TColor color, int64_t weight) {
        const int rgb[3] = {GetRValue(color), GetGValue(color), GetBValue(color)};
        TNode* n = Root.get();
        for (;;) {
            n->Count += weight;
            n->Red += weight * rgb[0];
            n->Green += weight * rgb[1];
            n->Blue += weight * rgb[2];
            if (n->Leaf || n->Level >= DepthLimit)
                return;
            const int bit = 7 - n->Level;
            const int index = ((rgb[0] >> bit) & 1) * 4 + ((rgb[1] >> bit) & 1) * 2 + ((rgb[2] >> bit) & 1);
            std::unique_ptr<TNode>& child = n->Children[size_t(index)];
            if (!child) {
                child = NewNode(n->Level + 1);
                // A node becomes reducible with its second child; every node that can be merged is listed.
                if (++n->ChildCount == 2)
                    Link(n);
            }
            n = child.get();
        }
    }

    // Merges the children of one reducible node of the deepest listed level into it. False when no node is
    // listed.
    bool Reduce() {
        for (int level = DepthLimit - 1; level >= 0; --level) {
            if (!Heads[size_t(level)])
                continue;
            TNode* chosen = Heads[size_t(level)];
            for (TNode* n = chosen->Next; n; n = n->Next)
                if (Darkness(*n) < Darkness(*chosen))
                    chosen = n;
            Unlink(chosen);
            for (std::unique_ptr<TNode>& child : chosen->Children)
                Free(child);
            chosen->ChildCount = 0;
            chosen->Leaf = true;
            ++LeafCount;
            if (chosen->Level < DepthLimit - 1)
                DepthLimit = chosen->Level + 1;
            return true;
        }
        return false;
    }

    // The leaves' mean colours, depth first with children in order, rounded down.
    std::vector<TColor> Colors() const {
        std::vector<TColor> colors;
        Collect(*Root, colors);
        return colors;
    }

private:
    std::unique_ptr<TNode> NewNode(int level) {
        auto n = std::make_unique<TNode>();
        n->Level = level;
        n->Leaf = level >= DepthLimit;
        if (n->Leaf)
            ++LeafCount;
        return n;
    }

    static int64_t Darkness(const TNode& n) { return 2 * n.Red + 3 * n.Green + n.Blue; }

    // New reducible nodes go to the head of their level's list.
    void Link(TNode* n) {
        TNode*& head = Heads[size_t(n->Level)];
        n->Next = head;
        n->Prev = nullptr;
        if (head)
            head->Prev = n;
        head = n;
        n->Listed = true;
    }

    void Unlink(TNode* n) {
        if (!n->Listed)
            return;
        (n->Prev ? n->Prev->Next : Heads[size_t(n->Level)]) = n->Next;
        if (n->Next)
            n->Next->Prev = n->Prev;
        n->Next = n->Prev = nullptr;
        n->Listed = false;
    }

    // Frees a subtree, leaving no list pointing into it.
    void Free(std::unique_ptr<TNode>& n) {
        if (!n)
            return;
        for (std::unique_ptr<TNode>& child : n->Children)
            Free(child);
        Unlink(n.get());
        if (n->Leaf)
            --LeafCount;
        n.reset();
    }

    static void Collect(const TNode& n, std::vector<TColor>& colors) {
        if (n.Leaf) {
            colors.push_back(
                RGB(uint8_t(n.Red / n.Count), uint8_t(n.Green / n.Count), uint8_t(n.Blue / n.Count)));
            return;
        }
        for (const std::unique_ptr<TNode>& child : n.Children)
            if (child)
                Collect(*child, colors);
    }

    int DepthLimit = 8; // read by NewNode, so declared before Root
    int LeafCount = 0;
    std::array<TNode*, 8> Heads{};
    std::unique_ptr<TNode> Root;
};

// ---- Counting ----

// Runs Count(row) over the source rows from the top with Dest's progress event after each; Abort stops.
template <typename F> void CountRows(TPixelGraphic& Dest, const TPGSourceReader& source, F&& count) {
    const TPGProgressEvent progress = Dest.GetOnProgress();
    for (int y = 0; y < source.Height(); ++y) {
        count(source.Row(y));
        bool abort = false;
        if (progress)
            progress(&Dest, y, source.Height() - 1, abort);
        if (abort)
            break;
    }
}

std::vector<TColor> TrueColorTable(TPixelGraphic& Dest, const TPGSourceReader& source, int target) {
    THistogram h(HistogramCells, 0);
    CountRows(Dest, source, [&](const uint8_t* row) {
        for (int x = 0; x < source.Width(); ++x) {
            const uint8_t* p = row + 3 * x;
            uint16_t& c = h[size_t(Cell(p[2] >> 3, p[1] >> 2, p[0] >> 3))];
            if (c != 65535)
                ++c;
        }
    });
    return BoxCut(h, target);
}

std::vector<TColor> PalettedTable(TPixelGraphic& Dest, const TPGSourceReader& source, int target) {
    std::array<uint64_t, 256> uses{};
    const uint8_t bitCountNum = source.GetBitCountNum();
    CountRows(Dest, source, [&](const uint8_t* row) {
        for (int x = 0; x < source.Width(); ++x)
            ++uses[GetRawValue(row, x, bitCountNum)];
    });

    TOctree tree;
    std::vector<TColor> used;
    for (int i = 0; i < 256; ++i) {
        if (uses[size_t(i)] == 0)
            continue;
        const TColor c = source.IndexColor(uint8_t(i));
        used.push_back(c);
        tree.Add(c, int64_t(uses[size_t(i)]));
        while (tree.Leaves() > target && tree.Reduce()) {
        }
    }
    std::vector<TColor> colors = tree.Colors();
    std::sort(used.begin(), used.end());
    const bool severalColors = std::unique(used.begin(), used.end()) - used.begin() >= 2;
    if (colors.size() > 1 || target < 2 || !severalColors)
        return colors;

    // The reductions merged everything into one entry although several colours are used and more entries are
    // allowed: cut boxes of the used entries instead.
    THistogram h(HistogramCells, 0);
    for (int i = 0; i < 256; ++i)
        if (uses[size_t(i)] > 0)
            AddToCell(h, CellOf(source.IndexColor(uint8_t(i))), uses[size_t(i)]);
    return BoxCut(h, target);
}

} // namespace

void BuildOptimizedPalette(TPixelGraphic& Dest, TPixelGraphic& Source, int MaxColors, bool Reserve16) {
    Dest.GetBits(); // the pending flush
    MaxColors = std::clamp(MaxColors, 0, 256);
    const int target = Reserve16 ? MaxColors - 16 : MaxColors;
    if (Source.GetWidth() < 1 || Source.GetHeight() < 1 || target < 1) {
        Dest.SetPaletteIdent(pSys16);
        Dest.SetColorCount(std::min(MaxColors, 16));
        return;
    }

    // Everything is read from Source before Dest's table changes: they may be one picture.
    const TPGSourceReader source(Source);
    const std::vector<TColor> colors = source.GetBitCountNum() == 3 ? TrueColorTable(Dest, source, target)
                                                                    : PalettedTable(Dest, source, target);
    Dest.SetColorCount(0);
    Dest.SetColorCount(int(colors.size()));
    for (size_t i = 0; i < colors.size(); ++i)
        Dest.SetPaletteColor(int(i), colors[i]);
    if (Reserve16) {
        const std::span<const TColor> system = StandardPalette(pSys16);
        for (size_t i = 0; Dest.GetColorCount() < MaxColors && i < system.size(); ++i) {
            Dest.SetColorCount(Dest.GetColorCount() + 1);
            Dest.SetPaletteColor(Dest.GetColorCount() - 1, system[i]);
        }
    }
}
