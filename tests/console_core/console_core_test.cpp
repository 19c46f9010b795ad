// The rules of the main window, tested once for both windows through the console core over
// a window of plain values: start-up, engine events on bars and log, the Download checks,
// the image panel with Load and Save As, port assignment, and a run's locks and stops.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "config/settings.h"
#include "console/core/operator_text.h"
#include "engine/download.h"
#include "fake_view.h"

namespace {

const std::string kLogStart = "Initialize.. ok!\r\n";

// An MSM Code image of `size` bytes whose trailer words are `words` (when it has room).
std::string CodeImage(size_t size, const uint32_t (&words)[4]) {
    std::string image(size, '\x5A');
    for (int w = 0; w < 4 && size >= 68; ++w) {
        for (int b = 0; b < 4; ++b) {
            image[size - 68 + 4 * w + b] = static_cast<char>(words[w] >> (8 * b));
        }
    }
    return image;
}

ImageEntry Entry(int channel, int slot, int done, int total, const char* text = "") {
    ImageEntry entry{};
    entry.channel = channel;
    entry.slot = slot;
    entry.doneBytes = done;
    entry.totalBytes = total;
    std::strcpy(entry.path, text);
    return entry;
}

// The port each channel holds.
std::vector<int> Held(const ConsoleCore& core) {
    std::vector<int> ports;
    for (int c = 0; c < kConsoleChannels; ++c) ports.push_back(core.ChannelPort(c));
    return ports;
}
using Ports = std::vector<int>;

void ExpectBar(const FakeControl& bar, const std::string& text, int upper, int position) {
    EXPECT_EQ(bar.text, text);
    EXPECT_EQ(bar.lower, 0);
    EXPECT_EQ(bar.upper, upper);
    EXPECT_EQ(bar.position, position);
}

TEST(ConsoleCore, StartsInItsStartingState) {
    CoreSandbox box;
    ConsoleCore& core = box.Start();
    EXPECT_EQ(core.LogText(), kLogStart);
    EXPECT_TRUE(box.view[IDC_AUTO].checked);
    EXPECT_FALSE(box.view[IDC_DOWNLOAD].enabled);
    for (int c = 0; c < kConsoleChannels; ++c) {
        const FakeControl& list = box.view[kPortListId[c]];
        ASSERT_EQ(list.entries.size(), 31u);
        EXPECT_EQ(list.entries[0], "-----------");
        EXPECT_EQ(list.entries[30], "COM30");
        EXPECT_EQ(list.selection, 0);
    }
    // No profile yet: the default one, with MSM Code selected.
    EXPECT_EQ(box.view[IDC_PROFILE_PATH].text, box.Path("default.kvr"));
    EXPECT_TRUE(box.view[IDC_CHECK_0].checked);
    for (const int* ids : {kCheckId, kAddressId, kBrowseId, kImageBarId}) {
        for (int s = 0; s < kConsoleSlots; ++s) EXPECT_EQ(box.view[ids[s]].hidden, s == 8) << s;
    }
}

TEST(ConsoleCore, EngineEventsShowOnTheChannelsBarAndInTheLog) {
    CoreSandbox box;
    box.Write("default.kvr", "[KOVIR]\nASIC_IMAGECHECK=1\nASIC_IMAGEFILE=/img/dmb.sdl\n");
    ConsoleCore& core = box.Start();
    struct Case {
        ImageEntry entry;
        const char* text;
        int upper, position;
    } cases[] = {
        {Entry(2, 1, 16384, 40000), "Font: 40% [16384/40000]", 40000, 16384},
        // No overflow in the percentage.
        {Entry(5, 8, 2147483646, 2147483647), "Asic DMB: 99% [2147483646/2147483647]", 2147483647,
         2147483646},
        {Entry(7, 1, 0, 0), "Done", 100, 100},  // an empty image: no division by zero
    };
    for (Case& c : cases) {
        EXPECT_EQ(core.OnEngineEvent(EV_PROGRESS, &c.entry), 0);
        ExpectBar(box.view[kChannelBarId[c.entry.channel]], c.text, c.upper, c.position);
    }
    // Events that show nothing: no such channel, no record, a failed image, unknown codes.
    ImageEntry stray = Entry(8, 1, 1, 2);
    ImageEntry failed = Entry(1, 1, 1, 2, "/img/font.fnt");
    core.OnEngineEvent(EV_PROGRESS, &stray);
    core.OnEngineEvent(EV_PROGRESS, nullptr);
    core.OnEngineEvent(EV_IMAGE_FAILED, &failed);
    core.OnEngineEvent(0, &failed);
    core.OnEngineEvent(99, &failed);
    const int32_t noChannel = -1;
    core.OnEngineEvent(EV_CHANNEL_DONE, &noChannel);
    EXPECT_EQ(core.LogText(), kLogStart);
    EXPECT_EQ(box.view[IDC_CHANNEL_BAR_1].text, "");

    // Status texts show on their channel's bar; channel 0's are logged, the summary framed
    // where its record says its time begins (a text is only words: it frames nothing).
    auto text = [&core](int channel, const char* words, int fact = FACT_STATUS, int at = 0) {
        ChannelTextRecord record{Entry(channel, 0, 0, 0, words), fact, at};
        core.OnEngineEvent(EV_CHANNEL_TEXT, &record);
    };
    text(3, "Download Start", FACT_STARTED);
    ExpectBar(box.view[IDC_CHANNEL_BAR_3], "Download Start", 100, 0);
    text(3, "X");  // only an empty text is no text
    EXPECT_EQ(box.view[IDC_CHANNEL_BAR_3].text, "X");
    EXPECT_EQ(core.LogText(), kLogStart);

    text(0, "Download Start", FACT_STARTED);
    text(0, "");
    EXPECT_EQ(box.view[IDC_CHANNEL_BAR_0].text, "Download Start");
    text(0, "2개 파일, 소요시간 : 1분 3초", FACT_SUMMARY, 13);
    EXPECT_EQ(box.view[IDC_CHANNEL_BAR_0].text, "2개 파일, 소요시간 : 1분 3초");
    text(0, "소요 in a path");
    core.OnEngineEvent(EV_TEXT, "SERIAL_DEVICE_Open(COM7) Failed!");
    const std::string log = kLogStart +
                            "Download Start\r\n"
                            ">>>>>>>>>>  총 2개 파일, 전체 소요시간 : 1분 3초  <<<<<<<<<<\r\n"
                            "소요 in a path\r\nSERIAL_DEVICE_Open(COM7) Failed!\r\n";
    EXPECT_EQ(core.LogText(), log);
    EXPECT_EQ(box.view.shownLog, log);
    core.ResetConsole();
    EXPECT_EQ(box.view.shownLog, kLogStart);

    // The DMB row follows the profile though hidden; with it checked a channel's end says
    // the terminal still writes DMB.
    EXPECT_TRUE(box.view[IDC_CHECK_8].checked);
    EXPECT_EQ(box.view[IDC_IMAGE_BAR_8].text, "/img/dmb.sdl");
    const int32_t channel = 4;
    core.OnEngineEvent(EV_CHANNEL_DONE, &channel);
    const std::string dmbLog = kLogStart +
                               "4번 채널 DMB 이미지 Writing 중입니다.\r\n"
                               "반드시 단말기가 리셋될 때까지 기다려 주십시오(약20초후)\r\n";
    EXPECT_EQ(core.LogText(), dmbLog);
    ExpectBar(box.view[IDC_CHANNEL_BAR_4], "DMB Writing...", 100, 0);
    box.view[IDC_CHECK_8].checked = false;
    const int32_t first = 0;
    core.OnEngineEvent(EV_CHANNEL_DONE, &first);
    EXPECT_EQ(core.LogText(), dmbLog + "0번 채널 다운로드 완료\r\n");
    EXPECT_EQ(box.view[IDC_CHANNEL_BAR_0].text, "");
}

TEST(ConsoleCore, DownloadChecksTheSelectionInSlotOrder) {
    CoreSandbox box;
    box.Write("default.kvr",
              "[KOVIR]\nCODECHECK=1\nCODEFILE=/img/code.bin\n"
              "FONTCHECK=1\nFONTFILE=font.fnt\nFONTADDRESS=\n"
              "DATACHECK=1\nDATAFILE=/img/data.dat\nDATAADDRESS=xyz\n"
              "PRELOADCHECK=1\nPRELOADFILE=/img/p.pld\nPRELOADADDRESS=123456789\n");
    ConsoleCore& core = box.Start();
    box.Write("font.fnt", "F");
    struct Step {
        int slot;
        const char* address;  // typed into the slot's field before the press
        const char* message;
    } steps[] = {
        {1, "", "Invalid Font Image/Address !"},
        // An address without a hex digit would flash to no defined address.
        {1, "1A00000", "Invalid Data Image/Address !"},
        // Nine digits do not fit the 32-bit flash address; "  0x" reads as 0 ("%X").
        {2, "  0x", "Invalid Preload Image/Address !"},
        {3, "-5", "Invalid Preload Image/Address !"},
    };
    for (const Step& step : steps) {
        box.view[kAddressId[step.slot]].text = step.address;
        core.OnDownload();
        EXPECT_EQ(box.view.boxes.back(), std::string("notice: ") + step.message);
    }
    box.view[IDC_ADDRESS_3].text = "0";
    box.view[IDC_ADDRESS_1].text = "FFFFFFFF";
    core.OnDownload();
    EXPECT_EQ(box.view.boxes.back().rfind("notice: Invalid Font Image/Address !\nfont.fnt: 1 "
                                          "bytes from address FFFFFFFF run past the top",
                                          0),
              0u);
    for (int s = 0; s < kConsoleSlots; ++s) {
        if (box.view[kCheckId[s]].checked) box.Click(kCheckId[s]);
    }
    core.OnDownload();
    EXPECT_EQ(box.view.boxes.back(), "notice: Select Image !");
    EXPECT_EQ(box.view.boxes.size(), 6u);
    EXPECT_EQ(core.RunStops(), 0);
}

// Both windows refuse a line rate the settings reader would have made another number of,
// quoting it as the operator wrote it.
TEST(ConsoleCore, DownloadRefusesALineRateAsWritten) {
    CoreSandbox box;
    box.Write("kovirw.ini", "[KOVIR]\nAUTODETECT=0\nBAUDRATE=0x1C200\n");
    box.Write("default.kvr",
              "[KOVIR]\nCODECHECK=0\nFONTCHECK=1\nFONTFILE=font.fnt\nFONTADDRESS=1A00000\n");
    ConsoleCore& core = box.Start();
    box.Write("font.fnt", "F");
    core.OnDownload();
    EXPECT_EQ(box.view.boxes.back(), "notice: BAUDRATE=0x1C200 in kovirw.ini is not a line rate");
    EXPECT_EQ(core.RunStops(), 0);
}

// With no channel port the run starts and ends at once; the addresses typed are those of
// the profile from then on, and the rows are open again as their boxes say.
TEST(ConsoleCore, RunWithoutPortsEndsAtOnce) {
    CoreSandbox box;
    box.Write("default.kvr", "[KOVIR]\nCODECHECK=0\nFONTCHECK=1\nFONTFILE=/img/font.fnt\n");
    ConsoleCore& core = box.Start();
    box.view[IDC_ADDRESS_1].text = "1a0000";
    bool lockedDuringRun = false;
    box.view.duringRun = [&] {
        lockedDuringRun = !box.view[IDC_LOAD].enabled && !box.view[IDC_SAVE_AS].enabled &&
                          !box.view[IDC_DOWNLOAD].enabled && box.view[IDC_AUTO].enabled &&
                          core.Running();
        for (int s = 0; s < kConsoleSlots; ++s) {  // every row, checked (Font) or not
            for (const int* row : {kCheckId, kBrowseId, kAddressId})
                lockedDuringRun = lockedDuringRun && !box.view[row[s]].enabled;
        }
        lockedDuringRun = lockedDuringRun && !box.view[IDC_CHANGE_BOOT].enabled;
    };
    box.view[IDC_CHANGE_BOOT].enabled = true;  // the run locks it whatever it showed
    core.OnDownload();
    EXPECT_TRUE(lockedDuringRun);
    EXPECT_EQ(core.RunStops(), 1);
    EXPECT_TRUE(box.view[IDC_DOWNLOAD].enabled);
    EXPECT_STREQ(g_Profile.slot[1].address, "1a0000");
    EXPECT_EQ(g_ImageTable[7][1].address, 0x1A0000u);
    EXPECT_EQ(g_ImageTable[7][0].slot, -1);
    EXPECT_TRUE(box.view[IDC_ADDRESS_1].enabled);
    EXPECT_TRUE(box.view[IDC_LOAD].enabled);
    EXPECT_FALSE(box.view[IDC_ADDRESS_0].enabled);
    EXPECT_FALSE(box.view[IDC_CHANGE_BOOT].enabled);
}

// Closing during a run stops it once; a removal during a run stops the channel that runs
// on the port, even when its list has changed since the run began.
TEST(ConsoleCore, CloseAndRemovalDuringARun) {
    CoreSandbox box;
    box.Write("default.kvr", "[KOVIR]\nCODECHECK=0\nFONTCHECK=1\nFONTFILE=/img/font.fnt\n");
    box.Write("kovirw.ini", "[KOVIR]\nAUTODETECT=0\nCH1_PORT=907\nCH2_PORT=909\n");
    ConsoleCore& core = box.Start();
    box.view[IDC_ADDRESS_1].text = "1000";
    box.view.duringRun = [&] {
        box.Choose(1, 0);  // list changes reach the table, not the running engine
        core.OnDeviceChange(ConsoleCore::PortEvent::kRemoval, "COM907");
        EXPECT_EQ(g_bChannelActive[1].load(), 0);
        core.OnDeviceChange(ConsoleCore::PortEvent::kArrival, "COM5");  // ignored in a run
        box.Click(IDC_AUTO);  // the box changes, the setting waits for the end of the run
        EXPECT_EQ(g_nAutoDetect, 0);
        core.OnDownload();  // nested: refused (a second run would stop once more)
        core.Cancel();
        EXPECT_FALSE(core.Running());
    };
    core.OnDownload();
    EXPECT_EQ(core.RunStops(), 1);
    EXPECT_NE(core.LogText().find("Disconnect COM907 Port\r\n"), std::string::npos);
    EXPECT_EQ(core.LogText().find("Detect COM5"), std::string::npos);
}

TEST(ConsoleCore, CodeTrailerSetsTheMsmAddresses) {
    CoreSandbox box;
    box.Write("code.bin", CodeImage(4096, {0x00000000, 0x01A00000, 0xFFFFFFFF, 0x00C80000}));
    ConsoleCore& core = box.Start();
    box.view[IDC_ADDRESS_2].text = "ABC";
    box.view.fileAnswers = {box.Path("code.bin")};
    core.OnBrowseImage(0);
    EXPECT_EQ(box.view[IDC_ADDRESS_1].text, "1a00000");
    EXPECT_EQ(box.view[IDC_ADDRESS_2].text, "ABC");
    EXPECT_EQ(box.view[IDC_ADDRESS_3].text, "c80000");
    EXPECT_EQ(g_Profile.slot[0].file, box.Path("code.bin"));
    EXPECT_EQ(box.view[IDC_IMAGE_BAR_0].text, box.Path("code.bin"));
    EXPECT_EQ(g_Profile.slot[1].address[0], '\0');  // taken into the profile only on store

    // Cancelling reads the trailer of the Code file already chosen once more.
    box.Write("code.bin", CodeImage(100, {0, 0x10, 0x20, 0x30}));
    core.OnBrowseImage(0);
    EXPECT_EQ(box.view[IDC_ADDRESS_1].text, "10");
    EXPECT_EQ(box.view[IDC_ADDRESS_2].text, "20");
    EXPECT_EQ(box.view[IDC_ADDRESS_3].text, "30");
    EXPECT_EQ(g_Profile.slot[0].file, box.Path("code.bin"));

    // Unreadable images change no address silently; one too short for a trailer is an error.
    box.Write("short.bin", CodeImage(67, {0, 1, 2, 3}));
    std::filesystem::create_directory(box.Path("folder.bin"));
    box.view.fileAnswers = {box.Path("missing.bin"), box.Path("folder.bin")};
    core.OnBrowseImage(0);
    core.OnBrowseImage(0);
    EXPECT_TRUE(box.view.boxes.empty());
    box.view.fileAnswers = {box.Path("short.bin")};
    core.OnBrowseImage(0);
    EXPECT_EQ(box.view.boxes, std::vector<std::string>{"error: 이름 없는 파일에서 탐색 실패"});
    EXPECT_EQ(g_Profile.slot[0].file, box.Path("short.bin"));
    EXPECT_EQ(box.view[IDC_ADDRESS_1].text, "10");
    box.Write("c", CodeImage(100, {0, 0x11, 0x21, 0x31}));  // one letter, beside the program
    box.view.fileAnswers = {"c"};
    core.OnBrowseImage(0);
    EXPECT_EQ(box.view[IDC_ADDRESS_1].text, "11");
}

TEST(ConsoleCore, ChangeBootAreaAsksAndFollowsTheCodeBox) {
    CoreSandbox box;
    box.Start();
    box.view.yesAnswers = {false};
    box.Click(IDC_CHANGE_BOOT);
    EXPECT_EQ(box.view.boxes, std::vector<std::string>{"ask: Change?"});
    EXPECT_FALSE(box.view[IDC_CHANGE_BOOT].checked);
    EXPECT_EQ(box.view[IDC_ADDRESS_0].text, "18000");
    EXPECT_EQ(g_Profile.changeBootArea, 0);

    box.view.yesAnswers = {true};
    box.Click(IDC_CHANGE_BOOT);
    EXPECT_TRUE(box.view[IDC_CHANGE_BOOT].checked);
    EXPECT_EQ(box.view[IDC_ADDRESS_0].text, "0");
    EXPECT_EQ(g_Profile.changeBootArea, 1);
    EXPECT_STREQ(g_Profile.slot[0].address, "0");

    // Any click on the Code box brings the normal start back; unchecked, the Change Boot
    // Area box and the Code address are disabled while the browse button stays usable.
    box.Click(IDC_CHECK_0);
    EXPECT_FALSE(box.view[IDC_CHANGE_BOOT].checked);
    EXPECT_EQ(box.view[IDC_ADDRESS_0].text, "18000");
    EXPECT_EQ(g_Profile.changeBootArea, 0);
    EXPECT_EQ(g_Profile.slot[0].check, 0);
    EXPECT_FALSE(box.view[IDC_CHANGE_BOOT].enabled);
    EXPECT_FALSE(box.view[IDC_ADDRESS_0].enabled);
    EXPECT_TRUE(box.view[IDC_BROWSE_0].enabled);
    EXPECT_EQ(box.view.boxes.size(), 2u);  // clearing the box asks nothing

    box.Click(IDC_CHECK_5);
    EXPECT_EQ(g_Profile.slot[5].check, 1);
    EXPECT_TRUE(box.view[IDC_ADDRESS_5].enabled);
    EXPECT_TRUE(box.view[IDC_IMAGE_BAR_5].enabled);
}

// The first checked slot without a file or an address stops Save As with its message;
// nothing is asked or written then. The new name goes into the settings at once, so the
// next start loads it.
TEST(ConsoleCore, SaveAsValidatesThenTheNextStartLoadsTheNewProfile) {
    CoreSandbox box;
    ConsoleCore& core = box.Start();
    box.Click(IDC_CHECK_0);  // Code off: it has no file
    box.Click(IDC_CHECK_2);
    box.Click(IDC_CHECK_3);
    std::strcpy(g_Profile.slot[2].file, "/img/data.dat");
    core.OnSaveProfileAs();
    EXPECT_EQ(box.view.boxes, std::vector<std::string>{"notice: Invalid Data Image/Address !"});
    box.view[IDC_ADDRESS_2].text = "2B00000";
    core.OnSaveProfileAs();
    EXPECT_EQ(box.view.boxes.back(), "notice: Invalid Preload Image/Address !");

    box.Click(IDC_CHECK_3);  // Preload off: on to the dialog, cancelled
    core.OnSaveProfileAs();
    EXPECT_EQ(box.view.fileDialogs, 1);
    EXPECT_EQ(box.Read("kovirw.ini"), "");

    const std::string saved = box.Path("line2.kvr");
    box.view.fileAnswers = {saved};
    core.OnSaveProfileAs();
    EXPECT_EQ(box.view[IDC_PROFILE_PATH].text, saved);
    EXPECT_NE(box.Read("kovirw.ini").find("KOVIRFILE=" + saved), std::string::npos);
    EXPECT_NE(box.Read("line2.kvr").find("DATAADDRESS=2B00000"), std::string::npos);

    box.Start();
    EXPECT_EQ(box.view[IDC_PROFILE_PATH].text, saved);
    EXPECT_TRUE(box.view[IDC_CHECK_2].checked);
    EXPECT_EQ(box.view[IDC_ADDRESS_2].text, "2B00000");
}

// Loading brings the profile's choices, the fixed ASIC addresses, Change Boot Area off and
// the saved settings back, and restarts the console; a cancelled Load changes nothing, nor
// does a path that the profile cannot hold whole (refused rather than cut).
TEST(ConsoleCore, LoadResetsToTheFiles) {
    CoreSandbox box;
    box.Write("kovirw.ini", "[KOVIR]\nAUTODETECT=0\nCH0_PORT=3\n");
    box.Write("other.kvr", "[KOVIR]\nCODECHECK=1\nASIC_BOOTCHECK=1\nASIC_BOOTADDRESS=1000\n");
    ConsoleCore& core = box.Start();
    box.view.yesAnswers = {true};
    box.Click(IDC_CHANGE_BOOT);
    box.view[IDC_ADDRESS_4].text = "5555";
    core.LogAppend("Detect COM7 Port");
    g_nAutoDetect = 1;  // the Auto box switched on and not yet saved

    box.view.fileAnswers = {box.Path("other.kvr")};
    core.OnLoadProfile();
    EXPECT_EQ(g_szProfilePath, box.Path("other.kvr"));
    EXPECT_FALSE(box.view[IDC_CHANGE_BOOT].checked);
    EXPECT_EQ(box.view[IDC_ADDRESS_0].text, "18000");
    EXPECT_EQ(box.view[IDC_ADDRESS_4].text, "0xF000100");
    EXPECT_TRUE(box.view[IDC_CHECK_4].checked);
    EXPECT_EQ(core.LogText(), kLogStart);
    EXPECT_FALSE(box.view[IDC_AUTO].checked);
    EXPECT_EQ(core.ChannelPort(0), 3);

    core.OnLoadProfile();
    box.view.fileAnswers = {"/" + std::string(CONFIG_MAX_PATH, 'x')};
    core.OnLoadProfile();
    ASSERT_EQ(box.view.boxes.size(), 2u);  // after "ask: Change?"
    EXPECT_EQ(box.view.boxes[1].rfind("notice: Path too long !\n/xxx", 0), 0u);
    EXPECT_EQ(g_szProfilePath, box.Path("other.kvr"));

    // The profile's own warning of a value too long for its field reaches the operator.
    box.Write("long.kvr", "[KOVIR]\nCODEFILE=/" + std::string(CONFIG_MAX_PATH, 'c') + "\n");
    box.view.fileAnswers = {box.Path("long.kvr")};
    core.OnLoadProfile();
    EXPECT_EQ(box.view.boxes.at(2).rfind("notice: " + box.Path("long.kvr") + ": the value of", 0),
              0u);
}

// A removal frees its channel (list open, bar blank); an arrival takes the lowest free one.
TEST(ConsoleCore, ArrivalsFillTheLowestFreeChannel) {
    CoreSandbox box;
    ConsoleCore& core = box.Start();
    const auto arrive = [&](int com) {
        core.OnDeviceChange(ConsoleCore::PortEvent::kArrival, "COM" + std::to_string(com));
    };
    arrive(3);
    arrive(5);
    core.OnDeviceChange(ConsoleCore::PortEvent::kRemoval, "COM3");
    EXPECT_EQ(box.view[IDC_PORT_0].selection, 0);
    EXPECT_TRUE(box.view[IDC_PORT_0].enabled);
    EXPECT_EQ(box.view[IDC_CHANNEL_BAR_0].text, "");
    core.OnDeviceChange(ConsoleCore::PortEvent::kRemoval, "COM9");  // held by none: the line
    arrive(7);  // channel 0 is free again, and is the lowest
    EXPECT_EQ(Held(core), (Ports{7, 5, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(box.view[IDC_PORT_0].selection, 7);
    EXPECT_FALSE(box.view[IDC_PORT_0].enabled);
    EXPECT_EQ(box.view[IDC_CHANNEL_BAR_0].text, "Ready...");
    EXPECT_EQ(core.LogText(), kLogStart +
                                  "Detect COM3 Port\r\nDetect COM5 Port\r\nDisconnect COM3 Port\r\n"
                                  "Disconnect COM9 Port\r\nDetect COM7 Port\r\n");
    EXPECT_TRUE(box.view[IDC_DOWNLOAD].enabled);

    // A port that arrives again stays where it is and is refreshed there.
    box.view[IDC_CHANNEL_BAR_1].text = "3개 파일, 소요시간 : 0분 3초";
    box.view[IDC_PORT_1].enabled = true;
    arrive(5);
    EXPECT_EQ(Held(core), (Ports{7, 5, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(box.view[IDC_CHANNEL_BAR_1].text, "Ready...");
    EXPECT_FALSE(box.view[IDC_PORT_1].enabled);

    // COM31 has no entry in the lists: held all the same, shown as no selection.
    arrive(31);
    EXPECT_EQ(box.view[IDC_PORT_2].selection, -1);
    for (int com = 40; com < 45; ++com) arrive(com);
    const std::string log = core.LogText();
    arrive(50);  // every channel holds a port: nothing happens, nothing is logged
    EXPECT_EQ(core.LogText(), log);
    EXPECT_EQ(Held(core), (Ports{7, 5, 31, 40, 41, 42, 43, 44}));
}

// Without Auto the saved ports are held (COM31 too, though no list shows it), arrivals are
// ignored, and the operator's choices refuse a port in use; with Auto only names COM<n>
// count.
TEST(ConsoleCore, SavedAndChosenPortsAndOnlyComNumbersCount) {
    CoreSandbox box;
    box.Write("kovirw.ini",
              "[KOVIR]\nAUTODETECT=0\nCH0_PORT=3\nCH1_PORT=31\nCH2_PORT=4294967295\n");
    ConsoleCore& core = box.Start();
    EXPECT_FALSE(box.view[IDC_AUTO].checked);
    EXPECT_TRUE(box.view[IDC_DOWNLOAD].enabled);
    EXPECT_EQ(Held(core), (Ports{3, 31, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(box.view[IDC_PORT_0].selection, 3);
    core.StoreSettings();
    EXPECT_NE(box.Read("kovirw.ini").find("CH1_PORT=31"), std::string::npos);
    core.OnDeviceChange(ConsoleCore::PortEvent::kArrival, "COM5");
    EXPECT_EQ(core.LogText(), kLogStart);

    box.Choose(6, 5);
    EXPECT_EQ(core.ChannelPort(6), 5);
    box.view[IDC_CHANNEL_BAR_6].text = "Ready...";
    box.Choose(6, 3);  // channel 0 holds COM3
    EXPECT_EQ(box.view[IDC_PORT_6].selection, 0);
    EXPECT_EQ(box.view[IDC_CHANNEL_BAR_6].text, "");
    EXPECT_EQ(Held(core), (Ports{3, 31, 0, 0, 0, 0, 0, 0}));
    // Choosing the entry already shown is no change; the blank entry frees the channel.
    box.Choose(0, 3);
    EXPECT_EQ(core.ChannelPort(0), 3);
    box.Choose(0, 0);
    box.Choose(1, 0);
    EXPECT_FALSE(box.view[IDC_DOWNLOAD].enabled);
    box.Choose(3, 12);
    EXPECT_EQ(Held(core), (Ports{0, 0, 0, 12, 0, 0, 0, 0}));
    EXPECT_TRUE(box.view[IDC_DOWNLOAD].enabled);
    core.StoreSettings();
    EXPECT_EQ(std::vector<int>(g_nSavedPort, g_nSavedPort + kConsoleChannels), Held(core));

    box.Click(IDC_AUTO);
    for (const char* name : {"LPT1", "COM", "COM0", "COMX", "com3", "COM3 ", "COM+3", "COM-3",
                             "COM03", "COM1000001", "COM99999999999"}) {
        core.OnDeviceChange(ConsoleCore::PortEvent::kArrival, name);
        core.OnDeviceChange(ConsoleCore::PortEvent::kRemoval, name);
    }
    EXPECT_EQ(core.LogText(), kLogStart);
    EXPECT_EQ(Held(core), Ports(8, 0));
}

// Auto off gives the saved ports. Auto on, at start-up, by a click or by a Load, gives no
// channel a port until one arrives: ports that are merely there (a PC's own COM1) are left
// alone. A Load that leaves Auto on keeps each channel's automatic port without announcing it
// again.
TEST(ConsoleCore, AutoTakesArrivalsOnly) {
    CoreSandbox box;
    box.Write("kovirw.ini", "[KOVIR]\nAUTODETECT=1\nCH0_PORT=3\nCH5_PORT=8\n");
    ConsoleCore& core = box.Start();
    EXPECT_EQ(Held(core), Ports(8, 0));
    EXPECT_FALSE(box.view[IDC_DOWNLOAD].enabled);
    core.OnDeviceChange(ConsoleCore::PortEvent::kArrival, "COM9");
    EXPECT_EQ(Held(core), (Ports{9, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(box.view[IDC_DOWNLOAD].enabled);

    box.Click(IDC_AUTO);  // off: the saved ports, every list open
    EXPECT_EQ(g_nAutoDetect, 0);
    EXPECT_EQ(Held(core), (Ports{3, 0, 0, 0, 0, 8, 0, 0}));
    EXPECT_EQ(box.view[IDC_PORT_5].selection, 8);
    EXPECT_TRUE(box.view[IDC_PORT_0].enabled);
    EXPECT_TRUE(box.view[IDC_DOWNLOAD].enabled);

    box.Click(IDC_AUTO);  // on: every channel free until a port arrives
    EXPECT_EQ(g_nAutoDetect, 1);
    EXPECT_EQ(Held(core), Ports(8, 0));
    EXPECT_EQ(box.view[IDC_PORT_5].selection, 0);
    EXPECT_FALSE(box.view[IDC_DOWNLOAD].enabled);
    core.OnDeviceChange(ConsoleCore::PortEvent::kArrival, "COM4");

    box.view.fileAnswers = {box.Path("other.kvr")};
    core.OnLoadProfile();
    EXPECT_EQ(Held(core), (Ports{4, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(box.view[IDC_PORT_0].enabled);
    EXPECT_EQ(core.LogText(), kLogStart);
}

// The hex fields' filter: digits in upper case up to 8 characters of the whole text,
// backspace always, nothing else (control characters of shortcuts included).
TEST(ConsoleCore, FieldCopyKeepsTheTerminatorsRoom) {
    char field[6];
    CONSOLE_CopyToField(field, sizeof field, "abcdefgh");
    EXPECT_STREQ(field, "abcde");
    CONSOLE_CopyToField(field, sizeof field, "ab");
    EXPECT_STREQ(field, "ab");
}

TEST(OperatorText, NoProgressLabelForASlotThatDoesNotExist) {
    EXPECT_STREQ(OPERATOR_ProgressLabel(-1), "");
    EXPECT_STREQ(OPERATOR_ProgressLabel(OPERATOR_SLOT_COUNT), "");
}

TEST(OperatorText, HexFieldCharacterFilter) {
    struct Case {
        char32_t typed;
        size_t length;
        char32_t kept;
    } cases[] = {{U'a', 0, U'A'}, {U'F', 7, U'F'},   {U'0', 3, U'0'}, {U'9', 8, 0},
                 {U'a', 9, 0},    {U'\b', 9, U'\b'}, {U'g', 0, 0},    {U' ', 0, 0},
                 {U'-', 0, 0},    {U'x', 1, 0},      {0x16, 0, 0},    {0x18, 0, 0},
                 {0x1A, 0, 0},    {U'\r', 0, 0},     {0xFF21, 0, 0}};  // fullwidth A
    for (const Case& c : cases) {
        EXPECT_EQ(OPERATOR_HexFieldChar(c.typed, c.length), c.kept)
            << static_cast<unsigned>(c.typed) << " at " << c.length;
    }
}

}  // namespace
