#include "tests/update/probe_run.h"

#include "util/text.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

namespace updatetest {

ProbeCopy::ProbeCopy(const std::string& version, const std::string& fileName)
    : program_(scratch_.file(fileName)), bytes_(withVersion(testsupport::readFile(UPDATE_CHECK_PROBE_PATH), version)) {
    testsupport::writeFile(program_, bytes_);
    ::chmod(program_.c_str(), 0755);
}

std::vector<std::string> ProbeCopy::runDirectoryListing() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder())) {
        if (entry.path().filename() != "home")
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

ProbeReport ProbeCopy::check(const UpdateSite& site, const std::vector<std::string>& answers) const {
    ProbeReport report;
    report.run = runChild(program_, answers,
                          {{"CORVANA_CONNECT_TO", site.connectTo()},
                           {"CORVANA_CA_BUNDLE", site.caBundle()},
                           {"CORVANA_HOSTS", folder() + "/home/hosts"}},
                          folder());
    if (report.run.exitCode != 3)
        return report;
    const nlohmann::json parsed = nlohmann::json::parse(report.run.out, nullptr, false);
    if (parsed.is_discarded()) {
        ADD_FAILURE() << "the probe printed no report: " << report.run.out;
        return report;
    }
    for (const nlohmann::json& box : parsed["boxes"])
        report.boxes.push_back({box["text"].get<std::string>(), box["style"].get<int>(),
                                box["title"].get<std::string>(), box["owner"].get<std::string>()});
    report.log = util::splitText(parsed["log"].get<std::string>(), util::kCrLf);
    if (!report.log.empty())
        report.log.erase(report.log.begin());
    report.linkText = parsed["link"]["text"].get<std::string>();
    report.linkDisabled = parsed["link"]["disabled"].get<bool>();
    for (const nlohmann::json& change : parsed["linkHistory"])
        report.linkHistory.push_back(change.get<std::string>());
    return report;
}

} // namespace updatetest
