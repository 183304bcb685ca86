// Running independent programs and the PNM exchange format of the oracle tests.
#include "image-library/testing/Oracles.h"

#include "image-library/PGraphic.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <cmath>
#include <random>

bool ToolAvailable(const char* program) {
    return !QStandardPaths::findExecutable(QString::fromUtf8(program)).isEmpty();
}

namespace {

// The first python3 that can import PIL: the one on the path may be a private installation without it.
QString PythonWithPil() {
    static const QString program = [] {
        for (const QString& candidate : {QStringLiteral("python3"), QStringLiteral("/usr/bin/python3")})
            if (RunTool(candidate, {QStringLiteral("-c"), QStringLiteral("import PIL")}).ExitCode == 0)
                return candidate;
        return QStringLiteral("python3");
    }();
    return program;
}

} // namespace

bool PilAvailable() {
    static const bool available = RunPython(QStringLiteral("import PIL")).ExitCode == 0;
    return available;
}

TToolResult RunTool(const QString& program, const QStringList& args, const QByteArray& input) {
    TToolResult result;
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted(10000))
        return result;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.Out = process.readAllStandardOutput();
    result.Err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit)
        result.ExitCode = process.exitCode();
    return result;
}

TToolResult RunPython(const QString& script, const QStringList& args, const QByteArray& input) {
    return RunTool(PythonWithPil(), QStringList{QStringLiteral("-c"), script} + args, input);
}

QByteArray EncodePnm(const TPnm& picture) {
    QByteArray out = QStringLiteral("P%1\n%2 %3\n%4\n")
                         .arg(picture.Channels == 1 ? 5 : 6)
                         .arg(picture.Width)
                         .arg(picture.Height)
                         .arg(picture.MaxVal)
                         .toLatin1();
    const bool wide = picture.MaxVal > 255;
    for (uint16_t s : picture.Samples) {
        if (wide)
            out.append(char(s >> 8));
        out.append(char(s & 0xFF));
    }
    return out;
}

namespace {

// Reads the header's whitespace- and comment-separated numbers.
struct HeaderReader {
    const QByteArray& b;
    qsizetype pos = 2;

    std::optional<int> Number() {
        for (;;) {
            while (pos < b.size() && std::isspace(uint8_t(b[pos])))
                ++pos;
            if (pos < b.size() && b[pos] == '#') {
                while (pos < b.size() && b[pos] != '\n')
                    ++pos;
                continue;
            }
            break;
        }
        int64_t v = 0;
        const qsizetype start = pos;
        while (pos < b.size() && std::isdigit(uint8_t(b[pos])) && v < 1'000'000'000)
            v = v * 10 + (b[pos++] - '0');
        if (pos == start)
            return std::nullopt;
        return int(v);
    }
};

} // namespace

std::optional<TPnm> DecodePnm(const QByteArray& bytes) {
    if (bytes.size() < 3 || bytes[0] != 'P' || bytes[1] < '1' || bytes[1] > '6')
        return std::nullopt;
    const int kind = bytes[1] - '0';
    HeaderReader h{bytes};
    TPnm p;
    const auto w = h.Number(), ht = h.Number();
    if (!w || !ht || *w <= 0 || *ht <= 0 || int64_t(*w) * *ht > 100'000'000)
        return std::nullopt;
    p.Width = *w;
    p.Height = *ht;
    p.Channels = (kind == 3 || kind == 6) ? 3 : 1;
    if (kind == 1 || kind == 4) {
        p.MaxVal = 1;
    } else {
        const auto m = h.Number();
        if (!m || *m <= 0 || *m > 65535)
            return std::nullopt;
        p.MaxVal = *m;
    }
    const size_t count = size_t(p.Width) * p.Height * p.Channels;
    p.Samples.resize(count);
    if (kind <= 3) { // plain: numbers (P1 digits may touch)
        for (size_t i = 0; i < count; ++i) {
            if (kind == 1) {
                while (h.pos < bytes.size() && bytes[h.pos] != '0' && bytes[h.pos] != '1')
                    ++h.pos;
                if (h.pos >= bytes.size())
                    return std::nullopt;
                p.Samples[i] = bytes[h.pos++] - '0';
            } else {
                const auto v = h.Number();
                if (!v)
                    return std::nullopt;
                p.Samples[i] = uint16_t(*v);
            }
        }
        return p;
    }
    qsizetype pos = h.pos + 1; // one whitespace byte ends the header
    if (kind == 4) {
        const qsizetype rowBytes = (p.Width + 7) / 8;
        if (bytes.size() - pos < rowBytes * p.Height)
            return std::nullopt;
        for (int y = 0; y < p.Height; ++y)
            for (int x = 0; x < p.Width; ++x)
                p.At(x, y) = (uint8_t(bytes[pos + y * rowBytes + x / 8]) >> (7 - x % 8)) & 1;
        return p;
    }
    const int sampleBytes = p.MaxVal > 255 ? 2 : 1;
    if (bytes.size() - pos < qsizetype(count) * sampleBytes)
        return std::nullopt;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* s = reinterpret_cast<const uint8_t*>(bytes.constData()) + pos + i * sampleBytes;
        p.Samples[i] = sampleBytes == 2 ? uint16_t(s[0] << 8 | s[1]) : s[0];
    }
    return p;
}

TPnm Rgb8FromPnm(const QByteArray& bytes) {
    const std::optional<TPnm> pnm = DecodePnm(bytes);
    if (!pnm)
        return {};
    const bool bitmap = bytes.startsWith("P1") || bytes.startsWith("P4");
    TPnm rgb{pnm->Width, pnm->Height, 3, 255, {}};
    for (int y = 0; y < pnm->Height; ++y)
        for (int x = 0; x < pnm->Width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int v = pnm->At(x, y, pnm->Channels == 1 ? 0 : c);
                rgb.Samples.push_back(uint16_t(bitmap                 ? (v ? 0 : 255)
                                               : pnm->MaxVal == 65535 ? v >> 8
                                                                      : v * 255 / pnm->MaxVal));
            }
    return rgb;
}

int LargestDifference(const TPnm& a, const TPnm& b) {
    if (a.Width != b.Width || a.Height != b.Height || a.Samples.size() != b.Samples.size())
        return 65536;
    int largest = 0;
    for (size_t i = 0; i < a.Samples.size(); ++i)
        largest = std::max(largest, std::abs(int(a.Samples[i]) - int(b.Samples[i])));
    return largest;
}

TPnm PnmFromPicture(const TPixelGraphic& picture) {
    TPnm p;
    p.Width = picture.GetWidth();
    p.Height = picture.GetHeight();
    p.Samples.resize(size_t(p.Width) * p.Height * 3);
    for (int y = 0; y < p.Height; ++y)
        for (int x = 0; x < p.Width; ++x) {
            const TColor c = picture.GetPixelColor(x, y); // $00BBGGRR
            p.At(x, y, 0) = c & 0xFF;
            p.At(x, y, 1) = (c >> 8) & 0xFF;
            p.At(x, y, 2) = (c >> 16) & 0xFF;
        }
    return p;
}

void PictureFromPnm(const TPnm& pnm, TPixelGraphic& picture) {
    picture.SetFormat(pnm.Width, pnm.Height, 3);
    for (int y = 0; y < pnm.Height; ++y)
        for (int x = 0; x < pnm.Width; ++x) {
            auto sample = [&](int c) {
                const int v = pnm.At(x, y, pnm.Channels == 1 ? 0 : c);
                return uint32_t((int64_t(v) * 255 + pnm.MaxVal / 2) / pnm.MaxVal);
            };
            picture.SetPixelColor(x, y, sample(0) | sample(1) << 8 | sample(2) << 16);
        }
}

TPnm GeneratedPhoto(int width, int height, uint32_t seed) {
    TPnm p;
    p.Width = width;
    p.Height = height;
    p.Samples.resize(size_t(width) * height * 3);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-6, 6);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / std::max(1, width - 1), v = double(y) / std::max(1, height - 1);
            const double disc = std::hypot(u - 0.6, v - 0.4) < 0.25 ? 70 : 0; // a hard edge
            const double r = 40 + 160 * u + 30 * std::sin(9 * v) + disc;
            const double g = 60 + 120 * v + 40 * std::cos(7 * u + 3 * v);
            const double b = 200 - 150 * u * v + disc / 2;
            const double values[3] = {r, g, b};
            for (int c = 0; c < 3; ++c)
                p.At(x, y, c) = uint16_t(std::clamp(int(values[c]) + noise(rng), 0, 255));
        }
    return p;
}

TPnm RgbPnm(const TPnm& pnm) {
    if (pnm.Channels == 3)
        return pnm;
    TPnm rgb = pnm;
    rgb.Channels = 3;
    rgb.Samples.resize(pnm.Samples.size() * 3);
    for (size_t i = 0; i < pnm.Samples.size(); ++i)
        rgb.Samples[3 * i] = rgb.Samples[3 * i + 1] = rgb.Samples[3 * i + 2] = pnm.Samples[i];
    return rgb;
}

void GrayPictureFromPnm(const TPnm& pnm, TPixelGraphic& picture) {
    picture.SetPaletteIdent(pGray256);
    picture.SetFormat(pnm.Width, pnm.Height, 2);
    for (int y = 0; y < pnm.Height; ++y)
        for (int x = 0; x < pnm.Width; ++x)
            picture.SetPixelValue(x, y, pnm.At(x, y));
}
