// The stub's own instances of the string classes. The C++ library's prebuilt copies are
// compiled with exceptions and would bring its whole exception runtime into the stub; these,
// compiled without, end the process where the library would throw (a string beyond max_size).
#include <string>

template class std::basic_string<char>;
template class std::basic_string<wchar_t>;
template std::string std::operator+(const char*, const std::string&);
template std::wstring std::operator+(const wchar_t*, const std::wstring&);
