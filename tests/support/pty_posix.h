// A pseudo-terminal for end-to-end tests: the program sees the slave side, the test the master.
#pragma once

#include <termios.h>

#include <string>

class PseudoTerminal {
 public:
  // Opens a master/slave pair; Ok() tells whether that worked.
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool Ok() const { return master_ >= 0 && slave_ >= 0; }
  int Master() const { return master_; }
  int Slave() const { return slave_; }
  // Turns off every input and output translation, so the master reads exactly the bytes the
  // program wrote.
  bool MakeRaw();
  // The terminal's current settings, as the program on the slave side sees them.
  bool Settings(termios* settings) const;

 private:
  int master_ = -1;
  int slave_ = -1;
};

// True when both settings are the same bytes (every field, the control characters included).
bool SameSettings(const termios& a, const termios& b);
// The fields of `settings` in readable form, for failure messages.
std::string DescribeSettings(const termios& settings);
