#pragma once

// The acceleration run: started from the main window's link (or "-asp"), one worker thread per run, which clears an
// old block, lets the selected address source gather addresses and installs the new block.

#include <functional>

namespace hosts {

/// The handler of the link "开始加速": guards on the link text, asks about (or under "-fsp" takes) the desktop's
/// proxy, logs "Start" and starts one run per checked source radio button. Main window's thread.
void startAcceleration();

/// One run for the address source 1 to 5, on the calling thread (a worker); ends in FinishRun, the fallback
/// ending or AbortRun. Silent mode and autostart start it directly, without the proxy question.
void runAcceleration(int source);

/// Test seam: replaces the run's pauses (the second before every lookup of source 3 and after each flush); an empty
/// function restores real sleeping.
void setRunWaitHook(std::function<void(int milliseconds)> hook);

/// Test seam: replaces source 1's random draws of a whole number from low to high inclusive; an empty function
/// restores the clock-seeded generator.
void setRandomHook(std::function<int(int low, int high)> hook);

} // namespace hosts
