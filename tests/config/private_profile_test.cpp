#include "config/private_profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "config/config_testing.h"
#include "tests/support/test_files.h"

namespace {

class PrivateProfileFile : public ::testing::Test {
  protected:
    void TearDown() override { CONFIG_SetBeforeRenameHookForTest(nullptr); }

    std::string GetString(const char* section, const char* key) {
        std::string value;
        PrivateProfileReader(m_path.c_str()).GetValue(section, key, &value);
        return value;
    }

    ScratchDir m_dir;
    std::string m_path = m_dir.File("kovirw.ini");
};

TEST_F(PrivateProfileFile, MissingFileOrKeyGivesTheDefaults) {
    EXPECT_EQ(PrivateProfileReader(m_path.c_str()).GetInt("KOVIR", "DELAY", 2), 2u);
    EXPECT_EQ(GetString("KOVIR", "KOVIRFILE"), "");
    EXPECT_TRUE(PrivateProfile_GetSection("PORTS", m_path.c_str()).empty());

    WriteText(m_path, "[KOVIR]\nDELAY=\nBAUDRATE=fast\nAUTODETECT=\" 7\"\n");
    EXPECT_EQ(PrivateProfileReader(m_path.c_str()).GetInt("KOVIR", "DELAY", 2), 2u);
    EXPECT_EQ(PrivateProfileReader(m_path.c_str()).GetInt("KOVIR", "BAUDRATE", 1382400), 0u);
    EXPECT_EQ(PrivateProfileReader(m_path.c_str()).GetInt("KOVIR", "AUTODETECT", 1), 7u);
    WriteText(m_path, "[]\nA=1\n");
    EXPECT_TRUE(PrivateProfile_GetSection("", m_path.c_str()).empty());  // no name, no section
}

TEST_F(PrivateProfileFile, SomethingOtherThanAFileReadsAsEmpty) {
    ASSERT_EQ(mkdir(m_path.c_str(), 0755), 0);
    EXPECT_EQ(PrivateProfileReader(m_path.c_str()).GetInt("KOVIR", "DELAY", 2), 2u);
    EXPECT_FALSE(PrivateProfile_WriteString("KOVIR", "DELAY", "3", m_path.c_str()));

    std::string fifo = m_dir.File("fifo.ini");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(PrivateProfileReader(fifo.c_str()).GetInt("KOVIR", "DELAY", 2), 2u);
    EXPECT_FALSE(PrivateProfile_WriteString("KOVIR", "DELAY", "3", fifo.c_str()));
    EXPECT_EQ(m_dir.Names(), (std::vector<std::string>{"fifo.ini", "kovirw.ini"}));
}

TEST_F(PrivateProfileFile, OneSaveGivesTheFileOfTheWritesOneByOne) {
    const std::string start = "x\r\n[B]\r\nk=1\r\n[A]\r\n; c\r\n[B]\r\nk=2";
    const std::string byOne = m_dir.File("one.ini");
    WriteText(byOne, start);
    WriteText(m_path, start);
    const char* writes[][3] = {{"A", "k", "v"},    {"B", "K", "3"},       {"C", "n", "new"},
                               {"B", "m", "4"},    {"A", "k", nullptr},   {"C", "n", " pad "},
                               {"B", "x", "a\nb"}, {"D", "gone", nullptr}};
    PrivateProfileEdit edit(m_path.c_str());
    for (const auto& w : writes) {
        bool queued = edit.Set(w[0], w[1], w[2]);
        EXPECT_EQ(PrivateProfile_WriteString(w[0], w[1], w[2], byOne.c_str()), queued);
    }
    EXPECT_FALSE(edit.Commit());  // the value with a line break was refused
    EXPECT_EQ(ReadText(m_path), ReadText(byOne));
    EXPECT_EQ(GetString("C", "n"), " pad ");
}

TEST_F(PrivateProfileFile, FailedSavesLeaveTheOldFileAndNoLeftovers) {
    WriteText(m_path, "[KOVIR]\nDELAY=5\n");
    ASSERT_EQ(chmod(m_path.c_str(), 0444), 0);
    EXPECT_FALSE(PrivateProfile_WriteString("KOVIR", "DELAY", "9", m_path.c_str()));
    EXPECT_EQ(ReadText(m_path), "[KOVIR]\nDELAY=5\n");

    const std::string inMissingDir = m_dir.File("no/such/dir/kovirw.ini");
    EXPECT_FALSE(PrivateProfile_WriteString("KOVIR", "DELAY", "9", inMissingDir.c_str()));
    EXPECT_FALSE(PrivateProfile_WriteString("KOVIR", "DELAY", "9", ""));
    EXPECT_EQ(m_dir.Names(), std::vector<std::string>{"kovirw.ini"});
}

TEST_F(PrivateProfileFile, SaveKeepsPermissionsAndWritesThroughALink) {
    const std::string target = m_dir.File("real.ini");
    WriteText(target, "[KOVIR]\nDELAY=5\n");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(symlink("real.ini", m_path.c_str()), 0);
    ASSERT_TRUE(PrivateProfile_WriteString("KOVIR", "DELAY", "9", m_path.c_str()));

    struct stat st;
    ASSERT_EQ(lstat(m_path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadText(target), "[KOVIR]\nDELAY=9\n");
}

TEST_F(PrivateProfileFile, SaveInterruptedBeforeTheRenameLeavesTheOldFile) {
    // Forked, so that the child saves into this test's own directory.
    GTEST_FLAG_SET(death_test_style, "fast");
    WriteText(m_path, "[KOVIR]\r\nDELAY=5\r\n");
    EXPECT_EXIT(
        {
            CONFIG_SetBeforeRenameHookForTest([](const char*) { _exit(3); });
            PrivateProfile_WriteString("KOVIR", "DELAY", "9", m_path.c_str());
        },
        ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(ReadText(m_path), "[KOVIR]\r\nDELAY=5\r\n");

    // The dead save's complete temporary file is beside the old one; the next save works.
    std::vector<std::string> names = m_dir.Names();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(ReadText(m_dir.File(names[0])), "[KOVIR]\r\nDELAY=9\r\n");
    ASSERT_TRUE(PrivateProfile_WriteString("KOVIR", "DELAY", "7", m_path.c_str()));
    EXPECT_EQ(ReadText(m_path), "[KOVIR]\r\nDELAY=7\r\n");
}

}  // namespace
