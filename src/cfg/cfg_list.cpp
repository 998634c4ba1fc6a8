#include "cfg/cfg_list.h"

#include <cstring>
#include <ctime>
#include <sys/random.h>
#include <unistd.h>

namespace {

struct hash_key {
    uint64_t k0;
    uint64_t k1;
};

hash_key draw_key()
{
    hash_key key{};
    if (getrandom(&key, sizeof key, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof key))
        return key;
    // Without the kernel's pool (too early in boot, or a sandbox that
    // refuses the call) the key is at least not the same for every run.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    key.k0 = static_cast<uint64_t>(now.tv_sec) << 32 ^ static_cast<uint64_t>(now.tv_nsec);
    key.k1 =
        static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15u ^ reinterpret_cast<uintptr_t>(&key);
    return key;
}

constexpr uint64_t rotl(uint64_t x, int bits)
{
    return x << bits | x >> (64 - bits);
}

// SipHash-1-3: one round per word and three to finish, plenty for keeping
// names apart in a table and cheap on the short texts names are.
struct sip_state {
    uint64_t v0, v1, v2, v3;

    void round()
    {
        v0 += v1;
        v1 = rotl(v1, 13);
        v1 ^= v0;
        v0 = rotl(v0, 32);
        v2 += v3;
        v3 = rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = rotl(v1, 17);
        v1 ^= v2;
        v2 = rotl(v2, 32);
    }

    void absorb(uint64_t word)
    {
        v3 ^= word;
        round();
        v0 ^= word;
    }
};

// Folds the letters A to Z of eight bytes at once. Only the low seven bits
// of each byte take part in the sums, so no sum carries into the next byte,
// and a byte above 127 is left alone, as fold() leaves it.
constexpr uint64_t fold_word(uint64_t word)
{
    constexpr uint64_t kOnes = 0x0101010101010101u;
    const uint64_t low = word & 0x7f * kOnes;
    const uint64_t from_a = low + (0x80 - 'A') * kOnes;     // high bit: at least 'A'
    const uint64_t past_z = low + (0x80 - 'Z' - 1) * kOnes; // high bit: above 'Z'
    const uint64_t upper = from_a & ~past_z & ~word & 0x80 * kOnes;
    return word | upper >> 2; // 0x80 >> 2 is the bit that makes a letter small
}

uint64_t load_word(const unsigned char *bytes, std::size_t count)
{
    uint64_t word = 0;
    std::memcpy(&word, bytes, count);
    return word;
}

} // namespace

uint64_t cfg_list::fold_hash(const char *text)
{
    static const hash_key key = draw_key();
    sip_state s{key.k0 ^ 0x736f6d6570736575u, key.k1 ^ 0x646f72616e646f6du,
                key.k0 ^ 0x6c7967656e657261u, key.k1 ^ 0x7465646279746573u};
    const std::size_t length = std::strlen(text);
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    std::size_t left = length;
    for (; left >= 8; p += 8, left -= 8)
        s.absorb(fold_word(load_word(p, 8)));
    s.absorb(fold_word(load_word(p, left)) | uint64_t{length} << 56);
    s.v2 ^= 0xff;
    s.round();
    s.round();
    s.round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}
