// Edits of the fixture volume's bytes for what the macOS-made image lacks: a
// catalog file and a data fork that continue in the extents-overflow file, a
// hard link, stale leaf-node copies holding records the tree no longer has, and
// other allocation block sizes.
// Everything is written big-endian at offsets computed from the volume itself
// (block size 4096, catalog and extents B-trees of 4096-byte nodes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrel::test::hfs {

using Bytes = std::vector<std::uint8_t>;

void putBe(Bytes& b, std::size_t at, std::uint64_t value, int width);

class VolumeForge {
public:
    explicit VolumeForge(Bytes& bytes);

    std::size_t blockSize() const { return block_; }
    std::size_t catalogNode(std::size_t n) const { return catalog_ + n * nodeSize_; }
    std::size_t extentsNode(std::size_t n) const { return extents_ + n * nodeSize_; }
    // Byte offset of the catalog record (after its key) named `name` in the
    // catalog node at `node`, and of its key; throws when there is none.
    std::size_t recordOf(std::size_t node, const std::string& name) const;
    std::size_t keyOf(std::size_t node, const std::string& name) const;

    // Gives a file record a data fork of `blocks.size()` one-block extents
    // filled with a pattern of the block's index and `size` bytes; extents past
    // the eighth go to an overflow record. Returns the fork's expected content.
    Bytes fragmentFile(std::size_t record, std::uint32_t fileId, const std::vector<std::uint32_t>& blocks,
                       std::uint64_t size);
    // Moves the catalog's leaf node to node `to` of a catalog grown to `to` + 1
    // nodes, placed block by block so that nodes past the eighth come from an
    // overflow record (blocks from `spare` on).
    void spreadCatalog(std::uint32_t to, std::uint32_t spare);
    // Writes the collected overflow records (sorted by key) into extents node 1.
    void writeOverflowLeaf();
    // Lays the volume out for allocation blocks of `blockSize` bytes: every fork
    // of the volume header and of the file records moves, whole, to the free
    // second half of the volume as one extent of the new blocks.
    void rescale(std::uint32_t blockSize);

private:
    struct Overflow {
        std::uint32_t fileId;
        std::uint32_t startBlock;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> extents;
    };
    Bytes& b_;
    std::size_t block_;
    std::size_t catalog_;
    std::size_t extents_;
    std::size_t nodeSize_;
    std::vector<Overflow> overflow_;
};

}  // namespace tavrel::test::hfs
