// The one QApplication of a window test program, made on first use; windows
// under test need no display unless QT_QPA_PLATFORM names one.
#pragma once

#include <QApplication>
#include <cerrno>

namespace imprimo::testing {

inline void EnsureApplication() {
  if (QApplication::instance() != nullptr) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The application is named after the test program, as its own main would.
  static int argc = 1;
  static char* argv[] = {program_invocation_short_name, nullptr};
  new QApplication(argc, argv);  // lives for the whole test program
}

}  // namespace imprimo::testing
