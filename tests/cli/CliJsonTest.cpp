// The JSON rule of every `--json` command, on the committed FAT and NTFS
// fixtures: each output line is one JSON object, sizes are whole bytes, and
// `recover --json` ends with a summary whose counts are those of its file lines.
#include <gtest/gtest.h>

#include "cli/CliHelpers.h"

using namespace tavrel::test;
namespace fsys = std::filesystem;

namespace {

// Checks the shared fields of one line: numbers that are sizes or counts are
// integers, and a size comes with its display text.
void expectJsonRule(const nlohmann::json& j) {
    ASSERT_TRUE(j.is_object()) << j;
    for (const char* key : {"size", "bytes", "start", "sectors", "entry", "written", "failed", "skipped", "folders"})
        EXPECT_TRUE(!j.contains(key) || j.at(key).is_number_integer()) << key << " in " << j;
    EXPECT_TRUE(!j.contains("size") || j.at("size_text").is_string()) << j;
    if (j.contains("warnings")) {
        EXPECT_TRUE(j.at("warnings").at("unreadable_ranges").is_number_integer()) << j;
        EXPECT_TRUE(j.at("warnings").at("damaged_records").is_number_integer()) << j;
    }
}

}  // namespace

TEST(CliJson, EveryLineIsOneObjectAndRecoverSumsItsFileLines) {
    for (const std::string fixture : {"fat/fat16", "fat/exfat", "ntfs/ntfs-mbr"}) {
        SCOPED_TRACE(fixture);
        const auto image = unpackedFixture(fixture + ".vhd.xz");
        TempDir out;
        const std::string img = q(image);
        const std::vector<std::string> commands = {
            "volumes --json " + img,
            "ls " + img + " --volume 0 --json",
            "ls " + img + " --volume 0 --json --deleted",
            "recover " + img + " --volume 0 --json --out " + q(out / "all"),
        };
        std::vector<nlohmann::json> recovered;
        std::multimap<std::string, nlohmann::json> listed;
        for (const auto& command : commands) {
            SCOPED_TRACE(command);
            const auto r = cli(command);
            ASSERT_TRUE(r.exitCode == 0 || (r.exitCode == 1 && command.rfind("recover", 0) == 0)) << r.err;
            const auto lines = jsonLines(r.out);
            ASSERT_FALSE(lines.empty());
            for (const auto& j : lines) expectJsonRule(j);
            if (command.rfind("recover", 0) == 0) recovered = lines;
            if (command == commands[1]) listed = parseLsJson(r.out);
        }

        // recover: file lines, then the summary; counts and bytes agree with the
        // lines, the listing and the output folder.
        const nlohmann::json summary = recovered.back();
        recovered.pop_back();
        std::map<std::string, std::int64_t> counts;
        for (const auto& line : recovered) {
            const std::string status = line.at("status");
            ++counts[status];
            if (status != "written") continue;
            const auto [first, last] = listed.equal_range(line.at("path").get<std::string>());
            bool sizeListed = false;
            for (auto it = first; it != last; ++it) sizeListed = sizeListed || it->second.at("size") == line.at("bytes");
            EXPECT_TRUE(sizeListed) << line;
        }
        EXPECT_EQ(summary.at("written"), counts["written"]);
        EXPECT_EQ(summary.at("failed"), counts["failed"]);
        EXPECT_EQ(summary.at("skipped"), counts["skipped"]);
        EXPECT_EQ(summary.at("stopped"), false);
        EXPECT_GT(summary.at("folders").get<std::int64_t>(), 0);
        EXPECT_EQ(static_cast<std::int64_t>(filesBelow(out / "all").size()), counts["written"] + counts["failed"]);
    }
}
