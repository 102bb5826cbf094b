// Reader for VHDX images through libvhdi (LibraryChainReader.h): fixed, dynamic
// and differencing over parents found beside the image. libvhdi does not say
// which blocks hold data: the image's own block allocation table (VhdxBlockMap.h)
// tells which ranges hold nothing, so whole-disk walks skip them.
#pragma once

#include "image/LibraryChainReader.h"
#include "image/VhdxBlockMap.h"

namespace tavrel {

struct VhdiLibrary;  // libvhdi's calls (FileReadSeekVhdx.cpp)

class FileReadSeekVhdx : public LibraryChainReader<VhdiLibrary, VhdxBlockMap> {
public:
    FileReadSeekVhdx();
    ~FileReadSeekVhdx() override;

    ImageInfo describe() const override;
};

}  // namespace tavrel
