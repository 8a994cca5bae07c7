// Replays the files named on the command line through the fuzz target's checks, built with the
// ordinary compiler: make test replays fuzz/corpus. A check that fails aborts the replay.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::ifstream file(argv[i], std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    if (!file) return std::fprintf(stderr, "fuzz replay: cannot read %s\n", argv[i]), 1;
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("fuzz corpus: %d inputs replayed, every check held\n", argc - 1);
  return argc > 1 ? 0 : 1;
}
