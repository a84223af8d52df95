// velda-installer from its command line to its exit code.
#pragma once

namespace velda::app {

// The whole program: reads the options, sets up MIDI, runs the installer with the chosen front
// end and returns the exit code (shell/outcome.h lists them).
int RunProgram(int argc, char** argv);

}  // namespace velda::app
