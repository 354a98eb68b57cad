// Source 1, automatic selection: a sample of the service's published address ranges, pinged, the fastest taken.

#include "hosts/endpoints.h"
#include "hosts/hosts_file.h"
#include "hosts/run_frame.h"
#include "hosts/service_names.h"
#include "platform/net.h"
#include "util/json_object.h"
#include "util/process_values.h"
#include "util/text.h"

#include <algorithm>
#include <string>
#include <vector>

namespace hosts {
namespace {

constexpr const char* kHint = "Please try switching the address source: 实际判断";

struct MetaKey {
    const char* name;
    int progressAfter; // 0: no change
};

constexpr MetaKey kMetaKeys[] = {{"hooks", 15}, {"web", 20},      {"api", 25},     {"git", 30},       {"packages", 35},
                                 {"pages", 0},  {"importer", 40}, {"actions", 45}, {"dependabot", 50}};

struct PingResult {
    int time = 0;
    std::string text; // address + "|" + time + "ms"
};

// A sample of one range list: the first half (even count) or first third (odd count), each range's network
// address taken on a draw of 3 from 1 to 5; IPv6 ranges use up a draw but are never taken.
void sampleRanges(const util::JsonObject& ranges, std::vector<std::string>& candidates) {
    const int count = ranges.count();
    const int examined = count % 2 == 0 ? count / 2 : count / 3;
    for (int index = 0; index < examined; ++index) {
        // The range's first part, before any "/"; an empty text has no part at all.
        const std::string range = ranges.getText("[" + std::to_string(index) + "]");
        if (range.empty())
            continue;
        const std::string address = range.substr(0, range.find('/'));
        if (drawRandom(1, 5) == 3 && !util::textContains(address, ":")) {
            candidates.push_back(address);
            util::appendLog("Success: " + address);
        }
    }
}

void removeDuplicates(std::vector<std::string>& texts) {
    std::vector<std::string> kept;
    for (std::string& text : texts) {
        if (std::find(kept.begin(), kept.end(), text) == kept.end())
            kept.push_back(std::move(text));
    }
    texts = std::move(kept);
}

} // namespace

std::vector<std::string> sampleMetadata(const util::JsonObject& document) {
    std::vector<std::string> candidates;
    for (const MetaKey& key : kMetaKeys) {
        util::appendLog("Loding...");
        // The member as a document of its own; a native copy answers what its JSON text parsed again would.
        sampleRanges(document.getObject(key.name), candidates);
        if (key.progressAfter != 0)
            setProgress(key.progressAfter);
    }
    util::appendLog("Loding...");
    removeDuplicates(candidates);
    setProgress(55);
    return candidates;
}

void runAutomaticSource() {
    const std::string meta = fetchWithRetries(
        [] { return platform::httpGetBytes(std::string(kMetadataApiUrl), util::proxyUrl()); }, "Retry");
    if (meta.empty()) {
        abortRun(kHint);
        return;
    }
    seedRandom();
    util::appendLog("Initialization ret: " + std::to_string(meta.size()));
    setProgress(10);
    util::JsonObject document;
    (void)document.parse(meta);
    std::vector<std::string> candidates = sampleMetadata(document);
    util::appendLog("Loding...");

    (void)document.parse(
        platform::httpGetBytes(std::string(kIpLookupUrl) + std::string(kServiceMainHost), util::proxyUrl()));
    const std::string mainSiteAddress = document.getText("query");
    candidates.push_back(mainSiteAddress);
    util::appendLog("Success: " + mainSiteAddress);

    // One candidate after the other, so that the first four to answer compete, as the log shows them.
    std::vector<PingResult> results;
    const int total = static_cast<int>(candidates.size());
    for (int i = 1; i <= total && results.size() < 4; ++i) {
        const std::string& candidate = candidates[static_cast<std::size_t>(i - 1)];
        util::appendLog(std::to_string(total - i) + " Ping > " + candidate);
        const int time = platform::pingHost(candidate, 100);
        util::appendLog("-> " + std::to_string(time) + "ms");
        // A reply of exactly 1 ms is taken for no reply.
        if (time != -1 && time != 1)
            results.push_back({time, candidate + "|" + std::to_string(time) + "ms"});
    }
    util::appendLog("Loding...");
    if (results.empty()) {
        // Without an answering candidate there is no address to point the names at.
        abortRun(kHint);
        return;
    }

    // Among equal times the later one wins.
    int bound = 9999999;
    std::string best;
    for (const PingResult& result : results) {
        if (result.time <= bound) {
            bound = result.time;
            best = result.text;
        }
    }
    setProgress(60);
    std::string chosen = best.substr(0, best.find('|'));
    chosen = chosen.substr(0, chosen.find(':'));
    setProgress(70);
    util::appendLog("Sever: " + chosen);
    util::appendLog("Sever: " + mainSiteAddress);
    util::appendLog("Loding...");

    std::vector<std::string> names = util::splitText(kServiceHostList, util::kCrLf);
    if (rawContentChecked())
        names.emplace_back(kRawContentHost);
    std::string block(kBlockStartMarker);
    for (const std::string& name : names)
        block.append(util::kCrLf).append(chosen).append(" ").append(name);
    block.append(util::kCrLf).append(mainSiteAddress).append(" ").append(kServiceMainHost);
    block.append(util::kCrLf).append(kBlockEndMarker);
    const Block installed = programBlock(block);
    installBlock(1, installed, installed);
}

} // namespace hosts
