// The NTFS parser: finds the MFT (from the boot sector, by hunting for the $MFT
// record when the boot sector is damaged, or record by record over the whole
// volume in Deep mode), keeps one NtfsEntry per MFT slot, links them into a
// folder tree with an "ORPHAN_ENTRY" folder for records whose parent is lost,
// and writes file content from resident data, run lists (plain, sparse,
// LZNT1-compressed) and attribute lists.
//
// Every record is read through one MftRecordLoader, which counts damaged and
// unreadable records in warnings(). What the list shows (size, times,
// attributes) is gathered while the scan parses each record, so listing a
// scanned volume reads nothing more.
//
// Class ntfs is implemented in NtfsScan.cpp, NtfsHunt.cpp (the MFT hunt),
// NtfsTree.cpp, NtfsDeepTree.cpp (Deep mode), NtfsData.cpp, NtfsView.cpp (the
// entry view) and NtfsSave.cpp (saving).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "fs/EntryTable.h"
#include "fs/Parser.h"
#include "fs/StructureHunt.h"
#include "fs/ntfs/BootSector.h"
#include "fs/ntfs/MftHunt.h"
#include "fs/ntfs/MftLayout.h"
#include "fs/ntfs/MftRecord.h"
#include "fs/ntfs/NtfsTypes.h"
#include "fs/ntfs/RecordLoader.h"

namespace tavrel::fs {

class ntfs final : public Parser, public StructureHunter {
public:
    static constexpr const char* kOrphanName = "ORPHAN_ENTRY";
    static constexpr std::int64_t kChunkSize = 10485760;  // whole-volume scans read 10 MiB at a time
    // Advanced mode: the chosen sectors per cluster do not fit the chosen $MFT record's own runs.
    static constexpr const char* kClusterMismatchText =
        "Selected Sector Per Cluster does not match the runs of the MFT entry.Tree may be incomplete...";

    ntfs(const VolumeView& volume, const ScanOptions& options);

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
    bool skipInSave(EntryRef e) const override;
    bool enterInSave(EntryRef e) const override;
    ContentPlace contentPlace(EntryRef e) const override;

    // Stages, in the order scan() runs them.
    bool readVolumeSize();
    bool locateMft(WorkControl& work);
    void deepScan(WorkControl& work);
    void enumerateMft(WorkControl& work);
    void buildTree(WorkControl& work);

    // Runs of the record's non-resident attributes of `type` (unnamed ones for
    // $DATA), in record order, stopping at the first terminated list.
    std::vector<MftRun> readRuns(std::int64_t recordOffset, std::uint32_t type) const;

    // State, readable by the pages and the tests.
    const std::vector<NtfsEntry>& entries() const { return entries_; }
    const EntryTable& tree() const { return tree_; }
    const MftLayout& layout() const { return layout_; }
    std::int64_t volumeSize() const { return volumeSize_; }
    std::int64_t clusterSize() const { return clusterSize_; }
    std::uint32_t recordSize() const { return recordSize_; }
    const std::vector<MftRun>& mftRuns() const { return mftRuns_; }
    bool mftLocated() const { return mftLocated_; }
    std::int64_t rootIndex() const { return rootIndex_; }
    std::int64_t orphanIndex() const { return orphanIndex_; }
    int scanMode() const { return scanMode_; }

    // For the MFT-copy hunt of Advanced mode: the runs of a chosen $MFT record
    // can be installed before scan() (which then enumerates them).
    void useMftRuns(std::vector<MftRun> runs, std::int64_t clusterSize);

    // Advanced mode (NtfsHunt.cpp): the MFT copies found on the volume, and the
    // choice of one to parse from.
    std::size_t huntMftCopies(WorkControl& work, int maximum);
    bool useMftCandidate(std::size_t index, std::int64_t clusterSize = 0);

    std::size_t huntCopies(WorkControl& work, int maximum) override { return huntMftCopies(work, maximum); }
    const std::vector<HuntCandidate>& candidates() const override { return mftCandidates_; }
    void setCandidates(std::vector<HuntCandidate> found) override { mftCandidates_ = std::move(found); }
    bool useCandidate(std::size_t index, const CandidateChoice& choice) override;
    const char* candidateItemPattern() const override { return "MFT_ENTRY:%d"; }
    std::vector<std::string> clusterItems() const override;
    std::string preselectedClusterItem() const override;
    const char* foundMessagePattern() const override;
    const char* huntDoneStatus() const override { return "Parsing done.Click next to continue."; }

private:
    std::unique_ptr<AllocationMap> readAllocationMap() const override;
    // The record at `offset`; one that the MFT's runs split is put together
    // from its pieces.
    std::optional<LoadedRecord> loadRecord(std::int64_t offset, bool expected = true) const {
        if (const MftSplitRecord* split = layout_.splitAt(offset))
            return loader_.load(split->pieces, recordSize_, expected);
        return loader_.load(offset, recordSize_, expected);
    }
    // Bytes the image really stores: its file's length when known.
    std::int64_t storedBytes() const;
    bool stored(std::int64_t offset, std::int64_t length) const;
    std::optional<std::uint32_t> addFoundRecord(std::int64_t offset, std::uint32_t size, ByteSpan chunk,
                                                std::size_t pos, bool deferTorn = false);
    bool huntFirstMft(WorkControl& work);
    void layoutMft();
    MftLayout buildLayout(const std::vector<MftRun>& runs) const;
    void rereadSplitRecords();
    bool layoutLeadsToRecords() const;
    bool adoptMirrorRuns();
    bool adoptMftRecord(const LoadedRecord& record);
    bool mftRunsFit(std::int64_t clusterSize, std::int64_t recordOffset) const;
    std::uint32_t recordSizeAt(ByteSpan unit) const;
    void adoptExtensionNames();
    void adoptDeepExtensions();
    void fillListedSizes();
    static bool sameParent(const NtfsEntry& child, const NtfsEntry& parent);
    void linkTree();
    void linkOrphans();
    void keepOneCopyPerRecord();
    std::int64_t deepMftPlaceOf(std::uint64_t number) const;
    void linkDeep();
    void fillRootLevel();
    bool validRef(EntryRef e) const { return e < entries_.size(); }
    std::optional<std::size_t> indexOfRecord(std::int64_t recordNumber) const;
    std::int64_t recordOffsetOf(std::uint64_t recordNumber) const;
    ScanOutcome outcome(const WorkControl& work) const;

    // Content (NtfsData.cpp / NtfsSave.cpp).
    struct DataStream {
        DataInfo info;
        std::vector<std::uint8_t> resident;  // resident value
        std::vector<MftRun> runs;            // non-resident, all extents in VCN order
        bool ok = false;                     // record readable and "FILE"
    };
    DataStream gatherData(const NtfsEntry& entry) const;
    std::vector<std::uint8_t> attributeListBytes(const LoadedRecord& record, const AttributeHeader& list) const;
    bool writePlain(const DataStream& d, ByteSink& out, WorkControl& work);
    bool writeCompressed(const DataStream& d, ByteSink& out, WorkControl& work);

    VolumeView volume_;
    ScanOptions options_;
    MftRecordLoader loader_;
    int scanMode_ = 1;
    NtfsBoot boot_;
    bool bootRead_ = false;
    std::vector<std::uint8_t> bootSector_;
    std::int64_t volumeSize_ = 0;
    std::int64_t clusterSize_ = 4096;
    std::uint32_t recordSize_ = 1024;
    bool mftLocated_ = false;
    bool runsFromEntry0_ = true;
    bool stopAtFirstMft_ = true;
    bool recordHunt_ = false;  // the MFT's runs led nowhere: records were hunted as in Deep mode
    std::vector<MftRun> mftRuns_;
    std::uint64_t mftDataSize_ = 0;      // real size of the $MFT's $DATA (0: unknown)
    std::int64_t mftRecordOffset_ = -1;  // where the $MFT record was read
    MftLayout layout_;
    std::vector<NtfsEntry> entries_;
    EntryTable tree_;
    std::int64_t rootIndex_ = 5;
    std::int64_t orphanIndex_ = -1;
    std::vector<EntryRef> rootLevel_;
    // Deep mode: where each record found lies, by the record number it carries
    // in its own header (volumes of NTFS 3.1 and later).
    std::unordered_map<std::uint64_t, std::int64_t> foundRecords_;
    std::vector<MftRun> deepMftRuns_;  // Deep mode: runs of the real $MFT record, when found
    // Deep mode: records found with a torn fixup. Counted as damaged once the
    // $MFT's runs are known, unless they are records those runs split.
    std::vector<std::int64_t> tornFound_;
    std::vector<HuntCandidate> mftCandidates_;  // Advanced mode: the MFT copies hunted, in volume order
};

// Fills an entry from its record: header fields, the name and parent of the
// chosen $FILE_NAME, and what the list shows ($DATA size, times, attributes).
void readEntryFields(const LoadedRecord& record, NtfsEntry& entry);

}  // namespace tavrel::fs
