#include "list/file_operations.h"

#include <random>
#include <string_view>

#include "app/context.h"
#include "download/engine_downloader.h"
#include "platform/file_system.h"
#include "platform/gbk_text.h"

namespace quorvane {

namespace fs = std::filesystem;

namespace {

// Index 1 is 'a'. Past the digits come punctuation characters, which file names here never use.
constexpr std::string_view kNameTable =
    "abcdefghijklmnopqrstuvwxyz0123456789~`!@#$%^&()_+{}[];',.-=";

std::mt19937& nameGenerator() {
    // One generator per thread, seeded once: names made in the same instant still differ.
    thread_local std::mt19937 generator{std::random_device{}()};
    return generator;
}

// A new name is tried when one is taken; a folder that refuses this many is not writable.
constexpr int kNameAttempts = 4;

bool canWriteIn(System& system, const fs::path& folder) {
    const fs::path probe =
        writeUnderRandomName(system, folder, ".txt", platform::utf8ToGbk("一个临时文件"));
    if (probe.empty()) return false;
    deleteIfExists(system, probe);
    return true;
}

// The folder exists, or could be made, and takes a file.
bool usableFolder(System& system, const fs::path& folder) {
    if (!system.folderExists(folder)) system.createFolder(folder);
    return system.folderExists(folder) && canWriteIn(system, folder);
}

}  // namespace

std::string makeRandomName(std::int32_t lowest, std::int32_t highest) {
    auto& generator = nameGenerator();
    const int length = std::uniform_int_distribution<int>(10, 16)(generator);
    std::string name;
    if (lowest > highest) return name;
    std::uniform_int_distribution<std::int32_t> pick(lowest, highest);
    for (int i = 0; i < length; ++i) {
        const std::int32_t index = pick(generator);
        if (index >= 1 && index <= static_cast<std::int32_t>(kNameTable.size())) {
            name += kNameTable[static_cast<std::size_t>(index - 1)];
        }
    }
    return name;
}

bool deleteIfExists(System& system, const fs::path& path) {
    if (path.empty() || !system.fileExists(path)) return false;
    return system.deleteFile(path);
}

fs::path writeUnderRandomName(System& system, const fs::path& folder, std::string_view extension,
                              std::string_view bytes) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        fs::path candidate = folder / (makeRandomName(1, 36) + std::string(extension));
        if (system.writeNewFile(candidate, bytes)) return candidate;
        if (!system.fileExists(candidate)) break;  // refused, not taken
    }
    return {};
}

void prepareDownloadFolder(Context& c) {
    const fs::path programFolder = c.system.programFolder();
    const fs::path beside = programFolder / platform::pathFromUtf8(kDownloadFolderName);
    // The program's own folder inside the user's downloads, never that folder itself, whose
    // files the completion step would delete or rename when they share a name with a download.
    // Asked for only when needed: the system makes the user's downloads folder when it is missing.
    const auto usersFolder = [&c] {
        return c.system.userDownloadsFolder() / platform::pathFromUtf8(kDownloadFolderName);
    };
    if (c.system.installedProgram()) {
        // Whether the program folder takes a file says nothing here: it does for a program
        // started as administrator. Downloads never go beside an installed program.
        const fs::path users = usersFolder();
        if (!c.system.folderExists(users)) c.system.createFolder(users);
        c.g.downloadFolder = users;
    } else if (usableFolder(c.system, beside)) {
        c.g.downloadFolder = beside;
    } else if (canWriteIn(c.system, programFolder)) {
        c.g.downloadFolder = programFolder;
    } else {
        // A program in a folder the user cannot write, without the installer's mark.
        const fs::path users = usersFolder();
        c.g.downloadFolder = usableFolder(c.system, users) ? users : programFolder;
    }
    removeDownloadLeftovers(c.g.downloadFolder);
}

}  // namespace quorvane
