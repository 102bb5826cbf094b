#include "volume/LvmMetadata.h"

#include <algorithm>
#include <limits>

#include "volume/LvmTexts.h"

namespace tavrel::lvm {

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

bool hasFlag(const TextNode& section, std::string_view key, std::string_view flag) {
    const TextNode* list = section.listOf(key);
    if (!list) return false;
    return std::any_of(list->children.begin(), list->children.end(), [&](const TextNode& n) {
        return n.kind == TextNode::Kind::String && n.text == flag;
    });
}

// Pairs (name, extent) of a list such as stripes = ["pv0", 0, "pv1", 0].
bool readPairs(const TextNode& list, std::vector<SegmentArea>& out) {
    const auto& items = list.children;
    if (items.size() % 2 != 0 || items.size() / 2 > kMaxStripes) return false;
    for (std::size_t i = 0; i < items.size(); i += 2) {
        if (items[i].kind != TextNode::Kind::String || items[i + 1].kind != TextNode::Kind::Number ||
            items[i + 1].number < 0)
            return false;
        out.push_back({items[i].text, items[i + 1].number});
    }
    return true;
}

std::optional<Segment> segmentOf(const TextNode& s) {
    Segment seg;
    const auto start = s.numberOf("start_extent");
    const auto count = s.numberOf("extent_count");
    const auto type = s.textOf("type");
    if (!start || !count || !type || *start < 0 || *count <= 0) return std::nullopt;
    seg.startExtent = *start;
    seg.extentCount = *count;
    seg.type = *type;
    seg.stripeSize = s.numberOf("stripe_size").value_or(0);
    if (seg.type == "striped") {
        const TextNode* stripes = s.listOf("stripes");
        if (!stripes || !readPairs(*stripes, seg.areas) || seg.areas.empty()) return std::nullopt;
        if (seg.areas.size() > 1 && seg.stripeSize <= 0) return std::nullopt;
    } else if (seg.type == "mirror") {
        if (const TextNode* mirrors = s.listOf("mirrors"); mirrors && !readPairs(*mirrors, seg.areas))
            return std::nullopt;
    } else if (seg.type == "raid1") {
        // raids = [meta0, image0, meta1, image1 ...]: the images are the legs
        // (a leg without a metadata volume is written "").
        if (const TextNode* raids = s.listOf("raids")) {
            const auto& items = raids->children;
            for (std::size_t i = 1; i < items.size() && seg.areas.size() < kMaxStripes; i += 2)
                if (items[i].kind == TextNode::Kind::String) seg.areas.push_back({items[i].text, 0});
        }
    } else if (seg.type == "snapshot") {
        seg.origin = s.textOf("origin").value_or("");
        seg.cowStore = s.textOf("cow_store").value_or("");
    }
    return seg;
}

std::string vgLv(const VolumeGroup& vg, const std::string& lv) { return vg.name + "/" + lv; }

// Builds the runs of one logical volume's extents [0, its extent count),
// following legs to their own logical volumes.
class Layout {
public:
    Layout(const VolumeGroup& vg, const std::vector<std::optional<std::int64_t>>& pvStart)
        : vg_(vg), pvStart_(pvStart), extentBytes_(vg.extentSize * 512) {}

    // Appends the runs of `lv`'s extents [fromExtent, fromExtent + count) at
    // volume offset `at`. False with out.refusal set when it cannot be read.
    bool add(const LogicalVolume& lv, std::int64_t fromExtent, std::int64_t count, std::int64_t at, int depth,
             LvLayout& out) {
        if (depth > kMaxLegDepth) return refuse(out, damagedText(vgLv(vg_, lv.name)));
        const std::int64_t end = fromExtent + count;
        for (const Segment& seg : lv.segments) {
            const std::int64_t segEnd = seg.startExtent + seg.extentCount;
            const std::int64_t from = std::max(fromExtent, seg.startExtent);
            const std::int64_t to = std::min(end, segEnd);
            if (from >= to) continue;
            const std::int64_t volumeAt = at + (from - fromExtent) * extentBytes_;
            if (seg.type == "striped") {
                if (!addStriped(lv, seg, from, to, volumeAt, out)) return false;
            } else if (seg.type == "mirror" || seg.type == "raid1") {
                const LogicalVolume* leg = seg.areas.empty() ? nullptr : find(seg.areas.front().target);
                if (!leg) return refuse(out, damagedText(vgLv(vg_, lv.name)));
                const std::int64_t legFrom = seg.areas.front().extent + (from - seg.startExtent);
                if (!add(*leg, legFrom, to - from, volumeAt, depth + 1, out)) return false;
            } else if (seg.type == "thin-pool") {
                return refuse(out, thinPoolText(vgLv(vg_, lv.name)));
            } else if (seg.type == "thin") {
                return refuse(out, thinVolumeText(vgLv(vg_, lv.name)));
            } else if (seg.type == "snapshot") {
                return refuse(out, snapshotText(vgLv(vg_, lv.name)));
            } else {
                return refuse(out, segmentTypeText(vgLv(vg_, lv.name), seg.type));
            }
        }
        return true;
    }

private:
    static bool refuse(LvLayout& out, std::string text) {
        if (out.refusal.empty()) out.refusal = std::move(text);
        return false;
    }

    const LogicalVolume* find(const std::string& name) const {
        for (const LogicalVolume& lv : vg_.lvs)
            if (lv.name == name) return &lv;
        return nullptr;
    }

    // Extents [from, to) of a striped segment: each stripe holds an equal
    // share of the segment's extents, dealt out in chunks of the stripe size.
    bool addStriped(const LogicalVolume& lv, const Segment& seg, std::int64_t from, std::int64_t to,
                    std::int64_t volumeAt, LvLayout& out) {
        const auto count = static_cast<std::int64_t>(seg.areas.size());
        if (seg.extentCount % count != 0) return refuse(out, damagedText(vgLv(vg_, lv.name)));
        const std::int64_t perStripe = seg.extentCount / count;
        MappedRun run;
        run.volumeOffset = volumeAt;
        run.length = (to - from) * extentBytes_;
        run.skip = (from - seg.startExtent) * extentBytes_;
        run.stripeBytes = count > 1 ? seg.stripeSize * 512 : 0;
        if (count > 1 && (run.stripeBytes <= 0 || extentBytes_ % run.stripeBytes != 0))
            return refuse(out, damagedText(vgLv(vg_, lv.name)));
        bool missing = false;
        for (const SegmentArea& area : seg.areas) {
            const auto pv = std::find_if(vg_.pvs.begin(), vg_.pvs.end(),
                                         [&](const PhysicalVolume& p) { return p.name == area.target; });
            if (pv == vg_.pvs.end()) return refuse(out, damagedText(vgLv(vg_, lv.name)));
            if (area.extent > pv->peCount || perStripe > pv->peCount - area.extent)
                return refuse(out, damagedText(vgLv(vg_, lv.name)));
            const std::optional<std::int64_t> start = pvStart_[static_cast<std::size_t>(pv - vg_.pvs.begin())];
            if (!start) {
                if (std::find(out.missing.begin(), out.missing.end(), pv->uuid) == out.missing.end())
                    out.missing.push_back(pv->uuid);
                missing = true;
                continue;
            }
            const __int128 at = static_cast<__int128>(*start) +
                                (static_cast<__int128>(pv->peStart) + static_cast<__int128>(area.extent) * vg_.extentSize) * 512;
            if (at > kMax) return refuse(out, damagedText(vgLv(vg_, lv.name)));
            run.stripes.push_back(static_cast<std::int64_t>(at));
        }
        if (missing) return false;
        if (out.runs.size() >= kMaxRuns) return refuse(out, damagedText(vgLv(vg_, lv.name)));
        out.runs.push_back(std::move(run));
        return true;
    }

    const VolumeGroup& vg_;
    const std::vector<std::optional<std::int64_t>>& pvStart_;
    std::int64_t extentBytes_;
};

}  // namespace

std::optional<VolumeGroup> volumeGroupOf(const TextNode& root) {
    // Numbers are bounded when read; the byte offsets made from them are
    // still checked where they are formed.
    constexpr std::int64_t kMaxExtentSectors = std::int64_t{1} << 22;  // 2 GiB extents
    constexpr std::int64_t kMaxExtents = std::int64_t{1} << 32;
    constexpr std::int64_t kMaxStartSectors = std::int64_t{1} << 40;
    for (const TextNode& section : root.children) {
        if (section.kind != TextNode::Kind::Section) continue;
        const auto seqno = section.numberOf("seqno");
        const auto extentSize = section.numberOf("extent_size");
        const TextNode* pvs = section.sectionOf("physical_volumes");
        if (!seqno || !extentSize || !pvs || !section.textOf("id")) continue;
        if (*extentSize <= 0 || *extentSize > kMaxExtentSectors) return std::nullopt;
        VolumeGroup vg;
        vg.name = section.key;
        vg.id = *section.textOf("id");
        vg.seqno = *seqno;
        vg.extentSize = *extentSize;
        for (const TextNode& p : pvs->children) {
            if (p.kind != TextNode::Kind::Section) continue;
            PhysicalVolume pv{p.key, p.textOf("id").value_or(""), p.numberOf("pe_start").value_or(-1),
                              p.numberOf("pe_count").value_or(-1)};
            if (pv.peStart < 0 || pv.peStart > kMaxStartSectors || pv.peCount < 0 || pv.peCount > kMaxExtents)
                return std::nullopt;
            vg.pvs.push_back(std::move(pv));
        }
        if (const TextNode* lvs = section.sectionOf("logical_volumes")) {
            for (const TextNode& l : lvs->children) {
                if (l.kind != TextNode::Kind::Section) continue;
                if (vg.lvs.size() >= kMaxVolumes) return std::nullopt;
                LogicalVolume lv;
                lv.name = l.key;
                lv.visible = hasFlag(l, "status", "VISIBLE");
                for (const TextNode& s : l.children) {
                    if (s.kind != TextNode::Kind::Section || s.key.rfind("segment", 0) != 0) continue;
                    auto seg = segmentOf(s);
                    if (!seg || seg->startExtent > kMaxExtents || seg->extentCount > kMaxExtents ||
                        lv.segments.size() >= kMaxSegments)
                        return std::nullopt;
                    for (const SegmentArea& a : seg->areas)
                        if (a.extent > kMaxExtents) return std::nullopt;
                    lv.segments.push_back(std::move(*seg));
                }
                std::sort(lv.segments.begin(), lv.segments.end(),
                          [](const Segment& a, const Segment& b) { return a.startExtent < b.startExtent; });
                vg.lvs.push_back(std::move(lv));
            }
        }
        return vg;
    }
    return std::nullopt;
}

std::optional<VolumeGroup> parseVolumeGroup(std::string_view text) {
    const TextParse parsed = parseMetadataText(text);
    if (!parsed.root) return std::nullopt;
    return volumeGroupOf(*parsed.root);
}

LvLayout layoutOf(const VolumeGroup& vg, const LogicalVolume& lv,
                  const std::vector<std::optional<std::int64_t>>& pvStart) {
    LvLayout out;
    if (pvStart.size() != vg.pvs.size()) return out;
    // A snapshot's copy-on-write store is a visible volume of plain segments,
    // named by the hidden snapshot volume that uses it.
    for (const LogicalVolume& other : vg.lvs)
        for (const Segment& seg : other.segments)
            if (seg.type == "snapshot" && seg.cowStore == lv.name) {
                out.refusal = snapshotText(vgLv(vg, lv.name));
                return out;
            }
    // The segments cover extents 0.. without gaps or overlaps.
    std::int64_t extents = 0;
    for (const Segment& seg : lv.segments) {
        if (seg.startExtent != extents) {
            out.refusal = damagedText(vgLv(vg, lv.name));
            return out;
        }
        extents += seg.extentCount;
    }
    const std::int64_t extentBytes = vg.extentSize * 512;
    if (extents == 0 || extents > kMax / extentBytes) {
        out.refusal = damagedText(vgLv(vg, lv.name));
        return out;
    }
    out.bytes = extents * extentBytes;
    Layout layout(vg, pvStart);
    if (!layout.add(lv, 0, extents, 0, 0, out)) out.runs.clear();
    if (!out.missing.empty() && out.refusal.empty()) out.refusal = missingLvText(vgLv(vg, lv.name));
    return out;
}

}  // namespace tavrel::lvm
