// Content tests of the formats read through libraries (VHDX, qcow, EWF). They
// are built whether or not the library is, so that a build without one refuses
// such a file by name instead of reading it as a raw disk.
#pragma once

#include "image/ImageProbe.h"

namespace tavrel {

// "vhdxfile" at offset 0 (the file type identifier).
bool looksLikeVhdx(const ImageProbe& probe);
// "QFI\xFB" at offset 0 followed by a version from 1 to 3 (big-endian).
bool looksLikeQcow(const ImageProbe& probe);
// The qcow header's encryption method (big-endian at kQcowCryptOffset: 0 none,
// 1 AES, 2 LUKS); 0 when the bytes are too few to hold it. libqcow reports no
// method for encrypted images, so the reader asks the header itself.
inline constexpr std::size_t kQcowCryptOffset = 32;
std::uint32_t qcowEncryptionMethod(ByteSpan header);
// The EWF signature "EVF\x09\x0D\x0A\xFF\x00" (EWF version 1 segments, E01 and
// the SMART variant) or "EVF2\x0D\x0A\x81\x00" (version 2, Ex01) at offset 0.
bool looksLikeEwf(const ImageProbe& probe);

}  // namespace tavrel
