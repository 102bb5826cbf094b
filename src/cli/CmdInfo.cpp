// tavrel-cli info IMAGE [--json]: the image's format, version, size and geometry.
#include <iostream>
#include <memory>

#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/ImageOpen.h"
#include "image/FileReadSeekVHD.h"

namespace tavrel::cli {

namespace {

struct InfoOptions {
    std::string image;
    bool json = false;
};

const char* formatName(const FileReadSeekVHD& vhd) {
    if (vhd.isFixed()) return "vhd-fixed";
    return vhd.footer().diskType == 4 ? "vhd-differencing" : "vhd-dynamic";
}

int runInfo(const InfoOptions& o) {
    auto reader = openImage(o.image);
    if (!reader) return 2;
    const auto& vhd = static_cast<const FileReadSeekVHD&>(*reader);
    const auto& f = vhd.footer();
    // The version is shown as the signed 32-bit value ("65536" for 1.0), the size
    // as the Original Size in whole MiB, truncated.
    const auto version = static_cast<std::int32_t>(f.formatVersion);
    const auto sizeMb = static_cast<std::int32_t>(static_cast<double>(f.originalSize) / 1048576.0);
    if (o.json) {
        nlohmann::json j = {{"format", formatName(vhd)},
                            {"version", version},
                            {"size_mb", sizeMb},
                            {"cylinders", f.cylinders},
                            {"heads", f.heads},
                            {"sectors_per_track", f.sectorsPerTrack},
                            {"disk_size", vhd.diskSize()},
                            {"total_sectors", vhd.totalSectors()}};
        std::cout << j.dump(2) << "\n";
    } else {
        std::cout << "Format:              " << formatName(vhd) << "\n"
                  << "File Format Version: " << version << "\n"
                  << "Size of HDD:         " << sizeMb << " MB\n"
                  << "Cylinder:            " << f.cylinders << "\n"
                  << "Head:                " << int{f.heads} << "\n"
                  << "Sector per track:    " << int{f.sectorsPerTrack} << "\n"
                  << "Disk size:           " << vhd.diskSize() << " bytes\n"
                  << "Total sectors:       " << vhd.totalSectors() << "\n";
    }
    return 0;
}

}  // namespace

void addInfoCommand(CLI::App& app, int& exitCode) {
    auto opts = std::make_shared<InfoOptions>();
    auto* cmd = app.add_subcommand("info", "Show a VHD image's format, version, size and geometry");
    cmd->add_option("IMAGE", opts->image, "VHD image file")->required();
    cmd->add_flag("--json", opts->json, "Print JSON");
    cmd->callback([opts, &exitCode] { exitCode = runInfo(*opts); });
}

}  // namespace tavrel::cli
