// Turns exFAT directory entries (fed cluster by cluster) into entry sets: a file
// entry, its stream extension and its name entries. Deleted sets (0x05, 0x40,
// 0x41) are read exactly like live ones (0x85, 0xC0, 0xC1). Pure: no reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/Bytes.h"

namespace tavrel::fs::fat {

struct ExFatSet {
    std::uint8_t entryType = 0;  // 0x85 live, 0x05 deleted
    std::uint16_t attributes = 0;
    std::uint32_t createTimestamp = 0;
    std::uint32_t modifiedTimestamp = 0;
    std::uint32_t accessedTimestamp = 0;
    std::uint8_t create10ms = 0;
    std::uint8_t modified10ms = 0;
    std::uint8_t createUtcOffset = 0;
    std::uint8_t modifiedUtcOffset = 0;
    std::uint8_t accessedUtcOffset = 0;
    std::uint8_t streamType = 0;  // 0xC0 / 0x40 when a stream extension followed
    std::uint8_t secondaryFlags = 0;
    std::uint8_t nameLength = 0;
    std::uint64_t validDataLength = 0;
    std::uint32_t firstCluster = 0;
    std::uint64_t dataLength = 0;
    std::string name;  // UTF-8, cut to the stream's name length
};

inline bool isExFatFolder(std::uint16_t attributes) { return (attributes & 0x10) != 0; }
// Secondary flags bit 1: the clusters follow each other and the FAT is not used.
inline bool noFatChain(std::uint8_t secondaryFlags) { return (secondaryFlags & 0x02) != 0; }

class ExFatDirectoryDecoder {
public:
    // 255 characters need 17 name entries.
    static constexpr int kMaxNameEntries = 17;

    // Decodes the next piece of the directory; always true (every piece is read).
    bool feed(ByteSpan bytes, std::vector<ExFatSet>& out);
    // Emits a set still open at the end of the directory.
    void finish(std::vector<ExFatSet>& out);
    // True once an entry of type 0x00 was met: it marks the end of the
    // directory (every entry after it is unused too), so nothing after it is
    // read, whatever length the folder claims.
    bool ended() const { return ended_; }

private:
    enum class State { Idle, AfterFile, Names };
    void emit(std::vector<ExFatSet>& out);
    void startSet(ByteSpan slot);

    State state_ = State::Idle;
    ExFatSet set_;
    std::u16string units_;
    int namesExpected_ = 0;
    int namesTaken_ = 0;
    bool ended_ = false;
};

}  // namespace tavrel::fs::fat
