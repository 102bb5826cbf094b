// Texts of the scan page's file list that tell a deleted file's condition, and
// of the preview pane (the raw recovery page's too).
#pragma once

#include <cstdint>
#include <string>

namespace tavrel::app::texts {

inline constexpr const char* kConditionHeader = "Condition";
// Tooltips of the Condition cell.
inline constexpr const char* kConditionResident = "Content kept in the file's own record: intact while it is listed";
inline constexpr const char* kConditionNoMap = "The volume's allocation map could not be read";
inline constexpr const char* kConditionNoPlace = "The entry no longer says where its content was";

// "3 of 10 clusters reused (30%)"
inline std::string reusedClustersText(std::uint64_t reused, std::uint64_t clusters) {
    const std::uint64_t percent = clusters == 0 ? 0 : reused * 100 / clusters;
    return std::to_string(reused) + " of " + std::to_string(clusters) + " clusters reused (" +
           std::to_string(percent) + "%)";
}

// The preview pane.
inline constexpr const char* kPreviewToggle = "Preview";
inline constexpr const char* kPreviewHint = "Select a file to see its content here.";
inline constexpr const char* kPreviewReading = "Reading the file...";
inline constexpr const char* kPreviewEmpty = "The file is empty.";
inline constexpr const char* kPreviewUnreadable = "The file's content could not be read.";
inline constexpr const char* kPreviewNoPicture =
    "The picture could not be decoded: its content is damaged or overwritten.";
inline constexpr const char* kPreviewPictureTooLong =
    "Only the first 8 MiB were read: the picture cannot be shown from them.";
inline constexpr const char* kPreviewHex = "Hex dump";
inline constexpr const char* kPreviewHexCut = "Hex dump of the first 4 KiB";

// "Picture, 640 x 480 pixels"
inline std::string pictureCaption(int width, int height) {
    return "Picture, " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

// "Text (UTF-8)", "Text (UTF-16), first 64 KiB"
inline std::string textCaption(bool utf16, bool cut) {
    return std::string(utf16 ? "Text (UTF-16)" : "Text (UTF-8)") + (cut ? ", first 64 KiB" : "");
}

}  // namespace tavrel::app::texts
