// The VHDX, qcow2 and E01 images made from one committed fixture by qemu-img,
// ewfacquire and tests/fixtures/image/make-library-formats.sh, once per fixture
// and test process, with the raw disk they were made from.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "image/ImageFormats.h"
#include "support/ConvertedImages.h"
#include "support/TestSupport.h"

namespace tavrel::test {

struct LibraryImages {
    std::filesystem::path folder;
    std::filesystem::path raw;  // the source disk, byte for byte
    std::vector<ConvertedImage> images;  // each serves raw
    // The differencing VHDX (beside its parent) and the disk it serves.
    std::filesystem::path child;
    std::filesystem::path childDisk;
    // The qcow2 over a backing file (beside it) and the disk it serves.
    std::filesystem::path overlay;
    std::filesystem::path overlayDisk;
};

// Every image made from tests/fixtures/<xzName>; null when a tool is missing or
// fails, or when this build was made without one of the formats' libraries.
inline const LibraryImages* libraryImages(const std::string& xzName) {
    static TempDir dir;
    static std::map<std::string, LibraryImages> made;
    if (const auto it = made.find(xzName); it != made.end()) return it->second.raw.empty() ? nullptr : &it->second;
    LibraryImages& m = made[xzName];
    const std::string formats = ", " + readableFormats() + ",";
    for (const char* f : {", vhdx,", ", qcow2,", ", e01,"})
        if (formats.find(f) == std::string::npos) return nullptr;
    if (!haveTool("qemu-img") || !haveTool("qemu-io") || !haveTool("ewfacquire") || !haveTool("python3")) return nullptr;
    const auto out = dir / std::to_string(made.size());
    const auto r = runCommand(shellQuote(fixturePath("image/make-library-formats.sh").string()) + " " +
                              shellQuote(unpackedFixture(xzName).string()) + " " + shellQuote(out.string()));
    if (r.exitCode != 0) return nullptr;
    m.folder = out;
    m.raw = out / "source.raw";
    m.images = {
        {"dynamic.vhdx", out / "dynamic.vhdx", "vhdx-dynamic"},
        {"fixed.vhdx", out / "fixed.vhdx", "vhdx-fixed"},
        {"plain.qcow2", out / "plain.qcow2", "qcow2"},
        {"compressed.qcow2", out / "compressed.qcow2", "qcow2"},
        {"v2.qcow2", out / "v2.qcow2", "qcow2"},
        {"renamed qcow2", out / "renamed/disk.img", "qcow2"},
        {"E01 segments", out / "ewf/disk.E01", "e01"},
        {"E01 compressed", out / "ewf-best/disk.E01", "e01"},
        {"small.qcow2", out / "small.qcow2", "qcow2"},
        {"big.qcow2", out / "big.qcow2", "qcow2"},
    };
    m.child = out / "diff/child.vhdx";
    m.childDisk = out / "diff/expected.raw";
    m.overlay = out / "backed/overlay.qcow2";
    m.overlayDisk = out / "backed/expected.raw";
    return &m;
}

}  // namespace tavrel::test
