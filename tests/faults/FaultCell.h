// One cell of the device fault matrix: an operation, the exchange it fails
// at, and the fault the emulator injects there.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "device/link/LinkTiming.h"

namespace ovrel::test {

enum class Operation { LibraryUpload, AddSession };
enum class Fault { NoReply, WrongLetter, ShortReply, Garbage, HangUp };

// The commands an operation of the window sends, in order, one letter
// each: the library upload reads the memory it replaces first (I, 16 r, O).
inline std::string Commands(Operation op) {
  const std::string read = "I" + std::string(16, 'r');
  const std::string upload = "CW" + std::string(16, 'D') + "EXO";
  return op == Operation::LibraryUpload ? read + "O" + "I" + upload : read + upload;
}

// Exchanges of the single-session upload that belong to its memory download.
inline constexpr int kDownloadExchanges = 17;

struct FaultCell {
  Operation Op;
  int Exchange;  // index into Commands(Op)
  Fault Kind;
};

inline const char* FaultName(Fault f) {
  switch (f) {
    case Fault::NoReply:
      return "NoReply";
    case Fault::WrongLetter:
      return "WrongLetter";
    case Fault::ShortReply:
      return "ShortReply";
    case Fault::Garbage:
      return "Garbage";
    case Fault::HangUp:
      return "HangUp";
  }
  return "";
}

// The emulator's arguments that make the cell's exchange fail.
inline std::vector<std::string> FaultArgs(const FaultCell& cell) {
  const std::string commands = Commands(cell.Op);
  const char letter = commands[static_cast<std::size_t>(cell.Exchange)];
  int nth = 0;
  for (int i = 0; i <= cell.Exchange; ++i) nth += commands[static_cast<std::size_t>(i)] == letter;
  const std::string target = std::string(1, letter) + ":" + std::to_string(nth);
  switch (cell.Kind) {
    case Fault::NoReply:
      return {"--no-reply", target};
    case Fault::WrongLetter:
      return {"--wrong-letter", target};
    case Fault::ShortReply:
      return {"--short-reply", target};
    case Fault::Garbage:
      return {"--garbage", target};
    case Fault::HangUp:
      return {"--hangup-after", std::to_string(cell.Exchange)};
  }
  return {};
}

// The shortest time an operation can take to fail at the cell's exchange:
// every exchange up to it spends its settle delay, a reply that never comes
// its whole time-out; the single-session upload also pauses before its
// upload part.
inline double ShortestFailureMs(const FaultCell& cell, const LinkTiming& t) {
  const auto ms = [](LinkDuration d) {
    return std::chrono::duration<double, std::milli>(d).count();
  };
  const char failing = Commands(cell.Op)[static_cast<std::size_t>(cell.Exchange)];
  // A hang-up ends the failing exchange at once, even inside its settle
  // delay: only the exchanges before it settled in full.
  const int settled = cell.Exchange + (cell.Kind == Fault::HangUp ? 0 : 1);
  double total = ms(t.SettleDelay) * settled;
  if (cell.Kind == Fault::NoReply)
    total += ms(failing == 'C' ? t.LongReplyTimeout : t.ReplyTimeout);
  if (cell.Op == Operation::AddSession && cell.Exchange >= kDownloadExchanges)
    total += ms(t.PreUploadPause);
  return total;
}

}  // namespace ovrel::test
