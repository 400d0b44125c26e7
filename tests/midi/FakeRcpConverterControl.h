// The fake converter library's own controls, reached through the instance that RcpConverter loads
// from the same file (the loader hands back the library already in the process).
#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <string>

namespace zeblo::test {

struct FakeRcpConverterControl {
    explicit FakeRcpConverterControl(const std::string& folder) {
        handle = dlopen((folder + "/librcpcv.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return;
        configure =
            reinterpret_cast<void (*)(uint32_t, uint32_t)>(dlsym(handle, "fakeRcpcvConfigure"));
        log = reinterpret_cast<const char* (*)()>(dlsym(handle, "fakeRcpcvLog"));
    }
    ~FakeRcpConverterControl() {
        if (handle != nullptr) dlclose(handle);
    }
    FakeRcpConverterControl(const FakeRcpConverterControl&) = delete;
    FakeRcpConverterControl& operator=(const FakeRcpConverterControl&) = delete;
    bool Ready() const { return configure != nullptr && log != nullptr; }

    void* handle = nullptr;
    void (*configure)(uint32_t convertResult, uint32_t saveResult) = nullptr;
    const char* (*log)() = nullptr;
};

}  // namespace zeblo::test
