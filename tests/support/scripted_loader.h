// Test support: a minimal terminal on a PtyPeer that answers each received frame as a
// policy says, on its own thread. (The full terminal simulator lives in tools/termsim; this
// one lets a test decide answer by answer.)
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/pty_peer.h"

struct LoaderAnswer {
    bool send = true;
    uint8_t code = 0x02;  // ACK
    uint8_t reason = 0;
};

class ScriptedLoader {
  public:
    using Policy = std::function<LoaderAnswer(const std::vector<uint8_t>& body, int index)>;

    // Answers every frame with ACK unless the policy says otherwise.
    ScriptedLoader(int comPort, Policy policy = nullptr);
    ~ScriptedLoader();

    // Waits until `count` frames have arrived (or timeoutMs passed).
    bool WaitForFrames(size_t count, int timeoutMs = 3000) const;

    // Codes of the frames received so far, in order.
    std::vector<uint8_t> Codes() const;
    std::vector<std::vector<uint8_t>> Bodies() const;
    PtyPeer& peer() { return *m_peer; }

  private:
    void Serve();

    std::unique_ptr<PtyPeer> m_peer;
    Policy m_policy;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_lock;
    std::vector<std::vector<uint8_t>> m_bodies;
    std::thread m_thread;
};
