# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `cpack -G DEB` (or the `package` target) in a build
# folder packs what the install() rules put under /usr. Its Depends are the
# packages of the libraries the programs link (dpkg-shlibdeps) and the
# owners of the files listed in runtime-files.txt, which the program opens
# at run time; a new library or data file therefore costs nothing here, and
# a new file of another package one line in that list.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME taruvo)
set(CPACK_PACKAGE_VENDOR "Taruvo developers")
set(CPACK_PACKAGE_CONTACT "Taruvo developers <developers@taruvo.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "two-player handwriting kanji compound game")
set(CPACK_PACKAGE_DESCRIPTION
    "An operator console deals the characters of random two-kanji compounds
onto a board that two players see in their own windows; each player
handwrites two kanji with a pen, a finger or the mouse, has them recognised
and scores with a word of the list. Word lists for every school stage are
included.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/runtime-files.txt)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/runtime-files.txt runtime_files REGEX "^/")
set(runtime_packages)
foreach(line IN LISTS runtime_files)
    string(REGEX REPLACE "^[^ \t]+[ \t]+([^ \t]+).*" "\\1" package "${line}")
    list(APPEND runtime_packages ${package})
endforeach()
list(REMOVE_DUPLICATES runtime_packages)
list(JOIN runtime_packages ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

# A sanitizer build links the sanitizer runtimes, so its package depends on
# them: mark it as a test build that a release package replaces.
if(TARUVO_SANITIZE)
    set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}~sanitize")
    string(APPEND CPACK_PACKAGE_DESCRIPTION_SUMMARY " (test build with sanitizers)")
endif()

# The class host's user is made on installing (systemd-sysusers).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/data/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The word lists' licence asks for the attribution the README gives.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/taruvo)
# Several class hosts behind HAProxy: the example and what makes one.
install(FILES ${PROJECT_SOURCE_DIR}/deploy/haproxy/taruvo.cfg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/taruvo/haproxy)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/deploy/haproxy/make-config.sh
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/taruvo/haproxy)

include(CPack)
