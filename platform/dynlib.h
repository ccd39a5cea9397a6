#pragma once
// Shared libraries loaded by name at run time, and their entries looked up by name.
#include <memory>
#include <string>

namespace platform {

class DynamicLibrary {
public:
    // The library at a program path; nullptr when it cannot be loaded (Error then tells why).
    static std::unique_ptr<DynamicLibrary> open(const std::string& programPath, std::string* error = nullptr);
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;
    // Unloads the library.
    ~DynamicLibrary();

    // The address of an exported entry; nullptr when there is none.
    void* symbol(const char* name) const;

private:
    explicit DynamicLibrary(void* handle) : handle_(handle) {}
    void* handle_;
};

// The definition of an entry in the libraries loaded after the program: the one that the
// program's own definition by the same name stands in front of; nullptr when there is none.
void* NextDefinition(const char* name);

}  // namespace platform
