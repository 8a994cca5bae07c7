// Tests of line output: exact bytes to a pipe and a file, and a reader that went away.
#include "console/line_output.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "console/process_state.h"
#include "support/os_pipe.h"

// Every allocation of this test program fails while this is set.
namespace {
bool g_fail_allocations = false;
}  // namespace

void* operator new(std::size_t size) {
  if (!g_fail_allocations) {
    if (void* memory = std::malloc(size != 0 ? size : 1)) return memory;
  }
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return g_fail_allocations ? nullptr : std::malloc(size != 0 ? size : 1);
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

// Points standard output at `handle` for one test and puts it back afterwards.
class StdoutRedirect {
 public:
  explicit StdoutRedirect(std::intptr_t handle) : saved_(Process()) {
    Process().std_output = handle;
    Process().console_flag = 0;
  }
  ~StdoutRedirect() { Process() = saved_; }

 private:
  ProcessState saved_;
};

void PrintSample() {
  PrintLine("KNOCKBOX");
  PrintLine("");
  PrintLine(Text("\x1b[1m\0\xff\r\n", 8));
}

const Text kSampleBytes("KNOCKBOX\r\n\r\n\x1b[1m\0\xff\r\n\r\n", 22);

}  // namespace

TEST(LineOutput, LinesReachAPipeByteExact) {
  const OsPipe pipe = OpenOsPipe();
  ASSERT_NE(pipe.write_end, -1);
  {
    StdoutRedirect redirect(pipe.write_end);
    ErrorScope scope;
    PrintSample();
    EXPECT_EQ(LastError(), 0);
    EXPECT_EQ(StdoutIsConsole(), 0);
  }
  CloseOsHandle(pipe.write_end);
  EXPECT_EQ(ReadToEnd(pipe.read_end), kSampleBytes);
  CloseOsHandle(pipe.read_end);
}

TEST(LineOutput, LinesReachAFileByteExact) {
  const std::string path = testing::TempDir() + "knockbox_line_output.txt";
  const std::intptr_t file = CreateOsFile(path);
  ASSERT_NE(file, -1);
  {
    StdoutRedirect redirect(file);
    PrintSample();
  }
  CloseOsHandle(file);
  EXPECT_EQ(ReadOsFile(path), kSampleBytes);
  std::remove(path.c_str());
}

// Line output must never throw: not even when memory runs out.
TEST(LineOutput, LinesNeedNoMemory) {
  const OsPipe pipe = OpenOsPipe();
  bool threw = false;
  {
    StdoutRedirect redirect(pipe.write_end);
    g_fail_allocations = true;
    try {
      PrintLine("no memory");
    } catch (...) {
      threw = true;
    }
    g_fail_allocations = false;
  }
  EXPECT_FALSE(threw);
  CloseOsHandle(pipe.write_end);
  EXPECT_EQ(ReadToEnd(pipe.read_end), "no memory\r\n");
  CloseOsHandle(pipe.read_end);
}

TEST(LineOutput, ClosedPipeGives75AndTheRunGoesOn) {
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);  // as the program's start-up does on POSIX
#endif
  const OsPipe pipe = OpenOsPipe();
  CloseOsHandle(pipe.read_end);
  {
    StdoutRedirect redirect(pipe.write_end);
    ErrorScope scope;
    PrintLine("lost");
    EXPECT_EQ(LastError(), 75);
  }
  CloseOsHandle(pipe.write_end);
}

TEST(LineOutput, InvalidHandleGives51) {
  StdoutRedirect redirect(kNoHandle);
  ErrorScope scope;
  PrintLine("nowhere");
  EXPECT_EQ(LastError(), 51);
}
