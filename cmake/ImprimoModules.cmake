# imprimo_module(<name> [DEPS <targets>...])
#   One static library per src/<name>/ folder, built from every .cpp in it
#   (sub-folders included). Public include root is src/, so code includes
#   "platform/bitmap.h", "imaging/raster_image.h" and so on.
function(imprimo_module name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(srcs)
    add_library(imprimo_${name} STATIC ${srcs})
    target_include_directories(imprimo_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(imprimo_${name} PUBLIC ${ARG_DEPS})
  else()
    # A module whose sources have not landed yet: headers only.
    add_library(imprimo_${name} INTERFACE)
    target_include_directories(imprimo_${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(imprimo_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# imprimo_test(<name> [DEPS <targets>...] [LABELS <labels>...])
#   One GoogleTest executable test_<name> from every .cpp in tests/<name>/,
#   registered with CTest test by test. Tests run with LC_ALL=C and know where
#   the shared conformance corpus and their own data live.
function(imprimo_test name)
  cmake_parse_arguments(ARG "" "" "DEPS;LABELS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(test_${name} ${srcs})
  set_target_properties(test_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_include_directories(test_${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(test_${name} PRIVATE
    IMPRIMO_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    IMPRIMO_CORPUS_DIR="${IMPRIMO_CORPUS_DIR}"
    IMPRIMO_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")
  # gtest_discover_tests cannot pass list-valued properties, so the test
  # environment is set by tests/test_env.cpp inside every test program and
  # each suite carries one label: its own name, or the label it asks for.
  target_sources(test_${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/test_env.cpp)
  if(ARG_LABELS)
    list(GET ARG_LABELS 0 label)
  else()
    set(label ${name})
  endif()
  gtest_discover_tests(test_${name} PROPERTIES LABELS ${label} DISCOVERY_TIMEOUT 60)
endfunction()
