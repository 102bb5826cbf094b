// Host names for entries read from an image. Names inside a damaged or hostile
// image may hold "/", NUL or control bytes, be empty, be "." or "..", or be
// longer than a host name may be; each of these gets a visible replacement so
// that a saved entry always lands, under a recognisable name, directly inside
// the folder it was meant for.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavrel::browse {

// Longest host file name in bytes (NAME_MAX on Linux file systems).
inline constexpr std::size_t kMaxHostNameBytes = 255;

struct HostName {
    std::string name;
    bool changed = false;  // true when the image name could not be used as it is
};

// "/", NUL and control bytes become "_"; "" and "." become "_", ".." becomes
// "__"; an over-long name is cut on a UTF-8 character boundary, keeping its
// extension.
HostName safeName(std::string_view imageName);

// The n-th alternative of a safe name for when it is taken: "a.txt" gives
// "a (1).txt", "a (2).txt" ...; the result still fits kMaxHostNameBytes.
std::string distinctName(const std::string& safe, unsigned n);

// A plain ASCII form of a safe name (other bytes become "_", at most 100
// bytes), for host file systems that refuse the name as it is (a name that is
// not valid UTF-8, or a file system with a shorter name limit).
std::string asciiFallbackName(const std::string& safe);

// The longest prefix of text of at most maxBytes bytes that does not split a
// UTF-8 sequence.
std::string utf8Prefix(std::string_view text, std::size_t maxBytes);

}  // namespace tavrel::browse
