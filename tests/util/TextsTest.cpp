#include <gtest/gtest.h>

#include "util/Bytes.h"
#include "util/Texts.h"
#include "util/Unicode.h"
#include "util/WorkControl.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace tavrel;

TEST(Texts, SizeTextPicksTheFirstUnitTheSizeReaches) {
    EXPECT_EQ(sizeText(0), "0 Bytes");
    EXPECT_EQ(sizeText(1023), "1023 Bytes");
    EXPECT_EQ(sizeText(1024), "1.00 KB");
    EXPECT_EQ(sizeText(1536), "1.50 KB");
    EXPECT_EQ(sizeText(1048576), "1.00 MB");
    EXPECT_EQ(sizeText(5LL * 1073741824 / 2), "2.50 GB");
    EXPECT_EQ(mibText(4LL << 30), "4096 MB");
    EXPECT_EQ(mibText(1048575), "0 MB");
}

TEST(Texts, TimeTextUsesTheTwelveHourClock) {
    EXPECT_EQ(timeText({2024, 3, 7, 0, 10, 0}), "03/07/2024  12:10 AM");
    EXPECT_EQ(timeText({2024, 3, 7, 9, 5, 0}), "03/07/2024  09:05 AM");
    EXPECT_EQ(timeText({2024, 3, 7, 12, 30, 0}), "03/07/2024  12:30 PM");
    EXPECT_EQ(timeText({2024, 12, 31, 13, 5, 0}), "12/31/2024  01:05 PM");
    EXPECT_EQ(timeText({1999, 1, 1, 23, 59, 0}), "01/01/1999  11:59 PM");
    EXPECT_EQ(dateText({2001, 2, 3, 0, 0, 0}), "02/03/2001 ");
}

TEST(Texts, CivilAndUnixTimesRoundTrip) {
    for (std::int64_t t : {0LL, 951782400LL /* 2000-02-29 */, 1700000000LL, -86400LL, 4102444800LL}) {
        CivilTime c;
        ASSERT_TRUE(civilFromUnix(t, c));
        EXPECT_EQ(unixFromCivil(c), t);
    }
    CivilTime leap;
    ASSERT_TRUE(civilFromUnix(951782400LL, leap));
    EXPECT_EQ(leap.month, 2);
    EXPECT_EQ(leap.day, 29);
    CivilTime out;
    EXPECT_FALSE(civilFromUnix(INT64_MAX, out));
    // FILETIME of 1970-01-01 plus 1.5 s.
    std::uint32_t ns = 0;
    EXPECT_EQ(unixFromFiletime(116444736000000000ULL + 15000000ULL, &ns), 1);
    EXPECT_EQ(ns, 500000000u);
}

TEST(Bytes, ReadersCheckBoundsAndByteOrder) {
    const std::uint8_t raw[] = {0x01, 0x02, 0x03, 0x04, 0x05};
    const ByteSpan b(raw);
    EXPECT_EQ(le16(b, 0), 0x0201);
    EXPECT_EQ(be16(b, 0), 0x0102);
    EXPECT_EQ(le32(b, 1), 0x05040302u);
    EXPECT_EQ(be32(b, 1), 0x02030405u);
    EXPECT_FALSE(le32At(b, 2).has_value());
    EXPECT_FALSE(le16At(b, SIZE_MAX).has_value());
    EXPECT_EQ(le64(b, 0), 0u);  // lenient form: out of range gives 0
    EXPECT_TRUE(subSpan(b, 4, 2).empty());
    EXPECT_EQ(subSpan(b, 3, 2).size(), 2u);
}

TEST(Unicode, DecodesUtf16AndCodePage437) {
    const std::uint8_t utf16[] = {'G', 0, 0xFC, 0, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8, 'x', 0};
    // "Gü", U+1F600 from a surrogate pair, an unpaired high surrogate, "x".
    EXPECT_EQ(utf8FromUtf16le(ByteSpan(utf16)), "G\xC3\xBC\xF0\x9F\x98\x80\xEF\xBF\xBDx");
    const std::uint8_t cp437[] = {0xE5, 'A', 0x81, 0x9B};
    EXPECT_EQ(utf8FromCp437(ByteSpan(cp437)), "\xCF\x83" "A\xC3\xBC\xC2\xA2");
    EXPECT_TRUE(endsWithIgnoreCase("disk.VHD", "vhd"));
    EXPECT_FALSE(endsWithIgnoreCase("hd", "vhd"));
    EXPECT_TRUE(startsWithIgnoreCase("$i30ABC.txt", "$I"));
    EXPECT_FALSE(startsWithIgnoreCase("$", "$I"));
    EXPECT_EQ(trim(" \t/disk.vhd\r\n"), "/disk.vhd");
    EXPECT_EQ(trim("a b"), "a b");
    EXPECT_EQ(trim(" \t\r\n"), "");
}

TEST(WorkControl, PauseHoldsTheWorkerUntilResumeAndStopEndsIt) {
    WorkControl work;
    std::atomic<int> steps{0};
    work.pause();
    std::thread worker([&] {
        while (work.checkpoint()) {
            ++steps;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(steps.load(), 0);  // paused before the first unit of work
    work.resume();
    while (steps.load() < 5) std::this_thread::yield();
    work.pause();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const int held = steps.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_LE(steps.load(), held + 1);
    work.requestStop();  // a stop while paused must release the worker
    worker.join();
    EXPECT_TRUE(work.stopRequested());
}
