// The VDI and VMDK images qemu-img makes from one committed fixture, made once
// per fixture and test process by tests/fixtures/image/make-vdi-vmdk.sh. Each
// image comes with the raw disk it was made from, the oracle readers are
// compared with.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace tavrel::test {

struct ConvertedImage {
    std::string layout;  // "dynamic.vdi", "monolithicSparse", ...
    std::filesystem::path path;
    std::string format;  // what describe() reports
};

struct ConvertedImages {
    std::filesystem::path raw;  // the source disk, byte for byte
    std::vector<ConvertedImage> images;
};

// Every layout made from the fixture tests/fixtures/<xzName>; null when qemu-img
// is missing or fails.
inline const ConvertedImages* convertedImages(const std::string& xzName) {
    static TempDir dir;
    static std::map<std::string, ConvertedImages> made;
    if (const auto it = made.find(xzName); it != made.end()) return it->second.raw.empty() ? nullptr : &it->second;
    ConvertedImages& c = made[xzName];
    if (!haveTool("qemu-img")) return nullptr;
    const auto out = dir / std::to_string(made.size());
    const auto script = fixturePath("image/make-vdi-vmdk.sh");
    const auto r = runCommand(shellQuote(script.string()) + " " + shellQuote(unpackedFixture(xzName).string()) + " " +
                              shellQuote(out.string()));
    if (r.exitCode != 0) return nullptr;
    c.raw = out / "source.raw";
    c.images = {
        {"dynamic.vdi", out / "dynamic.vdi", "vdi"},
        {"fixed.vdi", out / "fixed.vdi", "vdi"},
        {"monolithicSparse", out / "monolithicSparse/disk.vmdk", "vmdk"},
        {"monolithicFlat", out / "monolithicFlat/disk.vmdk", "vmdk"},
        {"twoGbMaxExtentSparse", out / "twoGbMaxExtentSparse/disk.vmdk", "vmdk"},
        {"twoGbMaxExtentFlat", out / "twoGbMaxExtentFlat/disk.vmdk", "vmdk"},
        {"streamOptimized", out / "streamOptimized/disk.vmdk", "vmdk"},
        {"renamed monolithicSparse", out / "renamed/disk.img", "vmdk"},
    };
    return &c;
}

}  // namespace tavrel::test
