// Start-up and shutdown on Windows.
#include <objbase.h>
#include <windows.h>

#include "driver/driver.h"
#include "entry/startup.h"
#include "system/process_state.h"
#include "text/command_tail.h"
#include "text/number.h"

namespace {

constexpr DWORD kOutputMode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
// The per-thread block: nothing reads it yet, but a failure to reserve it is the one failure of
// start-up (exit code 255), and a program that cannot have it now would fail later on.
constexpr std::size_t kThreadBlockSize = 64;

std::intptr_t Native(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

bool CursorIsVisible(HANDLE handle) {
  CONSOLE_CURSOR_INFO info{};
  return GetConsoleCursorInfo(handle, &info) && info.dwSize != 0;
}

[[noreturn]] void EndProcess(int exit_code) {
  CoUninitialize();
  ExitProcess(static_cast<UINT>(exit_code));
}

}  // namespace

int ProcessMain(int, char**) {
  // COM is initialised on the main thread for the whole run, on purpose: system components that
  // the run loads on this thread (network providers among them) may rely on it.
  CoInitialize(nullptr);

  ProcessState& process = Process();
  const HANDLE std_error = GetStdHandle(STD_ERROR_HANDLE);
  const HANDLE std_input = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE std_output = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE console_output = std_error;
  process.console_input = Native(
      CreateFileA("CONIN$", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));

  DWORD mode = 0;
  if (GetConsoleMode(std_output, &mode)) {
    console_output = std_output;
    process.console_flag = -1;
  }
  SetConsoleMode(console_output, kOutputMode);
  // Mode 0 turns Ctrl+C into an ordinary key while standard input is the console. Some consoles
  // (Wine's) still raise the Ctrl+C event, whose default handler would end the run with exit code
  // 0: it is ignored as well, so Ctrl+C stays a key however the console delivers it. Ctrl+Break
  // keeps its default.
  if (SetConsoleMode(std_input, 0)) SetConsoleCtrlHandler(nullptr, TRUE);
  // A console whose cursor was made invisible (size 0) gets one back: the user must see where
  // the echo writes.
  if (!CursorIsVisible(console_output) && !CursorIsVisible(std_output)) {
    CONSOLE_CURSOR_INFO cursor{10, TRUE};
    SetConsoleCursorInfo(console_output, &cursor);
  }
  process.console_output = Native(console_output);

  // A parent that passed its own handles wins for the lines; the console flag and the modes
  // above keep describing the handles GetStdHandle returned.
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  GetStartupInfoA(&startup);
  if (startup.dwFlags & STARTF_USESTDHANDLES) std_output = startup.hStdOutput;
  process.std_output = Native(std_output);

  SetCommandTail(SkipProgramName(GetCommandLineA()));

  const DWORD slot = TlsAlloc();
  if (slot == TLS_OUT_OF_INDEXES) EndProcess(kExitNotPrepared);
  HGLOBAL block = GlobalAlloc(GPTR, kThreadBlockSize);
  if (block == nullptr) {
    TlsFree(slot);
    EndProcess(kExitNotPrepared);
  }
  TlsSetValue(slot, block);

  SetNumberEnvironment();
  const int exit_code = RunDriver();

  TlsSetValue(slot, nullptr);
  GlobalFree(block);
  TlsFree(slot);
  EndProcess(exit_code);
}
