// Songs in the RCP family (names ending in RCP, R36 or G36) are converted to a Standard MIDI File
// by an outside converter library, loaded at run time if present.
//
// Threads: Load and Free run on the owning thread (the view's creation and destruction, or the
// command-line main); ConvertRcpFile runs on the thread that starts a song (the user-interface
// thread's PlayFile, or the authoring thread) while the other side does not convert.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/UserPrompt.h"

namespace zeblo {

// The converter library's file name and entry points (C linkage).
inline constexpr char kRcpConverterLibrary[] = "librcpcv.so";
inline constexpr char kRcpConvertFileEntry[] = "rcpcvConvertFile";
inline constexpr char kRcpSaveSmfEntry[] = "rcpcvSaveSMF";
inline constexpr char kRcpDeleteObjectEntry[] = "rcpcvDeleteObject";

// The source path and four zeros; returns a converted-object handle, 0 on failure.
using RcpConvertFileFunction = uint32_t (*)(const char* path, uint32_t, uint32_t, uint32_t,
                                            uint32_t);
// Nonzero when the Standard MIDI File was written.
using RcpSaveSmfFunction = uint32_t (*)(uint32_t object, const char* fileName);
using RcpDeleteObjectFunction = uint32_t (*)(uint32_t object);

// The converted song: a file of this process in the user's private folder
// ($XDG_RUNTIME_DIR/zeblo-<uid>/, else zeblo-<uid>/ in the temporary folder), never the current
// folder, which may be unwritable, a music folder, or shared by two runs. Overwritten by every
// conversion, removed when the process ends.
std::string ConvertedRcpPath();
inline const std::string kConvertedRcpFile = ConvertedRcpPath();
// Makes the folder of kConvertedRcpFile, readable by its user only; false when it cannot be made
// or is not a private folder of this user.
bool MakeConvertedRcpFolder();

inline constexpr char kRcpMissingMessage[] =
    "In order to play RCP, R36, G36...\r\nIt's necessary to put librcpcv.so on the same folder as "
    "ZEBLO.";
inline constexpr char kRcpConvertFailedMessage[] = "librcpcv.so was failed at converting.";
inline constexpr char kRcpWriteFailedMessage[] = "librcpcv.so was failed at writing '.mid' file.";

// The last three characters of the path, upper-cased, are RCP, R36 or G36.
bool IsRcpFamilyPath(std::string_view path);

class RcpConverter {
public:
    explicit RcpConverter(UserPrompt& prompt) : prompt(prompt) {}
    ~RcpConverter();
    RcpConverter(const RcpConverter&) = delete;
    RcpConverter& operator=(const RcpConverter&) = delete;

    // Looks for the library in the program's own folder, then in ../lib/zeblo beside it, then on
    // the system library path, never in the current folder. A library that lacks one of the entry
    // points counts as none. Quiet: a missing converter is only reported when a song needs it.
    bool Load();
    bool Load(const std::string& programFolder);
    void Free();
    bool Loaded() const { return library != nullptr; }

    // True when the path needs no conversion or was converted into kConvertedRcpFile; false, with
    // the message shown, when the caller must abandon the song.
    bool ConvertRcpFile(const std::string& path);

private:
    bool TakeEntryPoints(void* handle);

    UserPrompt& prompt;
    void* library = nullptr;
    RcpConvertFileFunction convertFile = nullptr;
    RcpSaveSmfFunction saveSmf = nullptr;
    RcpDeleteObjectFunction deleteObject = nullptr;
};

}  // namespace zeblo
