// Tests of the command tail on both platforms' command lines, and of the space collapsing.
#include "text/command_tail.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Text TailOfWindowsLine(const std::string& line) {
  SetTailPosition(SkipProgramName(line.c_str()));
  return CommandTail();
}

}  // namespace

TEST(CommandTail, WindowsCommandLinesLoseTheProgramNameAndOuterSpaces) {
  EXPECT_EQ(TailOfWindowsLine("prog.exe   127.0.0.1:80   5  "), "127.0.0.1:80   5");
  EXPECT_EQ(TailOfWindowsLine("prog.exe 127.0.0.1:80 5"), "127.0.0.1:80 5");
  EXPECT_EQ(TailOfWindowsLine("prog.exe"), "");
  EXPECT_EQ(TailOfWindowsLine("prog.exe    "), "");
  EXPECT_EQ(TailOfWindowsLine("\"C:\\Program Files\\k\\prog.exe\" 127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(TailOfWindowsLine("\"C:\\k dir\\prog.exe\"127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(TailOfWindowsLine("\"C:\\k dir\\prog.exe\""), "");
  EXPECT_EQ(TailOfWindowsLine("prog.exe\t127.0.0.1"), "\t127.0.0.1");
  EXPECT_EQ(TailOfWindowsLine("  prog.exe 127.0.0.1"), "prog.exe 127.0.0.1");
  EXPECT_EQ(TailOfWindowsLine("prog.exe \"127.0.0.1\""), "\"127.0.0.1\"");
  EXPECT_EQ(TailOfWindowsLine("prog.exe \t127.0.0.1\t"), "\t127.0.0.1\t");
  EXPECT_EQ(TailOfWindowsLine("pr\"og.exe 127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(TailOfWindowsLine("prog.exe ?"), "?");
  EXPECT_EQ(TailOfWindowsLine("pr\xe9og.exe x"), "x");  // bytes above 0x7F belong to the name
}

TEST(CommandTail, UnclosedQuoteStopsAtTheEndAndGivesAnEmptyTail) {
  const std::string line = "\"C:\\k dir\\prog.exe 127.0.0.1";
  const char* tail = SkipProgramName(line.c_str());
  EXPECT_EQ(tail, line.c_str() + line.size());
  EXPECT_EQ(TailOfWindowsLine(line), "");
}

TEST(CommandTail, PosixArgumentsAreJoinedWithOneSpace) {
  const char* argv[] = {"knockbox", "127.0.0.1:80", "5", "   ", "x"};
  const Text line = JoinArguments(5, argv);
  EXPECT_EQ(line, "127.0.0.1:80 5     x");
  SetTailPosition(line.c_str());
  EXPECT_EQ(CommandTail(), "127.0.0.1:80 5     x");
  const char* only_spaces[] = {"knockbox", "   "};
  const Text spaces = JoinArguments(2, only_spaces);
  SetTailPosition(spaces.c_str());
  EXPECT_EQ(CommandTail(), "");
  EXPECT_EQ(JoinArguments(1, argv), "");
}

TEST(ReplaceText, CollapsesDoubleSpacesInOnePass) {
  EXPECT_EQ(ReplaceText("a b", "  ", " "), "a b");
  EXPECT_EQ(ReplaceText("a  b", "  ", " "), "a b");
  EXPECT_EQ(ReplaceText("a   b", "  ", " "), "a  b");
  EXPECT_EQ(ReplaceText("a    b", "  ", " "), "a  b");
  EXPECT_EQ(ReplaceText("a     b", "  ", " "), "a   b");
  EXPECT_EQ(ReplaceText("a  b", "", " "), "a  b");
  EXPECT_EQ(ReplaceText("", "  ", " "), "");
  EXPECT_EQ(ReplaceText(" ", "  ", " "), " ");
  EXPECT_EQ(ReplaceText("xax", "x", "yy"), "yyayy");
  EXPECT_EQ(ReplaceText(Text("a\0b", 3), Text("\0", 1), "-"), "a-b");
}
