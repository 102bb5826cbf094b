// Reader for qcow images through libqcow: qcow2 versions 2 and 3 (and the older
// version 1), compressed clusters included. A backing file (a parent qcow image,
// up to kMaxParents deep) is looked for beside the image by the file name the
// image records, never outside the image's folder. Encrypted images are refused.
// Every file is opened read-only; openImage (ImageOpener.h) picks this reader by
// the file's signature, whatever the file is called. For the common qcow2
// layouts the image's own cluster map (QcowClusterMap.h) copies plain clusters
// straight from the file and tells which ranges hold nothing; every other
// cluster is read through libqcow.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "image/LibraryImageReader.h"
#include "image/QcowClusterMap.h"

namespace tavrel {

class FileReadSeekQcow : public LibraryImageReader {
public:
    static constexpr std::size_t kMaxParents = 16;

    FileReadSeekQcow();
    ~FileReadSeekQcow() override;

    bool open(std::string path) override;
    ImageInfo describe() const override;
    bool isUnallocated(std::int64_t diskOffset, std::int64_t length) const override;
    std::int64_t nextStored(std::int64_t diskOffset) const override;

private:
    struct Chain;  // the library's handles: the image first, then its backing files
    // The image and its backing files opened and linked; null with *error set on failure.
    static std::unique_ptr<Chain> openChain(const std::string& path, std::string* error);
    bool openLane(const std::string& path) override;
    bool readFromLibrary(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const override;

    bool readThroughLibrary(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const;

    std::vector<std::unique_ptr<Chain>> lanes_;  // one chain per lane
    std::unique_ptr<QcowClusterMap> map_;        // null when libqcow reads everything
};

}  // namespace tavrel
