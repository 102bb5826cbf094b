// Texts of the scan page's file list that tell a deleted file's condition.
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

}  // namespace tavrel::app::texts
