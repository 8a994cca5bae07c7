// An anonymous pipe for tests that check what the program writes to a handle.
#pragma once

#include <cstdint>
#include <string>

struct OsPipe {
  std::intptr_t read_end = -1;
  std::intptr_t write_end = -1;
};

OsPipe OpenOsPipe();
// Everything written so far (the write end must be closed first, or this blocks).
std::string ReadToEnd(std::intptr_t read_end);
void CloseOsHandle(std::intptr_t handle);
// Opens (creating or truncating) a file for writing, and reads a whole file back.
std::intptr_t CreateOsFile(const std::string& path);
std::string ReadOsFile(const std::string& path);
