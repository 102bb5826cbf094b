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

std::string savedSha(fs::Parser& p, fs::EntryRef e) {
    BufferSink sink;
    WorkControl work;
    if (!p.saveFile(e, sink, work)) return "save failed";
    TempDir dir;
    writeFileBytes(dir / "f", sink.data);
    return sha256File(dir / "f");
}

}  // namespace tavrel::test::hfs
