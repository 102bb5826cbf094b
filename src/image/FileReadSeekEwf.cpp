#include "image/FileReadSeekEwf.h"

#ifdef TAVREL_HAVE_LIBEWF

#include <libewf.h>

#include <array>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "image/HostFile.h"
#include "image/ImageTexts.h"
#include "image/LibraryHandle.h"
#include "image/SiblingFile.h"

namespace tavrel {

namespace {

// The segment files of the set the chosen file starts, as libewf names them
// from the file's name (.E01 -> .E02 ...) in the same folder; the file alone
// when its name follows no segment naming.
std::vector<std::string> segmentFiles(const std::string& path) {
    char** names = nullptr;
    int count = 0;
    std::vector<std::string> out;
    if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names, &count, nullptr) == 1 && names) {
        for (int i = 0; i < count; ++i)
            if (names[i]) out.emplace_back(names[i]);
        libewf_glob_free(names, count, nullptr);
    }
    if (out.empty()) out.push_back(path);
    return out;
}

// The name of the segment after `name` in the set's naming (.E01 ... .E99,
// .EAA ... .EZZ, .FAA ...; the same for .s01 and .L01 sets, in either case);
// empty when the name follows no segment naming.
std::string nextSegmentName(const std::string& name) {
    if (name.size() < 4 || name[name.size() - 4] != '.') return {};
    std::string next = name;
    char* ext = next.data() + next.size() - 3;
    const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    const auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
    if (!letter(ext[0])) return {};
    const char a = std::isupper(static_cast<unsigned char>(ext[0])) ? 'A' : 'a';
    if (digit(ext[1]) && digit(ext[2])) {
        const int n = (ext[1] - '0') * 10 + (ext[2] - '0');
        if (n < 99) {
            ext[1] = static_cast<char>('0' + (n + 1) / 10);
            ext[2] = static_cast<char>('0' + (n + 1) % 10);
        } else {
            ext[1] = ext[2] = a;
        }
        return next;
    }
    if (!letter(ext[1]) || !letter(ext[2])) return {};
    for (int i = 2; i >= 0; --i) {
        if (ext[i] != a + 25) {
            ++ext[i];
            return next;
        }
        ext[i] = a;
    }
    return {};
}

// True when an EWF (version 1) segment file ends with a "next" section: the set
// goes on in another segment. The section chain is followed forwards only, a
// bounded number of steps.
bool moreSegmentsFollow(const std::string& path) {
    HostFile file;
    if (!file.openReadOnly(path)) return false;
    const std::int64_t length = file.length();
    std::array<std::uint8_t, 32> bytes{};
    std::size_t got = 0;
    if (!file.readAt(0, bytes, &got) || got < 13) return false;
    if (std::memcmp(bytes.data() + 1, "VF\x09\x0d\x0a\xff\x00", 7) != 0 || (bytes[0] != 'E' && bytes[0] != 'L'))
        return false;
    constexpr std::int64_t kDescriptorBytes = 76;
    constexpr int kMaxSections = 65536;
    std::int64_t at = 13;
    for (int i = 0; i < kMaxSections && at <= length - kDescriptorBytes; ++i) {
        if (!file.readAt(at, bytes, &got) || got < bytes.size()) return false;
        const char* type = reinterpret_cast<const char*>(bytes.data());
        if (std::strncmp(type, "next", 16) == 0) return true;
        if (std::strncmp(type, "done", 16) == 0) return false;
        const std::uint64_t next = le64(bytes, 16);
        if (next < static_cast<std::uint64_t>(at + kDescriptorBytes) || next > static_cast<std::uint64_t>(length))
            return false;
        at = static_cast<std::int64_t>(next);
    }
    return false;
}

std::string headerValue(libewf_handle_t* handle, const char* id) {
    const auto* key = reinterpret_cast<const std::uint8_t*>(id);
    std::size_t size = 0;
    if (libewf_handle_get_utf8_header_value_size(handle, key, std::strlen(id), &size, nullptr) != 1 || size == 0 ||
        size > 65536)
        return {};
    std::string value(size, '\0');
    if (libewf_handle_get_utf8_header_value(handle, key, std::strlen(id), reinterpret_cast<std::uint8_t*>(value.data()),
                                            size, nullptr) != 1)
        return {};
    value.resize(value.find('\0') == std::string::npos ? value.size() : value.find('\0'));
    return value;
}

std::string hashValue(libewf_handle_t* handle, const char* id) {
    const auto* key = reinterpret_cast<const std::uint8_t*>(id);
    std::size_t size = 0;
    if (libewf_handle_get_utf8_hash_value_size(handle, key, std::strlen(id), &size, nullptr) != 1 || size == 0 ||
        size > 1024)
        return {};
    std::string value(size, '\0');
    if (libewf_handle_get_utf8_hash_value(handle, key, std::strlen(id), reinterpret_cast<std::uint8_t*>(value.data()),
                                          size, nullptr) != 1)
        return {};
    value.resize(value.find('\0') == std::string::npos ? value.size() : value.find('\0'));
    return value;
}

const char* formatName(std::uint8_t format) {
    switch (format) {
        case LIBEWF_FORMAT_ENCASE1: return "EnCase 1";
        case LIBEWF_FORMAT_ENCASE2: return "EnCase 2";
        case LIBEWF_FORMAT_ENCASE3: return "EnCase 3";
        case LIBEWF_FORMAT_ENCASE4: return "EnCase 4";
        case LIBEWF_FORMAT_ENCASE5: return "EnCase 5";
        case LIBEWF_FORMAT_ENCASE6: return "EnCase 6";
        case LIBEWF_FORMAT_ENCASE7: return "EnCase 7";
        case LIBEWF_FORMAT_SMART: return "SMART";
        case LIBEWF_FORMAT_FTK_IMAGER: return "FTK Imager";
        case LIBEWF_FORMAT_LINEN5: return "linen 5";
        case LIBEWF_FORMAT_LINEN6: return "linen 6";
        case LIBEWF_FORMAT_LINEN7: return "linen 7";
        case LIBEWF_FORMAT_EWF: return "EWF";
        case LIBEWF_FORMAT_EWFX: return "EWFX";
        default: return "unknown";
    }
}

}  // namespace

struct EwfLibrary {
    using Handle = libewf_handle_t;
    static constexpr auto initialize = libewf_handle_initialize;
    static constexpr auto close = libewf_handle_close;
    static constexpr auto free = libewf_handle_free;
};

struct FileReadSeekEwf::Handle : LibraryHandle<EwfLibrary> {};

namespace {

// True when a chunk found damaged so far overlaps [offset, offset+length):
// libewf records each such chunk's sectors once, whenever it is first read.
bool damagedWithin(libewf_handle_t* handle, std::int64_t offset, std::int64_t length) {
    std::uint32_t n = 0;
    if (libewf_handle_get_number_of_checksum_errors(handle, &n, nullptr) != 1) return false;
    std::uint32_t sectorBytes = 512;
    libewf_handle_get_bytes_per_sector(handle, &sectorBytes, nullptr);
    for (std::uint32_t i = 0; i < n; ++i) {
        std::uint64_t start = 0, count = 0;
        if (libewf_handle_get_checksum_error(handle, i, &start, &count, nullptr) != 1) continue;
        const auto from = static_cast<std::int64_t>(start * sectorBytes);
        const auto to = static_cast<std::int64_t>((start + count) * sectorBytes);
        if (from < offset + length && offset < to) return true;
    }
    return false;
}

}  // namespace

FileReadSeekEwf::FileReadSeekEwf() = default;
FileReadSeekEwf::~FileReadSeekEwf() = default;

bool FileReadSeekEwf::open(std::string path) {
    clearOutcome();
    lanes_.clear();
    recorded_.clear();
    segments_ = 0;
    files_ = segmentFiles(path);
    const std::vector<std::string>& files = files_;
    // Segments found by name must be regular files inside the chosen one's folder.
    const std::filesystem::path folder = imageFolder(path);
    for (std::size_t i = 1; i < files.size(); ++i) {
        const std::string name = std::filesystem::path(files[i]).filename().string();
        if (namedFileInside(folder, name, nullptr) != NamedFile::Ok)
            return fail(OpenResult::MissingCompanion, imagetexts::e01SegmentRefused(name));
    }
    if (!openLane(path))
        return fail(OpenResult::Damaged, files.size() > 1 || libewf_check_file_signature(path.c_str(), nullptr) == 1
                                             ? imagetexts::kE01SegmentsText
                                             : imagetexts::kNotE01Text);
    Handle* h = lanes_.front().get();
    // The last segment found says another follows: that one is missing (libewf
    // would read its chunks as zeros). A last segment cut short is read as it is,
    // its lost chunks failing their reads.
    if (libewf_handle_segment_files_corrupted(h->handle, nullptr) != 0 && moreSegmentsFollow(files.back())) {
        lanes_.clear();
        const std::string next = nextSegmentName(std::filesystem::path(files.back()).filename().string());
        if (next.empty()) return fail(OpenResult::Damaged, imagetexts::kE01SegmentsText);
        return fail(OpenResult::MissingCompanion, imagetexts::e01SegmentMissing(next));
    }
    size64_t mediaSize = 0;
    if (libewf_handle_get_media_size(h->handle, &mediaSize, nullptr) != 1 || mediaSize == 0 ||
        mediaSize > static_cast<size64_t>(INT64_MAX)) {
        lanes_.clear();
        return fail(OpenResult::Damaged, imagetexts::kNotE01Text);
    }

    std::uint8_t format = 0;
    libewf_handle_get_format(h->handle, &format, nullptr);
    recorded_.push_back({"ewf_format", "EWF format", InfoValue::of(std::string(formatName(format)))});
    recorded_.push_back({"segments", "Segment files", InfoValue::of(static_cast<std::int64_t>(files.size()))});
    const struct {
        const char* id;
        const char* key;
        const char* label;
        bool hash;
    } values[] = {
        {"case_number", "case_number", "Case number", false},
        {"evidence_number", "evidence_number", "Evidence number", false},
        {"examiner_name", "examiner", "Examiner", false},
        {"description", "description", "Description", false},
        {"notes", "notes", "Notes", false},
        {"acquiry_date", "acquired", "Acquired", false},
        {"MD5", "md5", "Stored MD5", true},
        {"SHA1", "sha1", "Stored SHA1", true},
    };
    for (const auto& v : values) {
        const std::string text = v.hash ? hashValue(h->handle, v.id) : headerValue(h->handle, v.id);
        if (!text.empty()) recorded_.push_back({v.key, v.label, InfoValue::of(text)});
    }
    segments_ = files.size();
    diskSize_ = static_cast<std::int64_t>(mediaSize);
    // Compressed chunks hold more than their bytes: the disk size bounds the data.
    fileLength = diskSize_;
    openMoreLanes(path);
    return true;
}

bool FileReadSeekEwf::openLane(const std::string& /*path*/) {
    auto h = std::make_unique<Handle>();
    if (!h->handle) return false;
    std::vector<char*> names;
    for (const std::string& f : files_) names.push_back(const_cast<char*>(f.c_str()));
    if (libewf_handle_open(h->handle, names.data(), static_cast<int>(names.size()), LIBEWF_OPEN_READ, nullptr) != 1)
        return false;
    // A damaged chunk reads as zeros rather than as whatever its bytes inflate to.
    libewf_handle_set_read_zero_chunk_on_error(h->handle, 1, nullptr);
    lanes_.push_back(std::move(h));
    return true;
}

bool FileReadSeekEwf::readFromLibrary(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const {
    if (lane >= lanes_.size()) return false;
    const Handle& h = *lanes_[lane];
    const ssize_t got = libewf_handle_read_random(h.handle, out.data(), out.size(), diskOffset, nullptr);
    return got >= 0 && static_cast<std::size_t>(got) == out.size() &&
           !damagedWithin(h.handle, diskOffset, static_cast<std::int64_t>(out.size()));
}

ImageInfo FileReadSeekEwf::describe() const {
    ImageInfo info = readWriteInterface::describe();
    if (lanes_.empty()) return info;
    info.format = "e01";
    info.fields = recorded_;
    return info;
}

}  // namespace tavrel

#endif  // TAVREL_HAVE_LIBEWF
