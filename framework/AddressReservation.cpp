// Reservation over mmap: PROT_NONE reserves, mprotect commits, madvise(MADV_DONTNEED) gives pages back.
#include "framework/AddressReservation.h"

#include <sys/mman.h>
#include <unistd.h>

namespace {

size_t PageSize() {
    static const size_t size = size_t(sysconf(_SC_PAGESIZE));
    return size;
}

// The whole pages that hold [Offset, Offset + Length).
struct TPageRange {
    size_t Begin;
    size_t Length;
};

TPageRange PagesOf(size_t Offset, size_t Length) {
    const size_t page = PageSize();
    const size_t begin = Offset / page * page;
    const size_t end = (Offset + Length + page - 1) / page * page;
    return {begin, end - begin};
}

} // namespace

TAddressReservation::TAddressReservation(size_t Size) {
    void* base = mmap(nullptr, Size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED || Size == 0)
        return;
    Base = static_cast<uint8_t*>(base);
    Reserved = Size;
}

TAddressReservation::~TAddressReservation() {
    if (Base)
        munmap(Base, Reserved);
}

bool TAddressReservation::Inside(size_t Offset, size_t Length) const {
    return Base && Offset <= Reserved && Length <= Reserved - Offset;
}

bool TAddressReservation::Commit(size_t Offset, size_t Length) {
    if (!Inside(Offset, Length))
        return false;
    const TPageRange pages = PagesOf(Offset, Length);
    return mprotect(Base + pages.Begin, pages.Length, PROT_READ | PROT_WRITE) == 0;
}

bool TAddressReservation::Decommit(size_t Offset, size_t Length) {
    if (!Inside(Offset, Length))
        return false;
    const TPageRange pages = PagesOf(Offset, Length);
    return madvise(Base + pages.Begin, pages.Length, MADV_DONTNEED) == 0 &&
           mprotect(Base + pages.Begin, pages.Length, PROT_NONE) == 0;
}
