#include "image/FileReadSeekVhdx.h"

#ifdef TAVREL_HAVE_LIBVHDI

#include <libvhdi.h>

#include "image/LibraryChainReaderImpl.h"

namespace tavrel {

namespace {

std::uint32_t diskType(libvhdi_file_t* file) {
    std::uint32_t type = 0;
    return libvhdi_file_get_disk_type(file, &type, nullptr) == 1 ? type : 0;
}

}  // namespace

struct VhdiLibrary {
    using Handle = libvhdi_file_t;
    static constexpr const char* kFormat = "vhdx";
    static constexpr const char* kNotThisFormat = imagetexts::kNotVhdxText;

    static void initialize(Handle** h) { libvhdi_file_initialize(h, nullptr); }
    static void close(Handle* h) { libvhdi_file_close(h, nullptr); }
    static void free(Handle** h) { libvhdi_file_free(h, nullptr); }
    // libvhdi reads VHD too: only a VHDX is taken.
    static bool open(Handle* h, const std::string& path) {
        int fileType = 0;
        return libvhdi_file_open(h, path.c_str(), LIBVHDI_OPEN_READ, nullptr) == 1 &&
               libvhdi_file_get_file_type(h, &fileType, nullptr) == 1 && fileType == LIBVHDI_FILE_TYPE_VHDX;
    }
    static OpenOutcome refusal(Handle*, const std::string&) { return {}; }
    // A differencing image's parent name (empty when it records none).
    static std::optional<std::string> parentName(Handle* h) {
        if (diskType(h) != LIBVHDI_DISK_TYPE_DIFFERENTIAL) return std::nullopt;
        std::size_t size = 0;
        if (libvhdi_file_get_utf8_parent_filename_size(h, &size, nullptr) != 1 || size == 0 || size > 65536)
            return std::string();
        std::string name(size, '\0');
        if (libvhdi_file_get_utf8_parent_filename(h, reinterpret_cast<std::uint8_t*>(name.data()), size, nullptr) != 1)
            return std::string();
        name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
        return name;
    }
    static bool setParent(Handle* child, Handle* parent) {
        return libvhdi_file_set_parent_file(child, parent, nullptr) == 1;
    }
    static bool mediaSize(Handle* h, std::uint64_t* size) {
        size64_t bytes = 0;
        if (libvhdi_file_get_media_size(h, &bytes, nullptr) != 1) return false;
        *size = bytes;
        return true;
    }
    static bool read(Handle* h, MutableByteSpan out, std::int64_t diskOffset) {
        const ssize_t got = libvhdi_file_read_buffer_at_offset(h, out.data(), out.size(), diskOffset, nullptr);
        return got >= 0 && static_cast<std::size_t>(got) == out.size();
    }
};

template class LibraryChainReader<VhdiLibrary, VhdxBlockMap>;

FileReadSeekVhdx::FileReadSeekVhdx() = default;
FileReadSeekVhdx::~FileReadSeekVhdx() = default;

ImageInfo FileReadSeekVhdx::describe() const {
    ImageInfo info = readWriteInterface::describe();
    libvhdi_file_t* file = primary();
    if (!file) return info;
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
    if (!parentName().empty()) info.fields.push_back({"parent", "Parent image", InfoValue::of(parentName())});
    return info;
}

}  // namespace tavrel

#endif  // TAVREL_HAVE_LIBVHDI
