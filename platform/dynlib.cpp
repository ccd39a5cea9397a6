#include "platform/dynlib.h"

#include "platform/encoding.h"
#include "platform/fs.h"

#include <dlfcn.h>

namespace platform {

std::unique_ptr<DynamicLibrary> DynamicLibrary::open(const std::string& programPath, std::string* error) {
    std::optional<std::string> hostPath = fs::ToHostPath(programPath);
    if (!hostPath) {
        if (error) *error = "not a path on this system: " + programPath;
        return nullptr;
    }
    void* handle = dlopen(hostPath->c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        if (error) *error = Utf8ToCp932(dlerror());
        return nullptr;
    }
    return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

DynamicLibrary::~DynamicLibrary() { dlclose(handle_); }

void* DynamicLibrary::symbol(const char* name) const { return dlsym(handle_, name); }

void* NextDefinition(const char* name) { return dlsym(RTLD_NEXT, name); }

}  // namespace platform
