#include "fs/ntfs/Lznt1.h"

#include <algorithm>

namespace tavrel::fs {

namespace {
constexpr std::size_t kChunkOutput = 4096;

// Decodes one compressed chunk's data into output[start, ...). Returns false on a
// malformed token or a full output.
bool decodeChunk(ByteSpan chunk, MutableByteSpan output, std::size_t start, std::size_t& outPos) {
    const std::size_t chunkEnd = std::min(output.size(), start + kChunkOutput);
    std::size_t cp = 0;
    while (cp < chunk.size()) {
        const std::uint8_t flags = chunk[cp++];
        for (int bit = 0; bit < 8 && cp < chunk.size(); ++bit) {
            if (((flags >> bit) & 1) == 0) {
                if (outPos >= chunkEnd) return false;
                output[outPos++] = chunk[cp++];
                continue;
            }
            if (cp + 2 > chunk.size()) return false;
            const std::uint16_t token = static_cast<std::uint16_t>(chunk[cp] | (chunk[cp + 1] << 8));
            cp += 2;
            const std::size_t produced = outPos - start;
            if (produced == 0) return false;
            // The split between displacement and length moves with the position
            // inside the chunk: the further in, the more displacement bits.
            unsigned lengthBits = 12;
            for (std::size_t n = produced - 1; n >= 16; n >>= 1) --lengthBits;
            const std::size_t displacement = (token >> lengthBits) + 1u;
            std::size_t length = (token & ((1u << lengthBits) - 1)) + 3u;
            if (displacement > produced) return false;
            while (length-- > 0) {
                if (outPos >= chunkEnd) return false;
                output[outPos] = output[outPos - displacement];
                ++outPos;
            }
        }
    }
    return true;
}
}  // namespace

Lznt1Result decompressUnit(ByteSpan input, MutableByteSpan output) {
    Lznt1Result result;
    std::size_t pos = 0;
    std::size_t outPos = 0;
    bool firstChunk = true;
    std::size_t chunkStart = 0;
    while (pos + 2 <= input.size()) {
        const std::uint16_t header = static_cast<std::uint16_t>(input[pos] | (input[pos + 1] << 8));
        if (header == 0) break;
        const std::size_t length = (header & 0x0FFFu) + 1;
        const bool compressed = (header & 0x8000u) != 0;
        pos += 2;
        if (length > input.size() - pos) {
            result.error = true;
            break;
        }
        // A previous chunk that produced less than 4096 bytes stands for a full one.
        if (!firstChunk) {
            const std::size_t padEnd = std::min(output.size(), chunkStart + kChunkOutput);
            if (outPos < padEnd) std::fill(output.begin() + static_cast<std::ptrdiff_t>(outPos),
                                           output.begin() + static_cast<std::ptrdiff_t>(padEnd), std::uint8_t{0});
            outPos = padEnd;
        }
        firstChunk = false;
        if (outPos >= output.size()) {
            result.error = true;
            break;
        }
        chunkStart = outPos;
        const ByteSpan chunk = input.subspan(pos, length);
        pos += length;
        if (!compressed) {
            const std::size_t n = std::min(chunk.size(), output.size() - outPos);
            std::copy_n(chunk.begin(), n, output.begin() + static_cast<std::ptrdiff_t>(outPos));
            outPos += n;
            if (n < chunk.size()) {
                result.error = true;
                break;
            }
        } else if (!decodeChunk(chunk, output, chunkStart, outPos)) {
            result.error = true;
            break;
        }
    }
    result.produced = outPos;
    return result;
}

}  // namespace tavrel::fs
