// Rule files as the Setting page writes them and as both loaders read them:
// field parsing, refusals, record indexes, and damaged or short files.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "raw/RuleFile.h"
#include "raw/RuleTexts.h"
#include "support/TestSupport.h"

namespace tavrel::test {
namespace {

namespace fsys = std::filesystem;
using raw::RuleFields;
using Bytes = std::vector<std::uint8_t>;

RuleFields fields(const std::string& ext, const std::string& start, const std::string& end = "") {
    RuleFields f;
    f.extension = ext;
    f.startSignature = start;
    f.endSignature = end;
    return f;
}

void append(const fsys::path& file, const RuleFields& f) {
    raw::SettingsRecord record;
    ASSERT_EQ(raw::recordFromFields(f, record), "");
    ASSERT_EQ(raw::appendRecord(file.string(), record), "");
}

TEST(RuleFields, BuildRecordsOrRefuse) {
    struct Row {
        const char* name;
        RuleFields fields;
        std::string message;
    };
    RuleFields tooLongCategory = fields("jpg", "0xFF,0xD8");
    tooLongCategory.category = std::string(50, 'c');
    RuleFields badSizeBytes = fields("jpg", "0xFF,0xD8");
    badSizeBytes.sizeFieldBytes = "3";
    RuleFields outside = fields("jpg", "0xFF,0xD8");
    outside.startOffset = "511";
    const Row rows[] = {
        {"empty extension", fields("", "0xFF,0xD8"), raw::texts::kNoExtension},
        {"no signature byte", fields("jpg", ",,"), raw::texts::kNoSignature},
        {"extension over 4", fields("jpegx", "0xFF,0xD8"), raw::texts::kExtensionTooLong},
        {"signature over 10", fields("jpg", "1,2,3,4,5,6,7,8,9,10,11"), raw::texts::kSignatureTooLong},
        {"end over 10", fields("jpg", "1,2", "1,2,3,4,5,6,7,8,9,10,11"), raw::texts::kSignatureTooLong},
        {"category of 50", tooLongCategory, raw::texts::kCategoryTooLong},
        {"size of 3 bytes", badSizeBytes, raw::texts::kSizeBytes},
        {"start outside its sector", outside, raw::texts::kStartOutside},
        {"start of wildcards only", fields("bin", "0x2A,0x2A"), raw::texts::kMatchesEverySector},
    };
    for (const Row& row : rows) {
        raw::SettingsRecord record;
        EXPECT_EQ(raw::recordFromFields(row.fields, record), row.message) << row.name;
    }

    // jpeg, FF D8 FF, nothing else: lengths 4/3/0, no size field, no category.
    raw::SettingsRecord r;
    ASSERT_EQ(raw::recordFromFields(fields("jpeg", "0xFF,0xD8,0xFF"), r), "");
    const auto bytes = raw::encodeRecord(r);
    EXPECT_EQ(bytes[12], 4);
    EXPECT_EQ(bytes[33], 3);
    EXPECT_EQ(bytes[34], 0);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 36, bytes.begin() + 40), std::vector<std::uint8_t>(4, 0xFF));
    EXPECT_EQ(bytes[69], 0);
    EXPECT_EQ(raw::parseSignature("0x89,,0x50"), (std::vector<std::uint8_t>{0x89, 0x50}));
    EXPECT_EQ(raw::parseNumber("12abc"), 12);
    EXPECT_EQ(raw::parseNumber("abc"), 0);
}

TEST(RuleFile, RoundTripThroughBothLoaders) {
    TempDir dir;
    const fsys::path file = dir / "rules.txt";
    RuleFields full = fields("wav", "0x52,0x49,0x46,0x46", "");
    full.startOffset = "0";
    full.sizeFieldOffset = "4";
    full.sizeFieldBytes = "4";
    full.headerSize = "8";
    full.skipSize = "2097152";
    full.approxSize = "5000000000";
    full.category = "Audio é";
    full.sizeIncludesHeader = true;
    append(file, full);
    append(file, fields("png", "0x89,0x50", "0xAE,0x42,0x60,0x82"));
    append(file, fields("jpg", "0xFF,0xD8,0xFF", "0xFF,0xD9"));
    const auto bytes = readFileBytes(file);
    ASSERT_EQ(bytes.size(), 3 * raw::kRecordSize);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(bytes[i * raw::kRecordSize + 35], i);

    for (const bool asDefault : {true, false}) {
        std::vector<raw::SignatureRule> rules;
        const auto result = raw::loadRuleFile(file.string(), asDefault, rules);
        ASSERT_TRUE(result.ok);
        ASSERT_EQ(rules.size(), 3u);
        const raw::SignatureRule& w = rules[0];
        EXPECT_EQ(w.extension, "wav");
        EXPECT_EQ(w.start, (std::vector<std::uint8_t>{0x52, 0x49, 0x46, 0x46}));
        EXPECT_TRUE(w.end.empty());
        EXPECT_EQ(w.sizeFieldOffset, 4);
        EXPECT_EQ(w.sizeFieldBytes, 4);
        EXPECT_EQ(w.headerSize, 8);
        EXPECT_TRUE(w.sizeIncludesHeader);
        EXPECT_EQ(w.skipSize, 2097152);
        EXPECT_EQ(w.approxSize, 5000000000);
        EXPECT_EQ(w.category, "Audio é");
        EXPECT_EQ(rules[1].sizeFieldOffset, -1);
        EXPECT_EQ(rules[2].end, (std::vector<std::uint8_t>{0xFF, 0xD9}));
    }

    // A second file loaded after the first: its rules are indexed after them.
    std::vector<raw::SignatureRule> rules;
    raw::loadRuleFile(file.string(), true, rules);
    raw::loadRuleFile(file.string(), false, rules);
    ASSERT_EQ(rules.size(), 6u);
    for (std::size_t i = 0; i < rules.size(); ++i) EXPECT_EQ(rules[i].index, i);
}

TEST(RuleFile, DamagedFiles) {
    TempDir dir;
    const fsys::path good = dir / "good.txt";
    append(good, fields("jpg", "0xFF,0xD8,0xFF", "0xFF,0xD9"));
    append(good, fields("png", "0x89,0x50", ""));
    const auto bytes = readFileBytes(good);

    struct Row {
        const char* name;
        std::function<Bytes()> make;
        bool userOk, defaultOk;
        std::size_t loaded;  // by the loader that accepts it
    };
    const Row rows[] = {
        {"172 bytes", [&] { return Bytes(bytes.begin(), bytes.begin() + 172); }, false, false, 0},
        {"one byte past a whole record", [&] { Bytes b = bytes; b.push_back(0); return b; }, false, false, 0},
        {"last record says 9 bytes in size",
         [&] { Bytes b = bytes; b[raw::kRecordSize + 40] = 9; return b; }, false, true, 1},
        {"a 1-byte start signature is skipped", [&] { Bytes b = bytes; b[33] = 1; return b; }, true, true, 1},
        {"a start of wildcards only is refused",
         [&] { Bytes b = bytes; b[13] = b[14] = b[15] = 0x2A; return b; }, true, true, 1},
        {"records beyond 1 MiB", [&] { return Bytes(raw::kRecordSize * 6100, 0); }, false, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fsys::path file = dir / "damaged.txt";
        writeFileBytes(file, row.make());
        for (const bool asDefault : {false, true}) {
            std::vector<raw::SignatureRule> rules;
            const auto result = raw::loadRuleFile(file.string(), asDefault, rules);
            const bool ok = asDefault ? row.defaultOk : row.userOk;
            EXPECT_EQ(result.ok, ok);
            if (ok) {
                EXPECT_EQ(rules.size(), row.loaded);
                EXPECT_EQ(result.skipped, 2 - row.loaded);
                EXPECT_EQ(result.message.empty(), row.loaded == 2);
                EXPECT_EQ(result.message.find(raw::texts::kMatchesEverySector) != std::string::npos,
                          std::string(row.name).find("wildcards") != std::string::npos);
            } else {
                EXPECT_EQ(result.message, raw::texts::kInvalidFile);
                EXPECT_TRUE(rules.empty());
            }
        }
    }
    std::vector<raw::SignatureRule> rules;
    EXPECT_EQ(raw::loadRuleFile((dir / "missing.txt").string(), false, rules).message, raw::texts::kCannotOpen);
    EXPECT_FALSE(raw::loadRuleFile("", false, rules).ok);
}

}  // namespace
}  // namespace tavrel::test
