// Support for the plain benchmark programs that time the library beside netpbm processes in one run: timing,
// a generated camera-like picture, its PPM file, and one report line per figure.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TPixelGraphic;

// Runs work with the worker pool set to one thread, then gives the pool back its machine's size.
void OneThread(const std::function<void()>& work);
// Milliseconds of the best of `runs` runs.
double Milliseconds(const std::function<void()>& work, int runs = 3);
// Seconds of the best of `runs` runs.
inline double Fastest(const std::function<void()>& work, int runs = 5) {
    return Milliseconds(work, runs) / 1000;
}
// A program of the netpbm suite on a file, its output to /dev/null, best of three runs like our side; -1
// when it is missing or fails.
double ToolMilliseconds(const std::string& command);
// A smooth 24-bit picture with noise and an edge, as a camera gives.
void MakePhoto(TPixelGraphic& p, int w, int h);
void WritePpm(TPixelGraphic& p, const std::string& path);
// An 8-bit gray (BitCountNum 2) or 24-bit picture of gradient bands with some noise, so that run-length
// coders meet both repeats and literals.
void MakeBandedPicture(TPixelGraphic& picture, int width, int height, uint8_t bitCountNum);
// One line: our figure, the reference figure, their ratio and the limit the ratio must keep.
void Report(const char* what, double ours, const char* reference, double theirs, double limit);
