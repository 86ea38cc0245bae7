#include "launch/Helpers.h"

#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace vorlak::launch {
namespace {

// The folder of the running program, from the kernel rather than argv[0], which may be a bare
// name found on the PATH.
std::string ProgramFolder() {
    char path[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    std::string folder(path, static_cast<size_t>(n));
    size_t slash = folder.rfind('/');
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

}  // namespace

std::string FindHelper(const std::string& name) {
    const std::string folder = ProgramFolder();
    if (folder.empty()) return {};
    for (const std::string& candidate :
         {folder + "/" VORLAK_HELPER_RELATIVE "/" + name, folder + "/" + name}) {
        if (::access(candidate.c_str(), R_OK) == 0) return candidate;
    }
    return {};
}

int StartWindow(char** argv) {
    std::string window = FindHelper("vorlak-window");
    if (window.empty()) {
        std::cerr << "vorlak: the window program vorlak-window is not installed; "
                     "run 'vorlak --help' for the command line.\n";
        return 1;
    }
    // argv[0] stays as given: the window takes its application name from it.
    ::execv(window.c_str(), argv);
    std::cerr << "vorlak: cannot start " << window << ": " << std::strerror(errno) << '\n';
    return 1;
}

}  // namespace vorlak::launch
