// One handle of a libyal library (a libqcow or libvhdi file, a libewf handle),
// closed and freed with its owner. `Library` names the handle type and the
// library's calls, e.g. using Handle = libqcow_file_t; and
// static constexpr auto initialize = libqcow_file_initialize; (close, free alike).
#pragma once

namespace tavrel {

template <typename Library>
struct LibraryHandle {
    typename Library::Handle* handle = nullptr;

    LibraryHandle() { Library::initialize(&handle, nullptr); }
    ~LibraryHandle() {
        if (!handle) return;
        Library::close(handle, nullptr);
        Library::free(&handle, nullptr);
    }
    LibraryHandle(const LibraryHandle&) = delete;
    LibraryHandle& operator=(const LibraryHandle&) = delete;
};

}  // namespace tavrel
