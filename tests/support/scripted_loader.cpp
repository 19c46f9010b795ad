#include "tests/support/scripted_loader.h"

#include <chrono>

ScriptedLoader::ScriptedLoader(int comPort, Policy policy)
    : m_peer(std::make_unique<PtyPeer>(comPort)), m_policy(std::move(policy)) {
    m_thread = std::thread([this] { Serve(); });
}

ScriptedLoader::~ScriptedLoader() {
    m_stop = true;
    m_thread.join();
}

void ScriptedLoader::Serve() {
    int index = 0;
    while (!m_stop) {
        for (auto& body : m_peer->ReadFrames(1, 20)) {
            LoaderAnswer answer = m_policy ? m_policy(body, index) : LoaderAnswer{};
            ++index;
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_bodies.push_back(body);
            }
            if (answer.send && body.size() >= 1)
                m_peer->Answer(body[0], answer.code, answer.reason);
        }
    }
}

std::vector<uint8_t> ScriptedLoader::Codes() const {
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<uint8_t> codes;
    for (const auto& b : m_bodies) codes.push_back(b.size() > 1 ? b[1] : 0);
    return codes;
}

std::vector<std::vector<uint8_t>> ScriptedLoader::Bodies() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bodies;
}

bool ScriptedLoader::WaitForFrames(size_t count, int timeoutMs) const {
    for (int waited = 0; waited < timeoutMs; waited += 5) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_bodies.size() >= count) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}
