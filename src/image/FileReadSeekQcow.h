// Reader for qcow images through libqcow (LibraryChainReader.h): qcow2 versions
// 2 and 3 (and the older version 1), compressed clusters included, over backing
// files found beside the image. Encrypted images are refused. For the common
// qcow2 layouts the image's own cluster map (QcowClusterMap.h) copies plain
// clusters straight from the file and tells which ranges hold nothing; every
// other cluster is read through libqcow.
#pragma once

#include "image/LibraryChainReader.h"
#include "image/QcowClusterMap.h"

namespace tavrel {

struct QcowLibrary;  // libqcow's calls (FileReadSeekQcow.cpp)

class FileReadSeekQcow : public LibraryChainReader<QcowLibrary, QcowClusterMap> {
public:
    FileReadSeekQcow();
    ~FileReadSeekQcow() override;

    ImageInfo describe() const override;

private:
    bool readFromLibrary(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const override;
};

}  // namespace tavrel
