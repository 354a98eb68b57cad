// Downloads links the way the download window does: a row per link, one worker thread per row writing into the
// save folder, the row's status set at the end. Exits 0 when every row ends in "下载完成".

#include "download/download_window.h"
#include "download/file_download.h"
#include "platform/system.h"
#include "platform/ui/window.h"

#include <chrono>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: " << argv[0] << " SAVE_FOLDER LINK...\n";
        return 2;
    }
    auto window = std::make_shared<ui::Window>(download::downloadWindowSpec());
    window->setText(download::kSaveFolderBox, argv[1]);
    const int links = argc - 2;
    for (int i = 0; i < links; ++i) {
        const int row = window->insertRow(download::kDownloadList);
        window->setCellText(download::kDownloadList, row, 2, download::kStatusRunning);
        const std::string link = argv[2 + i];
        if (!platform::startThread([window, row, link] { download::downloadWorker(window, row, link); }))
            return 1;
    }
    int failed = 0;
    for (int row = 0; row < links; ++row) {
        std::string status;
        while ((status = window->cellText(download::kDownloadList, row, 2)) == download::kStatusRunning)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (status != download::kStatusCompleted) {
            std::cerr << argv[2 + row] << ": " << status << "\n";
            ++failed;
        }
    }
    return failed == 0 ? 0 : 1;
}
