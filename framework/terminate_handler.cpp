// The handler that ends the process when an exception escapes every handler. The library's own
// prints the exception's demangled type to standard error first, which neither a browser's
// in-process server nor a program without a console has, and its demangler is about a ninth of
// each binary. Linked as an object file into each deliverable, so that it replaces the library's.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    std::abort();
}

}  // namespace __gnu_cxx
