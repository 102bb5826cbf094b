// The volume list's texts about LVM2 volumes, shown with the volume they name
// (the VOLUME column's note, the CLI's volume list, the message on Next).
#pragma once

#include <string>
#include <vector>

namespace tavrel::lvm {

inline std::string thinPoolText(const std::string& lv) {
    return lv + " is an LVM thin pool. Tavrel cannot read thin pools or the thin volumes in them.";
}

inline std::string thinVolumeText(const std::string& lv) {
    return lv + " is an LVM thin volume. Tavrel cannot read thin volumes.";
}

inline std::string snapshotText(const std::string& lv) {
    return lv + " is an LVM snapshot. Tavrel cannot read snapshots; read the volume it was taken of.";
}

inline std::string segmentTypeText(const std::string& lv, const std::string& type) {
    return lv + " uses the LVM segment type \"" + type + "\", which Tavrel cannot read.";
}

inline std::string damagedText(const std::string& lv) {
    return "The LVM metadata of " + lv + " is damaged: its extents cannot be mapped.";
}

inline std::string missingLvText(const std::string& lv) {
    return lv + " lies partly on physical volumes that are not on this disk and cannot be read.";
}

inline std::string joinedUuids(const std::vector<std::string>& uuids) {
    std::string out;
    for (const std::string& u : uuids) out += (out.empty() ? "" : ", ") + u;
    return out;
}

inline std::string missingPvsText(const std::string& vg, const std::vector<std::string>& uuids) {
    return "Volume group " + vg + " also spans physical volumes that are not on this disk: " + joinedUuids(uuids) + ".";
}

inline std::string noMetadataText(const std::string& pvUuid) {
    return "The LVM physical volume " + pvUuid +
           " holds no readable copy of its metadata, so its logical volumes cannot be listed. Advanced Scan still "
           "finds file systems inside it.";
}

inline std::string olderCopyText(const std::string& vg, long long seqno) {
    return "The latest LVM metadata of volume group " + vg + " is damaged; an older copy (sequence number " +
           std::to_string(seqno) + ") is used.";
}

}  // namespace tavrel::lvm
