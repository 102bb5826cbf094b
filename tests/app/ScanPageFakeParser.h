// A parser over a table of entries held in memory, for the scan page's tests:
// its scan walks a number of steps through the WorkControl (so Pause, Resume and
// Stop can be watched), optionally waiting at a gate the test opens.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fs/Parser.h"

namespace tavrel::test {

class ScanPageFakeParser : public fs::Parser {
public:
    struct Entry {
        std::string name;
        int parent = -1;  // -1: first level
        bool folder = false;
        bool deleted = false;
        std::string content;
    };

    std::vector<Entry> entries;
    int scanSteps = 10;
    bool failScan = false;
    fs::ScanOutcome failure;    // the outcome a failed scan returns (message_ when its text is empty)
    int damagedRecords = 0;     // counted as warnings by the scan
    std::atomic<int> stepsDone{0};
    std::atomic<bool> scanEnded{false};
    std::atomic<int> savesStarted{0};
    mutable std::atomic<int> describeCalls{0};
    mutable std::thread::id mapReadOn;  // the thread that read the allocation map

    // Entry helpers; return the new entry's index.
    int folder(const std::string& name, int parent = -1, bool deleted = false) {
        entries.push_back({name, parent, true, deleted, {}});
        return static_cast<int>(entries.size()) - 1;
    }
    int file(const std::string& name, int parent = -1, std::string content = "x", bool deleted = false) {
        entries.push_back({name, parent, false, deleted, std::move(content)});
        return static_cast<int>(entries.size()) - 1;
    }

    // Children lists for fast lookups once the table is complete (scan() does it).
    void buildIndex() {
        index_.assign(entries.size() + 1, {});
        for (std::size_t i = 0; i < entries.size(); ++i)
            index_.at(static_cast<std::size_t>(entries[i].parent + 1)).push_back(i);
        indexed_ = true;
    }

    // While the gate is closed, the scan (before its first step) and every
    // saveFile wait at it.
    void closeGate() { gateOpen_ = false; }
    void openGate() {
        {
            std::lock_guard lock(mutex_);
            gateOpen_ = true;
        }
        gate_.notify_all();
    }

    fs::ScanOutcome scan(WorkControl& work) override {
        work.status("fake scan started");
        work.range(0, scanSteps);
        waitAtGate(work);
        for (int i = 0; i < scanSteps; ++i) {
            if (!work.checkpoint()) break;
            stepsDone = i + 1;
            work.position(i + 1);
        }
        buildIndex();
        scanEnded = true;
        for (int i = 0; i < damagedRecords; ++i) warnings().damaged(i * 1024);
        if (failScan) {
            if (failure.ok()) failure = fs::ScanOutcome::fail(fs::ScanResult::NotThisKind, 0, "Selected Drive is not in Fat16 Format");
            return failure;
        }
        return work.stopRequested() ? fs::ScanOutcome::stopped() : fs::ScanOutcome::done();
    }

    std::vector<fs::EntryRef> rootLevel() const override { return kids(-1); }
    std::vector<fs::EntryRef> children(fs::EntryRef e) const override { return kids(static_cast<int>(e)); }
    bool isFolder(fs::EntryRef e) const override { return at(e).folder; }
    bool hasChildren(fs::EntryRef e) const override { return !kids(static_cast<int>(e)).empty(); }
    bool isDeleted(fs::EntryRef e) const override { return at(e).deleted; }
    std::string name(fs::EntryRef e) const override { return at(e).name; }
    std::int64_t size(fs::EntryRef e) const override { return static_cast<std::int64_t>(at(e).content.size()); }
    fs::EntryTimes times(fs::EntryRef) const override { return {}; }
    fs::EntryDescription describeEntry(fs::EntryRef e) const override {
        ++describeCalls;
        return {"c" + at(e).name, "a" + at(e).name, "m" + at(e).name, at(e).deleted ? "-H" : "-A"};
    }
    std::string sizeText(fs::EntryRef e) const override { return std::to_string(size(e)) + " Bytes"; }
    bool saveFile(fs::EntryRef e, fs::ByteSink& out, WorkControl& work) override {
        ++savesStarted;
        waitAtGate(work);
        const std::string& c = at(e).content;
        if (c == "!record") {  // stands for an entry whose record is not a file record
            message_ = "Not a valid entry...";
            return false;
        }
        return out.write(ByteSpan(reinterpret_cast<const std::uint8_t*>(c.data()), c.size()));
    }

protected:
    std::unique_ptr<fs::AllocationMap> readAllocationMap() const override {
        mapReadOn = std::this_thread::get_id();
        return nullptr;
    }

private:
    // Holds the calling job until the gate opens or the job is stopped.
    void waitAtGate(WorkControl& work) {
        std::unique_lock lock(mutex_);
        while (!gateOpen_.load() && !work.stopRequested()) gate_.wait_for(lock, std::chrono::milliseconds(5));
    }

    const Entry& at(fs::EntryRef e) const { return entries.at(static_cast<std::size_t>(e)); }
    std::vector<fs::EntryRef> kids(int parent) const {
        if (indexed_) return index_.at(static_cast<std::size_t>(parent + 1));
        std::vector<fs::EntryRef> out;
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i].parent == parent) out.push_back(i);
        return out;
    }

    std::vector<std::vector<fs::EntryRef>> index_;  // [parent + 1] -> children
    bool indexed_ = false;

    std::mutex mutex_;
    std::condition_variable gate_;
    std::atomic<bool> gateOpen_{true};
};

}  // namespace tavrel::test
