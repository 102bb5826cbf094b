// One XFS inode: the core fields the listing and the save use (versions 1 to
// 3), its times (seconds and nanoseconds, or the bigtime count), and a copy of
// its data fork. Decoding is pure; the bytes come from an inode chunk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fs/Parser.h"
#include "fs/xfs/XfsSuperblock.h"

namespace tavrel::fs::xfs {

inline constexpr std::uint16_t kInodeMagic = 0x494E;  // "IN"
inline constexpr std::uint16_t kModeTypeMask = 0xF000;
inline constexpr std::uint16_t kModeDirectory = 0x4000;
inline constexpr std::uint16_t kModeRegular = 0x8000;
inline constexpr std::uint16_t kModeSymlink = 0xA000;

// Forms of a data fork.
enum class ForkFormat : std::uint8_t { Device = 0, Local = 1, Extents = 2, Btree = 3, Uuid = 4 };

struct XfsInode {
    std::uint16_t mode = 0;
    std::uint8_t version = 0;
    ForkFormat format = ForkFormat::Device;
    std::uint32_t links = 0;
    std::uint64_t size = 0;
    std::uint64_t extentCount = 0;  // the data fork's extent records
    std::uint64_t flags2 = 0;
    std::optional<TimePoint> accessed, modified, changed, created;
    std::vector<std::uint8_t> dataFork;  // the literal area's data part
    bool crcOk = true;                   // version 3: the inode's checksum matches

    std::uint16_t type() const { return mode & kModeTypeMask; }
    bool isDirectory() const { return type() == kModeDirectory; }
    bool isRegular() const { return type() == kModeRegular; }
    bool isSymlink() const { return type() == kModeSymlink; }
    // A free slot: the file system clears the mode of every inode it frees.
    bool freed() const { return mode == 0; }
};

// Decodes the inode at `bytes` (the volume's inode size); nullopt when the
// magic or the version is wrong, or the data fork would pass the inode's end.
std::optional<XfsInode> decodeInode(ByteSpan bytes, const XfsSuperblock& sb);

// A time field: seconds and nanoseconds, or with bigtime one count of
// nanoseconds from 1901-12-13 20:45:52 UTC. Absent when zero.
std::optional<TimePoint> decodeTime(ByteSpan field, bool bigTime);

}  // namespace tavrel::fs::xfs
