#!/usr/bin/env python3
"""Writes SPE_1.bin: 3854 seeded pseudo-random bytes standing in for the board's logic configuration.

The vendor's bitstream belongs to the card and is not ours to ship. The placeholder has its size, and
random bytes rather than zeros, so that a bit-order or byte-order fault in loading it cannot go unseen.
Run it from this folder; the output is committed and must not change.
"""

SIZE = 3854
SEED = 0x5E1D0B17


def xorshift32(state):
    while True:
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        yield state


def main():
    numbers = xorshift32(SEED)
    data = bytes(next(numbers) >> 24 for _ in range(SIZE))
    with open("SPE_1.bin", "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
