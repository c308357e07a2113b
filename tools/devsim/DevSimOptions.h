// Command-line options of the device emulator.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace devsim {

// One fault aimed at the n-th command (counted from 1) with a given letter.
struct CommandFault {
  char Letter = 0;
  int Nth = 0;
};

struct Options {
  std::string LinkPath;                   // --link: a symlink to the port placed here
  std::string MemoryFile;                 // --memory: loaded at start, saved after uploads
  bool SaveEachBlock = false;             // --save-each-block: saved after every D as well
  bool Log = false;                       // --log: each command received, on stderr
  int CDelayMs = 50;                      // --c-delay: time the C command takes
  std::map<char, int> ReplyDelayMs;       // --delay L:MS: time the command L takes
  bool Strict = false;                    // --strict: a byte outside a frame ends the run
  int ChunkSize = 0;                      // --chunk: replies sent in pieces of this size
  int HangupAfter = -1;                   // --hangup-after: answer this many commands, then hang up
  int HangupAfterReply = -1;              // --hangup-after-reply: hang up soon after this reply
  std::vector<CommandFault> NoReply;      // --no-reply L:N
  std::vector<CommandFault> WrongLetter;  // --wrong-letter L:N
  std::vector<CommandFault> ShortReply;   // --short-reply L:N: the reply without its last byte
  std::vector<CommandFault> Garbage;      // --garbage L:N: line noise before the reply
  std::vector<CommandFault> FlipReplyBit;  // --flip-reply-bit L:N: one bit of the reply flipped
  std::vector<CommandFault> BadStart;      // --bad-start L:N: the reply begins B T
  bool BadChecksum = false;                // --bad-checksum: wrong X reply
  int FlipByte = -1;                       // --flip-byte ADDR: stored with its bits inverted
  bool ProbeE = false;                     // --probe-e: S answered with e
  bool ProbeBad = false;                   // --probe-bad: S payload failing the probe
  int ExitWithParent = 0;                  // --exit-with-parent PID: end when PID, the parent, ends
  bool Help = false;
};

// Parses the arguments after the program name; on failure returns false
// with a message in error.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

extern const char* const UsageText;

}  // namespace devsim
