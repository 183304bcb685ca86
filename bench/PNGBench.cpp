// Reading and writing a 12-megapixel colour PNG through our reader and writer, beside libpng called directly
// on the same bytes with the same transformations (blue-green-red rows, bottom-up storage, gAMA, default
// compression): the glue should cost next to nothing.
#include "image-library/PGraphic.h"
#include "image-library/formats/PGPNG.h"

#include <QBuffer>
#include <benchmark/benchmark.h>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <png.h>

namespace {

constexpr int Width = 4000;
constexpr int Height = 3000;
constexpr int RowBytes = Width * 3; // already a multiple of four

// Smooth gradients with some texture: compresses like a photo, not like noise or a flat field.
TPixelGraphic& Photo() {
    static TPixelGraphic picture;
    if (picture.GetEmpty()) {
        picture.SetFormat(Width, Height, 3);
        uint32_t noise = 1;
        for (int y = 0; y < Height; ++y) {
            uint8_t* row = picture.GetScanLine(y);
            for (int x = 0; x < Width; ++x) {
                noise = noise * 1664525u + 1013904223u;
                const int grain = int(noise >> 29);
                row[3 * x] = uint8_t((x / 16 + y / 32 + grain) & 0xFF);
                row[3 * x + 1] = uint8_t((x * y / 40000 + grain) & 0xFF);
                row[3 * x + 2] = uint8_t((255 - y / 12 + grain) & 0xFF);
            }
        }
    }
    return picture;
}

const QByteArray& PhotoPng() {
    static const QByteArray png = [] {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        TPNGFileFormatWriter().Write(buffer, Photo());
        return buffer.data();
    }();
    return png;
}

void CountBytes(benchmark::State& state) {
    state.SetBytesProcessed(int64_t(state.iterations()) * RowBytes * Height);
}

void BM_ReadOurs(benchmark::State& state) {
    const TPNGFileFormatReader reader;
    for (auto _ : state) {
        QBuffer buffer;
        buffer.setData(PhotoPng());
        buffer.open(QIODevice::ReadOnly);
        TPixelGraphic picture;
        reader.Read(buffer, picture, 0);
        benchmark::DoNotOptimize(picture.GetBits());
    }
    CountBytes(state);
}

struct TFree {
    void operator()(void* p) const { std::free(p); }
};

struct TMemoryInput {
    const QByteArray& Bytes;
    qsizetype Position = 0;
};

void ReadMemory(png_structp png, png_bytep data, size_t length) {
    auto* input = static_cast<TMemoryInput*>(png_get_io_ptr(png));
    if (length > size_t(input->Bytes.size() - input->Position))
        png_error(png, "Read Error");
    std::memcpy(data, input->Bytes.constData() + input->Position, length);
    input->Position += qsizetype(length);
}

// The same work with nothing in between: a zeroed bottom-up block like the picture's, rows straight into it.
void ReadDirect(const QByteArray& bytes) {
    TMemoryInput input{bytes};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::unique_ptr<uint8_t, TFree> pixels(static_cast<uint8_t*>(std::calloc(size_t(RowBytes) * Height, 1)));
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_read_fn(png, &input, ReadMemory);
        png_read_info(png, info);
        png_set_bgr(png);
        const int passes = png_set_interlace_handling(png);
        png_read_update_info(png, info);
        for (int pass = 0; pass < passes; ++pass)
            for (int y = 0; y < Height; ++y)
                png_read_row(png, pixels.get() + size_t(Height - 1 - y) * RowBytes, nullptr);
        png_read_end(png, info);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(pixels.get());
}

void BM_ReadDirect(benchmark::State& state) {
    for (auto _ : state)
        ReadDirect(PhotoPng());
    CountBytes(state);
}

void BM_WriteOurs(benchmark::State& state) {
    const TPNGFileFormatWriter writer;
    for (auto _ : state) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        writer.Write(buffer, Photo());
        benchmark::DoNotOptimize(buffer.data().data());
    }
    CountBytes(state);
}

void WriteMemory(png_structp png, png_bytep data, size_t length) {
    static_cast<QByteArray*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char*>(data), qsizetype(length));
}

void FlushMemory(png_structp) {}

void BM_WriteDirect(benchmark::State& state) {
    uint8_t* bits = Photo().GetBits();
    for (auto _ : state) {
        QByteArray out;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png)) == 0) {
            png_set_write_fn(png, &out, WriteMemory, FlushMemory);
            png_set_IHDR(png, info, Width, Height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                         PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
            png_set_gAMA(png, info, double(float(1 / 1.8)));
            png_write_info(png, info);
            png_set_bgr(png);
            for (int y = 0; y < Height; ++y)
                png_write_row(png, bits + size_t(Height - 1 - y) * RowBytes);
            png_write_end(png, nullptr);
        }
        png_destroy_write_struct(&png, &info);
        benchmark::DoNotOptimize(out.data());
    }
    CountBytes(state);
}

BENCHMARK(BM_ReadOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadDirect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteDirect)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    PhotoPng(); // the picture and its file are made once, outside every timing
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
