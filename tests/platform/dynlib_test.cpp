// Shared libraries opened by program path.
#include "platform/dynlib.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <gnu/libc-version.h>

using platform::DynamicLibrary;

namespace {

TEST(DynamicLibrary, AMissingLibraryGivesNothingAndTheReason) {
    std::string error;
    const std::string path = platform::fs::ToProgramPath(FreshHostFolder() + "libmissing.so");
    EXPECT_FALSE(DynamicLibrary::open(path, &error));
    EXPECT_NE(error.find("libmissing.so"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(DynamicLibrary::open("C:\\vela.dll", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(DynamicLibrary::open(path));  // without a place for the reason
}

TEST(DynamicLibrary, EntriesOfALoadedLibraryByName) {
    Dl_info info{};
    void* entry = reinterpret_cast<void*>(&gnu_get_libc_version);
    ASSERT_TRUE(dladdr(entry, &info));
    std::string error;
    auto library = DynamicLibrary::open(platform::fs::ToProgramPath(info.dli_fname), &error);
    ASSERT_TRUE(library) << error;
    EXPECT_EQ(library->symbol("gnu_get_libc_version"), entry);
    EXPECT_EQ(library->symbol("no_such_entry"), nullptr);
}

}  // namespace
