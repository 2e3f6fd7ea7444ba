// Linked into every test program: tests run in the C locale and with Qt's
// offscreen platform unless the caller chose otherwise, whether they are
// started by CTest or by hand.
#include <cstdlib>

namespace {
const bool kEnvironmentSet = [] {
  setenv("LC_ALL", "C", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return true;
}();
}  // namespace
