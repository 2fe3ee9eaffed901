#include "ProfileFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

class ProfileFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("ProfileFileTest-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    void Store(const std::string& text) { std::ofstream(path(), std::ios::binary) << text; }
    std::string Stored() {
        std::ostringstream text;
        text << std::ifstream(path(), std::ios::binary).rdbuf();
        return text.str();
    }
    std::string path() const { return (dir / "MV2.ini").string(); }

    fs::path dir;
};

TEST_F(ProfileFileTest, FindsFirstMatchIgnoringCaseAndTrimsValues) {
    Store("Port=COM9\n[other]\nPort=COM8\n[SETUP]\n; Port=COM7\n  pORT =  Com3 A \t\nPort=COM2\n"
          "Quoted=\" x \"\nMixed='x\"\n[setup]\nName=second\n");
    ProfileFile file(path());
    EXPECT_EQ(file.ReadString("setup", "port", "-"), "Com3 A");
    EXPECT_EQ(file.ReadString("Setup", "Quoted", "-"), " x ");
    EXPECT_EQ(file.ReadString("Setup", "Mixed", "-"), "'x\"");
    EXPECT_EQ(file.ReadString("Setup", "Name", "default"), "default");
    EXPECT_EQ(file.ReadString("Missing", "Port", "default"), "default");
    using Values = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(file.ReadSectionValues("other"), (Values{{"Port", "COM8"}}));
    EXPECT_EQ(file.ReadSectionValues("Setup"),
              (Values{{"pORT", "Com3 A"}, {"Port", "COM2"}, {"Quoted", " x "}, {"Mixed", "'x\""}}));

    Store("[Setup]\r\nPort=COM4\r\n");
    EXPECT_EQ(file.ReadString("Setup", "Port", "-"), "COM4");
}

TEST_F(ProfileFileTest, MissingOrUnreadableFileGivesDefault) {
    EXPECT_EQ(ProfileFile(path()).ReadString("Setup", "Port", "COM1"), "COM1");
    fs::create_directory(path());
    EXPECT_EQ(ProfileFile(path()).ReadString("Setup", "Port", "COM1"), "COM1");
    EXPECT_TRUE(ProfileFile(path()).ReadSectionValues("Setup").empty());
}

TEST_F(ProfileFileTest, WriteChangesOnlyTheValue) {
    Store("; settings\n\n[Other]\nPort=COM1\n\n[setup]\n  port = COM3 \nBaud=9600\n");
    ProfileFile(path()).WriteString("Setup", "Port", "COM4");
    EXPECT_EQ(Stored(), "; settings\n\n[Other]\nPort=COM1\n\n[setup]\nport=COM4\nBaud=9600\n");
}

TEST_F(ProfileFileTest, WriteAddsMissingFileSectionAndKey) {
    ProfileFile file(path());
    file.WriteString("Setup", "Port", "COM3");
    EXPECT_EQ(Stored(), "[Setup]\r\nPort=COM3\r\n");

    Store("[Setup]\nPort=COM3\n\n[Other]\nA=1");
    file.WriteString("Setup", "Baud", "9600");
    file.WriteString("New", "B", "2");
    EXPECT_EQ(Stored(), "[Setup]\nPort=COM3\nBaud=9600\n\n[Other]\nA=1\n[New]\nB=2\n");

    Store("[Setup]\r\nPort=COM3");
    file.WriteString("Setup", "Baud", "9600");
    EXPECT_EQ(Stored(), "[Setup]\r\nPort=COM3\r\nBaud=9600\r\n");

    // An unended last line that ends in CR must keep its value when a key is added after it.
    Store("[Setup]\nName=A\r\r");
    const std::string before = file.ReadString("Setup", "Name", "-");
    file.WriteString("Setup", "Port", "COM3");
    EXPECT_EQ(file.ReadString("Setup", "Name", "-"), before);
    EXPECT_EQ(file.ReadString("Setup", "Port", "-"), "COM3");
}

TEST_F(ProfileFileTest, FailedWriteNamesTheFullPath) {
    fs::create_directory(path());
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    ProfileFile file("MV2.ini");
    const std::string expected =
        "In " + (fs::current_path() / "MV2.ini").string() + " kann nicht geschrieben werden";
    fs::current_path(previous);
    try {
        file.WriteString("Setup", "Port", "COM3");
        FAIL() << "no error";
    } catch (const ProfileWriteError& error) {
        EXPECT_EQ(error.what(), expected);
    }
}

namespace {

// Runs `body` in a child process and gives back what it returned; a child that hangs is ended
// after a generous time. For what must not run in the test process: a lowered file size limit,
// another user, or code that would block for good if it went wrong.
std::string InChild(const std::function<std::string()>& body) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        alarm(30);
        std::string result;
        try {
            result = body();
        } catch (const std::exception& error) {
            result = std::string("exception: ") + error.what();
        }
        const ssize_t written = write(pipeEnds[1], result.data(), result.size());
        _exit(written == ssize_t(result.size()) ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::string result;
    char buffer[512];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) != 0;)
        if (got > 0)
            result.append(buffer, size_t(got));
        else if (errno != EINTR)
            break;
    close(pipeEnds[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return "fork failed";
    if (WIFSIGNALED(status))
        return WTERMSIG(status) == SIGALRM ? "hung"
                                           : "killed by signal " + std::to_string(WTERMSIG(status));
    return result;
}

// "written", or the text of the error the write raised.
std::string WriteOutcome(const std::string& path, const std::string& value) {
    try {
        ProfileFile(path).WriteString("Setup", "Port", value);
        return "written";
    } catch (const ProfileWriteError& error) {
        return error.what();
    }
}

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Utf16(const std::u16string& text, bool bigEndian) {
    std::string bytes;
    for (const char16_t unit : text) {
        const char high = char(unit >> 8), low = char(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

} // namespace

TEST_F(ProfileFileTest, WriteThatHitsTheFileSizeLimitLeavesTheOldFileWhole) {
    const std::string old =
        "[Setup]\r\nPort=COM2\r\n[Ports]\r\nCOM2=/dev/ttyUSB0\r\nCOM3=/dev/ttyACM0\r\n";
    for (const rlim_t limit : {rlim_t(0), rlim_t(old.size() / 2), rlim_t(old.size())}) {
        Store(old);
        const std::string outcome = InChild([&] {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit small{limit, limit};
            setrlimit(RLIMIT_FSIZE, &small);
            return WriteOutcome(path(), "COM12");
        });
        EXPECT_EQ(outcome, "In " + path() + " kann nicht geschrieben werden") << limit;
        EXPECT_EQ(Stored(), old) << limit;
        EXPECT_EQ(Entries(dir), std::vector<std::string>{"MV2.ini"}) << limit;
    }
}

TEST_F(ProfileFileTest, WriteKeepsTheLinkAndThePermissions) {
    fs::create_directory(dir / "real");
    for (const bool link : {false, true}) {
        for (const auto mode : {fs::perms(0600), fs::perms(0640), fs::perms(0664)}) {
            const fs::path file = link ? dir / "real" / "MV2.ini" : dir / "MV2.ini";
            fs::remove(path());
            std::ofstream(file, std::ios::binary) << "[Setup]\nPort=COM2\n";
            if (link)
                fs::create_symlink(fs::path("real") / "MV2.ini", path());
            fs::permissions(file, mode);

            EXPECT_EQ(WriteOutcome(path(), "COM4"), "written");
            std::ostringstream text;
            text << std::ifstream(file, std::ios::binary).rdbuf();
            EXPECT_EQ(text.str(), "[Setup]\nPort=COM4\n") << link << int(mode);
            EXPECT_EQ(fs::status(file).permissions(), mode) << link << int(mode);
            EXPECT_EQ(fs::is_symlink(path()), link);
            EXPECT_EQ(Entries(dir), (std::vector<std::string>{"MV2.ini", "real"}));
            EXPECT_EQ(Entries(dir / "real"),
                      link ? std::vector<std::string>{"MV2.ini"} : std::vector<std::string>{});
        }
    }
}

// Who may write the file is decided as when it was rewritten in place: a file the user may write
// is written even in a closed folder, and keeps its owner; a read-only one is not replaced even
// in an open folder.
TEST_F(ProfileFileTest, PermissionsDecideWhetherTheFileIsWritten) {
    // As root every permission would be granted: the writes run as another user.
    const bool root = geteuid() == 0;
    const uid_t user = root ? 65534 : geteuid();
    const gid_t group = root ? 65534 : getegid();
    fs::permissions(dir, fs::perms(0755));
    struct Case {
        fs::perms folder, file;
        bool usersOwn, written;
    };
    const Case cases[] = {{fs::perms(0555), fs::perms(0666), true, true},
                          {fs::perms(0555), fs::perms(0666), false, true},
                          {fs::perms(0777), fs::perms(0666), false, true},
                          {fs::perms(0777), fs::perms(0444), true, false}};
    for (const Case& c : cases) {
        if (!c.usersOwn && !root)
            continue;
        const fs::path folder = dir / "folder";
        const std::string file = (folder / "MV2.ini").string();
        fs::create_directory(folder);
        std::ofstream(file, std::ios::binary) << "[Setup]\nPort=COM2\n[Ports]\nCOM2=/dev/ttyS7\n";
        ASSERT_EQ(chown(file.c_str(), c.usersOwn ? user : 0, c.usersOwn ? group : 0), 0);
        fs::permissions(file, c.file);
        fs::permissions(folder, c.folder);
        const std::string outcome = InChild([&] {
            if (root && (setgid(group) != 0 || setuid(user) != 0))
                return std::string("cannot drop root");
            return WriteOutcome(file, "COM4");
        });
        SCOPED_TRACE(std::to_string(int(c.folder)) + " " + std::to_string(int(c.file)) + " " +
                     std::to_string(c.usersOwn));
        EXPECT_EQ(outcome, c.written ? "written" : "In " + file + " kann nicht geschrieben werden");
        std::ostringstream text;
        text << std::ifstream(file, std::ios::binary).rdbuf();
        EXPECT_EQ(text.str(), std::string("[Setup]\nPort=") + (c.written ? "COM4" : "COM2") +
                                  "\n[Ports]\nCOM2=/dev/ttyS7\n");
        struct stat info {};
        ASSERT_EQ(stat(file.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, c.usersOwn ? user : 0);
        EXPECT_EQ(fs::status(file).permissions(), c.file);
        EXPECT_EQ(Entries(folder), std::vector<std::string>{"MV2.ini"});
        fs::permissions(folder, fs::perms(0700));
        fs::remove_all(folder);
    }
}

// What is not a regular file of at most 1 MiB reads as no settings, quickly, and is never
// written: a FIFO would block the reader for good, a device would be read without end. Nor may
// a write take a file past 1 MiB.
TEST_F(ProfileFileTest, OnlyRegularFilesUpTo1MiBAreReadOrWritten) {
    const auto padded = [&](size_t size) {
        std::string text = "[Setup]\nPort=COM5\n";
        while (text.size() < size)
            text += std::string(std::min<size_t>(size - text.size(), 64) - 1, ';') + "\n";
        return text;
    };
    struct Case {
        const char* name;
        std::function<void()> make;
        std::string port;
        bool written;
    };
    const Case cases[] = {
        {"fifo", [&] { ASSERT_EQ(mkfifo(path().c_str(), 0600), 0); }, "COM1", false},
        {"link to /dev/zero", [&] { fs::create_symlink("/dev/zero", path()); }, "COM1", false},
        {"link to /dev/urandom", [&] { fs::create_symlink("/dev/urandom", path()); }, "COM1",
         false},
        {"2 MiB", [&] { Store(padded(2 << 20)); }, "COM1", false},
        {"1 MiB and a byte", [&] { Store(padded((1 << 20) + 1)); }, "COM1", false},
        {"odd-sized UTF-16", [&] { Store(std::string("\xFF\xFE[\0S\0]\0\n", 9)); }, "COM1", false},
        {"1 MiB", [&] { Store(padded(1 << 20)); }, "COM5", false},
        {"1 MiB less a byte", [&] { Store(padded((1 << 20) - 1)); }, "COM5", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(path());
        c.make();
        const auto before = fs::symlink_status(path()).type();
        const std::string content = fs::is_regular_file(path()) ? Stored() : "";
        const std::string refused = "In " + path() + " kann nicht geschrieben werden";
        const std::string outcome = InChild([&] {
            ProfileFile file(path());
            std::string seen = file.ReadString("Setup", "Port", "COM1") + " ";
            seen += std::to_string(file.ReadSectionValues("Setup").size()) + " ";
            return seen + WriteOutcome(path(), "COM16"); // one byte longer
        });
        const std::string values = c.port == "COM1" ? " 0 " : " 1 ";
        EXPECT_EQ(outcome, c.port + values + (c.written ? "written" : refused));
        EXPECT_EQ(fs::symlink_status(path()).type(), before);
        if (c.written) {
            EXPECT_EQ(ProfileFile(path()).ReadString("Setup", "Port", "-"), "COM16");
        } else if (!content.empty()) {
            EXPECT_EQ(Stored(), content);
        }
    }
}

TEST_F(ProfileFileTest, Utf16FilesAreReadAndWrittenInTheirEncoding) {
    const std::u16string old = u"; Gr\u00FC\u00DFe \U0001F600.\r\n[Setup]\r\n"
                               u"Port=COM2\r\nName=M\u00FCller\r\n[Ports]\r\nCOM3=/dev/ttyUSB0";
    std::u16string updated = old;
    updated.replace(updated.find(u"COM2"), 4, u"COM4");
    updated += u"\r\n[Neu]\r\nWert=\u00C4\U0001F600\r\n";
    for (const bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
        const std::string bom = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        Store(bom + Utf16(old, bigEndian));
        ProfileFile file(path());
        EXPECT_EQ(file.ReadString("Setup", "Port", "-"), "COM2");
        EXPECT_EQ(file.ReadString("Setup", "Name", "-"), "M\xC3\xBCller");
        EXPECT_EQ(file.ReadString("Ports", "COM3", "-"), "/dev/ttyUSB0");

        file.WriteString("Setup", "Port", "COM4");
        file.WriteString("Neu", "Wert", "\xC3\x84\xF0\x9F\x98\x80");
        EXPECT_EQ(Stored(), bom + Utf16(updated, bigEndian));
        EXPECT_EQ(file.ReadString("Neu", "Wert", "-"), "\xC3\x84\xF0\x9F\x98\x80");

        // Text that is not UTF-8 has no UTF-16 form: the file stays as it is.
        EXPECT_THROW(file.WriteString("Setup", "Port", "COM\xFF"), ProfileWriteError);
        EXPECT_EQ(Stored(), bom + Utf16(updated, bigEndian));
    }
}

TEST_F(ProfileFileTest, Utf8ByteOrderMarkIsReadThroughAndKept) {
    Store("\xEF\xBB\xBF[Setup]\r\nPort=COM2\r\nName=M\xC3\xBCller \xFF\r\n");
    ProfileFile file(path());
    EXPECT_EQ(file.ReadString("Setup", "Port", "-"), "COM2");
    file.WriteString("Setup", "Port", "COM4");
    EXPECT_EQ(Stored(), "\xEF\xBB\xBF[Setup]\r\nPort=COM4\r\nName=M\xC3\xBCller \xFF\r\n");
}
