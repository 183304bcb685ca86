// Address space reserved up front and committed a range at a time, so that a large working buffer keeps
// one address however often its pages are taken and given back.
#pragma once

#include <cstddef>
#include <cstdint>

class TAddressReservation {
public:
    // Reserves Size bytes with no access. A failure leaves Failed() true and every Commit refused.
    explicit TAddressReservation(size_t Size);
    ~TAddressReservation();
    TAddressReservation(const TAddressReservation&) = delete;
    TAddressReservation& operator=(const TAddressReservation&) = delete;

    bool Failed() const { return Base == nullptr; }
    size_t Size() const { return Reserved; }
    uint8_t* Data() const { return Base; }

    // Makes [Offset, Offset + Length) readable and writable; pages committed anew read as zero. False, with
    // nothing changed, for a range outside the reservation or when the system refuses.
    bool Commit(size_t Offset, size_t Length);
    // Gives the pages of the range back (they read as zero when committed again) and removes access.
    bool Decommit(size_t Offset, size_t Length);

private:
    bool Inside(size_t Offset, size_t Length) const;

    uint8_t* Base = nullptr;
    size_t Reserved = 0;
};
