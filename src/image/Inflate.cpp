#include "image/Inflate.h"

#include <libdeflate.h>

#include <cstring>
#include <memory>

namespace tavrel {

namespace {

struct FreeDecompressor {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

libdeflate_decompressor* threadDecompressor() {
    thread_local const std::unique_ptr<libdeflate_decompressor, FreeDecompressor> d(libdeflate_alloc_decompressor());
    return d.get();
}

}  // namespace

bool inflateInto(DeflateWrapper wrapper, ByteSpan in, MutableByteSpan out, bool fill) {
    libdeflate_decompressor* d = threadDecompressor();
    std::size_t produced = out.size();
    // Without a place for the length, libdeflate fails a stream that comes out short.
    std::size_t* length = fill ? nullptr : &produced;
    const libdeflate_result result =
        !d ? LIBDEFLATE_BAD_DATA
        : wrapper == DeflateWrapper::Zlib
            ? libdeflate_zlib_decompress(d, in.data(), in.size(), out.data(), out.size(), length)
            : libdeflate_deflate_decompress(d, in.data(), in.size(), out.data(), out.size(), length);
    if (result != LIBDEFLATE_SUCCESS) produced = 0;
    std::memset(out.data() + produced, 0, out.size() - produced);
    return result == LIBDEFLATE_SUCCESS;
}

}  // namespace tavrel
