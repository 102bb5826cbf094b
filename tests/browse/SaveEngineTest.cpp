#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include "browse/FakeParser.h"
#include "browse/SaveEngine.h"
#include "browse/SaveTexts.h"
#include "support/TestSupport.h"

namespace fsys = std::filesystem;
using namespace tavrel;
using namespace tavrel::browse;
using tavrel::test::FakeParser;
using tavrel::test::TempDir;

namespace {

// Every path below root (links not followed): "<dir>", "<link>" or the content.
std::map<std::string, std::string> hostTree(const fsys::path& root) {
    std::map<std::string, std::string> out;
    for (auto it = fsys::recursive_directory_iterator(root); it != fsys::recursive_directory_iterator(); ++it) {
        const auto rel = it->path().lexically_relative(root).string();
        if (it->is_symlink()) {
            out[rel] = "<link>";
        } else if (it->is_directory()) {
            out[rel] = "<dir>";
        } else {
            std::ifstream in(it->path(), std::ios::binary);
            out[rel] = std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        }
    }
    return out;
}

fs::EntryTimes timesAt(std::int64_t modified, std::int64_t accessed) {
    fs::EntryTimes t;
    t.modified = fs::TimePoint{modified, 0};
    t.accessed = fs::TimePoint{accessed, 0};
    t.created = fs::TimePoint{modified - 100, 0};
    return t;
}

class RecordingSink final : public ProgressSink {
public:
    void setStatus(const std::string& text) override {
        std::lock_guard lock(mutex);
        statuses.push_back(text);
    }
    void setRange(std::int64_t lower, std::int64_t upper) override {
        std::lock_guard lock(mutex);
        ranges.emplace_back(lower, upper);
    }
    void setPosition(std::int64_t p) override {
        std::lock_guard lock(mutex);
        positions.push_back(p);
    }
    std::mutex mutex;
    std::vector<std::string> statuses;
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
    std::vector<std::int64_t> positions;
};

// A volume tree with the names a damaged or hostile image can hold.
struct HostileTree {
    FakeParser p;
    fs::EntryRef docs, sub, live, gone, slash, dotdot, dot, empty, nul, longName, badClus, selfDot, emptyDir;
    std::string longText;
    HostileTree() {
        docs = p.folder(0, "docs");
        sub = p.folder(docs, "sub");
        p.file(sub, "deep.txt", "deep content");
        gone = p.file(docs, "a.txt", "deleted version", true);
        live = p.file(docs, "a.txt", "live version");
        slash = p.file(docs, "a/b", "slash");
        dotdot = p.file(0, "..", "dotdot");
        dot = p.file(0, ".", "dot");
        empty = p.file(0, "", "empty name");
        nul = p.file(0, std::string("n\0l", 3), "nul");
        longText = std::string(300, 'x') + ".bin";
        longName = p.file(0, longText, "long");
        badClus = p.file(0, "$BadClus", "never written");
        p.node(badClus).skip = true;
        selfDot = p.folder(0, ".");
        p.node(selfDot).noEnter = true;
        p.node(selfDot).children = {docs};  // like NTFS's "." folder: the root again
        emptyDir = p.folder(0, "../escape");
        p.file(emptyDir, "x", "inside");
    }
};

}  // namespace

TEST(SaveEngine, WritesHostileNamesInsideTheOutputFolderOnly) {
    HostileTree t;
    TempDir tmp;
    const auto out = tmp / "out";
    WorkControl work;
    SaveEngine engine(t.p, work);
    EXPECT_EQ(engine.countFiles(std::nullopt), 11);  // $BadClus counts, "." is not entered

    const SaveReport r = engine.saveFolder(std::nullopt, out);
    EXPECT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.written, 10);
    EXPECT_EQ(r.skipped, 1);
    EXPECT_EQ(r.failed, 0);
    EXPECT_TRUE(r.ok());

    const std::string cut = std::string(251, 'x') + ".bin";
    const std::map<std::string, std::string> expected = {
        {"docs", "<dir>"},
        {"docs/sub", "<dir>"},
        {"docs/sub/deep.txt", "deep content"},
        {"docs/a.txt", "deleted version"},
        {"docs/a (1).txt", "live version"},
        {"docs/a_b", "slash"},
        {"__", "dotdot"},
        {"_", "dot"},
        {"_ (1)", "empty name"},
        {"n_l", "nul"},
        {cut, "long"},
        {".._escape", "<dir>"},
        {".._escape/x", "inside"},
    };
    EXPECT_EQ(hostTree(out), expected);
    // Nothing was created beside the output folder.
    EXPECT_EQ(hostTree(tmp.path()).size(), expected.size() + 1);

    // The renamed and replaced names are reported.
    std::set<std::string> noted;
    for (const auto& n : r.notes) noted.insert(n.imagePath);
    EXPECT_TRUE(noted.count("docs/a.txt"));
    EXPECT_TRUE(noted.count("$BadClus"));
    EXPECT_TRUE(noted.count("docs/a/b"));
}

TEST(SaveEngine, NeverFollowsOrOverwritesWhatIsAlreadyInTheOutputFolder) {
    HostileTree t;
    TempDir tmp;
    const auto out = tmp / "out";
    fsys::create_directories(out);
    fsys::create_directories(tmp / "victimdir");
    {
        std::ofstream(tmp / "victim.txt") << "precious";
        std::ofstream(out / "n_l") << "older file";
    }
    fsys::create_symlink(tmp / "victimdir", out / "docs");
    fsys::create_symlink(tmp / "victim.txt", out / "__");
    fsys::create_symlink(tmp / "nowhere", out / "_");  // dangling

    WorkControl work;
    SaveEngine engine(t.p, work);
    const SaveReport r = engine.saveFolder(std::nullopt, out);
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(r.written, 10);

    const auto tree = hostTree(out);
    EXPECT_EQ(tree.at("docs"), "<link>");
    EXPECT_EQ(tree.at("__"), "<link>");
    EXPECT_EQ(tree.at("_"), "<link>");
    EXPECT_EQ(tree.at("n_l"), "older file");
    EXPECT_EQ(tree.at("n_l (1)"), "nul");
    EXPECT_EQ(tree.at("__ (1)"), "dotdot");
    EXPECT_EQ(tree.at("docs (1)/a (1).txt"), "live version");
    EXPECT_EQ(tree.at("docs (1)/sub/deep.txt"), "deep content");
    EXPECT_TRUE(fsys::is_empty(tmp / "victimdir"));
    EXPECT_FALSE(fsys::exists(tmp / "nowhere"));
    std::ifstream in(tmp / "victim.txt");
    std::string victim;
    std::getline(in, victim);
    EXPECT_EQ(victim, "precious");
}

TEST(SaveEngine, SetsAccessAndModificationTimesOfFilesAndFolders) {
    FakeParser p;
    const auto dir = p.folder(0, "dir");
    p.node(dir).times = timesAt(1'000'000'000, 1'100'000'000);
    const auto f = p.file(dir, "f.txt", "x");
    p.node(f).times = timesAt(1'200'000'000, 1'300'000'000);
    p.node(f).times.modified->nanoseconds = 500;
    const auto g = p.file(dir, "no-times.txt", "y");
    (void)g;

    TempDir tmp;
    WorkControl work;
    SaveEngine engine(p, work);
    ASSERT_TRUE(engine.saveFolder(std::nullopt, tmp.path()).ok());

    struct stat st {};
    ASSERT_EQ(::stat((tmp / "dir" / "f.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1'200'000'000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 500);
    EXPECT_EQ(st.st_atim.tv_sec, 1'300'000'000);
    ASSERT_EQ(::stat((tmp / "dir").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1'000'000'000);
    EXPECT_EQ(st.st_atim.tv_sec, 1'100'000'000);
    // An entry without times keeps the time it was written at.
    ASSERT_EQ(::stat((tmp / "dir" / "no-times.txt").c_str(), &st), 0);
    EXPECT_GT(st.st_mtim.tv_sec, 1'600'000'000);
}

TEST(SaveEngine, FolderSaveCountsAndReportsProgressWithTheStatusTexts) {
    // 3 files in 2 sub-folders below the selected folder.
    FakeParser p;
    const auto top = p.folder(0, "top");
    const auto a = p.folder(top, "a");
    const auto b = p.folder(top, "b");
    p.file(a, "1.txt", std::string(3000, '1'));
    p.file(a, "2.txt", "2");
    p.file(b, "3.txt", "3");
    p.file(0, "outside.txt", "not below the selection");

    TempDir tmp;
    RecordingSink sink;
    WorkControl work(&sink);
    std::vector<std::string> details;
    SaveEngine engine(p, work);
    engine.setDetailSink([&](const std::string& s) { details.push_back(s); });
    EXPECT_EQ(engine.countFiles(top), 3);
    const SaveReport r = engine.saveFolder(top, tmp.path());
    EXPECT_EQ(r.written, 3);
    EXPECT_EQ(r.folders, 2);

    // The selected folder's children land directly in the output folder.
    const std::map<std::string, std::string> expected = {
        {"a", "<dir>"}, {"a/1.txt", std::string(3000, '1')}, {"a/2.txt", "2"}, {"b", "<dir>"}, {"b/3.txt", "3"}};
    EXPECT_EQ(hostTree(tmp.path()), expected);

    ASSERT_EQ(sink.ranges.size(), 1u);
    EXPECT_EQ(sink.ranges[0], std::make_pair(std::int64_t{0}, std::int64_t{3}));
    EXPECT_EQ(sink.positions.back(), 3);
    ASSERT_EQ(sink.statuses.size(), 3u);
    EXPECT_EQ(sink.statuses[0], "saving File  " + (tmp / "a" / "1.txt").string());
    ASSERT_EQ(details.size(), 6u);
    EXPECT_EQ(details[0], "File size: 2 kb");
    EXPECT_EQ(details[1], "file is dumped in path  :  " + (tmp / "a" / "1.txt").string() + "   ");

    EXPECT_EQ(texts::countQuestion(true, 3),
              "Number of files found inside this folder = 3 .Do you want to continue dumping these files..?");
    EXPECT_EQ(texts::countQuestion(false, 3),
              "number of files found inside this folder = 3 .Do you want to continue dumping these files..?");

    // A file is not a folder: the folder save does nothing.
    const SaveReport none = engine.saveFolder(p.rootLevel().back(), tmp / "other");
    EXPECT_FALSE(none.error.empty());
    EXPECT_FALSE(fsys::exists(tmp / "other"));
}

TEST(SaveEngine, ReadAndWriteFailuresAreCountedPerFileNeverAsSuccess) {
    FakeParser p;
    const auto bad = p.file(0, "unreadable.bin", "0123456789");
    p.node(bad).failRead = true;
    p.file(0, "big.bin", std::string(64 * 1024, 'b'));
    p.file(0, "ok.txt", "fine");

    TempDir tmp;
    WorkControl work;
    SaveEngine engine(p, work);
    std::vector<FileOutcome> seen;
    engine.setObserver([&](const FileOutcome& o) { seen.push_back(o); });

    // Limit the file size so that writing the big file fails (EFBIG).
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = 16 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const SaveReport r = engine.saveFolder(std::nullopt, tmp.path());
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(r.written, 1);
    EXPECT_EQ(r.failed, 2);
    EXPECT_FALSE(r.ok());
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].result, FileOutcome::Result::Failed);
    EXPECT_NE(seen[0].note.find("could not be read"), std::string::npos);
    EXPECT_EQ(seen[1].result, FileOutcome::Result::Failed);
    EXPECT_NE(seen[1].note.find("write failed"), std::string::npos) << seen[1].note;
    EXPECT_EQ(seen[2].result, FileOutcome::Result::Written);
    // What could be read is kept for the user.
    EXPECT_EQ(tavrel::test::readFileBytes(tmp / "unreadable.bin").size(), 5u);
}

TEST(SaveEngine, UnusableOutputFolderIsAnError) {
    FakeParser p;
    p.file(0, "a", "a");
    TempDir tmp;
    std::ofstream(tmp / "plain-file") << "x";
    WorkControl work;
    SaveEngine engine(p, work);
    const SaveReport r = engine.saveFolder(std::nullopt, tmp / "plain-file");
    EXPECT_FALSE(r.error.empty());
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.written, 0);
}

TEST(SaveEngine, StopEndsTheWalkAndANewSaveClearsIt) {
    FakeParser p;
    for (int i = 0; i < 10; ++i) p.file(0, "f" + std::to_string(i), "data");
    TempDir tmp;
    WorkControl work;
    work.requestStop();  // a stop left over from the scan does not block the save
    SaveEngine engine(p, work);
    int n = 0;
    engine.setObserver([&](const FileOutcome&) {
        if (++n == 3) work.requestStop();
    });
    const SaveReport r = engine.saveFolder(std::nullopt, tmp / "a");
    EXPECT_TRUE(r.stopped);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.written, 3);
    EXPECT_EQ(hostTree(tmp / "a").size(), 3u);

    engine.setObserver({});
    const SaveReport again = engine.saveFolder(std::nullopt, tmp / "b");
    EXPECT_FALSE(again.stopped);
    EXPECT_EQ(again.written, 10);
}

TEST(SaveEngine, SelectionWritesTickedEntriesUnderTheirPaths) {
    FakeParser p;
    const auto a = p.folder(0, "a");
    const auto b = p.folder(a, "b");
    const auto c = p.folder(a, "c");
    const auto f1 = p.file(b, "one.txt", "1");
    p.file(b, "not-ticked.txt", "no");
    const auto f2 = p.file(c, "two.txt", "2");
    p.file(c, "three.txt", "3");
    const auto top = p.file(0, "top.txt", "t");
    p.file(0, "untouched.txt", "u");

    TempDir tmp;
    WorkControl work;
    SaveEngine engine(p, work);
    // f2 sits inside the ticked folder c and must be written once only.
    const std::vector<SaveItem> items = {{f1, {a, b}}, {c, {a}}, {f2, {a, c}}, {top, {}}};
    EXPECT_EQ(engine.countSelection(items), 4);
    const SaveReport r = engine.saveSelection(items, tmp.path());
    EXPECT_EQ(r.written, 4);
    EXPECT_EQ(r.failed, 0);
    const std::map<std::string, std::string> expected = {
        {"a", "<dir>"},          {"a/b", "<dir>"},       {"a/b/one.txt", "1"}, {"a/c", "<dir>"},
        {"a/c/two.txt", "2"}, {"a/c/three.txt", "3"}, {"top.txt", "t"}};
    EXPECT_EQ(hostTree(tmp.path()), expected);

    // Double click: one file straight into the output folder.
    TempDir one;
    const SaveReport single = engine.saveOne(f1, one.path());
    EXPECT_EQ(single.written, 1);
    EXPECT_EQ(single.notes.size(), 0u);
    EXPECT_EQ(single.lastWritten, (one.path() / "one.txt").string());
    EXPECT_EQ(hostTree(one.path()), (std::map<std::string, std::string>{{"one.txt", "1"}}));
}

TEST(SaveEngine, LoopsInTheEntryLinksEndTheWalk) {
    FakeParser p;
    const auto a = p.folder(0, "a");
    const auto b = p.folder(a, "b");
    p.file(b, "f", "x");
    p.node(b).children.push_back(a);  // b lists its own parent
    p.node(b).children.push_back(b);  // and itself

    TempDir tmp;
    WorkControl work;
    SaveEngine engine(p, work);
    EXPECT_EQ(engine.countFiles(std::nullopt), 1);
    const SaveReport r = engine.saveFolder(std::nullopt, tmp.path());
    EXPECT_EQ(r.written, 1);
    EXPECT_EQ(hostTree(tmp.path()).count("a/b/f"), 1u);
}

TEST(SaveEngine, SelectionParentsGetSafeNamesToo) {
    FakeParser p;
    const auto up = p.folder(0, "..");
    const auto inner = p.folder(up, "x/y");
    const auto f = p.file(inner, "f.txt", "f");
    TempDir tmp;
    WorkControl work;
    SaveEngine engine(p, work);
    const SaveReport r = engine.saveSelection({{f, {up, inner}}}, tmp / "out");
    EXPECT_EQ(r.written, 1);
    EXPECT_EQ(r.folders, 2);
    EXPECT_EQ(hostTree(tmp / "out"),
              (std::map<std::string, std::string>{{"__", "<dir>"}, {"__/x_y", "<dir>"}, {"__/x_y/f.txt", "f"}}));
    EXPECT_EQ(hostTree(tmp.path()).size(), 4u);
    ASSERT_EQ(r.notes.size(), 2u);
    EXPECT_EQ(r.notes[0].imagePath, "../");
    EXPECT_EQ(r.notes[1].imagePath, "../x/y/");
}
