// The reader shape of a libyal library whose images may have a parent (libqcow's
// backing files, libvhdi's differencing parents): the image and its parents,
// up to kMaxParents deep, opened and linked once per lane. A parent is looked
// for beside the image by the file name the image records, never outside the
// image's folder (SiblingFile.h). The image's own block map (`Map`: an open(path),
// diskSize(), hasParent() and nextStored() over the file) tells which ranges
// hold nothing, when it reads the disk as the library does.
//
// `Library` is a small traits type (see FileReadSeekQcow.cpp, FileReadSeekVhdx.cpp):
//   the handle calls of LibraryHandle.h, and
//   static constexpr const char* kFormat, kNotThisFormat;  // "qcow2", the refusal text
//   static bool open(Handle*, const std::string& path);   // read-only, of this format
//   static OpenOutcome refusal(Handle*, const std::string& path);  // a variant not read, or ok()
//   static std::optional<std::string> parentName(Handle*); // the recorded parent; nullopt: none
//   static bool setParent(Handle* child, Handle* parent);
//   static bool mediaSize(Handle*, std::uint64_t*);
//   static bool read(Handle*, MutableByteSpan, std::int64_t diskOffset);  // exactly, or false
// The members are defined in LibraryChainReaderImpl.h, which only the reader's
// own source includes (beside its library's header) and instantiates.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "image/LibraryHandle.h"
#include "image/LibraryImageReader.h"

namespace tavrel {

template <typename Library, typename Map>
class LibraryChainReader : public LibraryImageReader {
public:
    static constexpr std::size_t kMaxParents = 16;

    LibraryChainReader();
    ~LibraryChainReader() override;

    bool open(std::string path) override;
    bool isUnallocated(std::int64_t diskOffset, std::int64_t length) const override;
    std::int64_t nextStored(std::int64_t diskOffset) const override;

protected:
    // The image's own handle in the first lane (null before a successful open);
    // a Library::Handle*, defined with the other members.
    auto primary() const;
    // The parent's name as the image records it; empty without a parent.
    const std::string& parentName() const { return parentName_; }
    const Map* map() const { return map_.get(); }

    bool readFromLibrary(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const override;
    bool readThroughLibrary(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const;

private:
    struct Chain;  // the library's handles: the image first, then its parents
    // The image and its parents opened and linked; null with *failure set when not.
    static std::unique_ptr<Chain> openChain(const std::string& path, OpenOutcome* failure);
    bool openLane(const std::string& path) override;

    std::vector<std::unique_ptr<Chain>> lanes_;  // one chain per lane
    std::unique_ptr<Map> map_;                   // null when every range counts as stored
    std::string parentName_;
};

}  // namespace tavrel
