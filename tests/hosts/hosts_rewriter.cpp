// Rewrites the hosts file ($CORVANA_HOSTS) through writeHostsText, alternating between the contents of two files,
// until killed; with "once" it writes the second content a single time and exits.

#include "hosts/hosts_file.h"
#include "platform/system.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: hosts_rewriter OLD_FILE NEW_FILE [once]\n");
        return 2;
    }
    const std::string texts[2] = {platform::readTextFile(argv[1]), platform::readTextFile(argv[2])};
    if (argc > 3 && std::string(argv[3]) == "once")
        return hosts::writeHostsText(texts[1]) ? 0 : 1;
    for (unsigned round = 0;; ++round) {
        if (!hosts::writeHostsText(texts[round % 2]))
            return 1;
    }
}
