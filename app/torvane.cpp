// torvane: the viewer program (startup.h).
#include "app/startup.h"

int main(int argc, char **argv) { return torvane_main(argc, argv); }
