#include "app/simulation.h"

int main(int argc, char** argv) { return lichtbox::program_main(argc, argv); }
