#include "platform/embedded_module.h"

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <system_error>
#include <unistd.h>

namespace platform {
namespace {

std::string systemError(const char* what) {
    return std::string(what) + ": " + std::system_category().message(errno);
}

// The bytes go in through a mapping, not write(): a memory file lives in RAM, so what a full disk does to the
// program's writes never touches it. The space is reserved first, so that filling the mapping cannot fault.
bool copyInto(int fd, const unsigned char* data, std::size_t size) {
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0 || ::fallocate(fd, 0, 0, static_cast<off_t>(size)) != 0)
        return false;
    void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED)
        return false;
    std::memcpy(mapped, data, size);
    // Sealing against writes needs every writable mapping gone.
    return ::munmap(mapped, size) == 0;
}

// The loader knows an object by the path it was opened from, and answers a second load of the same path with the
// first object. So the memory file's descriptor stays open for the life of the process: its number, and with it the
// path "/proc/self/fd/N", is never reused for another module.
void* load(const EmbeddedModule& module, bool global, std::string& whyNot) {
    if (module.data == nullptr || module.size == 0) {
        whyNot = "The module is empty";
        return nullptr;
    }
    const int fd = memfd_create(module.name, MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) {
        whyNot = systemError("memfd_create");
        return nullptr;
    }
    // Sealed before loading: nothing can change the code once it is mapped.
    constexpr int kSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;
    if (!copyInto(fd, module.data, module.size) || fcntl(fd, F_ADD_SEALS, kSeals) != 0) {
        whyNot = systemError("Writing the memory file");
        ::close(fd);
        return nullptr;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    void* handle = dlopen(path.c_str(), RTLD_NOW | (global ? RTLD_GLOBAL : RTLD_LOCAL));
    if (handle == nullptr) {
        const char* reason = dlerror();
        whyNot = reason != nullptr ? reason : "The module could not be loaded";
        ::close(fd);
    }
    return handle;
}

} // namespace

void* loadEmbeddedModule(const EmbeddedModule& module, bool global, std::string* whyNot) {
    try {
        std::string reason;
        void* handle = load(module, global, reason);
        if (handle == nullptr && whyNot != nullptr)
            *whyNot = std::move(reason);
        return handle;
    } catch (...) {
        return nullptr;
    }
}

void* moduleSymbol(void* handle, const char* name) {
    return handle != nullptr && name != nullptr ? dlsym(handle, name) : nullptr;
}

void* loadModuleEntry(const EmbeddedModule& module, const char* entry, bool global, std::string* whyNot) {
    try {
        std::string reason;
        void* handle = loadEmbeddedModule(module, global, &reason);
        void* symbol = moduleSymbol(handle, entry);
        if (handle != nullptr && symbol == nullptr)
            reason = std::string("The module ") + module.name + " has no entry " + (entry != nullptr ? entry : "");
        if (symbol == nullptr && whyNot != nullptr)
            *whyNot = std::move(reason);
        return symbol;
    } catch (...) {
        return nullptr;
    }
}

} // namespace platform
