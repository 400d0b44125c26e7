#include "engine/OutputSlots.h"

#include <algorithm>
#include <new>
#include <utility>

namespace zeblo {
namespace {

std::unique_ptr<uint8_t[]> AllocateZeroed(std::size_t bytes) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[bytes]());
}

}  // namespace

void OutputSlot::ClearBookkeeping() {
    filled.store(0, std::memory_order_relaxed);
    byteCount = 0;
    spare[0] = 0;
    spare[1] = 0;
}

OutputSlots::OutputSlots() : OutputSlots(AllocateZeroed) {}

OutputSlots::OutputSlots(BlockAllocator allocate) : allocate_(std::move(allocate)) {}

int OutputSlots::AllocateBlocks(int count, int32_t blockBytes) {
    count_ = std::clamp(count, 0, kOutputSlotCapacity);
    int allocated = 0;
    bool failed = blockBytes <= 0;
    for (int i = 0; i < kOutputSlotCapacity; ++i) {
        OutputSlot& slot = slots_[static_cast<std::size_t>(i)];
        slot.ClearBookkeeping();
        slot.block.reset();
        slot.capacity = 0;
        if (failed || i >= count_) continue;
        slot.block = allocate_(static_cast<std::size_t>(blockBytes));
        if (slot.block == nullptr) {
            failed = true;
            continue;
        }
        slot.capacity = static_cast<uint32_t>(blockBytes);
        ++allocated;
    }
    return allocated;
}

bool OutputSlots::EnsureBlock(int index, int32_t bytes) {
    if (index < 0 || index >= kOutputSlotCapacity || bytes <= 0) return false;
    OutputSlot& slot = slots_[static_cast<std::size_t>(index)];
    if (slot.block != nullptr && slot.capacity >= static_cast<uint32_t>(bytes)) return true;
    std::unique_ptr<uint8_t[]> grown = allocate_(static_cast<std::size_t>(bytes));
    if (grown == nullptr) return false;
    slot.block = std::move(grown);
    slot.capacity = static_cast<uint32_t>(bytes);
    return true;
}

void OutputSlots::ResetCounters() {
    writeCount.store(0, std::memory_order_relaxed);
    readCount.store(0, std::memory_order_relaxed);
    releaseCount.store(0, std::memory_order_relaxed);
}

}  // namespace zeblo
