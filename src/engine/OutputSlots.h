// The ring of output slots between the render thread (producer) and the output (consumer).
//
// Threads: AllocateBlocks and EnsureBlock run on the user-interface thread while no render
// thread runs (start-up, play start). During playback the render thread writes a slot's samples
// and publishes them by setting `filled` (release); the consumer reads `filled` (acquire) before
// the samples, and hands the slot back by clearing `filled`. Each counter has one writer.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace zeblo {

inline constexpr int kOutputSlotCapacity = 30;  // the largest block count offered

struct OutputSlot {
    // The four bookkeeping words.
    std::atomic<uint32_t> filled{0};  // 1 while the slot holds samples not yet handed back
    uint32_t byteCount = 0;           // valid bytes in block (frames x 4); published by filled
    uint32_t spare[2] = {0, 0};

    std::unique_ptr<uint8_t[]> block;  // nullptr: the slot is empty
    uint32_t capacity = 0;             // bytes at block

    void ClearBookkeeping();
};

class OutputSlots {
public:
    // Returns nullptr when the memory cannot be had.
    using BlockAllocator = std::function<std::unique_ptr<uint8_t[]>(std::size_t bytes)>;

    OutputSlots();
    explicit OutputSlots(BlockAllocator allocate);

    // Zeroes the bookkeeping of the first `count` slots and gives each a fresh zeroed block of
    // `blockBytes`, stopping silently at the first allocation that fails; that slot and every
    // later one are left empty. Returns the number of blocks allocated. `count` is clamped to
    // 0 ... kOutputSlotCapacity.
    int AllocateBlocks(int count, int32_t blockBytes);

    // Makes slot `index` hold at least `bytes`, keeping a block that is already big enough.
    bool EnsureBlock(int index, int32_t bytes);

    // The number of slots in use: the block count given to AllocateBlocks.
    int count() const { return count_; }
    OutputSlot& operator[](int index) { return slots_[static_cast<std::size_t>(index)]; }
    const OutputSlot& operator[](int index) const {
        return slots_[static_cast<std::size_t>(index)];
    }

    // The slot of a counter is its value modulo count(). All three are zeroed at each play start.
    std::atomic<uint32_t> writeCount{0};    // slots filled by the render thread
    std::atomic<uint32_t> readCount{0};     // slots copied to a device buffer
    std::atomic<uint32_t> releaseCount{0};  // slots handed back to the render thread
    void ResetCounters();

private:
    BlockAllocator allocate_;
    std::array<OutputSlot, kOutputSlotCapacity> slots_;
    int count_ = 0;
};

}  // namespace zeblo
