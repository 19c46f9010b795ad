#include "console/core/run_check.h"

#include "config/profile.h"
#include "config/settings.h"
#include "console/core/console_core.h"
#include "engine/download.h"

namespace {

RunRefusal Refuse(const std::string& message, bool setting = false) {
    RunRefusal refusal;
    refusal.message = message;
    refusal.setting = setting;
    return refusal;
}

}  // namespace

RunRefusal CONSOLE_CheckRun(const SlotChoice choices[OPERATOR_SLOT_COUNT]) {
    DOWNLOAD_ClearImages();
    const int invalid = OPERATOR_CheckSelection(choices);
    if (invalid == OPERATOR_SLOT_COUNT) return Refuse(OPERATOR_SelectImage);
    for (int s = 0; s < OPERATOR_SLOT_COUNT; ++s) {
        if (!choices[s].checked) continue;
        // The engine refuses what it cannot flash (an address past 32 bits, a path too long
        // for its table) as the check refuses an incomplete slot: with the slot's message.
        if (s == invalid) return Refuse(OPERATOR_InvalidMessage(s));
        ProfileSlot& slot = g_Profile.slot[s];
        CONSOLE_CopyToField(slot.address, sizeof slot.address, choices[s].address);
        if (DOWNLOAD_SetImage(s, choices[s].file.c_str(), slot.address) < 0)
            return Refuse(OPERATOR_InvalidMessage(s));
    }
    // An image that cannot be flashed is found before any terminal is touched.
    std::string reason;
    const int unfit = DOWNLOAD_CheckImages(&reason);
    if (unfit >= 0) return Refuse(std::string(OPERATOR_InvalidMessage(unfit)) + "\n" + reason);
    const std::string baudProblem = OPERATOR_BaudProblem(g_nBaudRate, CONFIG_BaudRateText());
    if (!baudProblem.empty()) return Refuse(baudProblem, true);
    return RunRefusal{};
}
