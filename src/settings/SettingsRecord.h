// The 128-byte settings record: the exact image of the preferences file.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace zeblo {

inline constexpr char kSettingsMagic[] = "ZEBLOPREF0223";
inline constexpr std::size_t kSettingsRecordSize = 128;

// Every field is a little-endian 32-bit word at a fixed offset; the struct is written and read
// as raw bytes, so its layout is pinned by the static_asserts below.
struct SettingsRecord {
    char magic[64];
    int32_t outputDevice;
    int32_t outputFrequency;
    int32_t autoDetune;
    int32_t redrawRate;
    int32_t blockLength;
    int32_t drumSet;
    int32_t displayOffsetMode;
    int32_t instrumentSet;
    int32_t blockCount;
    int32_t keepRunningOnUnderrun;
    int32_t monauralOutput;
    int32_t lowPassEnabled;
    int32_t lowPassCutoff;
    int32_t windowLeft;
    int32_t windowTop;
    int32_t startCounter;
};

static_assert(sizeof(SettingsRecord) == kSettingsRecordSize);
static_assert(offsetof(SettingsRecord, magic) == 0);
static_assert(offsetof(SettingsRecord, outputDevice) == 64);
static_assert(offsetof(SettingsRecord, outputFrequency) == 68);
static_assert(offsetof(SettingsRecord, autoDetune) == 72);
static_assert(offsetof(SettingsRecord, redrawRate) == 76);
static_assert(offsetof(SettingsRecord, blockLength) == 80);
static_assert(offsetof(SettingsRecord, drumSet) == 84);
static_assert(offsetof(SettingsRecord, displayOffsetMode) == 88);
static_assert(offsetof(SettingsRecord, instrumentSet) == 92);
static_assert(offsetof(SettingsRecord, blockCount) == 96);
static_assert(offsetof(SettingsRecord, keepRunningOnUnderrun) == 100);
static_assert(offsetof(SettingsRecord, monauralOutput) == 104);
static_assert(offsetof(SettingsRecord, lowPassEnabled) == 108);
static_assert(offsetof(SettingsRecord, lowPassCutoff) == 112);
static_assert(offsetof(SettingsRecord, windowLeft) == 116);
static_assert(offsetof(SettingsRecord, windowTop) == 120);
static_assert(offsetof(SettingsRecord, startCounter) == 124);

// The record as shipped: magic, zero tail, default values.
SettingsRecord DefaultSettings();

// Fields that the render thread and the output callbacks read while the user-interface thread
// may write them (monauralOutput, lowPassEnabled, lowPassCutoff, keepRunningOnUnderrun) are
// read and written through these, so each access is one whole aligned word.
inline int32_t ReadShared(int32_t& field) {
    return std::atomic_ref<int32_t>(field).load(std::memory_order_relaxed);
}
inline void WriteShared(int32_t& field, int32_t value) {
    std::atomic_ref<int32_t>(field).store(value, std::memory_order_relaxed);
}

}  // namespace zeblo
