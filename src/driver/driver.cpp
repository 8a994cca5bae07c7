// The program's main flow: banner and usage, then the loop time and the probe cycle.
#include "driver/driver.h"

#include "console/keyboard.h"
#include "console/line_output.h"
#include "console/sleep.h"
#include "probe/probe.h"
#include "text/command_tail.h"
#include "text/fields.h"
#include "text/number.h"

namespace {

#ifdef _WIN32
constexpr bool kWindowsCommandLine = true;
#else
constexpr bool kWindowsCommandLine = false;
#endif

constexpr const char* kBanner = "KNOCKBOX 1.0 - TCP port connection tester";

constexpr const char* kUsage[] = {
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

// What a user tries first. No host name starts with '-' or '/', so no probe that could succeed is
// taken from anyone.
bool AsksForUsage(const Text& command_text) {
  return TextEquals(command_text, "?") || TextLength(command_text) == 0 ||
         TextEquals(command_text, "-h") || TextEquals(command_text, "--help") ||
         (kWindowsCommandLine && TextEquals(command_text, "/?"));
}

// Sleeps one second at a time, polling the keyboard after each; true when Escape was read.
bool PauseUntilEscape(std::int32_t loop_time) {
  const Text escape = TextFromCodes({27});
  for (std::int32_t slept = 0; slept < loop_time;) {
    SleepMs(1000);
    ++slept;
    if (TextEquals(PollKey(), escape)) return true;
  }
  return false;
}

}  // namespace

std::int32_t RunDriver() {
  ErrorScope routine;
  const Text command_text = ReplaceText(CommandTail(), "  ", " ");
  PrintLine(kBanner);
  if (AsksForUsage(command_text)) {
    for (const char* line : kUsage) PrintLine(line);
    return 0;
  }
  if (TextEquals(command_text, "--version")) return 0;
  return RunProbeCycle(command_text);
}

std::int32_t RunProbeCycle(const Text& command_text) {
  Text target = command_text;
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
