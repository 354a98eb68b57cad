#pragma once

// Shared objects compiled into the program file and loaded from memory when first needed. A run maps a heavy library
// (the window toolkit, the TLS stack) only when it uses it, and the program stays one self-contained file.
// corvana_embed_module() in platform/CMakeLists.txt compiles a module's bytes in as SYMBOL ... SYMBOL_end.

#include <cstddef>
#include <string>

namespace platform {

/// The bytes of one shared object inside the program file.
struct EmbeddedModule {
    /// Name of the memory file it is loaded from (shown as "/memfd:NAME" in /proc/PID/maps).
    const char* name = "";
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

/// The module whose bytes run from `begin` up to `end`, the two symbols corvana_embed_module() compiles in.
[[nodiscard]] inline EmbeddedModule embeddedModule(const char* name, const unsigned char* begin,
                                                   const unsigned char* end) {
    return {name, begin, static_cast<std::size_t>(end - begin)};
}

/// Loads the shared object from an anonymous memory file with every symbol bound at once; `global` makes its symbols
/// visible to objects loaded after it. Answers the loader's handle, which stays valid for the life of the process;
/// nullptr when it cannot be loaded, with the reason in `whyNot` when given. Any thread; nothing throws. Each call
/// loads a fresh copy, so callers load a module once.
[[nodiscard]] void* loadEmbeddedModule(const EmbeddedModule& module, bool global, std::string* whyNot = nullptr);

/// The address of the named symbol of a loaded module; nullptr when the handle is nullptr or the symbol is missing.
[[nodiscard]] void* moduleSymbol(void* handle, const char* name);

/// Loads the module as loadEmbeddedModule does and answers the address of its entry; nullptr when the module cannot
/// be loaded or has no such entry, with the reason in `whyNot` when given. Each call loads a fresh copy, so callers
/// keep the answer.
[[nodiscard]] void* loadModuleEntry(const EmbeddedModule& module, const char* entry, bool global,
                                    std::string* whyNot = nullptr);

} // namespace platform
