#include "fs/ext/ExtProbe.h"

#include "fs/ext/ExtSuperblock.h"

namespace tavrel::fs::ext {

bool hasExtSuperblockMagic(ByteSpan sector) {
    return sector.size() >= kMagicField + 2 && le16(sector, kMagicField) == kExtMagic;
}

}  // namespace tavrel::fs::ext
