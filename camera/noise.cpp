#include "camera/noise.h"

#include <immintrin.h>

#include "camera/frame.h"
#include "platform/rand.h"

namespace {

// x / 32767 without a division, exact for every x up to 2^21; shifts and adds
// vectorise where a division by a constant does not.
constexpr uint32_t div32767(uint32_t x) { return (x + (x >> 15) + 1) >> 15; }

// Checked at compile time for every value the noise can produce.
constexpr bool div32767_exact_for_noise() {
    for (uint32_t r = 0; r <= 32767u; ++r) {
        if (div32767(r * 50u) != r * 50u / 32767u) return false;
    }
    return true;
}
static_assert(div32767_exact_for_noise());

}  // namespace

namespace camera_noise {

// The noise the plain way: one serial multiply-add chain.
void fill_noise_serial(uint8_t* out, uint32_t state) {
    for (size_t i = 0; i < kFrameBytes; ++i) {
        state = platform::rand_advance(state);
        out[i] = static_cast<uint8_t>(platform::rand_output(state) * 50 / 32767);
    }
}

// The same bytes from 64 interleaved lanes of the generator, each advanced by
// the 64-step jump, eight vectors of eight lanes. Lane k yields the bytes k,
// k + 64, k + 128, ... so every byte gets the draw it would get serially. The
// lanes' multiply chains are independent, so eight of them hide its latency.
constexpr int kNoiseLanes = 64;
constexpr int kVectors = kNoiseLanes / 8;
static_assert(kFrameBytes % kNoiseLanes == 0);

__attribute__((target("avx2"))) void fill_noise_avx2(uint8_t* out, uint32_t state) {
    alignas(32) uint32_t first[kNoiseLanes];
    for (int j = 0; j < kNoiseLanes; ++j) {
        state = platform::rand_advance(state);
        first[j] = state;
    }
    __m256i lanes[kVectors];
    for (int v = 0; v < kVectors; ++v) lanes[v] = _mm256_load_si256(reinterpret_cast<const __m256i*>(first + 8 * v));

    constexpr platform::RandJump jump = platform::rand_jump(kNoiseLanes);
    const __m256i multiplier = _mm256_set1_epi32(static_cast<int>(jump.multiplier));
    const __m256i increment = _mm256_set1_epi32(static_cast<int>(jump.increment));
    const __m256i mask15 = _mm256_set1_epi32(0x7FFF);
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);

    for (size_t i = 0; i < kFrameBytes; i += kNoiseLanes) {
        __m256i noise[kVectors];
        for (int v = 0; v < kVectors; ++v) {
            const __m256i r = _mm256_and_si256(_mm256_srli_epi32(lanes[v], 16), mask15);
            // r * 50 as (r << 5) + (r << 4) + (r << 1): shifts issue faster than a multiply.
            const __m256i x = _mm256_add_epi32(
                _mm256_add_epi32(_mm256_slli_epi32(r, 5), _mm256_slli_epi32(r, 4)), _mm256_slli_epi32(r, 1));
            noise[v] = _mm256_srli_epi32(_mm256_add_epi32(_mm256_add_epi32(x, _mm256_srli_epi32(x, 15)), one), 15);
            lanes[v] = _mm256_add_epi32(_mm256_mullo_epi32(lanes[v], multiplier), increment);
        }
        // Narrow each 4 x 8 dwords (each 0 to 50) to 32 bytes; the packs work per
        // 128-bit half, and the permute puts the dword groups back in lane order.
        for (int half = 0; half < kVectors / 4; ++half) {
            const __m256i* n = noise + 4 * half;
            const __m256i words01 = _mm256_packus_epi32(n[0], n[1]);
            const __m256i words23 = _mm256_packus_epi32(n[2], n[3]);
            const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(words01, words23), order);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 32 * half), bytes);
        }
    }
}

bool cpu_has_avx2() { return __builtin_cpu_supports("avx2"); }

void fill_noise(uint8_t* out, uint32_t state) {
    static const bool has_avx2 = cpu_has_avx2();
    if (has_avx2) {
        fill_noise_avx2(out, state);
    } else {
        fill_noise_serial(out, state);
    }
}

}  // namespace camera_noise
