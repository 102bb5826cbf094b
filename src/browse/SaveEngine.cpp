#include "browse/SaveEngine.h"

#include <exception>
#include <map>
#include <memory>
#include <set>

#include "browse/EntryWalk.h"
#include "browse/HostOutput.h"
#include "browse/SaveTexts.h"

namespace tavrel::browse {

namespace {

using Result = FileOutcome::Result;

// Folder levels that stay open during a save; deeper ones are reopened as needed.
constexpr int kOpenFolderLevels = 16;

struct Counter {
    const fs::Parser& parser;
    std::set<fs::EntryRef> entered;

    std::int64_t folder(fs::EntryRef e, int depth) {
        if (!parser.enterInSave(e) || depth >= kMaxWalkDepth || !entered.insert(e).second) return 0;
        return contents(parser.children(e), depth + 1);
    }
    std::int64_t contents(const std::vector<fs::EntryRef>& entries, int depth) {
        std::int64_t n = 0;
        for (const fs::EntryRef c : entries) n += parser.isFolder(c) ? folder(c, depth) : 1;
        return n;
    }
};

std::string nameNote(const Placement& p) {
    if (p.renamed) return "saved as \"" + p.hostName + "\": the name was already taken";
    if (p.unsafe) return "saved as \"" + p.hostName + "\": the name cannot be used on this system";
    return {};
}

// One save: the walk state and the report it builds.
class SaveRun {
public:
    SaveRun(fs::Parser& parser, WorkControl& work, const std::function<void(const std::string&)>& detail,
            const std::function<void(const FileOutcome&)>& observer, bool showProgress)
        : parser_(parser), work_(work), detail_(detail), observer_(observer), showProgress_(showProgress) {}

    SaveReport report;

    // The children of folder (nullopt: the top item) into host.
    void contents(std::optional<fs::EntryRef> folder, HostFolder* host, std::vector<std::string>& path, int depth) {
        for (const fs::EntryRef c : childrenOf(parser_, folder)) {
            if (report.stopped) return;
            if (!work_.checkpoint()) {
                report.stopped = true;
                return;
            }
            if (showProgress_) work_.position(done_);
            if (parser_.isFolder(c)) {
                subFolder(c, host, path, depth);
            } else {
                file(c, host, path);
            }
        }
    }

    // A folder entry: its host folder inside parent, then its contents.
    void subFolder(fs::EntryRef e, HostFolder* parent, std::vector<std::string>& path, int depth) {
        if (!parser_.enterInSave(e) || !entered_.insert(e).second) return;
        path.push_back(parser_.shownName(e));
        if (depth >= kMaxWalkDepth) {
            // What lies below is not saved: the save is not complete.
            folderNote(joinPath(path), {}, "folder nesting too deep; not entered");
            ++report.failed;
        } else {
            Placement p;
            std::unique_ptr<HostFolder> host = makeFolder(parent, path, p);
            // Below the first levels a folder is closed while the walk is inside
            // its sub-folder, so open descriptors stay few at any depth.
            const bool parked = host && parent && depth >= kOpenFolderLevels;
            if (parked) parent->release();
            contents(e, host.get(), path, depth + 1);
            if (parked && !parent->reopenFrom(*host)) {
                path.pop_back();
                folderNote(joinPath(path), {}, "folder could not be opened again; the rest of it is not saved");
                path.push_back(parser_.name(e));
            }
            if (host) {
                host.reset();
                parent->setTimes(p.hostName, parser_.times(e));
            }
        }
        path.pop_back();
    }

    // A file entry into host (nullptr when its folder could not be created).
    void file(fs::EntryRef e, HostFolder* host, const std::vector<std::string>& path) {
        FileOutcome o;
        const std::string name = parser_.shownName(e);
        o.imagePath = path.empty() ? name : joinPath(path) + "/" + name;
        o.imageNames = path;
        o.imageNames.push_back(name);
        if (parser_.skipInSave(e)) {
            o.result = Result::Skipped;
            o.note = "not saved: this file system's save leaves it out";
        } else if (!host) {
            o.result = Result::Failed;
            o.note = "not saved: its folder could not be created";
        } else {
            write(e, *host, name, o);
        }
        ++done_;
        finishOutcome(std::move(o));
    }

    void mark(fs::EntryRef folder) { entered_.insert(folder); }

    // The host folder for the image folder at path (its last name) inside
    // parent; null when parent is null or the folder cannot be made (noted).
    std::unique_ptr<HostFolder> makeFolder(HostFolder* parent, const std::vector<std::string>& path, Placement& p) {
        if (!parent) return nullptr;
        std::unique_ptr<HostFolder> host = parent->makeFolder(path.back(), p);
        if (!host) {
            folderNote(joinPath(path), {}, "folder not created: " + p.error);
            return nullptr;
        }
        ++report.folders;
        if (p.unsafe || p.renamed) folderNote(joinPath(path), host->path(), nameNote(p));
        return host;
    }

private:
    void write(fs::EntryRef e, HostFolder& host, const std::string& name, FileOutcome& o) {
        Placement p;
        std::optional<HostFile> out = host.createFile(name, p);
        if (!out) {
            o.result = Result::Failed;
            o.note = "not created: " + p.error;
            return;
        }
        o.hostPath = out->path();
        if (showProgress_) {
            work_.status(texts::kSavingFile + out->path());
            if (detail_) detail_(texts::fileSizeText(parser_.size(e)));
        }
        bool read = false;
        std::string thrown;
        try {
            read = parser_.saveFile(e, *out, work_);
        } catch (const std::exception& ex) {
            thrown = ex.what();
        }
        // A text the parser left for the user travels with the file's outcome.
        o.parserMessage = parser_.takeMessage();
        const bool closed = out->finish();
        if (!closed) {
            o.result = Result::Failed;
            o.note = "write failed: " + out->error() + " (partial file kept)";
        } else if (!thrown.empty()) {
            o.result = Result::Failed;
            o.note = "content could not be read: " + thrown + " (partial file kept)";
        } else if (!read) {
            o.result = Result::Failed;
            o.note = work_.stopRequested()      ? "stopped while writing (partial file kept)"
                     : !o.parserMessage.empty() ? o.parserMessage + " (partial file kept)"
                                                : "content could not be read completely (partial file kept)";
        } else {
            o.result = Result::Written;
            o.note = nameNote(p);
        }
        if (o.result == Result::Written)
            if (const auto c = fs::deletedFileCondition(parser_, e)) o.condition = c->condition;
        if (!host.setTimes(out->name(), parser_.times(e)) && o.result == Result::Written) {
            o.note += std::string(o.note.empty() ? "" : "; ") + "times could not be set";
        }
        if (showProgress_ && detail_) detail_(texts::dumpedText(out->path()));
    }

    void folderNote(std::string imagePath, std::string hostPath, std::string note) {
        FileOutcome o;
        o.result = hostPath.empty() ? Result::Failed : Result::Written;
        o.imagePath = std::move(imagePath) + "/";
        o.hostPath = std::move(hostPath);
        o.note = std::move(note);
        report.notes.push_back(std::move(o));
    }

    void finishOutcome(FileOutcome o) {
        switch (o.result) {
            case Result::Written:
                ++report.written;
                report.lastWritten = o.hostPath;
                if (o.condition) ++report.deletedByCondition[static_cast<std::size_t>(*o.condition)];
                break;
            case Result::Failed: ++report.failed; break;
            case Result::Skipped: ++report.skipped; break;
        }
        if (observer_) observer_(o);
        if (o.result != Result::Written || !o.note.empty()) report.notes.push_back(std::move(o));
    }

    fs::Parser& parser_;
    WorkControl& work_;
    const std::function<void(const std::string&)>& detail_;
    const std::function<void(const FileOutcome&)>& observer_;
    bool showProgress_;
    std::set<fs::EntryRef> entered_;
    std::int64_t done_ = 0;
};

// Names of the folders above an entry, for the image paths in the report.
std::vector<std::string> parentNames(const fs::Parser& parser, fs::EntryRef e) {
    std::vector<std::string> names;
    if (const auto parents = parentsOf(parser, e))
        for (const fs::EntryRef p : *parents) names.push_back(parser.shownName(p));
    return names;
}

std::unique_ptr<HostFolder> openOutput(const std::filesystem::path& out, SaveReport& report,
                                       const FreeSpaceQuery& freeSpace) {
    std::string error;
    auto root = HostFolder::openRoot(out, error);
    if (!root) report.error = "output folder cannot be used: " + error;
    if (root && freeSpace) root->setFreeSpaceQuery(freeSpace);
    return root;
}

}  // namespace

std::int64_t SaveEngine::countFiles(std::optional<fs::EntryRef> folder) const {
    Counter c{parser_, {}};
    if (!folder) return c.contents(parser_.rootLevel(), 0);
    if (!parser_.isFolder(*folder)) return 1;
    return c.folder(*folder, 0);
}

std::int64_t SaveEngine::countSelection(const std::vector<SaveItem>& items) const {
    std::set<fs::EntryRef> tickedFolders;
    for (const auto& item : items)
        if (parser_.isFolder(item.entry)) tickedFolders.insert(item.entry);
    Counter c{parser_, {}};
    std::set<fs::EntryRef> seenFiles;
    std::int64_t n = 0;
    for (const auto& item : items) {
        bool inside = false;
        for (const fs::EntryRef p : item.parents) inside = inside || tickedFolders.count(p) > 0;
        if (inside) continue;
        if (parser_.isFolder(item.entry)) {
            n += c.folder(item.entry, 0);
        } else if (seenFiles.insert(item.entry).second) {
            ++n;
        }
    }
    return n;
}

SaveReport SaveEngine::saveFolder(std::optional<fs::EntryRef> folder, const std::filesystem::path& out) {
    work_.clearStop();
    if (folder && !parser_.isFolder(*folder)) {
        SaveReport r;
        r.error = "the selected entry is not a folder";
        return r;
    }
    const std::int64_t count = countFiles(folder);
    SaveRun run(parser_, work_, detail_, observer_, true);
    auto root = openOutput(out, run.report, freeSpace_);
    if (!root) return run.report;
    work_.range(0, count);
    std::vector<std::string> path;
    if (folder) {
        if (!parser_.enterInSave(*folder)) return run.report;
        run.mark(*folder);
        path = parentNames(parser_, *folder);
        path.push_back(parser_.shownName(*folder));
    }
    run.contents(folder, root.get(), path, 0);
    work_.position(count);
    return run.report;
}

SaveReport SaveEngine::saveEntries(const std::vector<fs::EntryRef>& entries, const std::filesystem::path& out) {
    work_.clearStop();
    std::int64_t count = 0;
    for (const fs::EntryRef e : entries) count += countFiles(e);
    SaveRun run(parser_, work_, detail_, observer_, true);
    auto root = openOutput(out, run.report, freeSpace_);
    if (!root) return run.report;
    work_.range(0, count);
    for (const fs::EntryRef e : entries) {
        if (run.report.stopped) break;
        std::vector<std::string> path = parentNames(parser_, e);
        if (parser_.isFolder(e)) {
            if (!parser_.enterInSave(e)) continue;
            run.mark(e);
            path.push_back(parser_.shownName(e));
            run.contents(e, root.get(), path, 0);
        } else {
            if (!work_.checkpoint()) {
                run.report.stopped = true;
                break;
            }
            run.file(e, root.get(), path);
        }
    }
    work_.position(count);
    return run.report;
}

SaveReport SaveEngine::saveSelection(const std::vector<SaveItem>& items, const std::filesystem::path& out) {
    work_.clearStop();
    const std::int64_t count = countSelection(items);
    SaveRun run(parser_, work_, detail_, observer_, true);
    auto root = openOutput(out, run.report, freeSpace_);
    if (!root) return run.report;
    work_.range(0, count);

    std::set<fs::EntryRef> tickedFolders;
    for (const auto& item : items)
        if (parser_.isFolder(item.entry)) tickedFolders.insert(item.entry);

    // Host folders made for the ticked items' parents, shared between siblings.
    struct MadeFolder {
        std::unique_ptr<HostFolder> host;  // null when it could not be created
        HostFolder* parent = nullptr;
        std::string hostName;
        fs::EntryRef entry = 0;
    };
    std::map<fs::EntryRef, MadeFolder> made;
    std::vector<fs::EntryRef> madeOrder;
    std::set<fs::EntryRef> savedFiles;

    for (const auto& item : items) {
        if (run.report.stopped) break;
        bool inside = false;
        for (const fs::EntryRef p : item.parents) inside = inside || tickedFolders.count(p) > 0;
        if (inside) continue;
        if (!parser_.isFolder(item.entry) && !savedFiles.insert(item.entry).second) continue;

        HostFolder* host = root.get();
        std::vector<std::string> path;
        for (const fs::EntryRef p : item.parents) {
            path.push_back(parser_.shownName(p));
            auto it = made.find(p);
            if (it == made.end()) {
                MadeFolder m;
                m.parent = host;
                m.entry = p;
                Placement placement;
                m.host = run.makeFolder(host, path, placement);
                m.hostName = placement.hostName;
                it = made.emplace(p, std::move(m)).first;
                madeOrder.push_back(p);
            }
            host = it->second.host.get();
        }

        if (parser_.isFolder(item.entry)) {
            if (!work_.checkpoint()) {
                run.report.stopped = true;
                break;
            }
            run.subFolder(item.entry, host, path, static_cast<int>(item.parents.size()));
        } else {
            if (!work_.checkpoint()) {
                run.report.stopped = true;
                break;
            }
            run.file(item.entry, host, path);
        }
    }
    // Parent folders get their times once everything inside them is written.
    for (auto it = madeOrder.rbegin(); it != madeOrder.rend(); ++it) {
        auto& m = made[*it];
        if (m.host && m.parent) {
            m.host.reset();
            m.parent->setTimes(m.hostName, parser_.times(m.entry));
        }
    }
    work_.position(count);
    return run.report;
}

SaveReport SaveEngine::saveOne(fs::EntryRef file, const std::filesystem::path& out) {
    work_.clearStop();
    SaveRun run(parser_, work_, detail_, observer_, false);
    auto root = openOutput(out, run.report, freeSpace_);
    if (!root) return run.report;
    if (parser_.isFolder(file)) {
        run.report.error = "the entry is not a file";
        return run.report;
    }
    run.file(file, root.get(), parentNames(parser_, file));
    return run.report;
}

}  // namespace tavrel::browse
