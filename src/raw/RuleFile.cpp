#include "raw/RuleFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "raw/RuleTexts.h"
#include "util/Unicode.h"

namespace tavrel::raw {

namespace {

// Reads exactly out.size() bytes at offset; false on a short read or error.
bool readExact(int fd, std::int64_t offset, MutableByteSpan out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(fd, out.data() + done, out.size() - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::string defaultRulePath() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return texts::kDefaultRuleFile;
    // Beside the executable first (a build folder, a copied program); then where
    // an installed package keeps its data, ../share/tavrel/ from the executable.
    const std::filesystem::path beside = exe.parent_path() / texts::kDefaultRuleFile;
    const std::filesystem::path shared = exe.parent_path().parent_path() / "share" / "tavrel" / texts::kDefaultRuleFile;
    if (!std::filesystem::exists(beside, ec) && std::filesystem::is_regular_file(shared, ec)) return shared.string();
    return beside.string();
}

LoadResult loadRuleFile(const std::string& path, bool asDefault, std::vector<SignatureRule>& rules) {
    LoadResult result;
    if (path.empty()) return result;
    Fd file;
    file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result.message = texts::kCannotOpen;
        return result;
    }
    const std::int64_t length = st.st_size;
    const std::int64_t count = length / static_cast<std::int64_t>(kRecordSize);
    const std::int64_t lastAt = (count - 1) * static_cast<std::int64_t>(kRecordSize);
    if (count < 1 || length % static_cast<std::int64_t>(kRecordSize) != 0 || lastAt > kLastRecordLimit) {
        result.message = texts::kInvalidFile;
        return result;
    }
    RecordBytes bytes{};
    if (!asDefault) {
        if (!readExact(file.fd, lastAt, bytes) || decodeRecord(bytes).sizeFieldBytes > 8) {
            result.message = texts::kInvalidFile;
            return result;
        }
    }
    std::vector<SignatureRule> read;
    std::size_t everySector = 0;  // skipped rules that would match every sector
    for (std::int64_t i = 0; i < count; ++i) {
        if (!readExact(file.fd, i * static_cast<std::int64_t>(kRecordSize), bytes)) {
            result.message = texts::kInvalidFile;
            return result;
        }
        const SettingsRecord record = decodeRecord(bytes);
        if (const std::string problem = recordProblem(record); !problem.empty()) {
            ++result.skipped;
            const std::size_t length = std::min<std::size_t>(record.startLength, kMaxSignature);
            if (length >= 2 && matchesEverySector({record.start.begin(), record.start.begin() + length})) ++everySector;
            continue;
        }
        read.push_back(ruleFromRecord(record, rules.size() + read.size()));
    }
    result.ok = true;
    result.loaded = read.size();
    if (result.skipped > everySector)
        result.message =
            std::to_string(result.skipped - everySector) + " damaged rule(s) of " + path + " were skipped.";
    if (everySector > 0)
        result.message += (result.message.empty() ? "" : "\n") + std::to_string(everySector) + " rule(s) of " + path +
                          " were refused: " + texts::kMatchesEverySector;
    rules.insert(rules.end(), read.begin(), read.end());
    return result;
}

std::vector<std::uint8_t> parseSignature(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t comma = text.find(',', from);
        if (comma == std::string::npos) comma = text.size();
        std::string piece(trim(text.substr(from, comma - from)));
        from = comma + 1;
        if (piece.empty()) continue;
        if (piece.size() > 1 && piece[0] == '0' && (piece[1] == 'x' || piece[1] == 'X')) piece = piece.substr(2);
        std::uint64_t value = 0;
        for (const char c : piece) {
            const int digit = c >= '0' && c <= '9' ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) break;
            value = (value << 4) | static_cast<std::uint64_t>(digit);
        }
        bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    }
    return bytes;
}

std::int64_t parseNumber(const std::string& text) {
    const std::string t(trim(text));
    std::int64_t value = 0;
    std::size_t i = 0;
    const bool negative = !t.empty() && t[0] == '-';
    if (negative) i = 1;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
        if (value > (INT64_MAX - 9) / 10) break;  // saturates instead of overflowing
        value = value * 10 + (t[i] - '0');
    }
    return negative ? -value : value;
}

std::string recordFromFields(const RuleFields& f, SettingsRecord& out) {
    SettingsRecord r;
    const std::u16string extension = utf16FromUtf8(std::string(trim(f.extension)));
    if (extension.empty()) return texts::kNoExtension;
    if (extension.size() > kMaxExtension) return texts::kExtensionTooLong;
    r.extension = extension;
    r.extensionLength = static_cast<std::uint8_t>(extension.size());

    const auto start = parseSignature(f.startSignature);
    const auto end = parseSignature(f.endSignature);
    if (start.empty()) return texts::kNoSignature;
    if (start.size() > kMaxSignature || end.size() > kMaxSignature) return texts::kSignatureTooLong;
    if (start.size() < 2 || end.size() == 1) return texts::kShortSignature;
    if (matchesEverySector(start)) return texts::kMatchesEverySector;
    std::copy(start.begin(), start.end(), r.start.begin());
    std::copy(end.begin(), end.end(), r.end.begin());
    r.startLength = static_cast<std::uint8_t>(start.size());
    r.endLength = static_cast<std::uint8_t>(end.size());

    const std::int64_t startOffset = parseNumber(f.startOffset);
    if (startOffset < 0 || startOffset + static_cast<std::int64_t>(start.size()) > 512) return texts::kStartOutside;
    r.startOffset = static_cast<std::int16_t>(startOffset);

    const std::int64_t sizeBytes = parseNumber(f.sizeFieldBytes);
    if (sizeBytes != 0 && sizeBytes != 1 && sizeBytes != 2 && sizeBytes != 4 && sizeBytes != 8) return texts::kSizeBytes;
    r.sizeFieldBytes = static_cast<std::int32_t>(sizeBytes);
    const std::int64_t clampMax = INT32_MAX;
    r.sizeFieldOffset = trim(f.sizeFieldOffset).empty()
                            ? -1
                            : static_cast<std::int32_t>(std::clamp<std::int64_t>(parseNumber(f.sizeFieldOffset), -1, clampMax));
    r.headerSize = static_cast<std::int32_t>(std::clamp<std::int64_t>(parseNumber(f.headerSize), 0, clampMax));
    r.sizeIncludesHeader = f.sizeIncludesHeader ? 1 : 0;
    r.approxSize = std::max<std::int64_t>(parseNumber(f.approxSize), 0);
    r.skipSize = std::max<std::int64_t>(parseNumber(f.skipSize), 0);

    const std::u16string category = utf16FromUtf8(std::string(trim(f.category)));
    if (category.size() > kMaxCategory) return texts::kCategoryTooLong;
    r.category = category;
    out = r;
    return {};
}

std::string appendRecord(const std::string& path, SettingsRecord record) {
    Fd file;
    // O_APPEND: an existing rule file is extended, never emptied.
    file.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    struct stat st {};
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0) return std::system_category().message(errno);
    record.index = static_cast<std::uint8_t>((st.st_size / static_cast<off_t>(kRecordSize)) % 256);
    const RecordBytes bytes = encodeRecord(record);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(file.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? std::system_category().message(errno) : "nothing written";
        done += static_cast<std::size_t>(n);
    }
    if (::close(file.fd) != 0) {
        file.fd = -1;
        return std::system_category().message(errno);
    }
    file.fd = -1;
    return {};
}

}  // namespace tavrel::raw
