#include "device/link/MemoryDownload.h"

#include "device/link/DeviceLink.h"

namespace ovrel {

void MemoryDownload::Begin() {
  Link().State.MemImgBuf.fill(0);
  Link().State.WrongReply = false;
  if (!OpenPort(linktext::kPortOpenFailed)) return;
  Step(cmd::I, {}, Link().Timing.ReplyTimeout, [this] { ReadBlock(0); });
}

void MemoryDownload::ReadBlock(int block) {
  if (block == kBlockCount) {
    if (CloseTransfer)
      Step(cmd::O, {}, Link().Timing.ReplyTimeout, [this] { Done(); });
    else
      Done();
    return;
  }
  Link().State.ReadBase = block * kBlockSize;
  const ReadPayload payload = ReadBlockPayload(block);
  Step(cmd::r, payload.Bytes, Link().Timing.ReplyTimeout, [this, block] { ReadBlock(block + 1); },
       block);
}

void MemoryDownload::Done() {
  Link().Line().Close();
  if (Link().KeepMemoryImage) {
    const QString error = Link().KeepMemoryImage(Link().State.MemImgBuf);
    if (!error.isEmpty()) Notes.push_back({linktext::kBackupFailed, LinkIcon::Error, error});
  }
  Succeed();
}

}  // namespace ovrel
