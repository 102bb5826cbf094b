#include "NtfsFixture.h"

#include <cctype>
#include <sstream>
#include <stdexcept>

namespace tavrel::test::ntfsfx {

std::string fixtureTestName(const std::string& name) {
    std::string out = name.substr(name.rfind('-') + 1);
    if (!out.empty()) out[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[0])));
    return out;
}

Image openFixture(const std::string& name) {
    Image image;
    image.vhdPath = unpackedFixture("ntfs/" + name + ".vhd.xz");
    image.vhd = std::make_unique<FileReadSeekVHD>();
    if (!image.vhd->open(image.vhdPath.string())) throw std::runtime_error("cannot open " + image.vhdPath.string());
    std::ifstream offset(fixturePath("ntfs/" + name + ".offset"));
    offset >> image.startSector;
    return image;
}

std::unique_ptr<MemoryImage> volumeCopy(const Image& image) {
    const std::int64_t start = image.startSector * 512;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(image.vhd->diskSize() - start));
    image.vhd->readAt(start, bytes);
    return std::make_unique<MemoryImage>(std::move(bytes));
}

std::map<std::string, fs::EntryRef> treePaths(const fs::ntfs& parser) {
    std::map<std::string, fs::EntryRef> out;
    struct Item {
        fs::EntryRef ref;
        std::string path;
        int depth;
    };
    std::vector<Item> stack;
    for (auto r : parser.rootLevel()) stack.push_back({r, parser.name(r), 0});
    std::size_t visits = 0;
    while (!stack.empty() && visits++ < 4 * parser.entries().size() + 16) {
        Item it = stack.back();
        stack.pop_back();
        out.emplace(it.path, it.ref);
        if (it.depth > 64 || !parser.isFolder(it.ref) || !parser.enterInSave(it.ref)) continue;
        for (auto c : parser.children(it.ref)) stack.push_back({c, it.path + "/" + parser.name(c), it.depth + 1});
    }
    return out;
}

static std::vector<ExpectedRow> parseListing(const std::string& text) {
    std::vector<ExpectedRow> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::size_t pos = 0;
        for (int i = 0; i < 4; ++i) {
            const auto tab = line.find('\t', pos);
            if (tab == std::string::npos) break;
            f.push_back(line.substr(pos, tab - pos));
            pos = tab + 1;
        }
        if (f.size() != 4) continue;
        rows.push_back({f[0][0], f[1] == "1", f[2], f[3], line.substr(pos)});
    }
    return rows;
}

std::vector<ExpectedRow> expectedListing(const std::string& name, const Image& image, bool* live) {
    if (live) *live = false;
    if (haveTool("fls") && haveTool("icat") && haveTool("qemu-img") && haveTool("python3")) {
        static std::map<std::string, std::vector<ExpectedRow>> cache;
        if (auto it = cache.find(name); it != cache.end()) {
            if (live) *live = true;
            return it->second;
        }
        TempDir tmp;
        const auto raw = tmp / "disk.raw";
        const auto conv = runCommand("qemu-img convert -f vpc -O raw " + shellQuote(image.vhdPath.string()) + " " +
                                     shellQuote(raw.string()));
        if (conv.exitCode == 0) {
            const std::string start = std::to_string(image.startSector);
            const auto r = runCommand("fls -r -p -o " + start + " " + shellQuote(raw.string()) + " | python3 " +
                                      shellQuote(fixturePath("ntfs/oracle-listing.py").string()) + " " +
                                      shellQuote(raw.string()) + " " + start);
            if (r.exitCode == 0 && !r.out.empty()) {
                if (live) *live = true;
                return cache[name] = parseListing(r.out);
            }
        }
    }
    std::ifstream in(fixturePath("ntfs/" + name + ".expected"));
    std::stringstream text;
    text << in.rdbuf();
    return parseListing(text.str());
}

std::string savedHash(fs::ntfs& parser, fs::EntryRef e) {
    TempDir tmp;
    const auto path = tmp / "out.bin";
    WorkControl work;
    bool ok = false;
    {
        FileSink sink(path);
        ok = parser.saveFile(e, sink, work);
        sink.close();
    }
    return ok ? sha256File(path) : std::string();
}

}  // namespace tavrel::test::ntfsfx
