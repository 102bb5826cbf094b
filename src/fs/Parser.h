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

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/VolumeView.h"
#include "util/Bytes.h"
#include "util/WorkControl.h"

namespace tavrel::fs {

// TreeItemData: the tree item's handle of one entry record (an index into the
// parser's table, or for HFS+ a catalog node ID). Stable for the parser's life.
using EntryRef = std::uint64_t;

// Options chosen on the recovery mode page (or on the CLI).
struct ScanOptions {
    int recoveryMode = 1;        // 1 Standard, 2 Advanced, 3 Deep
    bool driveFormatted = false; // "Is Drive Formated..?"
    int maxFileSystems = 3;
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
};

class Parser {
public:
    virtual ~Parser() = default;

    // Runs every stage on the calling thread. Returns false when the volume is not
    // of this kind or cannot be read; message() then holds the user-facing text
    // (for example "Selected Drive is not in Fat16 Format"). A stop request ends
    // the long loops early; the later stages still run on what was gathered.
    virtual bool scan(WorkControl& work) = 0;

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
    virtual bool saveFile(EntryRef e, ByteSink& out, WorkControl& work) = 0;

    // Save-walk rules (NTFS skips "$BadClus" and does not enter ".").
    virtual bool skipInSave(EntryRef) const { return false; }
    virtual bool enterInSave(EntryRef) const { return true; }

    // The count question's wording differs for NTFS ("Number of files ...") and
    // the others ("number of files ...").
    virtual bool capitalisedCountQuestion() const { return false; }

    const std::string& message() const { return message_; }

protected:
    std::string message_;
};

}  // namespace tavrel::fs
