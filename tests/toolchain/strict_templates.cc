// Member functions of the public class templates are only checked once they are
// instantiated: this makes every one of them, for the element types hosts use.
#include <zel/ZELBase.h>

template class zel::BaseString<char>;
template class zel::Array<int>;
template class zel::Array<double>;
template class zel::Array<zel::BaseString<char>>;
