// Pictures of a checkerboard through a known wide-angle camera, for the end-to-end
// test of `velmora calibrate`:
//   board_pictures DIR COUNT   writes DIR/board00.pgm ... and prints the true
//                              fx fy cx cy of the camera
#include <cstdio>
#include <cstdlib>
#include <string>

#include "scene_camera.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const scene::Lens lens = scene::kWebcam;
    constexpr int kWidth = 640, kHeight = 480;
    const std::vector<PlanePoint> rays = scene::ideal_rays(lens, kWidth, kHeight);
    const int count = std::atoi(argv[2]);
    int n = 0;
    for (const scene::Pose& pose : scene::board_poses(9, 6, 30.0, 520.0)) {
        if (n == count) break;
        const std::vector<uint8_t> picture = scene::render_board(scene::Camera{lens, pose}, rays, kWidth, kHeight, 9, 6, 30.0);
        char name[32];
        std::snprintf(name, sizeof name, "/board%02d.pgm", n++);
        FILE* f = std::fopen((std::string(argv[1]) + name).c_str(), "wb");
        if (f == nullptr) return 1;
        std::fprintf(f, "P5\n%d %d\n255\n", kWidth, kHeight);
        std::fwrite(picture.data(), 1, picture.size(), f);
        std::fclose(f);
    }
    std::printf("%.17g %.17g %.17g %.17g\n", lens.fx, lens.fy, lens.cx, lens.cy);
    return 0;
}
