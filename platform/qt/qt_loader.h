#pragma once

// Starting Qt from the realizer module inside the program file. The program links no Qt: it loads the module only
// when it opens windows, so a headless run never maps a Qt library. This header includes no Qt.

#include "platform/ui/toolkit.h"

#include <memory>
#include <string>

namespace qtui {

/// Name of the module's entry, corvana_make_qt_toolkit below.
inline constexpr char kQtToolkitEntry[] = "corvana_make_qt_toolkit";

/// Loads the realizer module once and starts Qt through it as makeQtToolkit() does (argc and argv must outlive the
/// toolkit; the calling thread becomes the GUI thread). nullptr when the module cannot be loaded (Qt missing on this
/// system, say), with the reason in `whyNot` when given.
[[nodiscard]] std::unique_ptr<ui::Toolkit> loadQtToolkit(int& argc, char** argv, std::string* whyNot = nullptr);

} // namespace qtui

/// The module's entry: what qtui::makeQtToolkit answers, owned by the caller; nullptr when it fails.
extern "C" __attribute__((visibility("default"))) ui::Toolkit* corvana_make_qt_toolkit(int* argc, char** argv) noexcept;
