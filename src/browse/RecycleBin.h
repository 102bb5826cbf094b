// Former names of the files kept in a recycle bin. A deleted file is kept as
// "$R<id><ext>" beside a control file "$I<id><ext>" that records its former
// full path; both lie in "$RECYCLE.BIN" (NTFS: in a per-user folder below it;
// a FAT volume may show the folder under its short name "$RECYCLEBIN").
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "fs/Parser.h"
#include "util/Bytes.h"
#include "util/WorkControl.h"

namespace tavrel::browse {

// Largest control file read: the version 2 header and a path of 32767
// characters plus its terminator.
inline constexpr std::size_t kMaxRecycleInfoSize = 28 + 2 * 32768;

// The former full path (UTF-8) held by a "$I" control file, or nullopt when the
// bytes are no control file of a known layout or are damaged:
//   version 1: u64 version = 1 at 0, u64 size at 8, u64 deletion time at 16, the
//              path at 24 as UTF-16LE, zero-terminated, in a field of 260 units;
//   version 2: as version 1 up to byte 24, then u32 path length in units (with
//              its terminator) at 24 and the path at 28.
std::optional<std::string> decodeRecycleInfo(ByteSpan bytes);

// The part of a former path after its last "\" (empty when it ends with one).
std::string formerName(const std::string& path);

// For every "$R" entry of the volume's recycle bin whose "$I" control file can
// be read and decoded: entry -> its former name. Control files are read through
// the parser into memory (never into host files), bounded by
// kMaxRecycleInfoSize; damaged ones are passed over. A "$R" entry matches when
// its name, trailing white space removed, equals the control file's name with
// "$I" replaced by "$R", in any letter case, in the same folder.
std::map<fs::EntryRef, std::string> recycledNames(fs::Parser& parser, WorkControl& work);

// The recycle-bin step after a scan, before the entry view is shown: every
// recycled file found by recycledNames is shown under its former name
// (Parser::setShownName). Returns how many were renamed.
std::size_t renameRecycled(fs::Parser& parser, WorkControl& work);

}  // namespace tavrel::browse
