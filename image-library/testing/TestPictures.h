// Test support: random pictures of every pixel format, and the plain per-pixel write that references of the
// operations filling a picture from colours are built from.
#pragma once

#include "framework/Colors.h"

#include <cstdint>
#include <memory>
#include <random>

class TPixelGraphic;

// A picture of random raw values; paletted ones get a random table one entry short of full, so that some
// values lie beyond it.
std::unique_ptr<TPixelGraphic> RandomPicture(std::mt19937& rng, int w, int h, uint8_t bitCountNum);
// A target with a standard table of its format, and random raw values to be overwritten.
std::unique_ptr<TPixelGraphic> RandomTarget(std::mt19937& rng, int w, int h, uint8_t bitCountNum,
                                            bool dither);
// One pixel as an operation writes it: diffused when dithering, else the nearest entry or the bytes.
void ReferenceWrite(TPixelGraphic& t, bool dithering, int x, int y, TColor c);
