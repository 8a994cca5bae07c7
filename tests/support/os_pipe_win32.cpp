// Pipes and files for tests, with Windows handles.
#include <windows.h>

#include "support/os_pipe.h"

namespace {
std::intptr_t Native(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }
HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
}  // namespace

OsPipe OpenOsPipe() {
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, nullptr, 0)) return OsPipe{};
  return OsPipe{Native(read_end), Native(write_end)};
}

std::string ReadToEnd(std::intptr_t read_end) {
  std::string out;
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(Handle(read_end), buffer, sizeof buffer, &n, nullptr) && n > 0) {
    out.append(buffer, n);
  }
  return out;
}

void CloseOsHandle(std::intptr_t handle) { CloseHandle(Handle(handle)); }

std::intptr_t CreateOsFile(const std::string& path) {
  return Native(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
}
