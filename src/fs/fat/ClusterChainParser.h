// The common base of the FAT-family parsers (Fat16Class for FAT12/16, Fat32Class,
// Fat64Class for exFAT): a volume whose files are cluster chains in a FAT and
// whose folders are directories of such chains.
//
// The base runs the whole scan: check the boot sector, load the FAT, find the
// root directory, walk every folder below it (each cluster once), link the
// records into a tree and show the root level, with the kind's own status texts.
// It also holds the entry view and the save. A kind supplies only what differs:
// the boot-sector decode and test (which give the cluster heap and the FAT's
// place and entry width), where the root directory lies, the directory decoder
// (with its empty-slot rule), the first cluster of a record, and the record type
// `Entry` (FatEntry or ExFatEntry), which answers folder, deleted, name, size,
// folder length and the no-FAT-chain flag for itself.
//
// Record 0 is the synthetic "DUMMY ENTRY"; the root directory's records are its
// children, and rootLevel() lists them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fs/EntryTable.h"
#include "fs/Parser.h"
#include "fs/fat/ClusterChain.h"
#include "fs/fat/FatTable.h"
#include "volume/FsProbe.h"

namespace tavrel::fs::fat {

inline constexpr const char* kDummyEntryName = "DUMMY ENTRY";
// Deep and Advanced modes: the folder holding what directory clusters the tree
// does not reach name.
inline constexpr const char* kOrphanEntryName = "ORPHAN ENTRY";

// The cluster heap and the FAT, as a kind's boot sector describes them.
struct ChainGeometry {
    ClusterHeap heap;
    std::int64_t fatOffset = 0;
    std::int64_t fatBytes = 0;
    FatWidth width = FatWidth::Bits16;
};

// The root directory: a fixed region of the volume (FAT12/16) or a cluster chain.
struct RootDirectory {
    std::int64_t regionOffset = -1;  // >= 0: the fixed region
    std::int64_t regionBytes = 0;
    std::uint32_t firstCluster = 0;  // otherwise the chain from this cluster
};

// A kind's scan texts, in the order the scan shows them (nullptr: none).
struct ScanTexts {
    const char* notThisKind = nullptr;      // the boot sector is not of this kind
    const char* walking[2] = {};            // before the folder walk
    const char* linking = nullptr;          // before the records are linked
    const char* rooting = nullptr;          // before the root level is filled
    const char* rooted = nullptr;           // after it
    const char* done = nullptr;             // the message a finished scan leaves
    bool linkProgress = false;              // linking reports progress 0..1000
    bool finalProgress = false;             // progress range 0..100, position 100 at the end
    // Advanced way: before the records are linked.
    const char* advancedLinking = "Maintaining TreeStructure for Tree Control";
};

inline constexpr const char* kReadErrorText = "cannot read file";
inline constexpr const char* kDamagedText = "error...";
// The volume's first sector is unusable and its backup copy is read instead.
inline constexpr const char* kBackupBootText = "boot sector corrupt.Using backup boot sector...";

template <typename Entry>
class ClusterChainParser : public Parser {
public:
    using Item = typename Entry::Item;
    using Decoder = typename Entry::Decoder;

    ClusterChainParser(const VolumeView& volume, const ScanOptions& options) : volume_(volume), options_(options) {}
    ClusterChainParser(const ClusterChainParser&) = delete;
    ClusterChainParser& operator=(const ClusterChainParser&) = delete;

    ScanOutcome scan(WorkControl& work) final;

    std::vector<EntryRef> rootLevel() const final { return table_.children(0); }
    std::vector<EntryRef> children(EntryRef e) const final;
    bool isFolder(EntryRef e) const final { return e > 0 && e < entries_.size() && entries_[e].folder(); }
    bool hasChildren(EntryRef e) const final { return e > 0 && e < entries_.size() && table_.hasChildren(e); }
    bool isDeleted(EntryRef e) const final { return e < entries_.size() && entries_[e].deleted(); }
    std::string name(EntryRef e) const final { return e < entries_.size() ? entries_[e].name() : std::string(); }
    std::int64_t size(EntryRef e) const final { return e < entries_.size() ? entries_[e].size() : 0; }
    std::string sizeText(EntryRef e) const final;
    bool saveFile(EntryRef e, ByteSink& out, WorkControl& work) final;

    const std::vector<Entry>& entries() const { return entries_; }
    const ClusterHeap& heap() const { return heap_; }
    virtual std::uint32_t firstCluster(const Entry& e) const = 0;

protected:
    // Kind hooks.
    virtual const ScanTexts& texts() const = 0;
    // Decodes and tests the boot sector (the volume's first 512 bytes); nullopt
    // when it is not of this kind.
    virtual std::optional<ChainGeometry> acceptBootSector(ByteSpan sector) = 0;
    // Where the root directory lies; nullopt when the boot sector names no usable one.
    virtual std::optional<RootDirectory> rootDirectory() = 0;
    virtual Decoder decoder(bool root) const = 0;

    // Advanced way: the next scan() trusts this layout instead of the boot
    // sector, and also lists directory clusters the walk from the root does not
    // reach, under "ORPHAN ENTRY" (record 1).
    void setAdvancedLayout(const ChainGeometry& geometry, const RootDirectory& root);
    bool advanced() const { return advanced_; }
    // The boot-record probe of the kind this parser reads (FatProbe.h, ExFatProbe.h).
    virtual BootRecordProbe bootProbe() const = 0;

    struct BootRead {
        std::optional<ChainGeometry> geometry;  // nullopt: no usable boot sector of this kind
        bool primaryRead = false;               // the first sector could be read
        bool fromBackup = false;                // the geometry is the backup copy's
    };
    // Reads the volume's first sector and hands it to acceptBootSector. When it
    // is unusable (unreadable, or no boot sector at all rather than one of
    // another kind), the kind's backup copy is tried (FAT32: sector 6; exFAT:
    // the boot region from sector 12, checked by its checksum).
    BootRead readBootSector();

    const VolumeView volume_;
    const ScanOptions options_;

private:
    // Stages, in the order scan() runs them.
    ScanOutcome checkBootSector(WorkControl& work);
    ScanOutcome loadFat();
    ScanOutcome loadRootDirectory();
    void parseRootDirectory(WorkControl& work);
    // Empties the table and adds "DUMMY ENTRY" (record 0).
    void startTable();
    void walkRoot(WorkControl& work);

    // Advanced way (ClusterChainAdvanced.cpp).
    ScanOutcome advancedScan(WorkControl& work);
    void parseFoundSlots(WorkControl& work);
    void linkChildren(WorkControl& work);
    void fillRootLevel(WorkControl& work);

    bool readContiguously(const Entry& e) const;
    // The clusters of a record: at most maxClusters, contiguous or along the FAT.
    ChainWalk clustersOf(const Entry& e, std::uint64_t maxClusters, ClaimedClusters& claims) const;
    // Decodes a directory held in `extents`, piece by piece (one cluster, or
    // less at the end of a fixed region), until the decoder refuses it or says
    // it ended. False when the decoder refused it. `read` receives the bytes of
    // the extents that were decoded.
    bool readDirectory(const ExtentList& extents, Decoder decoder, std::vector<Item>& items,
                       std::vector<std::int64_t>& where, std::int64_t* read = nullptr);
    // Gives back the clusters of `extents` after the first `read` bytes.
    void releaseUnread(const ExtentList& extents, std::int64_t read);
    // Adds a directory's items under `parent`. Two folder items of one directory
    // with the same first cluster (a deleted folder and the live one that reused
    // its cluster) give one record; the folders to walk go to `folders`.
    void addItems(std::vector<Item>& items, const std::vector<std::int64_t>& where, std::uint32_t parent,
                  std::vector<std::uint32_t>& folders);
    void walkFolders(const std::vector<std::uint32_t>& top, WorkControl& work);
    // Deep mode, after the walk: every cluster of the heap the walk did not read
    // that looks like a directory cluster is listed under "ORPHAN ENTRY", with
    // the folders it names walked as usual (ClusterChainDeep.cpp).
    void findUnreachedDirectories(WorkControl& work);

    ClusterHeap heap_;
    FatTable fat_;
    RootDirectory root_;
    bool ready_ = false;  // boot sector accepted
    std::vector<Entry> entries_;
    std::vector<std::uint32_t> parents_;  // kept beside entries_ until they are linked
    EntryTable table_;
    ClaimedClusters claimed_;  // directory clusters read by the walk

    bool advanced_ = false;
    ChainGeometry advancedGeometry_;
    RootDirectory advancedRoot_;
};

}  // namespace tavrel::fs::fat
