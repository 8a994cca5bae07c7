// A pseudo-terminal for end-to-end tests.
#include "support/pty_posix.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <sstream>

PseudoTerminal::PseudoTerminal() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return;
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) return;
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) return;
  // O_NOCTTY: the test process must never adopt the terminal as its own.
  slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
}

PseudoTerminal::~PseudoTerminal() {
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
}

bool PseudoTerminal::MakeRaw() {
  termios settings;
  if (!Settings(&settings)) return false;
  cfmakeraw(&settings);
  return tcsetattr(slave_, TCSANOW, &settings) == 0;
}

bool PseudoTerminal::Settings(termios* settings) const {
  // Zeroed first so that the padding compares equal too.
  std::memset(settings, 0, sizeof(termios));
  return slave_ >= 0 && tcgetattr(slave_, settings) == 0;
}

bool SameSettings(const termios& a, const termios& b) {
  return std::memcmp(&a, &b, sizeof(termios)) == 0;
}

std::string DescribeSettings(const termios& settings) {
  std::ostringstream out;
  out << std::hex << "iflag=" << settings.c_iflag << " oflag=" << settings.c_oflag
      << " cflag=" << settings.c_cflag << " lflag=" << settings.c_lflag << " cc=";
  for (unsigned char c : settings.c_cc) out << static_cast<int>(c) << ',';
  out << " ispeed=" << cfgetispeed(&settings) << " ospeed=" << cfgetospeed(&settings);
  return out.str();
}
