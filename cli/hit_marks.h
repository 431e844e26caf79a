// --color: a hit's bytes marked in the dump line that shows it, as grep marks what it found.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum ColorChoice { COLOR_NEVER, COLOR_ALWAYS, COLOR_AUTO };

// Whether hits are marked: always, never, or with auto on a terminal when NO_COLOR is unset or
// empty (`noColor` is its value, null when unset).
bool MarksHits(ColorChoice choice, bool toTerminal, const char* noColor);

// `line`, a dump line whose data bytes start at file offset `shownFrom`, with the bytes of
// [hitFrom, hitFrom + hitLength) that it shows marked in both the hexadecimal and the character
// columns. Each half of the hexadecimal column is marked apart, so that its " - " stays plain.
std::string MarkHit(std::string_view line, uint32_t shownFrom, uint32_t hitFrom,
                    uint32_t hitLength);
