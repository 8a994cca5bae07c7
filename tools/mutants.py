#!/usr/bin/python3
# The mutation set: deliberate breakages of the program, each a fault a user could meet. Each is
# applied alone to a scratch checkout of a commit, the program and its tests are built and the
# tests run. Every mutant ends as one of:
#   killed     a test failed; the first failing test is named
#   survived   every test passed
#   not built  the breakage does not compile (or its text is not in that commit): mend or drop it
#   timed out  the tests outlasted the limit, so nothing can be said
# Only killed mutants count in the score. A mutant in code that no command-line input reaches
# carries its reason in UNREACHABLE: when its tests pass it is listed as unreachable, apart from
# the score. The unmutated tree is built and tested first; when that fails, no mutant is run.
#
#   tools/mutants.py [--commit REV] [--only ID|PATTERN,...] [--out FILE] [--logs DIR] [--list]
#
# Native mutants run the unit tests (knockbox_tests), the fuzz corpus replay and the end-to-end
# tests (pytest -x) in a private network; mutants tagged "win" build the 64-bit Windows tree and
# run tools/windows-test 64 under wine64. Each mutant's diff, build and test output stay in its
# own folder under the log directory, so that a kill for the wrong reason can be seen. A whole run
# takes about two and a half hours on two cores: a killed mutant seconds to a minute, one that
# survives or is unreachable the whole suite (about two minutes). Slices (--only) over commits
# that hold the same program and tests can run side by side, each in its own scratch checkout.
import argparse
import fcntl
import fnmatch
import os
import re
import signal
import subprocess
import sys
import time

NATIVE, WIN = "native", "win"

# (id, tag, file, text to find (exactly once), its replacement[, another text, its replacement])
MUTANTS = [
    # Connection table
    ("table-wrap", NATIVE, "src/net/connection_table.cpp",
     "number_counter >= kHighestConnectionNumber", "number_counter > kHighestConnectionNumber"),
    ("table-open-number", NATIVE, "src/net/connection_table.cpp",
     "if (!open.test(static_cast<std::size_t>(number_counter))) return number_counter;",
     "return number_counter;"),
    ("table-full-no-error", NATIVE, "src/net/connection_table.cpp",
     "  RaiseError(kErrNoMemory);\n  return 0;", "  return 0;"),
    ("table-unregister", NATIVE, "src/net/connection_table.cpp",
     "      *link = record->next;\n", ""),
    ("table-find", NATIVE, "src/net/connection_table.cpp",
     "if (record->number == number) return record;", "if (record->number != number) return record;"),
    # Line assembly
    ("line-keeps-cr", NATIVE, "src/net/line_assembly.cpp",
     "} else if (byte != kCarriageReturn) {", "} else {"),
    ("line-keeps-lf", NATIVE, "src/net/line_assembly.cpp",
     "      state = LineState::kComplete;\n", "      state = LineState::kComplete;\n      line.push_back('\\n');\n"),
    ("line-limit", NATIVE, "src/net/line_assembly.cpp", "taken < limit", "taken <= limit"),
    ("line-rest-not-moved", NATIVE, "src/net/line_assembly.cpp",
     "  std::memmove(buffer, buffer + index, pending - index);\n", ""),
    ("line-never-full", NATIVE, "src/net/line_assembly.cpp",
     "  if (state == LineState::kNeedsMore && taken >= limit) state = LineState::kFull;\n", ""),
    # Stream connections
    ("open-port-above-65535", NATIVE, "src/net/stream.cpp",
     "} else if (port > 65535) {", "} else if (false) {"),
    ("open-host-guard", NATIVE, "src/net/stream.cpp",
     "return !name.empty() && name.size() <= kLookupNameLimit && name.find('\\0') == Text::npos;",
     "return !name.empty();"),
    ("open-any-address", NATIVE, "src/net/stream.cpp",
     "  if (NamesNoHost(record.address)) return kErrSocket;\n", ""),
    ("open-ipv6-any-address", NATIVE, "src/net/stream.cpp",
     "(address.bytes == kMappedAny || address.bytes[0] == 0xFF)",
     "((address.bytes == kMappedAny && false) || address.bytes[0] == 0xFF)"),
    ("open-ipv6-multicast", NATIVE, "src/net/stream.cpp",
     "(address.bytes == kMappedAny || address.bytes[0] == 0xFF)", "(address.bytes == kMappedAny)"),
    ("open-brackets-as-name", NATIVE, "src/net/stream.cpp",
     "return UsableLookupName(inside) ? ReadIPv6Address(inside, address) : kErrSocket;",
     "return UsableLookupName(inside) ? ResolveHostIPv6(inside, address) : kErrSocket;"),
    ("open-no-ipv6-after-refusal", NATIVE, "src/net/stream.cpp",
     "    error = ConnectOverIPv6(record, host, deadline, error);\n", "    (void)ConnectOverIPv6;\n"),
    ("open-ipv6-after-spent-limit", NATIVE, "src/net/stream.cpp",
     "if (error != 0 && try_ipv6 && std::chrono::steady_clock::now() < deadline) {",
     "if (error != 0 && try_ipv6) {"),
    ("open-ipv6-for-dotted-text", NATIVE, "src/net/socket_bsd.cpp",
     "  if (LookUpAddress(host, IpFamily::kIPv4, AI_NUMERICHOST, &ipv4) == 0) return kErrSocket;\n", ""),
    ("open-self-connect", NATIVE, "src/net/stream.cpp",
     "return ConnectedToItself(socket) ? kErrSocket : ErrorNumber{0};", "return 0;"),
    ("open-failure-keeps-socket", NATIVE, "src/net/stream.cpp",
     "    if (record->socket_handle != kNoSocket) CloseSocket(record->socket_handle);\n", ""),
    ("open-already-open", NATIVE, "src/net/stream.cpp",
     "  if (FindConnection(number) != nullptr) return kErrAlreadyOpen;\n", ""),
    ("open-negative-number", NATIVE, "src/net/stream.cpp", "  if (number < 0) return kErrNotOpen;\n", ""),
    ("open-timeout-zero", NATIVE, "src/net/stream.cpp",
     "timeout_1024us == 0 ? kNoTimeout : timeout_1024us", "timeout_1024us"),
    ("wait-limit-units", NATIVE, "src/net/stream.cpp",
     "std::chrono::microseconds((timeout_1024us % 1024) * 1024)",
     "std::chrono::microseconds((timeout_1024us % 1024) * 1000)"),
    ("send-once", NATIVE, "src/net/stream.cpp", "  } while (done < text.size());", "  } while (false);"),
    ("send-keeps-end-of-data", NATIVE, "src/net/stream.cpp",
     "  } while (done < text.size());\n  // Nothing reads it before the next receive, which clears it "
     "too: this is for callers that do.\n  record->flags &= static_cast<std::uint16_t>(~kEndOfData);",
     "  } while (done < text.size());"),
    ("send-timeout-silent", NATIVE, "src/net/stream.cpp",
     "    if (!ready) {\n      RaiseError(kErrTimeout);\n      return;", "    if (!ready) {\n      return;"),
    ("receive-end-without-short-read", NATIVE, "src/net/stream.cpp",
     "if (record->pending_count == 0 && (record->flags & kShortReadSeen) != 0) {",
     "if (record->pending_count == 0) {"),
    ("receive-prompt-not-end", NATIVE, "src/net/stream.cpp",
     "      record->flags |= kShortReadSeen | kEndOfData;\n", ""),
    ("receive-timeout-silent", NATIVE, "src/net/stream.cpp",
     "      if (line.empty()) {\n        RaiseError(kErrTimeout);", "      if (line.empty()) {"),
    ("receive-closed-not-end", NATIVE, "src/net/stream.cpp",
     "      // The peer has closed its side.\n      record->flags |= kEndOfData;\n",
     "      // The peer has closed its side.\n"),
    ("receive-no-short-read", NATIVE, "src/net/stream.cpp",
     "    if (count < kConnectionBufferSize) record->flags |= kShortReadSeen;\n", ""),
    ("end-of-data-never", NATIVE, "src/net/stream.cpp",
     "return (record->flags & kEndOfData) != 0 ? -1 : 0;", "return 0;"),
    ("end-of-data-error", NATIVE, "src/net/stream.cpp",
     "RaiseError(kErrNotOpenAtEnd);", "RaiseError(kErrNotOpen);"),
    ("close-mask-zero", NATIVE, "src/net/stream.cpp",
     "if (kind_mask != 0 && (record->mode & kind_mask) == 0) {", "if ((record->mode & kind_mask) == 0) {"),
    ("close-keeps-socket", NATIVE, "src/net/stream.cpp",
     "  CloseSocket(record->socket_handle);\n  EndSocketLibrary();", "  EndSocketLibrary();"),
    ("deadline-ignored", NATIVE, "src/net/stream.cpp", "    limit = std::min(limit, left);\n", ""),
    ("self-connect-check", NATIVE, "src/net/socket_bsd.cpp", "local == peer", "local.port != peer.port"),
    ("self-connect-ipv4-only", NATIVE, "src/net/socket_bsd.cpp",
     "} else if (native->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {",
     "} else if (false) {"),
    # POSIX sockets
    ("posix-linger-on", NATIVE, "src/net/socket_posix.cpp", "off.l_onoff = 0;", "off.l_onoff = 1;"),
    ("connect-limit-22", NATIVE, "src/net/stream.cpp",
     "constexpr std::chrono::seconds kConnectLimit{21};", "constexpr std::chrono::seconds kConnectLimit{22};"),
    ("posix-connect-blocking", NATIVE, "src/net/socket_posix.cpp",
     "fcntl(descriptor, F_SETFL, flags | O_NONBLOCK)", "fcntl(descriptor, F_SETFL, flags)"),
    ("posix-connect-one-wait", NATIVE, "src/net/socket_posix.cpp",
     "std::min<std::chrono::microseconds>(left, kConnectStep)", "left"),
    ("posix-connect-never-gives-up", NATIVE, "src/net/socket_posix.cpp",
     "    if (result == 0 && left.count() == 0) return kErrSocket;\n", ""),
    ("posix-connect-late-not-asked", NATIVE, "src/net/socket_posix.cpp",
     "    watched.revents = 0;\n", "    if (left.count() == 0) return kErrSocket;\n    watched.revents = 0;\n"),
    ("posix-connect-outcome-ignored", NATIVE, "src/net/socket_posix.cpp",
     "    if (result > 0) return ConnectOutcome(descriptor);\n",
     "    if (result > 0) return (void)ConnectOutcome(descriptor), ErrorNumber{0};\n"),
    ("posix-connect-left-non-blocking", NATIVE, "src/net/socket_posix.cpp",
     "  if (outcome == 0 && fcntl(descriptor, F_SETFL, flags) != 0) return LastSocketError();\n", ""),
    ("posix-socket-on-standard-descriptor", NATIVE, "src/net/socket_posix.cpp",
     "AboveStandardDescriptors(socket(NativeFamily(family), type, IPPROTO_TCP))",
     "(socket(NativeFamily(family), type, IPPROTO_TCP))"),
    ("descriptor-left-on-standard", NATIVE, "src/system/descriptor_posix.cpp",
     "if (descriptor < 0 || descriptor > STDERR_FILENO) return descriptor;", "return descriptor;"),
    ("posix-sigpipe-on-send", NATIVE, "src/net/socket_posix.cpp",
     "kNoSignal | MSG_DONTWAIT", "MSG_DONTWAIT"),
    ("posix-wait-writable", NATIVE, "src/net/socket_posix.cpp",
     "what == SocketWait::kReadable ? POLLIN : POLLOUT", "what == SocketWait::kReadable ? POLLOUT : POLLOUT"),
    ("posix-wait-microseconds", NATIVE, "src/system/wait_limit_posix.h",
     "span.tv_nsec = static_cast<long>(limit.count() % 1000000) * 1000;", "span.tv_nsec = 0;"),
    ("posix-recv-error-as-close", NATIVE, "src/net/socket_posix.cpp",
     "  if (result < 0) return LastSocketError();\n  *count = static_cast<std::size_t>(result);",
     "  *count = result < 0 ? 0 : static_cast<std::size_t>(result);"),
    # Retrying after signals
    ("retry-stops", NATIVE, "src/system/retry_posix.h",
     "} while (result == failure && errno == EINTR);", "} while (result == failure && false);"),
    ("wait-resume-stops", NATIVE, "src/system/retry_posix.h",
     "if (result != -1 || errno != EINTR) return result;", "return result;"),
    # Terminal filter, writing, line output, start-up
    ("filter-tab", NATIVE, "src/console/terminal_filter.cpp",
     "if ((byte < 0x20 && byte != '\\t') || byte == 0x7F) {", "if (byte < 0x20 || byte == 0x7F) {"),
    ("filter-del", NATIVE, "src/console/terminal_filter.cpp",
     "if ((byte < 0x20 && byte != '\\t') || byte == 0x7F) {", "if (byte < 0x20 && byte != '\\t') {"),
    ("filter-raw-c1", NATIVE, "src/console/terminal_filter.cpp",
     "((length == 2 && byte == 0xC2) || length == 0)", "(length == 2 && byte == 0xC2)"),
    ("filter-utf8-c1", NATIVE, "src/console/terminal_filter.cpp",
     "(length == 2 && byte == 0xC2)", "(length == 2 && byte == 0xC3)"),
    ("filter-overlong", NATIVE, "src/text/utf8.cpp", "lead == 0xE0 ? 0xA0 : ", ""),
    ("write-full-pipe-fails", NATIVE, "src/system/write_all_posix.cpp",
     "if (RetryAfterSignal(-1, [&] { return poll(&writable, 1, -1); }) < 0) return errno;",
     "if (RetryAfterSignal(-1, [&] { return poll(&writable, 1, -1); }) < 0 || true) return EIO;"),
    ("write-second-again", NATIVE, "src/system/write_all_posix.cpp",
     "      second.remove_prefix(static_cast<std::size_t>(count) - from_first);\n", ""),
    ("output-terminal-unfiltered", NATIVE, "src/console/line_output_posix.cpp",
     "StdoutIsConsole() != 0 ? WriteShownLine(fd, text) : WriteAll(fd, text, kLineEnd)",
     "WriteAll(fd, text, kLineEnd)"),
    ("filter-piece-overflows", NATIVE, "src/console/terminal_filter.cpp",
     "if (filled + form_length > room) break;", "if (filled >= room) break;"),
    ("shown-line-last-piece-only", NATIVE, "src/console/shown_line_posix.cpp",
     "    if (const int error = WriteAll(fd, piece); error != 0) return error;\n", ""),
    ("terminal-no-signal-stack", NATIVE, "src/console/terminal_posix.cpp",
     "(current.ss_flags & SS_DISABLE) == 0) return;", "true) return;"),
    ("startup-terminal-not-console", NATIVE, "src/entry/startup_posix.cpp",
     "    process.console_flag = -1;\n", ""),
    ("startup-closed-descriptor", NATIVE, "src/entry/startup_posix.cpp",
     "if ((descriptor.revents & POLLNVAL) != 0) {", "if ((descriptor.revents & POLLNVAL) != 0 && false) {"),
    ("terminal-switched-at-start", NATIVE, "src/entry/startup_posix.cpp",
     "  SetNumberEnvironment();\n", "  SetNumberEnvironment();\n  PrepareTerminal();\n"),
    ("keyboard-never-prepared", NATIVE, "src/driver/driver.cpp", "    PrepareKeyboard();\n", ""),
    ("terminal-interrupt-key", NATIVE, "src/console/terminal_posix.cpp",
     "  if (g_terminal.stdin_is_terminal) keys.c_cc[VINTR] = _POSIX_VDISABLE;\n", ""),
    ("terminal-not-restored-on-signal", NATIVE, "src/console/terminal_posix.cpp",
     "  PutBack();\n  sigaction(signal_number, &g_previous[signal_number], nullptr);",
     "  sigaction(signal_number, &g_previous[signal_number], nullptr);"),
    ("terminal-few-ending-signals", NATIVE, "src/console/terminal_posix.cpp",
     "SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,", "SIGTERM, SIGUSR2, SIGVTALRM,"),
    ("terminal-stop-twice", NATIVE, "src/console/terminal_posix.cpp",
     "  raise(signal_number);\n  SetSignalBlocked(signal_number, false);\n",
     "  SetSignalBlocked(signal_number, false);\n  raise(signal_number);\n"),
    ("terminal-nested-stop-saves-keys", NATIVE, "src/console/terminal_posix.cpp",
     "  SetSignalBlocked(signal_number, true);\n", "", "if (!g_terminal.recorded) {", "if (true) {"),
    ("terminal-on-standard-descriptor", NATIVE, "src/console/terminal_posix.cpp",
     "const int fd = AboveStandardDescriptors(RetryAfterSignal(", "const int fd = (RetryAfterSignal("),
    ("terminal-switched-into-pipe", NATIVE, "src/console/terminal_posix.cpp",
     "if (g_terminal.prepared || OutputIsPipe()) return;",
     "if (g_terminal.prepared || (OutputIsPipe() && false)) return;"),
    ("terminal-socket-not-pipe", NATIVE, "src/console/terminal_posix.cpp",
     "(S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode))", "S_ISFIFO(status.st_mode)"),
    ("terminal-min-time-zeroed", NATIVE, "src/console/terminal_posix.cpp",
     "  keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);\n",
     "  keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);\n  keys.c_cc[VMIN] = 0;\n  keys.c_cc[VTIME] = 0;\n"),
    ("terminal-continue-not-switched", NATIVE, "src/console/terminal_posix.cpp",
     "  InstallHandler(SIGCONT, OnContinue);\n", "  (void)OnContinue;\n"),
    ("keys-lost", NATIVE, "src/console/keyboard_posix.cpp",
     "  g_pending_count -= key.used;", "  g_pending_count = 0;"),
    # Key decoding
    ("key-alt-letter", NATIVE, "src/console/key_decoder.cpp",
     "if (alt && IsAltLetterScanCode(event.scan_code))", "if (alt && IsAltLetterScanCode(event.scan_code) && false)"),
    ("key-modifier-taken", NATIVE, "src/console/key_decoder.cpp",
     "if (IsModifierScanCode(event.scan_code)) return {};", "if (IsModifierScanCode(event.scan_code) && false) return {};"),
    ("key-caps-shift", NATIVE, "src/console/key_decoder.cpp",
     "    if (shift && character == entry.plain) return entry.shifted;\n", ""),
    ("key-escape-virtual-key", NATIVE, "src/console/key_decoder.cpp",
     "  if (event.virtual_key == kEscapeVirtualKey) return {true, OneByte(kEscape)};\n", ""),
    ("key-release-taken", NATIVE, "src/console/key_decoder.cpp",
     "if (!event.is_key_event || !event.key_down) return {};", "if (!event.is_key_event) return {};"),
    ("key-lone-escape", NATIVE, "src/console/key_decoder.cpp",
     "if (bytes.size() == 1) return {OneByte(kEscape), 1};", "if (bytes.size() == 1) return {OneByte(0), 1};"),
    ("key-arrow-up", NATIVE, "src/console/key_decoder.cpp", "      return kUp;", "      return kDown;"),
    ("key-escape-before-control", NATIVE, "src/console/key_decoder.cpp",
     "  if (next < 0x20) return {OneByte(kEscape), 1};\n", ""),
    # Console echo
    ("echo-no-owed-scroll", NATIVE, "src/console/echo_writer.cpp",
     "        scroll_pending_ = true;", "        scroll_pending_ = false;"),
    ("echo-one-scroll-at-end", NATIVE, "src/console/echo_writer.cpp",
     "  if (was_pending) ScrollUp(screen, info);", "  if (was_pending && false) ScrollUp(screen, info);"),
    ("echo-chunk-unlimited", NATIVE, "src/console/echo_writer.cpp",
     "std::min(info.width - x, kEchoChunkCells)", "info.width - x"),
    ("echo-attribute", NATIVE, "src/console/echo_writer.cpp",
     "cells[i] = EchoCell{static_cast<unsigned char>(text[position + i]), kEchoAttribute};",
     "cells[i] = EchoCell{static_cast<unsigned char>(text[position + i]), 0x1F};"),
    ("echo-owed-scroll-kept", NATIVE, "src/console/echo_writer.cpp",
     "  const bool was_pending = scroll_pending_;\n  scroll_pending_ = false;\n",
     "  const bool was_pending = scroll_pending_;\n"),
    # Driver: command text, usage, loop time, probe cycle, exit codes
    ("driver-usage-question-mark", NATIVE, "src/driver/driver.cpp",
     "return TextEquals(command_text, \"?\") || TextLength(command_text) == 0 ||",
     "return TextLength(command_text) == 0 ||"),
    ("driver-usage-no-argument", NATIVE, "src/driver/driver.cpp",
     "return TextEquals(command_text, \"?\") || TextLength(command_text) == 0 ||",
     "return TextEquals(command_text, \"?\") ||"),
    ("driver-help-probed", NATIVE, "src/driver/driver.cpp",
     "TextEquals(command_text, \"-h\") || TextEquals(command_text, \"--help\") ||",
     "TextEquals(command_text, \"-h\") ||"),
    ("driver-version-probed", NATIVE, "src/driver/driver.cpp",
     "  if (TextEquals(command_text, \"--version\")) return 0;\n", ""),
    ("driver-slash-question-mark-everywhere", NATIVE, "src/driver/driver.cpp",
     "(kWindowsCommandLine && TextEquals(command_text, \"/?\"))", "TextEquals(command_text, \"/?\")"),
    ("driver-unreadable-command-usage", NATIVE, "src/driver/driver.cpp",
     "if (command_unreadable) return", "if (command_unreadable && false) return"),
    ("startup-unreadable-command-usage", NATIVE, "src/entry/startup_posix.cpp",
     "if (LastError() != 0) return kExitNotPrepared;",
     "if (LastError() != 0 && false) return kExitNotPrepared;"),
    ("driver-no-space-collapse", NATIVE, "src/driver/driver.cpp",
     "Text command_text = ReplaceText(CommandTail(), \"  \", \" \");",
     "Text command_text = CommandTail();"),
    ("driver-space-collapse-repeated", NATIVE, "src/driver/driver.cpp",
     "Text command_text = ReplaceText(CommandTail(), \"  \", \" \");",
     "Text command_text = ReplaceText(ReplaceText(CommandTail(), \"  \", \" \"), \"  \", \" \");"),
    ("driver-target-keeps-loop-time", NATIVE, "src/driver/driver.cpp",
     "    target = FieldText(target, \" \", 1);\n", ""),
    ("driver-loop-time-rest-of-line", NATIVE, "src/driver/driver.cpp",
     "NumberToInt32(TextToNumber(FieldText(target, \" \", 2)))",
     "NumberToInt32(TextToNumber(MidText(target, FindText(1, target, \" \") + 1, 2147483647)))"),
    ("driver-loop-time-1-rejected", NATIVE, "src/driver/driver.cpp",
     "if (loop_time < 1 || loop_time > kMaxLoopTime) {", "if (loop_time <= 1 || loop_time > kMaxLoopTime) {"),
    ("driver-loop-time-0-accepted", NATIVE, "src/driver/driver.cpp",
     "if (loop_time < 1 || loop_time > kMaxLoopTime) {", "if (loop_time < 0 || loop_time > kMaxLoopTime) {"),
    ("driver-loop-time-65534-rejected", NATIVE, "src/driver/driver.cpp",
     "if (loop_time < 1 || loop_time > kMaxLoopTime) {", "if (loop_time < 1 || loop_time >= kMaxLoopTime) {"),
    ("driver-loop-time-65535-accepted", NATIVE, "src/driver/driver.cpp",
     "constexpr std::int32_t kMaxLoopTime = 65534;", "constexpr std::int32_t kMaxLoopTime = 65535;"),
    ("driver-failure-exit-1", NATIVE, "src/driver/driver.cpp",
     "      return kExitFailedProbe;", "      return kExitEscape;"),
    ("driver-escape-exit-0", NATIVE, "src/driver/driver.cpp",
     "if (PauseUntilEscape(loop_time)) return kExitEscape;", "if (PauseUntilEscape(loop_time)) return 0;"),
    ("driver-single-probe-loops", NATIVE, "src/driver/driver.cpp",
     "    if (loop_time == 0) return 0;\n", "    if (loop_time == 0) loop_time = 1;\n"),
    ("driver-pause-a-second-longer", NATIVE, "src/driver/driver.cpp",
     "for (std::int32_t slept = 0; slept < loop_time;) {", "for (std::int32_t slept = 0; slept <= loop_time;) {"),
    ("driver-escape-ignored", NATIVE, "src/driver/driver.cpp",
     "    if (TextEquals(PollKey(), kEscapeKey)) return true;\n", "    (void)PollKey(), (void)kEscapeKey;\n"),
    # Probe: target split, announcement, open, Telnet negotiation, closing sequence
    ("probe-last-colon", NATIVE, "src/probe/probe.cpp",
     "  return FindText(1, target_text, \":\");",
     "  return static_cast<std::int32_t>(target_text.rfind(':') + 1);"),
    ("probe-no-brackets", NATIVE, "src/probe/probe.cpp",
     "  if (target_text.starts_with('[')) {", "  if (false) {"),
    ("probe-bracket-without-port-split", NATIVE, "src/probe/probe.cpp",
     "static_cast<std::size_t>(close) == target_text.size()) return 0;",
     "static_cast<std::size_t>(close) == target_text.size()) return FindText(1, target_text, \":\");"),
    ("probe-bracket-any-follower", NATIVE, "src/probe/probe.cpp",
     "if (close > 0 && target_text[static_cast<std::size_t>(close)] == ':') return close + 1;",
     "if (close > 0) return close + 1;"),
    ("probe-port-includes-colon", NATIVE, "src/probe/probe.cpp",
     "MidText(target_text, colon + 1, 2147483647)", "MidText(target_text, colon, 2147483647)"),
    ("probe-host-keeps-colon", NATIVE, "src/probe/probe.cpp",
     "target.host = MidText(target_text, 1, colon - 1);", "target.host = MidText(target_text, 1, colon);"),
    ("probe-port-read-as-int32", NATIVE, "src/probe/probe.cpp",
     "const std::int64_t port =\n        NumberToInt64(", "const std::int64_t port =\n        NumberToInt32("),
    ("probe-port-23-comparison", NATIVE, "src/probe/probe.cpp",
     "if (target.port != kTelnetPort) return connection;", "if (target.port < kTelnetPort) return connection;"),
    ("probe-option-do-echo", NATIVE, "src/probe/probe.cpp",
     "\"\\xFF\\xFE\\x01\\xFF\\xFE\\x03\"", "\"\\xFF\\xFD\\x01\\xFF\\xFE\\x03\""),
    ("probe-echo-when-console", NATIVE, "src/probe/probe.cpp",
     "if (StdoutIsConsole() == 0) ConsolePrintLine(", "if (StdoutIsConsole() != 0) ConsolePrintLine("),
    ("probe-print-error-fails-open", NATIVE, "src/probe/probe.cpp",
     "    ErrorScope open;\n    connection = NextFreeNumber();", "    connection = NextFreeNumber();"),
    ("probe-reset-not-end", NATIVE, "src/probe/probe.cpp",
     "    if (receive_error == kErrSocket || receive_error == kErrInProgress) return;\n", ""),
    ("probe-31-silent-receives", NATIVE, "src/probe/probe.cpp",
     "if (silent_receives >= kMaxSilentReceives) return;", "if (silent_receives > kMaxSilentReceives) return;"),
    ("probe-telnet-limit-300-s", NATIVE, "src/probe/probe.cpp",
     "kTelnetTimeLimit = std::chrono::seconds(30);", "kTelnetTimeLimit = std::chrono::seconds(300);"),
    ("probe-no-receive-pause", NATIVE, "src/probe/probe.cpp", "    SleepMs(kReceivePauseMs);\n", ""),
    ("probe-bye-one-cr", NATIVE, "src/probe/probe.cpp",
     "\"BYE\\r\\r\\n\"", "\"BYE\\r\\n\""),
    # Command tail
    ("tail-leading-spaces-kept", NATIVE, "src/text/command_tail.cpp",
     "std::string_view tail = SkipSpaces(tail_text);", "std::string_view tail = tail_text;"),
    ("tail-trailing-spaces-kept", NATIVE, "src/text/command_tail.cpp",
     "  tail = tail.substr(0, tail.find_last_not_of(' ') + 1);\n", ""),
    ("tail-tabs-trimmed", NATIVE, "src/text/command_tail.cpp",
     "text.find_first_not_of(' ')", "text.find_first_not_of(\" \\t\")"),
    ("tail-arguments-unspaced", NATIVE, "src/text/command_tail.cpp",
     "      if (i > 1) line.push_back(' ');\n", ""),
    ("tail-name-signed-byte", NATIVE, "src/text/command_tail.cpp",
     "static_cast<unsigned char>(line[end]) > 0x20", "line[end] > 0x20"),
    # Search and fields
    ("fields-find-skips-first-byte", NATIVE, "src/text/fields.cpp",
     "  if (text.empty() || start <= 0) return 0;\n  const std::size_t offset = static_cast<std::size_t>(start) - 1;",
     "  if (text.empty() || start <= 0) return 0;\n  const std::size_t offset = static_cast<std::size_t>(start);"),
    ("fields-find-misses-last-byte", NATIVE, "src/text/fields.cpp", "i + m <= n", "i + m < n"),
    ("fields-find-past-end", NATIVE, "src/text/fields.cpp",
     "  if (offset >= text.size()) return 0;\n", "  if (offset > text.size()) return 0;\n"),
    ("fields-mid-skips-first-byte", NATIVE, "src/text/fields.cpp",
     "  if (start <= 0 || length <= 0) return Text();\n  const std::size_t offset = static_cast<std::size_t>(start) - 1;",
     "  if (start <= 0 || length <= 0) return Text();\n  const std::size_t offset = static_cast<std::size_t>(start);"),
    ("fields-count-from-zero", NATIVE, "src/text/fields.cpp",
     "for (std::int32_t k = 1;; ++k) {", "for (std::int32_t k = 0;; ++k) {"),
    ("fields-field-keeps-delimiter", NATIVE, "src/text/fields.cpp",
     "return CopyText(text.substr(begin, end - begin));",
     "return CopyText(text.substr(begin, end - begin + 1));"),
    ("fields-one-byte-delimiter", NATIVE, "src/text/fields.cpp",
     "    begin = end + delimiter.size();\n", "    begin = end + 1;\n"),
    # Clock text
    ("clock-hour-12", NATIVE, "src/text/clock_text.cpp", "{reading.hour, ", "{reading.hour % 12, "),
    # Number conversion
    ("round-ties-up", NATIVE, "src/text/number.cpp", "(fraction == 0.5L && odd)", "(fraction == 0.5L && (odd || true))"),
    ("radix-16-bit-sign", NATIVE, "src/text/number.cpp",
     "result = static_cast<std::int64_t>(v) - ((v & 0x8000u) ? 65536 : 0);", "result = static_cast<std::int64_t>(v);"),
    ("radix-ampersand", NATIVE, "src/text/number.cpp", "} else if (ampersands == 1) {", "} else if (false) {"),
    ("radix-overflow", NATIVE, "src/text/number.cpp", "if ((v >> (64 - shift)) != 0) overflow = true;", ""),
    ("decimal-zeros-after-point", NATIVE, "src/text/number.cpp", "        if (point) ++zeros_after_point;\n", ""),
    ("decimal-exponent-sign", NATIVE, "src/text/number.cpp",
     "if (exponent_negative) exponent = -exponent;", "if (exponent_negative && false) exponent = -exponent;"),
    ("decimal-huge-sign", NATIVE, "src/text/number.cpp",
     "if (m >= kExponentBound) return negative ? -kHugeText : kHugeText;", "if (m >= kExponentBound) return kHugeText;"),
    ("blank-line-feed", NATIVE, "src/text/number.cpp",
     "return c == ' ' || c == '\\t' || c == '\\n';", "return c == ' ' || c == '\\t';"),
    ("int32-range", NATIVE, "src/text/number.cpp",
     "if (rounded < -kBound || rounded >= kBound) return kInvalid;",
     "if (rounded < -kBound || rounded > kBound) return kInvalid;"),
    ("format-sixteenth-digit", NATIVE, "src/text/number.cpp",
     "if ((sixteenth > '5' || (sixteenth == '5' && odd)) && IncrementDigits(digits)) ++e;",
     "if ((sixteenth >= '5' || (odd && false)) && IncrementDigits(digits)) ++e;"),
    ("format-plain-limit", NATIVE, "src/text/number.cpp", "if (e >= s && e <= 15) {", "if (e >= s && e <= 16) {"),
    ("format-integer-limit", NATIVE, "src/text/number.cpp", "if (std::fabs(value) < 1e15L &&", "if (std::fabs(value) < 1e16L &&"),
    ("format-exponent-sign", NATIVE, "src/text/number.cpp", "text += e > 15 ? \"E+\" : \"E-\";", "text += \"E+\";"),
    ("power-beyond-table", NATIVE, "src/text/number.cpp", "  if (beyond_table) power *= kLargePowers[9];\n", ""),
    # Memory: every Text through the guard, a reserve to report a shortage with
    ("memory-banner-copied", NATIVE, "src/driver/driver.cpp",
     "  PrintLine(kBanner);", "  PrintLine(Text(kBanner));"),
    ("memory-closing-line-copied", NATIVE, "src/driver/driver.cpp",
     "    PrintLine(\"Closing connection.\");", "    PrintLine(Text(\"Closing connection.\"));"),
    ("memory-command-text-copied", NATIVE, "src/driver/driver.cpp",
     "return RunProbeCycle(std::move(command_text));", "return RunProbeCycle(Text(command_text));"),
    ("memory-host-copied", NATIVE, "src/probe/probe.cpp",
     "    target.host = CopyText(target_text);", "    target.host = Text(target_text);"),
    ("memory-receive-room-unguarded", NATIVE, "src/net/stream.cpp",
     "if (!GuardAllocation([&] { line.reserve(kConnectionBufferSize); })) {",
     "if (line.reserve(kConnectionBufferSize), false) {"),
    ("memory-shrink-unguarded", NATIVE, "src/net/stream.cpp",
     "  GuardAllocation([&] { line.shrink_to_fit(); });", "  line.shrink_to_fit();"),
    ("memory-shortage-not-silence", NATIVE, "src/probe/probe.cpp",
     "receive_error == kErrTimeout || receive_error == kErrNoMemory;", "receive_error == kErrTimeout;"),
    ("memory-reserve-kept", NATIVE, "src/text/text.cpp",
     "  std::free(g_reserve);\n  g_reserve = nullptr;\n", ""),
    ("memory-tried-without-reserve", NATIVE, "src/text/text.h",
     "  if (!MemoryReserveReady()) return false;", "  MemoryReserveReady();"),
    # Windows: keyboard, console echo, start-up, line output, sockets
    ("win-ctrl-c-event", WIN, "src/entry/startup_win32.cpp",
     "if (SetConsoleMode(std_input, 0)) SetConsoleCtrlHandler(nullptr, TRUE);",
     "SetConsoleMode(std_input, 0);"),
    ("win-virtual-key", WIN, "src/console/keyboard_win32.cpp", "  event.virtual_key = key.wVirtualKeyCode;\n", ""),
    ("win-event-kept", WIN, "src/console/keyboard_win32.cpp",
     "    ReadConsoleInputA(input, &record, 1, &removed);\n", "    (void)removed;\n"),
    ("win-release-as-press", WIN, "src/console/keyboard_win32.cpp",
     "event.key_down = key.bKeyDown != FALSE;", "event.key_down = true;"),
    ("win-echo-one-cell", WIN, "src/console/console_echo_win32.cpp",
     "static_cast<SHORT>(x + count - 1)", "static_cast<SHORT>(x)"),
    ("win-echo-cursor-stays", WIN, "src/console/console_echo_win32.cpp",
     "    SetConsoleCursorPosition(handle_, COORD{static_cast<SHORT>(x), static_cast<SHORT>(y)});\n",
     "    (void)x, (void)y;\n"),
    ("win-console-flag", WIN, "src/entry/startup_win32.cpp", "    process.console_flag = -1;\n", ""),
    ("win-short-write", WIN, "src/console/line_output_win32.cpp", "} else if (written < wanted) {", "} else if (false) {"),
    ("win-library-version", WIN, "src/net/socket_win32.cpp",
     "if (LOBYTE(data.wVersion) != 2) {", "if (LOBYTE(data.wVersion) == 2) {"),
    ("win-invalid-handle", WIN, "src/console/output_error_win32.cpp",
     "{{ERROR_INVALID_HANDLE, ERROR_BAD_FORMAT,", "{{ERROR_BAD_FORMAT,"),
    ("win-ipv6-refusal-as-success", WIN, "src/net/socket_win32.cpp",
     "return outcome == 0 && FD_ISSET(socket, &failed) ? kErrSocket : outcome;",
     "return static_cast<void>(outcome), ErrorNumber{0};"),
    ("win-wait-microseconds", WIN, "src/net/socket_win32.cpp",
     "span.tv_usec = static_cast<long>(limit.count() % 1000000);", "span.tv_usec = 0;"),
    ("win-line-allocates", WIN, "src/system/system_call_win32.h",
     "#include <cstdint>\n", "#include <cstdint>\n#include <functional>\n",
     "std::uint32_t CallSystem(Call&& call) {\n",
     "std::uint32_t CallSystem(Call&& call_) {\n  const std::function<void()> call = call_;\n"),
]

# Mutants whose tests may pass because no command-line input reaches the code they break, or no
# output of the program shows what they change.
UNREACHABLE = {
    "open-ipv6-multicast":
        "the system refuses the connect itself: see the comment at NamesNoHost in "
        "src/net/stream.cpp",
    "open-ipv6-after-spent-limit":
        "the IPv6 connect fails at once with the limit spent: see the comment at the IPv6 try in "
        "ConnectRecord, src/net/stream.cpp",
    "open-ipv6-for-dotted-text":
        "no lookup of dotted text gives an IPv6 address: see the comment at ResolveHostIPv6 in "
        "src/net/socket_bsd.cpp",
    "fields-find-past-end":
        "the program's patterns cannot match past the end: see the comment at FindText in "
        "src/text/fields.cpp",
    "fields-one-byte-delimiter":
        "the program splits at ' ' alone: see the comment at FieldText in src/text/fields.cpp",
    "send-timeout-silent":
        "the program's sends never wait for room: see the comment at SendText in src/net/stream.cpp",
    "win-short-write":
        "nothing reads a line's error: see the comment at WriteBytes in "
        "src/console/line_output_win32.cpp",
    "int32-range":
        "2^31 is no loop time either way: see the comment at RoundToInteger in src/text/number.cpp",
    "table-open-number":
        "the program holds one connection at a time: see the comment at NextFreeNumber in "
        "src/net/connection_table.cpp",
    "table-full-no-error":
        "the program holds one connection at a time: see the comment at NextFreeNumber in "
        "src/net/connection_table.cpp",
    "open-already-open":
        "the program opens only a number it was just handed: see the comment at OpenOnNumber in "
        "src/net/stream.cpp",
    "open-negative-number":
        "the program opens only numbers from 1 to 32767: see the comment at OpenOnNumber in "
        "src/net/stream.cpp",
    "open-timeout-zero":
        "the program opens with a time-out of 5: see the comment at OpenStream in src/net/stream.h",
    "end-of-data-error":
        "the program asks only about its open connection: see the comment at AtEndOfData in "
        "src/net/stream.cpp",
    "close-mask-zero":
        "the program closes with the stream mask: see the comment at CloseConnection in "
        "src/net/stream.cpp",
    "send-once":
        "the system takes the program's six bytes whole: see the comment at SendText in "
        "src/net/stream.cpp",
    "send-keeps-end-of-data":
        "nothing reads the end of data after a send: see the comment at SendText in "
        "src/net/stream.cpp",
    "deadline-ignored":
        "the program's 5 ms waits overshoot the Telnet limit by that at most: see the comment at "
        "WaitForData in src/net/stream.cpp",
    "posix-sigpipe-on-send":
        "start-up ignores SIGPIPE: see the comment at kNoSignal in src/net/socket_posix.cpp",
    "startup-closed-descriptor":
        "the program's descriptors stay above 2 either way: see the comment at "
        "OpenClosedStandardDescriptors in src/entry/startup_posix.cpp",
    "posix-connect-left-non-blocking":
        "on Linux a non-blocking socket behaves the same here: see the comment at ConnectSocket in "
        "src/net/socket_posix.cpp",
    "format-sixteenth-digit":
        "the program writes only 32-bit integers: see the comment at FormatNumber in "
        "src/text/number.cpp",
    "format-plain-limit":
        "the program writes only 32-bit integers: see the comment at FormatNumber in "
        "src/text/number.cpp",
    "format-integer-limit":
        "the program writes only 32-bit integers: see the comment at FormatNumber in "
        "src/text/number.cpp",
    "format-exponent-sign":
        "the program writes only 32-bit integers: see the comment at FormatNumber in "
        "src/text/number.cpp",
    "key-alt-letter":
        "Alt with a letter is not Escape either way: see the comment at DecideKeyEvent in "
        "src/console/key_decoder.h",
    "key-caps-shift":
        "the corrected symbol is not Escape either way: see the comment at DecideKeyEvent in "
        "src/console/key_decoder.h",
    "key-arrow-up":
        "the down arrow is not Escape either: see the comment at DecideKeyEvent in "
        "src/console/key_decoder.h",
    "memory-shrink-unguarded":
        "libstdc++'s shrink_to_fit catches its own failure: see the comment at Finished in "
        "src/net/stream.cpp",
}

# Seconds for one mutant's tests, several times what they take unmutated on a busy machine; a
# mutant whose tests outlast it is "timed out", neither killed nor survived.
SUITE_LIMIT = {NATIVE: 300, WIN: 900}
BUILD = {NATIVE: "cmake --preset release && cmake --build --preset release-tests -j 2",
         WIN: "cmake --preset windows64 && cmake --build --preset windows64-tests -j 2"}
# pytest stops at the first failure and names it in its summary; so does GoogleTest.
TEST_ENV = {"PYTEST_ADDOPTS": "-x -rfE", "GTEST_FAIL_FAST": "1"}


def default_signals():
    # The program keeps a signal ignored that it was started with ignored, and a run started
    # with nohup or as a background job ignores SIGHUP, SIGINT and SIGQUIT: its tests would fail.
    for number in (signal.SIGHUP, signal.SIGINT, signal.SIGQUIT, signal.SIGTERM):
        signal.signal(number, signal.SIG_DFL)


def run(cmd, cwd, log, limit=None):
    """Runs a shell command with its output in `log`; its exit code, or None when it outlasted
    `limit` seconds (it and everything it started are then ended)."""
    with open(log, "ab") as out:
        out.write(f"$ {cmd}\n".encode())
        out.flush()
        # A group of its own, so that a hung test and everything it started can be ended.
        with subprocess.Popen(cmd, cwd=cwd, shell=True, stdin=subprocess.DEVNULL, stdout=out,
                              stderr=subprocess.STDOUT, start_new_session=True,
                              preexec_fn=default_signals,
                              env=dict(os.environ, **TEST_ENV)) as process:
            try:
                return process.wait(timeout=limit)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
                return None


def first_unit_failure(text):
    """GoogleTest's first failing test; one whose run ended before its verdict (a crash, a
    hang) is named with "(crashed)" or, when it had failed an expectation, "(failed, then ...)"."""
    failed = re.search(r"^\[  FAILED  \] (\S+)", text, re.M)
    if failed:
        return failed.group(1)
    started = list(re.finditer(r"^\[ RUN      \] (\S+)", text, re.M))
    if started and f"[       OK ] {started[-1].group(1)}" not in text:
        expectation = re.search(r": Failure$", text[started[-1].end():], re.M)
        return started[-1].group(1) + (" (failed, then crashed)" if expectation else " (crashed)")
    return None


def first_e2e_failure(text):
    failed = re.search(r"^(?:FAILED|ERROR) (\S+?::[^\s\[]+(?:\[[^\]]*\])?)(.*)$", text, re.M)
    if not failed:
        return None, False
    # pytest-timeout's backstop, not a limit the test itself sets on the program.
    return failed.group(1), "Timeout >" in failed.group(2)


def test_tree(tag, tree, logs):
    """Runs one build's tests: ("passed", None), ("failed", first failing test) or ("timed out",
    what was running)."""
    deadline = time.monotonic() + SUITE_LIMIT[tag]
    if tag == NATIVE:
        steps = [("unit", "tools/private-network build/knockbox_tests"),
                 ("fuzz", "build/knockbox_fuzz_replay fuzz/corpus/*"),
                 ("e2e", f"KNOCKBOX_BIN={tree}/build/knockbox tools/private-network "
                         "/usr/bin/python3 -m pytest tests/e2e")]
    else:
        steps = [("windows", "tools/windows-test 64")]
    for step, cmd in steps:
        log = os.path.join(logs, f"{step}.log")
        code = run(cmd, tree, log, max(1, deadline - time.monotonic()))
        text = open(log, errors="replace").read()
        if code is None:
            if tag == WIN:
                subprocess.run("wineserver -k", cwd=tree, shell=True, stderr=subprocess.DEVNULL,
                               env=dict(os.environ, WINEPREFIX=f"{tree}/build-win64/wineprefix"))
            unit = first_unit_failure(text) if step in ("unit", "windows") else None
            # A test that failed an expectation and then hung has failed all the same.
            if unit and not unit.endswith(" (crashed)"):
                return "failed", "unit " + unit.replace("then crashed", "then hung")
            during = f", in unit {unit.replace(' (crashed)', '')}" if unit else ""
            return "timed out", f"{step} tests past {SUITE_LIMIT[tag]} s{during}"
        if code == 0:
            continue
        unit = first_unit_failure(text) if step in ("unit", "windows") else None
        if unit:
            return "failed", f"unit {unit}"
        e2e, backstop = first_e2e_failure(text) if step in ("e2e", "windows") else (None, False)
        if backstop:
            return "timed out", f"{e2e} hit pytest's time limit"
        if e2e:
            return "failed", e2e
        if step == "fuzz":
            return "failed", "the fuzz corpus replay"
        return "failed", f"{step} tests exited {code} naming no test"
    return "passed", None


def file_text(top, path, commit):
    """The file as the working tree holds it, or (with a commit) as that commit does."""
    if commit is None:
        with open(os.path.join(top, path)) as file:
            return file.read()
    shown = subprocess.run(["git", "show", f"{commit}:{path}"], cwd=top, capture_output=True,
                           text=True)
    return shown.stdout if shown.returncode == 0 else ""


def main():
    parser = argparse.ArgumentParser(description="Runs the mutation set against a commit.")
    parser.add_argument("--commit", default="HEAD", help="the commit to mutate (default HEAD)")
    parser.add_argument("--only", default="",
                        help="comma-separated mutant ids or shell patterns (driver-*)")
    parser.add_argument("--out", default="-", help="where the results go (default standard output)")
    parser.add_argument("--logs", help="the log directory (default /tmp/knockbox-mutants-REV.logs)")
    parser.add_argument("--list", action="store_true", help="lists the chosen mutants and stops")
    parser.add_argument("--check", action="store_true",
                        help="checks that every chosen mutant's texts are in its file, and stops")
    args = parser.parse_args()
    patterns = [p for p in args.only.split(",") if p]
    chosen = [m for m in MUTANTS
              if not patterns or any(fnmatch.fnmatchcase(m[0], p) for p in patterns)]
    if not chosen:
        sys.exit(f"no mutant matches --only {args.only}")
    top = subprocess.check_output(["git", "rev-parse", "--show-toplevel"], text=True).strip()
    # A mutant whose text has gone from its file would end as "not built" after an hour's run:
    # it is named at once (make test runs this check on the working tree).
    commit_arg = None if args.check else args.commit
    lost = [f"{ident} ({path})" for ident, _, path, *edits in chosen
            if any(file_text(top, path, commit_arg).count(find) != 1 for find in edits[::2])]
    if lost:
        sys.exit("mutants whose text is not found exactly once in their file: " + ", ".join(lost))
    if args.check:
        print(f"mutants.py: the texts of all {len(chosen)} mutants are in their files")
        return
    if args.list:
        for ident, tag, path, *_ in chosen:
            note = f"  (unreachable: {UNREACHABLE[ident]})" if ident in UNREACHABLE else ""
            print(f"{ident:36} {tag:6} {path}{note}")
        return

    commit = subprocess.check_output(["git", "rev-parse", "--verify", args.commit + "^{commit}"],
                                     cwd=top, text=True).strip()
    tree = f"/tmp/knockbox-mutants-{commit[:10]}"
    logs = os.path.abspath(args.logs or tree + ".logs")
    lock = open(tree + ".lock", "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        sys.exit(f"another mutation run uses {tree}")
    if not os.path.isdir(tree):
        subprocess.run(["git", "worktree", "add", "--detach", tree, commit], cwd=top, check=True,
                       stdout=subprocess.DEVNULL)
    # A run that was stopped may have left a mutation behind.
    subprocess.run(["git", "checkout", "--quiet", "--force", "--detach", commit], cwd=tree,
                   check=True)
    out = sys.stdout if args.out == "-" else open(args.out, "w")

    def say(line):
        print(line, file=out, flush=True)

    started = time.monotonic()
    say(f"mutants of {commit[:10]}: {len(chosen)}; logs in {logs}")
    # The unmutated tree first: where the tests cannot pass (no network namespace, a port taken),
    # every mutant would look killed. Its builds also leave each mutant little to rebuild; the
    # Windows end-to-end tests are driven by the native build's runner.
    for tag in (NATIVE, WIN):
        if tag == WIN and not any(m[1] == WIN for m in chosen):
            continue
        folder = os.path.join(logs, f"unmutated-{tag}")
        os.makedirs(folder, exist_ok=True)
        for name in os.listdir(folder):
            os.remove(os.path.join(folder, name))
        if run(BUILD[tag], tree, os.path.join(folder, "build.log")) != 0:
            sys.exit(f"the unmutated {tag} build of {commit[:10]} fails: see {folder}/build.log")
        outcome, detail = test_tree(tag, tree, folder)
        if outcome != "passed":
            sys.exit(f"the unmutated {tag} tests of {commit[:10]} do not pass ({outcome}: {detail});"
                     f" see {folder}. No mutant was run: with failing tests every one would look "
                     "killed.")
        say(f"unmutated {tag} build: tests pass ({time.monotonic() - started:.0f} s)")

    counts = {"killed": 0, "survived": 0, "not built": 0, "timed out": 0, "unreachable": 0}
    for ident, tag, path, *edits in chosen:
        folder = os.path.join(logs, ident)
        os.makedirs(folder, exist_ok=True)
        for name in os.listdir(folder):
            os.remove(os.path.join(folder, name))
        file = os.path.join(tree, path)
        original = mutated = open(file).read()
        pairs = list(zip(edits[::2], edits[1::2]))
        begin = time.monotonic()
        if any(original.count(find) != 1 for find, _ in pairs):
            outcome, detail = "not built", f"its text is not found exactly once in {path}"
        else:
            for find, replace in pairs:
                mutated = mutated.replace(find, replace)
            try:
                open(file, "w").write(mutated)
                diff = subprocess.run(["git", "diff", "--", path], cwd=tree, capture_output=True,
                                      text=True).stdout
                open(os.path.join(folder, "mutant.diff"), "w").write(diff)
                if run(BUILD[tag], tree, os.path.join(folder, "build.log")) != 0:
                    outcome, detail = "not built", f"see {folder}/build.log"
                else:
                    outcome, detail = test_tree(tag, tree, folder)
            finally:
                open(file, "w").write(original)
        if outcome == "failed":
            outcome = "killed"
        elif outcome == "passed":
            outcome, detail = ("unreachable", UNREACHABLE.get(ident)) if ident in UNREACHABLE else (
                "survived", None)
        counts[outcome] += 1
        how = f" by {detail}" if outcome == "killed" else f": {detail}" if detail else ""
        say(f"{ident}: {outcome}{how} ({time.monotonic() - begin:.0f} s)")

    scored = len(chosen) - counts["unreachable"]
    say(f"killed {counts['killed']}, survived {counts['survived']}, not built {counts['not built']}, "
        f"timed out {counts['timed out']}; unreachable {counts['unreachable']} (not scored)")
    say(f"score: {counts['killed']} of {scored} killed ({time.monotonic() - started:.0f} s in all)")


main()
