// The common parser contract. Every file-system parser (ntfs, Fat16Class,
// Fat32Class, Fat64Class, ext2Class, HFSP) implements this entry view; the tree,
// the file list, saving, search and the CLI use nothing else, so they never switch
// on the parser kind.
//
// Life of a parser: construct over a VolumeView, call scan() once on a worker
// thread (it runs the parser's stages in their fixed order, polling the
// WorkControl), then use the entry view from any one thread at a time. Entry
// records live in storage that never moves after scan() returns.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fs/ScanOutcome.h"
#include "image/VolumeView.h"
#include "util/Bytes.h"
#include "util/WorkControl.h"
#include "volume/FsProbe.h"

namespace tavrel::fs {

// TreeItemData: the tree item's handle of one entry record (an index into the
// parser's table, or for HFS+ a catalog node ID). Stable for the parser's life.
using EntryRef = std::uint64_t;

// The recovery mode page's choice; the values are the page's radio order.
enum class RecoveryMode { Standard = 1, Advanced = 2, Deep = 3 };

// Options chosen on the recovery mode page (or on the CLI).
struct ScanOptions {
    RecoveryMode mode = RecoveryMode::Standard;
    bool driveFormatted = false; // "Is Drive Formated..?"
    int maxFileSystems = 3;
    // Every kind's probes (the parser factory fills them in; empty for a parser
    // made directly): a parser tells another kind's volume from damage by them.
    std::span<const FsProbe> kindProbes = {};
};

// Texts of the file list's time and attribute columns.
struct EntryDescription {
    std::string created;
    std::string accessed;
    std::string modified;
    std::string attributes;
};

struct TimePoint {
    std::int64_t seconds = 0;  // Unix time, UTC
    std::uint32_t nanoseconds = 0;
};

// Real times for the host file (utimensat) and for JSON output; absent when the
// entry has none.
struct EntryTimes {
    std::optional<TimePoint> created;
    std::optional<TimePoint> modified;
    std::optional<TimePoint> accessed;
};

// Where saveFile writes an entry's content.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool write(ByteSpan bytes) = 0;  // false when the host write failed

    // `length` zero bytes. A sink that can leave a hole (a host file) does so,
    // using no space for them; the default writes the zeros.
    virtual bool skip(std::int64_t length) {
        static constexpr std::uint8_t kZeros[65536] = {};
        while (length > 0) {
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(length, sizeof kZeros));
            if (!write(ByteSpan(kZeros, n))) return false;
            length -= static_cast<std::int64_t>(n);
        }
        return true;
    }

    // Whether `bytes` more bytes of content can be taken. A host file asks its
    // file system; false (with the sink's own reason) refuses the content before
    // anything is written.
    virtual bool hasRoomFor(std::int64_t /*bytes*/) { return true; }
};

// Counts what reaches another sink, so a save knows whether every byte was
// written. Holes and the room check pass through: a host file keeps unmapped
// ranges as holes rather than written zeros.
class CountingSink : public ByteSink {
public:
    explicit CountingSink(ByteSink& out) : out_(out) {}
    bool write(ByteSpan bytes) override {
        if (!out_.write(bytes)) return false;
        written += static_cast<std::int64_t>(bytes.size());
        return true;
    }
    bool skip(std::int64_t length) override {
        if (!out_.skip(length)) return false;
        written += std::max<std::int64_t>(length, 0);
        return true;
    }
    bool hasRoomFor(std::int64_t bytes) override { return out_.hasRoomFor(bytes); }
    std::int64_t written = 0;

private:
    ByteSink& out_;
};

class Parser {
public:
    virtual ~Parser() = default;

    // Runs every stage on the calling thread. The outcome says whether there is a
    // tree to show and, when not, why, with the user-facing text (for example
    // "Selected Drive is not in Fat16 Format" for a volume of another kind). A stop
    // request ends the long loops early; the later stages still run on what was
    // gathered, and the outcome is Stopped. Damage met on the way is counted in
    // warnings().
    virtual ScanOutcome scan(WorkControl& work) = 0;

    // Entry view. rootLevel() is what goes under the volume's top item ("ROOT").
    virtual std::vector<EntryRef> rootLevel() const = 0;
    virtual std::vector<EntryRef> children(EntryRef e) const = 0;
    virtual bool isFolder(EntryRef e) const = 0;
    virtual bool hasChildren(EntryRef e) const = 0;
    virtual bool isDeleted(EntryRef e) const = 0;
    virtual std::string name(EntryRef e) const = 0;   // UTF-8, as stored in the image
    virtual std::int64_t size(EntryRef e) const = 0;  // content bytes (0 for folders)
    virtual EntryTimes times(EntryRef e) const = 0;

    virtual EntryDescription describeEntry(EntryRef e) const = 0;
    virtual std::string sizeText(EntryRef e) const = 0;
    // Writes the entry's content; false when it could not be read or written.
    // Ranges that cannot be read are written as zeros and counted in warnings();
    // a text for the user ("Not a valid entry...") is left in message().
    virtual bool saveFile(EntryRef e, ByteSink& out, WorkControl& work) = 0;

    // Save-walk rules (NTFS skips "$BadClus" and does not enter ".").
    virtual bool skipInSave(EntryRef) const { return false; }
    virtual bool enterInSave(EntryRef) const { return true; }

    // The text the parser left for the user by its last scan or save; takeMessage
    // hands it over once.
    const std::string& message() const { return message_; }
    std::string takeMessage() { return std::exchange(message_, {}); }

    // A warning the last scan leaves beside the tree it built (a backup
    // structure was used, a chosen geometry does not fit the volume); empty
    // when there is none. The scan page and the CLI show it after the scan.
    const std::string& scanWarning() const { return scanWarning_; }

    // The name the tree, the listings, the search and saves show: a name given by
    // setShownName (the former name of a file kept in a recycle bin), else the
    // stored name(). Given names are set after scan() and before the entry view
    // is shown.
    std::string shownName(EntryRef e) const {
        if (!shownNames_.empty()) {
            if (const auto it = shownNames_.find(e); it != shownNames_.end()) return it->second;
        }
        return name(e);
    }
    void setShownName(EntryRef e, std::string shown) { shownNames_[e] = std::move(shown); }

    // Unreadable ranges and damaged records met by the scan and the saves.
    const Warnings& warnings() const { return warnings_; }
    Warnings& warnings() { return warnings_; }

protected:
    std::string message_;
    std::string scanWarning_;
    Warnings warnings_;

private:
    std::map<EntryRef, std::string> shownNames_;
};

}  // namespace tavrel::fs
