// "$I" recycle-bin control files for the tests, in both layouts: version 1 (the
// path at byte 24 in a field of 260 units) and version 2 (the path length in
// units, terminator included, at byte 24 and the path at 28).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/ByteWriter.h"
#include "support/TestSupport.h"

namespace tavrel::test {

inline std::vector<std::uint8_t> recycleInfo(int version, const std::u16string& path, std::uint64_t size = 1234) {
    const bool v2 = version == 2;
    const std::size_t at = v2 ? 28 : 24;
    ByteWriter w(v2 ? at + 2 * (path.size() + 1) : 24 + 2 * 260);
    w.le64(0, static_cast<std::uint64_t>(version)).le64(8, size).le64(16, 0x01D9000000000000ULL);
    if (v2) w.le32(24, static_cast<std::uint32_t>(path.size() + 1));
    w.utf16le(at, path);
    return std::vector<std::uint8_t>(w.data(), w.data() + w.size());
}

// The user folder of the recycle bin on the volume made by makeFat32RecycleBin.
inline constexpr const char* kRecycleUser = "$RECYCLE.BIN/S-1-5-21-1111-2222-3333-1001";

// A 40 MiB FAT32 volume (no partition table) made by mkfs.fat and mtools, whose
// recycle bin holds $I1A2B3C.txt (version 1, C:\Docs\plan.txt), $IQ7W8E9.docx
// (version 2, ...\Annual report.docx) and a damaged $IBAD00.txt, each beside
// its "$R" file. Empty path when the tools are missing or fail.
inline std::filesystem::path makeFat32RecycleBin(const TempDir& tmp) {
    if (!haveTool("mkfs.fat") || !haveTool("mcopy") || !haveTool("mmd")) return {};
    const auto img = tmp / "fat32.img";
    const std::string user = std::string("::/") + kRecycleUser;
    writeFileBytes(tmp / "i1", recycleInfo(1, u"C:\\Docs\\plan.txt"));
    writeFileBytes(tmp / "i2", recycleInfo(2, u"C:\\Users\\me\\Desktop\\Annual report.docx"));
    writeFileBytes(tmp / "bad", {1, 0, 0, 0, 0, 0, 0, 0, 9, 9});
    writeFileBytes(tmp / "r", {'d', 'a', 't', 'a'});
    const std::string q = shellQuote(img.string());
    std::string script = "truncate -s 40M " + q + " && mkfs.fat -F 32 " + q + " >/dev/null && mmd -i " + q +
                         " '::/$RECYCLE.BIN' '" + user + "'";
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"i1", "$I1A2B3C.txt"}, {"r", "$R1A2B3C.txt"}, {"i2", "$IQ7W8E9.docx"}, {"r", "$RQ7W8E9.docx"},
             {"bad", "$IBAD00.txt"}, {"r", "$RBAD00.txt"}})
        script += " && mcopy -i " + q + " " + shellQuote((tmp / from).string()) + " '" + user + "/" + to + "'";
    return runCommand(script).exitCode == 0 ? img : std::filesystem::path();
}

}  // namespace tavrel::test
