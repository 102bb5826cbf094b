// Where a file of a known kind really ends once its end signature was found:
// some formats carry a few bytes after the signature that a signature cannot
// describe. ZIP (and the formats built on it) ends 18 bytes after the end
// record's signature plus the archive comment; PDF ends with the line break that
// follows "%%EOF", when there is one. An SQLite database states its own length
// in its header (page size times page count).
#pragma once

#include <cstdint>
#include <string>

#include "image/VolumeView.h"

namespace tavrel::raw {

// Bytes that belong to the file after an end signature that ends at volume
// offset `endsAt`; 0 for kinds without such bytes. Never reaches past the volume.
std::int64_t bytesAfterEnd(const std::string& extension, const VolumeView& volume, std::int64_t endsAt);

// ZIP and the formats built on it (docx, odt, jar ...).
bool isZipFamily(const std::string& extension);

// Where the archive whose end record starts at volume offset eocdAt begins, by
// the record's central-directory size and offset; -1 when that is not known.
// The local headers of its entries start signatures of their own; this tells
// which start the end record belongs to.
std::int64_t zipArchiveStart(const VolumeView& volume, std::int64_t eocdAt);

// The length a file of a known kind that starts at volume offset `start` states
// in its header; 0 when the kind states none or the header does not hold together.
std::int64_t statedLength(const std::string& extension, const VolumeView& volume, std::int64_t start);

}  // namespace tavrel::raw
