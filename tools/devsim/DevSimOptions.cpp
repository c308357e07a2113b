#include "DevSimOptions.h"

#include <charconv>

namespace devsim {

const char* const UsageText =
    "Usage: ovrel-devsim [options]\n"
    "Emulates the stimulation device on a pseudo-terminal. The first line on\n"
    "standard output is the path of the port to open.\n"
    "\n"
    "  --link PATH           also make PATH a symbolic link to the port\n"
    "  --memory FILE         load the 2048-byte memory from FILE at start and\n"
    "                        save it there after each upload (E or O)\n"
    "  --save-each-block     also save the memory after every data block, so\n"
    "                        that the file shows a write cut short as torn\n"
    "  --log                 print each command received on standard error\n"
    "  --c-delay MS          time the C command takes before its reply (50)\n"
    "  --delay L:MS          time the command with letter L takes before its\n"
    "                        reply (overrides --c-delay for C)\n"
    "  --strict              treat any received byte outside a well-formed\n"
    "                        command frame as an error: hang up at once and\n"
    "                        exit with status 3\n"
    "  --chunk N             send replies in pieces of N bytes, 2 ms apart\n"
    "  --hangup-after N      answer N commands; at the next one, close the\n"
    "                        port without a reply and exit\n"
    "  --hangup-after-reply N\n"
    "                        answer N commands; 60 ms after the N-th reply is\n"
    "                        sent, close the port and exit\n"
    "  --no-reply L:N        do not answer the N-th command with letter L\n"
    "  --wrong-letter L:N    answer the N-th command with letter L as Z\n"
    "  --short-reply L:N     answer the N-th command with letter L without the\n"
    "                        reply's last byte\n"
    "  --garbage L:N         send three bytes of line noise before the reply to\n"
    "                        the N-th command with letter L\n"
    "  --flip-reply-bit L:N  flip the lowest bit of the reply's fifth payload\n"
    "                        byte (of its checksum when it has fewer) to the\n"
    "                        N-th command with letter L, leaving its checksum\n"
    "                        as it was: a frame damaged on the line\n"
    "  --bad-start L:N       begin the reply to the N-th command with letter L\n"
    "                        with B T instead of A T\n"
    "  --bad-checksum        answer X with a checksum that does not match\n"
    "  --flip-byte ADDR      store the byte written at memory address ADDR\n"
    "                        (0 to 2047) with its bits inverted; X reports the\n"
    "                        checksum of the bytes as received\n"
    "  --probe-e             answer S with the letter e\n"
    "  --probe-bad           answer S with a payload that fails the probe\n"
    "  --exit-with-parent PID\n"
    "                        end (as on SIGTERM) when the parent process, whose\n"
    "                        id is PID, ends; a test that crashes takes its\n"
    "                        emulator with it\n"
    "\n"
    "Every other reply is written as soon as its command has arrived.\n";

namespace {

bool ParseInt(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && value >= 0;
}

bool ParseFault(const std::string& text, CommandFault& fault) {
  if (text.size() < 3 || text[1] != ':') return false;
  fault.Letter = text[0];
  return ParseInt(text.substr(2), fault.Nth) && fault.Nth >= 1;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    auto number = [&](int& out) {
      std::string text;
      if (!value(text)) return false;
      if (!ParseInt(text, out)) {
        error = arg + ": not a number: " + text;
        return false;
      }
      return true;
    };
    auto fault = [&](std::vector<CommandFault>& out) {
      std::string text;
      if (!value(text)) return false;
      CommandFault f;
      if (!ParseFault(text, f)) {
        error = arg + ": expected LETTER:N, got " + text;
        return false;
      }
      out.push_back(f);
      return true;
    };
    bool ok = true;
    if (arg == "--link")
      ok = value(options.LinkPath);
    else if (arg == "--memory")
      ok = value(options.MemoryFile);
    else if (arg == "--save-each-block")
      options.SaveEachBlock = true;
    else if (arg == "--log")
      options.Log = true;
    else if (arg == "--c-delay")
      ok = number(options.CDelayMs);
    else if (arg == "--delay") {
      std::string text;
      ok = value(text);
      int ms = 0;
      if (ok && (text.size() < 3 || text[1] != ':' || !ParseInt(text.substr(2), ms))) {
        error = arg + ": expected LETTER:MS, got " + text;
        ok = false;
      }
      if (ok) options.ReplyDelayMs[text[0]] = ms;
    } else if (arg == "--strict")
      options.Strict = true;
    else if (arg == "--chunk")
      ok = number(options.ChunkSize) && options.ChunkSize > 0;
    else if (arg == "--hangup-after")
      ok = number(options.HangupAfter);
    else if (arg == "--hangup-after-reply")
      ok = number(options.HangupAfterReply) && options.HangupAfterReply > 0;
    else if (arg == "--no-reply")
      ok = fault(options.NoReply);
    else if (arg == "--wrong-letter")
      ok = fault(options.WrongLetter);
    else if (arg == "--short-reply")
      ok = fault(options.ShortReply);
    else if (arg == "--garbage")
      ok = fault(options.Garbage);
    else if (arg == "--flip-reply-bit")
      ok = fault(options.FlipReplyBit);
    else if (arg == "--bad-start")
      ok = fault(options.BadStart);
    else if (arg == "--flip-byte")
      ok = number(options.FlipByte) && options.FlipByte < 2048;
    else if (arg == "--bad-checksum")
      options.BadChecksum = true;
    else if (arg == "--probe-e")
      options.ProbeE = true;
    else if (arg == "--probe-bad")
      options.ProbeBad = true;
    else if (arg == "--exit-with-parent")
      ok = number(options.ExitWithParent) && options.ExitWithParent > 0;
    else if (arg == "--help" || arg == "-h")
      options.Help = true;
    else {
      error = "unknown option: " + arg;
      return false;
    }
    if (!ok) {
      if (error.empty()) error = arg + ": value out of range";
      return false;
    }
  }
  return true;
}

}  // namespace devsim
