// velda-installer: writes a package into a VELDA instrument.
#include "program.h"

int main(int argc, char** argv) { return velda::app::RunProgram(argc, argv); }
