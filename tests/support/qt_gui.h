#pragma once

// Helpers for tests that run the real Qt realizer under the offscreen platform. The test's thread is the GUI thread.

#include <chrono>
#include <functional>
#include <string>

class QWidget;

namespace testsupport {

/// Starts Qt offscreen as the process's toolkit before the first test and lets go of it after the last.
void installOffscreenQtToolkit();
/// Serves the GUI thread's events (deferred deletes included) until the predicate holds; false on time-out.
bool waitForGui(const std::function<bool()>& predicate, std::chrono::milliseconds timeout = std::chrono::seconds(10));
/// Serves the GUI thread's events for a short while.
void settleGui();
/// The shown top-level widget of a realized window; nullptr when there is none.
QWidget* shownTopLevel(const std::string& windowName);
/// A folder under the build tree for screenshots (created when missing), ending in "/".
std::string screenshotFolder();

} // namespace testsupport
