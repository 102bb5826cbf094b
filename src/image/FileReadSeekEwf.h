// Reader for Expert Witness (EWF, E01) evidence files through libewf. The whole
// segment set (.E01, .E02, ...) is found from the segment chosen, in that
// segment's folder only, and every segment must be a regular file there
// (SiblingFile.h); a first segment under another name is read on its own. A set
// whose last segment found says another follows is refused, naming the one
// missing.
// A chunk whose checksum does not match reads as zeros and fails the read, so
// copies count it. Every file is opened read-only; openImage (ImageOpener.h)
// picks this reader by the segment's signature, whatever the file is called.
// Every chunk of the disk is stored (libewf reports no unstored ranges either),
// so no range is reported unallocated.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "image/LibraryImageReader.h"

namespace tavrel {

class FileReadSeekEwf : public LibraryImageReader {
public:
    FileReadSeekEwf();
    ~FileReadSeekEwf() override;

    bool open(std::string path) override;
    ImageInfo describe() const override;

    std::size_t segmentCount() const { return segments_; }

private:
    struct Handle;
    bool openLane(const std::string& path) override;
    bool readFromLibrary(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const override;

    std::vector<std::unique_ptr<Handle>> lanes_;  // one handle on the segment set per lane
    std::vector<std::string> files_;              // the segment files
    std::size_t segments_ = 0;
    // What the acquisition recorded, in the order describe() lists it.
    std::vector<InfoField> recorded_;
};

}  // namespace tavrel
