// Fuzzes LVM2: the first byte chooses what the rest is.
//  - even: text metadata, parsed into a volume group whose logical volumes are
//    laid out with every physical volume at a disk offset (the odd-numbered
//    ones missing); the runs must lie in order inside the volume.
//  - odd: the start of a disk held in memory (zero-padded to 2 MiB, room for a
//    metadata area), scanned by the partition scan, which lists the logical
//    volumes of the physical volumes it finds; the first and last sectors of
//    each are read through its mapping.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "fs/factory/FsKinds.h"
#include "image/MemoryImage.h"
#include "volume/LvmMetadata.h"
#include "volume/Partition.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void layouts(std::string_view text) {
    const auto vg = tavrel::lvm::parseVolumeGroup(text);
    if (!vg) return;
    std::vector<std::optional<std::int64_t>> starts;
    for (std::size_t i = 0; i < vg->pvs.size(); ++i)
        starts.push_back(i % 2 ? std::nullopt : std::optional<std::int64_t>(static_cast<std::int64_t>(i) << 20));
    for (const auto& lv : vg->lvs) {
        const auto layout = tavrel::lvm::layoutOf(*vg, lv, starts);
        std::int64_t end = 0;
        for (const auto& run : layout.runs) {
            check(run.volumeOffset >= end && run.length > 0);
            end = run.volumeOffset + run.length;
        }
        check(end <= layout.bytes);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    if ((data[0] & 1) == 0) {
        layouts(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
        return 0;
    }
    constexpr std::size_t kMinDisk = 2u << 20;
    std::vector<std::uint8_t> bytes(data + 1, data + size);
    bytes.resize(std::max(kMinDisk, (size + 511) / 512 * 512), 0);
    const tavrel::MemoryImage image(std::move(bytes));
    std::vector<std::uint8_t> sector(512);
    for (const auto& record : tavrel::Partition(image, tavrel::fs::fsProbes()).standardScan(false)) {
        if (record.runs.empty()) continue;
        const tavrel::VolumeView view = tavrel::volumeViewOf(image, record);
        view.readAt(0, sector);
        view.readAt(std::max<std::int64_t>(view.size() - 512, 0), sector);
    }
    return 0;
}
