// Entry point of the window.
#pragma once

namespace vorlak::app {

// Creates the application and the main window, runs the event loop, returns the exit code.
int RunWindow(int argc, char** argv);

}  // namespace vorlak::app
