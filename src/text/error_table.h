// Looking up the program's error number for a system error code in a platform's table.
#pragma once

#include <cstdint>
#include <span>

#include "text/error.h"

// One row of a table: the system's codes (0 pads the list) that give `number`.
struct ErrorRow {
  std::uint32_t codes[9];
  ErrorNumber number;
};

// The number of the row that lists `code`, or `otherwise` for a code no row lists.
ErrorNumber LookUpSystemError(std::span<const ErrorRow> table, std::uint32_t code,
                              ErrorNumber otherwise);
