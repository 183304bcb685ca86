// Byte-wide access to ISA I/O ports: the interface the board driver talks through, the empty bus, and the
// two ways Linux gives a program real ports (direct instructions after ioperm, and /dev/port).
#pragma once

#include "framework/Exception.h"

#include <cstdint>
#include <memory>

LAB_DECLARE_EXCEPTION(EPortAccess, Exception);

class PortAccess {
public:
    virtual ~PortAccess() = default;
    virtual uint8_t In(uint16_t port) = 0;
    virtual void Out(uint16_t port, uint8_t value) = 0;
};

// What a bus without a card answers: every read floats to 0xFF and every write goes nowhere.
class EmptyBus : public PortAccess {
public:
    uint8_t In(uint16_t) override { return 0xFF; }
    void Out(uint16_t, uint8_t) override {}
};

// Direct in/out instructions for ports first..first+count-1; needs x86 and root or CAP_SYS_RAWIO.
// Raises EPortAccess when the kernel refuses.
std::unique_ptr<PortAccess> OpenIopermPorts(uint16_t first, uint16_t count);

// Ports through the /dev/port device, one byte at the file offset of the port. Raises EPortAccess when the
// device cannot be opened.
std::unique_ptr<PortAccess> OpenDevPort();
