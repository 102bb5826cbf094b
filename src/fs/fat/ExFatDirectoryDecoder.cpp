#include "fs/fat/ExFatDirectoryDecoder.h"

#include "util/Unicode.h"

namespace tavrel::fs::fat {

static bool isFileEntry(std::uint8_t t) { return t == 0x85 || t == 0x05; }
static bool isStreamEntry(std::uint8_t t) { return t == 0xC0 || t == 0x40; }
static bool isNameEntry(std::uint8_t t) { return t == 0xC1 || t == 0x41; }

void ExFatDirectoryDecoder::startSet(ByteSpan s) {
    set_ = ExFatSet{};
    units_.clear();
    set_.entryType = s[0];
    set_.attributes = le16(s, 4);
    set_.createTimestamp = le32(s, 8);
    set_.modifiedTimestamp = le32(s, 12);
    set_.accessedTimestamp = le32(s, 16);
    set_.create10ms = u8(s, 20);
    set_.modified10ms = u8(s, 21);
    set_.createUtcOffset = u8(s, 22);
    set_.modifiedUtcOffset = u8(s, 23);
    set_.accessedUtcOffset = u8(s, 24);
    state_ = State::AfterFile;
    namesExpected_ = kMaxNameEntries;
    namesTaken_ = 0;
}

void ExFatDirectoryDecoder::emit(std::vector<ExFatSet>& out) {
    if (state_ == State::Idle) return;
    std::u16string name = units_;
    if (set_.streamType != 0 && name.size() > set_.nameLength) name.resize(set_.nameLength);
    const auto nul = name.find(u'\0');
    if (nul != std::u16string::npos) name.resize(nul);
    set_.name = utf8FromUtf16(name);
    out.push_back(std::move(set_));
    set_ = ExFatSet{};
    units_.clear();
    state_ = State::Idle;
}

bool ExFatDirectoryDecoder::feed(ByteSpan bytes, std::vector<ExFatSet>& out) {
    for (std::size_t at = 0; !ended_ && at + 32 <= bytes.size(); at += 32) {
        const ByteSpan s = bytes.subspan(at, 32);
        const std::uint8_t type = s[0];
        if (type == 0x00) {
            emit(out);
            ended_ = true;
            break;
        }
        if (state_ == State::AfterFile && isStreamEntry(type)) {
            set_.streamType = type;
            set_.secondaryFlags = u8(s, 1);
            set_.nameLength = u8(s, 3);
            set_.validDataLength = le64(s, 8);
            set_.firstCluster = le32(s, 20);
            set_.dataLength = le64(s, 24);
            namesExpected_ = (set_.nameLength + 14) / 15;
            state_ = State::Names;
            if (namesExpected_ == 0) emit(out);
            continue;
        }
        if ((state_ == State::AfterFile || state_ == State::Names) && isNameEntry(type) &&
            namesTaken_ < namesExpected_) {
            for (std::size_t i = 0; i < 15; ++i) units_.push_back(static_cast<char16_t>(le16(s, 2 + 2 * i)));
            state_ = State::Names;
            if (++namesTaken_ == namesExpected_) emit(out);
            continue;
        }
        // Anything else closes an open set; a file entry starts the next one.
        emit(out);
        if (isFileEntry(type)) startSet(s);
    }
    return true;
}

void ExFatDirectoryDecoder::finish(std::vector<ExFatSet>& out) { emit(out); }

}  // namespace tavrel::fs::fat
