#include "browse/RecycleBin.h"

#include <exception>
#include <vector>

#include "util/Unicode.h"

namespace tavrel::browse {

namespace {

constexpr std::size_t kPathAt = 24;
constexpr std::size_t kPathAtV2 = 28;
constexpr std::size_t kV1PathUnits = 260;

// UTF-16LE text of at most maxUnits units at offset, ending at its first NUL;
// nullopt when no NUL lies inside the field or the text is empty.
std::optional<std::string> terminatedText(ByteSpan bytes, std::size_t offset, std::size_t maxUnits) {
    if (offset > bytes.size()) return std::nullopt;
    const std::size_t units = std::min(maxUnits, (bytes.size() - offset) / 2);
    for (std::size_t i = 0; i < units; ++i) {
        if (le16(bytes, offset + 2 * i) != 0) continue;
        if (i == 0) return std::nullopt;
        return utf8FromUtf16le(subSpan(bytes, offset, 2 * i));
    }
    return std::nullopt;
}

// Collects what saveFile writes, up to a limit; false (ending the save) beyond it.
class BoundedSink final : public fs::ByteSink {
public:
    bool write(ByteSpan bytes) override {
        if (bytes.size() > kMaxRecycleInfoSize - data.size()) {
            tooLong = true;
            return false;
        }
        data.insert(data.end(), bytes.begin(), bytes.end());
        return true;
    }
    std::vector<std::uint8_t> data;
    bool tooLong = false;
};

std::string trimmedRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

bool isRecycleFolderName(const std::string& name) {
    return equalsIgnoreCase(trimmedRight(name), "$RECYCLE.BIN") || trimmedRight(name) == "$RECYCLEBIN";
}

// Pairs the "$I" and "$R" files of one folder.
void collectFolder(fs::Parser& parser, fs::EntryRef folder, WorkControl& work,
                   std::map<fs::EntryRef, std::string>& out) {
    const std::vector<fs::EntryRef> entries = parser.children(folder);
    std::map<std::string, std::string> byKey;  // "$R..." in upper case -> former name
    for (const fs::EntryRef e : entries) {
        if (!work.checkpoint()) return;
        const std::string name = trimmedRight(parser.name(e));
        if (parser.isFolder(e) || !startsWithIgnoreCase(name, "$I") || parser.size(e) < 0 ||
            static_cast<std::uint64_t>(parser.size(e)) > kMaxRecycleInfoSize)
            continue;
        BoundedSink sink;
        bool read = false;
        try {
            read = parser.saveFile(e, sink, work);
        } catch (const std::exception&) {
            read = false;  // an unreadable control file is passed over like a damaged one
        }
        parser.takeMessage();  // a failed read of a control file is no news for the user
        if (!read || sink.tooLong) continue;
        const auto path = decodeRecycleInfo(sink.data);
        if (!path) continue;
        const std::string former = formerName(*path);
        if (former.empty()) continue;
        std::string key = "$R" + name.substr(2);
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        byKey[key] = former;
    }
    if (byKey.empty()) return;
    for (const fs::EntryRef e : entries) {
        std::string key = trimmedRight(parser.name(e));
        if (key.empty()) continue;
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (const auto it = byKey.find(key); it != byKey.end()) out[e] = it->second;
    }
}

}  // namespace

std::optional<std::string> decodeRecycleInfo(ByteSpan bytes) {
    const auto version = le64At(bytes, 0);
    if (!version) return std::nullopt;
    if (*version == 1) return terminatedText(bytes, kPathAt, kV1PathUnits);
    if (*version == 2) {
        const auto units = le32At(bytes, kPathAt);
        if (!units || *units == 0 || *units > 32768 || !fits(bytes.size(), kPathAtV2, 2 * std::size_t{*units}))
            return std::nullopt;
        return terminatedText(bytes, kPathAtV2, *units);
    }
    return std::nullopt;
}

std::string formerName(const std::string& path) {
    const auto slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::map<fs::EntryRef, std::string> recycledNames(fs::Parser& parser, WorkControl& work) {
    std::map<fs::EntryRef, std::string> out;
    for (const fs::EntryRef bin : parser.rootLevel()) {
        if (!parser.isFolder(bin) || !isRecycleFolderName(parser.name(bin))) continue;
        // The folder's own files (FAT layouts) and those of its per-user folders.
        collectFolder(parser, bin, work, out);
        for (const fs::EntryRef user : parser.children(bin))
            if (parser.isFolder(user) && parser.enterInSave(user)) collectFolder(parser, user, work, out);
    }
    return out;
}

std::size_t renameRecycled(fs::Parser& parser, WorkControl& work) {
    const auto names = recycledNames(parser, work);
    for (const auto& [entry, name] : names) parser.setShownName(entry, name);
    return names.size();
}

}  // namespace tavrel::browse
