#include "platform/rand.h"

namespace platform {
namespace {
thread_local uint32_t t_state = 1u;
}

int rand() {
    t_state = rand_advance(t_state);
    return rand_output(t_state);
}

uint32_t rand_state() { return t_state; }
void set_rand_state(uint32_t state) { t_state = state; }

}  // namespace platform
