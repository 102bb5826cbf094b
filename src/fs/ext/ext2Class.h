// The ext2/ext3/ext4 parser. It reads the superblock (a backup one when the
// primary is damaged), the block-group descriptors (32-byte or 64-bit; a
// damaged one replaced by its backup copy), every used slot of every inode
// table, then the blocks of every folder inode, live or freed, and names inodes
// from the entries it finds there, including the deleted names left in the
// slack of directory blocks. Names are linked into a tree under "ROOT"; names
// whose folder has no name of its own go under the orphan folder.
//
// A group's unused-inode count and "never initialised" flag only save reading
// table slots: where they come from a backup (written when the volume was made)
// or cannot be true, every slot is read and each one past the count is taken
// only when it holds a plausible inode. Using a backup is told in the scan's
// warning.
//
// Content is read through the inode's extent tree or block map (holes as
// zeros, exactly the file's size), from i_block for inline data and fast
// symlinks. saveFile reads the one inode it needs; the times and modes the
// listing and describeEntry show are kept from the scan (describeEntry reads
// the inode only of a name whose slot the scan passed over).
//
// Implemented in ext2Class.cpp (the scan) and ExtView.cpp (the entry view and saving).
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "fs/EntryTable.h"
#include "fs/Parser.h"
#include "fs/ext/ExtDirectory.h"
#include "fs/ext/ExtEntry.h"
#include "fs/ext/ExtGroupDescriptor.h"
#include "fs/ext/ExtInode.h"
#include "fs/ext/ExtSuperblock.h"
#include "fs/ext/ForeignSignature.h"

namespace tavrel::fs {

class ext2Class final : public Parser {
public:
    static constexpr const char* kRootName = "ROOT";
    static constexpr const char* kOrphanName = "ORPHAN_ENTRY";
    static constexpr EntryRef kRoot = 0;
    static constexpr EntryRef kOrphans = 1;

    ext2Class(const VolumeView& volume, const ScanOptions& options);

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
    ContentPlace contentPlace(EntryRef e) const override;

    // Stages, in the order scan() runs them.
    bool attach();
    bool findSuperblock(WorkControl& work);
    bool readGroupDescriptors();
    void readInodeTables(WorkControl& work);
    void readDirectories(WorkControl& work);
    void buildEntryTable(WorkControl& work);
    void linkChildren(WorkControl& work);
    void fillRootLevel(WorkControl& work);

    // State, readable by the tests.
    const ext::ExtSuperblock& superblock() const { return sb_; }
    std::int64_t superblockOffset() const { return superblockOffset_; }
    const std::vector<ext::ExtEntry>& entries() const { return entries_; }
    const std::vector<ext::ExtGroup>& groups() const { return groups_; }

    // The inode with that number, read from its group's table; nullopt when
    // the number is out of range or the read fails.
    std::optional<ext::ExtInode> loadInode(std::uint32_t number) const;

private:
    std::unique_ptr<AllocationMap> readAllocationMap() const override;
    // What the scan keeps of each used inode slot.
    struct InodeSummary {
        std::uint32_t number = 0;
        std::uint16_t mode = 0;
        bool freed = false;
        bool mapCleared = false;
        std::uint64_t size = 0;
        std::optional<TimePoint> changed, modified, accessed;
    };
    struct Folder {
        std::uint32_t inode;
        ext::ExtInode record;
    };
    void walkFolder(const Folder& f, std::vector<std::uint8_t>& buffer);
    // Slots of a group's inode table to read, and how many of them the group's
    // counts vouch for (the rest must hold plausible inodes).
    struct SlotPlan {
        std::uint64_t read = 0;
        std::uint64_t vouched = 0;
    };
    SlotPlan planSlots(std::uint64_t g);
    // Refuses descriptors whose inode table lies off the volume or overlaps an
    // earlier group's; true for each group left without a usable one.
    std::vector<bool> checkDescriptors();
    void useBackupDescriptors(std::vector<bool>& unusable);
    std::uint64_t tableBlocks() const;
    void addNotice(const std::string& text);
    bool validRef(EntryRef e) const { return e < entries_.size(); }
    std::int64_t inodeOffset(std::uint32_t number) const;

    VolumeView volume_;
    ScanOptions options_;
    ext::ExtSuperblock sb_;
    std::int64_t superblockOffset_ = -1;
    std::uint64_t groupCount_ = 0;
    std::vector<ext::ExtGroup> groups_;
    std::vector<bool> fromBackup_;           // per group: its descriptor is a backup copy
    std::unordered_set<std::uint64_t> mapBlocks_;  // index and indirect blocks the folder pass read
    std::vector<InodeSummary> inodes_;       // used slots, by rising inode number
    const InodeSummary* findInode(std::uint32_t number) const;
    std::vector<Folder> folders_;            // folder inodes to walk, live ones first
    std::unordered_set<std::uint64_t> claimedBlocks_;  // directory blocks already decoded
    struct Named {
        ext::ExtDirItem item;
        std::uint32_t parentInode;
    };
    std::vector<Named> names_;               // gathered by readDirectories
    std::vector<ext::ExtEntry> entries_;
    std::vector<std::uint32_t> parents_;     // parent record of each, until linked
    EntryTable table_;
    std::vector<EntryRef> rootLevel_;
    std::uint64_t inodeRecords_ = 0;  // inode slots over all groups
    bool ready_ = false;              // superblock and descriptors read
    std::optional<ext::ForeignFileSystem> foreign_;  // what findSuperblock found instead of ext
};

}  // namespace tavrel::fs
