#include "tools/termsim/loader.h"

#include <cstdarg>
#include <cstdio>

namespace termsim {
namespace {

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

Loader::Loader(FaultPlan& faults, TerminalStats& stats, LoaderOutput& output)
    : m_faults(faults), m_stats(stats), m_output(output), m_stallLimit(faults.DrawStallLimit()) {}

void Loader::StartSession() {
    m_inSession = true;
    m_closed = false;
    m_sessionPackets = 0;
    m_sessionWrites = 0;
    m_sessionAnswers = 0;
    m_stallLimit = m_faults.DrawStallLimit();
    m_flash.Clear();
    m_log.packets.clear();
}

void Loader::OnFrame(const uint8_t* body, size_t n) {
    // Shorter bodies cannot hold a sequence byte and an FCS; the flasher ignores them too.
    if (n < 3) return;
    m_stats.Add(m_stats.packets);
    const bool fcsOk = Crc16X25(body + 1, n - 3) == (body[n - 2] | body[n - 1] << 8);
    // A 3-byte body has no code byte: its FCS covers nothing, and it is answered with code 0.
    const Packet p{body[0], n > 3, n > 3 ? body[1] : uint8_t{0}, body + 2, n > 3 ? n - 4 : 0};
    m_seq = p.seq;

    if (fcsOk && p.code == code::kUnlock) {
        if (m_faults.Faults().noUnlock) {
            m_stats.AddFault(FaultKind::kNoUnlock);
            return;
        }
        StartSession();
    }
    ++m_sessionPackets;
    if (m_inSession) {
        PacketRecord r;
        r.seq = p.seq;
        r.code = p.code;
        r.fcsOk = fcsOk;
        if ((p.code == code::kErase && p.payloadLength >= 8) ||
            (p.code == code::kWrite && p.payloadLength >= 6)) {
            r.hasRange = true;
            r.address = Le32(p.payload);
            r.length = p.code == code::kErase ? Le32(p.payload + 4) : Le16(p.payload + 4);
        }
        m_log.packets.push_back(r);
    }

    if (m_sessionPackets > m_stallLimit) {
        m_stats.AddFault(m_faults.StallKind());
        return;
    }
    if (!fcsOk) {
        m_stats.Add(m_stats.badFcs);
        Answer(p, code::kNak, kReasonResend, 0);
        return;
    }
    if (p.code == code::kWrite && ++m_sessionWrites == m_faults.Faults().nakWrite) {
        m_stats.AddFault(FaultKind::kNakWrite);
        Answer(p, code::kNak, static_cast<uint8_t>(m_faults.Faults().nakWriteReason), 0);
        return;
    }
    if (m_faults.RefusePacket()) {
        Answer(p, code::kNak, static_cast<uint8_t>(m_faults.Faults().nakReason), 0);
        return;
    }

    uint64_t holdMs = 0;
    Execute(p, &holdMs);
    Answer(p, code::kAck, 0, holdMs);
    if (p.code == code::kGo && m_inSession) {
        m_inSession = false;
        m_output.OnSessionComplete(m_flash, m_log);
        m_log.errors.clear();
        m_log.errorsNotKept = 0;
    }
}

void Loader::Execute(const Packet& p, uint64_t* holdMs) {
    if (!p.hasCode) {
        Error("packet without a code");
        return;
    }
    switch (p.code) {
        case code::kUnlock:
            if (p.payloadLength != 0)
                Error("UNLOCK with %zu payload bytes (none expected)", p.payloadLength);
            break;
        case code::kErase:
            DoErase(p);
            if (m_faults.Faults().slowEraseMs > 0) {
                *holdMs = m_faults.Faults().slowEraseMs;
                m_stats.AddFault(FaultKind::kSlowErase);
            }
            break;
        case code::kWrite:
            DoWrite(p);
            break;
        case code::kClose:
            // Outside a session CLOSE is harmless: the flasher sends one after a failed UNLOCK.
            if (p.payloadLength != 0)
                Error("CLOSE with %zu payload bytes (none expected)", p.payloadLength);
            if (m_inSession) m_closed = true;
            break;
        case code::kGo:
            if (p.payloadLength != 0)
                Error("GO with %zu payload bytes (none expected)", p.payloadLength);
            if (!m_inSession) {
                Error("GO outside a session (no UNLOCK before it)");
            } else if (!m_closed) {
                Error("GO before CLOSE");
            }
            break;
        default:
            Error("unknown code 0x%02X", p.code);
            break;
    }
}

bool Loader::CheckOpen(const char* what) {
    if (!m_inSession) {
        Error("%s outside a session (no UNLOCK before it)", what);
        return false;
    }
    if (m_closed) {
        Error("%s after CLOSE", what);
        return false;
    }
    return true;
}

void Loader::DoErase(const Packet& p) {
    if (p.payloadLength != 8) {
        Error("ERASE with %zu payload bytes (8 expected)", p.payloadLength);
        return;
    }
    const uint32_t address = Le32(p.payload);
    const uint32_t length = Le32(p.payload + 4);
    if (!CheckOpen("ERASE")) return;
    switch (m_flash.Erase(address, length)) {
        case FlashModel::EraseStatus::kOk:
            break;
        case FlashModel::EraseStatus::kWraps:
            Error("ERASE %08X+%u runs past the end of the address space; nothing erased", address,
                  length);
            break;
        case FlashModel::EraseStatus::kTooLong:
            Error("ERASE %08X+%u is longer than any flash part (%u bytes); nothing erased", address,
                  length, FlashModel::kMaxEraseLength);
            break;
    }
}

void Loader::DoWrite(const Packet& p) {
    if (p.payloadLength < 6) {
        Error("WRITE with %zu payload bytes (6 at least)", p.payloadLength);
        return;
    }
    const uint32_t address = Le32(p.payload);
    const uint32_t length = Le16(p.payload + 4);
    const size_t dataLength = p.payloadLength - 6;
    if (length != dataLength) {
        Error("WRITE %08X: length field %u but %zu data bytes; nothing written", address, length,
              dataLength);
        return;
    }
    if (length == 0 || length > kMaxWriteData) {
        Error("WRITE %08X: length %u outside 1 to %u; nothing written", address, length,
              kMaxWriteData);
        return;
    }
    if (!CheckOpen("WRITE")) return;
    const FlashModel::WriteStatus status = m_flash.Write(address, p.payload + 6, length);
    if (status.outside > 0) {
        Error("WRITE %08X+%u: %u bytes outside every erased range (first at %08X)", address, length,
              status.outside, status.firstOutside);
    }
    if (status.conflicts > 0) {
        Error("WRITE %08X+%u: %u bytes already programmed with other values (first at %08X)",
              address, length, status.conflicts, status.firstConflict);
    }
}

void Loader::Answer(const Packet& p, uint8_t answerCode, uint8_t reason, uint64_t holdMs) {
    uint8_t a[kAnswerBody] = {p.seq, answerCode, p.code, reason, 0, 0};
    uint16_t fcs = Crc16X25(a + 1, 3);
    if (++m_sessionAnswers == m_faults.Faults().badFcs) {
        fcs ^= 0xFFFF;
        m_stats.AddFault(FaultKind::kBadFcs);
    }
    a[4] = static_cast<uint8_t>(fcs & 0xFF);
    a[5] = static_cast<uint8_t>(fcs >> 8);
    m_output.SendAnswer(a, sizeof a, holdMs);
}

void Loader::Error(const char* format, ...) {
    m_stats.Add(m_stats.protocolErrors);
    if (m_log.errors.size() >= kMaxErrorLines) {
        ++m_log.errorsNotKept;
        return;
    }
    char text[256];
    int used = std::snprintf(text, sizeof text, "packet %llu (seq %u): ",
                             static_cast<unsigned long long>(m_sessionPackets), unsigned{m_seq});
    va_list args;
    va_start(args, format);
    std::vsnprintf(text + used, sizeof text - used, format, args);
    va_end(args);
    m_log.errors.emplace_back(text);
}

}  // namespace termsim
