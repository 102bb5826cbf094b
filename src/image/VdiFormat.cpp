#include "image/VdiFormat.h"

namespace tavrel {

namespace {
// Larger blocks than this are no VDI any writer makes; the bound keeps a single
// block's arithmetic and buffers modest.
constexpr std::uint64_t kMaxBlockSize = 256u * 1048576u;
}  // namespace

std::optional<VdiHeader> decodeVdiHeader(ByteSpan b) {
    if (b.size() < kVdiHeaderBytes) return std::nullopt;
    VdiHeader h;
    h.signature = le32(b, 0x40);
    h.version = le32(b, 0x44);
    h.headerSize = le32(b, 0x48);
    h.imageType = le32(b, 0x4C);
    h.blocksOffset = le32(b, 0x154);
    h.dataOffset = le32(b, 0x158);
    h.cylinders = le32(b, 0x15C);
    h.heads = le32(b, 0x160);
    h.sectorsPerTrack = le32(b, 0x164);
    h.diskSize = le64(b, 0x170);
    h.blockSize = le32(b, 0x178);
    h.blockExtra = le32(b, 0x17C);
    h.blocks = le32(b, 0x180);
    h.allocatedBlocks = le32(b, 0x184);
    return h;
}

std::optional<FormatProblem> vdiHeaderProblem(const VdiHeader& h, std::int64_t fileLength) {
    const auto damaged = [](std::int64_t field, const char* what) {
        return FormatProblem{OpenResult::Damaged, field, what};
    };
    if (h.signature != kVdiSignature) return damaged(0x40, "no signature");
    if (h.version >> 16 != 1) return FormatProblem{OpenResult::Unsupported, 0x44, "unsupported header version"};
    if (h.headerSize == 0) return damaged(0x48, "header size zero");
    if (h.diskSize == 0 || h.diskSize > static_cast<std::uint64_t>(INT64_MAX))
        return damaged(0x170, "disk size out of range");
    if (h.blockSize == 0 || h.blockSize % 512 != 0 || h.blockSize > kMaxBlockSize)
        return damaged(0x178, "block size out of range");
    if (h.blockExtra % 512 != 0 || h.blockExtra > kMaxBlockSize) return damaged(0x17C, "block extra data out of range");
    if (h.blocks == 0) return damaged(0x180, "no blocks");
    if (h.allocatedBlocks > h.blocks) return damaged(0x184, "more allocated blocks than blocks");
    const auto length = static_cast<std::uint64_t>(fileLength < 0 ? 0 : fileLength);
    if (h.blocksOffset < kVdiHeaderBytes || h.blocksOffset > length ||
        length - h.blocksOffset < std::uint64_t{h.blocks} * 4)
        return damaged(0x154, "block map outside the file");
    if (h.dataOffset > length) return damaged(0x158, "data offset outside the file");
    return std::nullopt;
}

const char* vdiImageTypeName(std::uint32_t t) {
    switch (static_cast<VdiImageType>(t)) {
        case VdiImageType::Dynamic: return "dynamic";
        case VdiImageType::Fixed: return "fixed";
        case VdiImageType::Undo: return "undo";
        case VdiImageType::Differencing: return "differencing";
    }
    return "unknown";
}

bool looksLikeVdi(const ImageProbe& probe) {
    const ByteSpan signature = probe.at(0x40, 4);
    return !signature.empty() && le32(signature, 0) == kVdiSignature;
}

}  // namespace tavrel
