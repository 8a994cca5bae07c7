// Replays inputs through the fuzz target's checks, built with the ordinary compiler: every file
// named, and every file in a folder named, once, in name order. make test replays fuzz/corpus.
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// The input being replayed, for the report when a property fails (the target aborts then).
std::string g_current;

void OnAbort(int) {
  std::fprintf(stderr, "fuzz replay: a property failed on %s\n", g_current.c_str());
  std::signal(SIGABRT, SIG_DFL);
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (fs::is_directory(argv[i])) {
      for (const fs::directory_entry& entry : fs::directory_iterator(argv[i])) {
        inputs.push_back(entry.path());
      }
    } else {
      inputs.emplace_back(argv[i]);
    }
  }
  std::sort(inputs.begin(), inputs.end());
  std::signal(SIGABRT, OnAbort);
  for (const fs::path& input : inputs) {
    std::ifstream file(input, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (!file.good() && !file.eof()) {
      std::fprintf(stderr, "fuzz replay: cannot read %s\n", input.string().c_str());
      return 1;
    }
    g_current = input.string();
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("fuzz corpus: %zu inputs replayed, every property held\n", inputs.size());
  return inputs.empty() ? 1 : 0;
}
