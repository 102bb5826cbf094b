#include "support/HfsForge.h"

#include <algorithm>
#include <stdexcept>
#include <tuple>

#include "util/Bytes.h"

namespace tavrel::test::hfs {

void putBe(Bytes& b, std::size_t at, std::uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i, value >>= 8) b.at(at + static_cast<std::size_t>(i)) = value & 0xFF;
}

VolumeForge::VolumeForge(Bytes& bytes) : b_(bytes) {
    block_ = be32(b_, 1024 + 40);
    catalog_ = std::size_t{be32(b_, 1024 + 288)} * block_;
    extents_ = std::size_t{be32(b_, 1024 + 208)} * block_;
    nodeSize_ = be16(b_, catalog_ + 32);
}

std::size_t VolumeForge::keyOf(std::size_t node, const std::string& name) const {
    const std::size_t records = be16(b_, node + 10);
    for (std::size_t i = 1; i <= records; ++i) {
        const std::size_t key = node + be16(b_, node + nodeSize_ - 2 * i);
        const std::size_t length = be16(b_, key + 6);
        std::string stored;
        for (std::size_t c = 0; c < length; ++c) stored += static_cast<char>(be16(b_, key + 8 + 2 * c));
        if (stored == name) return key;
    }
    throw std::runtime_error("no record named " + name);
}

std::size_t VolumeForge::recordOf(std::size_t node, const std::string& name) const {
    const std::size_t key = keyOf(node, name);
    return key + 2 + be16(b_, key);
}

Bytes VolumeForge::fragmentFile(std::size_t record, std::uint32_t fileId, const std::vector<std::uint32_t>& blocks,
                                std::uint64_t size) {
    Bytes content;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const std::size_t at = std::size_t{blocks[i]} * block_;
        for (std::size_t j = 0; j < block_; ++j) b_.at(at + j) = static_cast<std::uint8_t>((i * 131 + j * 7 + j / 251) & 0xFF);
        content.insert(content.end(), b_.begin() + static_cast<std::ptrdiff_t>(at),
                       b_.begin() + static_cast<std::ptrdiff_t>(at + block_));
    }
    content.resize(size);
    const std::size_t fork = record + 88;
    putBe(b_, fork, size, 8);
    putBe(b_, fork + 12, blocks.size(), 4);
    for (std::size_t i = 0; i < 8; ++i) {
        putBe(b_, fork + 16 + 8 * i, i < blocks.size() ? blocks[i] : 0, 4);
        putBe(b_, fork + 20 + 8 * i, i < blocks.size() ? 1 : 0, 4);
    }
    if (blocks.size() > 8) {
        Overflow o{fileId, 8, {}};
        for (std::size_t i = 8; i < blocks.size() && i < 16; ++i) o.extents.emplace_back(blocks[i], 1);
        overflow_.push_back(o);
    }
    return content;
}

void VolumeForge::spreadCatalog(std::uint32_t to, std::uint32_t spare) {
    const std::size_t first = catalog_ / block_;
    const std::size_t leaf = catalogNode(1);
    const Bytes leafBytes(b_.begin() + static_cast<std::ptrdiff_t>(leaf),
                          b_.begin() + static_cast<std::ptrdiff_t>(leaf + nodeSize_));
    std::fill_n(b_.begin() + static_cast<std::ptrdiff_t>(leaf), nodeSize_, 0);
    std::fill_n(b_.begin() + static_cast<std::ptrdiff_t>(std::size_t{spare} * block_), (to - 7) * block_, 0);
    std::copy(leafBytes.begin(), leafBytes.end(),
              b_.begin() + static_cast<std::ptrdiff_t>((spare + to - 8) * std::size_t{block_}));
    // Eight one-block extents in the volume header, the rest in one overflow run.
    const std::size_t fork = 1024 + 272;
    putBe(b_, fork, std::uint64_t{to + 1} * block_, 8);
    putBe(b_, fork + 12, to + 1, 4);
    for (std::size_t i = 0; i < 8; ++i) {
        putBe(b_, fork + 16 + 8 * i, first + i, 4);
        putBe(b_, fork + 20 + 8 * i, 1, 4);
    }
    overflow_.push_back({4, 8, {{spare, to - 7}}});
    putBe(b_, catalog_ + 16, to, 4);  // root node
    putBe(b_, catalog_ + 24, to, 4);  // first leaf
    putBe(b_, catalog_ + 28, to, 4);  // last leaf
    putBe(b_, catalog_ + 36, to + 1, 4);
}

void VolumeForge::writeOverflowLeaf() {
    std::sort(overflow_.begin(), overflow_.end(), [](const Overflow& a, const Overflow& b) {
        return std::tie(a.fileId, a.startBlock) < std::tie(b.fileId, b.startBlock);
    });
    const std::size_t node = extentsNode(1);
    std::fill_n(b_.begin() + static_cast<std::ptrdiff_t>(node), nodeSize_, 0);
    b_[node + 8] = 0xFF;  // leaf
    b_[node + 9] = 1;
    putBe(b_, node + 10, overflow_.size(), 2);
    std::size_t at = 14;
    for (std::size_t i = 0; i < overflow_.size(); ++i) {
        putBe(b_, node + nodeSize_ - 2 * (i + 1), at, 2);
        putBe(b_, node + at, 10, 2);
        putBe(b_, node + at + 4, overflow_[i].fileId, 4);
        putBe(b_, node + at + 8, overflow_[i].startBlock, 4);
        for (std::size_t e = 0; e < overflow_[i].extents.size(); ++e) {
            putBe(b_, node + at + 12 + 8 * e, overflow_[i].extents[e].first, 4);
            putBe(b_, node + at + 16 + 8 * e, overflow_[i].extents[e].second, 4);
        }
        at += 76;
    }
    putBe(b_, node + nodeSize_ - 2 * (overflow_.size() + 1), at, 2);
    const std::size_t header = extentsNode(0);
    putBe(b_, header + 14, 1, 2);  // depth
    putBe(b_, header + 16, 1, 4);  // root node
    putBe(b_, header + 20, overflow_.size(), 4);
    putBe(b_, header + 24, 1, 4);  // first leaf
    putBe(b_, header + 28, 1, 4);  // last leaf
    putBe(b_, header + 40, be32(b_, header + 40) - 1, 4);
    b_[header + be16(b_, header + nodeSize_ - 6)] |= 0x40;  // node 1 in use in the map record
}

void VolumeForge::rescale(std::uint32_t blockSize) {
    std::size_t next = (b_.size() / 2 + blockSize - 1) / blockSize * blockSize;  // unused in the fixture
    auto moveFork = [&](std::size_t fork) {
        Bytes data;
        for (std::size_t i = 0; i < 8; ++i) {
            const std::size_t start = std::size_t{be32(b_, fork + 16 + 8 * i)} * block_;
            const std::size_t count = std::size_t{be32(b_, fork + 20 + 8 * i)} * block_;
            if (count == 0) break;
            data.insert(data.end(), b_.begin() + static_cast<std::ptrdiff_t>(start),
                        b_.begin() + static_cast<std::ptrdiff_t>(start + count));
        }
        const std::size_t blocks = (data.size() + blockSize - 1) / blockSize;
        std::copy(data.begin(), data.end(), b_.begin() + static_cast<std::ptrdiff_t>(next));
        putBe(b_, fork + 12, blocks, 4);
        for (std::size_t i = 0; i < 8; ++i) {
            putBe(b_, fork + 16 + 8 * i, i == 0 && blocks ? next / blockSize : 0, 4);
            putBe(b_, fork + 20 + 8 * i, i == 0 ? blocks : 0, 4);
        }
        next += blocks * blockSize;
    };
    // The file records first: they live in the catalog, which moves after them.
    const std::size_t leaf = catalogNode(1);
    for (std::size_t i = 1; i <= be16(b_, leaf + 10); ++i) {
        const std::size_t key = leaf + be16(b_, leaf + nodeSize_ - 2 * i);
        const std::size_t record = key + 2 + be16(b_, key);
        if (be16(b_, record) != 2) continue;
        moveFork(record + 88);   // data fork
        moveFork(record + 168);  // resource fork
    }
    for (const std::size_t fork : {112, 192, 272, 352, 432}) moveFork(1024 + fork);
    putBe(b_, 1024 + 40, blockSize, 4);
    putBe(b_, 1024 + 44, b_.size() / blockSize, 4);
    block_ = blockSize;
    catalog_ = std::size_t{be32(b_, 1024 + 288)} * block_;
    extents_ = std::size_t{be32(b_, 1024 + 208)} * block_;
}

}  // namespace tavrel::test::hfs
