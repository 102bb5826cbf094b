#include "image/FileReadSeekQcow.h"

#ifdef TAVREL_HAVE_LIBQCOW

#include <libqcow.h>

#include <algorithm>
#include <set>
#include <vector>

#include "image/ImageTexts.h"
#include "image/SiblingFile.h"

namespace tavrel {

namespace {

// One open libqcow file, closed and freed with its owner.
struct QcowFile {
    libqcow_file_t* file = nullptr;
    QcowFile() { libqcow_file_initialize(&file, nullptr); }
    ~QcowFile() {
        if (!file) return;
        libqcow_file_close(file, nullptr);
        libqcow_file_free(&file, nullptr);
    }
    QcowFile(const QcowFile&) = delete;
    QcowFile& operator=(const QcowFile&) = delete;
};

std::string backingName(libqcow_file_t* file) {
    std::size_t size = 0;
    if (libqcow_file_get_utf8_backing_filename_size(file, &size, nullptr) != 1 || size == 0 || size > 65536) return {};
    std::string name(size, '\0');
    if (libqcow_file_get_utf8_backing_filename(file, reinterpret_cast<std::uint8_t*>(name.data()), size, nullptr) != 1)
        return {};
    name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
    return name;
}

bool encrypted(libqcow_file_t* file) {
    std::uint32_t method = 0;
    return libqcow_file_get_encryption_method(file, &method, nullptr) != 1 ||
           method != LIBQCOW_ENCRYPTION_METHOD_NONE;
}

}  // namespace

struct FileReadSeekQcow::Chain {
    std::vector<std::unique_ptr<QcowFile>> files;
    std::string backingName;  // as the image records it
    ~Chain() {
        // A child refers to its backing file: the child goes first.
        for (auto& f : files) f.reset();
    }
};

FileReadSeekQcow::FileReadSeekQcow() = default;
FileReadSeekQcow::~FileReadSeekQcow() = default;

std::unique_ptr<FileReadSeekQcow::Chain> FileReadSeekQcow::openChain(const std::string& path, std::string* error) {
    auto chain = std::make_unique<Chain>();
    const auto failed = [error](std::string text) {
        *error = std::move(text);
        return nullptr;
    };
    const std::filesystem::path folder = imageFolder(path);
    std::set<std::filesystem::path> seen;
    std::string current = path;
    std::string recorded;  // the name the child recorded for `current`
    for (;;) {
        auto f = std::make_unique<QcowFile>();
        const bool first = chain->files.empty();
        if (!f->file || libqcow_file_open(f->file, current.c_str(), LIBQCOW_OPEN_READ, nullptr) != 1)
            return failed(first ? std::string(imagetexts::kNotQcowText) : imagetexts::parentUnreadable("qcow2", recorded));
        if (encrypted(f->file)) return failed(imagetexts::kEncryptedQcowText);
        libqcow_file_t* handle = f->file;
        chain->files.push_back(std::move(f));
        const std::string backing = backingName(handle);
        if (backing.empty()) break;
        recorded = backing;
        if (first) chain->backingName = recorded;
        const auto parent = fileBeside(folder, recorded);
        if (!parent) return failed(imagetexts::parentNotBeside("qcow2", recorded));
        // A chain that comes back to a file it holds, or never ends, is refused.
        std::error_code ec;
        const auto canonical = std::filesystem::weakly_canonical(*parent, ec);
        if (!seen.insert(ec ? *parent : canonical).second || chain->files.size() > kMaxParents)
            return failed(imagetexts::parentUnreadable("qcow2", recorded));
        current = parent->string();
    }
    // Backing files are attached from the oldest up, each to a complete chain.
    for (std::size_t i = chain->files.size() - 1; i > 0; --i) {
        if (libqcow_file_set_parent_file(chain->files[i - 1]->file, chain->files[i]->file, nullptr) != 1)
            return failed(imagetexts::parentUnreadable("qcow2", i == 1 ? chain->backingName : recorded));
    }
    return chain;
}

bool FileReadSeekQcow::open(std::string path) {
    lastError_.clear();
    lanes_.clear();
    map_.reset();
    std::string error;
    auto chain = openChain(path, &error);
    if (!chain) return fail(error);
    size64_t mediaSize = 0;
    if (libqcow_file_get_media_size(chain->files.front()->file, &mediaSize, nullptr) != 1 || mediaSize == 0 ||
        mediaSize > static_cast<size64_t>(INT64_MAX))
        return fail(imagetexts::kNotQcowText);
    const bool backed = chain->files.size() > 1;
    lanes_.push_back(std::move(chain));
    diskSize_ = static_cast<std::int64_t>(mediaSize);
    // The map is used only when it reads the image as libqcow does.
    map_ = std::make_unique<QcowClusterMap>();
    if (!map_->open(path) || map_->diskSize() != diskSize_ || map_->hasBacking() != backed) map_.reset();
    // Compressed clusters hold more than their bytes: the disk size bounds the data.
    fileLength = diskSize_;
    openMoreLanes(path);
    return true;
}

bool FileReadSeekQcow::openLane(const std::string& path) {
    std::string error;
    auto chain = openChain(path, &error);
    if (!chain) return false;
    lanes_.push_back(std::move(chain));
    return true;
}

bool FileReadSeekQcow::readFromLibrary(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const {
    if (!map_) return readThroughLibrary(lane, diskOffset, out);
    bool ok = true;
    for (std::size_t done = 0; done < out.size();) {
        const std::int64_t at = diskOffset + static_cast<std::int64_t>(done);
        const QcowClusterMap::Run run = map_->runAt(at, static_cast<std::int64_t>(out.size() - done));
        if (run.length <= 0) return readThroughLibrary(lane, at, out.subspan(done)) && ok;
        const MutableByteSpan piece = out.subspan(done, static_cast<std::size_t>(run.length));
        switch (run.kind) {
        case QcowClusterMap::Kind::Data:
            ok = map_->readData(run.hostOffset, piece) && ok;
            break;
        case QcowClusterMap::Kind::Damaged:
            // What the file holds of a cut cluster is kept; the rest is zeros.
            if (run.hostOffset >= 0)
                map_->readData(run.hostOffset, piece);
            else
                std::fill(piece.begin(), piece.end(), std::uint8_t{0});
            ok = false;
            break;
        case QcowClusterMap::Kind::Unallocated:
            if (map_->hasBacking()) {
                ok = readThroughLibrary(lane, at, piece) && ok;
                break;
            }
            [[fallthrough]];
        case QcowClusterMap::Kind::Zero:
            std::fill(piece.begin(), piece.end(), std::uint8_t{0});
            break;
        case QcowClusterMap::Kind::Library:
            ok = readThroughLibrary(lane, at, piece) && ok;
            break;
        }
        done += piece.size();
    }
    return ok;
}

bool FileReadSeekQcow::isUnallocated(std::int64_t diskOffset, std::int64_t length) const {
    if (!map_ || length <= 0 || diskOffset < 0 || diskOffset >= diskSize_) return false;
    return map_->nextStored(diskOffset) >= std::min(diskSize_, diskOffset + length);
}

std::int64_t FileReadSeekQcow::nextStored(std::int64_t diskOffset) const {
    return map_ ? map_->nextStored(diskOffset) : diskOffset;
}

bool FileReadSeekQcow::readThroughLibrary(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const {
    if (lane >= lanes_.size()) return false;
    const ssize_t got =
        libqcow_file_read_buffer_at_offset(lanes_[lane]->files.front()->file, out.data(), out.size(), diskOffset, nullptr);
    return got >= 0 && static_cast<std::size_t>(got) == out.size();
}

ImageInfo FileReadSeekQcow::describe() const {
    ImageInfo info = readWriteInterface::describe();
    if (lanes_.empty()) return info;
    const Chain& chain = *lanes_.front();
    libqcow_file_t* file = chain.files.front()->file;
    std::uint32_t version = 0;
    libqcow_file_get_format_version(file, &version, nullptr);
    info.format = version == 1 ? "qcow" : "qcow2";
    info.version = InfoValue::of(std::int64_t{version});
    int snapshots = 0;
    if (libqcow_file_get_number_of_snapshots(file, &snapshots, nullptr) == 1)
        info.fields.push_back({"snapshots", "Snapshots", InfoValue::of(std::int64_t{snapshots})});
    if (!chain.backingName.empty())
        info.fields.push_back({"parent", "Parent image", InfoValue::of(chain.backingName)});
    return info;
}

}  // namespace tavrel

#endif  // TAVREL_HAVE_LIBQCOW
