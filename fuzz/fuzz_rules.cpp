// Fuzz target: both rule-file loaders and the readable rule table over
// arbitrary bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "raw/RuleFile.h"
#include "raw/RuleTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel::raw;
    char path[] = "/tmp/fuzz-rules-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return 0;
    if (::write(fd, data, size) != static_cast<ssize_t>(size)) {
        ::close(fd);
        ::unlink(path);
        return 0;
    }
    ::close(fd);
    for (const bool asDefault : {true, false}) {
        std::vector<SignatureRule> rules;
        loadRuleFile(path, asDefault, rules);
        for (const SignatureRule& r : rules)
            if (r.start.size() < 2 || r.start.size() > kMaxSignature || r.end.size() > kMaxSignature) __builtin_trap();
    }
    ::unlink(path);
    std::string error;
    for (const TableRow& row : parseRuleTable(std::string(reinterpret_cast<const char*>(data), size), error)) {
        SettingsRecord record;
        if (recordFromFields(row.fields, record).empty() && !recordProblem(record).empty()) __builtin_trap();
    }
    return 0;
}
