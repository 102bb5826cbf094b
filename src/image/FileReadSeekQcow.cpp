#include "image/FileReadSeekQcow.h"

#ifdef TAVREL_HAVE_LIBQCOW

#include <libqcow.h>

#include <array>

#include "image/HostFile.h"
#include "image/LibraryChainReaderImpl.h"
#include "image/LibrarySignatures.h"

namespace tavrel {

struct QcowLibrary {
    using Handle = libqcow_file_t;
    static constexpr const char* kFormat = "qcow2";
    static constexpr const char* kNotThisFormat = imagetexts::kNotQcowText;

    static void initialize(Handle** h) { libqcow_file_initialize(h, nullptr); }
    static void close(Handle* h) { libqcow_file_close(h, nullptr); }
    static void free(Handle** h) { libqcow_file_free(h, nullptr); }
    static bool open(Handle* h, const std::string& path) {
        return libqcow_file_open(h, path.c_str(), LIBQCOW_OPEN_READ, nullptr) == 1;
    }
    // Encrypted images are refused: libqcow would serve their ciphertext.
    static OpenOutcome refusal(Handle* h, const std::string& path) {
        std::uint32_t method = 0;
        bool encrypted = libqcow_file_get_encryption_method(h, &method, nullptr) != 1 ||
                         method != LIBQCOW_ENCRYPTION_METHOD_NONE;
        HostFile file;
        std::array<std::uint8_t, kQcowCryptOffset + 4> head{};
        std::size_t got = 0;
        if (!file.openReadOnly(path) || !file.readAt(0, head, &got))
            return {OpenResult::Unreadable, 0, imagetexts::kInvalidHandle};
        encrypted = encrypted || qcowEncryptionMethod(ByteSpan(head).first(got)) != 0;
        if (encrypted) return {OpenResult::Unsupported, kQcowCryptOffset, imagetexts::kEncryptedQcowText};
        return {};
    }
    static std::optional<std::string> parentName(Handle* h) {
        std::size_t size = 0;
        if (libqcow_file_get_utf8_backing_filename_size(h, &size, nullptr) != 1 || size == 0 || size > 65536)
            return std::nullopt;
        std::string name(size, '\0');
        if (libqcow_file_get_utf8_backing_filename(h, reinterpret_cast<std::uint8_t*>(name.data()), size, nullptr) != 1)
            return std::nullopt;
        name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
        if (name.empty()) return std::nullopt;
        return name;
    }
    static bool setParent(Handle* child, Handle* parent) {
        return libqcow_file_set_parent_file(child, parent, nullptr) == 1;
    }
    static bool mediaSize(Handle* h, std::uint64_t* size) {
        size64_t bytes = 0;
        if (libqcow_file_get_media_size(h, &bytes, nullptr) != 1) return false;
        *size = bytes;
        return true;
    }
    static bool read(Handle* h, MutableByteSpan out, std::int64_t diskOffset) {
        const ssize_t got = libqcow_file_read_buffer_at_offset(h, out.data(), out.size(), diskOffset, nullptr);
        return got >= 0 && static_cast<std::size_t>(got) == out.size();
    }
};

template class LibraryChainReader<QcowLibrary, QcowClusterMap>;

FileReadSeekQcow::FileReadSeekQcow() = default;
FileReadSeekQcow::~FileReadSeekQcow() = default;

bool FileReadSeekQcow::readFromLibrary(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const {
    const QcowClusterMap* map = this->map();
    if (!map) return readThroughLibrary(lane, diskOffset, out);
    bool ok = true;
    for (std::size_t done = 0; done < out.size();) {
        const std::int64_t at = diskOffset + static_cast<std::int64_t>(done);
        const QcowClusterMap::Run run = map->runAt(at, static_cast<std::int64_t>(out.size() - done));
        if (run.length <= 0) return readThroughLibrary(lane, at, out.subspan(done)) && ok;
        const MutableByteSpan piece = out.subspan(done, static_cast<std::size_t>(run.length));
        switch (run.kind) {
        case QcowClusterMap::Kind::Data:
            ok = map->readData(run.hostOffset, piece) && ok;
            break;
        case QcowClusterMap::Kind::Damaged:
            // What the file holds of a cut cluster is kept; the rest is zeros.
            if (run.hostOffset >= 0)
                map->readData(run.hostOffset, piece);
            else
                std::fill(piece.begin(), piece.end(), std::uint8_t{0});
            ok = false;
            break;
        case QcowClusterMap::Kind::Unallocated:
            if (map->hasParent()) {
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

ImageInfo FileReadSeekQcow::describe() const {
    ImageInfo info = readWriteInterface::describe();
    libqcow_file_t* file = primary();
    if (!file) return info;
    std::uint32_t version = 0;
    libqcow_file_get_format_version(file, &version, nullptr);
    info.format = version == 1 ? "qcow" : "qcow2";
    info.version = InfoValue::of(std::int64_t{version});
    int snapshots = 0;
    if (libqcow_file_get_number_of_snapshots(file, &snapshots, nullptr) == 1)
        info.fields.push_back({"snapshots", "Snapshots", InfoValue::of(std::int64_t{snapshots})});
    if (!parentName().empty()) info.fields.push_back({"parent", "Parent image", InfoValue::of(parentName())});
    return info;
}

}  // namespace tavrel

#endif  // TAVREL_HAVE_LIBQCOW
