// Files for tests: reading one back whole.
#include "support/os_pipe.h"

#include <fstream>
#include <sstream>

std::string ReadOsFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}
