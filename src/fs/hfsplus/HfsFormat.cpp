#include "fs/hfsplus/HfsFormat.h"

namespace tavrel::fs::hfsplus {

namespace {

constexpr std::size_t kForkSize = 80;
constexpr std::size_t kFolderRecordSize = 88;
constexpr std::size_t kFileRecordSize = 248;
constexpr std::size_t kOverflowKeySize = 12;
constexpr std::size_t kOverflowRecordSize = kOverflowKeySize + 64;
constexpr std::size_t kMaxNameLength = 255;

bool powerOfTwoBetween(std::uint32_t value, std::uint32_t low, std::uint32_t high) {
    return value >= low && value <= high && (value & (value - 1)) == 0;
}

ExtentRecord decodeExtents(ByteSpan d, std::size_t at) {
    ExtentRecord out{};
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i].startBlock = be32(d, at + 8 * i);
        out[i].blockCount = be32(d, at + 8 * i + 4);
    }
    return out;
}

}  // namespace

bool validBlockSize(std::uint32_t blockSize) { return powerOfTwoBetween(blockSize, 512, 65536); }
bool validNodeSize(std::uint32_t nodeSize) { return powerOfTwoBetween(nodeSize, 512, 32768); }

std::optional<ForkData> decodeFork(ByteSpan data, std::size_t at) {
    const ByteSpan f = subSpan(data, at, kForkSize);
    if (f.empty()) return std::nullopt;
    ForkData fork;
    fork.logicalSize = be64(f, 0);
    fork.totalBlocks = be32(f, 12);
    fork.extents = decodeExtents(f, 16);
    return fork;
}

std::optional<VolumeHeader> decodeVolumeHeader(ByteSpan header) {
    if (header.size() < kVolumeHeaderSize) return std::nullopt;
    VolumeHeader h;
    h.signature = be16(header, 0);
    h.hfsx = h.signature == 0x4858;
    h.blockSize = be32(header, kBlockSizeField);
    h.totalBlocks = be32(header, 44);
    h.nextCatalogId = be32(header, 64);
    h.allocationFile = *decodeFork(header, 112);
    h.extentsFile = *decodeFork(header, 192);
    h.catalogFile = *decodeFork(header, 272);
    return h;
}

bool usableVolumeHeader(const VolumeHeader& header) {
    return (header.signature == 0x482B || header.hfsx) && validBlockSize(header.blockSize);
}

std::optional<NodeDescriptor> decodeNodeDescriptor(ByteSpan node) {
    if (node.size() < kNodeDescriptorSize) return std::nullopt;
    NodeDescriptor d;
    d.fLink = be32(node, 0);
    d.bLink = be32(node, 4);
    d.kind = static_cast<std::int8_t>(node[8]);
    d.height = node[9];
    d.numRecords = be16(node, 10);
    return d;
}

std::optional<BTreeHeader> decodeBTreeHeader(ByteSpan node0) {
    const auto d = decodeNodeDescriptor(node0);
    if (!d || d->kind != static_cast<std::int8_t>(NodeKind::Header) || node0.size() < 40) return std::nullopt;
    BTreeHeader h;
    h.firstLeafNode = be32(node0, 24);
    h.nodeSize = be16(node0, 32);
    h.maxKeyLength = be16(node0, 34);
    h.totalNodes = be32(node0, 36);
    if (!validNodeSize(h.nodeSize)) return std::nullopt;
    return h;
}

std::vector<std::uint16_t> recordOffsets(ByteSpan node, std::uint16_t numRecords) {
    std::vector<std::uint16_t> out;
    const std::size_t table = 2 * static_cast<std::size_t>(numRecords);
    if (node.size() < kNodeDescriptorSize + table) return out;
    const std::size_t end = node.size() - table;  // records lie before the offset table
    out.reserve(numRecords);
    for (std::size_t i = 0; i < numRecords; ++i) {
        const std::uint16_t offset = be16(node, node.size() - 2 * (i + 1));
        if (offset >= kNodeDescriptorSize && offset < end) out.push_back(offset);
    }
    return out;
}

bool looksLikeLeafNode(ByteSpan node) {
    const auto d = decodeNodeDescriptor(node);
    if (!d || d->kind != static_cast<std::int8_t>(NodeKind::Leaf) || d->height == 0) return false;
    if (d->numRecords < 1 || d->numRecords > 999) return false;
    return node.size() >= 2 && be16(node, node.size() - 2) == kNodeDescriptorSize;
}

std::optional<CatalogRecord> decodeCatalogRecord(ByteSpan node, std::size_t offset) {
    const auto keyLength = be16At(node, offset);
    const auto nameLength = be16At(node, offset + 6);
    if (!keyLength || !nameLength || *nameLength < 1 || *nameLength > kMaxNameLength) return std::nullopt;
    if (*keyLength < 6 + 2 * static_cast<std::size_t>(*nameLength)) return std::nullopt;
    const ByteSpan name = subSpan(node, offset + 8, 2 * static_cast<std::size_t>(*nameLength));
    const std::size_t at = offset + 2 + *keyLength;
    const auto type = be16At(node, at);
    if (name.empty() || !type || (*type != 1 && *type != 2)) return std::nullopt;
    const ByteSpan r = subSpan(node, at, *type == 1 ? kFolderRecordSize : kFileRecordSize);
    if (r.empty()) return std::nullopt;

    CatalogRecord c;
    c.type = static_cast<CatalogType>(*type);
    c.parentId = be32(node, offset + 2);
    c.name.resize(*nameLength);
    for (std::size_t i = 0; i < c.name.size(); ++i) c.name[i] = static_cast<char16_t>(be16(name, 2 * i));
    c.cnid = be32(r, 8);
    c.createDate = be32(r, 12);
    c.contentModDate = be32(r, 16);
    c.attributeModDate = be32(r, 20);
    c.accessDate = be32(r, 24);
    c.fileMode = be16(r, 42);
    c.special = be32(r, 44);
    c.fileType = be32(r, 48);
    c.creator = be32(r, 52);
    if (c.type == CatalogType::File) c.dataFork = *decodeFork(r, 88);
    return c;
}

std::vector<std::size_t> freeSpaceRecords(ByteSpan node, std::uint16_t numRecords) {
    std::vector<std::size_t> out;
    const std::size_t table = 2 * (static_cast<std::size_t>(numRecords) + 1);
    if (node.size() < kNodeDescriptorSize + table) return out;
    const std::size_t end = node.size() - table;
    const std::size_t start = be16(node, end);  // the offset table's last entry: where free space begins
    if (start < kNodeDescriptorSize || start > end) return out;
    const ByteSpan free = node.first(end);
    for (std::size_t at = start + (start & 1); at + 8 <= end;) {
        const std::size_t keyLength = be16(free, at);
        const std::size_t nameLength = be16(free, at + 6);
        const std::size_t record = at + 2 + keyLength;
        const auto type = be16At(free, record);
        const std::size_t size = type == 1 ? kFolderRecordSize : kFileRecordSize;
        if (nameLength >= 1 && nameLength <= kMaxNameLength && keyLength == 6 + 2 * nameLength &&
            be32(free, at + 2) >= kRootFolderId && (type == 1 || type == 2) && fits(end, record, size) &&
            be32(free, record + 8) >= kFirstUserId) {
            out.push_back(at);
            at = record + size;
        } else {
            at += 2;
        }
    }
    return out;
}

std::optional<OverflowRecord> decodeOverflowRecord(ByteSpan node, std::size_t offset) {
    const ByteSpan r = subSpan(node, offset, kOverflowRecordSize);
    if (r.empty() || be16(r, 0) != kOverflowKeySize - 2) return std::nullopt;
    OverflowRecord o;
    o.forkType = r[2];
    o.fileId = be32(r, 4);
    o.startBlock = be32(r, 8);
    o.extents = decodeExtents(r, kOverflowKeySize);
    return o;
}

}  // namespace tavrel::fs::hfsplus
