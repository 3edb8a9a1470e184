// The library's throw helpers, which its containers and strings call on a bad length, index or
// size. The library's own throw std::length_error and its kin, whose message strings drag in
// a second string class, the error categories and more: about a sixth of each binary. Nothing
// here tells those errors apart (every boundary catches std::bad_alloc, then anything), so one
// small exception type serves them all, and an allocation failure stays std::bad_alloc. Linked
// as an object file into each deliverable, so that it replaces the library's.
#include <exception>
#include <new>

namespace {

class LibraryError : public std::exception {
public:
    const char* what() const noexcept override { return "library error"; }
};

}  // namespace

namespace std {

void __throw_bad_alloc() {
    throw bad_alloc();
}

void __throw_bad_array_new_length() {
    throw bad_array_new_length();
}

void __throw_length_error(const char*) {
    throw LibraryError();
}

void __throw_logic_error(const char*) {
    throw LibraryError();
}

void __throw_out_of_range_fmt(const char*, ...) {
    throw LibraryError();
}

}  // namespace std
