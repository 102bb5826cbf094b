// tavrel-cli ls IMAGE (--volume N | --start S --end E) [--treat-as NAME]
//                     [--mode standard|deep] [--json]
// Lists every entry below the volume's top item, depth first in tree order.
// Text: "d|f *|- SIZE PATH" per line; JSON: one object per line.
#include <cstdio>
#include <iostream>
#include <memory>

#include <nlohmann/json.hpp>

#include "browse/EntryWalk.h"
#include "cli/Commands.h"
#include "cli/TerminalProgress.h"
#include "cli/VolumeSelect.h"
#include "util/Texts.h"

namespace tavrel::cli {

namespace {

struct LsOptions {
    std::string image;
    VolumeSelectArgs volume;
    bool json = false;
};

// ISO 8601 UTC ("2024-03-01T12:30:05Z", with a fraction when the time has one),
// or null when the entry has no such time.
nlohmann::json isoTime(const std::optional<fs::TimePoint>& t) {
    CivilTime c;
    if (!t || !civilFromUnix(t->seconds, c)) return nullptr;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute,
                  c.second);
    std::string text = buf;
    if (t->nanoseconds != 0 && t->nanoseconds < 1000000000u) {
        std::snprintf(buf, sizeof buf, ".%09u", t->nanoseconds);
        std::string frac = buf;
        while (frac.back() == '0') frac.pop_back();
        text += frac;
    }
    return text + "Z";
}

// A path for the text listing: control bytes from the image are shown as
// "\xNN" so that one entry always stays on one line.
std::string printable(const std::string& path) {
    std::string out;
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", b);
            out += esc;
        } else {
            out += c;
        }
    }
    return out;
}

int runLs(const LsOptions& o) {
    TerminalProgress progress;
    WorkControl work(&progress);
    OpenedVolume v;
    const int rc = openVolume(o.image, o.volume, work, v);
    progress.finish();
    if (rc != 0) return rc;
    const fs::Parser& parser = *v.parser;

    browse::walkTree(parser, std::nullopt, [&](fs::EntryRef e, const std::vector<std::string>& names) {
        const bool folder = parser.isFolder(e);
        const std::string path = browse::joinPath(names);
        const std::int64_t size = parser.size(e);
        if (o.json) {
            const fs::EntryTimes t = parser.times(e);
            const nlohmann::ordered_json j = {{"path", path},
                                      {"type", folder ? "dir" : "file"},
                                      {"deleted", parser.isDeleted(e)},
                                      {"size", size},
                                      {"created", isoTime(t.created)},
                                      {"modified", isoTime(t.modified)},
                                      {"accessed", isoTime(t.accessed)},
                                      {"attributes", parser.describeEntry(e).attributes}};
            // Names that are not valid UTF-8 are shown with U+FFFD rather than
            // ending the listing.
            std::cout << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        } else {
            std::cout << (folder ? 'd' : 'f') << ' ' << (parser.isDeleted(e) ? '*' : '-') << ' ' << size << ' '
                      << printable(path) << '\n';
        }
        return true;
    });
    std::cout.flush();
    return std::cout ? 0 : 1;
}

}  // namespace

void addLsCommand(CLI::App& app, int& exitCode) {
    auto opts = std::make_shared<LsOptions>();
    auto* cmd = app.add_subcommand("ls", "List every folder and file of a volume, deleted ones included");
    cmd->add_option("IMAGE", opts->image, "VHD image file")->required();
    addVolumeSelectOptions(cmd, opts->volume);
    cmd->add_flag("--json", opts->json, "One JSON object per line");
    cmd->callback([opts, &exitCode] { exitCode = runLs(*opts); });
}

}  // namespace tavrel::cli
