#!/usr/bin/python3
# The mutation set: deliberate breakages of the net, console, number and Windows key and echo code.
# Each is applied alone to a scratch checkout of a commit, the program and its tests are built,
# the tests run, and the mutant counts as killed when a test fails (or the build does).
#
#   tools/mutants.py [--commit REV] [--only ID,ID...] [--out FILE]
#
# Native mutants run `ctest` (unit, end-to-end) in a private network; mutants tagged "win" build
# the 64-bit Windows tree and run tools/windows-test 64 under wine64. Takes about an hour.
import argparse
import os
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
     "  } while (done < text.size());\n  record->flags &= static_cast<std::uint16_t>(~kEndOfData);",
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
    ("self-connect-check", NATIVE, "src/net/socket.cpp", "local.port == peer.port", "local.port != peer.port"),
    # POSIX sockets
    ("posix-linger-on", NATIVE, "src/net/socket_posix.cpp", "off.l_onoff = 0;", "off.l_onoff = 1;"),
    ("posix-no-connect-limit", NATIVE, "src/net/socket_posix.cpp",
     "const timeval limit{static_cast<time_t>(kConnectLimit.count()), 0};", "const timeval limit{0, 0};"),
    ("posix-connect-limit-error", NATIVE, "src/net/socket_posix.cpp",
     "    case EINPROGRESS:  // the limit passed with neither an answer nor a refusal\n      return kErrSocket;",
     "    case EINPROGRESS:\n      return LastSocketError();"),
    ("posix-sigpipe-on-send", NATIVE, "src/net/socket_posix.cpp",
     "kNoSignal | MSG_DONTWAIT", "MSG_DONTWAIT"),
    ("posix-wait-writable", NATIVE, "src/net/socket_posix.cpp",
     "what == SocketWait::kReadable ? POLLIN : POLLOUT", "what == SocketWait::kReadable ? POLLOUT : POLLOUT"),
    ("posix-wait-microseconds", NATIVE, "src/net/socket_posix.cpp",
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
     "} else if (length == 0 && byte <= 0x9F) {", "} else if (false) {"),
    ("filter-utf8-c1", NATIVE, "src/console/terminal_filter.cpp",
     "static_cast<unsigned char>(text[i + 1]) <= 0x9F", "static_cast<unsigned char>(text[i + 1]) <= 0x80"),
    ("filter-overlong", NATIVE, "src/console/terminal_filter.cpp",
     "    if (lead == 0xE0) low = 0xA0;\n", ""),
    ("write-full-pipe-fails", NATIVE, "src/console/write_all_posix.cpp",
     "if (RetryAfterSignal(-1, [&] { return poll(&writable, 1, -1); }) < 0) {",
     "if (RetryAfterSignal(-1, [&] { return poll(&writable, 1, -1); }) < 0 || true) {"),
    ("write-second-again", NATIVE, "src/console/write_all_posix.cpp",
     "      second.remove_prefix(static_cast<std::size_t>(count) - from_first);\n", ""),
    ("output-terminal-unfiltered", NATIVE, "src/console/line_output_posix.cpp",
     "terminal ? std::string_view(shown) : text", "text"),
    ("startup-terminal-not-console", NATIVE, "src/entry/startup_posix.cpp",
     "    process.console_flag = -1;\n", ""),
    ("startup-closed-descriptor", NATIVE, "src/entry/startup_posix.cpp",
     "if ((descriptor.revents & POLLNVAL) != 0) {", "if ((descriptor.revents & POLLNVAL) != 0 && false) {"),
    ("terminal-interrupt-key", NATIVE, "src/console/terminal_posix.cpp",
     "  if (g_terminal.stdin_is_terminal) keys.c_cc[VINTR] = _POSIX_VDISABLE;\n", ""),
    ("terminal-not-restored-on-signal", NATIVE, "src/console/terminal_posix.cpp",
     "  const int saved_errno = errno;\n  PutBack();\n  SetDefaultAction(signal_number);\n  UnblockSignal(signal_number);\n  raise(signal_number);\n  errno = saved_errno;",
     "  const int saved_errno = errno;\n  SetDefaultAction(signal_number);\n  UnblockSignal(signal_number);\n  raise(signal_number);\n  errno = saved_errno;"),
    ("keys-lost", NATIVE, "src/console/keyboard_posix.cpp",
     "    pending.erase(0, key.used);", "    pending.clear();"),
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
     "if (rounded < -0x1p31L || rounded >= 0x1p31L) return kInvalid;",
     "if (rounded < -0x1p31L || rounded > 0x1p31L) return kInvalid;"),
    ("format-sixteenth-digit", NATIVE, "src/text/number.cpp",
     "if ((sixteenth > '5' || (sixteenth == '5' && odd)) && IncrementDigits(digits)) ++e;",
     "if ((sixteenth >= '5' || (odd && false)) && IncrementDigits(digits)) ++e;"),
    ("format-plain-limit", NATIVE, "src/text/number.cpp", "if (e >= s && e <= 15) {", "if (e >= s && e <= 16) {"),
    ("format-integer-limit", NATIVE, "src/text/number.cpp", "if (std::fabs(value) < 1e15L &&", "if (std::fabs(value) < 1e16L &&"),
    ("format-exponent-sign", NATIVE, "src/text/number.cpp", "text += e > 15 ? \"E+\" : \"E-\";", "text += \"E+\";"),
    ("power-beyond-table", NATIVE, "src/text/number.cpp", "  if (beyond_table) power *= kLargePowers[9];\n", ""),
    # Windows: keyboard, console echo, start-up, line output, sockets
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
    ("win-invalid-handle", WIN, "src/text/error_table_win32.cpp",
     "{FailedCall::kOutput, {6, 11, 12, 13, 22, 24}, kErrBadHandle},",
     "{FailedCall::kOutput, {11, 12, 13, 22, 24}, kErrBadHandle},"),
    ("win-wait-microseconds", WIN, "src/net/socket_win32.cpp",
     "span.tv_usec = static_cast<long>(limit.count() % 1000000);", "span.tv_usec = 0;"),
    ("win-line-allocates", WIN, "src/system/system_call_win32.h",
     "#include <cstdint>\n", "#include <cstdint>\n#include <functional>\n",
     "std::uint32_t CallSystem(Call&& call) {\n",
     "std::uint32_t CallSystem(Call&& call_) {\n  const std::function<void()> call = call_;\n"),
]

# Seconds for one mutant's tests (about three times what they take unmutated); a mutant that
# makes them hang is killed by this limit.
SUITE_LIMIT = {NATIVE: 200, WIN: 400}


def sh(cmd, cwd, limit=None):
    # A group of its own, so that a hung test and everything it started can be ended.
    with subprocess.Popen(cmd, cwd=cwd, shell=True, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, start_new_session=True) as process:
        try:
            return process.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            return -1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--commit", default="HEAD")
    parser.add_argument("--only", default="")
    parser.add_argument("--out", default="-")
    args = parser.parse_args()
    top = subprocess.check_output(["git", "rev-parse", "--show-toplevel"], text=True).strip()
    commit = subprocess.check_output(["git", "rev-parse", args.commit], cwd=top, text=True).strip()
    tree = f"/tmp/knockbox-mutants-{commit[:10]}"
    if not os.path.isdir(tree):
        subprocess.run(["git", "worktree", "add", "--detach", tree, commit], cwd=top, check=True,
                       stdout=subprocess.DEVNULL)
    chosen = [m for m in MUTANTS if not args.only or m[0] in args.only.split(",")]
    out = sys.stdout if args.out == "-" else open(args.out, "w")
    build = {NATIVE: "cmake --preset release >/dev/null && cmake --build --preset release -j 2",
             WIN: "cmake --preset windows64 >/dev/null && cmake --build --preset windows64 -j 2"}
    test = {NATIVE: "cd build && ../tools/private-network ctest --stop-on-failure",
            WIN: "tools/windows-test 64"}
    # Unmutated builds first, so that each mutant rebuilds little; the Windows end-to-end tests
    # are driven by the native build's runner.
    for tag in (NATIVE, WIN):
        if (tag == NATIVE or any(m[1] == tag for m in chosen)) and sh(build[tag], tree) != 0:
            sys.exit(f"the unmutated {tag} build fails in {tree}")
    killed = 0
    for ident, tag, path, *edits in chosen:
        file = os.path.join(tree, path)
        original = mutated = open(file).read()
        pairs = list(zip(edits[::2], edits[1::2]))
        if any(original.count(find) != 1 for find, _ in pairs):
            print(f"{ident}: SKIPPED (its text is not found exactly once in {path})", file=out)
            continue
        for find, replace in pairs:
            mutated = mutated.replace(find, replace)
        open(file, "w").write(mutated)
        start = time.monotonic()
        try:
            if sh(build[tag], tree) != 0:
                verdict = "killed (does not build)"
            elif sh(test[tag], tree, SUITE_LIMIT[tag]) != 0:
                verdict = "killed"
            else:
                verdict = "SURVIVED"
        finally:
            open(file, "w").write(original)
        killed += verdict.startswith("killed")
        print(f"{ident}: {verdict} ({time.monotonic() - start:.0f} s)", file=out, flush=True)
    print(f"{killed} of {len(chosen)} killed", file=out)


main()
