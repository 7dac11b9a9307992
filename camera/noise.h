#pragma once
// The synthetic camera's noise kernels: 172800 bytes of (rand() * 50) / 32767
// in index order, drawn from the generator state `state` (the state before the
// first draw). Both give the same bytes; fill_noise picks the fastest the CPU runs.

#include <cstdint>

namespace camera_noise {

void fill_noise(uint8_t* out, uint32_t state);
void fill_noise_serial(uint8_t* out, uint32_t state);
void fill_noise_avx2(uint8_t* out, uint32_t state);  // only where cpu_has_avx2()
bool cpu_has_avx2();

}  // namespace camera_noise
