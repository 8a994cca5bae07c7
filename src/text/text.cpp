// Text: elementary operations on counted byte strings, and the memory reserve behind the guard.
#include "text/text.h"

#include <cstdlib>

namespace {

// A shortage reaches the guard as a thrown std::bad_alloc, and the C++ runtime takes the memory
// for that exception from the heap, or from a pool it sets aside at start. When memory was short
// from the start, that pool is missing, and a shortage would find no memory to report itself
// with: the runtime would end the process. So a block is kept aside here: the new handler gives
// it back to the heap and throws, and the exception is made from it. It is larger than the sizes
// that glibc keeps for reuse at their own size only, so once given back it serves any request.
constexpr std::size_t kReserveSize = 4096;
void* g_reserve = nullptr;

[[noreturn]] void ReleaseReserve() {
  std::free(g_reserve);
  g_reserve = nullptr;
  throw std::bad_alloc();
}

}  // namespace

bool MemoryReserveReady() {
  if (g_reserve != nullptr) return true;
  g_reserve = std::malloc(kReserveSize);
  if (g_reserve == nullptr) return false;
  std::set_new_handler(ReleaseReserve);
  return true;
}

std::int32_t TextLength(std::string_view text) { return static_cast<std::int32_t>(text.size()); }

bool TextEquals(std::string_view a, std::string_view b) { return a == b; }

Text CopyText(std::string_view text) {
  return GuardedText([&] { return Text(text); });
}

Text TextFromCodes(std::initializer_list<int> codes) {
  return GuardedText([&] {
    Text result;
    result.reserve(codes.size());
    for (int code : codes) result.push_back(static_cast<char>(static_cast<unsigned char>(code)));
    return result;
  });
}
