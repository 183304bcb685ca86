// Loading and saving a 12-megapixel colour picture through the JPEG reader and writer, beside libjpeg-turbo
// called directly on the same bytes with the same settings: the glue should cost next to nothing.
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/PGraphicInit.h"
#include "image-library/formats/PGJPEG.h"

#include <QBuffer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr int Width = 4000;
constexpr int Height = 3000;
constexpr double PictureMB = double(Width) * Height * 3 / 1e6;

// A smooth picture with noise and edges, as a camera gives: it compresses like a photo.
void FillPhoto(TPixelGraphic& picture) {
    picture.SetFormat(Width, Height, 3);
    std::mt19937 random(1);
    for (int y = 0; y < Height; ++y) {
        uint8_t* row = picture.GetScanLine(y);
        for (int x = 0; x < Width; ++x) {
            const int noise = int(random() % 9) - 4;
            const int edge = (x / 250 + y / 250) % 2 * 40;
            row[3 * x] = uint8_t(std::clamp(x * 200 / Width + noise + edge, 0, 255));
            row[3 * x + 1] = uint8_t(std::clamp(y * 200 / Height + noise, 0, 255));
            row[3 * x + 2] = uint8_t(std::clamp((x + y) * 255 / (Width + Height) + noise - edge, 0, 255));
        }
    }
}

void ReadOurs(const QByteArray& jpeg, TPixelGraphic& picture) {
    QBuffer stream;
    stream.setData(jpeg);
    stream.open(QIODevice::ReadOnly);
    TJPGFileFormatReader().Read(stream, picture, 0);
}

QByteArray WriteOurs(TPixelGraphic& picture) {
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    TJPGFileFormatWriter().Write(stream, picture);
    return stream.data();
}

// The reader's work done straight with the codec: blue-green-red rows bottom-up, one row per call.
void ReadDirect(const QByteArray& jpeg, std::vector<uint8_t>& pixels) {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.constData()), jpeg.size());
    jpeg_read_header(&info, TRUE);
    info.dct_method = J_DCT_METHOD(PGJPEGReadDCTMethod);
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    const size_t rowBytes = (size_t(info.output_width) * 3 + 3) / 4 * 4;
    pixels.assign(rowBytes * info.output_height, 0);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.data() + (info.output_height - 1 - info.output_scanline) * rowBytes;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
}

// The writer's work done straight with the codec, on the picture's rows.
size_t WriteDirect(TPixelGraphic& picture) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = JDIMENSION(picture.GetWidth());
    info.image_height = JDIMENSION(picture.GetHeight());
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, PGJPEGQuality, TRUE);
    info.dct_method = J_DCT_METHOD(PGJPEGDCTMethod);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = picture.GetScanLine(int(info.next_scanline));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::free(out);
    return size;
}

// Ours and direct in turns, the best of several runs each in MB/s of picture bytes: taking turns and the best
// run keep a busy machine from favouring either side.
template <class TOurs, class TDirect> void Compare(const char* what, TOurs&& ours, TDirect&& direct) {
    auto mbPerSecond = [](auto&& work) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        return PictureMB / seconds.count();
    };
    double bestOurs = 0, bestDirect = 0;
    for (int run = 0; run < 9; ++run) {
        bestOurs = std::max(bestOurs, mbPerSecond(ours));
        bestDirect = std::max(bestDirect, mbPerSecond(direct));
    }
    std::printf("%-5s ours %7.1f MB/s   libjpeg-turbo direct %7.1f MB/s   ratio %.3f (at least 0.9)\n", what,
                bestOurs, bestDirect, bestOurs / bestDirect);
}

} // namespace

int main() {
    const TPGraphicScope library; // settings as a running program has them
    TPixelGraphic picture;
    FillPhoto(picture);
    const QByteArray jpeg = WriteOurs(picture);
    std::printf("%d x %d colour picture (%.1f MB), JPEG quality %d: %lld bytes\n", Width, Height, PictureMB,
                PGJPEGQuality, static_cast<long long>(jpeg.size()));

    TPixelGraphic loaded;
    std::vector<uint8_t> pixels;
    const auto loadOurs = [&] { ReadOurs(jpeg, loaded); };
    const auto loadDirect = [&] { ReadDirect(jpeg, pixels); };
    Compare("load", loadOurs, loadDirect);
    const auto saveOurs = [&] { WriteOurs(picture); };
    const auto saveDirect = [&] { WriteDirect(picture); };
    Compare("save", saveOurs, saveDirect);
    return 0;
}
