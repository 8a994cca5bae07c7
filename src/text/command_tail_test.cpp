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

// The program name ends at its first space or tab, or at its closing quote; spaces at both ends
// of the tail go, tabs stay. A line ends at its first NUL, and an unclosed quote at the end.
TEST(CommandTail, WindowsCommandLinesLoseTheProgramNameAndOuterSpaces) {
  const std::pair<std::string, Text> cases[] = {
      {"prog.exe   127.0.0.1:80   5  ", "127.0.0.1:80   5"},
      {"prog.exe", ""},
      {"\"C:\\Program Files\\k\\prog.exe\" 127.0.0.1", "127.0.0.1"},
      {"\"C:\\k dir\\prog.exe\"127.0.0.1", "127.0.0.1"},
      {"prog.exe\t127.0.0.1", "\t127.0.0.1"},
      {"  prog.exe 127.0.0.1", "prog.exe 127.0.0.1"},
      {"prog.exe \t127.0.0.1\t", "\t127.0.0.1\t"},
      {"pr\"og.exe 127.0.0.1", "127.0.0.1"},
      {"pr\xe9og.exe x", "x"},  // bytes above 0x7F belong to the name
      {std::string("prog.exe a\0b", 12), "a"},
      {"\"C:\\k dir\\prog.exe 127.0.0.1", ""}};
  for (const auto& [line, tail] : cases) EXPECT_EQ(TailOfWindowsLine(line), tail) << line;
  const std::string unclosed = "\"C:\\k dir\\prog.exe 127.0.0.1";
  EXPECT_EQ(SkipProgramName(unclosed).data(), unclosed.data() + unclosed.size());
}

TEST(CommandTail, PosixArgumentsAreJoinedWithOneSpace) {
  const char* argv[] = {"knockbox", "127.0.0.1:80", "5", "   ", "x"};
  const char* only_spaces[] = {"knockbox", "   "};
  for (const auto& [line, tail] :
       {std::pair<Text, Text>{JoinArguments(5, argv), "127.0.0.1:80 5     x"},
        {JoinArguments(2, only_spaces), ""},
        {JoinArguments(1, argv), ""}}) {
    SetCommandTail(line);  // the tail views the joined line, which lives through the loop body
    EXPECT_EQ(CommandTail(), tail);
  }
}
