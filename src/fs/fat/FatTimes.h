// Real times and list texts of FAT entries. FAT stores local times without a
// zone; they are taken as given (as if UTC), so a saved file shows the same
// clock time the volume shows.
#pragma once

#include "fs/Parser.h"
#include "fs/fat/FatDirSlot.h"

namespace tavrel::fs::fat {

EntryTimes fatEntryTimes(const DirSlot& s);

// Creation and write times as "MM/DD/YYYY  hh:mm AM|PM", the access date as
// "MM/DD/YYYY ", attributes as "-R", "-H", "-S", "-A" in that order.
EntryDescription fatDescription(const DirSlot& s);

std::string attributeText(std::uint8_t attributes);

}  // namespace tavrel::fs::fat
