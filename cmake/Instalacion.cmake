# Installing and packaging: the two programs into bin/, a manual page for
# each into share/man/man1/, the bash completion into
# share/bash-completion/completions/, the licence into share/doc/dedezodi/,
# and a Debian package of all of it made by CPack.
#
#   cmake --install build/release --prefix /usr/local
#   cpack --config build/release/CPackConfig.cmake   # build/release/paquete/*.deb
#
# The version comes from project(VERSION ...) alone: the banners get it as
# VERSION_PROYECTO, the manual pages in place of @PROJECT_VERSION@, the
# package as its version.

include(GNUInstallDirs)

set(DEDEZODI_MANTENEDOR "Dedezodi maintainers <maintainers@users.noreply.c-seed-8dda3743.example>"
    CACHE STRING "Maintainer field of the Debian package")

install(TARGETS Dedezodi Vuvodiv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# ---- Manual pages ------------------------------------------------------------
# Debian installs manual pages compressed with gzip -9n (no name nor time in
# the header, so the package is reproducible); without gzip they are
# installed as they are.
find_program(DEDEZODI_GZIP gzip)
mark_as_advanced(DEDEZODI_GZIP)
set(paginas)
foreach(programa IN ITEMS Dedezodi Vuvodiv)
  set(pagina ${PROJECT_BINARY_DIR}/man/${programa}.1)
  configure_file(${PROJECT_SOURCE_DIR}/docs/${programa}.1 ${pagina} @ONLY)
  if(DEDEZODI_GZIP)
    add_custom_command(OUTPUT ${pagina}.gz
                       COMMAND ${DEDEZODI_GZIP} -9nkf ${pagina}
                       DEPENDS ${pagina}
                       COMMENT "Compressing the manual page of ${programa}")
    string(APPEND pagina .gz)
  endif()
  list(APPEND paginas ${pagina})
endforeach()
add_custom_target(paginas_manual ALL DEPENDS ${paginas})
install(FILES ${paginas} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# A changelog entry for this version in Debian's format, which a native
# package carries as doc/dedezodi/changelog.gz.  Its date is the time of
# configuring, or SOURCE_DATE_EPOCH when set.
string(TIMESTAMP fecha "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(registro ${PROJECT_BINARY_DIR}/doc/changelog)
file(WRITE ${registro}
     "dedezodi (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
     "  * Dedezodi and Vuvodiv ${PROJECT_VERSION}: salvage of damaged archives (-s);\n"
     "    errors that say why; packing without a list; patterns; archives from a\n"
     "    pipe; threads that never lose to one; the fault hunt's fixes.\n\n"
     " -- ${DEDEZODI_MANTENEDOR}  ${fecha}\n")
if(DEDEZODI_GZIP)
  add_custom_command(OUTPUT ${registro}.gz
                     COMMAND ${DEDEZODI_GZIP} -9nkf ${registro}
                     DEPENDS ${registro}
                     COMMENT "Compressing the changelog")
  string(APPEND registro .gz)
endif()
add_custom_target(registro_cambios ALL DEPENDS ${registro})
# In a folder named after the package, as Debian expects.
install(FILES ${registro} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/dedezodi)

# ---- Bash completion ---------------------------------------------------------
# bash-completion loads a command's file by the command's name, so the one
# file that completes both programs is installed under both.
foreach(programa IN ITEMS Dedezodi Vuvodiv)
  install(FILES ${PROJECT_SOURCE_DIR}/completions/dedezodi.bash
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions RENAME ${programa})
endforeach()

# ---- Licence -------------------------------------------------------------------
# The MIT licence of LICENSE, in Debian's machine-readable copyright format
# (where it is called Expat): each line indented by one space, an empty line
# written as " .".
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE lineas_licencia)
list(FILTER lineas_licencia EXCLUDE REGEX "^(MIT License|Copyright)")
list(GET lineas_licencia 0 primera)
while(primera STREQUAL "")   # the empty lines around the copyright line
  list(POP_FRONT lineas_licencia)
  list(GET lineas_licencia 0 primera)
endwhile()
set(texto_licencia)
foreach(linea IN LISTS lineas_licencia)
  if(linea STREQUAL "")
    string(APPEND texto_licencia " .\n")
  else()
    string(APPEND texto_licencia " ${linea}\n")
  endif()
endforeach()
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE autores REGEX "^Copyright")
string(REGEX REPLACE "^Copyright \\(c\\) " "" autores "${autores}")
set(copyright ${PROJECT_BINARY_DIR}/doc/copyright)
file(WRITE ${copyright}
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: dedezodi\n\n"
     "Files: *\n"
     "Copyright: ${autores}\n"
     "License: Expat\n"
     "${texto_licencia}")
install(FILES ${copyright} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/dedezodi)

# ---- Debian package ------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dedezodi)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Dedezodi maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pack files into one compressed archive and restore them")
set(CPACK_PACKAGE_DESCRIPTION
    "Dedezodi packs the files named in a list file into one archive, each file\n\
compressed with LZH (a 4096-byte sliding window and an adaptive Huffman\n\
code) or stored as it is when that is not smaller.  Vuvodiv restores the\n\
files of such an archive into the current folder, refusing unsafe names\n\
and damaged data, and can drop carriage returns from text members or\n\
translate their bytes through a fixed table.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/paquete)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${DEDEZODI_MANTENEDOR}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)   # dedezodi_<version>_<arch>.deb
# Dependencies (libc, libstdc++, libgcc) as dpkg-shlibdeps finds them in the
# binaries; without it, as the build machine's libraries declare them.
find_program(DEDEZODI_SHLIBDEPS dpkg-shlibdeps)
mark_as_advanced(DEDEZODI_SHLIBDEPS)
if(DEDEZODI_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()

include(CPack)
