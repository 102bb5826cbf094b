// Finding directory clusters without the tree: the plausibility tests of FAT
// 8.3 and long-name slots and of exFAT entry sets, a verdict on whether one
// cluster's bytes are a directory cluster, and a scan that applies the verdict to
// every cluster of an area of the volume.
//
// The tests are pure (bytes in, verdict out). The scan takes its geometry from
// whoever knows it: Deep mode passes the boot sector's cluster heap, the Advanced
// way a heap offset and cluster size the user chose. Results are bounded, ranges
// the image does not store are skipped unread, and the scan stops on request.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "fs/ScanOutcome.h"
#include "image/VolumeView.h"
#include "util/Bytes.h"
#include "util/WorkControl.h"

namespace tavrel::fs::fat {

enum class SlotFamily { Fat, ExFat };

// What a slot's cluster and size fields may name. clusterCount 0 accepts any
// cluster number; maxBytes 0 any size.
struct SlotLimits {
    std::uint32_t clusterCount = 0;  // valid clusters are 2 .. clusterCount + 1
    std::uint64_t maxBytes = 0;      // the largest file the volume can hold
};

// ---- FAT 8.3 and long-name slots (32 bytes each) ----

enum class FatSlotKind {
    Empty,     // byte 0 is 0x00
    Dot,       // "." or ".." of a folder
    Label,     // a volume label
    LongName,  // a long-name slot, live or deleted
    Short,     // an 8.3 slot of a file or folder, live or deleted
    Invalid,   // none of these: not a directory slot
};

// Classifies one 32-byte slot. Short slots must have a name of allowed
// characters, unused attribute bits clear, case flags and times in range, a
// size within limits (0 for folders), and a first cluster inside the volume
// (0 only for an empty file). Long-name slots must carry their fixed zeros, a
// sequence number of 1 to 20 (or the deletion mark) and only padding after the
// name's NUL. Deleted slots get the same tests as live ones.
FatSlotKind classifyFatSlot(ByteSpan slot, const SlotLimits& limits);

// ---- exFAT entry sets ----

// The number of 32-byte entries of the plausible entry set that starts at
// `offset` in `bytes` (a file entry 0x85, or 0x05 when deleted, then its stream
// extension and name entries), or 0 when there is none: the secondary count
// covers the stream and enough name entries for the name length, every entry
// has the in-use state of the file entry, the set checksum matches (a deleted
// set is checked with its in-use bits restored), attributes and timestamps are in
// range, and the stream names a cluster and lengths the volume can hold.
std::size_t plausibleExFatSet(ByteSpan bytes, std::size_t offset, const SlotLimits& limits);

// The checksum of an entry set of `entries` entries at the start of `set`, with
// every entry's in-use bit taken as set.
std::uint16_t exFatSetChecksum(ByteSpan set, std::size_t entries);

// ---- clusters ----

struct DirectoryLook {
    std::uint32_t entries = 0;  // named files and folders (short slots or entry sets)
    std::uint32_t deleted = 0;  // of which deleted
    bool dotFirst = false;      // FAT: the cluster starts with "." and ".." (a folder's first cluster)
};

// The verdict on one cluster: it holds at least one named entry, every slot is
// a plausible slot of the family (empty slots allowed anywhere), and live long
// names match the checksum of the short slot they precede. exFAT clusters may
// also hold the other known entry types (bitmap, up-case table, label, GUID,
// padding, vendor entries) and stray secondary entries of older sets.
bool looksLikeDirectory(SlotFamily family, ByteSpan cluster, const SlotLimits& limits, DirectoryLook* look = nullptr);

// ---- the scan ----

// The area to scan: `count` units of `unitSize` bytes from `firstOffset`, unit k
// being cluster `firstCluster` + k. From the boot sector: the cluster heap
// (cluster 2 at the heap offset). For a byte range: any unit size, clusters then
// only number the units.
struct SlotScanArea {
    std::int64_t firstOffset = 0;
    std::int64_t unitSize = 0;
    std::uint64_t count = 0;
    std::uint32_t firstCluster = 2;

    static SlotScanArea heap(std::int64_t heapOffset, std::int64_t clusterSize, std::uint32_t clusterCount);
    static SlotScanArea range(std::int64_t begin, std::int64_t end, std::int64_t unitSize);
};

struct FoundDirectory {
    std::uint32_t cluster = 0;
    std::int64_t offset = 0;  // volume byte offset
    DirectoryLook look;
};

struct SlotScanLimits {
    std::size_t maxFound = 1u << 20;  // directory clusters kept; the scan ends at this count
    std::int64_t chunkBytes = 1 << 20;
};

struct SlotScanResult {
    std::vector<FoundDirectory> found;  // in volume order
    bool truncated = false;             // maxFound was reached
    bool stopped = false;               // a stop was requested
};

// Reads every unit of `area` that lies inside the volume and keeps those that
// look like directory clusters, skipping units for which `skip` (when given)
// says true without testing them. Ranges the image does not store are not read;
// unreadable ones are counted in `warnings`. Progress 0..1000.
SlotScanResult scanForDirectories(const VolumeView& volume, SlotFamily family, const SlotScanArea& area,
                                  const SlotLimits& limits, const SlotScanLimits& scanLimits, WorkControl& work,
                                  Warnings& warnings, const std::function<bool(std::uint32_t)>& skip = {});

}  // namespace tavrel::fs::fat
