// Clearing a block from a large hosts file and installing one (read, cut or append, atomic write and rename), each
// against a plain `cp` of the same file measured in the same run. Prints one line per figure: median, anchor, ratio.

#include "hosts/hosts_file.h"
#include "platform/system.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string hostsLines(int lines) {
    std::string text;
    text.reserve(static_cast<std::size_t>(lines) * 40);
    for (int i = 0; i < lines; ++i)
        text += "10." + std::to_string(i % 250) + "." + std::to_string(i % 199) + ".1 host-" + std::to_string(i) +
                ".example.org\n";
    return text;
}

std::string block() {
    std::string text = std::string(hosts::kBlockStartMarker) + "\n";
    for (int i = 0; i < 41; ++i)
        text += "140.82.112." + std::to_string(i) + " name-" + std::to_string(i) + ".github.com\n";
    return text + std::string(hosts::kBlockEndMarker);
}

double medianMs(int repetitions, const std::function<void()>& prepare, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        prepare();
        // Whatever the preparation left to write back is not the measured step's to pay for.
        ::sync();
        const auto begin = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void copyWithCp(const std::string& from, const std::string& to) {
    const char* argv[] = {"cp", from.c_str(), to.c_str(), nullptr};
    pid_t pid = -1;
    if (::posix_spawnp(&pid, "cp", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        std::exit(1);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

struct Figures {
    double cp = 0;
    double clear = 0;
    double install = 0;
};

Figures measure(const std::string& folder, int lines, int repetitions) {
    const std::string hostsPath = folder + "/hosts";
    const std::string withBlockPath = folder + "/with-block";
    const std::string withoutBlockPath = folder + "/without-block";
    const std::string plain = hostsLines(lines);
    const std::string withBlock = hosts::appendBlock(plain, block());
    if (!platform::writeFile(withBlockPath, withBlock) || !platform::writeFile(withoutBlockPath, plain))
        std::exit(1);
    ::setenv("CORVANA_HOSTS", hostsPath.c_str(), 1);

    Figures figures;
    figures.cp = medianMs(
        repetitions, [&] { platform::deleteFile(hostsPath); }, [&] { copyWithCp(withBlockPath, hostsPath); });
    figures.clear = medianMs(
        repetitions, [&] { (void)platform::writeFile(hostsPath, withBlock); },
        [&] {
            std::string text = hosts::readUtf8TextFile(hostsPath);
            if (!hosts::hasManagedBlock(text) || !hosts::writeHostsText(hosts::cutManagedBlocks(std::move(text))))
                std::exit(1);
        });
    figures.install = medianMs(
        repetitions, [&] { (void)platform::writeFile(hostsPath, plain); },
        [&] {
            if (!hosts::writeHostsText(hosts::appendBlock(hosts::readUtf8TextFile(hostsPath), block())))
                std::exit(1);
        });
    if (platform::readTextFile(hostsPath) != withBlock)
        std::exit(1);
    return figures;
}

void print(const char* what, double median, double anchor, const char* anchorName, double limit) {
    const char* verdict = median / anchor <= limit ? "ok" : "OVER";
    std::printf("%-34s median %9.3f ms  anchor %9.3f ms (%s)  ratio %6.2f  limit %5.1f  %s\n", what, median, anchor,
                anchorName, median / anchor, limit, verdict);
    // The row of bench/run-all.sh's table.
    std::printf("| %s | %.2f ms | %s %.2f ms | %.2f | <= %.1f | %s |\n", what, median, anchorName, anchor,
                median / anchor, limit, verdict);
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 21;
    const Figures small = measure(folder, 100000, repetitions);
    const Figures large = measure(folder, 1000000, std::max(5, repetitions / 3));
    print("clear, 100000 lines", small.clear, small.cp, "cp", 2.0);
    print("install, 100000 lines", small.install, small.cp, "cp", 2.0);
    print("clear, 1000000 lines", large.clear, small.clear, "clear 100000", 11.0);
    print("install, 1000000 lines", large.install, small.install, "install 100000", 11.0);
    // How the machine itself scales from the small file to the large one, for reading the two lines above.
    std::printf("%-34s median %9.3f ms  anchor %9.3f ms (cp 100000)  ratio %6.2f\n", "cp, 1000000 lines", large.cp,
                small.cp, large.cp / small.cp);
    std::printf("| cp, 1000000 lines | %.2f ms | cp 100000 %.2f ms | %.2f | (how the machine scales) | |\n", large.cp,
                small.cp, large.cp / small.cp);
    for (const char* name : {"/hosts", "/with-block", "/without-block"})
        platform::deleteFile(folder + name);
    return 0;
}
