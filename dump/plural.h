// The ending of a regular English noun after a count: "1 record", "0 records", "2 records". Every
// face's C++ builds its counted texts with it, each text where it is made.
#pragma once

#include <cstdint>

constexpr const char* PluralEnding(uint64_t count) {
    return count == 1 ? "" : "s";
}
