#include "hosts/clear_acceleration.h"

#include "hosts/hosts_file.h"
#include "hosts/main_window_controls.h"
#include "util/process_values.h"

#include <string>
#include <utility>

namespace hosts {

void clearAcceleration() {
    std::string text = readUtf8TextFile(hostsFilePath());
    if (text.empty() || !hasManagedBlock(text)) {
        if (util::hasSwitch("-esp"))
            closeMainWindow();
        return;
    }
    // A file that held nothing but a run's block is written empty: that is what it was before the run.
    if (writeHostsText(cutManagedBlocks(std::move(text)))) {
        flushResolverCache();
        util::appendLog("Remove Complete");
    } else {
        // The block is still in force; saying "Remove Complete" would tell the user the opposite.
        util::appendLog("Remove error: " + hostsFilePath() + " cannot be written");
    }
    if (util::hasSwitch("-esp") && util::hasSwitch("-dsp"))
        closeMainWindow();
}

} // namespace hosts
