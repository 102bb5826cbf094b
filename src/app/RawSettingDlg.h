// Setting page ("Setting", opened from the raw recovery page): appends one rule
// per "Save" to a rule file the user chose with "...". The file is extended,
// never emptied. Input the record format cannot hold (a signature over 10 bytes,
// an extension over 4 characters, a category of 50 characters or more) is
// refused with a message instead of being cut.
#pragma once

#include <string>

#include "app/Gui.h"
#include "raw/RuleFile.h"

namespace tavrel::app {

class RawSettingDlg {
public:
    // One field of the page: its id, label and the tooltip of its "?" button.
    struct Field {
        const char* id;
        const char* label;
        const char* tooltip;
        bool digitsOnly;
    };
    static const Field kFields[11];  // in the page's order; the check box is "includesHeader"
    static constexpr const char* kGroup = "Select Path to Save Entries";
    static constexpr const char* kTitle = "Setting";

    explicit RawSettingDlg(Gui& gui) : gui_(gui) {}

    // "...": the path the save-style file dialog returned ("" when cancelled).
    // True when the file can be appended to; it is created when missing.
    bool chooseFile(const std::string& path);
    const std::string& target() const { return target_; }

    // "Save": appends the rule the fields describe; true when it was written.
    bool save(const raw::RuleFields& fields);

private:
    Gui& gui_;
    std::string target_;
};

}  // namespace tavrel::app
