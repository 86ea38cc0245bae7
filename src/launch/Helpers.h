// The programs and modules that ship beside `vorlak`: the window and the picture module. They
// live in the package's helper folder (../libexec/vorlak from the program) and, in a build
// folder, beside the program itself.
#pragma once

#include <string>

namespace vorlak::launch {

// The path of the helper `name`, or an empty string when there is none.
std::string FindHelper(const std::string& name);

// Replaces this process with the window program, with the same arguments. Returns only when
// that fails, with the exit code after a message on stderr.
int StartWindow(char** argv);

}  // namespace vorlak::launch
