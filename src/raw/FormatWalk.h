// Structure checks for kinds whose layout tells where a file ends: a JPEG is
// walked marker by marker (segments skipped by their lengths, entropy-coded data
// up to the next marker) to its end-of-image marker, so a thumbnail's end marker
// inside an EXIF segment does not cut the file; a PNG is walked chunk by chunk to
// IEND; a GIF block by block to its trailer (GifWalk.h); an MP3 frame by frame
// (Mp3Walk.h); the other families whose format tells their end as FamilyWalks.h
// says. A walk that breaks off tells where: the last valid point, and
// whether only zeros follow it (truncated) or other data (damaged).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image/VolumeView.h"
#include "raw/WalkCursor.h"

namespace tavrel::raw {

// True for the kinds with a structure check.
bool hasStructureWalk(const std::string& extension);

// True for the kinds whose own packets begin with the kind's start signature (an
// MPEG program stream's pack headers, a large AVI's RIFF extensions): a start
// inside such a file, once walked whole, is part of it and not a file of its own.
bool startsInsideWalked(const std::string& extension);

// For a kind with a structure check: how the file that starts at volume offset
// `start` ends (a Complete walk's length is exact; an MP3 ends with its last
// frame). The walk stays within `limit` bytes (when positive) and the volume.
// `held`: bytes the caller already has in memory; `reach`, when given, receives
// the volume offset just past the furthest byte the walk looked at. `skipper`,
// when given, leaves the ext indirect blocks among the file's bytes out (the
// limit then counts file bytes); `until`, when not negative, is a volume offset
// the walk does not read at or past. nullopt for kinds without a check.
std::optional<Walked> walkStructure(const std::string& extension, const VolumeView& volume, std::int64_t start,
                                    std::int64_t limit, HeldBytes held = {}, std::int64_t* reach = nullptr,
                                    IndirectSkipper* skipper = nullptr, std::int64_t until = -1);

}  // namespace tavrel::raw
