// Root of the render objects that can copy their values from one another.
#pragma once

#include <stdexcept>
#include <string>

namespace imprimo {

// Raised when an object is asked to copy values from an object of a class it
// does not understand.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TPersistent {
 public:
  virtual ~TPersistent() = default;
  virtual const char* ClassName() const = 0;

 protected:
  [[noreturn]] void AssignError(const TPersistent& source) const {
    throw EConvertError(std::string("Cannot assign a ") + source.ClassName() + " to a " +
                        ClassName());
  }
};

}  // namespace imprimo
