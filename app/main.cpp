// The order-taking program: everything happens in RunProgram (app/Startup.cpp).
#include "screens/shell/Startup.h"

int main(int argc, char** argv) { return velmorant::RunProgram(argc, argv); }
