// Tests of line output: exact bytes to a pipe and a file, and a reader that went away.
#include "console/line_output.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

#include "console/process_state.h"
#include "support/os_pipe.h"

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
