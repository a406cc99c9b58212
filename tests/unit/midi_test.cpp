// Host-free tests of the MIDI byte rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "midibytes.h"

namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

// Runs values through a receiver; each completed message as {kind, channel
// nibble, first, last}.
std::vector<std::vector<int>> run(midi::Receiver &r, std::vector<double> values) {
    std::vector<std::vector<int>> out;
    for (double v : values) {
        std::uint8_t last = 0;
        if (midi::receive(r, midi::to_int(v), last))
            out.push_back({r.kind, r.nibble, r.first, last});
    }
    return out;
}

}  // namespace

TEST(MidiBytes, FloatsTruncateAndOutOfRangeIsMostNegative) {
    EXPECT_EQ(midi::to_int(127.9), 127);
    EXPECT_EQ(midi::to_int(-0.7), 0);
    EXPECT_EQ(midi::to_int(-1.5), -1);
    EXPECT_EQ(midi::to_int(2147483520.0), 2147483520);  // largest float below 2^31
    EXPECT_EQ(midi::to_int(2147483647.5), INT32_MAX);   // a double-precision host's float
    EXPECT_EQ(midi::to_int(-2147483648.0), kMin);
    EXPECT_EQ(midi::to_int(2147483648.0), kMin);
    EXPECT_EQ(midi::to_int(1e10), kMin);
    EXPECT_EQ(midi::to_int(-1e10), kMin);
    EXPECT_EQ(midi::to_int(std::nan("")), kMin);
    EXPECT_EQ(midi::to_int(std::numeric_limits<double>::infinity()), kMin);
    EXPECT_EQ(midi::to_int(-std::numeric_limits<double>::infinity()), kMin);
}

TEST(MidiBytes, ByteClassBoundaries) {
    using B = midi::Byte;
    const std::pair<std::int32_t, B> cases[] = {
        {kMin, B::below}, {-1, B::below},     {0, B::data},      {127, B::data},
        {128, B::status}, {239, B::status},   {240, B::common},  {247, B::common},
        {248, B::realtime}, {255, B::realtime}, {256, B::above}, {INT32_MAX, B::above}};
    for (auto [v, c] : cases)
        EXPECT_EQ(midi::classify(v), c) << v;
}

TEST(MidiBytes, ChannelNumbering) {
    EXPECT_EQ(midi::send_nibble(1), 0);
    EXPECT_EQ(midi::send_nibble(16), 15);
    EXPECT_EQ(midi::send_nibble(17), 0);
    EXPECT_EQ(midi::send_nibble(18), 1);
    EXPECT_EQ(midi::send_nibble(INT32_MAX), 14);
    EXPECT_EQ(midi::send_nibble(0), -1);
    EXPECT_EQ(midi::send_nibble(kMin), -1);

    EXPECT_TRUE(midi::listen_to(0).omni);
    EXPECT_FALSE(midi::listen_to(1).omni);
    EXPECT_EQ(midi::listen_to(1).nibble, 0);
    EXPECT_EQ(midi::listen_to(16).nibble, 15);
    EXPECT_EQ(midi::listen_to(17).nibble, 16);     // matches no status byte
    EXPECT_EQ(midi::listen_to(-1).nibble, 0xFE);
    EXPECT_EQ(midi::listen_to(kMin).nibble, 0xFF);  // no overflow on the most negative argument
    EXPECT_EQ(midi::listen_to(257).nibble, 0);
}

TEST(MidiBytes, EveryKindHasABitOfItsOwn) {
    unsigned seen = 0;
    for (int kind = 0x80; kind <= 0xE0; kind += 0x10) {
        unsigned bit = midi::kind_bit(static_cast<std::uint8_t>(kind));
        EXPECT_EQ(bit & (bit - 1), 0u) << kind;  // one bit
        EXPECT_EQ(seen & bit, 0u) << kind;
        seen |= bit;
    }
    EXPECT_EQ(seen, midi::every_kind);
}

// The host tests cover the byte classes message by message; here, the state
// that carries over between calls.
TEST(MidiReceiver, StateCarriesAcrossCalls) {
    using V = std::vector<std::vector<int>>;
    midi::Receiver r = midi::make_receiver(midi::every_kind, midi::listen_to(0));
    EXPECT_EQ(run(r, {197, 3, 4}), (V{{0xC0, 5, 0, 3}, {0xC0, 5, 0, 4}}));
    EXPECT_EQ(run(r, {224, 1, 2, 3}), (V{{0xE0, 0, 1, 2}}));
    EXPECT_EQ(run(r, {248, 4}), (V{{0xE0, 0, 3, 4}}));  // the pair completed across calls
    midi::reset(r);
    EXPECT_EQ(run(r, {100, 100}), V{});
}

TEST(MidiReceiver, KindAndChannelFilter) {
    using V = std::vector<std::vector<int>>;
    midi::Receiver r = midi::make_receiver(midi::kind_bit(midi::bend), midi::listen_to(2));
    EXPECT_EQ(run(r, {224, 0, 64}), V{});              // channel 1: refused
    EXPECT_EQ(run(r, {225, 0, 64}), (V{{0xE0, 1, 0, 64}}));
    EXPECT_EQ(run(r, {225, 0, 144, 64, 1}), V{});      // another kind clears the status
    EXPECT_EQ(run(r, {225, 0, 226, 64, 1}), V{});      // another channel too
    midi::Receiver none = midi::make_receiver(midi::every_kind, midi::listen_to(17));
    std::vector<double> all;
    for (int s = 128; s < 240; s++)
        all.insert(all.end(), {double(s), 1, 2});
    EXPECT_EQ(run(none, all), V{});
}

TEST(MidiCounts, SaturateDrainAscending) {
    midi::Counts<4> c;
    c.clear();
    for (int i = 0; i < 300; i++)
        c.raise(2);
    EXPECT_EQ(c.n[2], 255);
    c.lower(1);
    EXPECT_EQ(c.n[1], 0);
    c.raise(3);
    c.raise(0);
    std::vector<int> keys;
    c.drain([&](int k) { keys.push_back(k); });
    ASSERT_EQ(keys.size(), 257u);
    EXPECT_EQ(keys.front(), 0);
    EXPECT_EQ(keys[1], 2);
    EXPECT_EQ(keys.back(), 3);
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(c.n[k], 0);
}
