// Turns the slots of one FAT directory (fed cluster by cluster, or the fixed root
// region at once) into named items: long names gathered, deleted slots kept and
// flagged, dot entries, volume labels and empty slots left out. Pure: no reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fs/fat/FatDirSlot.h"

namespace tavrel::fs::fat {

struct FatDirItem {
    DirSlot slot;
    std::string name;      // UTF-8 display name (long name when one belongs to the slot)
    bool deleted = false;  // the short slot or its long name begins with 0xE5
};

class FatDirectoryDecoder {
public:
    struct Options {
        // A folder's first cluster must begin with its "." entry; one that does not
        // is not a directory (its cluster was reused) and yields nothing.
        bool expectDotFirst = false;
        // An empty slot (byte 0 = 0x00) ends the cluster it is in. Otherwise it is
        // skipped and the slots after it are still read.
        bool emptySlotEndsCluster = false;
    };

    // The largest long name (255 characters) takes 20 slots.
    static constexpr int kMaxLongNameSlots = 20;

    explicit FatDirectoryDecoder(Options options) : options_(options) {}

    // Decodes the next piece of the directory and appends its items. A long name
    // may continue from one piece into the next. Returns false when the first
    // piece fails the dot test; nothing is decoded then or afterwards.
    bool feed(ByteSpan bytes, std::vector<FatDirItem>& out);
    // Nothing is left open at a directory's end (a long name without its short
    // slot names nothing).
    void finish(std::vector<FatDirItem>&) {}
    // A FAT directory is read to the end of its chain (or region): an empty
    // slot never ends it.
    bool ended() const { return false; }

private:
    void clearLongName() {
        parts_.clear();
        gathering_ = false;
    }
    void takeLongNameSlot(ByteSpan slot);
    void takeShortSlot(ByteSpan slot, std::vector<FatDirItem>& out);

    Options options_;
    bool first_ = true;
    bool rejected_ = false;
    bool gathering_ = false;
    bool longNameDeleted_ = false;
    std::uint8_t longNameChecksum_ = 0;
    std::vector<std::u16string> parts_;
};

}  // namespace tavrel::fs::fat
