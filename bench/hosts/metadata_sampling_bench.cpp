// Source 1's first step on a large metadata answer: parsing about 200 KB of JSON with thousands of ranges and
// drawing the candidates from it. Prints the median of 31 rounds against the 5 ms target.

#include "hosts/acceleration_run.h"
#include "hosts/run_frame.h"
#include "util/json_object.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

int main() {
    std::string meta = "{\"verifiable_password_authentication\":true";
    int ranges = 0;
    for (const char* key : {"hooks", "web", "api", "git", "packages", "pages", "importer", "actions", "dependabot"}) {
        meta += std::string(",\"") + key + "\":[";
        for (int i = 0; i < 1300; ++i, ++ranges) {
            meta += i == 0 ? "\"" : ",\"";
            meta += i % 3 == 2 ? "2a0a:a440:" + std::to_string(i) + "::/48"
                               : std::to_string(20 + i % 200) + "." + std::to_string(i % 250) + ".0.0/22";
            meta += "\"";
        }
        meta += "]";
    }
    meta += "}";

    unsigned draw = 1;
    hosts::setRandomHook([&draw](int low, int high) {
        return low + static_cast<int>((draw = draw * 1103515245u + 12345u) >> 16) % (high - low + 1);
    });
    std::vector<double> milliseconds;
    std::size_t candidates = 0;
    for (int round = 0; round < 31; ++round) {
        const auto start = std::chrono::steady_clock::now();
        util::JsonObject document;
        (void)document.parse(meta);
        candidates = hosts::sampleMetadata(document).size();
        milliseconds.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    const double median = milliseconds[milliseconds.size() / 2];
    std::printf("metadata parse and sampling (%zu KB, %d ranges, %zu candidates)  median %.2f ms  target < 5 ms  %s\n",
                meta.size() / 1024, ranges, candidates, median, median < 5.0 ? "ok" : "MISSED");
    std::printf("| metadata parse and sampling, %zu KB | %.2f ms | | | < 5 ms | %s |\n", meta.size() / 1024, median,
                median < 5.0 ? "ok" : "MISSED");
    return 0;
}
