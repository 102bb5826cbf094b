// The VHDX reader, named after its library so that it is not taken for the VHD
// reader (FileReadSeekVHD.h), which reads VHD files itself. It reads fixed,
// dynamic and differencing VHDX images through libvhdi (LibraryChainReader.h),
// parents found beside the image. libvhdi does not say which blocks hold data:
// the image's own block allocation table (VhdxBlockMap.h) tells which ranges
// hold nothing, so whole-disk walks skip them.
#pragma once

#include "image/LibraryChainReader.h"
#include "image/VhdxBlockMap.h"

namespace tavrel {

struct VhdiLibrary;  // libvhdi's calls (FileReadSeekLibvhdi.cpp)

class FileReadSeekLibvhdi : public LibraryChainReader<VhdiLibrary, VhdxBlockMap> {
public:
    FileReadSeekLibvhdi();
    ~FileReadSeekLibvhdi() override;

    ImageInfo describe() const override;
};

}  // namespace tavrel
