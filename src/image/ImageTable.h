// Tables an image asks to be held in memory whole (a VDI block map, a VMDK grain
// directory). Their size comes from the image, so it is bounded by what the
// host file really stores: a header can claim a table of gigabytes inside a
// sparse file of a few KiB. Tables are read in pieces, so that reading one needs
// no second buffer of its size.
#pragma once

#include <cstdint>
#include <vector>

#include "image/HostFile.h"

namespace tavrel {

// Tables up to this size are read whatever the file stores (a compressing host
// file system may store a real table in less room than it takes).
inline constexpr std::uint64_t kTableBytesAlways = 64u << 20;

// The bytes of tables the file justifies: what the host stores for it, and at
// least kTableBytesAlways.
std::uint64_t tableAllowance(const HostFile& file);
// True when a table of `bytes` may be read from the file: bytes <= tableAllowance(file).
bool tableJustified(std::uint64_t bytes, const HostFile& file);

// Reads `count` 32-bit entries (little-endian, or big-endian when asked) at
// `offset` into out, 1 MiB at a time. False when a piece cannot be read whole
// (the file ends or fails first).
bool readTable32(const HostFile& file, std::int64_t offset, std::uint64_t count, std::vector<std::uint32_t>& out,
                 bool bigEndian = false);

}  // namespace tavrel
