// One handle of a libyal library (a libqcow or libvhdi file, a libewf handle),
// closed and freed with its owner. `Library` names the handle type and the
// library's calls:
//   using Handle = libqcow_file_t;
//   static void initialize(Handle**); static void close(Handle*); static void free(Handle**);
#pragma once

namespace tavrel {

template <typename Library>
struct LibraryHandle {
    using Handle = typename Library::Handle;

    Handle* handle = nullptr;

    LibraryHandle() { Library::initialize(&handle); }
    ~LibraryHandle() {
        if (!handle) return;
        Library::close(handle);
        Library::free(&handle);
    }
    LibraryHandle(const LibraryHandle&) = delete;
    LibraryHandle& operator=(const LibraryHandle&) = delete;
};

}  // namespace tavrel
