#include "ProfileFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

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
