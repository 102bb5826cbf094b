// Reader for qcow images through libqcow: qcow2 versions 2 and 3 (and the older
// version 1), compressed clusters included. A backing file (a parent qcow image,
// up to kMaxParents deep) is looked for beside the image by the file name the
// image records, never outside the image's folder. Encrypted images are refused.
// Every file is opened read-only; openImage (ImageOpener.h) picks this reader by
// the file's signature, whatever the file is called. libqcow does not say which
// clusters hold data, so no range is reported unallocated.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "image/LibraryImageReader.h"

namespace tavrel {

class FileReadSeekQcow : public LibraryImageReader {
public:
    static constexpr std::size_t kMaxParents = 16;

    FileReadSeekQcow();
    ~FileReadSeekQcow() override;

    bool open(std::string path) override;
    ImageInfo describe() const override;

private:
    struct Chain;  // the library's handles: the image first, then its backing files
    // The image and its backing files opened and linked; null with *error set on failure.
    static std::unique_ptr<Chain> openChain(const std::string& path, std::string* error);
    bool openLane(const std::string& path) override;
    bool readFromLibrary(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const override;

    std::vector<std::unique_ptr<Chain>> lanes_;  // one chain per lane
};

}  // namespace tavrel
