#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "browse/EntryWalk.h"
#include "browse/FakeParser.h"
#include "browse/RecycleBin.h"
#include "fs/factory/ParserFactory.h"
#include "image/FileReadSeekRaw.h"
#include "support/RecycleInfo.h"
#include "support/TestSupport.h"

using namespace tavrel;
using namespace tavrel::browse;
using tavrel::test::FakeParser;
using tavrel::test::recycleInfo;

namespace {

std::string asText(const std::vector<std::uint8_t>& b) { return std::string(b.begin(), b.end()); }

}  // namespace

TEST(RecycleBin, ControlFilesOfBothLayoutsAreDecodedAndEveryLengthIsChecked) {
    const std::u16string path = u"C:\\Docs\\plan.txt";
    auto v2 = recycleInfo(2, path);
    auto v2Long = v2;
    v2Long[24] = 200;  // more units than the file holds
    auto v2Zero = v2;
    v2Zero[24] = 0;
    auto v2NoNul = v2;
    v2NoNul[24] = 3;  // the terminator lies outside the stated length
    auto v1 = recycleInfo(1, path);
    auto v1Full = recycleInfo(1, std::u16string(260, u'x'));  // no terminator in the field
    auto v1Short = std::vector<std::uint8_t>(v1.begin(), v1.begin() + 40);  // cut inside the path
    auto v3 = v2;
    v3[0] = 3;
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::optional<std::string> path;
    };
    const Case cases[] = {
        {"version 1", v1, "C:\\Docs\\plan.txt"},
        {"version 2", v2, "C:\\Docs\\plan.txt"},
        {"version 2, length past the end", v2Long, std::nullopt},
        {"version 2, zero length", v2Zero, std::nullopt},
        {"version 2, no terminator within the length", v2NoNul, std::nullopt},
        {"version 1, no terminator", v1Full, std::nullopt},
        {"version 1, cut short", v1Short, std::nullopt},
        {"unknown version", v3, std::nullopt},
        {"empty path", recycleInfo(2, u""), std::nullopt},
        {"header only", std::vector<std::uint8_t>(v2.begin(), v2.begin() + 20), std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(decodeRecycleInfo(c.bytes), c.path) << c.what;
    EXPECT_EQ(formerName("C:\\Docs\\plan.txt"), "plan.txt");
    EXPECT_EQ(formerName("plan.txt"), "plan.txt");
}

TEST(RecycleBin, RecycledFilesGetTheirFormerNamesInEveryBinLayout) {
    FakeParser p;
    const auto bin = p.folder(0, "$Recycle.Bin");
    const auto user = p.folder(bin, "S-1-5-21-1111-2222-3333-1001");
    p.file(user, "$I1A2B3C.txt", asText(recycleInfo(1, u"C:\\Docs\\plan.txt")));
    const auto plan = p.file(user, "$R1A2B3C.txt ", "plan");  // trailing blanks are ignored
    p.file(user, "$IXYZ.doc", asText(recycleInfo(2, u"D:\\Работа\\отчёт.doc")));
    const auto report = p.file(user, "$rxyz.DOC", "report");
    p.file(user, "$IBAD.txt", "damaged");
    const auto bad = p.file(user, "$RBAD.txt", "kept name");
    p.file(0, "$I1A2B3C.txt", asText(recycleInfo(1, u"C:\\elsewhere.txt")));  // outside a bin
    const auto outside = p.file(0, "$R1A2B3C.txt", "x");
    const auto shortBin = p.folder(0, "$RECYCLEBIN");  // a FAT folder's short name
    p.file(shortBin, "$I9.jpg", asText(recycleInfo(2, u"E:\\photo.jpg")));
    const auto photo = p.file(shortBin, "$R9.jpg", "jpg");

    WorkControl work;
    const auto names = recycledNames(p, work);
    const std::map<fs::EntryRef, std::string> expected = {
        {plan, "plan.txt"}, {report, "отчёт.doc"}, {photo, "photo.jpg"}};
    EXPECT_EQ(names, expected);
    EXPECT_FALSE(names.count(bad));
    EXPECT_FALSE(names.count(outside));
}

// Volumes written by ntfs-3g, exfat-fuse (committed, see
// tests/fixtures/recycle/make-fixtures.sh) and mtools (made here), each with a
// version 1, a version 2 and a damaged control file in a per-user folder.
TEST(RecycleBin, RealVolumesShowTheFormerNames) {
    test::TempDir tmp;
    const auto fat32 = test::makeFat32RecycleBin(tmp);
    const std::vector<std::pair<std::string, std::filesystem::path>> cases = {
        {"ntfs", test::unpackedFixture("recycle/ntfs-recycle.raw.xz")},
        {"exFat", test::unpackedFixture("recycle/exfat-recycle.raw.xz")},
        {"fat32", fat32},
    };
    const std::string user = test::kRecycleUser;
    const std::set<std::string> expected = {user + "/$I1A2B3C.txt", user + "/plan.txt",  user + "/$IQ7W8E9.docx",
                                            user + "/Annual report.docx", user + "/$IBAD00.txt", user + "/$RBAD00.txt"};
    for (const auto& [kind, image] : cases) {
        SCOPED_TRACE(kind);
        if (image.empty()) continue;  // mtools missing
        FileReadSeekRaw raw;
        ASSERT_TRUE(raw.open(image.string()));
        auto parser = fs::makeParser(kind, VolumeView(raw, 0), {});
        ASSERT_TRUE(parser);
        WorkControl work;
        ASSERT_TRUE(parser->scan(work).ok());
        EXPECT_EQ(renameRecycled(*parser, work), 2u);
        std::set<std::string> listed;
        walkTree(*parser, std::nullopt, [&](fs::EntryRef e, const std::vector<std::string>& path) {
            const std::string p = joinPath(path);
            if (!parser->isFolder(e) && p.rfind(user + "/", 0) == 0) listed.insert(p);
            return true;
        });
        EXPECT_EQ(listed, expected);
    }
}
