// Where a file of a known kind really ends once its end signature was found:
// some formats carry a few bytes after the signature that a signature cannot
// describe. ZIP (and the formats built on it) ends 18 bytes after the end
// record's signature plus the archive comment; PDF ends with the line break that
// follows "%%EOF", when there is one.
#pragma once

#include <cstdint>
#include <string>

#include "image/VolumeView.h"

namespace tavrel::raw {

// Bytes that belong to the file after an end signature that ends at volume
// offset `endsAt`; 0 for kinds without such bytes. Never reaches past the volume.
std::int64_t bytesAfterEnd(const std::string& extension, const VolumeView& volume, std::int64_t endsAt);

}  // namespace tavrel::raw
