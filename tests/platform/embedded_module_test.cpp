#include "platform/embedded_module.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

// The probe module's bytes (tests/platform/embedded_probe_module.cpp), compiled into this test program.
extern "C" __attribute__((visibility("hidden"))) const unsigned char corvana_module_test_probe[];
extern "C" __attribute__((visibility("hidden"))) const unsigned char corvana_module_test_probe_end[];

namespace {

using NextCall = int (*)();

platform::EmbeddedModule probe(const char* name) {
    return platform::embeddedModule(name, corvana_module_test_probe, corvana_module_test_probe_end);
}

TEST(EmbeddedModule, LoadsFromAMemoryFileAndAnswersItsEntry) {
    std::string whyNot;
    void* handle = platform::loadEmbeddedModule(probe("corvana-probe-entry"), false, &whyNot);
    ASSERT_NE(handle, nullptr) << whyNot;
    const auto next = reinterpret_cast<NextCall>(platform::moduleSymbol(handle, "corvana_probe_next_call"));
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next(), 1);
    EXPECT_EQ(next(), 2);
    EXPECT_NE(testsupport::readFile("/proc/self/maps").find("/memfd:corvana-probe-entry"), std::string::npos);
    EXPECT_EQ(platform::moduleSymbol(handle, "corvana_probe_missing"), nullptr);
}

// The loader knows an object by its path; were the memory file's number reused, a second load would answer the
// first copy instead of a fresh one.
TEST(EmbeddedModule, EveryLoadIsAFreshCopy) {
    void* first = platform::loadEmbeddedModule(probe("corvana-probe-first"), false);
    void* second = platform::loadEmbeddedModule(probe("corvana-probe-second"), true);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    const auto firstNext = reinterpret_cast<NextCall>(platform::moduleSymbol(first, "corvana_probe_next_call"));
    const auto secondNext = reinterpret_cast<NextCall>(platform::moduleSymbol(second, "corvana_probe_next_call"));
    ASSERT_NE(firstNext, nullptr);
    ASSERT_NE(secondNext, nullptr);
    EXPECT_EQ(firstNext(), 1);
    EXPECT_EQ(secondNext(), 1);
}

TEST(EmbeddedModule, BytesThatAreNoSharedObjectAnswerNothingWithAReason) {
    static const unsigned char kNotAnObject[] = "\x7f"
                                                "ELF but nothing more";
    std::string whyNot;
    EXPECT_EQ(platform::loadEmbeddedModule({"corvana-probe-bad", kNotAnObject, sizeof kNotAnObject}, false, &whyNot),
              nullptr);
    EXPECT_FALSE(whyNot.empty());
    whyNot.clear();
    EXPECT_EQ(platform::loadEmbeddedModule({"corvana-probe-empty", nullptr, 0}, false, &whyNot), nullptr);
    EXPECT_FALSE(whyNot.empty());
    EXPECT_EQ(platform::moduleSymbol(nullptr, "corvana_probe_next_call"), nullptr);
}

TEST(EmbeddedModule, AnEntryIsAnsweredOrItsAbsenceExplained) {
    std::string whyNot;
    const auto next = reinterpret_cast<NextCall>(
        platform::loadModuleEntry(probe("corvana-probe-entry-only"), "corvana_probe_next_call", false, &whyNot));
    ASSERT_NE(next, nullptr) << whyNot;
    EXPECT_EQ(next(), 1);
    EXPECT_EQ(platform::loadModuleEntry(probe("corvana-probe-no-entry"), "corvana_probe_missing", false, &whyNot),
              nullptr);
    EXPECT_EQ(whyNot, "The module corvana-probe-no-entry has no entry corvana_probe_missing");
    static const unsigned char kNotAnObject[] = "not a shared object";
    whyNot.clear();
    EXPECT_EQ(platform::loadModuleEntry({"corvana-probe-junk", kNotAnObject, sizeof kNotAnObject},
                                        "corvana_probe_next_call", false, &whyNot),
              nullptr);
    EXPECT_FALSE(whyNot.empty());
}

} // namespace
