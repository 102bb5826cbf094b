// Reader for VHDX images through libvhdi: fixed, dynamic and differencing. A
// differencing image's parent (and the parent's parent, up to kMaxParents) is
// looked for beside the image by the file name the image records, never outside
// the image's folder. Every file is opened read-only; openImage (ImageOpener.h)
// picks this reader by the file's signature, whatever the file is called.
// libvhdi does not say which blocks hold data: the image's own block allocation
// table (VhdxBlockMap.h) tells which ranges hold nothing, so whole-disk walks
// skip them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "image/LibraryImageReader.h"
#include "image/VhdxBlockMap.h"

namespace tavrel {

class FileReadSeekVhdx : public LibraryImageReader {
public:
    static constexpr std::size_t kMaxParents = 16;

    FileReadSeekVhdx();
    ~FileReadSeekVhdx() override;

    bool open(std::string path) override;
    ImageInfo describe() const override;
    bool isUnallocated(std::int64_t diskOffset, std::int64_t length) const override;
    std::int64_t nextStored(std::int64_t diskOffset) const override;

private:
    struct Chain;  // the library's handles: the image first, then its parents
    // The image and its parents opened and linked; null with *error set on failure.
    static std::unique_ptr<Chain> openChain(const std::string& path, std::string* error);
    bool openLane(const std::string& path) override;
    bool readFromLibrary(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const override;

    std::vector<std::unique_ptr<Chain>> lanes_;  // one chain per lane
    std::unique_ptr<VhdxBlockMap> map_;          // null when every range counts as stored
};

}  // namespace tavrel
