#pragma once
// Why a session memory image was kept in the backup history: the memory a
// write was about to replace, or a plain read. A restore looks for the
// memory as it was before the last write, so a plain read (which may have
// caught a half-written memory) never stands in for it.

namespace ovrel {

enum class BackupReason {
  BeforeUpload,  // read before a library upload replaced it
  BeforeAdd,     // read by an add, before the merged library replaced it
  BeforeEdit,    // read before a remove or an edited memory was written over it
  Read,          // a plain read: download, backup, list, the Memory window
};

}  // namespace ovrel
