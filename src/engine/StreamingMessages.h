// The fixed texts of the output device's and the streaming's message boxes.
#pragma once

namespace zeblo {

inline constexpr char kOutputDeviceAlreadyOpenMessage[] =
    "OutputDevice already open.\r\n"
    "このメッセージが出た場合は、バグが原因と考えられます。\r\n"
    "作者に再現方法などを通知していただけるとありがたいです。\r\n"
    "環境によってはシステムを再起動するまで問題が残る場合があります。ご了承ください。";

inline constexpr char kWaveDeviceOpenFailedMessage[] =
    "Wave-device open failed.\r\n"
    "Please check 'your sound-device not support to multi output' when close other "
    "application 'need sound'.\r\n"
    "Otherwise, check your sound device corresponding to OutputFrequecy(Config)";

inline constexpr char kOutOfMemoryMessage[] = "Out of memory. can't playing.";
inline constexpr char kCreateThreadFailedMessage[] = "CreateThread Failed.";
inline constexpr char kResumeThreadFailedMessage[] = "ResumeThread Failed.";

}  // namespace zeblo
