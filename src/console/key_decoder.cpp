// Key decoding without the OS: the console event decision and the terminal byte decoder.
#include "console/key_decoder.h"

#include <array>

#include "text/utf8.h"

namespace {

constexpr unsigned char kEscape = 27;
constexpr unsigned char kEscapeScanCode = 0x01;
constexpr std::uint16_t kEscapeVirtualKey = 27;

struct CapsLockEntry {
  unsigned char scan_code;
  unsigned char plain;
  unsigned char shifted;
};

// The number row and punctuation keys of a US keyboard.
constexpr std::array<CapsLockEntry, 21> kCapsLockTable = {{
    {0x02, '1', '!'},  {0x03, '2', '@'}, {0x04, '3', '#'},  {0x05, '4', '$'}, {0x06, '5', '%'},
    {0x07, '6', '^'},  {0x08, '7', '&'}, {0x09, '8', '*'},  {0x0A, '9', '('}, {0x0B, '0', ')'},
    {0x0C, '-', '_'},  {0x0D, '=', '+'}, {0x1A, '[', '{'},  {0x1B, ']', '}'}, {0x27, ';', ':'},
    {0x28, '\'', '"'}, {0x29, '`', '~'}, {0x2B, '\\', '|'}, {0x33, ',', '<'}, {0x34, '.', '>'},
    {0x35, '/', '?'},
}};

// Ctrl, both Shifts, Alt, Caps Lock, Num Lock and Scroll Lock: pressed alone they are no key.
bool IsModifierScanCode(unsigned char scan_code) {
  switch (scan_code) {
    case 0x1D:
    case 0x2A:
    case 0x36:
    case 0x38:
    case 0x3A:
    case 0x45:
    case 0x46:
      return true;
    default:
      return false;
  }
}

// The three letter rows of the keyboard.
bool IsAltLetterScanCode(unsigned char scan_code) {
  return (scan_code >= 0x10 && scan_code <= 0x19) || (scan_code >= 0x1E && scan_code <= 0x26) ||
         (scan_code >= 0x2C && scan_code <= 0x32);
}

// The character a key reports with Caps Lock on and Shift as given, corrected so that the number
// row and punctuation keys follow Shift alone (Caps Lock only ever meant letters).
unsigned char CorrectForCapsLock(unsigned char character, unsigned char scan_code, bool shift) {
  for (const CapsLockEntry& entry : kCapsLockTable) {
    if (entry.scan_code != scan_code) continue;
    if (shift && character == entry.plain) return entry.shifted;
    if (!shift && character == entry.shifted) return entry.plain;
    return character;
  }
  return scan_code == kEscapeScanCode ? kEscape : character;
}

Text OneByte(unsigned char byte) { return Text(1, static_cast<char>(byte)); }

Text ScanCodeKey(unsigned char scan_code) {
  Text key(2, '\0');
  key[1] = static_cast<char>(scan_code);
  return key;
}

// PC scan codes of the keys that terminals report as escape sequences.
constexpr unsigned char kUp = 0x48, kDown = 0x50, kLeft = 0x4B, kRight = 0x4D, kHome = 0x47,
                        kEnd = 0x4F, kPageUp = 0x49, kPageDown = 0x51, kInsert = 0x52,
                        kDelete = 0x53, kF1 = 0x3B, kF5 = 0x3F, kF11 = 0x85, kF12 = 0x86;
constexpr unsigned char kUnknownKey = 0;

// Scan codes of the letters A to Z.
constexpr std::array<unsigned char, 26> kLetterScanCodes = {
    0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
    0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C,
};

bool IsLetter(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

unsigned char LetterScanCode(unsigned char letter) {
  return kLetterScanCodes[(letter | 0x20) - 'a'];
}

unsigned char At(std::string_view bytes, std::size_t index) {
  return static_cast<unsigned char>(bytes[index]);
}

bool IsParameterByte(unsigned char byte) { return byte >= 0x30 && byte <= 0x3F; }
bool IsIntermediateByte(unsigned char byte) { return byte >= 0x20 && byte <= 0x2F; }
bool IsFinalByte(unsigned char byte) { return byte >= 0x40 && byte <= 0x7E; }

TerminalKey SequenceKey(unsigned char scan_code, std::size_t used) {
  return {ScanCodeKey(scan_code), used};
}

// Final bytes shared by both sequence forms: arrows, Home, End and F1 to F4.
unsigned char ScanCodeOfFinal(unsigned char final_byte) {
  switch (final_byte) {
    case 'A':
      return kUp;
    case 'B':
      return kDown;
    case 'C':
      return kRight;
    case 'D':
      return kLeft;
    case 'H':
      return kHome;
    case 'F':
      return kEnd;
    case 'P':
    case 'Q':
    case 'R':
    case 'S':
      return static_cast<unsigned char>(kF1 + (final_byte - 'P'));
    default:
      return kUnknownKey;
  }
}

// The number before the first ';' of a parameter list such as "15" or "1;5"; -1 when none.
int FirstParameter(std::string_view parameters) {
  int value = -1;
  for (char c : parameters) {
    if (c < '0' || c > '9') break;
    value = (value < 0 ? 0 : value) * 10 + (c - '0');
    if (value > 1000) return -1;
  }
  return value;
}

// The keys sent as a number and a final '~' (rxvt also ends them with '^', '$' or '@' when a
// modifier is held).
unsigned char ScanCodeOfNumberedKey(int number) {
  switch (number) {
    case 1:
    case 7:
      return kHome;
    case 2:
      return kInsert;
    case 3:
      return kDelete;
    case 4:
    case 8:
      return kEnd;
    case 5:
      return kPageUp;
    case 6:
      return kPageDown;
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
      return static_cast<unsigned char>(kF1 + (number - 11));
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
      return static_cast<unsigned char>(kF5 + 1 + (number - 17));
    case 23:
      return kF11;
    case 24:
      return kF12;
    default:
      return kUnknownKey;
  }
}

// ESC [ parameters intermediates final, starting after the '['. Modifier parameters
// ("1;5" for Ctrl) are dropped, as the console drops them.
TerminalKey DecodeControlSequence(std::string_view bytes) {
  std::size_t i = 2;
  // The Linux console sends F1 to F5 as ESC [ [ A to ESC [ [ E.
  if (i < bytes.size() && At(bytes, i) == '[') {
    if (i + 1 >= bytes.size()) return SequenceKey(kUnknownKey, bytes.size());
    const unsigned char letter = At(bytes, i + 1);
    if (letter >= 'A' && letter <= 'E') return SequenceKey(kF1 + (letter - 'A'), i + 2);
    return SequenceKey(kUnknownKey, i + 1);
  }
  while (i < bytes.size() && IsParameterByte(At(bytes, i))) ++i;
  const std::string_view parameters = bytes.substr(2, i - 2);
  // rxvt ends Shift+editing keys with '$', which is an intermediate byte elsewhere.
  while (i < bytes.size() && IsIntermediateByte(At(bytes, i)) && At(bytes, i) != '$') ++i;
  if (i >= bytes.size()) return SequenceKey(kUnknownKey, bytes.size());
  const unsigned char final_byte = At(bytes, i);
  if (!IsFinalByte(final_byte) && final_byte != '$') {
    // A control byte or a non-ASCII byte cannot be part of the sequence: it ends there.
    return SequenceKey(kUnknownKey, i);
  }
  if (final_byte == '~' || final_byte == '^' || final_byte == '$' || final_byte == '@') {
    return SequenceKey(ScanCodeOfNumberedKey(FirstParameter(parameters)), i + 1);
  }
  return SequenceKey(ScanCodeOfFinal(final_byte), i + 1);
}

// ESC O parameters final, starting after the 'O'; called only when a parameter or final byte
// follows the 'O'.
TerminalKey DecodeSingleShift(std::string_view bytes) {
  std::size_t i = 2;
  while (i < bytes.size() && IsParameterByte(At(bytes, i))) ++i;
  if (i >= bytes.size()) return SequenceKey(kUnknownKey, bytes.size());
  if (!IsFinalByte(At(bytes, i))) return SequenceKey(kUnknownKey, i);
  return SequenceKey(ScanCodeOfFinal(At(bytes, i)), i + 1);
}

// One byte, or a whole UTF-8 character; a character cut off at the end, or followed by a byte
// that cannot continue it, is one key of the bytes it has.
TerminalKey DecodeCharacter(std::string_view bytes) {
  const std::size_t length = Utf8LeadLength(At(bytes, 0));
  std::size_t used = 1;
  while (used < length && used < bytes.size() && (At(bytes, used) & 0xC0) == 0x80) ++used;
  return {Text(bytes.substr(0, used)), used};
}

}  // namespace

KeyDecision DecideKeyEvent(const KeyEventRecord& event) {
  if (!event.is_key_event || !event.key_down) return {};
  // Wine reports the Escape key with character 0; Windows with 27. Either way it is Escape.
  if (event.virtual_key == kEscapeVirtualKey) return {true, OneByte(kEscape)};
  const bool alt = (event.control_state & (kRightAltPressed | kLeftAltPressed)) != 0;
  const bool caps_lock = (event.control_state & kCapsLockOn) != 0;
  const bool shift = (event.control_state & kShiftPressed) != 0;
  const auto corrected = [&] {
    return caps_lock ? CorrectForCapsLock(event.character, event.scan_code, shift)
                     : event.character;
  };
  if (event.character != 0) {
    if (alt && IsAltLetterScanCode(event.scan_code)) return {true, ScanCodeKey(event.scan_code)};
    return {true, OneByte(corrected())};
  }
  // Escape without a character: the correction makes it 27 with Caps Lock on, else it stays 0.
  if (event.scan_code == kEscapeScanCode) return {true, OneByte(corrected())};
  if (IsModifierScanCode(event.scan_code)) return {};
  return {true, ScanCodeKey(event.scan_code)};
}

TerminalKey DecodeTerminalBytes(std::string_view bytes) {
  if (bytes.empty()) return {};
  if (At(bytes, 0) != kEscape) return DecodeCharacter(bytes);
  if (bytes.size() == 1) return {OneByte(kEscape), 1};
  const unsigned char next = At(bytes, 1);
  if (next == '[') return DecodeControlSequence(bytes);
  if (next == 'O' && bytes.size() > 2 &&
      (IsParameterByte(At(bytes, 2)) || IsFinalByte(At(bytes, 2)))) {
    return DecodeSingleShift(bytes);
  }
  if (IsLetter(next)) return SequenceKey(LetterScanCode(next), 2);
  if (next == kEscape && bytes.size() > 2 && (At(bytes, 2) == '[' || At(bytes, 2) == 'O')) {
    // Some terminals send Alt with a cursor or function key as ESC and the key's own sequence.
    // ESC ESC O or ESC ESC [ with nothing after is rather Escape pressed before Alt+O or Alt+[.
    const TerminalKey inner = DecodeTerminalBytes(bytes.substr(1));
    if (inner.used > 2) return {inner.key, inner.used + 1};
  }
  // ESC before a control character (ESC, Enter, Ctrl+C ...) is taken as Escape pressed just
  // before that key; before any other character it is Alt held with it, which has no key text
  // of its own beyond the character.
  if (next < 0x20) return {OneByte(kEscape), 1};
  const TerminalKey inner = DecodeCharacter(bytes.substr(1));
  return {inner.key, inner.used + 1};
}
