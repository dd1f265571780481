#pragma once
// English day and month names as 16-byte fixed-width text cells in the reversed layout (character 0 at
// the highest byte, zero bytes below the text), so that a name op copies one cell, and the formatter
// copies a name's top bytes below its cursor.

#include <cstddef>

namespace vela::calendar {

struct NameCell {
  char bytes[16] = {};
  constexpr explicit NameCell(const char* text) {
    for (std::size_t i = 0; text[i] != '\0' && i < 16; ++i)
      bytes[15 - i] = text[i];
  }
};

/// Index: day of week - 1 (0 = Sunday).
inline constexpr NameCell day_names[7] = {NameCell("Sunday"),    NameCell("Monday"),   NameCell("Tuesday"),
                                          NameCell("Wednesday"), NameCell("Thursday"), NameCell("Friday"),
                                          NameCell("Saturday")};
inline constexpr int day_name_length[7] = {6, 6, 7, 9, 8, 6, 8};

/// Index: month - 1.
inline constexpr NameCell month_names[12] = {NameCell("January"), NameCell("February"), NameCell("March"),
                                             NameCell("April"),   NameCell("May"),      NameCell("June"),
                                             NameCell("July"),    NameCell("August"),   NameCell("September"),
                                             NameCell("October"), NameCell("November"), NameCell("December")};
inline constexpr int month_name_length[12] = {7, 8, 5, 5, 3, 4, 4, 6, 9, 7, 8, 8};

} // namespace vela::calendar
