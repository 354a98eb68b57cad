// Source 5, direct conversion: every name through the system resolver.

#include "hosts/hosts_file.h"
#include "hosts/run_frame.h"
#include "hosts/service_names.h"
#include "platform/net.h"
#include "util/process_values.h"
#include "util/text.h"

#include <string>
#include <thread>
#include <vector>

namespace hosts {
namespace {

// Resolves every name at once, except the raw-content host: that one is looked up only when the avatar host has
// not resolved by the time its turn comes, which the replay below decides.
std::vector<std::string> resolveConcurrently(const std::vector<std::string>& names) {
    std::vector<std::string> answers(names.size());
    std::vector<std::thread> lookups;
    lookups.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] != kRawContentHost)
            lookups.emplace_back([&answers, &names, i] { answers[i] = platform::resolveHostName(names[i]); });
    }
    for (auto& lookup : lookups)
        lookup.join();
    return answers;
}

} // namespace

void runDirectSource() {
    setProgress(10);
    std::vector<std::string> names = util::splitText(kServiceHostList, util::kCrLf);
    names.emplace_back(kServiceMainHost);
    if (rawContentChecked())
        names.emplace_back(kRawContentHost);
    setProgress(20);

    // The lookups run in parallel; the log, the avatar rule and the entries are those of one name after the other.
    const std::vector<std::string> answers = resolveConcurrently(names);
    std::vector<std::string> entries;
    std::string avatarAddress;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        util::appendLog("Loding -> " + name);
        if (name == kRawContentHost && !avatarAddress.empty()) {
            entries.push_back(avatarAddress + " " + name);
            util::appendLog("Success: " + avatarAddress);
            continue;
        }
        const std::string answer = name == kRawContentHost ? platform::resolveHostName(name) : answers[i];
        if (util::textContains(name, kAvatarHost) && !answer.empty())
            avatarAddress = answer;
        if (answer.empty()) {
            util::appendLog("Error: " + name);
            continue;
        }
        entries.push_back(answer + " " + name);
        util::appendLog("Success: " + answer);
    }
    setProgress(50);

    std::string addressText;
    for (const std::string& entry : entries) {
        if (!entry.empty())
            addressText.append(util::kCrLf).append(entry);
    }
    const std::string block = std::string(kBlockStartMarker) + std::string(util::kCrLf) + addressText +
                              std::string(util::kCrLf) + std::string(kBlockEndMarker);
    installBlock(5, programBlock(block), programBlock(addressText));
}

} // namespace hosts
