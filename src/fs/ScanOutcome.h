// What a parser's scan ended with, and the damage it met on the way.
//
// A scan ends in one of six ways; each carries the byte offset (volume-relative)
// where it applies and, when the user should be told, the text to show. Pages and
// the CLI map outcomes to their own texts; they never guess from a bool.
//
// Warnings count what could not be read and what was damaged during a scan or a
// save, so a failing disk never looks like a complete listing.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace tavrel::fs {

enum class ScanResult {
    Done,         // every stage ran
    NotThisKind,  // the boot record is not of this file system
    Unsupported,  // of this kind, but a variant this parser cannot read
    Damaged,      // of this kind, but a structure the scan needs is broken
    ReadError,    // the image could not be read where the scan needed it
    Stopped,      // a stop request ended the long loops; the tree holds what was gathered
};

struct ScanOutcome {
    ScanResult result = ScanResult::Done;
    std::int64_t offset = -1;  // volume byte offset where it applies; -1 when none
    // The user-facing text, when the parser has one. On a scan that has a tree
    // (Done, Stopped) it is a notice to show with the tree, such as a backup
    // structure that was used in place of a damaged one (offset: where).
    std::string text;

    // True when there is a tree to show: the scan finished or was stopped.
    bool ok() const { return result == ScanResult::Done || result == ScanResult::Stopped; }
    explicit operator bool() const { return ok(); }

    static ScanOutcome done() { return {}; }
    static ScanOutcome stopped() { return {ScanResult::Stopped, -1, {}}; }
    static ScanOutcome fail(ScanResult r, std::int64_t offset, std::string text) {
        return {r, offset, std::move(text)};
    }
};

// A short name of a result for logs and JSON ("done", "not-this-kind", ...).
inline const char* resultName(ScanResult r) {
    switch (r) {
        case ScanResult::Done: return "done";
        case ScanResult::NotThisKind: return "not-this-kind";
        case ScanResult::Unsupported: return "unsupported";
        case ScanResult::Damaged: return "damaged";
        case ScanResult::ReadError: return "read-error";
        case ScanResult::Stopped: return "stopped";
    }
    return "unknown";
}

// Counts of trouble met while reading a volume. Counters are atomic: a scan or a
// save worker adds, the interface thread reads after the worker ends.
class Warnings {
public:
    Warnings() = default;
    Warnings(const Warnings&) = delete;
    Warnings& operator=(const Warnings&) = delete;

    // A range of the volume that could not be read (it was treated as zeros).
    void unreadable(std::int64_t offset) {
        unreadable_.fetch_add(1, std::memory_order_relaxed);
        noteOffset(offset);
    }
    // A record or structure that failed its checks and was skipped or cut short.
    void damaged(std::int64_t offset) {
        damaged_.fetch_add(1, std::memory_order_relaxed);
        noteOffset(offset);
    }

    std::int64_t unreadableRanges() const { return unreadable_.load(std::memory_order_relaxed); }
    std::int64_t damagedRecords() const { return damaged_.load(std::memory_order_relaxed); }
    std::int64_t total() const { return unreadableRanges() + damagedRecords(); }
    std::int64_t firstOffset() const { return first_.load(std::memory_order_relaxed); }

    void clear() {
        unreadable_ = 0;
        damaged_ = 0;
        first_ = -1;
    }

private:
    void noteOffset(std::int64_t offset) {
        std::int64_t expected = -1;
        if (offset >= 0) first_.compare_exchange_strong(expected, offset, std::memory_order_relaxed);
    }

    std::atomic<std::int64_t> unreadable_{0};
    std::atomic<std::int64_t> damaged_{0};
    std::atomic<std::int64_t> first_{-1};
};

// "N warnings: U unreadable ranges, D damaged records" for status lines and stderr;
// empty when there is nothing to say.
inline std::string warningSummary(const Warnings& w) {
    if (w.total() == 0) return {};
    return std::to_string(w.total()) + (w.total() == 1 ? " warning: " : " warnings: ") +
           std::to_string(w.unreadableRanges()) + " unreadable range(s), " + std::to_string(w.damagedRecords()) +
           " damaged record(s)";
}

}  // namespace tavrel::fs
