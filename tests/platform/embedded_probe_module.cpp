// A tiny module for the embedded-module tests: it counts its own calls, so a test can tell two loaded copies apart.

namespace {
int calls = 0;
} // namespace

extern "C" __attribute__((visibility("default"))) int corvana_probe_next_call() {
    return ++calls;
}
