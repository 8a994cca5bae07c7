// Shared helpers of the end-to-end tests.
#include "e2e_helpers.h"

#include <time.h>

#include <cstdlib>
#include <regex>
#include <sstream>

#ifndef KNOCKBOX_DEFAULT_BIN
#error "the build names the knockbox binary to test in KNOCKBOX_DEFAULT_BIN"
#endif

namespace {

const char* Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

// An announcement's time and date, captured as hour, minute, second, month, day, year.
const std::regex& ClockPattern() {
  static const std::regex pattern(
      "( at )([01][0-9]|2[0-3]):([0-5][0-9]):([0-5][0-9]) on "
      "(0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01])-([0-9]{4})\r\n");
  return pattern;
}

}  // namespace

bool UnderRunner() { return Environment("KNOCKBOX_RUNNER") != nullptr; }

std::chrono::milliseconds TimeLimit(std::chrono::milliseconds native) {
  // Wine needs a second or more to start a program, much more on a busy machine.
  return UnderRunner() ? native * 2 + std::chrono::seconds(20) : native;
}

RunOptions KnockboxOptions(const std::vector<std::string>& args,
                           std::chrono::milliseconds native_limit) {
  RunOptions options;
  if (const char* runner = Environment("KNOCKBOX_RUNNER")) {
    std::istringstream words(runner);
    for (std::string word; words >> word;) options.command.push_back(word);
  }
  const char* binary = Environment("KNOCKBOX_BIN");
  options.command.push_back(binary != nullptr ? binary : KNOCKBOX_DEFAULT_BIN);
  options.command.insert(options.command.end(), args.begin(), args.end());
  options.time_limit = TimeLimit(native_limit);
  return options;
}

RunResult RunKnockbox(const std::vector<std::string>& args,
                      std::chrono::milliseconds native_limit) {
  return RunProgram(KnockboxOptions(args, native_limit));
}

::testing::AssertionResult ExitedWith(const RunResult& r, int exit_code) {
  if (r.exited && r.exit_code == exit_code) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "expected exit code " << exit_code << ", got " << r.Describe();
}

RunResult ExpectRun(const std::vector<std::string>& args, int exit_code, const std::string& out,
                    std::chrono::milliseconds native_limit) {
  RunResult r = RunKnockbox(args, native_limit);
  EXPECT_TRUE(ExitedWith(r, exit_code));
  EXPECT_EQ(MaskClock(r.out), out) << r.Describe();
  // Under Wine, Wine itself may write to standard error.
  if (!UnderRunner()) {
    EXPECT_EQ(r.err, "") << r.Describe();
  }
  return r;
}

std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (std::string_view line : lines) {
    out.append(line);
    out.append("\r\n");
  }
  return out;
}

std::string UsageOutput() {
  return Lines({
      kBanner,
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
  });
}

std::string Announcement(std::string_view host, long long port) {
  return "Opening connection to " + std::string(host) + " (port " + std::to_string(port) +
         ") at HH:MM:SS on MM-DD-YYYY\r\n";
}

std::string ProbeOutput(std::string_view host, long long port, const std::string& rest) {
  return Lines({kBanner}) + Announcement(host, port) + rest;
}

std::string SuccessLines() { return Lines({kEstablished, kClosing}); }

std::string FailureLines(std::string_view host, int error_number) {
  return "Error connecting to " + std::string(host) + " (Err:" + std::to_string(error_number) +
         ")\r\n" + Lines({kFailed});
}

std::string MaskClock(const std::string& output) {
  return std::regex_replace(output, ClockPattern(), "$1HH:MM:SS on MM-DD-YYYY\r\n");
}

std::vector<long long> AnnouncedTimes(const std::string& output) {
  std::vector<long long> times;
  for (std::sregex_iterator it(output.begin(), output.end(), ClockPattern()), end; it != end;
       ++it) {
    const std::smatch& m = *it;
    tm local{};
    local.tm_hour = std::stoi(m[2]);
    local.tm_min = std::stoi(m[3]);
    local.tm_sec = std::stoi(m[4]);
    local.tm_mon = std::stoi(m[5]) - 1;
    local.tm_mday = std::stoi(m[6]);
    local.tm_year = std::stoi(m[7]) - 1900;
    local.tm_isdst = -1;
    times.push_back(static_cast<long long>(mktime(&local)));
  }
  return times;
}

std::string AsReceived(const std::string& arg) {
  if (UnderRunner() && (arg.empty() || arg.find_first_of(" \t") != std::string::npos)) {
    return "\"" + arg + "\"";
  }
  return arg;
}

LoopbackServer::Handler Recorder::Handler(Script script) {
  return [this, script](ServerPeer& peer) {
    const auto start = std::chrono::steady_clock::now();
    std::string received;
    if (script) script(peer, received);
    received += peer.ReceiveUntilClosed(10000);
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back(received);
    start_times_.push_back(start);
  };
}

std::vector<std::string> Recorder::Received() {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

std::vector<std::chrono::steady_clock::time_point> Recorder::StartTimes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return start_times_;
}
