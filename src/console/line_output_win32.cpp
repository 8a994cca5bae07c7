// Line output on Windows: WriteFile on the standard output handle, no buffering.
#include <windows.h>

#include "console/line_output.h"
#include "console/process_state.h"
#include "console/system_call_win32.h"

namespace {

// The thread's last-error code after a failed write, to the program's error numbers.
ErrorNumber OutputErrorNumber(DWORD code) {
  switch (code) {
    case 8:
    case 14:
      return 7;
    case 6:
    case 11:
    case 12:
    case 13:
    case 22:
    case 24:
      return 51;
    case 2:
    case 18:
      return 53;
    case 39:
    case 112:
      return 61;
    case 38:
      return 62;
    case 4:
      return 67;
    case 15:
    case 20:
      return 68;
    case 5:
    case 19:
    case 32:
    case 33:
    case 36:
      return 70;
    case 21:
      return 71;
    case 23:
    case 25:
    case 26:
    case 27:
    case 28:
    case 29:
    case 30:
    case 31:
    case 34:
      return 72;
    case 17:
      return 74;
    case 3:
      return 76;
    case 7:
    case 9:
    case 10:
      return 241;
    default:  // 1, 16, 35, 37 and every code of 40 or more but 112
      return 75;
  }
}

void WriteBytes(const Text& bytes) {
  DWORD written = 0;
  const DWORD wanted = static_cast<DWORD>(bytes.size());
  const DWORD code = CallSystem([&] {
    WriteFile(reinterpret_cast<HANDLE>(Process().std_output), bytes.data(), wanted, &written,
              nullptr);
  });
  if (code != 0) {
    RaiseError(OutputErrorNumber(code));
  } else if (written < wanted) {
    RaiseError(kErrShortWrite);
  }
}

}  // namespace

void PrintLine(const Text& text) {
  if (!text.empty()) WriteBytes(text);
  WriteBytes(LineEnd());
}

std::int32_t StdoutIsConsole() { return Process().console_flag; }
