// On-disk structures of HFS+ and HFSX volumes, decoded from big-endian byte
// spans: the volume header, fork data, B-tree node descriptors and header
// records, catalog records and extents-overflow records. The decoders are pure
// (bytes in, value or nothing out) and check every offset against their span.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/Bytes.h"

namespace tavrel::fs::hfsplus {

inline constexpr std::int64_t kVolumeHeaderOffset = 1024;
inline constexpr std::size_t kVolumeHeaderSize = 512;
inline constexpr std::size_t kBlockSizeField = 40;  // within the volume header
inline constexpr std::uint32_t kRootParentId = 1;
inline constexpr std::uint32_t kRootFolderId = 2;
inline constexpr std::uint32_t kExtentsFileId = 3;
inline constexpr std::uint32_t kCatalogFileId = 4;
inline constexpr std::uint32_t kFirstUserId = 16;  // the first CNID of a user's folder or file
inline constexpr std::uint8_t kDataFork = 0x00;
inline constexpr std::size_t kNodeDescriptorSize = 14;
// The catalog B-tree's maxKeyLength: tells its header node from the other trees'.
inline constexpr std::uint16_t kCatalogMaxKeyLength = 516;
// Seconds from 1904-01-01 (the HFS+ epoch) to 1970-01-01, both UTC.
inline constexpr std::int64_t kEpochToUnix = 2082844800;

struct HfsExtent {
    std::uint32_t startBlock = 0;
    std::uint32_t blockCount = 0;
};
using ExtentRecord = std::array<HfsExtent, 8>;

// HFSPlusForkData (80 bytes).
struct ForkData {
    std::uint64_t logicalSize = 0;
    std::uint32_t totalBlocks = 0;
    ExtentRecord extents{};
};

struct VolumeHeader {
    std::uint16_t signature = 0;  // "H+" (HFS+) or "HX" (HFSX)
    bool hfsx = false;            // signature "HX"
    std::uint32_t blockSize = 0;
    std::uint32_t totalBlocks = 0;
    std::uint32_t nextCatalogId = 0;  // above every CNID the volume has handed out
    ForkData allocationFile;  // one bit per allocation block, highest bit first
    ForkData extentsFile;
    ForkData catalogFile;
};

// Block sizes this reader accepts: powers of two from 512 bytes to 64 KiB.
bool validBlockSize(std::uint32_t blockSize);
// B-tree node sizes: powers of two from 512 bytes to 32 KiB.
bool validNodeSize(std::uint32_t nodeSize);

std::optional<ForkData> decodeFork(ByteSpan data, std::size_t at);
// The 512-byte header as read at volume byte 1024; nothing when it is short.
// Neither the signature nor the block size is checked here: the volume was
// recognised when it was listed, and the scan decides on the block size.
std::optional<VolumeHeader> decodeVolumeHeader(ByteSpan header);
// A header the volume can be read by: an HFS+ or HFSX signature and a valid
// block size. Decides between the header at byte 1024 and the alternate copy
// 1024 bytes before the volume's end.
bool usableVolumeHeader(const VolumeHeader& header);

enum class NodeKind : std::int8_t { Leaf = -1, Index = 0, Header = 1, Map = 2 };

struct NodeDescriptor {
    std::uint32_t fLink = 0;
    std::uint32_t bLink = 0;
    std::int8_t kind = 0;
    std::uint8_t height = 0;
    std::uint16_t numRecords = 0;
    bool knownKind() const { return kind >= -1 && kind <= 2; }
};
std::optional<NodeDescriptor> decodeNodeDescriptor(ByteSpan node);

// The header record of a B-tree's node 0.
struct BTreeHeader {
    std::uint32_t firstLeafNode = 0;
    std::uint16_t nodeSize = 0;
    std::uint16_t maxKeyLength = 0;
    std::uint32_t totalNodes = 0;
};
// Nothing unless the node is a header node with a valid node size.
std::optional<BTreeHeader> decodeBTreeHeader(ByteSpan node0);

// The offsets of a whole node's records, in record order, read backwards from
// its end. An offset that does not lie between the descriptor and the offset
// table is left out.
std::vector<std::uint16_t> recordOffsets(ByteSpan node, std::uint16_t numRecords);

// The test the deep scan applies to every candidate node start: a leaf whose
// first record starts right after the descriptor, with 1 to 999 records.
bool looksLikeLeafNode(ByteSpan node);

enum class CatalogType : std::uint16_t { Folder = 1, File = 2 };

// A catalog folder or file record with its key. Thread records and keys that
// do not describe a named folder or file give nothing.
struct CatalogRecord {
    CatalogType type = CatalogType::Folder;
    std::uint32_t parentId = 0;
    std::u16string name;  // as stored (decomposed UTF-16)
    std::uint32_t cnid = 0;
    std::uint32_t createDate = 0;
    std::uint32_t contentModDate = 0;
    std::uint32_t attributeModDate = 0;
    std::uint32_t accessDate = 0;
    std::uint16_t fileMode = 0;
    std::uint32_t special = 0;  // hard links: the linked iNode's number
    std::uint32_t fileType = 0;
    std::uint32_t creator = 0;
    ForkData dataFork;  // files only
    bool hardLink() const { return type == CatalogType::File && fileType == 0x686C6E6B && creator == 0x6866732B; }
};
// The record at `offset` of a leaf node whose records end at node.size().
std::optional<CatalogRecord> decodeCatalogRecord(ByteSpan node, std::size_t offset);

// Where plausible catalog folder or file records start in a leaf node's free
// space (from the end of its last record to its offset table), as deletions
// leave them: a key whose length matches its name of 1 to 255 units, a parent
// folder ID of 2 or more, a record type of 1 or 2 and a CNID of 16 or more
// (the first user ID), the whole record inside the free space. Found records
// are skipped over; the search tries every even offset.
std::vector<std::size_t> freeSpaceRecords(ByteSpan node, std::uint16_t numRecords);

// An extents-overflow leaf record: further extents of one fork.
struct OverflowRecord {
    std::uint8_t forkType = 0;
    std::uint32_t fileId = 0;
    std::uint32_t startBlock = 0;
    ExtentRecord extents{};
};
std::optional<OverflowRecord> decodeOverflowRecord(ByteSpan node, std::size_t offset);

}  // namespace tavrel::fs::hfsplus
