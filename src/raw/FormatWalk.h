// Structure checks for kinds whose layout tells where a file ends: a JPEG is
// walked marker by marker (segments skipped by their lengths, entropy-coded data
// up to the next marker) to its end-of-image marker, so a thumbnail's end marker
// inside an EXIF segment does not cut the file; a PNG is walked chunk by chunk to
// IEND; a GIF block by block to its trailer (GifWalk.h); an MP3 frame by frame
// (Mp3Walk.h). A hit whose structure does not hold together is no file of that kind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image/VolumeView.h"

namespace tavrel::raw {

// For a kind with a structure check: the exact length of the file that starts at
// volume offset `start` (0 when the check fails or the file would be longer than
// `limit` bytes or run past the volume; an MP3 ends with its last frame inside
// that range). nullopt for kinds without a check.
std::optional<std::int64_t> walkedLength(const std::string& extension, const VolumeView& volume, std::int64_t start,
                                         std::int64_t limit);

}  // namespace tavrel::raw
