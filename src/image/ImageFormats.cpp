#include "image/ImageFormats.h"

#include <array>

#include "image/FileReadSeekVHD.h"
#include "image/FileReadSeekVdi.h"
#include "image/FileReadSeekVmdk.h"

namespace tavrel {

namespace {

template <typename Reader>
std::unique_ptr<readWriteInterface> makeReader() {
    return std::make_unique<Reader>();
}

// Tried in order; the first format whose test passes reads the file.
const std::array kFormats = {
    ImageFormat{"vhd", &looksLikeVhd, &makeReader<FileReadSeekVHD>},
    ImageFormat{"vdi", &looksLikeVdi, &makeReader<FileReadSeekVdi>},
    ImageFormat{"vmdk", &looksLikeVmdk, &makeReader<FileReadSeekVmdk>},
};

}  // namespace

std::span<const ImageFormat> imageFormats() { return kFormats; }

bool looksLikeRawDisk(const ImageProbe& probe) { return probe.length > 0 && probe.length % kSectorSize == 0; }

}  // namespace tavrel
