// The block a first instance keeps for later ones: "ZEBLO" and the first instance's
// identification at the front, the path a later instance hands over at offset 20. Here the block
// lives in the first instance's memory and later instances write into it over the handoff socket
// (see SingleInstance), so a killed instance leaves nothing behind that a later start could trip
// over.
//
// Threads: the first instance's user-interface thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeblo {

inline constexpr char kSharedBlockName[] = "ZEBLO SHARED MEMORY V101";
inline constexpr std::size_t kSharedBlockSize = 0x10000;  // bytes
inline constexpr char kSharedSignature[] = "ZEBLO";
inline constexpr std::size_t kSharedSignatureSize = 16;  // bytes, "ZEBLO" and zero fill
inline constexpr std::size_t kSharedIdentOffset = 16;
inline constexpr std::size_t kSharedPathOffset = 20;
inline constexpr std::size_t kSharedHeaderSize = 20;  // signature and identification
// The receiver copies the path into a buffer of this many bytes, NUL included.
inline constexpr std::size_t kSharedPathLimit = 10000;

// The private messages to the first instance's view.
inline constexpr uint32_t kMessagePlayShared = 1801;
inline constexpr uint32_t kMessageStopPlay = 1802;
inline constexpr uint32_t kMessagePlayCurrent = 1803;

inline constexpr char kSharedMemoryErrorMessage[] =
    "ZEBLOシステムエラー：アプリケーション通信用メモリが異常です。";
inline constexpr char kSharedMemoryCreateFailedMessage[] =
    "アプリケーション通信用共有メモリ作成失敗。";
inline constexpr char kSharedMemoryCloseFailedMessage[] = "共有メモリ解除失敗";

// True when `path` fits the receiver's copy: fewer than kSharedPathLimit bytes and no NUL.
bool FitsSharedPath(std::string_view path);

class SharedBlock {
public:
    SharedBlock();

    // "ZEBLO" with its NUL at offset 0 and `id` (little-endian) at offset 16.
    void WriteIdentification(uint32_t id);
    bool HasSignature() const;
    uint32_t Identification() const;

    // A path that does not fit is refused and the block stays as it was.
    bool WritePath(std::string_view path);
    // The text at offset 20 up to its NUL, never more than kSharedPathLimit - 1 bytes.
    std::string ReadPath() const;

    const uint8_t* data() const { return bytes_.data(); }

private:
    std::vector<uint8_t> bytes_;
};

// The source of the handed-over path for the view's play-shared message; nullopt when the block
// is not available (the view then reports kSharedMemoryErrorMessage).
class SharedPathSource {
public:
    virtual std::optional<std::string> ReadSharedPath() const = 0;

protected:
    ~SharedPathSource() = default;
};

}  // namespace zeblo
