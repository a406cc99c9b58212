// midibytes: the MIDI byte rules shared by every MIDI module.
//
// MIDI bytes travel as floats, one per byte, in wire order. This header holds,
// once, what the receivers, the senders and the held-note objects agree on:
// how a float becomes a byte value, the byte classes, channel numbering on
// both sides, the receiver state machine and the 8-bit key counts. Each module
// includes it and keeps only its own choices; no module links against another.
//
// Everything below except the setup macro and the outlet helpers is
// host-free, so that the rules can be tested without the host.
#pragma once

#include <cstdint>
#include <limits>

#include "m_pd.h"
#include "tessel/export.h"
#include "tessel/numeric.h"

// Setup entries are the only symbols a module exports.
#define MIDI_SETUP TESSEL_SETUP

namespace midi {

// --- bytes as floats ---------------------------------------------------------

// A float truncated toward zero to a 32-bit integer. A value that does not fit
// in 32 bits, and NaN, give the most negative 32-bit integer, which every
// class then treats as an out-of-range (negative) value: below the range the
// saturation gives it, NaN the conversion's own NaN result, above the range
// (and +inf) the test here.
constexpr std::int32_t to_int(double x) noexcept {
    constexpr std::int32_t bad = std::numeric_limits<std::int32_t>::min();
    if (x >= 2147483648.0)
        return bad;
    return tessel::trunc_sat<std::int32_t>(x, bad);
}

// Byte classes, by the integer value.
enum class Byte : std::uint8_t { below, data, status, common, realtime, above };

constexpr Byte classify(std::int32_t v) noexcept {
    if (v < 0)
        return Byte::below;
    if (v <= 127)
        return Byte::data;
    if (v <= 239)
        return Byte::status;
    if (v <= 247)
        return Byte::common;
    if (v <= 255)
        return Byte::realtime;
    return Byte::above;
}

// Message kinds, the high nibble of a channel status byte.
enum : std::uint8_t {
    note_off = 0x80,
    note_on = 0x90,
    polytouch = 0xA0,
    control = 0xB0,
    program = 0xC0,
    touch = 0xD0,
    bend = 0xE0,
};

// Program change and channel pressure carry one data byte, the others two.
constexpr bool one_data_byte(std::uint8_t kind) noexcept {
    return kind == program || kind == touch;
}

// A set of kinds, one bit per high nibble 8 to 14.
constexpr std::uint8_t kind_bit(std::uint8_t kind) noexcept {
    return static_cast<std::uint8_t>(1u << ((kind >> 4) & 7u));
}
constexpr std::uint8_t every_kind = 0x7F;

// --- channels ------------------------------------------------------------------

// Sender side: the channel nibble for a channel number c (already truncated),
// -1 for c <= 0. Channels wrap every 16: 17 is channel 1 again.
constexpr int send_nibble(std::int32_t c) noexcept {
    return c >= 1 ? static_cast<int>((c - 1) & 0x0F) : -1;
}

// Receiver side: the channel argument n (truncated) selects omni for 0, else
// the nibble n - 1 taken as 8 bits, so that anything outside 1..16 (modulo
// 256) matches no status byte. Computed unsigned: n may be the most negative
// integer.
struct Listen {
    bool omni;
    std::uint8_t nibble;
};

constexpr Listen listen_to(std::int32_t n) noexcept {
    return n == 0 ? Listen{true, 0}
                  : Listen{false, static_cast<std::uint8_t>(static_cast<std::uint32_t>(n) - 1u)};
}

// --- the receiver state machine ------------------------------------------------

// State of a receiver. `kind` is 0 when no status is held; `nibble` is the
// channel of the held status (the fixed channel of a one-channel receiver);
// `first` the stored first data byte of a two-data-byte message.
struct Receiver {
    std::uint8_t waiting;
    std::uint8_t kind;
    std::uint8_t nibble;
    std::uint8_t first;
    std::uint8_t kinds;  // kinds this receiver accepts (kind_bit)
    bool omni;
};

constexpr Receiver make_receiver(std::uint8_t kinds, Listen l) noexcept {
    return Receiver{0, 0, l.nibble, 0, kinds, l.omni};
}

// Forgets the held status and the half-received message.
constexpr void reset(Receiver &r) noexcept {
    r.kind = 0;
    r.waiting = 0;
}

// Runs one byte value through the machine. Returns true when the byte
// completed a message: its last data byte is `last`, and r.kind, r.nibble and
// (for two-data-byte kinds) r.first describe it. The state is already updated
// for the next byte (running status) when this returns, so the caller may
// send its outputs and be re-entered safely.
constexpr bool receive(Receiver &r, std::int32_t v, std::uint8_t &last) noexcept {
    switch (classify(v)) {
    case Byte::below:     // ignored
    case Byte::realtime:  // may stand anywhere, even inside a message
        return false;
    case Byte::above:
    case Byte::common:  // system exclusive and common: the body that follows is not ours
        reset(r);
        return false;
    case Byte::status: {
        std::uint8_t kind = static_cast<std::uint8_t>(v & 0xF0);
        std::uint8_t nibble = static_cast<std::uint8_t>(v & 0x0F);
        if ((r.kinds & kind_bit(kind)) && (r.omni || nibble == r.nibble)) {
            r.kind = kind;
            r.nibble = nibble;
            r.waiting = one_data_byte(kind);
        } else {
            reset(r);
        }
        return false;
    }
    default:  // Byte::data, the only class left
        break;
    }
    std::uint8_t d = static_cast<std::uint8_t>(v);
    if (r.waiting) {
        // one-data-byte kinds stay complete-on-next-byte under running status
        r.waiting = one_data_byte(r.kind);
        last = d;
        return true;
    }
    if (r.kind) {
        r.first = d;
        r.waiting = 1;
    }
    return false;
}

// --- held-note counts ------------------------------------------------------------

// One unsigned 8-bit count per key. A count saturates at 255 rather than
// wrapping to 0 (a wrap would forget 256 held notes) and never drops below 0.
template <int N>
struct Counts {
    std::uint8_t n[N];

    constexpr void raise(int key) noexcept {
        if (n[key] < 255)
            n[key]++;
    }
    constexpr void lower(int key) noexcept {
        if (n[key] > 0)
            n[key]--;
    }
    constexpr void clear() noexcept {
        for (int k = 0; k < N; k++)
            n[k] = 0;
    }
    // Visits every key in ascending order; while its count is above 0 the
    // count is lowered by one and release(key) called. The count falls before
    // the call, so a release that re-enters the object sees the table as it
    // stands. Afterwards every count is 0 (unless a release added to one
    // that was already passed).
    template <class F>
    constexpr void drain(F release) {
        for (int k = 0; k < N; k++) {
            while (n[k] > 0) {
                n[k]--;
                release(k);
            }
        }
    }
};

// --- output --------------------------------------------------------------------

// Sends bytes in wire order through an outlet, one float each.
inline void send_bytes(t_outlet *o, std::int32_t a, std::int32_t b) {
    outlet_float(o, static_cast<t_float>(a));
    outlet_float(o, static_cast<t_float>(b));
}

inline void send_bytes(t_outlet *o, std::int32_t a, std::int32_t b, std::int32_t c) {
    outlet_float(o, static_cast<t_float>(a));
    outlet_float(o, static_cast<t_float>(b));
    outlet_float(o, static_cast<t_float>(c));
}

}  // namespace midi
