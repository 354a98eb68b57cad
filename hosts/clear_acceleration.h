#pragma once

// Clearing the acceleration: the managed block taken out of the hosts file again.

namespace hosts {

/// Cuts every managed block (and the line break a run wrote ahead of it) out of the hosts file, flushes the
/// resolver cache and logs "Remove Complete". Under "-esp" it closes the main window when the file has no block,
/// and under "-esp" with "-dsp" after clearing. Runs on whichever thread calls it.
void clearAcceleration();

} // namespace hosts
