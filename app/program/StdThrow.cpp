// The standard library's throw helpers, for the program only.
//
// libstdc++ raises its logic errors (out_of_range, length_error, ...) from
// one object file whose exception classes keep their text in the old
// reference-counted string; linking that in brings a second whole string
// implementation and std::random_device with it, a third of the program's
// size. The program never catches those errors by type: they are faults that
// end the current step in the standard error report, which platform::Error
// reaches as well. Memory exhaustion keeps its own type.
#include <bits/functexcept.h>

#include <new>
#include <typeinfo>

#include "platform/Error.h"

namespace {
[[noreturn]] void Fail(const char* what) { throw platform::Error(what != nullptr ? what : "internal error"); }
}  // namespace

namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_bad_exception() { throw bad_exception(); }
// Length errors come from sizes too large to hold: memory exhaustion.
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char* s) { Fail(s); }
void __throw_domain_error(const char* s) { Fail(s); }
void __throw_invalid_argument(const char* s) { Fail(s); }
void __throw_out_of_range(const char* s) { Fail(s); }
void __throw_out_of_range_fmt(const char* s, ...) { Fail(s); }
void __throw_runtime_error(const char* s) { Fail(s); }
void __throw_range_error(const char* s) { Fail(s); }
void __throw_overflow_error(const char* s) { Fail(s); }
void __throw_underflow_error(const char* s) { Fail(s); }
}  // namespace std
