// What only Windows can get wrong: Korean file names through the wide functions, profile
// values in the ANSI code page, image files in binary mode with 64-bit sizes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "config/config_io.h"
#include "config/config_testing.h"
#include "config/private_profile.h"
#include "config/profile.h"
#include "core/utf16_win32.h"
#include "loader/image_file.h"

namespace {

// UTF-16 of a UTF-8 text, converted by the standard library rather than by the program.
std::wstring Wide(const std::string& utf8) { return std::filesystem::u8path(utf8).wstring(); }

// A new directory of the test's own in the temporary directory, removed at the end.
class WinFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t tmp[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, tmp), 0u);
        m_dir = UTF16_ToUtf8(tmp) + "kovirw-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount());
        ASSERT_TRUE(CreateDirectoryW(Wide(m_dir).c_str(), nullptr));  // never an old one
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(Wide(m_dir), ignored);
    }

    std::string Path(const std::string& name) const { return m_dir + "\\" + name; }

    // The names in the directory as the system lists them, converted from UTF-16.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Wide(m_dir)))
            names.push_back(UTF16_ToUtf8(entry.path().filename().wstring()));
        return names;
    }

    std::string Read(const std::string& name) const {
        std::string text;
        EXPECT_EQ(CONFIG_IO_ReadFile(Path(name).c_str(), &text), ConfigFileStatus::Ok) << name;
        return text;
    }

    std::string m_dir;
};

TEST_F(WinFiles, KoreanNamesReachTheSystemAsTheirCharacters) {
    const std::string ini = Path("설정.ini");
    ASSERT_TRUE(
        PrivateProfile_WriteString("KOVIR", "KOVIRFILE", Path("펌웨어.kvr").c_str(), ini.c_str()));
    EXPECT_EQ(Names(), std::vector<std::string>{"설정.ini"});
    EXPECT_EQ(Read("설정.ini"), "[KOVIR]\r\nKOVIRFILE=" + Path("펌웨어.kvr") + "\r\n");

    // A read-only file is left as it was, and no temporary file stays behind.
    ASSERT_TRUE(SetFileAttributesW(Wide(ini).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(PrivateProfile_WriteString("KOVIR", "DELAY", "5", ini.c_str()));
    EXPECT_EQ(Read("설정.ini"), "[KOVIR]\r\nKOVIRFILE=" + Path("펌웨어.kvr") + "\r\n");
    EXPECT_EQ(Names(), std::vector<std::string>{"설정.ini"});
    SetFileAttributesW(Wide(ini).c_str(), FILE_ATTRIBUTE_NORMAL);

    ASSERT_TRUE(CreateDirectoryW(Wide(Path("작업")).c_str(), nullptr));
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(Wide(Path("작업")));
    char dir[CONFIG_MAX_PATH + 1];
    EXPECT_TRUE(CONFIG_IO_CurrentDir(dir, sizeof dir));
    std::filesystem::current_path(previous);
    EXPECT_EQ(std::string(dir), Path("작업"));
}

TEST_F(WinFiles, AnsiProfileValuesAreReadInTheCodePageAndKeptUnlessChanged) {
    ASSERT_EQ(GetACP(), 949u) << "run with a Korean locale (LC_ALL=ko_KR.UTF-8 under wine)";
    auto ansi = [](const std::string& utf8) {
        std::wstring wide = Wide(utf8);
        char bytes[512];
        int n =
            WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, bytes, sizeof bytes, nullptr, nullptr);
        return std::string(bytes, n > 0 ? n - 1 : 0);
    };
    const std::string code = "C:\\펌웨어\\폰.bin", font = "C:\\펌웨어\\글꼴.fnt";
    ASSERT_NE(ansi(code), code);
    const std::string kvr = Path("기본.kvr");
    ASSERT_TRUE(CONFIG_IO_ReplaceFile(kvr.c_str(),
                                      "[KOVIR]\r\nCODECHECK=1\r\nCODEFILE=" + ansi(code) +
                                          "\r\nFONTCHECK=1\r\nFONTFILE=" + ansi(font) + "\r\n"));
    CONFIG_ResetForTest();
    std::strcpy(g_szProfilePath, kvr.c_str());
    PROFILE_Read();
    EXPECT_STREQ(g_Profile.slot[0].file, code.c_str());
    EXPECT_STREQ(g_Profile.slot[1].file, font.c_str());

    // Saved unchanged: the bytes stay, so the ANSI program that wrote them still reads them.
    PROFILE_Write();
    EXPECT_NE(Read("기본.kvr").find("CODEFILE=" + ansi(code) + "\r\n"), std::string::npos);
    EXPECT_NE(Read("기본.kvr").find("FONTFILE=" + ansi(font) + "\r\n"), std::string::npos);

    // A changed value is written in UTF-8; the other keeps its bytes.
    const std::string newFont = "C:\\새 폴더\\글꼴.fnt";
    std::strcpy(g_Profile.slot[1].file, newFont.c_str());
    PROFILE_Write();
    EXPECT_NE(Read("기본.kvr").find("CODEFILE=" + ansi(code) + "\r\n"), std::string::npos);
    EXPECT_NE(Read("기본.kvr").find("FONTFILE=" + newFont + "\r\n"), std::string::npos);
    PROFILE_Read();
    EXPECT_STREQ(g_Profile.slot[0].file, code.c_str());
    EXPECT_STREQ(g_Profile.slot[1].file, newFont.c_str());
    CONFIG_ResetForTest();
}

TEST_F(WinFiles, ImageFilesAreReadInBinaryWithSixtyFourBitSizes) {
    // 0x1A ends a text-mode read, CR LF becomes LF there.
    const std::string bytes("a\x1a\r\nb\n\0z", 8);
    ASSERT_TRUE(CONFIG_IO_ReplaceFile(Path("이미지.bin").c_str(), bytes));
    ImageFile file;
    int64_t size = 0;
    ASSERT_TRUE(IMAGE_FILE_Open(Path("이미지.bin").c_str(), &file, &size));
    uint8_t buffer[16384];
    EXPECT_EQ(size, 8);
    EXPECT_EQ(IMAGE_FILE_Read(&file, buffer, sizeof buffer), 8);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 8), bytes);
    IMAGE_FILE_Close(&file);

    // 4 GiB + 5000 bytes (sparse): a 32-bit size would read it as 5000 bytes.
    const int64_t big = (int64_t{1} << 32) + 5000;
    HANDLE h = CreateFileW(Wide(Path("big.bin")).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER at;
    at.QuadPart = big - 1;
    DWORD written = 0;
    const char last = 0x5A;
    EXPECT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN) &&
                WriteFile(h, &last, 1, &written, nullptr));
    CloseHandle(h);
    ASSERT_TRUE(IMAGE_FILE_Open(Path("big.bin").c_str(), &file, &size));
    EXPECT_EQ(size, big);
    EXPECT_TRUE(IMAGE_FILE_Seek(&file, big - 1));
    EXPECT_EQ(IMAGE_FILE_Read(&file, buffer, 2), 1);
    EXPECT_EQ(buffer[0], 0x5A);
    IMAGE_FILE_Close(&file);

    EXPECT_FALSE(IMAGE_FILE_Open(Path("missing.bin").c_str(), &file, &size));
    EXPECT_FALSE(IMAGE_FILE_Open(m_dir.c_str(), &file, &size));  // a directory
}

}  // namespace
