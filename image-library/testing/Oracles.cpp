// Running independent programs and the PNM exchange format of the oracle tests.
#include "image-library/testing/Oracles.h"

#include "image-library/PGraphic.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

// The program is started with posix_spawnp, whose child runs no code of ours before it executes the tool:
// a child that shares our memory and runs intercepted calls (as QProcess's does) leaves ThreadSanitizer blind
// to this process's locks afterwards.
TToolResult RunTool(const QString& program, const QStringList& args, const QByteArray& input) {
    TToolResult result;
    // A tool that stops reading its input early must not end the test program with SIGPIPE.
    static const bool ignoreBrokenPipes = (std::signal(SIGPIPE, SIG_IGN), true);
    (void)ignoreBrokenPipes;
    std::vector<QByteArray> words{program.toLocal8Bit()};
    for (const QString& a : args)
        words.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0)
        return result;
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        close(in[0]), close(in[1]);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]), close(out[1]), close(err[1]);
    if (spawned != 0) {
        close(in[1]), close(out[0]), close(err[0]);
        return result;
    }
    // Feed the input and drain both outputs together, so that no pipe fills up and stalls the tool.
    fcntl(in[1], F_SETFL, O_NONBLOCK);
    qsizetype written = 0;
    int toChild = in[1];
    if (input.isEmpty())
        close(toChild), toChild = -1;
    std::array<QByteArray*, 2> sinks{&result.Out, &result.Err};
    std::array<int, 2> fromChild{out[0], err[0]};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    bool timedOut = false;
    while (fromChild[0] >= 0 || fromChild[1] >= 0) {
        std::array<pollfd, 3> fds{pollfd{fromChild[0], POLLIN, 0}, pollfd{fromChild[1], POLLIN, 0},
                                  pollfd{toChild, POLLOUT, 0}};
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            timedOut = true;
            break;
        }
        if (poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR) {
            kill(pid, SIGKILL);
            timedOut = true;
            break;
        }
        for (size_t k = 0; k < 2; ++k)
            if (fds[k].revents) {
                char buffer[65536];
                const ssize_t n = read(fromChild[k], buffer, sizeof buffer);
                if (n > 0)
                    sinks[k]->append(buffer, n);
                else if (n == 0 || errno != EINTR)
                    close(fromChild[k]), fromChild[k] = -1;
            }
        if (fds[2].revents) {
            const ssize_t n = write(toChild, input.constData() + written, size_t(input.size() - written));
            if (n > 0)
                written += n;
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == input.size())
                close(toChild), toChild = -1;
        }
    }
    for (const int fd : {toChild, fromChild[0], fromChild[1]})
        if (fd >= 0)
            close(fd);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!timedOut && WIFEXITED(status))
        result.ExitCode = WEXITSTATUS(status);
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
