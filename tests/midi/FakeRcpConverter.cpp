// A stand-in for the outside RCP converter, built as librcpcv.so inside the test tree. It logs
// every call, answers as the test tells it, and writes a small Standard MIDI File that names the
// song it was converted from and plays one note for a beat. Built without FAKE_RCPCV_WITH_DELETE it
// lacks rcpcvDeleteObject.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string callLog;
uint32_t convertAnswer = 7;
uint32_t saveAnswer = 1;
std::string lastSource;

}  // namespace

extern "C" {

void fakeRcpcvConfigure(uint32_t convertResult, uint32_t saveResult) {
    convertAnswer = convertResult;
    saveAnswer = saveResult;
    callLog.clear();
}

const char* fakeRcpcvLog() {
    return callLog.c_str();
}

uint32_t rcpcvConvertFile(const char* path, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    char line[1200];
    std::snprintf(line, sizeof line, "convert(%s,%u,%u,%u,%u) ", path, a, b, c, d);
    callLog += line;
    lastSource = path;
    return convertAnswer;
}

uint32_t rcpcvSaveSMF(uint32_t object, const char* fileName) {
    char line[1200];
    std::snprintf(line, sizeof line, "save(%u,%s) ", object, fileName);
    callLog += line;
    if (saveAnswer == 0) return 0;
    std::FILE* file = std::fopen(fileName, "wb");
    if (file == nullptr) return 0;
    // Header, then one track holding a sequence name (the source path) and middle C.
    const uint8_t header[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 1, 0xE0};
    std::fwrite(header, 1, sizeof header, file);
    const auto nameLength = static_cast<uint8_t>(std::min<std::size_t>(lastSource.size(), 100));
    const uint8_t note[] = {0, 0x90, 60, 100, 0x83, 0x60, 0x80, 60, 0};
    const uint32_t trackLength = 4u + nameLength + sizeof note + 4u;
    const uint8_t track[] = {'M',
                             'T',
                             'r',
                             'k',
                             0,
                             0,
                             static_cast<uint8_t>(trackLength >> 8),
                             static_cast<uint8_t>(trackLength),
                             0,
                             0xFF,
                             0x03,
                             nameLength};
    std::fwrite(track, 1, sizeof track, file);
    std::fwrite(lastSource.data(), 1, nameLength, file);
    std::fwrite(note, 1, sizeof note, file);
    const uint8_t end[] = {0, 0xFF, 0x2F, 0};
    std::fwrite(end, 1, sizeof end, file);
    std::fclose(file);
    return saveAnswer;
}

#ifdef FAKE_RCPCV_WITH_DELETE
uint32_t rcpcvDeleteObject(uint32_t object) {
    char line[64];
    std::snprintf(line, sizeof line, "delete(%u)", object);
    callLog += line;
    return 1;
}
#endif

}  // extern "C"
