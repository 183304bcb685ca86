// The choice between the real board and the simulated one.
#include "lusidor/BoardPorts.h"

#include "lusidor/SimulatedBoard.h"
#include "lusidor/vs_drv.h"

#include <cstdio>

std::optional<BoardBackend> ChooseBoardBackend(const QString& setting) {
    if (setting.isEmpty()) {
#if defined(__x86_64__) || defined(__i386__)
        return BoardBackend::Ioperm;
#else
        return BoardBackend::DevPort;
#endif
    }
    if (setting == u"sim")
        return BoardBackend::Simulated;
    if (setting == u"ioperm")
        return BoardBackend::Ioperm;
    if (setting == u"devport")
        return BoardBackend::DevPort;
    return std::nullopt;
}

namespace {

std::unique_ptr<PortAccess> OpenBackend(BoardBackend backend, uint16_t base) {
    if (backend == BoardBackend::Simulated) {
        std::fprintf(stderr,
                     "lusidor: running on the simulated frame-grabber board at 0x%x (LUSIDOR_BOARD=sim)\n",
                     unsigned(base));
        return std::make_unique<SimulatedBoard>(base);
    }
    if (backend == BoardBackend::Ioperm)
        return OpenIopermPorts(base, BoardPort::ConfigData + 1);
    return OpenDevPort();
}

} // namespace

TOpenedPorts OpenBoardPorts(uint16_t base) {
    const QString setting = qEnvironmentVariable("LUSIDOR_BOARD");
    const std::optional<BoardBackend> backend = ChooseBoardBackend(setting);
    if (!backend)
        return {std::make_unique<EmptyBus>(),
                QString("LUSIDOR_BOARD=%1: допустимы значения sim, ioperm и devport.").arg(setting)};
    try {
        return {OpenBackend(*backend, base), {}};
    } catch (const EPortAccess& e) {
        return {std::make_unique<EmptyBus>(),
                QString("Нет доступа к портам платы видеоввода (%1). Нужны права root или CAP_SYS_RAWIO; "
                        "без платы программа работает с её имитацией при LUSIDOR_BOARD=sim.")
                    .arg(e.message())};
    }
}
