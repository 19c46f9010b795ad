// Test support: a pseudo-terminal whose slave end is published as COM<n> in a temporary port
// directory, and whose master end plays the terminal: it reads the frames the engine sends
// and writes answers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "loader/frame_codec.h"
#include "tests/support/test_files.h"

// A temporary port directory, named in KOVIRW_PORT_DIR while the object lives.
class ScopedPortDir {
  public:
    ScopedPortDir();
    ~ScopedPortDir();
    const std::string& path() const { return m_scratch.Path(); }

  private:
    ScratchDir m_scratch;
    std::string m_previous;
    bool m_hadPrevious = false;
};

class PtyPeer {
  public:
    // Creates the pseudo-terminal and the entry COM<comPort> in the current port directory.
    explicit PtyPeer(int comPort);
    ~PtyPeer();

    const std::string& slavePath() const { return m_slavePath; }
    int master() const { return m_master; }

    // Writes raw bytes to the engine.
    void Write(const std::vector<uint8_t>& bytes);
    // Writes one answer frame: seq, code, byte2, reason, FCS.
    void Answer(uint8_t seq, uint8_t code, uint8_t reason = 0);

    // Reads what arrives within timeoutMs (returns as soon as some bytes came and the line
    // has been quiet for quietMs).
    std::vector<uint8_t> ReadSome(int timeoutMs, int quietMs = 20);

    // Reads until `count` complete frames arrived or timeoutMs passed; returns the bodies.
    std::vector<std::vector<uint8_t>> ReadFrames(size_t count, int timeoutMs);

    // Closes the master end (the cable is pulled) and removes the port entry.
    void Unplug();

  private:
    int m_master = -1;
    int m_slaveKeep = -1;
    std::string m_slavePath;
    std::string m_entry;
    Deframer m_deframer{};
    std::vector<std::vector<uint8_t>> m_pending;
};
