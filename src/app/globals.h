#pragma once

// The state every operation of the program shares, as it stands from start-up to the end.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "download/downloader.h"

namespace quorvane {

struct Globals {
    // Written by the list worker only; deleted when the program ends.
    std::filesystem::path listFilePath;
    // The running transfer was stopped by the user or for lack of disk space.
    bool downloadAborted = false;
    // The copy of transferSettings handed over when a transfer is stopped.
    TransferSettings transferSettingsBytes;
    TransferSettings transferSettings;

    // The download queue: parallel arrays, blanked pair by pair as files finish.
    std::vector<std::string> queueSources;
    std::vector<std::filesystem::path> queueTargets;

    // Fixed by prepareStartUp before the list worker starts; read-only afterwards.
    std::string innerPassword;
    std::int32_t innerAlgorithm = 0;
    std::string outerPassword;
    std::int32_t outerAlgorithm = 0;
    std::string byteListSeparator;
    std::string protectedSource1;
    std::string protectedSource2;
    std::string protectedSource3;

    // A file is in the downloader's hands, from StartDownload until its end is reported.
    bool downloadRunning = false;
    // The start button is filling the queue; no file may start meanwhile.
    bool queueBuilding = false;
    std::string trayTip;
    std::filesystem::path downloadFolder;
    // Size of the running file once the downloader has reported it, else 0.
    std::int64_t currentFileSize = 0;
};

}  // namespace quorvane
