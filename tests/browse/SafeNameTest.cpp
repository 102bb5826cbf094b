#include <gtest/gtest.h>

#include "browse/SafeName.h"

using namespace tavrel::browse;

namespace {

bool validUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

}  // namespace

TEST(SafeName, HostileNamesGetVisibleReplacements) {
    EXPECT_EQ(safeName("a/b").name, "a_b");
    EXPECT_EQ(safeName("").name, "_");
    EXPECT_EQ(safeName(".").name, "_");
    EXPECT_EQ(safeName("..").name, "__");
    EXPECT_EQ(safeName(std::string("a\0b", 3)).name, "a_b");
    EXPECT_EQ(safeName("line\nbreak").name, "line_break");
    EXPECT_EQ(safeName("../../etc/passwd").name, ".._.._etc_passwd");
    for (const char* bad : {"a/b", "", ".", "..", "x\ty"}) EXPECT_TRUE(safeName(bad).changed) << bad;

    // Ordinary names pass unchanged, including dots, blanks and non-ASCII text.
    for (const char* good : {"report.docx", ".hidden", "...", "a b", "r\xc3\xa9sum\xc3\xa9.txt", "$BadClus"}) {
        EXPECT_EQ(safeName(good).name, good);
        EXPECT_FALSE(safeName(good).changed);
    }
}

TEST(SafeName, LongNamesAreCutOnCharacterBoundariesKeepingTheExtension) {
    std::string longName;
    for (int i = 0; i < 200; ++i) longName += "\xc3\xa9";  // 400 bytes of two-byte characters
    longName += ".txt";
    const HostName h = safeName(longName);
    EXPECT_TRUE(h.changed);
    EXPECT_LE(h.name.size(), kMaxHostNameBytes);
    EXPECT_GE(h.name.size(), kMaxHostNameBytes - 1);
    EXPECT_TRUE(validUtf8(h.name));
    EXPECT_EQ(h.name.substr(h.name.size() - 4), ".txt");

    const std::string numbered = distinctName(h.name, 12);
    EXPECT_LE(numbered.size(), kMaxHostNameBytes);
    EXPECT_TRUE(validUtf8(numbered));
    EXPECT_EQ(numbered.substr(numbered.size() - 9), " (12).txt");
}

TEST(SafeName, DistinctNamesNumberBeforeTheExtension) {
    EXPECT_EQ(distinctName("a.txt", 1), "a (1).txt");
    EXPECT_EQ(distinctName("archive.tar.gz", 2), "archive.tar (2).gz");
    EXPECT_EQ(distinctName("README", 3), "README (3)");
    EXPECT_EQ(distinctName(".profile", 1), ".profile (1)");
    EXPECT_EQ(distinctName("_", 1), "_ (1)");
}

TEST(SafeName, AsciiFallbackForHostsThatRefuseAName) {
    EXPECT_EQ(asciiFallbackName("r\xc3\xa9sum\xc3\xa9.txt"), "r__sum__.txt");
    const std::string fallback = asciiFallbackName(std::string(200, 'a') + "\xff.dat");
    EXPECT_EQ(fallback.size(), 100u);
    EXPECT_EQ(fallback.substr(fallback.size() - 10), std::string(5, 'a') + "_.dat");
}
