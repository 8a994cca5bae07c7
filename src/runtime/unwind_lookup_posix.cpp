// Support for the C++ runtime, not the program: the unwinder's lookup of the code at an address.
//
// libgcc's unwinder, linked into the program with the C++ runtime, finds a frame's unwind table
// with _dl_find_object, which glibc has only had since 2.35: referring to glibc's would keep the
// program off glibc 2.34 (RHEL 9 and its rebuilds, Amazon Linux 2023). Linking libgcc_s instead
// would cost every run a tenth of a millisecond of start-up. So the lookup is defined here on
// dl_iterate_phdr, which every glibc has; it is hidden, so it serves this program's unwinder
// alone and nothing the C library does.
#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstdint>
#include <limits>

// Only where the unwinder needs no data base pointer (64-bit targets); elsewhere glibc's stays.
#if defined(DLFO_STRUCT_HAS_EH_DBASE) && DLFO_STRUCT_HAS_EH_DBASE == 0

namespace {

struct Lookup {
  std::uintptr_t address;
  dl_find_object* result;
};

// Fills in the result for the loaded object one of whose segments holds the address; 1 stops
// the walk there.
int VisitObject(dl_phdr_info* info, std::size_t, void* data) {
  const Lookup& lookup = *static_cast<const Lookup*>(data);
  std::uintptr_t start = std::numeric_limits<std::uintptr_t>::max();
  std::uintptr_t end = 0;
  bool holds = false;
  void* eh_frame = nullptr;
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    const std::uintptr_t low = info->dlpi_addr + segment.p_vaddr;
    if (segment.p_type == PT_GNU_EH_FRAME) eh_frame = reinterpret_cast<void*>(low);
    if (segment.p_type != PT_LOAD) continue;
    const std::uintptr_t high = low + segment.p_memsz;
    holds = holds || (lookup.address >= low && lookup.address < high);
    start = std::min(start, low);
    end = std::max(end, high);
  }
  if (!holds) return 0;
  // The unwinder reads the unwind table (its .eh_frame_hdr) alone; no link map is given.
  *lookup.result = dl_find_object{};
  lookup.result->dlfo_map_start = reinterpret_cast<void*>(start);
  lookup.result->dlfo_map_end = reinterpret_cast<void*>(end);
  lookup.result->dlfo_eh_frame = eh_frame;
  return 1;
}

}  // namespace

// As glibc's: 0 with the result filled in, or -1 when no loaded object holds the address.
extern "C" __attribute__((visibility("hidden"))) int _dl_find_object(
    void* address, dl_find_object* result) noexcept {
  Lookup lookup{reinterpret_cast<std::uintptr_t>(address), result};
  return dl_iterate_phdr(VisitObject, &lookup) != 0 ? 0 : -1;
}

#endif
