#include "platform/system.h"
#include "tests/support/temp_dir.h"

#include <atomic>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using testsupport::listFolder;
using testsupport::readFile;
using testsupport::ScopedEnvironment;
using testsupport::TempDir;
using testsupport::writeFile;

mode_t modeOf(const std::string& path) {
    struct stat status {};
    ::stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

TEST(ReplaceFileAtomically, ReplacesTheContentAndKeepsTheModeWithoutLeavingATemporaryFile) {
    TempDir dir;
    const std::string hosts = dir.file("hosts");
    writeFile(hosts, "127.0.0.1 localhost\n");
    ::chmod(hosts.c_str(), 0640);

    ASSERT_TRUE(platform::replaceFileAtomically(hosts, "127.0.0.1 localhost\n1.2.3.4 github.com"));
    EXPECT_EQ(readFile(hosts), "127.0.0.1 localhost\n1.2.3.4 github.com");
    EXPECT_EQ(modeOf(hosts), 0640u);
    EXPECT_EQ(listFolder(dir.path()), "hosts");

    ASSERT_TRUE(platform::replaceFileAtomically(hosts, ""));
    EXPECT_EQ(readFile(hosts), "");
}

TEST(ReplaceFileAtomically, KeepsTheOwnerOfTheOldFile) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can hand a file to another owner";
    TempDir dir;
    const std::string hosts = dir.file("hosts");
    writeFile(hosts, "old");
    ASSERT_EQ(::chown(hosts.c_str(), 65534, 65534), 0);
    ASSERT_TRUE(platform::replaceFileAtomically(hosts, "new"));
    struct stat status {};
    ASSERT_EQ(::stat(hosts.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 65534u);
    EXPECT_EQ(status.st_gid, 65534u);
    EXPECT_EQ(readFile(hosts), "new");
}

TEST(ReplaceFileAtomically, CreatesAMissingFileAndReplacesTheTargetOfALink) {
    TempDir dir;
    ASSERT_TRUE(platform::replaceFileAtomically(dir.file("new"), "fresh"));
    EXPECT_EQ(readFile(dir.file("new")), "fresh");

    writeFile(dir.file("target"), "old");
    ASSERT_EQ(::symlink("target", dir.file("link").c_str()), 0);
    ASSERT_TRUE(platform::replaceFileAtomically(dir.file("link"), "through the link"));
    struct stat status {};
    ASSERT_EQ(::lstat(dir.file("link").c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_EQ(readFile(dir.file("target")), "through the link");
    EXPECT_EQ(listFolder(dir.path()), "link new target");
}

TEST(ReplaceFileAtomically, AnswersFalseAndChangesNothingWhereItCannotWrite) {
    TempDir dir;
    ASSERT_TRUE(platform::createDirectory(dir.file("folder")));
    writeFile(dir.file("folder/inside"), "kept");
    EXPECT_FALSE(platform::replaceFileAtomically(dir.file("folder"), "bytes"));
    EXPECT_EQ(readFile(dir.file("folder/inside")), "kept");
    EXPECT_FALSE(platform::replaceFileAtomically(dir.file("missing/hosts"), "bytes"));
    EXPECT_FALSE(platform::replaceFileAtomically("", "bytes"));
    EXPECT_EQ(listFolder(dir.path()), "folder");
    EXPECT_EQ(listFolder(dir.file("folder")), "inside");

    if (::geteuid() != 0) {
        writeFile(dir.file("locked"), "mine");
        ::chmod(dir.file("locked").c_str(), 0444);
        EXPECT_FALSE(platform::replaceFileAtomically(dir.file("locked"), "bytes"));
        EXPECT_EQ(readFile(dir.file("locked")), "mine");
    }
}

// A container's /etc/hosts is a bind mount: it cannot be renamed over, only written where it stands.
TEST(ReplaceFileAtomically, WritesABindMountedFileInPlace) {
    TempDir dir;
    const std::string outside = dir.file("outside");
    const std::string hosts = dir.file("hosts");
    writeFile(outside, "127.0.0.1 localhost\n# a long line that the shorter new content must not leave behind\n");
    writeFile(hosts, "");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A private mount namespace: the bind mount disappears with this process.
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(outside.c_str(), hosts.c_str(), nullptr, MS_BIND, nullptr) != 0)
            ::_exit(77);
        const bool replaced = platform::replaceFileAtomically(hosts, "1.2.3.4 github.com\n");
        const bool noTemporary = listFolder(dir.path()) == "hosts outside";
        ::_exit(replaced && noTemporary && readFile(hosts) == "1.2.3.4 github.com\n" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "bind mounts are not permitted here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFile(outside), "1.2.3.4 github.com\n");
}

// A writer killed before its rename leaves its temporary file; the next write of the same file takes it away, but
// not the temporary of a writer that is still at work.
TEST(ReplaceFileAtomically, RemovesTheTemporariesOfDeadWritersOnly) {
    TempDir dir;
    const pid_t gone = ::fork();
    ASSERT_GE(gone, 0);
    if (gone == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    const std::string dead = ".hosts." + std::to_string(gone) + "-0-1.tmp";
    const std::string live = ".hosts." + std::to_string(::getpid()) + "-7-1.tmp";
    const std::string otherFile = ".settings." + std::to_string(gone) + "-0-1.tmp";
    for (const std::string& name : {dead, live, otherFile})
        writeFile(dir.file(name), "half a file");
    ASSERT_TRUE(platform::replaceFileAtomically(dir.file("hosts"), "127.0.0.1 localhost\n"));
    EXPECT_EQ(listFolder(dir.path()), live + " " + otherFile + " hosts");
}

// Two writers and a reader on one bind-mounted file at once (overlapping runs in a container): every read is one
// writer's whole text, and the writers never mix their bytes.
TEST(ReplaceFileAtomically, WritesInPlaceOneAtATimeAndReadersSeeWholeFiles) {
    TempDir dir;
    const std::string outside = dir.file("outside");
    const std::string hosts = dir.file("hosts");
    std::string shorter;
    for (int i = 0; i < 5000; ++i)
        shorter += "10.0." + std::to_string(i % 250) + ".1 user-host-" + std::to_string(i) + ".example\n";
    const std::string longer = shorter + "\n# GitHub Host Start\n1.2.3.4 github.com\n# GitHub Host End";
    writeFile(outside, shorter);
    writeFile(hosts, "");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(outside.c_str(), hosts.c_str(), nullptr, MS_BIND, nullptr) != 0)
            ::_exit(77);
        std::atomic<int> torn{0};
        std::atomic<bool> writing{true};
        const auto writer = [&](const std::string& text) {
            for (int i = 0; i < 150; ++i)
                (void)platform::replaceFileAtomically(hosts, text);
        };
        std::thread reader([&] {
            while (writing) {
                const std::string text = platform::readTextFile(hosts);
                torn += text == shorter || text == longer ? 0 : 1;
            }
        });
        std::thread first(writer, shorter);
        std::thread second(writer, longer);
        first.join();
        second.join();
        writing = false;
        reader.join();
        const std::string last = platform::readTextFile(hosts);
        ::_exit(torn == 0 && (last == shorter || last == longer) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "bind mounts are not permitted here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a read saw a half-written file, or the writers mixed their bytes";
}

TEST(ReadAndWriteFile, HandleMissingFilesFoldersAndExactBytes) {
    TempDir dir;
    const std::string bytes("a\0b\r\n\xE4\xB8\xAD", 7);
    ASSERT_TRUE(platform::writeFile(dir.file("f"), bytes));
    EXPECT_EQ(platform::readTextFile(dir.file("f")), bytes);
    ASSERT_TRUE(platform::writeFile(dir.file("f"), "x"));
    EXPECT_EQ(platform::readTextFile(dir.file("f")), "x");
    EXPECT_FALSE(platform::writeFile("", "x"));
    EXPECT_FALSE(platform::writeFile(dir.file("missing/f"), "x"));
    EXPECT_EQ(platform::readTextFile(dir.file("missing")), "");
    EXPECT_EQ(platform::readTextFile(dir.path()), "");

    EXPECT_TRUE(platform::fileExists(dir.file("f")));
    EXPECT_FALSE(platform::isDirectory(dir.file("f")));
    EXPECT_TRUE(platform::createDirectory(dir.file("d")));
    EXPECT_FALSE(platform::createDirectory(dir.file("d")));
    EXPECT_TRUE(platform::isDirectory(dir.file("d")));
    EXPECT_TRUE(platform::removeEmptyDirectory(dir.file("d")));
    EXPECT_TRUE(platform::deleteFile(dir.file("f")));
    EXPECT_FALSE(platform::deleteFile(dir.file("f")));
    EXPECT_FALSE(platform::fileExists(dir.file("f")));
}

TEST(Paths, ComeFromTheProgramFileAndTheEnvironment) {
    EXPECT_EQ(platform::programFileName(), "platform_tests");
    EXPECT_EQ(platform::programFilePath(), platform::runDirectory() + "/" + platform::programFileName());
    EXPECT_TRUE(platform::fileExists(platform::programFilePath()));
    {
        ScopedEnvironment tmp("TMPDIR", "/var/tmp/x");
        EXPECT_EQ(platform::temporaryFolder(), "/var/tmp/x/");
    }
    {
        ScopedEnvironment tmp("TMPDIR", std::nullopt);
        EXPECT_EQ(platform::temporaryFolder(), "/tmp/");
    }
    {
        ScopedEnvironment config("XDG_CONFIG_HOME", "/home/u/conf");
        EXPECT_EQ(platform::autostartFolder(), "/home/u/conf/autostart/");
    }
    {
        ScopedEnvironment config("XDG_CONFIG_HOME", std::nullopt);
        ScopedEnvironment home("HOME", "/home/u");
        EXPECT_EQ(platform::autostartFolder(), "/home/u/.config/autostart/");
    }
    {
        ScopedEnvironment hosts("CORVANA_HOSTS", "/tmp/hosts");
        EXPECT_EQ(platform::hostsFilePath(), "/tmp/hosts");
    }
    ScopedEnvironment hosts("CORVANA_HOSTS", std::nullopt);
    EXPECT_EQ(platform::hostsFilePath(), "/etc/hosts");
}

TEST(AutostartEntry, StartsTheQuotedProgramWithItsArguments) {
    TempDir dir;
    const std::string entry = dir.file("config/autostart/Corvana.desktop");
    ASSERT_TRUE(platform::createAutostartEntry(entry, "/opt/My \"Tools\"/$corvana\\100%", "AutoModeStart"));
    EXPECT_EQ(readFile(entry), "[Desktop Entry]\n"
                               "Type=Application\n"
                               "Name=Corvana\n"
                               "Exec=\"/opt/My \\\\\"Tools\\\\\"/\\\\$corvana\\\\\\\\100%%\" AutoModeStart\n"
                               "X-GNOME-Autostart-enabled=true\n");
    ASSERT_TRUE(platform::createAutostartEntry(entry, "/opt/corvana", "AutoModeStart"));
    EXPECT_NE(readFile(entry).find("Exec=\"/opt/corvana\" AutoModeStart\n"), std::string::npos);
    EXPECT_FALSE(platform::createAutostartEntry(entry, "/opt/corvana\nExec=evil", "AutoModeStart"));
    EXPECT_EQ(listFolder(dir.file("config/autostart")), "Corvana.desktop");
}

} // namespace
