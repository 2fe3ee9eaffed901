// The per-user folder of --user-folder on POSIX: where the XDG rules put it, made when missing,
// and a clear word when it cannot be had, the working directory left as it was.
#include "UserFolder.h"
#include "TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(UserFolder, FollowsXdgDataHomeElseTheHomeFolder) {
    ScopedEnvironment home("HOME", "/home/jürgen");
    {
        ScopedEnvironment data("XDG_DATA_HOME", "/srv/daten/");
        EXPECT_EQ(UserFolder(), "/srv/daten/morvik2");
    }
    for (const char* ignored : {"", "relativ/daten"}) {
        SCOPED_TRACE(ignored);
        ScopedEnvironment data("XDG_DATA_HOME", ignored);
        EXPECT_EQ(UserFolder(), "/home/jürgen/.local/share/morvik2");
    }
    ScopedEnvironment data("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(UserFolder(), "/home/jürgen/.local/share/morvik2");
}

TEST(UserFolder, IsMadeForTheUserAloneAndBecomesTheWorkingDirectory) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    ScopedEnvironment data("XDG_DATA_HOME", nullptr);
    ScopedEnvironment home("HOME", dir.Path("home").c_str());
    dir.MakeDirectory("home");

    EXPECT_EQ(EnterUserFolder(), std::nullopt);
    EXPECT_EQ(fs::current_path(), fs::path(dir.Path("home/.local/share/morvik2")));
    for (const char* made : {"home/.local", "home/.local/share", "home/.local/share/morvik2"}) {
        struct stat info {};
        ASSERT_EQ(stat(dir.Path(made).c_str(), &info), 0) << made;
        EXPECT_EQ(info.st_mode & 0777, 0700u) << made;
    }

    // A second start finds it there.
    fs::current_path(dir.Path());
    dir.Write("home/.local/share/morvik2/MV2.ini", "[Setup]\r\nPort=COM3\r\n");
    EXPECT_EQ(EnterUserFolder(), std::nullopt);
    EXPECT_EQ(fs::current_path(), fs::path(dir.Path("home/.local/share/morvik2")));
    EXPECT_TRUE(fs::exists("MV2.ini"));
}

TEST(UserFolder, WhenItCannotBeHadTheWorkingDirectoryStays) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    ScopedEnvironment data("XDG_DATA_HOME", dir.Path("daten").c_str());
    // A file where the folder should be; root may write anywhere, but not make a file a folder.
    dir.Write("daten", "");
    const std::optional<std::string> problem = EnterUserFolder();
    EXPECT_EQ(problem, "Der Benutzerordner " + dir.Path("daten/morvik2") +
                           " kann nicht angelegt werden:\n" + dir.Path("daten/morvik2") +
                           ": Not a directory");
    EXPECT_EQ(fs::current_path(), fs::path(dir.Path()));

    fs::remove(dir.Path("daten"));
    dir.MakeDirectory("daten");
    dir.Write("daten/morvik2", "");
    EXPECT_EQ(EnterUserFolder(), "In den Benutzerordner " + dir.Path("daten/morvik2") +
                                     " kann nicht gewechselt werden:\nNot a directory");
    EXPECT_EQ(fs::current_path(), fs::path(dir.Path()));
}

TEST(UserFolder, WithoutHomeThePasswordDatabaseNamesTheHomeFolder) {
    ScopedEnvironment data("XDG_DATA_HOME", nullptr);
    ScopedEnvironment home("HOME", nullptr);
    const passwd* user = getpwuid(getuid());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(UserFolder(), std::string(user->pw_dir) + "/.local/share/morvik2");
}

} // namespace
