// The table of image formats the opener knows: a content test and a reader maker
// per format. A new reader joins with one row in ImageFormats.cpp; the raw reader
// is the fallback and has no row.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "image/ImageProbe.h"
#include "image/readWriteInterface.h"

namespace tavrel {

struct ImageFormat {
    const char* name;                                   // "vhd"
    bool (*probe)(const ImageProbe&);                   // pure content test
    std::unique_ptr<readWriteInterface> (*make)();      // an unopened reader; null when
                                                        // this build lacks the format's library
};

std::span<const ImageFormat> imageFormats();

// The formats this build reads, comma-separated, raw last: "vhd, vdi, ..., raw".
std::string readableFormats();

// True when a file no format claims can be read as a raw disk.
bool looksLikeRawDisk(const ImageProbe& probe);

}  // namespace tavrel
