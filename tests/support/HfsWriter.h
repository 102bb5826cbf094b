// A test-only writer of whole HFS+ and HFSX volumes: volume header and its copy,
// allocation bitmap, extents-overflow and catalog B-trees (header, index and
// leaf nodes, thread records) and file content. Besides well-formed volumes it
// writes what a recovering reader must cope with: data forks and a catalog
// file cut into more than eight runs, duplicate CNIDs, dates of 0, hard links,
// and records left behind by deletions (in a leaf node the tree no longer
// reaches, inside or outside the catalog file, or in a live leaf's free space).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrel::test::hfs {

using Bytes = std::vector<std::uint8_t>;

// 2022-01-14 11:19:42 UTC in seconds since 1904-01-01.
inline constexpr std::uint32_t kWriterDate = 3725003982u;
// The private folder that holds hard-linked content (four NULs first).
inline const std::string kPrivateFolderName = std::string(4, '\0') + "HFS+ Private Data";

// Where an item's catalog record is written.
enum class Place {
    Tree,       // in the live B-tree, with a thread record
    StaleLeaf,  // a leaf node of the catalog file that the tree does not reach
    LooseLeaf,  // a leaf node in free blocks outside the catalog file
    FreeSpace,  // the free space of the live leaf it would sort into
};

struct HfsItem {
    std::uint32_t cnid = 0;    // 0: the next unused CNID
    std::uint32_t parent = 2;  // the root folder is 2
    std::string name{};        // one UTF-16 unit per byte
    bool folder = false;
    Bytes content{};
    std::uint32_t date = kWriterDate;  // every date of the record
    std::uint32_t runs = 1;            // data fork runs, one free block between each
    std::uint32_t linkTo = 0;          // hard link to the private folder's "iNode<linkTo>"
    Place place = Place::Tree;
};

struct HfsLayout {
    std::uint32_t blockSize = 4096;
    std::uint16_t nodeSize = 4096;
    bool hfsx = false;              // signature "HX", binary name order
    std::uint32_t catalogRuns = 1;  // the catalog file's runs; past eight they go to overflow
};

class HfsWriter {
public:
    explicit HfsWriter(HfsLayout layout = {}) : layout_(layout) {}

    // Returns the item's CNID.
    std::uint32_t add(HfsItem item);
    std::uint32_t folder(std::uint32_t parent, const std::string& name);
    std::uint32_t file(std::uint32_t parent, const std::string& name, Bytes content, std::uint32_t runs = 1);

    const std::vector<HfsItem>& items() const { return items_; }
    Bytes build() const;

private:
    HfsLayout layout_;
    std::vector<HfsItem> items_;
    std::uint32_t nextCnid_ = 16;
};

// Content of `size` bytes that differs from file to file.
Bytes patternContent(std::size_t size, std::uint32_t seed);

}  // namespace tavrel::test::hfs
