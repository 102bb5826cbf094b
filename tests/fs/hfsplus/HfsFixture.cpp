#include "fs/hfsplus/HfsFixture.h"

#include <fstream>
#include <sstream>

#include "support/TestSupport.h"

namespace tavrel::test::hfs {

namespace {

std::string caretForm(std::string name) {
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20) c = '^';
    return name;
}

class BufferSink : public fs::ByteSink {
public:
    bool write(ByteSpan bytes) override {
        data.insert(data.end(), bytes.begin(), bytes.end());
        return true;
    }
    std::vector<std::uint8_t> data;
};

// "<sha> <name>" lines (sha256sum's "  " or " -  " between) into a map by the
// numeric name.
template <typename Key>
std::map<Key, std::string> hashes(const CommandResult& r, std::map<Key, std::string> out) {
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string sha, name;
        fields >> sha >> name;
        if (name == "-") fields >> name;
        if (!name.empty()) out.emplace(static_cast<Key>(std::stoull(name)), sha);
    }
    return out;
}

}  // namespace

std::map<std::string, OracleEntry> oracle() {
    std::map<std::string, OracleEntry> out;
    std::ifstream fls(fixturePath("hfsplus/hfsplus-macos.fls"));
    std::string line;
    while (std::getline(fls, line)) {
        const auto tab = line.find('\t');
        if (tab == std::string::npos || line.size() < 5 || line[tab + 1] == '$') continue;
        OracleEntry e;
        e.type = line[0];
        e.cnid = std::stoull(line.substr(4, tab - 4));
        out[line.substr(tab + 1)] = e;
    }
    std::ifstream icat(fixturePath("hfsplus/hfsplus-macos.icat"));
    while (std::getline(icat, line)) {
        std::istringstream fields(line);
        std::string sha, cnid, path;
        fields >> sha >> cnid;
        std::getline(fields >> std::ws, path);
        out[path].sha = sha;
    }
    return out;
}

std::vector<std::uint8_t> volumeBytes() { return readFileBytes(unpackedFixture(kFixture)); }

std::map<std::string, fs::EntryRef> parserPaths(const fs::Parser& p, std::size_t bound) {
    std::map<std::string, fs::EntryRef> out;
    std::vector<std::pair<std::string, fs::EntryRef>> stack;
    for (const fs::EntryRef e : p.rootLevel()) stack.emplace_back(caretForm(p.name(e)), e);
    while (!stack.empty() && out.size() < bound) {
        auto [path, e] = stack.back();
        stack.pop_back();
        out.emplace(path, e);
        if (!p.isFolder(e)) continue;
        for (const fs::EntryRef c : p.children(e)) stack.emplace_back(path + "/" + caretForm(p.name(c)), c);
    }
    return out;
}

std::map<std::string, fs::EntryRef> listedPaths(const fs::Parser& p) {
    std::map<std::string, fs::EntryRef> out;
    std::vector<std::pair<std::string, fs::EntryRef>> stack;
    for (const fs::EntryRef e : p.rootLevel()) stack.emplace_back("", e);
    while (!stack.empty()) {
        auto [prefix, e] = stack.back();
        stack.pop_back();
        const std::string path = prefix + caretForm(p.name(e));
        out.emplace(p.isDeleted(e) ? path + "#" + std::to_string(e) : path, e);
        for (const fs::EntryRef c : p.children(e)) stack.emplace_back(path + "/", c);
    }
    return out;
}

std::map<std::string, std::uint64_t> flsPaths(const std::string& rawVolume) {
    std::map<std::string, std::uint64_t> out;
    if (!haveTool("fls")) return out;
    std::istringstream lines(runCommand("fls -r -p -f hfs " + shellQuote(rawVolume)).out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto tab = line.find('\t');
        if (tab == std::string::npos || line.size() < 5 || line[tab + 1] == '$') continue;
        out[line.substr(tab + 1)] = std::stoull(line.substr(4, tab - 4));
    }
    return out;
}

std::map<fs::EntryRef, std::string> savedShas(fs::Parser& p, const std::vector<fs::EntryRef>& entries) {
    std::map<fs::EntryRef, std::string> out;
    TempDir dir;
    WorkControl work;
    for (const fs::EntryRef e : entries) {
        BufferSink sink;
        if (p.saveFile(e, sink, work)) writeFileBytes(dir / std::to_string(e), sink.data);
        else out[e] = "save failed";
    }
    return hashes(runCommand("cd " + shellQuote(dir.path().string()) + " && sha256sum -- *"), out);
}

std::vector<std::string> contentShas(const std::vector<std::vector<std::uint8_t>>& contents) {
    TempDir dir;
    for (std::size_t i = 0; i < contents.size(); ++i) writeFileBytes(dir / std::to_string(i), contents[i]);
    const auto byIndex = hashes(runCommand("cd " + shellQuote(dir.path().string()) + " && sha256sum -- *"),
                                std::map<std::size_t, std::string>());
    std::vector<std::string> out;
    for (std::size_t i = 0; i < contents.size(); ++i) out.push_back(byIndex.count(i) ? byIndex.at(i) : "");
    return out;
}

std::map<std::uint64_t, std::string> icatShas(const std::string& rawVolume, const std::vector<std::uint64_t>& cnids) {
    std::map<std::uint64_t, std::string> out;
    if (!haveTool("icat") || cnids.empty()) return out;
    std::string script = "for i in";
    for (const std::uint64_t c : cnids) script += " " + std::to_string(c);
    script += "; do icat -f hfs " + shellQuote(rawVolume) + " $i | sha256sum | tr -d '\\n'; echo \" $i\"; done";
    return hashes(runCommand(script), out);
}

}  // namespace tavrel::test::hfs
