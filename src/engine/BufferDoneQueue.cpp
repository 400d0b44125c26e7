#include "engine/BufferDoneQueue.h"

#include <utility>

namespace zeblo {

void BufferDoneQueue::SetWake(WakeFunction wake) {
    std::lock_guard guard(lock_);
    wake_ = std::move(wake);
}

void BufferDoneQueue::Post(uint32_t bufferIndex) {
    {
        std::lock_guard guard(lock_);
        if (size_ == kCapacity) {
            ++dropped_;
            return;
        }
        entries_[(head_ + size_) % kCapacity] = bufferIndex;
        ++size_;
        if (wake_) wake_();
    }
    posted_.notify_one();
}

bool BufferDoneQueue::Take(uint32_t& bufferIndex) {
    std::lock_guard guard(lock_);
    if (size_ == 0) return false;
    bufferIndex = entries_[head_];
    head_ = (head_ + 1) % kCapacity;
    --size_;
    return true;
}

bool BufferDoneQueue::WaitTake(uint32_t& bufferIndex, std::chrono::milliseconds timeout) {
    std::unique_lock guard(lock_);
    if (!posted_.wait_for(guard, timeout, [this] { return size_ > 0; })) return false;
    bufferIndex = entries_[head_];
    head_ = (head_ + 1) % kCapacity;
    --size_;
    return true;
}

void BufferDoneQueue::Clear() {
    std::lock_guard guard(lock_);
    head_ = 0;
    size_ = 0;
}

std::size_t BufferDoneQueue::Size() const {
    std::lock_guard guard(lock_);
    return size_;
}

uint64_t BufferDoneQueue::DroppedCount() const {
    std::lock_guard guard(lock_);
    return dropped_;
}

}  // namespace zeblo
