#include "update/install_update.h"

#include "tests/support/loopback_server.h"
#include "tests/support/raw_http_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"
#include "tests/update/update_site.h"

#include <elf.h>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

namespace updatetest {
namespace {

/// A program file of this platform: the test program's own.
const std::string& ownProgramBytes() {
    static const std::string bytes = testsupport::readFile("/proc/self/exe");
    return bytes;
}

std::string withMachine(std::string bytes, std::uint16_t machine) {
    std::memcpy(bytes.data() + offsetof(Elf64_Ehdr, e_machine), &machine, sizeof machine);
    return bytes;
}

struct ProgramFileCase {
    const char* name;
    std::function<std::string()> bytes;
    bool installable;
};

class ProgramFileCheckTest : public ::testing::TestWithParam<ProgramFileCase> {};

TEST_P(ProgramFileCheckTest, AcceptsOnlyCompleteProgramsForThisMachine) {
    testsupport::TempDir folder;
    const std::string path = folder.file("candidate");
    testsupport::writeFile(path, GetParam().bytes());
    EXPECT_EQ(update::isProgramFileForThisPlatform(path), GetParam().installable);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ProgramFileCheckTest,
    ::testing::Values(
        ProgramFileCase{"ThisProgram", [] { return ownProgramBytes(); }, true},
        ProgramFileCase{"Empty", [] { return std::string(); }, false},
        ProgramFileCase{"HtmlPage", [] { return std::string("<html><body>404 Not Found</body></html>"); }, false},
        ProgramFileCase{"HeaderOnly", [] { return ownProgramBytes().substr(0, 64); }, false},
        ProgramFileCase{"CutInHalf", [] { return ownProgramBytes().substr(0, ownProgramBytes().size() / 2); }, false},
        ProgramFileCase{"LastByteMissing", [] { return ownProgramBytes().substr(0, ownProgramBytes().size() - 1); },
                        false},
        ProgramFileCase{"OtherMachine",
                        [] {
                            Elf64_Ehdr header;
                            std::memcpy(&header, ownProgramBytes().data(), sizeof header);
                            return withMachine(ownProgramBytes(),
                                               header.e_machine == EM_AARCH64 ? EM_X86_64 : EM_AARCH64);
                        },
                        false},
        ProgramFileCase{"OtherClass",
                        [] {
                            std::string bytes = ownProgramBytes();
                            bytes[EI_CLASS] = bytes[EI_CLASS] == ELFCLASS64 ? ELFCLASS32 : ELFCLASS64;
                            return bytes;
                        },
                        false},
        ProgramFileCase{"ObjectFileType",
                        [] {
                            std::string bytes = ownProgramBytes();
                            const std::uint16_t relocatable = ET_REL;
                            std::memcpy(bytes.data() + offsetof(Elf64_Ehdr, e_type), &relocatable, sizeof relocatable);
                            return bytes;
                        },
                        false}),
    [](const ::testing::TestParamInfo<ProgramFileCase>& info) { return std::string(info.param.name); });

/// A run directory with an old program file, and the site that serves the download.
class DownloadUpdateTest : public ::testing::Test {
protected:
    const std::string kOldBytes = "#!/bin/sh\necho the old program\n";
    testsupport::TempDir runDirectory;
    UpdateSite site;
    SiteEnvironment environment{site};

    void SetUp() override { testsupport::writeFile(runDirectory.file("corvana"), kOldBytes); }

    /// True when the run directory holds only the untouched old program file.
    void expectNothingLeft() const {
        EXPECT_EQ(testsupport::listFolder(runDirectory.path()), "corvana");
        EXPECT_EQ(testsupport::readFile(runDirectory.file("corvana")), kOldBytes);
    }
};

TEST_F(DownloadUpdateTest, KeepsACompleteProgramWithTheRunBit) {
    site.answer(kFileHost, "/download/new", {200, {{"Content-Type", "application/octet-stream"}}, ownProgramBytes()});
    ::chmod(runDirectory.file("corvana").c_str(), 0750);

    ASSERT_TRUE(
        update::downloadUpdate("https://" + std::string(kFileHost) + "/download/new", runDirectory.path(), "corvana"));

    const std::string downloaded = runDirectory.path() + "/ProgramUpdateTemp/corvana";
    EXPECT_TRUE(testsupport::readFile(downloaded) == ownProgramBytes()) << "the download is not the served file";
    struct stat status {};
    ASSERT_EQ(::stat(downloaded.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0750u);
    EXPECT_EQ(testsupport::readFile(runDirectory.file("corvana")), kOldBytes);
}

struct TamperedCase {
    const char* name;
    SiteAnswer answer;
};

class TamperedDownloadTest : public DownloadUpdateTest, public ::testing::WithParamInterface<TamperedCase> {};

TEST_P(TamperedDownloadTest, LeavesNothingBehind) {
    site.answer(kFileHost, "/download/new", GetParam().answer);

    EXPECT_FALSE(
        update::downloadUpdate("https://" + std::string(kFileHost) + "/download/new", runDirectory.path(), "corvana"));
    expectNothingLeft();
}

INSTANTIATE_TEST_SUITE_P(
    Answers, TamperedDownloadTest,
    ::testing::Values(TamperedCase{"Empty", {200, {}, ""}},
                      TamperedCase{"HtmlPage", {200, {}, "<html><body>The file was removed.</body></html>"}},
                      TamperedCase{"Truncated", {200, {}, ownProgramBytes().substr(0, ownProgramBytes().size() / 3)}},
                      TamperedCase{"ProgramWithErrorStatus", {500, {}, ownProgramBytes()}}),
    [](const ::testing::TestParamInfo<TamperedCase>& info) { return std::string(info.param.name); });

TEST_F(DownloadUpdateTest, APlainHttpAddressIsRefusedEvenForACompleteProgram) {
    testsupport::RawHttpServer server;
    server.setResponse(testsupport::httpAnswer(200, {}, ownProgramBytes()));

    EXPECT_FALSE(update::downloadUpdate(server.url("/download/new"), runDirectory.path(), "corvana"));
    expectNothingLeft();
    EXPECT_TRUE(server.requests().empty());
}

/// A file host of its own over TLS that breaks off or never stops.
class BrokenTransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::writeFile(runDirectory.file("corvana"), "the old program");
        server.server().Get("/cut", [](const httplib::Request&, httplib::Response& response) {
            const std::size_t size = ownProgramBytes().size();
            response.set_content_provider(size, "application/octet-stream",
                                          [size](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                              // The connection goes down 100 bytes before the end.
                                              return offset == 0 && sink.write(ownProgramBytes().data(), size - 100);
                                          });
        });
        server.server().Get("/endless", [](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider("application/octet-stream", [](std::size_t, httplib::DataSink& sink) {
                return sink.write(ownProgramBytes().data(), ownProgramBytes().size());
            });
        });
        server.start();
        connectTo.emplace("CORVANA_CONNECT_TO", testsupport::connectToEntry(kFileHost, 443, server.port()));
    }

    testsupport::TempDir runDirectory;
    testsupport::TempDir certificates;
    testsupport::TestCertificateAuthority authority{certificates.path()};
    testsupport::LoopbackServer server{authority.issue("files", {kFileHost})};
    testsupport::ScopedEnvironment caBundle{"CORVANA_CA_BUNDLE", authority.authority().certificateFile};
    std::optional<testsupport::ScopedEnvironment> connectTo;
};

TEST_F(BrokenTransferTest, ACutShortTransferLeavesNothingBehind) {
    EXPECT_FALSE(update::downloadUpdate("https://" + std::string(kFileHost) + "/cut", runDirectory.path(), "corvana"));
    EXPECT_EQ(testsupport::listFolder(runDirectory.path()), "corvana");
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(BrokenTransferTest, AnEndlessDownloadStopsAtTheLimitAndLeavesNothingBehind) {
    EXPECT_FALSE(
        update::downloadUpdate("https://" + std::string(kFileHost) + "/endless", runDirectory.path(), "corvana"));
    EXPECT_EQ(testsupport::listFolder(runDirectory.path()), "corvana");
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(DownloadUpdateTest, UnreachableAddressLeavesNothingBehind) {
    EXPECT_FALSE(update::downloadUpdate("https://" + std::string(kFileHost) + "/download/missing", runDirectory.path(),
                                        "corvana"));
    EXPECT_FALSE(update::downloadUpdate("", runDirectory.path(), "corvana"));
    expectNothingLeft();
}

} // namespace
} // namespace updatetest
