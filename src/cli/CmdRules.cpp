// tavrel-cli rules build TABLE OUT | rules list FILE [--json] | rules add FILE --ext E --start S [...]
// Rule files for carving: `build` writes the binary rule file from its readable
// table (see raw/RuleTable.h), `list` shows a rule file as table lines (control
// bytes escaped as ls escapes them) or one JSON object per rule, `add` appends one rule with the Setting page's fields.
// Exit status 0 on success, 2 on a refused table, file or field.
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "cli/Commands.h"
#include "cli/JsonFields.h"
#include "cli/TerminalText.h"
#include "raw/RuleFile.h"
#include "raw/RuleTable.h"

namespace tavrel::cli {

namespace {

int fail(const std::string& text) {
    std::cerr << "tavrel-cli: " << text << "\n";
    return 2;
}

struct RulesOptions {
    std::string table, file, out;
    raw::RuleFields fields;
    bool json = false;
};

int runBuild(const RulesOptions& o) {
    std::ifstream in(o.table, std::ios::binary);
    if (!in) return fail(o.table + ": cannot be read");
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    const auto rows = raw::parseRuleTable(text.str(), error);
    if (!error.empty()) return fail(o.table + ": " + error);
    std::vector<raw::SettingsRecord> records;
    for (const auto& row : rows) {
        raw::SettingsRecord record;
        if (const std::string problem = raw::recordFromFields(row.fields, record); !problem.empty())
            return fail(o.table + ": line " + std::to_string(row.line) + ": " + problem);
        records.push_back(record);
    }
    // Written beside the target and renamed over it, so a reader never sees half a file.
    const std::string partial = o.out + ".partial";
    std::remove(partial.c_str());
    for (const auto& record : records)
        if (const std::string problem = raw::appendRecord(partial, record); !problem.empty())
            return fail(partial + ": " + problem);
    if (std::rename(partial.c_str(), o.out.c_str()) != 0) return fail(o.out + ": cannot be written");
    return 0;
}

int runList(const RulesOptions& o) {
    std::vector<raw::SignatureRule> rules;
    const auto result = raw::loadRuleFile(o.file, false, rules);
    if (!result.ok) return fail(o.file + ": " + result.message);
    if (!result.message.empty()) std::cerr << "tavrel-cli: " << result.message << "\n";
    for (const auto& r : rules) {
        if (!o.json) {
            // Extension and category are bytes from the file: escaped as ls escapes names.
            raw::SignatureRule shown = r;
            shown.extension = terminalText(r.extension);
            shown.category = terminalText(r.category);
            std::cout << raw::tableLine(shown) << "\n";
            continue;
        }
        printJsonLine({{"index", r.index},
                       {"extension", r.extension},
                       {"start", raw::hexList(r.start)},
                       {"start_offset", r.startOffset},
                       {"end", r.end.empty() ? std::string() : raw::hexList(r.end)},
                       {"size_field_offset", r.sizeFieldOffset},
                       {"size_field_bytes", r.sizeFieldBytes},
                       {"header_size", r.headerSize},
                       {"size_includes_header", r.sizeIncludesHeader},
                       {"approx_size", r.approxSize},
                       {"skip_size", r.skipSize},
                       {"category", r.category}});
    }
    return 0;
}

int runAdd(const RulesOptions& o) {
    raw::SettingsRecord record;
    if (const std::string problem = raw::recordFromFields(o.fields, record); !problem.empty()) return fail(problem);
    if (const std::string problem = raw::appendRecord(o.file, record); !problem.empty())
        return fail(o.file + ": " + problem);
    return 0;
}

}  // namespace

void addRulesCommand(CLI::App& app, int& exitCode) {
    auto opts = std::make_shared<RulesOptions>();
    auto* cmd = app.add_subcommand("rules", "Build, list or extend carving rule files");
    cmd->require_subcommand(1);

    auto* build = cmd->add_subcommand("build", "Write a rule file from its readable table");
    build->add_option("TABLE", opts->table, "Readable rule table")->required();
    build->add_option("OUT", opts->out, "Rule file to write")->required();
    build->callback([opts, &exitCode] { exitCode = runBuild(*opts); });

    auto* list = cmd->add_subcommand("list", "Show the rules of a rule file");
    list->add_option("FILE", opts->file, "Rule file")->required();
    list->add_flag("--json", opts->json, "One JSON object per rule");
    list->callback([opts, &exitCode] { exitCode = runList(*opts); });

    auto* add = cmd->add_subcommand("add", "Append one rule to a rule file (created when missing)");
    raw::RuleFields& f = opts->fields;
    add->add_option("FILE", opts->file, "Rule file")->required();
    add->add_option("--ext", f.extension, "File extension, without a dot")->required();
    add->add_option("--start", f.startSignature, "Starting signature: hexadecimal bytes, e.g. 0xFF,0xD8,0xFF")
        ->required();
    add->add_option("--start-offset", f.startOffset, "Offset of the starting signature in the file");
    add->add_option("--end", f.endSignature, "Ending signature: hexadecimal bytes");
    add->add_option("--size-offset", f.sizeFieldOffset, "Offset of the size field in the header");
    add->add_option("--size-bytes", f.sizeFieldBytes, "Bytes in the size field (1, 2, 4 or 8)");
    add->add_option("--header-size", f.headerSize, "Header size in bytes");
    add->add_flag("--size-includes-header", f.sizeIncludesHeader, "The size field counts the header too");
    add->add_option("--skip", f.skipSize, "Bytes to skip after a start is found");
    add->add_option("--approx-size", f.approxSize, "Approximate file size in bytes");
    add->add_option("--category", f.category, "Category to list the files under");
    add->callback([opts, &exitCode] { exitCode = runAdd(*opts); });
}

}  // namespace tavrel::cli
