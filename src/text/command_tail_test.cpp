// Tests of the command tail on both platforms' command lines.
#include "text/command_tail.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Text TailOfWindowsLine(const std::string& line) {
  SetCommandTail(SkipProgramName(line));
  return CommandTail();
}

}  // namespace

TEST(CommandTail, WindowsCommandLinesLoseTheProgramNameAndOuterSpaces) {
  EXPECT_EQ(TailOfWindowsLine("prog.exe   127.0.0.1:80   5  "), "127.0.0.1:80   5");
  EXPECT_EQ(TailOfWindowsLine("prog.exe"), "");
  EXPECT_EQ(TailOfWindowsLine("\"C:\\Program Files\\k\\prog.exe\" 127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(TailOfWindowsLine("\"C:\\k dir\\prog.exe\"127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(TailOfWindowsLine("\"C:\\k dir\\prog.exe\""), "");
  EXPECT_EQ(TailOfWindowsLine("prog.exe\t127.0.0.1"), "\t127.0.0.1");
  EXPECT_EQ(TailOfWindowsLine("  prog.exe 127.0.0.1"), "prog.exe 127.0.0.1");
  EXPECT_EQ(TailOfWindowsLine("prog.exe \t127.0.0.1\t"), "\t127.0.0.1\t");
  EXPECT_EQ(TailOfWindowsLine("pr\"og.exe 127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(TailOfWindowsLine("pr\xe9og.exe x"), "x");  // bytes above 0x7F belong to the name
}

TEST(CommandTail, UnclosedQuoteStopsAtTheEndAndGivesAnEmptyTail) {
  const std::string line = "\"C:\\k dir\\prog.exe 127.0.0.1";
  const std::string_view tail = SkipProgramName(line);
  EXPECT_TRUE(tail.empty());
  EXPECT_EQ(tail.data(), line.data() + line.size());
  // A line ends at its first NUL.
  EXPECT_EQ(TailOfWindowsLine(std::string("prog.exe a\0b", 12)), "a");
  EXPECT_EQ(TailOfWindowsLine(line), "");
}

TEST(CommandTail, PosixArgumentsAreJoinedWithOneSpace) {
  const char* argv[] = {"knockbox", "127.0.0.1:80", "5", "   ", "x"};
  const Text line = JoinArguments(5, argv);
  EXPECT_EQ(line, "127.0.0.1:80 5     x");
  SetCommandTail(line);
  EXPECT_EQ(CommandTail(), "127.0.0.1:80 5     x");
  const char* only_spaces[] = {"knockbox", "   "};
  const Text spaces = JoinArguments(2, only_spaces);
  SetCommandTail(spaces);
  EXPECT_EQ(CommandTail(), "");
  EXPECT_EQ(JoinArguments(1, argv), "");
}
