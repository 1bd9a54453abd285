// System libraries and functions looked up at run time: a library that is
// missing, or a function that an older system lacks, is a null handle the
// caller falls back from, never a failure to start the program.
#pragma once

#include <windows.h>

namespace gfx::win32 {

// The function `name` of module as type F; null when it is missing.
template <typename F>
F find_proc(HMODULE module, const char* name) {
    if (!module) return nullptr;
    // Through the generic function type, which every function type may be
    // cast from without a warning.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The function `name` of USER32 (always loaded by the program).
template <typename F>
F user32_proc(const char* name) {
    return find_proc<F>(GetModuleHandleA("user32.dll"), name);
}

// A library loaded for as long as the object lives.
class Library {
public:
    Library() = default;
    explicit Library(const char* name) : module_(LoadLibraryA(name)) {}
    ~Library() { reset(); }
    Library(Library&& other) noexcept : module_(other.module_) { other.module_ = nullptr; }
    Library& operator=(Library&& other) noexcept {
        if (this != &other) {
            reset();
            module_ = other.module_;
            other.module_ = nullptr;
        }
        return *this;
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    explicit operator bool() const { return module_ != nullptr; }
    HMODULE get() const { return module_; }
    template <typename F>
    F proc(const char* name) const {
        return find_proc<F>(module_, name);
    }
    void reset() {
        if (module_) FreeLibrary(module_);
        module_ = nullptr;
    }

private:
    HMODULE module_ = nullptr;
};

// Releases a COM interface and clears the pointer.
template <typename T>
void release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

}  // namespace gfx::win32
