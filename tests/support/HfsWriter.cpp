#include "support/HfsWriter.h"

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <tuple>

#include "support/ByteWriter.h"
#include "util/Bytes.h"

namespace tavrel::test::hfs {

namespace {

constexpr std::size_t kHeaderAt = 1024;
constexpr std::size_t kDescriptor = 14;
constexpr std::uint32_t kExtentsId = 3;
constexpr std::uint32_t kCatalogId = 4;

struct Run {
    std::uint32_t start = 0;
    std::uint32_t count = 0;
};
using Runs = std::vector<Run>;

// One B-tree record: its key (with the key length) and its data. A free-space
// record is written after the live records of its leaf, outside the offset table.
struct Record {
    Bytes key;
    Bytes data;
    bool freeSpace = false;
    std::size_t size() const { return key.size() + data.size(); }
};

struct TreeSpec {
    std::uint16_t nodeSize;
    std::uint16_t maxKey;
    std::uint32_t attributes;
    std::uint8_t compareType;
};

// Nodes of a B-tree; node 0 (the header) is written last, once the file size is known.
struct Tree {
    std::vector<Bytes> nodes{Bytes()};
    std::uint16_t depth = 0;
    std::uint32_t root = 0, leafRecords = 0, firstLeaf = 0, lastLeaf = 0;
    std::size_t usedNodes = 1;
};

std::u16string units(const std::string& name) { return {name.begin(), name.end()}; }

std::uint32_t ceilDiv(std::uint64_t a, std::uint64_t b) { return static_cast<std::uint32_t>((a + b - 1) / b); }

Bytes catalogKey(std::uint32_t parent, const std::u16string& name) {
    ByteWriter w(8 + 2 * name.size());
    w.be16(0, static_cast<std::uint16_t>(6 + 2 * name.size())).be32(2, parent).be16(6, static_cast<std::uint16_t>(name.size()));
    for (std::size_t i = 0; i < name.size(); ++i) w.be16(8 + 2 * i, name[i]);
    return w.vector();
}

// Name order: case-folded (NUL after everything) on HFS+, binary on HFSX.
bool nameLess(const std::u16string& a, const std::u16string& b, bool binary) {
    auto fold = [binary](char16_t c) -> std::uint32_t {
        if (binary) return c;
        if (c == 0) return 0xFFFF;
        return c >= 'A' && c <= 'Z' ? c + 32u : c;
    };
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [&](char16_t x, char16_t y) { return fold(x) < fold(y); });
}

std::vector<std::vector<Record>> pack(const std::vector<Record>& records, std::size_t nodeSize) {
    std::vector<std::vector<Record>> groups(1);
    std::size_t used = kDescriptor, n = 0;
    for (const Record& r : records) {
        const std::size_t slots = r.freeSpace ? 0 : 1;
        if (n > 0 && used + r.size() + 2 * (n + slots + 1) > nodeSize) {
            groups.emplace_back();
            used = kDescriptor;
            n = 0;
        }
        if (used + r.size() + 2 * (n + slots + 1) > nodeSize) throw std::runtime_error("record larger than a node");
        groups.back().push_back(r);
        used += r.size();
        n += slots;
    }
    return groups;
}

Bytes node(std::size_t nodeSize, std::int8_t kind, std::uint8_t height, std::uint32_t fLink, std::uint32_t bLink,
           const std::vector<Record>& records) {
    ByteWriter w(nodeSize);
    std::size_t at = kDescriptor, n = 0;
    for (const bool stale : {false, true}) {
        if (stale) w.be16(nodeSize - 2 * (n + 1), static_cast<std::uint16_t>(at));  // free space starts here
        for (const Record& r : records) {
            if (r.freeSpace != stale) continue;
            if (!stale) w.be16(nodeSize - 2 * ++n, static_cast<std::uint16_t>(at));
            w.bytes(at, r.key).bytes(at + r.key.size(), r.data);
            at += r.size();
        }
    }
    w.be32(0, fLink).be32(4, bLink).u8(8, static_cast<std::uint8_t>(kind)).u8(9, height).be16(10, static_cast<std::uint16_t>(n));
    return w.vector();
}

Tree buildTree(const std::vector<Record>& records, std::size_t nodeSize) {
    Tree t;
    std::vector<Record> level = records;
    for (std::uint8_t height = 1; !level.empty(); ++height) {
        const auto groups = pack(level, nodeSize);
        const auto first = static_cast<std::uint32_t>(t.nodes.size());
        const auto count = static_cast<std::uint32_t>(groups.size());
        std::vector<Record> up;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t number = first + i;
            t.nodes.push_back(node(nodeSize, height == 1 ? -1 : 0, height, i + 1 < count ? number + 1 : 0,
                                   i > 0 ? number - 1 : 0, groups[i]));
            const auto live = std::find_if(groups[i].begin(), groups[i].end(), [](const Record& r) { return !r.freeSpace; });
            if (live == groups[i].end()) throw std::runtime_error("a node of free-space records only");
            Record pointer{live->key, Bytes(4)};
            ByteWriter(pointer.data).be32(0, number);
            up.push_back(std::move(pointer));
            if (height == 1)
                t.leafRecords += static_cast<std::uint32_t>(std::count_if(
                    groups[i].begin(), groups[i].end(), [](const Record& r) { return !r.freeSpace; }));
        }
        if (height == 1) {
            t.firstLeaf = first;
            t.lastLeaf = first + count - 1;
        }
        if (count == 1) {
            t.root = first;
            t.depth = height;
            break;
        }
        level = std::move(up);
    }
    t.usedNodes = t.nodes.size();
    return t;
}

Bytes headerNode(const Tree& t, const TreeSpec& spec, std::uint32_t totalNodes) {
    const std::size_t ns = spec.nodeSize;
    ByteWriter w(ns);
    w.u8(8, 1).be16(10, 3);
    const std::size_t h = kDescriptor;
    w.be16(h, t.depth).be32(h + 2, t.root).be32(h + 6, t.leafRecords).be32(h + 10, t.firstLeaf).be32(h + 14, t.lastLeaf);
    w.be16(h + 18, spec.nodeSize).be16(h + 20, spec.maxKey).be32(h + 22, totalNodes);
    w.be32(h + 26, totalNodes - static_cast<std::uint32_t>(t.usedNodes)).be32(h + 32, spec.nodeSize);
    w.u8(h + 37, spec.compareType).be32(h + 38, spec.attributes);
    w.be16(ns - 2, 14).be16(ns - 4, 120).be16(ns - 6, 248).be16(ns - 8, static_cast<std::uint16_t>(ns - 8));
    for (std::size_t i = 0; i < t.usedNodes && i < (ns - 256) * 8; ++i) w.data()[248 + i / 8] |= 0x80 >> (i % 8);
    return w.vector();
}

// `blocks` blocks in `count` runs (fewer when there are fewer blocks), one free
// block after each run but the last; `next` moves past them.
Runs placeRuns(std::uint32_t& next, std::uint32_t blocks, std::uint32_t count) {
    Runs runs;
    count = std::min(count, blocks);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t length = blocks / count + (i < blocks % count ? 1 : 0);
        runs.push_back({next, length});
        next += length + (i + 1 < count ? 1 : 0);
    }
    return runs;
}

void writeFork(ByteWriter w, std::uint64_t logicalSize, const Runs& runs) {
    std::uint32_t total = 0;
    for (const Run& r : runs) total += r.count;
    w.be64(0, logicalSize).be32(12, total);
    for (std::size_t i = 0; i < runs.size() && i < 8; ++i) w.be32(16 + 8 * i, runs[i].start).be32(20 + 8 * i, runs[i].count);
}

// Overflow records for runs past the eighth, eight runs each.
void overflowRecords(std::uint32_t fileId, const Runs& runs, std::vector<Record>& out) {
    std::uint32_t startBlock = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (i >= 8 && i % 8 == 0) {
            Record r{Bytes(12), Bytes(64)};
            ByteWriter(r.key).be16(0, 10).be32(4, fileId).be32(8, startBlock);
            for (std::size_t j = 0; j < 8 && i + j < runs.size(); ++j)
                ByteWriter(r.data).be32(8 * j, runs[i + j].start).be32(8 * j + 4, runs[i + j].count);
            out.push_back(std::move(r));
        }
        startBlock += runs[i].count;
    }
}

}  // namespace

Bytes patternContent(std::size_t size, std::uint32_t seed) {
    Bytes out(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<std::uint8_t>(x);
    }
    return out;
}

std::uint32_t HfsWriter::add(HfsItem item) {
    if (item.cnid == 0) item.cnid = nextCnid_;
    nextCnid_ = std::max(nextCnid_, item.cnid + 1);
    items_.push_back(std::move(item));
    return items_.back().cnid;
}

std::uint32_t HfsWriter::folder(std::uint32_t parent, const std::string& name) {
    HfsItem i;
    i.parent = parent;
    i.name = name;
    i.folder = true;
    return add(std::move(i));
}

std::uint32_t HfsWriter::file(std::uint32_t parent, const std::string& name, Bytes content, std::uint32_t runs) {
    HfsItem i;
    i.parent = parent;
    i.name = name;
    i.content = std::move(content);
    i.runs = runs;
    return add(std::move(i));
}

Bytes HfsWriter::build() const {
    const std::uint32_t bs = layout_.blockSize;
    const std::size_t ns = layout_.nodeSize;
    const TreeSpec catalogSpec{layout_.nodeSize, 516, 6, static_cast<std::uint8_t>(layout_.hfsx ? 0xBC : 0xCF)};
    const TreeSpec extentsSpec{layout_.nodeSize, 10, 2, 0};
    HfsItem root;
    root.cnid = 2;
    root.parent = 1;
    root.name = "Tavrel";
    root.folder = true;
    std::vector<HfsItem> all{root};
    all.insert(all.end(), items_.begin(), items_.end());

    std::map<std::uint32_t, std::uint32_t> valence;
    for (const HfsItem& i : items_)
        if (i.place == Place::Tree) ++valence[i.parent];

    // Data fork runs, per item; filled in by the layout below.
    std::vector<Runs> forks(all.size());
    Runs catalogRuns, extentsRuns;

    // Catalog and extents records for the current runs; their sizes do not depend on them.
    std::vector<Record> catalog, stale, loose, extents;
    auto makeRecords = [&] {
        struct Keyed {
            std::uint32_t parent;
            std::u16string name;
            Record record;
        };
        std::vector<Keyed> keyed;
        std::set<std::uint32_t> threaded;
        stale.clear();
        loose.clear();
        extents.clear();
        for (std::size_t k = 0; k < all.size(); ++k) {
            const HfsItem& i = all[k];
            const std::u16string name = units(i.name);
            Record r{catalogKey(i.parent, name), Bytes(i.folder ? 88 : 248)};
            ByteWriter d(r.data);
            d.be16(0, i.folder ? 1 : 2).be32(8, i.cnid);
            for (const std::size_t at : {12, 16, 20, 24}) d.be32(at, i.date);
            d.be16(42, i.folder ? 040755 : 0100644);
            if (i.folder) d.be32(4, valence[i.cnid]);
            else {
                d.be16(2, 0x0002);  // has a thread record
                writeFork(d.window(88, 80), i.content.size(), forks[k]);
                if (i.place == Place::Tree) overflowRecords(i.cnid, forks[k], extents);
            }
            if (i.linkTo != 0) d.be32(12, root.date).be32(44, i.linkTo).be32(48, 0x686C6E6B).be32(52, 0x6866732B);
            r.freeSpace = i.place == Place::FreeSpace;
            if (i.place == Place::StaleLeaf) stale.push_back(r);
            else if (i.place == Place::LooseLeaf) loose.push_back(r);
            else keyed.push_back({i.parent, name, std::move(r)});
            if (i.place != Place::Tree || !threaded.insert(i.cnid).second) continue;
            Record thread{catalogKey(i.cnid, u""), Bytes(10 + 2 * name.size())};
            ByteWriter(thread.data).be16(0, i.folder ? 3 : 4).be32(4, i.parent).be16(8, static_cast<std::uint16_t>(name.size()));
            for (std::size_t c = 0; c < name.size(); ++c) ByteWriter(thread.data).be16(10 + 2 * c, name[c]);
            keyed.push_back({i.cnid, u"", std::move(thread)});
        }
        std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
            if (a.parent != b.parent) return a.parent < b.parent;
            return nameLess(a.name, b.name, layout_.hfsx);
        });
        catalog.clear();
        for (Keyed& k : keyed) catalog.push_back(std::move(k.record));
        overflowRecords(kCatalogId, catalogRuns, extents);
        std::sort(extents.begin(), extents.end(), [](const Record& a, const Record& b) {
            return std::make_tuple(be32(a.key, 4), a.key[2], be32(a.key, 8)) < std::make_tuple(be32(b.key, 4), b.key[2], be32(b.key, 8));
        });
    };

    // Sizes first: node counts with runs of the right number, then the layout.
    std::uint32_t catalogPieces = layout_.catalogRuns;
    catalogRuns.assign(catalogPieces, Run{});
    for (std::size_t k = 0; k < all.size(); ++k)
        forks[k].assign(std::min<std::size_t>(all[k].runs, ceilDiv(all[k].content.size(), bs)), Run{});
    makeRecords();
    const std::size_t staleNodes = stale.empty() ? 0 : pack(stale, ns).size();
    const std::size_t looseNodes = loose.empty() ? 0 : pack(loose, ns).size();
    const std::uint32_t blocksPerNode = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(ns / bs));
    auto fileBlocks = [&](std::size_t nodes, std::uint32_t atLeast) {
        std::uint32_t blocks = std::max(ceilDiv(nodes * ns, bs), atLeast);
        return ceilDiv(blocks, blocksPerNode) * blocksPerNode;
    };
    const std::uint32_t catalogBlocks = fileBlocks(buildTree(catalog, ns).nodes.size() + staleNodes, catalogPieces);
    const std::uint32_t extentsBlocks = fileBlocks(buildTree(extents, ns).nodes.size(), 1);

    const std::uint32_t first = ceilDiv(kHeaderAt + 512, bs);
    const std::uint32_t tail = ceilDiv(1024, bs);
    std::uint32_t bitmapBlocks = 1, next = 0, looseAt = 0, total = 0;
    for (;;) {
        next = first + bitmapBlocks;
        extentsRuns = placeRuns(next, extentsBlocks, 1);
        catalogRuns = placeRuns(next, catalogBlocks, catalogPieces);
        for (std::size_t k = 0; k < all.size(); ++k) forks[k] = placeRuns(next, ceilDiv(all[k].content.size(), bs), all[k].runs);
        looseAt = next;
        next += static_cast<std::uint32_t>(looseNodes) * std::max(blocksPerNode, 1u);
        total = std::max(next + tail, ceilDiv(2 << 20, bs));
        if (ceilDiv(ceilDiv(total, 8), bs) <= bitmapBlocks) break;
        ++bitmapBlocks;
    }
    makeRecords();

    ByteWriter volume(std::size_t{total} * bs);
    std::vector<bool> used(total, false);
    auto mark = [&](const Runs& runs) {
        for (const Run& r : runs) std::fill_n(used.begin() + r.start, r.count, true);
    };
    auto writeFile = [&](const Runs& runs, const Bytes& content) {
        std::size_t done = 0;
        for (const Run& r : runs) {
            const std::size_t n = std::min<std::size_t>(std::size_t{r.count} * bs, content.size() - done);
            volume.bytes(std::size_t{r.start} * bs, std::span(content).subspan(done, n));
            done += n;
        }
    };
    auto writeTree = [&](Tree t, const TreeSpec& spec, const Runs& runs, std::uint32_t blocks) {
        const std::uint32_t totalNodes = static_cast<std::uint32_t>(std::size_t{blocks} * bs / ns);
        t.nodes[0] = headerNode(t, spec, totalNodes);
        Bytes file;
        for (const Bytes& n : t.nodes) file.insert(file.end(), n.begin(), n.end());
        writeFile(runs, file);
        mark(runs);
    };

    Tree catalogTree = buildTree(catalog, ns);
    if (!stale.empty())
        for (const auto& g : pack(stale, ns)) catalogTree.nodes.push_back(node(ns, -1, 1, 0, 0, g));
    writeTree(std::move(catalogTree), catalogSpec, catalogRuns, catalogBlocks);
    writeTree(buildTree(extents, ns), extentsSpec, extentsRuns, extentsBlocks);
    std::size_t looseByte = std::size_t{looseAt} * bs;
    if (!loose.empty())
        for (const auto& g : pack(loose, ns)) {
            volume.bytes(looseByte, node(ns, -1, 1, 0, 0, g));
            looseByte += std::size_t{blocksPerNode} * bs;
        }
    std::uint32_t files = 0, folders = 0, maxCnid = 0;
    for (std::size_t k = 0; k < all.size(); ++k) {
        writeFile(forks[k], all[k].content);
        maxCnid = std::max(maxCnid, all[k].cnid);
        if (all[k].place != Place::Tree || k == 0) continue;
        mark(forks[k]);
        ++(all[k].folder ? folders : files);
    }
    const Runs bitmapRuns{{first, bitmapBlocks}};
    mark(bitmapRuns);
    mark({{0, first}, {total - tail, tail}});
    for (std::uint32_t b = 0; b < total; ++b)
        if (used[b]) volume.data()[std::size_t{first} * bs + b / 8] |= 0x80 >> (b % 8);

    ByteWriter h = volume.window(kHeaderAt, 512);
    h.be16(0, layout_.hfsx ? 0x4858 : 0x482B).be16(2, layout_.hfsx ? 5 : 4).be32(4, 0x100).be32(8, 0x31302E30);
    h.be32(16, root.date).be32(20, root.date).be32(28, root.date).be32(32, files).be32(36, folders);
    h.be32(40, bs).be32(44, total).be32(48, static_cast<std::uint32_t>(std::count(used.begin(), used.end(), false)));
    h.be32(52, next).be32(56, bs).be32(60, bs).be32(64, maxCnid + 1).be32(68, 1);
    writeFork(h.window(112, 80), std::uint64_t{bitmapBlocks} * bs, bitmapRuns);
    writeFork(h.window(192, 80), std::uint64_t{extentsBlocks} * bs, extentsRuns);
    writeFork(h.window(272, 80), std::uint64_t{catalogBlocks} * bs, catalogRuns);
    volume.bytes(volume.size() - 1024, h.span());
    return volume.vector();
}

}  // namespace tavrel::test::hfs
