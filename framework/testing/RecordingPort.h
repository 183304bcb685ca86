// A port backend for tests: records every access in order, stamped with a clock the test may set, and
// answers reads through a function the test sets (by default the empty bus's 0xFF).
#pragma once

#include "framework/PortAccess.h"

#include <functional>
#include <vector>

struct PortAccessRecord {
    bool Write;
    uint16_t Port;
    uint8_t Value;
    uint32_t Tick;
};

class RecordingPort : public PortAccess {
public:
    uint8_t In(uint16_t port) override {
        const uint8_t value = Answer(port);
        Accesses.push_back({false, port, value, Clock()});
        return value;
    }
    void Out(uint16_t port, uint8_t value) override { Accesses.push_back({true, port, value, Clock()}); }

    std::vector<uint8_t> WritesTo(uint16_t port) const {
        std::vector<uint8_t> values;
        for (const PortAccessRecord& a : Accesses)
            if (a.Write && a.Port == port)
                values.push_back(a.Value);
        return values;
    }
    int WriteCount() const {
        int count = 0;
        for (const PortAccessRecord& a : Accesses)
            count += a.Write;
        return count;
    }

    std::function<uint8_t(uint16_t)> Answer = [](uint16_t) { return uint8_t(0xFF); };
    std::function<uint32_t()> Clock = [] { return 0u; }; // must not advance the clock it reads
    std::vector<PortAccessRecord> Accesses;
};
