#include "platform/dynlib.h"

#include "platform/fs.h"

#include <dlfcn.h>

namespace platform {

std::unique_ptr<DynamicLibrary> DynamicLibrary::open(const std::string& programPath, std::string* error) {
    const std::optional<std::string> host = fs::ToHostPath(programPath);
    if (!host) {
        if (error) *error = "not a path of this system: " + programPath;
        return nullptr;
    }
    void* handle = dlopen(host->c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        if (error) {
            const char* why = dlerror();
            *error = why ? why : "cannot load " + *host;
        }
        return nullptr;
    }
    return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

DynamicLibrary::~DynamicLibrary() { dlclose(handle_); }

void* DynamicLibrary::symbol(const char* name) const { return dlsym(handle_, name); }

}  // namespace platform
