#include "image-library/testing/ChildCost.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

#if defined(__SANITIZE_THREAD__)
constexpr TSanitizer Sanitizer = TSanitizer::Thread;
#elif defined(__SANITIZE_ADDRESS__)
constexpr TSanitizer Sanitizer = TSanitizer::Address;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr TSanitizer Sanitizer = TSanitizer::Thread;
#elif __has_feature(address_sanitizer)
constexpr TSanitizer Sanitizer = TSanitizer::Address;
#else
constexpr TSanitizer Sanitizer = TSanitizer::None;
#endif
#else
constexpr TSanitizer Sanitizer = TSanitizer::None;
#endif

long long StatusKilobytes(const char* Field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(Field))
            return line.mid(int(std::strlen(Field))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

void WriteAll(int Fd, const std::string& Text) {
    for (size_t done = 0; done < Text.size();) {
        const ssize_t n = write(Fd, Text.data() + done, Text.size() - done);
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

} // namespace

std::optional<TChildCost> RunInChild(const std::function<std::string()>& Work, long long LimitMB,
                                     unsigned GuardSeconds) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return std::nullopt;
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        alarm(GuardSeconds);
        QFile reset(QStringLiteral("/proc/self/clear_refs")); // "5" resets VmHWM to the present size
        const long long before = StatusKilobytes("VmRSS:");
        if (before < 0 || !reset.open(QIODevice::WriteOnly) || reset.write("5") != 1 || !reset.flush())
            _exit(2);
        reset.close();
        const long long size = StatusKilobytes("VmSize:");
        if (Sanitizer == TSanitizer::None && size > 0) {
            const rlimit limit{rlim_t(size + LimitMB * 1024) * 1024, rlim_t(size + LimitMB * 1024) * 1024};
            setrlimit(RLIMIT_AS, &limit);
        }
        std::string outcome;
        try {
            outcome = Work();
        } catch (const std::exception& e) {
            outcome = e.what();
        } catch (...) {
            outcome = "unknown exception";
        }
        const long long peak = StatusKilobytes("VmHWM:");
        WriteAll(pipeFds[1], std::to_string(std::max(0LL, (peak - before) / 1024)) + "\n" + outcome);
        close(pipeFds[1]);
        _exit(0);
    }
    close(pipeFds[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t n; child > 0 && (n = read(pipeFds[0], buffer, sizeof buffer)) != 0;)
        if (n > 0)
            report.append(buffer, size_t(n));
        else if (errno != EINTR)
            break;
    close(pipeFds[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return TChildCost{};
    TChildCost cost;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2)
        return std::nullopt;
    cost.Finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const size_t line = report.find('\n');
    if (cost.Finished && line != std::string::npos) {
        cost.PeakGrowthMB = std::stoll(report.substr(0, line));
        cost.Outcome = report.substr(line + 1);
    }
    return cost;
}

TSanitizer ChildCostSanitizer() {
    return Sanitizer;
}
