// Owning handles of C library objects: a unique_ptr whose deleter is the
// library's own release function, fixed at compile time, so the handle stays
// the size of a pointer and needs no deleter written out for each type.
#pragma once

#include <memory>

namespace imprimo {

template <auto Release>
struct TReleaseWith {
  template <class T>
  void operator()(T* object) const {
    Release(object);
  }
};

// TLibraryPtr<heif_context, heif_context_free> owns a context and frees it.
template <class T, auto Release>
using TLibraryPtr = std::unique_ptr<T, TReleaseWith<Release>>;

}  // namespace imprimo
