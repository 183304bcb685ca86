// Test support for checking the library against independent programs (netpbm, libtiff-tools, libjpeg-turbo
// tools, pngcheck, python3-pil): running them, and exchanging pictures with them as PBM, PGM and PPM bytes
// that this helper writes and reads itself, independently of the library's own PNM code.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

class TPixelGraphic;

// Skips the current test, with a message, when a program is not installed.
#define SKIP_UNLESS_TOOL(program)                                                                            \
    do {                                                                                                     \
        if (!ToolAvailable(program))                                                                         \
            GTEST_SKIP() << "oracle " << program << " is not installed (scripts/install-deps --oracles)";    \
    } while (0)

#define SKIP_UNLESS_PIL()                                                                                    \
    do {                                                                                                     \
        if (!PilAvailable())                                                                                 \
            GTEST_SKIP() << "python3-pil is not installed (scripts/install-deps --oracles)";                 \
    } while (0)

bool ToolAvailable(const char* program);
bool PilAvailable();

struct TToolResult {
    int ExitCode = -1; // -1: did not start or crashed
    QByteArray Out;
    QByteArray Err;
};
// Runs a program with bytes on its standard input; waits at most a minute.
TToolResult RunTool(const QString& program, const QStringList& args, const QByteArray& input = {});
// Runs a python3 script (with PIL available) given as text; arguments follow it.
TToolResult RunPython(const QString& script, const QStringList& args = {}, const QByteArray& input = {});

// A netpbm picture: gray (1 channel) or RGB (3 channels), samples row by row from the top.
struct TPnm {
    int Width = 0;
    int Height = 0;
    int Channels = 3;
    int MaxVal = 255;
    std::vector<uint16_t> Samples;

    uint16_t At(int x, int y, int c = 0) const { return Samples[(size_t(y) * Width + x) * Channels + c]; }
    uint16_t& At(int x, int y, int c = 0) { return Samples[(size_t(y) * Width + x) * Channels + c]; }
    bool operator==(const TPnm&) const = default;
};

// P5 for gray, P6 for RGB; two bytes a sample (big-endian) when MaxVal exceeds 255.
QByteArray EncodePnm(const TPnm& picture);
// Reads P1 to P6 (P1 and P4 as gray 0/1 with maxval 1, 1 = black as in the file); nullopt when malformed.
std::optional<TPnm> DecodePnm(const QByteArray& bytes);

// A decoder's PNM output as RGB samples of maxval 255: PBM's 1 is black, samples of maxval 65535 keep their
// high byte, other maxvals scale by 255 / maxval (exact for 1, 3, 15 and 255). Empty when malformed.
TPnm Rgb8FromPnm(const QByteArray& bytes);
// The largest difference between samples at the same place; 65536 when the sizes differ.
int LargestDifference(const TPnm& a, const TPnm& b);

// The picture's colours as RGB samples (maxval 255), and back as a 24-bit picture.
TPnm PnmFromPicture(const TPixelGraphic& picture);
void PictureFromPnm(const TPnm& pnm, TPixelGraphic& picture);

// A reproducible photo-like test picture: smooth gradients with some texture and edges.
TPnm GeneratedPhoto(int width, int height, uint32_t seed = 1);

// A gray PNM with the same samples in all three channels, for comparisons with PnmFromPicture.
TPnm RgbPnm(const TPnm& pnm);
// A gray PNM (maxval 255) as an 8-bit picture with the pGray256 table: pixel value = sample.
void GrayPictureFromPnm(const TPnm& pnm, TPixelGraphic& picture);
