#include "image/ImageFormats.h"

#include <array>

#include "image/FileReadSeekVHD.h"
#include "image/FileReadSeekVdi.h"
#include "image/FileReadSeekVmdk.h"
#include "image/LibrarySignatures.h"
#ifdef TAVREL_HAVE_LIBVHDI
#include "image/FileReadSeekLibvhdi.h"
#endif
#ifdef TAVREL_HAVE_LIBQCOW
#include "image/FileReadSeekQcow.h"
#endif
#ifdef TAVREL_HAVE_LIBEWF
#include "image/FileReadSeekEwf.h"
#endif

namespace tavrel {

namespace {

template <typename Reader>
std::unique_ptr<readWriteInterface> makeReader() {
    return std::make_unique<Reader>();
}

// Tried in order; the first format whose test passes reads the file. A format
// whose library this build lacks keeps its row without a maker: its files are
// refused by name, not read as raw disks.
const std::array kFormats = {
    ImageFormat{"vhd", &looksLikeVhd, &makeReader<FileReadSeekVHD>},
    ImageFormat{"vdi", &looksLikeVdi, &makeReader<FileReadSeekVdi>},
    ImageFormat{"vmdk", &looksLikeVmdk, &makeReader<FileReadSeekVmdk>},
#ifdef TAVREL_HAVE_LIBVHDI
    ImageFormat{"vhdx", &looksLikeVhdx, &makeReader<FileReadSeekLibvhdi>},
#else
    ImageFormat{"vhdx", &looksLikeVhdx, nullptr},
#endif
#ifdef TAVREL_HAVE_LIBQCOW
    ImageFormat{"qcow2", &looksLikeQcow, &makeReader<FileReadSeekQcow>},
#else
    ImageFormat{"qcow2", &looksLikeQcow, nullptr},
#endif
#ifdef TAVREL_HAVE_LIBEWF
    ImageFormat{"e01", &looksLikeEwf, &makeReader<FileReadSeekEwf>},
#else
    ImageFormat{"e01", &looksLikeEwf, nullptr},
#endif
};

}  // namespace

std::span<const ImageFormat> imageFormats() { return kFormats; }

std::string readableFormats() {
    std::string out;
    for (const ImageFormat& f : kFormats) {
        if (!f.make) continue;
        out += f.name;
        out += ", ";
    }
    return out + "raw";
}

bool looksLikeRawDisk(const ImageProbe& probe) { return probe.length > 0 && probe.length % kSectorSize == 0; }

}  // namespace tavrel
