// tavrel-cli info IMAGE [--json]: the image's format, version, size and geometry,
// as the image's reader describes it.
#include <iostream>
#include <memory>

#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/ImageOpen.h"
#include "cli/JsonFields.h"
#include "cli/TerminalText.h"

namespace tavrel::cli {

namespace {

struct InfoOptions {
    std::string image;
    bool json = false;
};

JsonObject jsonValue(const InfoValue& v) {
    if (v.number) return *v.number;
    return v.text;
}

// One JSON object, printed on one line as every --json output. Sizes are numbers of bytes; size_text and size_mb carry the
// "Size of HDD" as the pages show it.
JsonObject infoJson(const ImageInfo& info) {
    JsonObject j = JsonObject::object();
    j["format"] = info.format;
    if (info.version) j["version"] = jsonValue(*info.version);
    j["size"] = info.statedSize;
    j["size_text"] = info.sizeText();
    j["size_mb"] = info.sizeMb();
    if (info.geometry) {
        j["cylinders"] = info.geometry->cylinders;
        j["heads"] = info.geometry->heads;
        j["sectors_per_track"] = info.geometry->sectorsPerTrack;
    }
    j["disk_size"] = info.diskSize;
    j["total_sectors"] = info.sectors;
    for (const InfoField& f : info.fields) j[f.key] = jsonValue(f.value);
    return j;
}

void printInfo(const ImageInfo& info) {
    const auto line = [](const std::string& label, const std::string& value) {
        std::string head = label + ":";
        if (head.size() < 21) head.resize(21, ' ');
        std::cout << head << terminalText(value) << "\n";
    };
    line("Format", info.format);
    if (info.version) line("File Format Version", info.version->text);
    line("Size of HDD", info.sizeText());
    if (info.geometry) {
        line("Cylinder", std::to_string(info.geometry->cylinders));
        line("Head", std::to_string(info.geometry->heads));
        line("Sector per track", std::to_string(info.geometry->sectorsPerTrack));
    }
    line("Disk size", std::to_string(info.diskSize) + " bytes");
    line("Total sectors", std::to_string(info.sectors));
    for (const InfoField& f : info.fields) line(f.label, f.value.text);
}

int runInfo(const InfoOptions& o) {
    auto reader = openImage(o.image);
    if (!reader) return 2;
    const ImageInfo info = reader->describe();
    if (o.json) {
        printJsonLine(infoJson(info));
    } else {
        printInfo(info);
    }
    return 0;
}

}  // namespace

void addInfoCommand(CLI::App& app, int& exitCode) {
    auto opts = std::make_shared<InfoOptions>();
    auto* cmd = app.add_subcommand("info", "Show an image's format, version, size and geometry");
    addImageArgument(cmd, opts->image);
    cmd->add_flag("--json", opts->json, "Print JSON");
    cmd->callback([opts, &exitCode] { exitCode = runInfo(*opts); });
}

}  // namespace tavrel::cli
