// The program's main flow: banner and usage, then the loop time and the probe cycle.
#include "driver/driver.h"

#include <string_view>
#include <utility>

#include "console/keyboard.h"
#include "console/line_output.h"
#include "probe/probe.h"
#include "system/sleep.h"
#include "text/command_tail.h"
#include "text/fields.h"
#include "text/number.h"

namespace {

#ifdef _WIN32
constexpr bool kWindowsCommandLine = true;
#else
constexpr bool kWindowsCommandLine = false;
#endif

// The fixed lines are views: printing them, or comparing with them, makes no Text, so they need
// no memory.
constexpr std::string_view kBanner = "KNOCKBOX 1.0 - TCP port connection tester";

constexpr std::string_view kUsage[] = {
    "",
    "Syntax:",
    "  KNOCKBOX <ip_address>[:<port>] [<looptime>]",
    "This will connect to the IP address on the specified TCP port. If the",
    "connection fails for any reason, the program will exit with ERRORLEVEL 10 set",
    "so a batch file can detect the failure.",
    "",
    "If the optional loop time number is given, the program will internally pause",
    "for the number of seconds specified and attempt another connection to the IP",
    "address and TCP port number. The program will exit only when the connection",
    "fails or when the Escape key is pressed. If the Escape key is pressed",
    "EXITLEVEL 1 will be set to allow batch file detection.",
};

constexpr std::int32_t kMaxLoopTime = 65534;
// The key text of Escape. A key text made for the comparison would be empty without memory, and
// the empty key text of a poll that found no key would then read as Escape.
constexpr std::string_view kEscapeKey = "\x1b";

// What a user tries first. No host name starts with '-' or '/', so no probe that could succeed is
// taken from anyone.
bool AsksForUsage(std::string_view command_text) {
  return TextEquals(command_text, "?") || TextLength(command_text) == 0 ||
         TextEquals(command_text, "-h") || TextEquals(command_text, "--help") ||
         (kWindowsCommandLine && TextEquals(command_text, "/?"));
}

// Sleeps one second at a time, polling the keyboard after each; true when Escape was read.
bool PauseUntilEscape(std::int32_t loop_time) {
  for (std::int32_t slept = 0; slept < loop_time;) {
    SleepMs(1000);
    ++slept;
    if (TextEquals(PollKey(), kEscapeKey)) return true;
  }
  return false;
}

}  // namespace

std::int32_t RunDriver() {
  ErrorScope routine;
  Text command_text = ReplaceText(CommandTail(), "  ", " ");
  // Without memory for the command text it would read as empty, which asks for the usage text
  // and exit code 0: a script would take that for an open port. No probe was made, so the run
  // ends as one that could not be prepared.
  const bool command_unreadable = LastError() != 0;
  PrintLine(kBanner);
  if (command_unreadable) return kExitNotPrepared;
  if (AsksForUsage(command_text)) {
    for (std::string_view line : kUsage) PrintLine(line);
    return 0;
  }
  if (TextEquals(command_text, "--version")) return 0;
  return RunProbeCycle(std::move(command_text));
}

std::int32_t RunProbeCycle(Text command_text) {
  // The target text takes over the command text's bytes: no copy, so nothing to run out of.
  Text target = std::move(command_text);
  std::int32_t loop_time = 0;
  if (FindText(1, target, " ") > 0) {
    loop_time = NumberToInt32(TextToNumber(FieldText(target, " ", 2)));
    target = FieldText(target, " ", 1);
    if (loop_time < 1 || loop_time > kMaxLoopTime) {
      PrintLine("Error: loop time is invalid. Accepted range is 1 to 65534 only.");
      return 0;
    }
    PrepareKeyboard();
  }
  for (;;) {
    const std::int16_t connection = Probe(target);
    if (connection == 0) {
      PrintLine("Connection failed!");
      return kExitFailedProbe;
    }
    PrintLine("Connection established without errors.");
    PrintLine("Closing connection.");
    ClosingSequence(connection);
    if (loop_time == 0) return 0;
    PrintLine(ConcatText("Pausing for ", NumberToText(Int32ToNumber(loop_time)),
                         " seconds. Press the Escape key to abort."));
    if (PauseUntilEscape(loop_time)) return kExitEscape;
  }
}
