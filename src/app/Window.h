// Entry point of the window.
#pragma once

#include <functional>

namespace vorlak::app {

class frmStart;

// Creates the application and the main window, runs the event loop, returns the exit code.
// `shown`, when given, is called once the window is shown.
int RunWindow(int argc, char** argv, const std::function<void(frmStart&)>& shown = {});

}  // namespace vorlak::app
