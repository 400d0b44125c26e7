#include "ipc/CommandLineFile.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

namespace zeblo {
namespace {

// Options that the toolkit reads from the command line together with the argument after them.
constexpr std::array<std::string_view, 14> kOptionsWithValue{
    "-platform",        "-platformpluginpath",
    "-platformtheme",   "-plugin",
    "-qwindowgeometry", "-qwindowicon",
    "-qwindowtitle",    "-style",
    "-stylesheet",      "-session",
    "-display",         "-name",
    "-title",           "-geometry"};

bool TakesValue(std::string_view option) {
    if (option.starts_with("--")) option.remove_prefix(1);
    for (std::string_view o : kOptionsWithValue)
        if (o == option) return true;
    return false;
}

constexpr std::size_t kLauncherProbeBytes = 4096;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

bool IsDesktopLauncher(const std::string& path) {
    std::error_code error;
    if (path.empty() || !std::filesystem::is_regular_file(path, error)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string head(kLauncherProbeBytes, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    std::string_view text = head;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        if (!line.empty() && line.front() != '#') return line == "[Desktop Entry]";
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return false;
}

CommandLineFile GetCommandLineFile(int argc, const char* const* argv) {
    CommandLineFile file;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] ? argv[i] : "";
        if (options && arg == "--") {
            options = false;
            continue;
        }
        if (options && arg.size() > 1 && arg.front() == '-') {
            if (TakesValue(arg)) ++i;
            continue;
        }
        file.path = std::string(arg);
        break;
    }
    if (!file.path.empty()) {
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(file.path, error);
        if (!error) file.path = absolute.lexically_normal().string();
    }
    file.play = !IsDesktopLauncher(file.path);
    return file;
}

}  // namespace zeblo
