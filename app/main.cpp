#include "app/velmora_main.h"

int main(int argc, char** argv) { return velmora_main(argc, argv); }
