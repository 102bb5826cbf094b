#include "image/FileReadSeekLibvhdi.h"

#ifdef TAVREL_HAVE_LIBVHDI

#include <libvhdi.h>


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
    static constexpr auto initialize = libvhdi_file_initialize;
    static constexpr auto close = libvhdi_file_close;
    static constexpr auto free = libvhdi_file_free;
    static constexpr auto setParent = libvhdi_file_set_parent_file;
    static constexpr auto mediaSize = libvhdi_file_get_media_size;
    static constexpr auto readAt = libvhdi_file_read_buffer_at_offset;
    static constexpr auto nameSize = libvhdi_file_get_utf8_parent_filename_size;
    static constexpr auto name = libvhdi_file_get_utf8_parent_filename;

    // libvhdi reads VHD too: only a VHDX is taken.
    static bool open(Handle* h, const std::string& path) {
        int fileType = 0;
        return libvhdi_file_open(h, path.c_str(), LIBVHDI_OPEN_READ, nullptr) == 1 &&
               libvhdi_file_get_file_type(h, &fileType, nullptr) == 1 && fileType == LIBVHDI_FILE_TYPE_VHDX;
    }
    static bool hasParent(Handle* h) { return diskType(h) == LIBVHDI_DISK_TYPE_DIFFERENTIAL; }
    static OpenOutcome refusal(Handle*, const std::string&) { return {}; }
};

FileReadSeekLibvhdi::FileReadSeekLibvhdi() = default;
FileReadSeekLibvhdi::~FileReadSeekLibvhdi() = default;

ImageInfo FileReadSeekLibvhdi::describe() const {
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
