#pragma once

// The program: start-up, the main loop until it ends, shut-down. Returns 0.
int velmora_main(int argc, char** argv);
