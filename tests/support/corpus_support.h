// The shared conformance folder: where it is, and the one way a test asks for
// a part of it. A missing part skips the test, unless IMPRIMO_REQUIRE_CORPUS
// is set (to anything but "" or "0") in the environment: then it fails, so a
// run that is meant to check the corpus cannot pass by skipping it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace imprimo::testing {

inline std::string CorpusDir() { return IMPRIMO_CORPUS_DIR; }

inline bool CorpusRequired() {
  const char* v = std::getenv("IMPRIMO_REQUIRE_CORPUS");
  return v && *v && std::strcmp(v, "0") != 0;
}

}  // namespace imprimo::testing

// Skips (or, when the corpus is required, fails) the test unless where, a file
// or folder, exists.
#define IMPRIMO_REQUIRE_CORPUS_PATH(where)                                                 \
  do {                                                                                     \
    const std::filesystem::path imprimo_corpus_path_(where);                               \
    if (!std::filesystem::exists(imprimo_corpus_path_)) {                                  \
      if (::imprimo::testing::CorpusRequired())                                            \
        FAIL() << "conformance corpus part " << imprimo_corpus_path_                       \
               << " is missing and IMPRIMO_REQUIRE_CORPUS is set";                         \
      GTEST_SKIP() << "conformance corpus part " << imprimo_corpus_path_ << " is missing"; \
    }                                                                                      \
  } while (0)

// The same for a folder or file given relative to the corpus folder.
#define IMPRIMO_REQUIRE_CORPUS(sub) \
  IMPRIMO_REQUIRE_CORPUS_PATH(::imprimo::testing::CorpusDir() + "/" + std::string(sub))
