// tavrel-cli cat IMAGE (--volume N | --start S --end E) [--treat-as NAME]
//                      [--mode standard|advanced|deep] PATH
// One file's content on stdout, byte for byte.
//
// PATH is the path `tavrel-cli ls` prints (names joined with "/", below the
// top item; a leading "/" is allowed), escapes included, or the names joined
// plainly. When several entries share that path (a
// deleted file and a live one of the same name), the first live file in listing
// order is used, else the first deleted one. "#N" names entry N as `ls --json`
// gives it in "entry", which reaches any one of them; a file really called "#N"
// at the top is "/#N".
//
// Exit status: 0 when the whole content was written; 1 when it could not be read
// completely (unreadable ranges are written as zeros, so later bytes keep their
// offsets) or stdout refused it; 2 when PATH names no file or names a folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <iostream>
#include <memory>

#include "browse/EntryWalk.h"
#include "cli/Commands.h"
#include "cli/TerminalText.h"
#include "cli/ListingPath.h"
#include "cli/VolumeRun.h"

namespace tavrel::cli {

namespace {

struct CatOptions {
    std::string image;
    VolumeSelectArgs volume;
    std::string path;
};

// Writes to stdout. When stdout is a regular file (not opened for appending,
// where every write lands at the end), zero ranges the file does not store
// (sparse runs, unstored blocks) become holes, as recover writes them; a
// terminal or a pipe gets the zeros.
class StdoutSink final : public fs::ByteSink {
public:
    StdoutSink() {
        struct stat st {};
        const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
        seekable_ = ::fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode) && flags >= 0 && (flags & O_APPEND) == 0;
    }

    bool write(ByteSpan bytes) override {
        holeAtEnd_ = holeAtEnd_ && bytes.empty();
        while (!bytes.empty()) {
            const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            bytes = bytes.subspan(static_cast<std::size_t>(n));
        }
        return true;
    }

    bool skip(std::int64_t length) override {
        if (!seekable_) return fs::ByteSink::skip(length);
        if (length <= 0) return true;
        if (::lseek(STDOUT_FILENO, static_cast<off_t>(length), SEEK_CUR) < 0) return false;
        holeAtEnd_ = true;
        return true;
    }

    // A file that ends in a hole gets its length (it is never shortened).
    bool finish() {
        if (!holeAtEnd_) return true;
        struct stat st {};
        const off_t end = ::lseek(STDOUT_FILENO, 0, SEEK_CUR);
        if (end < 0 || ::fstat(STDOUT_FILENO, &st) != 0) return false;
        return end <= st.st_size || ::ftruncate(STDOUT_FILENO, end) == 0;
    }

private:
    bool seekable_ = false;
    bool holeAtEnd_ = false;
};

// N of "#N", or nullopt when path is not of that form.
std::optional<fs::EntryRef> entryNumber(const std::string& path) {
    if (path.size() < 2 || path[0] != '#') return std::nullopt;
    fs::EntryRef n = 0;
    const auto [end, ec] = std::from_chars(path.data() + 1, path.data() + path.size(), n);
    if (ec != std::errc() || end != path.data() + path.size()) return std::nullopt;
    return n;
}

// The entries PATH addresses, in listing order. Only entries the walk reaches
// are candidates, so "#N" never hands the parser a handle it did not list.
std::vector<fs::EntryRef> addressed(const fs::Parser& parser, const std::string& path) {
    const std::optional<fs::EntryRef> number = entryNumber(path);
    const std::string wanted = trimmedPath(path);
    std::vector<fs::EntryRef> found;
    browse::walkTree(parser, std::nullopt, [&](fs::EntryRef e, const std::vector<std::string>& names) {
        if (number) {
            if (e != *number) return true;
            found.push_back(e);
            return false;
        }
        if (samePath(names, wanted)) found.push_back(e);
        return true;
    });
    return found;
}

// The first live file, else the first deleted file; nullopt when only folders.
std::optional<fs::EntryRef> chooseFile(const fs::Parser& parser, const std::vector<fs::EntryRef>& entries) {
    std::optional<fs::EntryRef> deleted;
    for (const fs::EntryRef e : entries) {
        if (parser.isFolder(e)) continue;
        if (!parser.isDeleted(e)) return e;
        if (!deleted) deleted = e;
    }
    return deleted;
}

int runCat(const CatOptions& o) {
    VolumeRun run;
    if (const int rc = run.open(o.image, o.volume); rc != 0) return rc;
    run.progress.finish();
    fs::Parser& parser = *run.volume.parser;

    const auto entries = addressed(parser, o.path);
    if (entries.empty()) {
        std::cerr << "tavrel-cli: no entry at path " << o.path << " (see tavrel-cli ls)\n";
        return 2;
    }
    const std::optional<fs::EntryRef> file = chooseFile(parser, entries);
    if (!file) {
        std::cerr << "tavrel-cli: " << o.path << " is a folder; cat writes one file\n";
        return 2;
    }
    const std::int64_t unreadableBefore = parser.warnings().unreadableRanges();
    StdoutSink out;
    bool complete = false;
    std::string why;
    try {
        complete = parser.saveFile(*file, out, run.work);
        if (!out.finish()) {
            complete = false;
            why = "the output's length could not be set";
        }
    } catch (const std::exception& ex) {
        why = ex.what();
    }
    const std::int64_t unreadable = parser.warnings().unreadableRanges() - unreadableBefore;
    reportWarnings(parser);
    if (!complete || unreadable > 0) {
        const std::string message = parser.takeMessage();
        if (!message.empty()) why = message;
        std::cerr << "tavrel-cli: " << o.path << ": content could not be read completely";
        if (unreadable > 0) std::cerr << "; " << unreadable << " unreadable range(s) written as zeros";
        if (!why.empty()) std::cerr << " (" << terminalText(why) << ")";
        std::cerr << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

void addCatCommand(CLI::App& app, int& exitCode) {
    auto opts = std::make_shared<CatOptions>();
    auto* cmd = app.add_subcommand("cat", "Write one file's content (deleted files too) to stdout");
    addVolumeArguments(cmd, opts->image, opts->volume);
    cmd->add_option("PATH", opts->path,
                    "The file as `tavrel-cli ls` shows it, or #N for entry N of `ls --json`")
        ->required();
    cmd->callback([opts, &exitCode] { exitCode = runCat(*opts); });
}

}  // namespace tavrel::cli
