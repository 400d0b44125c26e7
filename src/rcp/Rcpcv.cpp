// The converter library's three entry points, with C linkage, as the player loads them: convert
// a song into an object, save the object as a Standard MIDI File, release the object.
//
// Threads: any; the objects are guarded by one lock.
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

#include "rcp/RcpToSmf.h"

namespace {

std::mutex objectsLock;
std::map<uint32_t, std::vector<uint8_t>> objects;
uint32_t lastObject = 0;

}  // namespace

extern "C" {

__attribute__((visibility("default"))) uint32_t rcpcvConvertFile(const char* path, uint32_t,
                                                                 uint32_t, uint32_t, uint32_t) {
    if (path == nullptr) return 0;
    zeblo::rcp::RcpToSmf converter;
    if (!converter.ConvertFile(path)) return 0;
    const std::lock_guard lock(objectsLock);
    do {
        ++lastObject;  // 0 means failure, and a handle still in use is not given twice
    } while (lastObject == 0 || objects.contains(lastObject));
    objects[lastObject] = std::move(converter.smf);
    return lastObject;
}

__attribute__((visibility("default"))) uint32_t rcpcvSaveSMF(uint32_t object,
                                                             const char* fileName) {
    const std::lock_guard lock(objectsLock);
    const auto found = objects.find(object);
    if (found == objects.end() || fileName == nullptr) return 0;
    std::FILE* file = std::fopen(fileName, "wb");
    if (file == nullptr) return 0;
    const std::vector<uint8_t>& smf = found->second;
    const bool written = std::fwrite(smf.data(), 1, smf.size(), file) == smf.size();
    return (std::fclose(file) == 0 && written) ? 1 : 0;
}

__attribute__((visibility("default"))) uint32_t rcpcvDeleteObject(uint32_t object) {
    const std::lock_guard lock(objectsLock);
    return objects.erase(object) != 0 ? 1 : 0;
}

}  // extern "C"
