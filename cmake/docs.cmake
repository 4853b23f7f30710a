# make docs (target docs): HTML reference of the public header with Doxygen, into
# <build>/docs/html. The test Docs.DoxygenWarnsNothing runs Doxygen with warnings
# as errors.
find_package(Doxygen QUIET)
if(DOXYGEN_FOUND)
  foreach(mode docs check)
    if(mode STREQUAL "docs")
      set(KNOTWORK_DOCS_DIR ${PROJECT_BINARY_DIR}/docs)
      set(KNOTWORK_DOCS_WERROR NO)
    else()
      set(KNOTWORK_DOCS_DIR ${PROJECT_BINARY_DIR}/docs-check)
      set(KNOTWORK_DOCS_WERROR FAIL_ON_WARNINGS)
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${PROJECT_BINARY_DIR}/Doxyfile.${mode} @ONLY)
  endforeach()
  add_custom_target(docs COMMAND ${DOXYGEN_EXECUTABLE} ${PROJECT_BINARY_DIR}/Doxyfile.docs
                    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
                    COMMENT "API reference in ${PROJECT_BINARY_DIR}/docs/html")
endif()
