// Looking up the system's error codes in the platform's table.
#include "text/error_table.h"

namespace {

ErrorNumber LookUp(FailedCall call, std::uint32_t code, ErrorNumber otherwise) {
  if (code == 0) return otherwise;  // 0 only pads the rows
  for (const ErrorRow& row : kSystemErrors) {
    if (row.call != call) continue;
    for (std::uint32_t listed : row.codes) {
      if (listed == code) return row.number;
    }
  }
  return otherwise;
}

}  // namespace

ErrorNumber SocketErrorNumber(std::uint32_t system_error) {
  return LookUp(FailedCall::kSocket, system_error, kErrSocket);
}

ErrorNumber OutputErrorNumber(std::uint32_t system_error) {
  return LookUp(FailedCall::kOutput, system_error, kErrIo);
}
