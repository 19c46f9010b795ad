#include "tools/cli/port_presence.h"

#include <algorithm>

std::vector<int> PortPresence::Take(const std::vector<PortEntry>& reading) {
    std::vector<int> gone;
    for (auto it = m_known.begin(); it != m_known.end();) {
        const auto seen = std::find_if(reading.begin(), reading.end(),
                                       [&](const PortEntry& e) { return e.com == it->first; });
        if (seen == reading.end() && it->second.missedOnce) {
            gone.push_back(it->first);
            it = m_known.erase(it);
            continue;
        }
        if (seen != reading.end() && seen->device != it->second.device) gone.push_back(it->first);
        it->second.missedOnce = seen == reading.end();
        ++it;
    }
    for (const PortEntry& e : reading) m_known[e.com] = Known{e.device, false};
    return gone;
}
