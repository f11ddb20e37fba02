// memory-hog: holds memory on command for the tests that watch real processes.
#include <cstdlib>

#include "tests/fakes/MemoryHogLoop.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    velmora::memoryhog::childLoop(std::atoi(argv[1]));
}
