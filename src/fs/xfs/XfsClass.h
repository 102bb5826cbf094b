// The XFS parser (versions 4 and 5). It reads the superblock (a failing
// checksum is told beside the tree, never a refusal), then walks the folders
// from the root inode: short-form folders in the inode, block, leaf, node and
// B+tree folders through their data blocks, whose free space still holds the
// names of removed entries (listed as deleted, with what their inode still
// holds). Version 5 inodes, directory blocks and B+tree blocks that fail
// their checksums are read as they stand and counted in a warning beside the
// tree. A primary superblock that cannot be decoded gives way to AG 1's copy.
// Deep mode then reads every inode chunk of every allocation group
// through the inode B+trees: in-use folders no name reached are walked under
// the orphan folder, and in-use files no name reached are listed there.
//
// Content is read through the data fork's extent list or extent B+tree
// (unwritten extents and gaps as zeros, exactly the file's size); symbolic
// links are saved as their target's bytes. XFS frees a file's extents when
// it is deleted, so a deleted name keeps its content only where its inode
// still maps blocks.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_set>
#include <vector>

#include "fs/EntryTable.h"
#include "fs/Parser.h"
#include "fs/xfs/XfsDirectory.h"
#include "fs/xfs/XfsEntry.h"
#include "fs/xfs/XfsInode.h"
#include "fs/xfs/XfsSuperblock.h"

namespace tavrel::fs {

class XfsClass final : public Parser {
public:
    static constexpr const char* kRootName = "ROOT";
    static constexpr const char* kOrphanName = "ORPHAN_ENTRY";
    static constexpr EntryRef kRoot = 0;
    static constexpr EntryRef kOrphans = 1;

    XfsClass(const VolumeView& volume, const ScanOptions& options);

    ScanOutcome scan(WorkControl& work) override;

    std::vector<EntryRef> rootLevel() const override;
    std::vector<EntryRef> children(EntryRef e) const override;
    bool isFolder(EntryRef e) const override;
    bool hasChildren(EntryRef e) const override;
    bool isDeleted(EntryRef e) const override;
    std::string name(EntryRef e) const override;
    std::int64_t size(EntryRef e) const override;
    EntryTimes times(EntryRef e) const override;
    EntryDescription describeEntry(EntryRef e) const override;
    std::string sizeText(EntryRef e) const override;
    bool saveFile(EntryRef e, ByteSink& out, WorkControl& work) override;

    // State, readable by the tests.
    const xfs::XfsSuperblock& superblock() const { return sb_; }
    const std::vector<xfs::XfsEntry>& entries() const { return entries_; }
    std::uint64_t entryInode(EntryRef e) const { return validRef(e) ? entries_[e].inode : 0; }

    // The inode with that number; nullopt when it names no slot, the read
    // fails or the slot holds no inode.
    std::optional<xfs::XfsInode> loadInode(std::uint64_t number) const;

private:
    ScanOutcome readSuperblock();
    void walkFolders(WorkControl& work);
    void walkFolder(std::uint64_t inode, std::uint32_t entry);
    // `look`: only a look at the names (Deep mode's sorting of unreached
    // folders), which neither claims blocks nor counts damage.
    std::vector<xfs::XfsDirItem> readFolder(const xfs::XfsInode& inode, std::uint64_t number, bool look = false);
    void addEntry(xfs::XfsDirItem item, std::uint32_t parent);
    void deepPass(WorkControl& work);
    void link(WorkControl& work);
    void reportProgress(WorkControl& work, bool force);
    bool validRef(EntryRef e) const { return e < entries_.size(); }
    xfs::DirForm dirForm() const;
    bool readContent(const xfs::XfsInode& inode, ByteSink& out, WorkControl& work);
    // Counts a version 5 inode failing its checksum, each inode once.
    void noteInodeCrc(std::uint64_t number, const xfs::XfsInode& inode);
    void noteChecksums();

    VolumeView volume_;
    ScanOptions options_;
    xfs::XfsSuperblock sb_;
    bool ready_ = false;
    std::vector<xfs::XfsEntry> entries_;
    std::vector<std::uint32_t> parents_;  // parent record of each, until linked
    std::vector<std::pair<std::uint64_t, std::uint32_t>> pending_;  // folders to walk: inode, record
    std::unordered_set<std::uint64_t> walked_;   // folder inodes walked
    std::unordered_set<std::uint64_t> named_;    // inodes a live name reaches
    std::unordered_set<std::uint64_t> claimed_;  // directory blocks decoded
    std::unordered_set<std::uint64_t> crcInodes_;  // inodes failing their checksum
    std::size_t crcDirBlocks_ = 0;
    std::size_t crcTreeBlocks_ = 0;
    std::int64_t shown_ = 0;
    std::int64_t lookBudget_ = 0;  // bytes the looks may still read: the volume's size, once
    EntryTable table_;
    std::vector<EntryRef> rootLevel_;
    // The last inode block read, so names of one folder read their inodes
    // from one chunk without a read each.
    mutable std::int64_t cachedBlock_ = -1;
    mutable std::vector<std::uint8_t> cache_;
};

}  // namespace tavrel::fs
