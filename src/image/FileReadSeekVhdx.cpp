#include "image/FileReadSeekVhdx.h"

#ifdef TAVREL_HAVE_LIBVHDI

#include <libvhdi.h>

#include <algorithm>
#include <set>
#include <vector>

#include "image/ImageTexts.h"
#include "image/SiblingFile.h"

namespace tavrel {

namespace {

// One open libvhdi file, closed and freed with its owner.
struct VhdiFile {
    libvhdi_file_t* file = nullptr;
    VhdiFile() { libvhdi_file_initialize(&file, nullptr); }
    ~VhdiFile() {
        if (!file) return;
        libvhdi_file_close(file, nullptr);
        libvhdi_file_free(&file, nullptr);
    }
    VhdiFile(const VhdiFile&) = delete;
    VhdiFile& operator=(const VhdiFile&) = delete;
};

std::uint32_t diskType(libvhdi_file_t* file) {
    std::uint32_t type = 0;
    return libvhdi_file_get_disk_type(file, &type, nullptr) == 1 ? type : 0;
}

std::string parentName(libvhdi_file_t* file) {
    std::size_t size = 0;
    if (libvhdi_file_get_utf8_parent_filename_size(file, &size, nullptr) != 1 || size == 0 || size > 65536) return {};
    std::string name(size, '\0');
    if (libvhdi_file_get_utf8_parent_filename(file, reinterpret_cast<std::uint8_t*>(name.data()), size, nullptr) != 1)
        return {};
    name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
    return name;
}

}  // namespace

struct FileReadSeekVhdx::Chain {
    std::vector<std::unique_ptr<VhdiFile>> files;
    std::string parentName;  // as the image records it
    ~Chain() {
        // A child refers to its parent: the child goes first.
        for (auto& f : files) f.reset();
    }
};

FileReadSeekVhdx::FileReadSeekVhdx() = default;
FileReadSeekVhdx::~FileReadSeekVhdx() = default;

std::unique_ptr<FileReadSeekVhdx::Chain> FileReadSeekVhdx::openChain(const std::string& path, std::string* error) {
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
        auto f = std::make_unique<VhdiFile>();
        const bool first = chain->files.empty();
        int fileType = 0;
        if (!f->file || libvhdi_file_open(f->file, current.c_str(), LIBVHDI_OPEN_READ, nullptr) != 1 ||
            libvhdi_file_get_file_type(f->file, &fileType, nullptr) != 1 || fileType != LIBVHDI_FILE_TYPE_VHDX)
            return failed(first ? std::string(imagetexts::kNotVhdxText) : imagetexts::parentUnreadable("vhdx", recorded));
        const bool differencing = diskType(f->file) == LIBVHDI_DISK_TYPE_DIFFERENTIAL;
        libvhdi_file_t* handle = f->file;
        chain->files.push_back(std::move(f));
        if (!differencing) break;
        recorded = parentName(handle);
        if (first) chain->parentName = recorded;
        const auto parent = fileBeside(folder, recorded);
        if (!parent) return failed(imagetexts::parentNotBeside("vhdx", recorded.empty() ? "?" : recorded));
        // A chain that comes back to a file it holds, or never ends, is refused.
        std::error_code ec;
        const auto canonical = std::filesystem::weakly_canonical(*parent, ec);
        if (!seen.insert(ec ? *parent : canonical).second || chain->files.size() > kMaxParents)
            return failed(imagetexts::parentUnreadable("vhdx", recorded));
        current = parent->string();
    }
    // Parents are attached from the oldest up, each to a complete chain.
    for (std::size_t i = chain->files.size() - 1; i > 0; --i) {
        if (libvhdi_file_set_parent_file(chain->files[i - 1]->file, chain->files[i]->file, nullptr) != 1)
            return failed(imagetexts::parentUnreadable("vhdx", i == 1 ? chain->parentName : recorded));
    }
    return chain;
}

bool FileReadSeekVhdx::open(std::string path) {
    lastError_.clear();
    lanes_.clear();
    map_.reset();
    std::string error;
    auto chain = openChain(path, &error);
    if (!chain) return fail(error);
    size64_t mediaSize = 0;
    if (libvhdi_file_get_media_size(chain->files.front()->file, &mediaSize, nullptr) != 1 || mediaSize == 0 ||
        mediaSize > static_cast<size64_t>(INT64_MAX))
        return fail(imagetexts::kNotVhdxText);
    const bool differencing = chain->files.size() > 1;
    lanes_.push_back(std::move(chain));
    diskSize_ = static_cast<std::int64_t>(mediaSize);
    // The map is used only when it describes the disk libvhdi reads.
    map_ = std::make_unique<VhdxBlockMap>();
    if (!map_->open(path) || map_->diskSize() != diskSize_ || map_->hasParent() != differencing) map_.reset();
    // Dynamic blocks hold up to their disk size whatever the file's length.
    fileLength = diskSize_;
    openMoreLanes(path);
    return true;
}

bool FileReadSeekVhdx::openLane(const std::string& path) {
    std::string error;
    auto chain = openChain(path, &error);
    if (!chain) return false;
    lanes_.push_back(std::move(chain));
    return true;
}

bool FileReadSeekVhdx::readFromLibrary(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const {
    if (lane >= lanes_.size()) return false;
    const ssize_t got =
        libvhdi_file_read_buffer_at_offset(lanes_[lane]->files.front()->file, out.data(), out.size(), diskOffset, nullptr);
    return got >= 0 && static_cast<std::size_t>(got) == out.size();
}

bool FileReadSeekVhdx::isUnallocated(std::int64_t diskOffset, std::int64_t length) const {
    if (!map_ || length <= 0 || diskOffset < 0 || diskOffset >= diskSize_) return false;
    return map_->nextStored(diskOffset) >= std::min(diskSize_, diskOffset + length);
}

std::int64_t FileReadSeekVhdx::nextStored(std::int64_t diskOffset) const {
    return map_ ? map_->nextStored(diskOffset) : diskOffset;
}

ImageInfo FileReadSeekVhdx::describe() const {
    ImageInfo info = readWriteInterface::describe();
    if (lanes_.empty()) return info;
    const Chain& chain = *lanes_.front();
    libvhdi_file_t* file = chain.files.front()->file;
    switch (diskType(file)) {
        case LIBVHDI_DISK_TYPE_FIXED: info.format = "vhdx-fixed"; break;
        case LIBVHDI_DISK_TYPE_DIFFERENTIAL: info.format = "vhdx-differencing"; break;
        default: info.format = "vhdx-dynamic"; break;
    }
    std::uint16_t major = 0, minor = 0;
    if (libvhdi_file_get_format_version(file, &major, &minor, nullptr) == 1)
        info.version = InfoValue::of(std::to_string(major) + "." + std::to_string(minor));
    std::uint32_t sectorBytes = 0;
    if (libvhdi_file_get_bytes_per_sector(file, &sectorBytes, nullptr) == 1)
        info.fields.push_back({"logical_sector_size", "Logical sector size", InfoValue::of(std::int64_t{sectorBytes})});
    if (!chain.parentName.empty())
        info.fields.push_back({"parent", "Parent image", InfoValue::of(chain.parentName)});
    return info;
}

}  // namespace tavrel

#endif  // TAVREL_HAVE_LIBVHDI
