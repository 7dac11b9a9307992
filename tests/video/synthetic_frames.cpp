// Writes the synthetic camera's first N frames (as it makes them, unflipped,
// its phase 0.01 further each frame) as raw grey bytes to a file, and prints
// each frame's square centres: "frame x1 y1 x2 y2 x3 y3" in camera rows.
// The end-to-end tests make their video files from these.

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "camera/videocam.h"
#include "platform/rand.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: synthetic_frames COUNT RAW_FILE\n");
        return 2;
    }
    const int count = std::atoi(argv[1]);
    std::ofstream out(argv[2], std::ios::binary);
    platform::set_rand_state(1);
    float phase = 0.0f;
    Videocam_dummy camera(&phase);
    camera.start();
    Frame frame;
    for (int i = 0; i < count; ++i) {
        camera.grab(frame);
        out.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
        std::printf("%d %d %d %d %d %d %d\n", i, 10, square1_row(phase), kSquare2Column, kSquare2Row,
                    square3_column(phase), 250);
        phase = static_cast<float>(static_cast<double>(phase) + 0.01);
    }
    return out.good() ? 0 : 1;
}
