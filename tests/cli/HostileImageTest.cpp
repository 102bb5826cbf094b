// A real FAT16 image whose long file name was edited to hold "/": ls shows
// the name as stored, recover writes it under a safe name inside the output
// folder and never creates the folder the "/" suggests.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "cli/CliHelpers.h"

using namespace tavrel::test;
namespace fsys = std::filesystem;

namespace {

std::string utf16le(const std::string& ascii) {
    std::string out;
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

}  // namespace

TEST(HostileImage, SlashInsideALongNameStaysInsideTheOutputFolder) {
    if (!fsys::exists(fixturePath("fat/fat16.files"))) GTEST_SKIP() << "no FAT16 fixture";
    const auto original = unpackedFixture("fat/fat16.vhd.xz");
    TempDir tmp;
    const auto image = tmp / "edited.vhd";
    fsys::copy_file(original, image);

    // "Report-2024.md": the long-name slot holds "t-2024" as UTF-16 at one run.
    auto bytes = readFileBytes(image);
    const std::string needle = utf16le("t-2024");
    const auto it = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end());
    ASSERT_NE(it, bytes.end());
    ASSERT_EQ(std::search(it + 1, bytes.end(), needle.begin(), needle.end()), bytes.end()) << "not unique";
    *(it + 2) = '/';
    writeFileBytes(image, bytes);

    const auto ls = cli("ls " + q(image) + " --volume 0");
    ASSERT_EQ(ls.exitCode, 0) << ls.err;
    EXPECT_NE(ls.out.find("f - 3000 Report/2024.md\n"), std::string::npos) << ls.out;

    const auto out = tmp / "out";
    const auto r = cli("recover " + q(image) + " --volume 0 --out " + q(out));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Report/2024.md"), std::string::npos) << "the changed name is reported";
    EXPECT_FALSE(fsys::exists(out / "Report"));
    ASSERT_TRUE(fsys::is_regular_file(out / "Report_2024.md"));

    // The content is the original file's.
    std::ifstream files(fixturePath("fat/fat16.files"));
    std::string line;
    bool compared = false;
    while (std::getline(files, line)) {
        if (line.size() > 65 && line.substr(line.size() - 15) == " Report-2024.md") {
            EXPECT_EQ(sha256File(out / "Report_2024.md"), line.substr(0, 64));
            compared = true;
        }
    }
    EXPECT_TRUE(compared);
    // Nothing beside the output folder.
    std::vector<std::string> beside;
    for (const auto& e : fsys::directory_iterator(tmp.path())) beside.push_back(e.path().filename().string());
    std::sort(beside.begin(), beside.end());
    EXPECT_EQ(beside, (std::vector<std::string>{"edited.vhd", "out"}));
}
