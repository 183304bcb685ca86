// Chooses the ports behind the board driver by the environment variable LUSIDOR_BOARD: "sim" for the
// simulated board, "ioperm" or "devport" for the real one; unset means ioperm on x86 and devport elsewhere.
#pragma once

#include "framework/PortAccess.h"

#include <QString>
#include <memory>
#include <optional>

enum class BoardBackend { Simulated, Ioperm, DevPort };

// The backend a LUSIDOR_BOARD value names; an empty value gives this machine's default, an unknown one none.
std::optional<BoardBackend> ChooseBoardBackend(const QString& setting);

struct TOpenedPorts {
    std::unique_ptr<PortAccess> Ports; // never null: an empty bus when the chosen backend cannot be had
    QString Error;                     // why the board is absent, for the user; empty when all went well
};

// Opens the backend LUSIDOR_BOARD chooses for a board at `base`. The real board is never replaced by the
// simulation on failure: the driver then sees an empty bus and reports time-outs as for a missing board.
TOpenedPorts OpenBoardPorts(uint16_t base);
