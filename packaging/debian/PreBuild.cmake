# Run by CPack after it has installed the files into its staging folder and
# before it packs them: brings the Debian package into the form Debian
# expects: manual pages and changelog compressed with gzip -9n (the same bytes
# on every build), the help page registered with doc-base, and the programs
# without the compiler's notes that CPack's strip leaves in.

set(stage "${CPACK_TEMPORARY_DIRECTORY}")
if(NOT IS_DIRECTORY "${stage}")
  message(FATAL_ERROR "PreBuild: no staging folder '${stage}'")
endif()
set(prefix "${stage}${CPACK_PACKAGING_INSTALL_PREFIX}")

file(GLOB_RECURSE man_pages "${prefix}/share/man/man*/*.[1-9]")
foreach(page IN LISTS man_pages)
  execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "PreBuild: gzip ${page} failed")
  endif()
endforeach()

set(doc "${prefix}/share/doc/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${doc}")
file(COPY_FILE "${CPACK_ZB740_DEBIAN_CHANGELOG}" "${doc}/changelog")
execute_process(COMMAND gzip -9nf "${doc}/changelog" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "PreBuild: gzip changelog failed")
endif()

file(MAKE_DIRECTORY "${prefix}/share/doc-base")
file(COPY_FILE "${CPACK_ZB740_DOC_BASE}" "${prefix}/share/doc-base/${CPACK_PACKAGE_NAME}")

# The programs and the helpers zb740-cli runs.
file(GLOB programs "${prefix}/bin/*" "${prefix}/libexec/zb740/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND strip --remove-section=.comment --remove-section=.note "${program}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "PreBuild: strip ${program} failed")
  endif()
endforeach()
