// The JSON line writer the listings use, against the serializer printJsonLine
// uses: every string of up to four bytes drawn from the bytes that matter to
// escaping and UTF-8 checking (quotes, controls, each lead and continuation
// boundary) must come out byte for byte alike, and so must whole lines.
#include <gtest/gtest.h>

#include <array>

#include "cli/JsonFields.h"

using tavrel::cli::JsonObject;

namespace {

std::string library(const JsonObject& j) { return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace); }

std::string ours(std::string_view s) {
    std::string out;
    tavrel::cli::appendJsonString(out, s);
    return out;
}

}  // namespace

TEST(JsonLine, StringsMatchTheLibrarySerializer) {
    constexpr std::array<unsigned char, 24> bytes = {0x00, 0x08, 0x0A, 0x1F, '"',  '\\', 'a',  0x7F,
                                                     0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2,
                                                     0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
    std::string s;
    std::size_t mismatches = 0;
    for (std::size_t length = 1; length <= 4; ++length) {
        std::array<std::size_t, 4> pick{};
        for (bool more = true; more;) {
            s.clear();
            for (std::size_t k = 0; k < length; ++k) s += static_cast<char>(bytes[pick[k]]);
            if (ours(s) != library(JsonObject(s)) && ++mismatches < 5) ADD_FAILURE() << "bytes: " << ours(s);
            more = false;
            for (std::size_t k = 0; k < length && !more; ++k) {
                more = ++pick[k] < bytes.size();
                if (!more) pick[k] = 0;
            }
        }
    }
    EXPECT_EQ(mismatches, 0u);
    const std::string mixed = "\xc3\xbc" "n\xc3\xaf" "code \xe5\x90\x8d \xf0\x9f\x93\x81 tab\there "
                              "\xed\xa0\x80 end\xe2\x82";
    EXPECT_EQ(ours(mixed), library(JsonObject(mixed)));
}

TEST(JsonLine, LinesMatchTheLibrarySerializer) {
    const std::optional<tavrel::fs::TimePoint> times[] = {
        std::nullopt, tavrel::fs::TimePoint{0, 0}, tavrel::fs::TimePoint{1614863106, 120000000},
        tavrel::fs::TimePoint{-62135596800LL, 1}, tavrel::fs::TimePoint{253402300799LL, 999999999},
        tavrel::fs::TimePoint{253402300800LL, 0}, tavrel::fs::TimePoint{5, 1000000000u}};
    for (const auto& t : times) {
        JsonObject j = {{"path", "a/\"b\""}, {"entry", std::uint64_t{18446744073709551615ull}}, {"deleted", true}};
        tavrel::cli::putSize(j, -7, "x");
        j["created"] = tavrel::cli::isoTime(t);
        std::string line;
        tavrel::cli::JsonLine w;
        w.text("path", "a/\"b\"").number("entry", std::uint64_t{18446744073709551615ull}).flag("deleted", true);
        w.number("size", std::int64_t{-7}).text("size_text", "x").time("created", t);
        testing::internal::CaptureStdout();
        w.print();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), library(j) + "\n");
    }
}
