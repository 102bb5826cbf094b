// The members of LibraryChainReader (LibraryChainReader.h). Included by a
// reader's source after its library's header, which then instantiates the
// template for its traits type.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>

#include "image/ImageTexts.h"
#include "image/LibraryChainReader.h"
#include "image/SiblingFile.h"

namespace tavrel {

template <typename Library, typename Map>
struct LibraryChainReader<Library, Map>::Chain {
    std::vector<std::unique_ptr<LibraryHandle<Library>>> files;
    std::string parentName;  // as the image records it
    ~Chain() {
        // A child refers to its parent: the child goes first.
        for (auto& f : files) f.reset();
    }
};

template <typename Library, typename Map>
LibraryChainReader<Library, Map>::LibraryChainReader() = default;
template <typename Library, typename Map>
LibraryChainReader<Library, Map>::~LibraryChainReader() = default;

template <typename Library, typename Map>
auto LibraryChainReader<Library, Map>::openChain(const std::string& path, OpenOutcome* failure)
    -> std::unique_ptr<Chain> {
    auto chain = std::make_unique<Chain>();
    const auto failed = [failure](OpenResult result, std::string text) {
        *failure = {result, -1, std::move(text)};
        return nullptr;
    };
    const auto unreadableParent = [&failed](const std::string& name) {
        return failed(OpenResult::Damaged, imagetexts::parentUnreadable(Library::kFormat, name));
    };
    const std::filesystem::path folder = imageFolder(path);
    std::set<std::filesystem::path> seen;
    std::string current = path;
    std::string recorded;  // the name the child recorded for `current`
    for (;;) {
        auto f = std::make_unique<LibraryHandle<Library>>();
        const bool first = chain->files.empty();
        // The library refuses a damaged or cut file and variants it does not read alike.
        if (!f->handle || !Library::open(f->handle, current))
            return first ? failed(OpenResult::Damaged, Library::kNotThisFormat) : unreadableParent(recorded);
        if (OpenOutcome refused = Library::refusal(f->handle, current); !refused.ok()) {
            *failure = std::move(refused);
            return nullptr;
        }
        typename Library::Handle* handle = f->handle;
        chain->files.push_back(std::move(f));
        const std::optional<std::string> parent = Library::parentName(handle);
        if (!parent) break;
        recorded = *parent;
        if (first) chain->parentName = recorded;
        const auto beside = fileBeside(folder, recorded);
        if (!beside)
            return failed(OpenResult::MissingCompanion,
                          imagetexts::parentNotBeside(Library::kFormat, recorded.empty() ? "?" : recorded));
        // A chain that comes back to a file it holds, or never ends, is refused.
        std::error_code ec;
        const auto canonical = std::filesystem::weakly_canonical(*beside, ec);
        if (!seen.insert(ec ? *beside : canonical).second || chain->files.size() > kMaxParents)
            return unreadableParent(recorded);
        current = beside->string();
    }
    // Parents are attached from the oldest up, each to a complete chain.
    for (std::size_t i = chain->files.size() - 1; i > 0; --i) {
        if (!Library::setParent(chain->files[i - 1]->handle, chain->files[i]->handle))
            return unreadableParent(i == 1 ? chain->parentName : recorded);
    }
    return chain;
}

template <typename Library, typename Map>
bool LibraryChainReader<Library, Map>::open(std::string path) {
    clearOutcome();
    lanes_.clear();
    map_.reset();
    parentName_.clear();
    OpenOutcome failure;
    auto chain = openChain(path, &failure);
    if (!chain) return fail(failure.result, failure.text, failure.offset);
    std::uint64_t mediaSize = 0;
    if (!Library::mediaSize(chain->files.front()->handle, &mediaSize) || mediaSize == 0 ||
        mediaSize > static_cast<std::uint64_t>(INT64_MAX))
        return fail(OpenResult::Damaged, Library::kNotThisFormat);
    const bool parented = chain->files.size() > 1;
    parentName_ = chain->parentName;
    lanes_.push_back(std::move(chain));
    diskSize_ = static_cast<std::int64_t>(mediaSize);
    // The map is used only when it describes the disk the library reads.
    map_ = std::make_unique<Map>();
    if (!map_->open(path) || map_->diskSize() != diskSize_ || map_->hasParent() != parented) map_.reset();
    // Compressed or dynamic blocks hold up to their disk size whatever the
    // file's length: the disk size bounds the data.
    fileLength = diskSize_;
    openMoreLanes(path);
    return true;
}

template <typename Library, typename Map>
bool LibraryChainReader<Library, Map>::openLane(const std::string& path) {
    OpenOutcome failure;
    auto chain = openChain(path, &failure);
    if (!chain) return false;
    lanes_.push_back(std::move(chain));
    return true;
}

template <typename Library, typename Map>
auto LibraryChainReader<Library, Map>::primary() const {
    using Handle = typename Library::Handle;
    return lanes_.empty() ? static_cast<Handle*>(nullptr) : lanes_.front()->files.front()->handle;
}

template <typename Library, typename Map>
bool LibraryChainReader<Library, Map>::readFromLibrary(std::size_t lane, std::int64_t diskOffset,
                                                       MutableByteSpan out) const {
    return readThroughLibrary(lane, diskOffset, out);
}

template <typename Library, typename Map>
bool LibraryChainReader<Library, Map>::readThroughLibrary(std::size_t lane, std::int64_t diskOffset,
                                                          MutableByteSpan out) const {
    if (lane >= lanes_.size()) return false;
    return Library::read(lanes_[lane]->files.front()->handle, out, diskOffset);
}

template <typename Library, typename Map>
bool LibraryChainReader<Library, Map>::isUnallocated(std::int64_t diskOffset, std::int64_t length) const {
    if (!map_ || length <= 0 || diskOffset < 0 || diskOffset >= diskSize_) return false;
    return map_->nextStored(diskOffset) >= std::min(diskSize_, diskOffset + length);
}

template <typename Library, typename Map>
std::int64_t LibraryChainReader<Library, Map>::nextStored(std::int64_t diskOffset) const {
    return map_ ? map_->nextStored(diskOffset) : diskOffset;
}

}  // namespace tavrel
