// Timing, the generated picture and the report lines of the plain benchmark programs.
#include "bench/ToolTiming.h"

#include "framework/Thread.h"
#include "image-library/PGraphic.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

double Milliseconds(const std::function<void()>& work, int runs) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(
            best,
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

void OneThread(const std::function<void()>& work) {
    TWorkerPool::Instance().SetThreadCount(1);
    work();
    TWorkerPool::Instance().SetThreadCount(0);
}

double ToolMilliseconds(const std::string& command) {
    const std::string program = command.substr(0, command.find(' '));
    if (std::system(("command -v " + program + " > /dev/null").c_str()) != 0)
        return -1;
    int status = 0;
    const double ms = Milliseconds([&] { status |= std::system((command + " > /dev/null 2>&1").c_str()); });
    return status == 0 ? ms : -1;
}

void MakePhoto(TPixelGraphic& p, int w, int h) {
    p.SetFormat(w, h, 3);
    std::mt19937 random(3);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = p.GetScanLine(y);
        for (int x = 0; x < w; ++x) {
            const int noise = int(random() % 9) - 4;
            const int edge = std::hypot(x - 0.6 * w, y - 0.4 * h) < 0.25 * h ? 60 : 0;
            row[3 * x] = uint8_t(std::clamp(x * 200 / w + noise + edge / 2, 0, 255));
            row[3 * x + 1] = uint8_t(std::clamp(60 + int(80 * std::sin(7.0 * y / h)) + noise, 0, 255));
            row[3 * x + 2] = uint8_t(std::clamp((x + y) * 200 / (w + h) + noise + edge, 0, 255));
        }
    }
}

void WritePpm(TPixelGraphic& p, const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fprintf(f, "P6\n%d %d\n255\n", p.GetWidth(), p.GetHeight());
    std::vector<uint8_t> rgb(size_t(p.GetWidth()) * 3);
    for (int y = 0; y < p.GetHeight(); ++y) {
        const uint8_t* row = p.GetScanLine(y);
        for (int x = 0; x < p.GetWidth(); ++x)
            rgb[3 * size_t(x)] = row[3 * x + 2], rgb[3 * size_t(x) + 1] = row[3 * x + 1],
                    rgb[3 * size_t(x) + 2] = row[3 * x];
        std::fwrite(rgb.data(), 1, rgb.size(), f);
    }
    std::fclose(f);
}

void Report(const char* what, double ours, const char* reference, double theirs, double limit) {
    if (theirs < 0) {
        std::printf("%-44s %9.1f ms   %-34s   (not installed)\n", what, ours, reference);
        return;
    }
    const double ratio = ours / theirs;
    std::printf("%-44s %9.1f ms   %-34s %9.1f ms   %5.2fx  (at most %.0fx) %s\n", what, ours, reference,
                theirs, ratio, limit, ratio <= limit ? "ok" : "SLOW");
}

void MakeBandedPicture(TPixelGraphic& picture, int width, int height, uint8_t bitCountNum) {
    picture.SetFormat(width, height, bitCountNum);
    if (bitCountNum == 2)
        picture.SetPaletteIdent(pGray256);
    uint32_t seed = 1;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture.GetScanLine(y);
        for (int n = 0; n < picture.GetRowBytes(); ++n) {
            seed = seed * 1664525u + 1013904223u;
            row[n] = uint8_t((n / 64 + y / 48) * 8 + ((seed >> 28) & 3));
        }
    }
}
