// The window program, which `vorlak` without arguments starts.
#include "app/Window.h"

int main(int argc, char** argv) { return vorlak::app::RunWindow(argc, argv); }
