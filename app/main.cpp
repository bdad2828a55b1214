// The order-taking program: everything happens in RunProgram (app/Startup.cpp).
#include "app/Startup.h"

int main(int argc, char** argv) { return velmorant::RunProgram(argc, argv); }
