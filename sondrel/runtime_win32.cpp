// Two pieces of the C++ runtime, replaced in the shipped converter for its size.
//
// The converter catches what it expects where it arises: "File not opened" and a failed
// allocation. Any other library exception (a string past its maximum length, a position out of
// range) is a fault no caller handles, so it could only end the process through terminate().
// The library's own throw helpers build their messages with a second, reference-counted string
// implementation, and its default terminate handler demangles the exception's type for a console
// a windowed program does not have: together about a sixth of the shipped file. These versions
// end the process at once; a length past the maximum counts as the allocation it could not be.
#include <cstdlib>
#include <new>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    std::abort();
}

}  // namespace __gnu_cxx

namespace std {

void __throw_bad_alloc() {
    throw std::bad_alloc();
}

void __throw_length_error(const char*) {
    throw std::bad_alloc();
}

void __throw_logic_error(const char*) {
    std::abort();
}

void __throw_out_of_range(const char*) {
    std::abort();
}

void __throw_out_of_range_fmt(const char*, ...) {
    std::abort();
}

}  // namespace std
