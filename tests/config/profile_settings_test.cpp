#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "config/config_testing.h"
#include "config/private_profile.h"
#include "config/profile.h"
#include "config/settings.h"
#include "tests/support/test_files.h"

namespace {

// Runs each test in a fresh start-up directory with the globals as at program start.
class ConfigFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(getcwd(m_oldDir, sizeof m_oldDir), nullptr);
        ASSERT_EQ(chdir(m_dir.Path().c_str()), 0);
        CONFIG_ResetForTest();
        CONFIG_InitStartDir();
        m_start = g_szStartDir;
    }
    void TearDown() override {
        EXPECT_EQ(chdir(m_oldDir), 0);
        CONFIG_ResetForTest();
    }

    std::string Settings() const { return m_dir.File("kovirw.ini"); }
    std::string Profile() const { return m_dir.File("p.kvr"); }
    // The value of a KOVIR key in the profile file, "<missing>" when it has none.
    std::string Saved(const char* key) const {
        std::string value = "<missing>";
        PrivateProfileReader(Profile().c_str()).GetValue("KOVIR", key, &value);
        return value;
    }

    ScratchDir m_dir;
    char m_oldDir[PATH_MAX];
    std::string m_start;
};

// The first start without files: the defaults, and nothing is created before a save.
TEST_F(ConfigFiles, FirstStartSavesTheDefaultsInOrderIntoNewFiles) {
    ASSERT_FALSE(m_start.empty());
    CONFIG_Load(nullptr);
    EXPECT_TRUE(m_dir.Names().empty());
    g_nSavedPort[7] = 12;
    std::snprintf(g_Profile.slot[1].address, sizeof g_Profile.slot[1].address, "0x40000");
    EXPECT_EQ(CONFIG_Save(), 1);

    EXPECT_EQ(ReadText(Settings()),
              "[KOVIR]\nAUTODETECT=1\nCH0_PORT=0\nCH1_PORT=0\nCH2_PORT=0\nCH3_PORT=0\n"
              "CH4_PORT=0\nCH5_PORT=0\nCH6_PORT=0\nCH7_PORT=12\nDELAY=2\nBAUDRATE=1382400\n"
              "KOVIRFILE=" +
                  m_start + "/default.kvr\n");

    std::vector<std::string> keys;
    for (const auto& kv : PrivateProfile_GetSection("KOVIR", g_szProfilePath))
        keys.push_back(kv.first);
    std::vector<std::string> expected;  // CHECK, FILE and ADDRESS per slot; Code has no address
    for (const char* slot : {"CODE", "FONT", "DATA", "PRELOAD", "ASIC_BOOT", "ASIC_CODE",
                             "ASIC_FONT", "ASIC_CONTENTS", "ASIC_IMAGE"}) {
        for (const char* key : {"CHECK", "FILE", "ADDRESS"})
            if (std::strcmp(slot, "CODE") != 0 || std::strcmp(key, "ADDRESS") != 0)
                expected.push_back(std::string(slot) + key);
    }
    EXPECT_EQ(keys, expected);
    const std::string profile = ReadText(g_szProfilePath);
    EXPECT_NE(profile.find("\nFONTADDRESS=0x40000\n"), std::string::npos);
    EXPECT_NE(profile.find("\nASIC_IMAGEADDRESS=0xF000500\n"), std::string::npos);
}

TEST_F(ConfigFiles, AsicAddressesAreFixedAndCodeAddressIsNeverStored) {
    WriteText(Profile(),
              "[KOVIR]\nCODEADDRESS=18000\nFONTADDRESS=0x10000\nASIC_BOOTADDRESS=1000\n");
    CONFIG_Load(Profile().c_str());
    EXPECT_STREQ(g_Profile.slot[0].address, "");
    EXPECT_STREQ(g_Profile.slot[1].address, "0x10000");
    EXPECT_STREQ(g_Profile.slot[4].address, "0xF000100");

    std::snprintf(g_Profile.slot[0].address, sizeof g_Profile.slot[0].address, "0");
    CONFIG_Save();
    EXPECT_EQ(Saved("CODEADDRESS"), "18000");
    EXPECT_EQ(Saved("ASIC_BOOTADDRESS"), "0xF000100");
}

TEST_F(ConfigFiles, CheckKeysSelectByDefaultOnlyTheMsmCode) {
    WriteText(Profile(),
              "[KOVIR]\nDATACHECK=2\nPRELOADCHECK=yes\nASIC_BOOTCHECK=1\nASIC_CODECHECK=0\n");
    CONFIG_Load(Profile().c_str());
    const int expected[PROFILE_SLOT_COUNT] = {1, 0, 1, 0, 1, 0, 0, 0, 0};
    for (int s = 0; s < PROFILE_SLOT_COUNT; ++s)
        EXPECT_EQ(g_Profile.slot[s].check, expected[s]) << s;
}

TEST_F(ConfigFiles, EmptyProfilePathTouchesNoProfileFile) {
    WriteText(Profile(), "[KOVIR]\nFONTCHECK=1\n");
    g_Profile.changeBootArea = 1;
    CONFIG_Load(Profile().c_str());
    EXPECT_EQ(g_Profile.changeBootArea, 0);  // the boot-area choice never survives a read

    g_Profile.changeBootArea = 1;
    CONFIG_Load("");
    EXPECT_STREQ(g_szProfilePath, "");
    EXPECT_EQ(g_Profile.changeBootArea, 1);
    EXPECT_EQ(g_Profile.slot[1].check, 1);
    CONFIG_Save();
    EXPECT_EQ(m_dir.Names(), (std::vector<std::string>{"kovirw.ini", "p.kvr"}));
    EXPECT_EQ(ReadText(Profile()), "[KOVIR]\nFONTCHECK=1\n");
    CONFIG_Load("q");  // a name of one letter is a name, in the start-up directory
    CONFIG_Save();
    EXPECT_EQ(m_dir.Names(), (std::vector<std::string>{"kovirw.ini", "p.kvr", "q"}));
}

TEST_F(ConfigFiles, ProfilePathComesFromTheCallerOrKovirfile) {
    WriteText(Settings(), "[KOVIR]\nCH2_PORT=5\nKOVIRFILE=" + Profile() + "\n");
    WriteText(Profile(), "[KOVIR]\nCODEFILE=/images/code.bin\n");
    CONFIG_Load(nullptr);
    EXPECT_EQ(std::string(g_szProfilePath), Profile());
    EXPECT_STREQ(g_Profile.slot[0].file, "/images/code.bin");

    // The console hands back the global itself after a Load; every Load rereads the settings.
    g_nSavedPort[2] = 9;
    CONFIG_Load(g_szProfilePath);
    EXPECT_EQ(std::string(g_szProfilePath), Profile());
    EXPECT_EQ(g_nSavedPort[2], 5);

    // A path that does not fit is never cut into the name of another file.
    const std::string tooLong = "/" + std::string(CONFIG_MAX_PATH, 'd');
    CONFIG_Load(tooLong.c_str());
    EXPECT_STREQ(g_szProfilePath, "");
    WriteText(Settings(), "[KOVIR]\nKOVIRFILE=" + tooLong + "\n");
    CONFIG_Load(nullptr);
    EXPECT_EQ(std::string(g_szProfilePath), m_start + "/default.kvr");
}

TEST_F(ConfigFiles, NumbersThatAreNoSettingReadAsZeroOrMissing) {
    WriteText(Settings(),
              "[KOVIR]\nDELAY=slow\nBAUDRATE=2147483648\nCH1_PORT=-3\nCH2_PORT=2147483647\n");
    CONFIG_Load(nullptr);
    EXPECT_EQ(g_nWriteDelay, 0);
    EXPECT_EQ(g_nBaudRate, 1382400);  // past INT_MAX: as if missing, never negative
    EXPECT_EQ(g_nSavedPort[1], 0);
    EXPECT_EQ(g_nSavedPort[2], INT_MAX);
    // The reset that tests and the fuzzer run between loads gives back a start's values.
    ASSERT_STRNE(g_szProfilePath, "");
    CONFIG_ResetForTest();
    EXPECT_STREQ(g_szProfilePath, "");
    EXPECT_EQ(g_nWriteDelay, DEFAULT_WRITE_DELAY_MS);
    EXPECT_EQ(g_nAutoDetect, 0);  // read as 1 when missing, but 0 before any read
    EXPECT_EQ(CONFIG_BaudRateText(), "");
}

// A value too long for its field is refused, never cut into another file's name or another
// flash address; the file keeps it until the field gets a value of its own.
TEST_F(ConfigFiles, LongTextsAreRefusedAndKeptInTheFile) {
    const std::string fits = "/" + std::string(CONFIG_MAX_PATH - 1, 'd');
    const std::string longFile = "FONTFILE=/" + std::string(CONFIG_MAX_PATH, 'f');
    const std::string longAddress = "FONTADDRESS=" + std::string(CONFIG_MAX_ADDRESS + 1, '0');
    WriteText(Profile(), "[KOVIR]\n" + longAddress + "\n" + longFile + "\nDATAFILE=" + fits + "\n");
    CONFIG_Load(Profile().c_str());
    EXPECT_STREQ(g_Profile.slot[1].address, "");
    EXPECT_STREQ(g_Profile.slot[1].file, "");
    EXPECT_EQ(std::string(g_Profile.slot[2].file), fits);
    EXPECT_EQ(PROFILE_ReadProblems(),
              Profile() + ": the value of FONTFILE is longer than " +
                  std::to_string(CONFIG_MAX_PATH) + " bytes and is not used\n" + Profile() +
                  ": the value of FONTADDRESS is longer than 31 bytes and is not used\n");
    CONFIG_Save();
    EXPECT_NE(ReadText(Profile()).find(longFile), std::string::npos);
    EXPECT_NE(ReadText(Profile()).find(longAddress), std::string::npos);
    std::strcpy(g_Profile.slot[1].file, "/new.fnt");
    CONFIG_Save();
    EXPECT_NE(ReadText(Profile()).find("FONTFILE=/new.fnt"), std::string::npos);
    CONFIG_Load(Profile().c_str());
    EXPECT_EQ(PROFILE_ReadProblems().find("FONTFILE"), std::string::npos);
}

TEST_F(ConfigFiles, PathsThatDoNotFitNameNoFile) {
    char out[CONFIG_MAX_PATH + 1];
    const std::string dir = "/" + std::string(CONFIG_MAX_PATH - 7, 'd');  // + "/a.ini" fits
    EXPECT_TRUE(CONFIG_JoinPath(out, dir.c_str(), "a.ini"));
    EXPECT_EQ(std::strlen(out), static_cast<size_t>(CONFIG_MAX_PATH));
    EXPECT_FALSE(CONFIG_JoinPath(out, dir.c_str(), "ab.ini"));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(CONFIG_JoinPath(out, "", "kovirw.ini"));
    EXPECT_TRUE(CONFIG_JoinPath(out, "/", "kovirw.ini"));
    EXPECT_STREQ(out, "//kovirw.ini");

    // A start-up directory too deep for "kovirw.ini": defaults, and nothing is written.
    std::snprintf(g_szStartDir, sizeof g_szStartDir, "%s", dir.c_str());
    CONFIG_Load(nullptr);
    EXPECT_EQ(g_nAutoDetect, 1);
    EXPECT_STREQ(g_szProfilePath, "");
    CONFIG_Save();
    EXPECT_TRUE(m_dir.Names().empty());
}

}  // namespace
