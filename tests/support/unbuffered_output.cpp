// Linked into every test program of the cross build. Under Wine a program's standard output to
// a pipe is fully buffered, so a program that hangs and is ended by ctest's time-out would take
// with it the lines that tell which case was running.

#include <cstdio>

namespace {

const bool unbuffered = [] {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    return true;
}();

}  // namespace
