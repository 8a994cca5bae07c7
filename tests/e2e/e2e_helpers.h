// Shared helpers of the end-to-end tests: starting knockbox, its fixed texts, output checks.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "support/loopback_server.h"
#include "support/process_runner_posix.h"

inline constexpr char kBanner[] = "KNOCKBOX 1.0 - TCP port connection tester";
inline constexpr char kInvalidLoopTime[] =
    "Error: loop time is invalid. Accepted range is 1 to 65534 only.";
inline constexpr char kEstablished[] = "Connection established without errors.";
inline constexpr char kClosing[] = "Closing connection.";
inline constexpr char kFailed[] = "Connection failed!";
inline constexpr char kNegotiating[] = "Negotiating connection";
inline constexpr char kByeLine[] = "BYE\r\r\n";
inline constexpr char kOptionRequest[] = "\xFF\xFE\x01\xFF\xFE\x03";

// True when the program runs through KNOCKBOX_RUNNER (the Windows program under Wine).
bool UnderRunner();
// A hard limit for one run that takes `native` on Linux; a runner adds its own start-up time.
std::chrono::milliseconds TimeLimit(std::chrono::milliseconds native);
// Options for one run of knockbox with these arguments, runner first when there is one
// (standard output and error captured, standard input /dev/null).
RunOptions KnockboxOptions(const std::vector<std::string>& args,
                           std::chrono::milliseconds native_limit = std::chrono::seconds(5));
RunResult RunKnockbox(const std::vector<std::string>& args,
                      std::chrono::milliseconds native_limit = std::chrono::seconds(5));
// Success when the run ended by exit() with `exit_code`; otherwise the run described.
::testing::AssertionResult ExitedWith(const RunResult& r, int exit_code);
// Runs knockbox and checks its exit code, its standard output with the clock masked, and (where
// standard error is a pipe, so no terminal to echo to) that it wrote nothing on standard error.
RunResult ExpectRun(const std::vector<std::string>& args, int exit_code, const std::string& out,
                    std::chrono::milliseconds native_limit = std::chrono::seconds(5));

// Each line followed by CR LF, concatenated.
std::string Lines(std::initializer_list<std::string_view> lines);
// The banner and the twelve usage lines.
std::string UsageOutput();
// "Opening connection to HOST (port PORT) at HH:MM:SS on MM-DD-YYYY", with the time and date
// left as those placeholders (see MaskClock).
std::string Announcement(std::string_view host, long long port);
// The banner, the announcement of HOST and PORT, and `rest`.
std::string ProbeOutput(std::string_view host, long long port, const std::string& rest);
// The two success lines.
std::string SuccessLines();
// The error line and "Connection failed!".
std::string FailureLines(std::string_view host, int error_number);
// Output with each announcement's time and date replaced by "HH:MM:SS" and "MM-DD-YYYY", but
// only where they have the right shape and range (hour 00-23, month 01-12, and so on).
std::string MaskClock(const std::string& output);
// The local times (seconds since the epoch) announced in the output, in order.
std::vector<long long> AnnouncedTimes(const std::string& output);

// How an argument reaches the program: Wine quotes an argument that holds a space or a tab
// when it builds the Windows command line.
std::string AsReceived(const std::string& arg);

// Keeps, for each connection a LoopbackServer accepted, when its handler started and every byte
// the client sent until it closed.
class Recorder {
 public:
  // What the handler does before it records the rest; whatever it receives itself it appends
  // to `received` so the transcript stays whole.
  using Script = std::function<void(ServerPeer& peer, std::string& received)>;

  // A handler that runs `script`, then receives until the client closes (10 s at most).
  LoopbackServer::Handler Handler(Script script = nullptr);
  std::vector<std::string> Received();
  std::vector<std::chrono::steady_clock::time_point> StartTimes();

 private:
  std::mutex mutex_;
  std::vector<std::string> received_;
  std::vector<std::chrono::steady_clock::time_point> start_times_;
};
