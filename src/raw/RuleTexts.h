// Messages and status texts of rule files, the Setting page and carving.
#pragma once

namespace tavrel::raw::texts {

inline constexpr const char* kCannotOpen = "Cannot open the selected file";
inline constexpr const char* kInvalidFile = "Please select a valid file..";
inline constexpr const char* kProcessing = "Processing.....";
inline constexpr const char* kNoFileChosen = "Select valid file to save the entries.";
inline constexpr const char* kNoExtension = "extention length is zero..";
inline constexpr const char* kNoSignature = "signature length is zero..";
inline constexpr const char* kFileNotCreated = "File can not be created";
inline constexpr const char* kAppended = "everything initialized well.....";
inline constexpr const char* kNotInitialized = "not properly initialized";
inline constexpr const char* kDone = "done..";
inline constexpr const char* kRuleFilter = ".Text Files (*.txt)|*txt||";
inline constexpr const char* kDefaultRuleFile = "FileSetting.txt";

// Refusals of input the record cannot hold.
inline constexpr const char* kSignatureTooLong = "A signature can have at most 10 bytes.";
inline constexpr const char* kExtensionTooLong = "A file extension can have at most 4 characters.";
inline constexpr const char* kCategoryTooLong = "A category name can have at most 49 characters.";
inline constexpr const char* kSizeBytes = "The number of bytes in size can be 1, 2, 4 or 8.";
inline constexpr const char* kStartOutside =
    "The starting signature must end within the first 512 bytes (offset plus length).";
inline constexpr const char* kShortSignature = "A signature needs at least 2 bytes.";
inline constexpr const char* kMatchesEverySector =
    "A starting signature made only of 0x2A bytes would match every sector.";

// Free space only, when the volume's allocation map cannot be read.
inline constexpr const char* kNoFreeSpaceMap =
    "The free space of this volume cannot be read from its file system, so nothing was carved.";

}  // namespace tavrel::raw::texts
