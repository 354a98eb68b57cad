#pragma once

// What the address sources share with the frame of a run: the block they hand over, the window writes, the fetch
// with retries and the three endings. Internal to the hosts library.

#include <functional>
#include <string>
#include <vector>

namespace util {
class JsonObject;
}

namespace hosts {

/// A block as the run holds it (CR LF between the program's lines) and as it is written into files (LF for the
/// program's own line breaks; a downloaded list keeps its own).
struct Block {
    std::string text;
    std::string fileText;
};

/// A block made entirely by the program: its file form has LF line breaks.
[[nodiscard]] Block programBlock(std::string text);

void setProgress(int position);
/// True when RawContentOption (the check box 选择框1) is ticked.
[[nodiscard]] bool rawContentChecked();
/// Pauses the run (the test seam's hook when one is set).
void runWait(int milliseconds);
/// A whole number from low to high inclusive, from the run's random source.
[[nodiscard]] int drawRandom(int low, int high);
/// Seeds the run's random source from the clock.
void seedRandom();

/// One read, repeated up to three more times while it answers empty, each repetition after the retry line; empty
/// text when all four answered empty.
[[nodiscard]] std::string fetchWithRetries(const std::function<std::string()>& read, const std::string& retryLine);

/// Ends a run that got no data: "Access error" and the hint line.
void abortRun(const std::string& hintLine);
/// Writes the block after the hosts text and ends the run, or takes the fallback ending with fallbackBlock.
void installBlock(int source, const Block& block, const Block& fallbackBlock);

/// The address sources, entered after the common start of the run.
/// Source 1's candidates from a parsed metadata answer: the sampled network addresses of its IPv4 ranges, key by
/// key, without duplicates, with the source's log lines and progress; empty when nothing was drawn.
[[nodiscard]] std::vector<std::string> sampleMetadata(const util::JsonObject& document);
void runAutomaticSource();
void runListSource(int source);
void runLookupSource();
void runDirectSource();

} // namespace hosts
