// Picture filters: each turns the colour of a source pixel into a result colour, for
// TPixelGraphic::ApplyFilter to write into a target. The negative, and brightness, contrast and gamma through
// a 256-level table.
#pragma once

#include "framework/Colors.h"
#include "image-library/PGPixelTransfer.h"

#include <array>
#include <cstdint>
#include <optional>

class TPixelGraphic;

// The common ancestor of the filters; it holds nothing.
class TPGFilterClass {};

// A filter is used by one thread and one run at a time: SetSource, any number of GetPixel or FilterColor
// calls, EndFilter. Filters are plain objects handed between owners as std::unique_ptr<TPGFilter>.
class TPGFilter : public TPGFilterClass {
public:
    using TLevelTable = std::array<uint8_t, 256>;

    TPGFilter() = default;
    virtual ~TPGFilter() = default;

    // Keeps the picture (not owned) until EndFilter; descendants prepare their tables here.
    virtual void SetSource(TPixelGraphic* ASource);
    // The result for source pixel X, Y (0 = top); the base filter gives black.
    virtual TColor GetPixel(int X, int Y);
    virtual void EndFilter();
    // True declares that a pixel's result depends only on its colour: GetPixel(X, Y) equals
    // FilterColor(colour of X, Y). ApplyFilter then lets source and target be one picture and filters a
    // paletted picture through its colour table alone.
    virtual bool IsColorFilter() const { return false; }
    virtual TColor FilterColor(TColor Color) { return Color; }

    TPixelGraphic* GetSource() const { return Source; }

protected:
    // The colour source pixel X, Y is drawn with. Inside the picture a paletted pixel beyond the colour
    // table reads as the drawing shows it instead of raising midway through a run; outside the picture the
    // source's own GetPixelColor answers.
    TColor SourceColor(int X, int Y) const;

    // A colour filter that maps red, green and blue each through this one table may offer it, so that
    // ApplyFilter turns a 24-bit row into one lookup per byte. Valid from SetSource to EndFilter.
    virtual const TLevelTable* ChannelTable() const { return nullptr; }
    // A colour filter may filter Count 24-bit pixels at a time, Out[i] = FilterColor(In[i]) (In and Out may
    // be one row), safely on several threads at once; it returns false when it cannot, and Count 0 only asks.
    // ApplyFilter then shares the rows of a 24-bit run among the worker pool.
    virtual bool FilterRow(const uint8_t*, uint8_t*, int) const { return false; }

    TPixelGraphic* Source = nullptr;

private:
    friend class TPixelGraphic; // ApplyFilter asks for the channel table

    std::optional<TPGSourceReader> Reader; // over Source, during a run
};

// (255 - R, 255 - G, 255 - B).
class TNegativeFilter : public TPGFilter {
public:
    TColor GetPixel(int X, int Y) override { return FilterColor(SourceColor(X, Y)); }
    bool IsColorFilter() const override { return true; }
    TColor FilterColor(TColor Color) override { return Color ^ 0xFFFFFF; }

protected:
    const TLevelTable* ChannelTable() const override;
};

// Brightness, contrast and gamma through LevelTable, applied to each channel or, with UseY, to the
// luminance only. The owner writes the parameters directly; they take effect at the next SetSource, which
// rebuilds the table.
class TBCGFilter : public TPGFilter {
public:
    TLevelTable LevelTable{};
    bool UseY = false;
    int32_t Brightness = 1;   // percent of full scale, -100..100 in the dialog; 1 as a fresh filter has it
    long double Contrast = 1; // factor about the middle level 127.5
    long double Gamma = 1;    // exponent on the level scaled to 0..1

    void SetSource(TPixelGraphic* ASource) override;
    TColor GetPixel(int X, int Y) override { return ApplyColor(SourceColor(X, Y)); }
    bool IsColorFilter() const override { return true; }
    TColor FilterColor(TColor Color) override { return ApplyColor(Color); }

    // One colour through the table as it stands.
    TColor ApplyColor(TColor Color) const;

protected:
    const TLevelTable* ChannelTable() const override { return UseY ? nullptr : &LevelTable; }
    bool FilterRow(const uint8_t* In, uint8_t* Out, int Count) const override;

private:
    void BuildLevelTable();
};
