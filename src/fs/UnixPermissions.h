// The attributes text of a Unix mode's permission bits, as the list shows it for
// the file systems that keep Unix modes in their inodes (ext, XFS).
#pragma once

#include <cstdint>
#include <string>

namespace tavrel::fs {

// The "-OE-OW-OR-GE-GW-GR-UE-UW-UR" text of the permission bits that are set.
std::string permissionText(std::uint16_t mode);

}  // namespace tavrel::fs
