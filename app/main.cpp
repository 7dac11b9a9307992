#include "app/batch_main.h"
#include "app/calibrate_main.h"
#include "app/velmora_main.h"

int main(int argc, char** argv) {
    // "velmora track ..." analyses without a window; anything else is the program.
    if (is_track_command(argc, argv)) return batch_main(argc, argv);
    if (is_calibrate_command(argc, argv)) return calibrate_main(argc, argv);
    return velmora_main(argc, argv);
}
