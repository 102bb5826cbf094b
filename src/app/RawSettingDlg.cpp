#include "app/RawSettingDlg.h"

#include <fcntl.h>
#include <unistd.h>

#include "raw/RuleTexts.h"

namespace tavrel::app {

const RawSettingDlg::Field RawSettingDlg::kFields[11] = {
    {"extension", "File Extention :",
     "Enter file extention .\n Example 'jpg','mp3','avi',..etc.\n Do not put a dot(.) before extention(i.e .mp3)",
     false},
    {"startSignature", "Starting Signature :",
     "here enter the file signature that happens to be in the starting of the file.\n example 0x89,0x50,0x4E,0x47  "
     "for png File",
     false},
    {"startOffset", "Starting Signature Offset:",
     "Here enter offset of starting signature in File.Value should be less than 512.By default its zero.", true},
    {"endSignature", "Ending Signature :",
     "here enter the file signature that happens to be in the end of the file.\n Example "
     "0x49,0x45,0x4E,0x44,0xAE,0x42,0x60,0x82 for png File.\n its optional Field .you can leave it if you dont know .",
     false},
    {"sizeOffset", "Offset to Size Byte :",
     "if  the size of file is given in the header and you know its offset please enter that offset here.\n its "
     "optional Field .you can leave it if you don't know.",
     true},
    {"sizeBytes", "Number Of Bytes In Size :",
     "if  you know how many bytes represents size please enter that number of bytes  here.\n its optional Field .you "
     "can leave it ifyou  don't know.",
     true},
    {"includesHeader", "Size includes header size",
     "check this checkbox if the size alkso includes the header size else leave it.\n its optional Field .you can "
     "leave it if you don't know.",
     false},
    {"headerSize", "Header size :",
     "please enter the header size in bytes here.\n its optional Field .you can leave it if you don't know.", true},
    {"skipSize", "Size_to_skip_WhileParsing :",
     "when we find the file signature you mentioned  above we can skip further file scanning by an amount you enter "
     "here.\n For example mp3 are generally greater then 2 mb .so you can enter 2097152 bytes here.\n its optional "
     "Field .you can leave it .",
     true},
    {"approxSize", "Approx file size :", "Enter approx file size here.\n its optional Field .you can leave it if you don't know.",
     true},
    {"category", "Put Under Category :", "Enter the name of category you want to put these files under", false},
};

bool RawSettingDlg::chooseFile(const std::string& path) {
    // Opened for appending only: choosing an existing rule file keeps its rules.
    const int fd = path.empty() ? -1 : ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        target_.clear();
        gui_.messageBox(raw::texts::kFileNotCreated);
        return false;
    }
    ::close(fd);
    target_ = path;
    return true;
}

bool RawSettingDlg::save(const raw::RuleFields& fields) {
    if (target_.empty()) {
        gui_.messageBox(raw::texts::kNoFileChosen);
        return false;
    }
    raw::SettingsRecord record;
    if (const std::string problem = raw::recordFromFields(fields, record); !problem.empty()) {
        gui_.messageBox(problem);
        return false;
    }
    if (const std::string problem = raw::appendRecord(target_, record); !problem.empty()) {
        gui_.messageBox(target_ + ": " + problem);
        return false;
    }
    gui_.messageBox(raw::texts::kAppended);
    return true;
}

}  // namespace tavrel::app
