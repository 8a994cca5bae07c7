// Tests of the command tail of a Windows command line (POSIX arguments: the end-to-end tests).
#include "text/command_tail.h"

#include <gtest/gtest.h>

#include <string>

// The program name ends at its first space or tab, or at its closing quote; spaces at both ends
// of the tail go, tabs stay. A line ends at its first NUL, and an unclosed quote at the end.
TEST(CommandTail, WindowsCommandLinesLoseTheProgramNameAndOuterSpaces) {
  // clang-format off
  const std::pair<std::string, Text> cases[] = {
      {"prog.exe   127.0.0.1:80   5  ", "127.0.0.1:80   5"}, {"prog.exe", ""},
      {"\"C:\\Program Files\\k\\prog.exe\" 127.0.0.1", "127.0.0.1"},
      {"\"C:\\k dir\\prog.exe\"127.0.0.1", "127.0.0.1"}, {"prog.exe\t127.0.0.1", "\t127.0.0.1"},
      {"  prog.exe 127.0.0.1", "prog.exe 127.0.0.1"}, {"prog.exe \t127.0.0.1\t", "\t127.0.0.1\t"},
      {"pr\"og.exe 127.0.0.1", "127.0.0.1"}, {"pr\xe9og.exe x", "x"},  // 0xE9: part of the name
      {std::string("prog.exe a\0b", 12), "a"}, {"\"C:\\k dir\\prog.exe 127.0.0.1", ""}};
  // clang-format on
  for (const auto& [line, tail] : cases) {
    SetCommandTail(SkipProgramName(line));
    EXPECT_EQ(CommandTail(), tail) << line;
  }
}
