// Reserved address space: committed pages read zero, a decommitted and recommitted page reads zero again,
// and ranges beyond the reservation are refused.
#include "framework/AddressReservation.h"

#include <gtest/gtest.h>

TEST(AddressReservation, CommitsZeroedPagesInsideAndRefusesRangesOutside) {
    constexpr size_t size = 4'000'000;
    TAddressReservation reservation(size);
    ASSERT_FALSE(reservation.Failed());
    ASSERT_TRUE(reservation.Commit(0, size));
    uint8_t* data = reservation.Data();
    EXPECT_EQ(data[0], 0);
    EXPECT_EQ(data[size - 1], 0);
    data[0] = 7;
    data[size - 1] = 9;
    ASSERT_TRUE(reservation.Decommit(0, size));
    ASSERT_TRUE(reservation.Commit(size - 1, 1));
    EXPECT_EQ(data[size - 1], 0);
    ASSERT_TRUE(reservation.Commit(0, 1));
    EXPECT_EQ(data[0], 0);

    EXPECT_FALSE(reservation.Commit(0, size + 1));
    EXPECT_FALSE(reservation.Commit(size, 1));
    EXPECT_FALSE(reservation.Commit(1, SIZE_MAX));
    EXPECT_FALSE(reservation.Decommit(size - 1, 2));
    EXPECT_TRUE(reservation.Commit(size, 0));
}
