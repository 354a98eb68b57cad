// Source 3, per-name lookup: the IP lookup service asked for every name, one second apart.

#include "hosts/endpoints.h"
#include "hosts/hosts_file.h"
#include "hosts/run_frame.h"
#include "hosts/service_names.h"
#include "platform/net.h"
#include "util/json_object.h"
#include "util/process_values.h"
#include "util/text.h"
#include "util/text_utilities.h"

#include <string>
#include <vector>

namespace hosts {
namespace {

// The "query" text of the lookup service's answer for the name; empty when there is none.
std::string lookUp(const std::string& name) {
    util::JsonObject answer;
    (void)answer.parse(platform::httpGetBytes(std::string(kIpLookupUrl) + name, util::proxyUrl()));
    return answer.getText("query");
}

} // namespace

void runLookupSource() {
    util::appendLog("Split text");
    std::vector<std::string> names = util::splitText(kServiceHostList, util::kCrLf);
    setProgress(20);
    names.emplace_back(kServiceMainHost);
    if (rawContentChecked())
        names.emplace_back(kRawContentHost);
    setProgress(30);

    const std::string total = std::to_string(names.size());
    std::string lineText;
    for (std::size_t i = 0; i < names.size(); ++i) {
        util::appendLog("Wait -> " + std::to_string(i + 1) + "/" + total);
        runWait(1000);
        util::appendLog("Loding...");
        std::string address = lookUp(names[i]);
        // An IPv6 answer (or anything with a colon) cannot stand in an IPv4 block: the main site's address does.
        if (util::textContains(address, ":")) {
            util::appendLog("Err - " + address);
            address = lookUp(std::string(kServiceMainHost));
        }
        // The service is reached in the clear: an answer that is no address (markup, or a line break followed by
        // a line for another name) counts as no answer, so that only an address can stand before the name.
        if (!isIpAddress(address))
            address.clear();
        util::appendLog(names[i] + " -> " + address);
        lineText.append(util::kCrLf).append(address).append(" ").append(names[i]);
    }
    const std::string lines = util::removeBlankLines(lineText);
    const std::string block = std::string(kBlockStartMarker) + std::string(util::kCrLf) + lines +
                              std::string(util::kCrLf) + std::string(kBlockEndMarker);
    const Block installed = programBlock(block);
    installBlock(3, installed, installed);
}

} // namespace hosts
