// The hunts of Advanced mode for FAT-family volumes whose first sectors cannot
// be trusted.
//
// FAT copies: every 512-byte sector of the volume whose first bytes are FAT
// entries 0 and 1 as the kind writes them is taken as the first sector of a FAT.
// While reading, folders' "." entries are noted: a folder's first cluster starts
// with one naming that cluster, so two of them give the cluster size and the
// place of cluster 2.
//
// exFAT heap offsets: a sector whose first eight bytes are 0xFF can be the start
// of a fully allocated allocation bitmap, which formatters put at cluster 2. Such
// a sector is taken only when something else supports it: the boot sector's own
// heap offset, or an allocation-bitmap directory entry whose length fits a heap
// starting there.
//
// Lists are in volume order and bounded; ranges the image does not store are
// skipped unread; an unreadable chunk is counted and skipped; no match is taken
// past the volume's end; a stop keeps what was found.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "fs/ScanOutcome.h"
#include "image/VolumeView.h"
#include "util/Bytes.h"
#include "util/WorkControl.h"

namespace tavrel::fs::fat {

enum class FatHuntKind {
    Fat16,  // FAT12/16 volumes: F8 FF FF FF (entries 0 and 1 of a FAT16 FAT, media
            // byte F8), or the first sector of a FAT12 FAT (startsFat12)
    Fat32,  // F8 FF FF 0F, then FF FF FF FF or FF FF FF 0F: entry 1 as either width writes it
    ExFat,  // F8 FF FF FF FF FF FF FF
};

// True when `sector` begins like the first sector of a FAT of that kind.
bool startsFat(FatHuntKind kind, ByteSpan sector);

// The first sector of a FAT12 FAT, known by its own layout: entries 0 and 1
// packed in 12 bits (a media byte 0xF0 or 0xF8 to 0xFF, then FF FF), and then
// 12-bit entries that are each free (0), a cluster (2 to 0xFEF), bad (0xFF7)
// or an end mark (0xFF8 to 0xFFF), where no entry names its own cluster and no
// two name the same one (chains never join). Formatters write F8 FF FF and
// then entry 2 in the low 12 bits of the next bytes, which the FAT16 test
// (F8 FF FF FF) does not match unless entry 2 happens to begin with 0xFF.
bool startsFat12(ByteSpan sector);

// True when [offset, offset + length) of the volume is stored in the image.
using StoredRange = std::function<bool(std::int64_t offset, std::int64_t length)>;

struct FatHuntLimits {
    int maximum = 3;  // below 1: 3
    // 1 MiB: the chunk stays in the processor's cache between the read that
    // fills it and the test that reads it again.
    std::int64_t chunkSize = 1 << 20;
    StoredRange stored;  // empty: everything is stored
};

// A folder's "." entry at the start of a sector, and the cluster it names.
struct DotSighting {
    std::int64_t offset = 0;
    std::uint32_t cluster = 0;
};

// The cluster named when `sector` starts with a folder's "." and ".." entries.
std::optional<std::uint32_t> dotEntryCluster(FatHuntKind kind, ByteSpan sector);

struct FatHuntResult {
    std::vector<std::int64_t> fats;   // volume byte offsets of the FATs' first sectors
    std::vector<DotSighting> dots;    // at most kMaxDots
};
inline constexpr std::size_t kMaxDots = 256;

FatHuntResult huntFatCopies(const VolumeView& volume, FatHuntKind kind, const FatHuntLimits& limits,
                            WorkControl& work, Warnings& warnings);

// Where cluster 2 lies and the cluster size, as most sightings agree (clusters
// of 512 bytes to 64 KiB); nullopt with fewer than two agreeing sightings.
struct DataArea {
    std::int64_t clusterSize = 0;
    std::int64_t offset = 0;
};
std::optional<DataArea> dataAreaFromDots(const std::vector<DotSighting>& dots);
// The same for a cluster size already known: one sighting is enough.
std::optional<std::int64_t> dataOffsetFromDots(const std::vector<DotSighting>& dots, std::int64_t clusterSize);

// ---- exFAT heap ----

// An allocation-bitmap directory entry (type 0x81) at `slot`: its first cluster
// and length.
struct BitmapEntry {
    std::int64_t offset = 0;  // volume byte offset of the entry
    std::uint32_t firstCluster = 0;
    std::uint64_t length = 0;
};
std::optional<BitmapEntry> bitmapEntryAt(ByteSpan slot, std::int64_t offset);

struct HeapCandidate {
    std::int64_t heapOffset = 0;
    std::int64_t clusterSize = 0;  // 0 when only the boot sector supports it
    std::int64_t rootEntry = -1;   // offset of the supporting bitmap entry
};

// The heap that an all-0xFF sector at `sector` starts, when `entry` supports it:
// a cluster size (512 bytes to 32 MiB) for which the bitmap begins at that
// sector, the heap lies inside the volume, the entry lies inside the heap, and
// the bitmap's length matches the clusters the rest of the volume holds.
std::optional<HeapCandidate> heapSupportedBy(std::int64_t sector, const BitmapEntry& entry, std::int64_t volumeSize);

// exFAT: the supported heap offsets, at most `maximum` + 1 (below 1: 3), in the
// order they were confirmed. `bootHeap` (when the boot sector was accepted)
// supports the sector it names and comes first.
std::vector<HeapCandidate> huntHeapOffsets(const VolumeView& volume, const FatHuntLimits& limits,
                                           std::optional<std::int64_t> bootHeap, WorkControl& work,
                                           Warnings& warnings);

}  // namespace tavrel::fs::fat
