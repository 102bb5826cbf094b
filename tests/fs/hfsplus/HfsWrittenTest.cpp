// Volumes from the test-only HFS+ writer, one feature per case. The Sleuth Kit
// reads each written volume first (fls lists what was written, icat gives the
// written bytes), then the parser must list the same entries, plus the deleted
// records the writer left behind, and save the same bytes, in both modes.
#include <gtest/gtest.h>

#include <functional>

#include "fs/hfsplus/HFSP.h"
#include "fs/hfsplus/HfsFixture.h"
#include "support/HfsWriter.h"
#include "support/TestSupport.h"

using namespace tavrel;
using namespace tavrel::test;
using namespace tavrel::test::hfs;

namespace {

struct WrittenCase {
    const char* name;
    HfsLayout layout;
    std::function<void(HfsWriter&)> fill;
    std::vector<std::string> keptOut = {};  // listed by fls, left out by the parser (a duplicate CNID)
    std::function<void(const fs::HFSP&, const std::map<std::string, fs::EntryRef>&)> check = nullptr;
};

// What the writer wrote: live entries by path, deleted ones by "path#cnid".
struct Expected {
    bool folder = false;
    Place place = Place::Tree;
    std::string sha;
};

std::map<std::string, Expected> written(const HfsWriter& w) {
    std::map<std::uint32_t, std::string> folders{{2, ""}};
    std::map<std::string, std::size_t> byName;  // hard links name their iNode file
    std::vector<Bytes> contents;
    for (const HfsItem& i : w.items()) {
        byName.emplace(i.name, contents.size());
        contents.push_back(i.content);
    }
    const std::vector<std::string> shas = contentShas(contents);
    std::map<std::string, Expected> out;
    for (const HfsItem& i : w.items()) {
        std::size_t index = static_cast<std::size_t>(&i - w.items().data());
        if (i.linkTo != 0) index = byName.at("iNode" + std::to_string(i.linkTo));
        std::string name = i.name;
        for (char& c : name)
            if (static_cast<unsigned char>(c) < 0x20) c = '^';
        std::string path = folders.at(i.parent) + name;
        if (i.folder) folders[i.cnid] = path + "/";
        if (i.place != Place::Tree) path += "#" + std::to_string(i.cnid);
        out.emplace(path, Expected{i.folder, i.place, shas[index]});
    }
    return out;
}

// The keys only one of the two maps has, each marked with the side that has it.
template <typename A, typename B>
std::string keyDifference(const A& a, const B& b) {
    std::string out;
    for (const auto& kv : a)
        if (!b.count(kv.first)) out += " <" + kv.first;
    for (const auto& kv : b)
        if (!a.count(kv.first)) out += " >" + kv.first;
    return out;
}

const WrittenCase kCases[] = {
    // Nodes of eight blocks in runs of four or five: most nodes are split
    // between two runs, and the last runs come from the overflow file.
    {"catalog_and_file_in_more_than_eight_runs", {512, 4096, false, 10},
     [](HfsWriter& w) {
         const auto docs = w.folder(2, "docs");
         w.file(docs, "big.bin", patternContent(20 * 512 - 300, 1), 20);
         for (int i = 0; i < 24; ++i) w.file(docs, "n" + std::to_string(i) + ".txt", patternContent(100 + i, i));
     }},
    {"hfsx_names_differing_in_case", {4096, 4096, true, 1},
     [](HfsWriter& w) {
         for (const char* n : {"README", "Readme", "readme"}) w.file(2, n, patternContent(50 + n[1], n[1]));
         w.file(w.folder(2, "docs"), "a", patternContent(10, 1));
         w.file(w.folder(2, "Docs"), "a", patternContent(10, 2));
     }},
    {"duplicate_cnids_keep_the_first_record", {},
     [](HfsWriter& w) {
         w.add({.cnid = 40, .name = "first.txt", .content = patternContent(300, 1)});
         w.add({.cnid = 40, .parent = w.folder(2, "f"), .name = "second.txt", .content = patternContent(300, 2)});
     },
     {"f/second.txt"}},
    {"date_of_zero", {},
     [](HfsWriter& w) { w.add({.name = "epoch.txt", .content = patternContent(10, 1), .date = 0}); }, {},
     [](const fs::HFSP& p, const std::map<std::string, fs::EntryRef>& listed) {
         const fs::EntryTimes t = p.times(listed.at("epoch.txt"));
         ASSERT_TRUE(t.created && t.modified && t.accessed);
         EXPECT_EQ(t.modified->seconds, -2082844800);  // 1904-01-01 00:00 UTC
         EXPECT_FALSE(p.describeEntry(listed.at("epoch.txt")).modified.empty());
     }},
    {"hard_link_saves_the_linked_content", {},
     [](HfsWriter& w) {
         // The iNode file's CNID is the number in its name, as macOS writes it.
         w.add({.cnid = 77, .parent = w.folder(2, kPrivateFolderName), .name = "iNode77", .content = patternContent(5000, 7)});
         w.add({.parent = w.folder(2, "docs"), .name = "link.txt", .linkTo = 77});
     }},
    {"leaf_node_outside_the_catalog_is_found_by_the_deep_scan", {},
     [](HfsWriter& w) {
         const auto docs = w.folder(2, "docs");
         w.file(docs, "kept.txt", patternContent(100, 1));
         w.add({.parent = docs, .name = "lost.txt", .content = patternContent(9000, 2), .place = Place::LooseLeaf});
         w.add({.parent = docs, .name = "stale.txt", .content = patternContent(70, 3), .place = Place::StaleLeaf});
     }},
    {"record_in_the_free_space_of_a_live_leaf", {},
     [](HfsWriter& w) {
         const auto docs = w.folder(2, "docs");
         w.file(docs, "a.txt", patternContent(100, 1));
         w.add({.parent = docs, .name = "gone.txt", .content = patternContent(9000, 2), .place = Place::FreeSpace});
         w.add({.parent = docs, .name = "gone too.txt", .content = patternContent(20, 3), .place = Place::FreeSpace});
     }},
};

class HfsWritten : public ::testing::TestWithParam<WrittenCase> {};

TEST_P(HfsWritten, TheSleuthKitAndTheParserReadWhatWasWritten) {
    const WrittenCase& c = GetParam();
    HfsWriter w(c.layout);
    c.fill(w);
    const Bytes bytes = w.build();
    TempDir dir;
    const std::string raw = (dir / "v.raw").string();
    writeFileBytes(raw, bytes);
    const auto expected = written(w);
    std::map<std::string, Expected> live;
    for (const auto& [path, e] : expected)
        if (e.place == Place::Tree) live.emplace(path, e);

    const auto fls = flsPaths(raw);
    if (!fls.empty()) {
        EXPECT_EQ(keyDifference(fls, live), "");
        std::vector<std::uint64_t> cnids;
        for (const auto& [path, e] : live)
            if (!e.folder && fls.count(path)) cnids.push_back(fls.at(path));
        const auto icat = icatShas(raw, cnids);
        for (const auto& [path, e] : live)
            if (!e.folder && fls.count(path) && std::find(c.keptOut.begin(), c.keptOut.end(), path) == c.keptOut.end()) {
                EXPECT_EQ(icat.at(fls.at(path)), e.sha) << path;
            }
    }

    MemoryImage image(bytes);
    const VolumeView view(image, 0);
    for (const auto mode : {fs::RecoveryMode::Standard, fs::RecoveryMode::Deep}) {
        const bool deep = mode == fs::RecoveryMode::Deep;
        SCOPED_TRACE(deep ? "deep" : "standard");
        fs::HFSP parser(view, fs::ScanOptions{mode});
        WorkControl work;
        ASSERT_EQ(parser.scan(work).result, fs::ScanResult::Done);
        auto listed = listedPaths(parser);
        listed.erase(fs::HFSP::kOrphanName);
        // The standard mode reads the catalog file only, so it misses records
        // outside it and in free space.
        std::map<std::string, Expected> want;
        for (const auto& [path, e] : expected)
            if (e.place == Place::Tree || e.place == Place::StaleLeaf || deep) want.emplace(path, e);
        for (const std::string& path : c.keptOut) want.erase(path);
        EXPECT_EQ(keyDifference(listed, want), "");
        std::vector<fs::EntryRef> files;
        for (const auto& [path, e] : want)
            if (!e.folder && listed.count(path)) files.push_back(listed.at(path));
        const auto saved = savedShas(parser, files);
        for (const auto& [path, e] : want)
            if (!e.folder && listed.count(path)) {
                EXPECT_EQ(saved.at(listed.at(path)), e.sha) << path;
            }
        for (const auto& [path, e] : listed) EXPECT_EQ(parser.isDeleted(e), path.find('#') != std::string::npos) << path;
        EXPECT_EQ(parser.warnings().total(), 0);
        if (c.check) c.check(parser, listed);
    }
}

INSTANTIATE_TEST_SUITE_P(Written, HfsWritten, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
