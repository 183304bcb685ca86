// Support for the plain benchmark programs that time the library beside netpbm processes in one run: timing,
// a generated camera-like picture, its PPM file, and one report line per figure.
#pragma once

#include <functional>
#include <string>

class TPixelGraphic;

// Milliseconds of the best of `runs` runs.
double Milliseconds(const std::function<void()>& work, int runs = 3);
// A program of the netpbm suite on a file, its output to /dev/null; -1 when it is missing or fails.
double ToolMilliseconds(const std::string& command);
// A smooth 24-bit picture with noise and an edge, as a camera gives.
void MakePhoto(TPixelGraphic& p, int w, int h);
void WritePpm(TPixelGraphic& p, const std::string& path);
// One line: our figure, the reference figure, their ratio and the limit the ratio must keep.
void Report(const char* what, double ours, const char* reference, double theirs, double limit);
