#include "image/FileReadSeekQcow.h"

#ifdef TAVREL_HAVE_LIBQCOW

#include <libqcow.h>

#include <array>

#include "image/HostFile.h"
#include "image/LibrarySignatures.h"

namespace tavrel {

struct QcowLibrary {
    using Handle = libqcow_file_t;
    static constexpr const char* kFormat = "qcow2";
    static constexpr const char* kNotThisFormat = imagetexts::kNotQcowText;
    static constexpr auto initialize = libqcow_file_initialize;
    static constexpr auto close = libqcow_file_close;
    static constexpr auto free = libqcow_file_free;
    static constexpr auto setParent = libqcow_file_set_parent_file;
    static constexpr auto mediaSize = libqcow_file_get_media_size;
    static constexpr auto readAt = libqcow_file_read_buffer_at_offset;
    static constexpr auto nameSize = libqcow_file_get_utf8_backing_filename_size;
    static constexpr auto name = libqcow_file_get_utf8_backing_filename;

    static bool open(Handle* h, const std::string& path) {
        return libqcow_file_open(h, path.c_str(), LIBQCOW_OPEN_READ, nullptr) == 1;
    }
    // A backing file is recorded by a name of at least one character.
    static bool hasParent(Handle* h) {
        std::size_t size = 0;
        return libqcow_file_get_utf8_backing_filename_size(h, &size, nullptr) == 1 && size > 1;
    }
    // Encrypted images are refused: libqcow reports no method for them and would
    // serve their ciphertext, so the header's own field is asked too.
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
};

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
        case QcowClusterMap::Kind::Compressed:
            ok = map->readCompressed(run, at, piece) && ok;
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
