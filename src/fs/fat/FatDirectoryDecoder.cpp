#include "fs/fat/FatDirectoryDecoder.h"

#include "util/Unicode.h"

namespace tavrel::fs::fat {

bool FatDirectoryDecoder::feed(ByteSpan bytes, std::vector<FatDirItem>& out) {
    if (rejected_) return false;
    if (first_) {
        first_ = false;
        if (options_.expectDotFirst && (bytes.empty() || bytes[0] != '.')) {
            rejected_ = true;
            return false;
        }
    }
    for (std::size_t at = 0; at + kSlotSize <= bytes.size(); at += kSlotSize) {
        const ByteSpan slot = bytes.subspan(at, kSlotSize);
        const std::uint8_t first = slot[0];
        const std::uint8_t attributes = slot[11];
        if (first == 0x00) {
            clearLongName();
            if (options_.emptySlotEndsCluster) break;
            continue;
        }
        if (isLongNameSlot(attributes)) {
            takeLongNameSlot(slot);
            continue;
        }
        if (first == '.' || isVolumeLabel(attributes)) {
            clearLongName();
            continue;
        }
        takeShortSlot(slot, out);
    }
    return true;
}

void FatDirectoryDecoder::takeLongNameSlot(ByteSpan slot) {
    // Slots of one long name lie in reverse order before their short slot; the
    // first one met carries the deleted mark of the whole name when deleted.
    if (!gathering_ || parts_.size() >= static_cast<std::size_t>(kMaxLongNameSlots)) {
        parts_.clear();
        gathering_ = true;
        longNameDeleted_ = slot[0] == kDeletedMark;
        longNameChecksum_ = slot[13];
    }
    parts_.push_back(longNamePart(slot));
}

void FatDirectoryDecoder::takeShortSlot(ByteSpan slot, std::vector<FatDirItem>& out) {
    const auto decoded = decodeDirSlot(slot);
    if (!decoded) return;
    FatDirItem item;
    item.slot = *decoded;
    item.deleted = slot[0] == kDeletedMark;
    item.name = shortNameText(item.slot.shortName, item.slot.caseFlags);

    if (gathering_) {
        // A long name belongs to this slot when its checksum matches the short
        // name. A deleted short slot has lost its first byte, so there a deleted
        // long name directly before it is taken as its own.
        const bool belongs = shortNameChecksum(item.slot.shortName) == longNameChecksum_ ||
                             (item.deleted && longNameDeleted_);
        if (belongs) {
            std::u16string joined;
            for (auto it = parts_.rbegin(); it != parts_.rend(); ++it) joined += *it;
            if (!joined.empty()) {
                item.name = utf8FromUtf16(joined);
                item.deleted = item.deleted || longNameDeleted_;
            }
        }
    }
    clearLongName();
    out.push_back(std::move(item));
}

}  // namespace tavrel::fs::fat
