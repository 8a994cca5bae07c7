// Looking up the program's error number for a system error code in a platform's table.
#include "text/error_table.h"

ErrorNumber LookUpSystemError(std::span<const ErrorRow> table, std::uint32_t code,
                              ErrorNumber otherwise) {
  if (code == 0) return otherwise;  // 0 only pads the rows
  for (const ErrorRow& row : table) {
    for (std::uint32_t listed : row.codes) {
      if (listed == code) return row.number;
    }
  }
  return otherwise;
}
