// The real port backends. Neither is ever opened by a test: both reach the hardware of the machine.
#include "framework/PortAccess.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define LAB_HAVE_IOPERM 1
#endif

namespace {

QString SystemError(const char* call) {
    return QString("%1: %2").arg(call, QString::fromLocal8Bit(strerror(errno)));
}

#ifdef LAB_HAVE_IOPERM
class IopermPorts : public PortAccess {
public:
    IopermPorts(uint16_t first, uint16_t count) : First(first), Count(count) {}
    ~IopermPorts() override { ioperm(First, Count, 0); }
    IopermPorts(const IopermPorts&) = delete;
    IopermPorts& operator=(const IopermPorts&) = delete;

    uint8_t In(uint16_t port) override { return inb(port); }
    void Out(uint16_t port, uint8_t value) override { outb(value, port); }

private:
    uint16_t First;
    uint16_t Count;
};
#endif

class DevPortPorts : public PortAccess {
public:
    explicit DevPortPorts(int fd) : Fd(fd) {}
    ~DevPortPorts() override { close(Fd); }
    DevPortPorts(const DevPortPorts&) = delete;
    DevPortPorts& operator=(const DevPortPorts&) = delete;

    // A failed transfer behaves like the empty bus: the driver has no way to report it per access.
    uint8_t In(uint16_t port) override {
        uint8_t value = 0xFF;
        return pread(Fd, &value, 1, port) == 1 ? value : uint8_t(0xFF);
    }
    void Out(uint16_t port, uint8_t value) override { (void)!pwrite(Fd, &value, 1, port); }

private:
    int Fd;
};

} // namespace

std::unique_ptr<PortAccess> OpenIopermPorts(uint16_t first, uint16_t count) {
#ifdef LAB_HAVE_IOPERM
    if (ioperm(first, count, 1) != 0)
        throw EPortAccess(SystemError("ioperm"));
    return std::make_unique<IopermPorts>(first, count);
#else
    (void)first;
    (void)count;
    throw EPortAccess("ioperm: direct port instructions exist only on x86");
#endif
}

std::unique_ptr<PortAccess> OpenDevPort() {
    const int fd = open("/dev/port", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        throw EPortAccess(SystemError("/dev/port"));
    return std::make_unique<DevPortPorts>(fd);
}
