# Installs the build into a staging folder and checks that every file lands
# where an administrator and the Debian package expect it.
#   cmake -DBUILD_DIR=<build> -DSOURCE_DIR=<source> -DSTAGE=<folder> -P install_check.cmake
foreach(variable BUILD_DIR SOURCE_DIR STAGE)
  if(NOT ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${STAGE}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${STAGE}"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()

set(expected
  bin/cvspamcmd
  share/man/man1/cvspamcmd.1.gz
  share/doc/cvspamcmd/README.md
  share/doc/cvspamcmd/registry.example.reg
  share/doc/cvspamcmd/copyright
  share/doc/cvspamcmd/changelog.Debian.gz
  share/lintian/overrides/cvspamcmd)
foreach(file IN LISTS expected)
  if(NOT EXISTS "${STAGE}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# Documents are installed unchanged; the compressed ones decompress to their
# sources.
foreach(pair "README.md=share/doc/cvspamcmd/README.md"
             "docs/registry.example.reg=share/doc/cvspamcmd/registry.example.reg"
             "docs/copyright=share/doc/cvspamcmd/copyright")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 installed)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${SOURCE_DIR}/${source}"
                          "${STAGE}/${installed}" RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${installed} differs from ${source}")
  endif()
endforeach()
foreach(pair "docs/cvspamcmd.1=share/man/man1/cvspamcmd.1.gz"
             "docs/changelog.Debian=share/doc/cvspamcmd/changelog.Debian.gz")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 installed)
  execute_process(COMMAND gzip -dc "${STAGE}/${installed}" OUTPUT_VARIABLE unpacked
                  RESULT_VARIABLE status)
  file(READ "${SOURCE_DIR}/${source}" original)
  if(NOT status EQUAL 0 OR NOT unpacked STREQUAL original)
    message(FATAL_ERROR "${installed} is not ${source} compressed")
  endif()
endforeach()

# The installed tool runs: without arguments it prints its banner and usage.
execute_process(COMMAND "${STAGE}/bin/cvspamcmd" OUTPUT_VARIABLE output RESULT_VARIABLE status)
if(NOT output MATCHES "Spam Training Command Line Utility\\. Version 3\\.5\n.*Usage: cvspamcmd ")
  message(FATAL_ERROR "the installed cvspamcmd did not print its usage (${status}):\n${output}")
endif()

file(REMOVE_RECURSE "${STAGE}")
