// The measurement's arithmetic, free of windows so that tests and benchmarks call it directly: the automatic
// threshold, region growing over the mask, the region's sum and box, the histogram level, rectangle sums and
// the points of the six line profiles.
#pragma once

#include "framework/AddressReservation.h"
#include "framework/Geometry.h"

#include <cstdint>
#include <vector>

class TPixelGraphic;

// What the main window keeps between measurements.
struct TMeasurementState {
    int32_t Threshold = 30;    // from AutoThreshold or the entry form's "Порог"
    int64_t MeasuredValue = 0; // sum of the last measurement; a drag over 12 megapixels passes 2^31
    TRect RegionRect;          // the box last derived from a region
};

// Mask bytes: one per pixel, row-major with the top row first.
constexpr uint8_t MaskUntouched = 0;
constexpr uint8_t MaskInside = 1;
constexpr uint8_t MaskBoundary = 2;

// The low byte of the pixel's colour, as every measurement reads a grey picture; the picture's background
// outside it, also for coordinates past the 32-bit range.
uint8_t PixelValue(const TPixelGraphic& Picture, int64_t X, int64_t Y);

// The threshold from the smoothed vertical profile through picture point (Column, Row): the larger of the
// level just after its steepest fall and the level just before its steepest rise.
int32_t AutoThreshold(const TPixelGraphic& Picture, int64_t Column, int64_t Row);

// Region growing's inputs and current point. Mask holds (MaxX + 1) x (MaxY + 1) bytes with Stride = MaxX + 1;
// GrowX, GrowY start inside the picture.
struct TRegionGrowState {
    TPixelGraphic* Picture = nullptr;
    uint8_t* Mask = nullptr;
    int32_t Stride = 0;
    int32_t MaxX = 0;
    int32_t MaxY = 0;
    int32_t GrowX = 0;
    int32_t GrowY = 0;
    uint8_t Seed = 0;        // low byte of the raw value at the clicked pixel
    uint8_t Tolerance = 255; // fixed: only a value 255 away from Seed fails it
    int32_t Threshold = 30;
};

// Marks the region reachable from (GrowX, GrowY) over four neighbours, depth first in the order left, right,
// up, down. Pixels of the outer rows and columns are marked boundary untested; a pixel that fails the test
// marks the pixel it was reached from as boundary. Works on a heap stack of one byte per level, so any region
// the mask holds grows without exhausting the thread's stack. GrowX and GrowY end where they began.
void RegionGrow(TRegionGrowState& State);

struct TRegionSum {
    int64_t Sum = 0; // values of every marked pixel
    TRect Box;       // of the boundary pixels, bounds inclusive; Left = MaxX, Top = MaxY, 0, 0 with none
};
TRegionSum SumRegion(TPixelGraphic& Picture, const uint8_t* Mask, int32_t MaxX, int32_t MaxY);

// The rectangle just inside a boundary box.
inline TRect RegionRectOf(const TRect& Box) {
    return {Box.Left + 1, Box.Top + 1, Box.Right, Box.Bottom};
}

// Grows the region from picture point (X, Y) on Picture's whole mask (zeros on entry) and sums it.
TRegionSum GrowAndSum(TPixelGraphic& Picture, uint8_t* Mask, int X, int Y, int32_t Threshold);

// Paints every boundary pixel white.
void PaintBoundary(TPixelGraphic& Picture, const uint8_t* Mask);

// The mask of one region measurement: Width x Height bytes of the reservation, committed for the guard's
// lifetime and given back on every exit, so that the next measurement reads zeros again.
class TMaskCommit {
public:
    TMaskCommit(TAddressReservation* Reservation, int Width, int Height);
    ~TMaskCommit();
    TMaskCommit(const TMaskCommit&) = delete;
    TMaskCommit& operator=(const TMaskCommit&) = delete;

    // Null when the picture does not fit the reservation, the reservation failed or the system refused.
    uint8_t* Data() const { return Committed ? Reservation->Data() : nullptr; }

    // Whether a picture of this size fits a reservation (a failed or missing one fits none).
    static bool Fits(const TAddressReservation* Reservation, int64_t Width, int64_t Height);

private:
    TAddressReservation* Reservation;
    size_t Length = 0;
    bool Committed = false;
};

// The most frequent luminance level over R (bounds inclusive, empty when reversed), the lowest on equal
// counts, 0 with no pixels.
int SelectionHistogram(const TPixelGraphic& Picture, const TRect& R);
// The sum of the values over R, bounds inclusive.
int64_t SumRect(const TPixelGraphic& Picture, const TRect& R);

// The six lines of the profile chart, numbered as its buttons.
enum TProfileLine { plTop = 1, plBottom, plRising, plFalling, plLeft, plRight };
struct TProfilePoint {
    int X = 0; // column, or row for the left and right edges
    int Value = 0;
    friend bool operator==(const TProfilePoint&, const TProfilePoint&) = default;
};
// The points of one line over the selection R (right and bottom exclusive, as the viewer gives it).
std::vector<TProfilePoint> ProfileLinePoints(const TPixelGraphic& Picture, const TRect& R, TProfileLine Line);
