// The reader shape of a libyal library whose images may have a parent (libqcow's
// backing files, libvhdi's differencing parents): the image and its parents, up
// to kMaxParents deep, opened and linked once per lane. A parent is looked for
// beside the image by the file name the image records, never outside the image's
// folder (SiblingFile.h). The image's own block map (`Map`: open(path),
// diskSize(), hasParent(), nextStored()) tells which ranges hold nothing, when
// it reads the disk as the library does.
// `Library` is a traits type (FileReadSeekQcow.cpp, FileReadSeekLibvhdi.cpp): the
// handle calls of LibraryHandle.h, setParent, mediaSize, readAt, nameSize and
// name (the parent's UTF-8 name) as the library's own functions, kFormat and
// kNotThisFormat texts, and open(handle, path), hasParent(handle) and
// refusal(handle, path) (a variant not read, or an ok() outcome). Members are
// used, and so instantiated, only in the reader's own source.
#pragma once

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "image/ImageTexts.h"
#include "image/LibraryHandle.h"
#include "image/LibraryImageReader.h"
#include "image/SiblingFile.h"

namespace tavrel {

template <typename Library, typename Map>
class LibraryChainReader : public LibraryImageReader {
public:
    static constexpr std::size_t kMaxParents = 16;

    bool open(std::string path) override {
        clearOutcome();
        lanes_.clear();
        map_.reset();
        OpenOutcome failure;
        auto chain = openChain(path, &failure);
        if (!chain) return fail(failure.result, failure.text, failure.offset);
        std::uint64_t mediaSize = 0;
        if (Library::mediaSize(chain->files.front()->handle, &mediaSize, nullptr) != 1 || mediaSize == 0 ||
            mediaSize > static_cast<std::uint64_t>(INT64_MAX))
            return fail(OpenResult::Damaged, Library::kNotThisFormat);
        const bool parented = chain->files.size() > 1;
        lanes_.push_back(std::move(chain));
        diskSize_ = static_cast<std::int64_t>(mediaSize);
        map_ = std::make_unique<Map>();
        if (!map_->open(path) || map_->diskSize() != diskSize_ || map_->hasParent() != parented) map_.reset();
        // Compressed or dynamic blocks hold up to their disk size whatever the
        // file's length: the disk size bounds the data.
        fileLength = diskSize_;
        openMoreLanes(path);
        return true;
    }
    bool isUnallocated(std::int64_t diskOffset, std::int64_t length) const override {
        if (!map_ || length <= 0 || diskOffset < 0 || diskOffset >= diskSize_) return false;
        return map_->nextStored(diskOffset) >= std::min(diskSize_, diskOffset + length);
    }
    std::int64_t nextStored(std::int64_t diskOffset) const override {
        return map_ ? map_->nextStored(diskOffset) : diskOffset;
    }

protected:
    // The image's own handle in the first lane (null before a successful open).
    auto primary() const {
        typename Library::Handle* handle = nullptr;
        if (!lanes_.empty()) handle = lanes_.front()->files.front()->handle;
        return handle;
    }
    // The parent's name as the image records it; empty without a parent.
    std::string parentName() const { return lanes_.empty() ? std::string() : lanes_.front()->parentName; }
    const Map* map() const { return map_.get(); }

    bool readFromLibrary(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const override {
        return readThroughLibrary(lane, diskOffset, out);
    }
    bool readThroughLibrary(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const {
        if (lane >= lanes_.size()) return false;
        const auto got = Library::readAt(lanes_[lane]->files.front()->handle, out.data(), out.size(), diskOffset, nullptr);
        return got >= 0 && static_cast<std::size_t>(got) == out.size();
    }

private:
    struct Chain {
        std::vector<std::unique_ptr<LibraryHandle<Library>>> files;  // the image first, then its parents
        std::string parentName;                                      // as the image records it
        ~Chain() {
            // A child refers to its parent: the child goes first.
            for (auto& f : files) f.reset();
        }
    };

    // The parent's name a handle records; nullopt without a parent, empty when unreadable.
    template <typename Handle>
    static std::optional<std::string> recordedParent(Handle* h) {
        if (!Library::hasParent(h)) return std::nullopt;
        std::size_t size = 0;
        if (Library::nameSize(h, &size, nullptr) != 1 || size == 0 || size > 65536) return std::string();
        std::string name(size, '\0');
        if (Library::name(h, reinterpret_cast<std::uint8_t*>(name.data()), size, nullptr) != 1) return std::string();
        name.resize(std::min(name.size(), name.find('\0')));
        return name;
    }

    // The image and its parents opened and linked; null with *failure set when not.
    static std::unique_ptr<Chain> openChain(const std::string& path, OpenOutcome* failure) {
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
            const auto parent = recordedParent(f->handle);
            chain->files.push_back(std::move(f));
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
            if (Library::setParent(chain->files[i - 1]->handle, chain->files[i]->handle, nullptr) != 1)
                return unreadableParent(i == 1 ? chain->parentName : recorded);
        }
        return chain;
    }

    bool openLane(const std::string& path) override {
        OpenOutcome failure;
        auto chain = openChain(path, &failure);
        if (!chain) return false;
        lanes_.push_back(std::move(chain));
        return true;
    }

    std::vector<std::unique_ptr<Chain>> lanes_;  // one chain per lane
    std::unique_ptr<Map> map_;                   // null when every range counts as stored
};

}  // namespace tavrel
