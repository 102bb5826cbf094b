// What opening an image ended with. A reader that refuses an image says which
// kind of trouble it met, the byte offset in the image file where it applies,
// and the text to show; the opener (ImageOpener.h) turns the kind into its own.
#pragma once

#include <cstdint>
#include <string>

namespace tavrel {

enum class OpenResult {
    Opened,
    Unreadable,        // the host could not open or read the file where the reader needed it
    Damaged,           // the format's metadata does not hold together (or lies past the file's end)
    Unsupported,       // of this format, but a variant Tavrel does not read (an encrypted qcow2)
    MissingCompanion,  // a file the image names (parent, backing file, segment, extent) is not where it may be
};

struct OpenOutcome {
    OpenResult result = OpenResult::Opened;
    std::int64_t offset = -1;  // byte offset in the image file where it applies; -1 when none
    std::string text;          // the user text; empty when opened

    bool ok() const { return result == OpenResult::Opened; }
};

// Why a decoded header cannot be used: the kind, the byte offset of the field at
// fault (from the header's start), and a short developer text for tests and logs.
struct FormatProblem {
    OpenResult result = OpenResult::Damaged;
    std::int64_t offset = -1;
    const char* what = "";
};

}  // namespace tavrel
