// The XFS parser's texts for the user: its scan outcomes, the warning left
// beside a tree, and the save's notes.
#pragma once

namespace tavrel::fs::xfs {

inline constexpr const char* kNoSuperblockText = "No XFS superblock was found on this volume.";
inline constexpr const char* kDamagedSuperblockText =
    "The superblock of this XFS volume is damaged: Tavrel cannot read it.";
inline constexpr const char* kSuperblockCrcText =
    "The superblock of this XFS volume fails its checksum: it was read as it stands.";
inline constexpr const char* kSuperblockCopyText =
    "The superblock of this XFS volume is damaged: its copy in allocation group 1 was used.";
// Checksum failures of inodes, directory blocks and B+tree blocks met by the
// scan: they are read as they stand. "%s" is the counts of the kinds that
// failed, joined by ", ".
inline constexpr const char* kChecksumsText =
    "Some structures of this XFS volume fail their checksums and were read as they stand (%s).";
inline constexpr const char* kInodesCountText = "inodes: %zu";
inline constexpr const char* kDirBlocksCountText = "directory blocks: %zu";
inline constexpr const char* kTreeBlocksCountText = "B+tree blocks: %zu";
inline constexpr const char* kNoInodeText = "The inode of this entry cannot be read.";
inline constexpr const char* kReusedText =
    "The inode of this deleted name now holds another file: its content cannot be recovered.";
// The attribute column's note on a deleted name whose inode maps no content.
inline constexpr const char* kFreedNote = " (extents freed)";
// The name of an in-use inode no folder names, listed under the orphan folder.
inline constexpr const char* kInodeNamePattern = "inode-%llu";

}  // namespace tavrel::fs::xfs
