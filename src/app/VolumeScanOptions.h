// What the scan mode page hands to the volume list page.
#pragma once

#include <cstdint>
#include <string>

namespace tavrel::app {

struct VolumeScanOptions {
    std::string imagePath;
    int scanMode = 1;        // 1 standard (partition tables), 2 advanced (boot-record scan)
    bool gpt = false;        // "GPT format"
    bool noSkip = false;     // do not jump over found volumes in the advanced scan
    bool customRange = false;  // a sector range was given
    std::int64_t customStart = 0;
    std::int64_t customEnd = 0;
};

}  // namespace tavrel::app
