// Picking and parsing one volume for the commands that read files (ls,
// recover, cat): --volume N from the volume list (with the scan options --gpt,
// --no-gpt, --advanced, --no-skip), or a custom volume --start S --end E;
// --treat-as NAME names the file system instead of the volume list;
// --mode standard|advanced|deep; in Advanced mode --candidate I picks the
// structure copy the hunt found (see tavrel-cli hunt; 0 when not given),
// --sectors-per-cluster S the cluster size and, for exFAT, --heap J the
// cluster-heap offset (chosen apart from the FAT copy). The parser comes from fs::makeParser, so every parser
// that registers there works here unchanged.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/VolumeScanArgs.h"
#include "fs/Parser.h"
#include "image/VolumeView.h"
#include "image/readWriteInterface.h"
#include "util/WorkControl.h"
#include "volume/VolumeRecord.h"

namespace tavrel::cli {

struct VolumeSelectArgs {
    VolumeScanArgs scan;
    int volume = -1;            // --volume N: index in the volume list
    std::int64_t start = -1;    // --start S: first sector of a custom volume
    std::int64_t end = -1;      // --end E: last sector of a custom volume
    std::string treatAs;        // --treat-as NAME
    std::string mode = "standard";
    int candidate = -1;         // --candidate I (Advanced mode)
    int sectorsPerCluster = 0;  // --sectors-per-cluster S (Advanced mode; 0: as the candidate shows)
    int heap = -1;              // --heap J (Advanced mode, exFAT: the heap-offset candidate; -1: as --candidate)
};

void addVolumeSelectOptions(CLI::App* cmd, VolumeSelectArgs& args);

// The image, the chosen volume and its scanned parser, kept alive together.
struct OpenedVolume {
    std::unique_ptr<readWriteInterface> reader;
    VolumeRecord record;
    std::unique_ptr<VolumeView> view;
    std::unique_ptr<fs::Parser> parser;
};

// Opens the image, picks the volume and makes its parser, without scanning.
// Returns 0, or 2 after printing a one-line error on stderr.
int prepareVolume(const std::string& image, const VolumeSelectArgs& args, WorkControl& work, OpenedVolume& out);

// Opens the image, picks the volume and runs its parser's scan, reporting
// through work. Returns 0 (also for a stopped scan: its tree holds what was
// gathered), or 2 after printing a one-line error on stderr (no image, no such
// volume, a kind without a parser, a scan outcome without a tree: its text and
// the volume byte offset where it applies).
int openVolume(const std::string& image, const VolumeSelectArgs& args, WorkControl& work, OpenedVolume& out);

// When the parser counted warnings (unreadable ranges, damaged records) during
// the scan and any saves, prints fs::warningSummary as one line on stderr and
// returns true.
bool reportWarnings(const fs::Parser& parser);

// The kind of a custom volume from sector `start` to `end`: the boot-record
// test run on its first sectors (an HFS+ volume header sits 2 sectors in), else
// the volume's backup boot record (FAT32, exFAT) when its first sector is
// damaged; empty when none is found.
std::string customVolumeKind(const readWriteInterface& reader, std::int64_t start, std::int64_t end);

// The file-system name a --treat-as value stands for ("NTFS" -> "ntfs", "EXTX"
// -> "extX" ...), through the kind table; other values are passed on as given.
std::string treatAsName(const std::string& value);

}  // namespace tavrel::cli
